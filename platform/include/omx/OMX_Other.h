// OpenMAX IL 1.1 "other" domain, as far as a port definition needs it.
#ifndef OMX_OTHER_H
#define OMX_OTHER_H

#include "OMX_Core.h"

typedef enum OMX_OTHER_FORMATTYPE {
    OMX_OTHER_FormatTime = 0,
    OMX_OTHER_FormatPower = 1,
    OMX_OTHER_FormatStats = 2,
    OMX_OTHER_FormatBinary = 3,
    OMX_OTHER_FormatVendorReserved = 1000,
    OMX_OTHER_FormatKhronosExtensions = 0x6F000000,
    OMX_OTHER_FormatVendorStartUnused = 0x7F000000,
    OMX_OTHER_FormatMax = 0x7FFFFFFF
} OMX_OTHER_FORMATTYPE;

typedef struct OMX_OTHER_PORTDEFINITIONTYPE {
    OMX_OTHER_FORMATTYPE eFormat;
} OMX_OTHER_PORTDEFINITIONTYPE;

#endif
