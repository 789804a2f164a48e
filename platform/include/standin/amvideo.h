// The video format block of FORMAT_VideoInfo.
#ifndef PLATFORM_STANDIN_AMVIDEO_H
#define PLATFORM_STANDIN_AMVIDEO_H

#include "basetypes.h"
#include "mediatypes.h"
#include "windef.h"

typedef struct tagVIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER;

typedef char PlatformVideoInfoHeaderIs88BytesCheck[sizeof(VIDEOINFOHEADER) == 88 ? 1 : -1];
typedef char PlatformVideoInfoHeaderBitmapOffsetCheck[offsetof(VIDEOINFOHEADER, bmiHeader) == 48 ? 1 : -1];

#endif
