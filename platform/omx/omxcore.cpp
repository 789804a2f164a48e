// The platform's OpenMAX IL core: initialisation count, the table of
// components it can create (one: the AAC header parser), handles, and the
// hooks tests use to make it fail.
#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <set>

#include "aacheadcomponent.h"
#include "omx/omxtesthooks.h"
#include "omxhooks.h"

namespace {

std::mutex g_lock;
long g_initCount = 0;
std::set<OMX_HANDLETYPE> g_handles;

std::atomic<long> g_liveComponents{0};
std::atomic<int> g_failGetHandle{OMX_ErrorNone};
std::atomic<int> g_stalledState{OMX_StateInvalid};

std::mutex g_callsLock;
std::vector<std::string> g_calls;

}  // namespace

namespace omxplatform {

bool IsStateChangeStalled(OMX_STATETYPE eTarget)
{
    return eTarget != OMX_StateInvalid && g_stalledState.load() == eTarget;
}

void RecordCall(const std::string& call)
{
    std::lock_guard<std::mutex> guard(g_callsLock);
    g_calls.push_back(call);
}

void ComponentCreated()
{
    ++g_liveComponents;
}

void ComponentDestroyed()
{
    --g_liveComponents;
}

}  // namespace omxplatform

OMX_API OMX_ERRORTYPE OMX_APIENTRY OMX_Init(void)
{
    omxplatform::RecordCall("OMX_Init");
    std::lock_guard<std::mutex> guard(g_lock);
    ++g_initCount;
    return OMX_ErrorNone;
}

OMX_API OMX_ERRORTYPE OMX_APIENTRY OMX_Deinit(void)
{
    omxplatform::RecordCall("OMX_Deinit");
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_initCount == 0) return OMX_ErrorNotReady;
    --g_initCount;
    return OMX_ErrorNone;
}

OMX_API OMX_ERRORTYPE OMX_APIENTRY OMX_ComponentNameEnum(OMX_STRING cComponentName, OMX_U32 nNameLength,
                                                        OMX_U32 nIndex)
{
    if (!cComponentName || nNameLength == 0) return OMX_ErrorBadParameter;
    if (nIndex != 0) return OMX_ErrorNoMore;
    if (std::strlen(omxplatform::kAacHeadComponentName) >= nNameLength) return OMX_ErrorBadParameter;
    std::strcpy(cComponentName, omxplatform::kAacHeadComponentName);
    return OMX_ErrorNone;
}

OMX_API OMX_ERRORTYPE OMX_APIENTRY OMX_GetHandle(OMX_HANDLETYPE* pHandle, OMX_STRING cComponentName,
                                                OMX_PTR pAppData, OMX_CALLBACKTYPE* pCallBacks)
{
    omxplatform::RecordCall(std::string("OMX_GetHandle ") + (cComponentName ? cComponentName : "(null)"));
    if (!pHandle) return OMX_ErrorBadParameter;
    *pHandle = nullptr;
    if (!cComponentName || !pCallBacks) return OMX_ErrorBadParameter;
    OMX_ERRORTYPE failure = static_cast<OMX_ERRORTYPE>(g_failGetHandle.exchange(OMX_ErrorNone));
    if (failure != OMX_ErrorNone) return failure;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_initCount == 0) return OMX_ErrorNotReady;
    }
    if (std::strncmp(cComponentName, omxplatform::kAacHeadComponentName, OMX_MAX_STRINGNAME_SIZE) != 0)
        return OMX_ErrorComponentNotFound;

    OMX_COMPONENTTYPE* pComponent = new (std::nothrow) OMX_COMPONENTTYPE();
    if (!pComponent) return OMX_ErrorInsufficientResources;
    pComponent->nSize = sizeof(OMX_COMPONENTTYPE);
    pComponent->nVersion.nVersion = OMX_VERSION;
    pComponent->pApplicationPrivate = pAppData;
    OMX_ERRORTYPE err = omxplatform::CreateAacHeadComponent(pComponent, pAppData, pCallBacks);
    if (err != OMX_ErrorNone) {
        delete pComponent;
        return err;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    g_handles.insert(pComponent);
    *pHandle = pComponent;
    return OMX_ErrorNone;
}

OMX_API OMX_ERRORTYPE OMX_APIENTRY OMX_FreeHandle(OMX_HANDLETYPE hComponent)
{
    omxplatform::RecordCall("OMX_FreeHandle");
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_handles.erase(hComponent) == 0) return OMX_ErrorBadParameter;
    }
    OMX_COMPONENTTYPE* pComponent = static_cast<OMX_COMPONENTTYPE*>(hComponent);
    OMX_ERRORTYPE err = pComponent->ComponentDeInit(pComponent);
    delete pComponent;
    return err;
}

namespace omxtest {

void FailNextGetHandle(OMX_ERRORTYPE eError)
{
    g_failGetHandle = eError;
}

void StallStateChange(OMX_STATETYPE eTarget)
{
    g_stalledState = eTarget;
}

long LiveComponents()
{
    return g_liveComponents.load();
}

long CoreInitCount()
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_initCount;
}

std::vector<std::string> ComponentCalls()
{
    std::lock_guard<std::mutex> guard(g_callsLock);
    return g_calls;
}

void ClearComponentCalls()
{
    std::lock_guard<std::mutex> guard(g_callsLock);
    g_calls.clear();
}

void ResetHooks()
{
    FailNextGetHandle(OMX_ErrorNone);
    StallStateChange(OMX_StateInvalid);
    ClearComponentCalls();
}

}  // namespace omxtest
