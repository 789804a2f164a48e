// The core's side of the test hooks, as the components see it.
#ifndef PLATFORM_OMX_OMXHOOKS_H
#define PLATFORM_OMX_OMXHOOKS_H

#include <string>

#include "omx/OMX_Core.h"

namespace omxplatform {

bool IsStateChangeStalled(OMX_STATETYPE eTarget);
void RecordCall(const std::string& call);
void ComponentCreated();
void ComponentDestroyed();

}  // namespace omxplatform

#endif
