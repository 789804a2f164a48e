// OpenMAX IL 1.1 names shared by the image and video domains (the colour
// formats, of which only the values a port definition needs are listed).
#ifndef OMX_IVCOMMON_H
#define OMX_IVCOMMON_H

#include "OMX_Core.h"

typedef enum OMX_COLOR_FORMATTYPE {
    OMX_COLOR_FormatUnused = 0,
    OMX_COLOR_FormatMonochrome = 1,
    OMX_COLOR_FormatYUV420Planar = 19,
    OMX_COLOR_FormatYUV420SemiPlanar = 21,
    OMX_COLOR_FormatKhronosExtensions = 0x6F000000,
    OMX_COLOR_FormatVendorStartUnused = 0x7F000000,
    OMX_COLOR_FormatMax = 0x7FFFFFFF
} OMX_COLOR_FORMATTYPE;

#endif
