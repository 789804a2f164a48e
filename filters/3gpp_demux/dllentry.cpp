// The module's entry points: its one class, the filter, in the template
// table; DllMain; and the four exports a COM server has.
#include "win32.h"
#include "classfactory.h"
#include "demuxfilter.h"
#include "demuxsetup.h"
#include "dllentry.h"
#include "dllsetup.h"

namespace {

const CFactoryTemplate g_Templates[] = {
    {L"Orvane 3GPP Demux Filter", &CLSID_DemuxFilter, CDemuxFilter::CreateInstance, NULL, &g_sudDemuxFilter},
};
const int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID pvReserved);

extern "C" BOOL WINAPI DllMain(HINSTANCE hInstance, DWORD dwReason, LPVOID)
{
    return ModuleEntryPoint(hInstance, dwReason, g_Templates, g_cTemplates);
}

DECLARE_MODULE_ENTRY_POINT(DllMain)

STDAPI MODULE_EXPORT DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return ModuleGetClassObject(g_Templates, g_cTemplates, rclsid, riid, ppv);
}

STDAPI MODULE_EXPORT DllCanUnloadNow()
{
    return ModuleCanUnloadNow();
}

STDAPI MODULE_EXPORT DllRegisterServer()
{
    return ModuleRegisterServer(g_Templates, g_cTemplates);
}

STDAPI MODULE_EXPORT DllUnregisterServer()
{
    return ModuleUnregisterServer(g_Templates, g_cTemplates);
}
