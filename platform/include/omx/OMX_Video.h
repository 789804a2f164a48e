// OpenMAX IL 1.1 video domain, as far as a port definition needs it.
#ifndef OMX_VIDEO_H
#define OMX_VIDEO_H

#include "OMX_IVCommon.h"

typedef enum OMX_VIDEO_CODINGTYPE {
    OMX_VIDEO_CodingUnused = 0,
    OMX_VIDEO_CodingAutoDetect = 1,
    OMX_VIDEO_CodingMPEG2 = 2,
    OMX_VIDEO_CodingH263 = 3,
    OMX_VIDEO_CodingMPEG4 = 4,
    OMX_VIDEO_CodingWMV = 5,
    OMX_VIDEO_CodingRV = 6,
    OMX_VIDEO_CodingAVC = 7,
    OMX_VIDEO_CodingMJPEG = 8,
    OMX_VIDEO_CodingKhronosExtensions = 0x6F000000,
    OMX_VIDEO_CodingVendorStartUnused = 0x7F000000,
    OMX_VIDEO_CodingMax = 0x7FFFFFFF
} OMX_VIDEO_CODINGTYPE;

typedef struct OMX_VIDEO_PORTDEFINITIONTYPE {
    OMX_STRING cMIMEType;
    OMX_NATIVE_DEVICETYPE pNativeRender;
    OMX_U32 nFrameWidth;
    OMX_U32 nFrameHeight;
    OMX_S32 nStride;
    OMX_U32 nSliceHeight;
    OMX_U32 nBitrate;
    OMX_U32 xFramerate;
    OMX_BOOL bFlagErrorConcealment;
    OMX_VIDEO_CODINGTYPE eCompressionFormat;
    OMX_COLOR_FORMATTYPE eColorFormat;
    OMX_NATIVE_WINDOWTYPE pNativeWindow;
} OMX_VIDEO_PORTDEFINITIONTYPE;

#endif
