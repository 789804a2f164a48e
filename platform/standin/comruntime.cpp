// The COM run time's thread initialisation and object creation. Only the
// platform's own classes are known here; module servers are not loaded.
#include <atomic>

#include "comtesthooks.h"
#include "standinclasses.h"

namespace {

std::atomic<long> g_initializedThreads{0};
thread_local long t_initCount = 0;

struct ClassEntry {
    const CLSID* pClsid;
    HRESULT (*pfnCreate)(IUnknown* pUnkOuter, REFIID riid, void** ppv);
};

const ClassEntry kClasses[] = {
    {&CLSID_MemoryAllocator, CreateStandinMemAllocator},
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID, DWORD)
{
    if (t_initCount++ == 0) {
        ++g_initializedThreads;
        return S_OK;
    }
    return S_FALSE;
}

extern "C" void STDAPICALLTYPE CoUninitialize(void)
{
    if (t_initCount > 0 && --t_initCount == 0) --g_initializedThreads;
}

extern "C" HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                                   REFIID riid, LPVOID* ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    for (const ClassEntry& entry : kClasses) {
        if (IsEqualCLSID(*entry.pClsid, rclsid)) return entry.pfnCreate(pUnkOuter, riid, ppv);
    }
    return REGDB_E_CLASSNOTREG;
}

namespace platformtest {
long ComInitializedThreads()
{
    return g_initializedThreads.load();
}
}  // namespace platformtest
