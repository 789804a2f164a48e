// The extended video format blocks: VIDEOINFOHEADER2 and the MPEG-2 video
// info of FORMAT_MPEG2Video, which H.264 decoders take with the parameter
// sets appended.
#ifndef PLATFORM_STANDIN_DVDMEDIA_H
#define PLATFORM_STANDIN_DVDMEDIA_H

#include "basetypes.h"
#include "mediatypes.h"
#include "windef.h"

typedef struct tagVIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    DWORD dwInterlaceFlags;
    DWORD dwCopyProtectFlags;
    DWORD dwPictAspectRatioX;
    DWORD dwPictAspectRatioY;
    union {
        DWORD dwControlFlags;
        DWORD dwReserved1;
    };
    DWORD dwReserved2;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER2;

typedef struct tagMPEG2VIDEOINFO {
    VIDEOINFOHEADER2 hdr;
    DWORD dwStartTimeCode;
    DWORD cbSequenceHeader;
    DWORD dwProfile;
    DWORD dwLevel;
    DWORD dwFlags;
    DWORD dwSequenceHeader[1];
} MPEG2VIDEOINFO;

typedef char PlatformVideoInfoHeader2Is112BytesCheck[sizeof(VIDEOINFOHEADER2) == 112 ? 1 : -1];
typedef char PlatformMpeg2VideoInfoIs136BytesCheck[sizeof(MPEG2VIDEOINFO) == 136 ? 1 : -1];
typedef char PlatformMpeg2SequenceHeaderOffsetCheck[offsetof(MPEG2VIDEOINFO, cbSequenceHeader) == 116 ? 1 : -1];

#endif
