// OpenMAX IL 1.1 image domain, as far as a port definition needs it.
#ifndef OMX_IMAGE_H
#define OMX_IMAGE_H

#include "OMX_IVCommon.h"

typedef enum OMX_IMAGE_CODINGTYPE {
    OMX_IMAGE_CodingUnused = 0,
    OMX_IMAGE_CodingAutoDetect = 1,
    OMX_IMAGE_CodingJPEG = 2,
    OMX_IMAGE_CodingJPEG2K = 3,
    OMX_IMAGE_CodingEXIF = 4,
    OMX_IMAGE_CodingTIFF = 5,
    OMX_IMAGE_CodingGIF = 6,
    OMX_IMAGE_CodingPNG = 7,
    OMX_IMAGE_CodingLZW = 8,
    OMX_IMAGE_CodingBMP = 9,
    OMX_IMAGE_CodingKhronosExtensions = 0x6F000000,
    OMX_IMAGE_CodingVendorStartUnused = 0x7F000000,
    OMX_IMAGE_CodingMax = 0x7FFFFFFF
} OMX_IMAGE_CODINGTYPE;

typedef struct OMX_IMAGE_PORTDEFINITIONTYPE {
    OMX_STRING cMIMEType;
    OMX_NATIVE_DEVICETYPE pNativeRender;
    OMX_U32 nFrameWidth;
    OMX_U32 nFrameHeight;
    OMX_S32 nStride;
    OMX_U32 nSliceHeight;
    OMX_BOOL bFlagErrorConcealment;
    OMX_IMAGE_CODINGTYPE eCompressionFormat;
    OMX_COLOR_FORMATTYPE eColorFormat;
    OMX_NATIVE_WINDOWTYPE pNativeWindow;
} OMX_IMAGE_PORTDEFINITIONTYPE;

#endif
