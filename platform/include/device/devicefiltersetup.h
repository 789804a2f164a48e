// The filter registration records of the device's DirectShow SDK, which
// filter modules hand to the filter mapper through IAMovieSetup. The desktop
// SDK has the pin and media-type records (strmif.h) but not these names.
#ifndef PLATFORM_DEVICE_DEVICEFILTERSETUP_H
#define PLATFORM_DEVICE_DEVICEFILTERSETUP_H

#include <strmif.h>

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
