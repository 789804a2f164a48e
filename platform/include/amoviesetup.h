// The filter registration records of the device's DirectShow SDK, which
// filter modules hand to the filter mapper through IAMovieSetup. The desktop
// SDK and the stand-ins have the pin and media-type records (strmif.h) but
// not these names; win32.h includes this after them, in either case.
#ifndef PLATFORM_AMOVIESETUP_H
#define PLATFORM_AMOVIESETUP_H

typedef REGPINTYPES AMOVIESETUP_MEDIATYPE;
typedef REGFILTERPINS AMOVIESETUP_PIN;

typedef struct _AMOVIESETUP_FILTER {
    const CLSID* clsID;
    const WCHAR* strName;
    DWORD dwMerit;
    UINT nPins;
    const AMOVIESETUP_PIN* lpPin;
} AMOVIESETUP_FILTER;

#endif
