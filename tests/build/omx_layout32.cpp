// Compiled with -m32 only: the size checks in the OpenMAX headers then run
// with 4-byte pointers, as on the device. This file adds the offsets the
// module relies on.
#include "omx/OMX_Component.h"

OMX_LAYOUT_CHECK(PointersAreFourBytes, sizeof(void*) == 4);
OMX_LAYOUT_CHECK(PortDefinitionIs96, sizeof(OMX_PARAM_PORTDEFINITIONTYPE) == 96);
OMX_LAYOUT_CHECK(AacProfileIs52, sizeof(OMX_AUDIO_PARAM_AACPROFILETYPE) == 52);
OMX_LAYOUT_CHECK(AacProfileAt40, offsetof(OMX_AUDIO_PARAM_AACPROFILETYPE, eAACProfile) == 40);
OMX_LAYOUT_CHECK(FilledLenAt16, offsetof(OMX_BUFFERHEADERTYPE, nFilledLen) == 16);
OMX_LAYOUT_CHECK(CallbacksAreThreePointers, sizeof(OMX_CALLBACKTYPE) == 12);
OMX_LAYOUT_CHECK(ComponentIsFourWordsAndEighteenEntries, sizeof(OMX_COMPONENTTYPE) == 4 * 4 + 18 * 4);
