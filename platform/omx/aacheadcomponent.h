// "OMX.ORVANE.KELDRA.AUDIO.AACHEAD": the platform's AAC header-parsing
// component. It takes raw AAC access units on its input port (0), works out
// whether they carry SBR and parametric stereo, and reports the answer in
// eAACProfile of the input port's AAC parameters. Its output port (1) only
// exists to complete the buffer exchange; what it returns there is empty.
#ifndef PLATFORM_OMX_AACHEADCOMPONENT_H
#define PLATFORM_OMX_AACHEADCOMPONENT_H

#include "omx/OMX_Component.h"

namespace omxplatform {

extern const char kAacHeadComponentName[];

// Input buffers hold one access unit: at most 6144 bits for each of up to
// eight channels.
const OMX_U32 kAacHeadInputBufferSize = 6144;
// Room for one frame of 16-bit PCM, 1024 samples of two channels.
const OMX_U32 kAacHeadOutputBufferSize = 4096;

// Sets up a component behind pHandle (whose nSize, nVersion and
// pApplicationPrivate the core has filled) and starts its thread. The
// component lives until pHandle->ComponentDeInit, which the core calls from
// OMX_FreeHandle; that call must not come from one of the callbacks.
OMX_ERRORTYPE CreateAacHeadComponent(OMX_COMPONENTTYPE* pHandle, OMX_PTR pAppData,
                                     const OMX_CALLBACKTYPE* pCallbacks);

}  // namespace omxplatform

#endif
