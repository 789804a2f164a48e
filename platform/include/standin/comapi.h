// COM run-time entry points beyond task memory: per-thread initialisation,
// object creation by class identifier (the platform's own classes, class
// objects registered in the process, and in-process servers named by the
// registry's CLSID\{...}\InprocServer32), unloading of unused servers and
// the text form of GUIDs.
#ifndef PLATFORM_STANDIN_COMAPI_H
#define PLATFORM_STANDIN_COMAPI_H

#include "basetypes.h"
#include "guiddef.h"
#include "unknwn.h"

#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER)

#define REGCLS_SINGLEUSE 0
#define REGCLS_MULTIPLEUSE 1

extern "C" {
HRESULT STDAPICALLTYPE CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
void STDAPICALLTYPE CoUninitialize(void);
HRESULT STDAPICALLTYPE CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                        LPVOID* ppv);
HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                                        LPVOID* ppv);
HRESULT STDAPICALLTYPE CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD flags,
                                             LPDWORD lpdwRegister);
HRESULT STDAPICALLTYPE CoRevokeClassObject(DWORD dwRegister);
// Asks every server loaded by CoCreateInstance/CoGetClassObject whether it
// can be unloaded (DllCanUnloadNow) and unloads those that answer S_OK.
void STDAPICALLTYPE CoFreeUnusedLibraries(void);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": returns the characters written
// with the terminator (39), or 0 when cchMax is too small.
int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// The reverse, for the braced form only; CO_E_CLASSSTRING for anything else.
HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);

// The exports of an in-process server, which the run time looks up by name.
HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);
HRESULT STDAPICALLTYPE DllCanUnloadNow(void);
HRESULT STDAPICALLTYPE DllRegisterServer(void);
HRESULT STDAPICALLTYPE DllUnregisterServer(void);
}

#endif
