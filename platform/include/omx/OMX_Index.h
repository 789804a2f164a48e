// OpenMAX IL 1.1 parameter and configuration indices (the ranges and the
// entries this platform's components answer).
#ifndef OMX_INDEX_H
#define OMX_INDEX_H

#include "OMX_Types.h"

typedef enum OMX_INDEXTYPE {
    OMX_IndexComponentStartUnused = 0x01000000,
    OMX_IndexParamPriorityMgmt = 0x01000001,
    OMX_IndexParamAudioInit = 0x01000002,
    OMX_IndexParamImageInit = 0x01000003,
    OMX_IndexParamVideoInit = 0x01000004,
    OMX_IndexParamOtherInit = 0x01000005,

    OMX_IndexPortStartUnused = 0x02000000,
    OMX_IndexParamPortDefinition = 0x02000001,
    OMX_IndexParamCompBufferSupplier = 0x02000002,

    OMX_IndexReservedStartUnused = 0x03000000,

    OMX_IndexAudioStartUnused = 0x04000000,
    OMX_IndexParamAudioPortFormat = 0x04000001,
    OMX_IndexParamAudioPcm = 0x04000002,
    OMX_IndexParamAudioAac = 0x04000003,

    OMX_IndexImageStartUnused = 0x05000000,
    OMX_IndexVideoStartUnused = 0x06000000,
    OMX_IndexCommonStartUnused = 0x07000000,
    OMX_IndexOtherStartUnused = 0x08000000,
    OMX_IndexTimeStartUnused = 0x09000000,

    OMX_IndexKhronosExtensions = 0x6F000000,
    OMX_IndexVendorStartUnused = 0x7F000000,
    OMX_IndexMax = 0x7FFFFFFF
} OMX_INDEXTYPE;

#endif
