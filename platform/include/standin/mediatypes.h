// The media type record of DirectShow and the 100-ns time type, with the
// SDK's layout. The COM interfaces that travel with media types live in their
// own header; only IUnknown is needed here, and only as a pointer.
#ifndef PLATFORM_STANDIN_MEDIATYPES_H
#define PLATFORM_STANDIN_MEDIATYPES_H

#include "basetypes.h"
#include "guiddef.h"

struct IUnknown;

// Stream time: signed 64-bit count of 100-nanosecond units.
typedef LONGLONG REFERENCE_TIME;

typedef struct _AMMediaType {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
} AM_MEDIA_TYPE;

typedef char PlatformReferenceTimeIs64BitCheck[sizeof(REFERENCE_TIME) == 8 ? 1 : -1];
typedef char PlatformMediaTypeFormatTypeOffsetCheck[offsetof(AM_MEDIA_TYPE, formattype) == 44 ? 1 : -1];

#endif
