// Hooks of the platform's OpenMAX IL core that tests use to make it fail or
// stall and to observe what the application asked of it. Host builds only.
#ifndef PLATFORM_OMX_OMXTESTHOOKS_H
#define PLATFORM_OMX_OMXTESTHOOKS_H

#include <string>
#include <vector>

#include "OMX_Core.h"

namespace omxtest {

// The next OMX_GetHandle fails with this error (OMX_ErrorNone disarms).
void FailNextGetHandle(OMX_ERRORTYPE eError);

// Components accept a change to this state but never complete it
// (OMX_StateInvalid disarms).
void StallStateChange(OMX_STATETYPE eTarget);

// Components that exist right now; OMX_Init calls not yet matched by OMX_Deinit.
long LiveComponents();
long CoreInitCount();

// Every call the application made on a component since the last clear, one
// line each, e.g. "SendCommand StateSet 2" or "AllocateBuffer 0 6144".
std::vector<std::string> ComponentCalls();
void ClearComponentCalls();

// Disarms the failures and clears the call record.
void ResetHooks();

}  // namespace omxtest

#endif
