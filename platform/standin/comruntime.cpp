// The COM run time's thread initialisation and object creation.
//
// A class is looked up in this order: the platform's own classes (memory
// allocator, filter mapper), class objects registered in this process with
// CoRegisterClassObject, then the registry's
// HKEY_CLASSES_ROOT\CLSID\{clsid}\InprocServer32, whose default value names
// a module that is loaded (once per path) and asked for its class object
// through DllGetClassObject. Loaded modules stay until CoFreeUnusedLibraries
// finds that their DllCanUnloadNow allows unloading.
//
// Creating objects does not require CoInitializeEx on the calling thread:
// the platform's own code and older tests create allocators without it.
#include <dlfcn.h>
#include <stdio.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

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
    {&CLSID_FilterMapper, CreateStandinFilterMapper},
};

typedef HRESULT(STDAPICALLTYPE* PFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDAPICALLTYPE* PFNCANUNLOADNOW)();

struct LoadedServer {
    std::string path;
    void* pHandle;
    PFNGETCLASSOBJECT pfnGetClassObject;
    PFNCANUNLOADNOW pfnCanUnloadNow;
};

struct RegisteredClass {
    DWORD dwCookie;
    CLSID clsid;
    IUnknown* pUnk;  // holds a reference
};

// Recursive: a server's DllGetClassObject may itself create objects.
std::recursive_mutex g_lock;
std::vector<LoadedServer> g_servers;
std::vector<RegisteredClass> g_registered;
DWORD g_dwNextCookie = 1;

// The module path the registry gives for the class, as UTF-8.
HRESULT FindInprocServer(REFCLSID rclsid, std::string* pPath)
{
    WCHAR szClsid[CHARS_IN_GUID];
    WCHAR szKey[80];
    StringFromGUID2(rclsid, szClsid, CHARS_IN_GUID);
    StringCchPrintfW(szKey, 80, L"CLSID\\%s\\InprocServer32", szClsid);
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return REGDB_E_CLASSNOTREG;
    WCHAR szPath[1024];
    DWORD dwType = REG_NONE;
    DWORD cb = sizeof(szPath) - sizeof(WCHAR);
    LONG lResult = RegQueryValueExW(hKey, nullptr, nullptr, &dwType, reinterpret_cast<BYTE*>(szPath), &cb);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS || (dwType != REG_SZ && dwType != REG_EXPAND_SZ)) return REGDB_E_READREGDB;
    szPath[cb / sizeof(WCHAR)] = 0;
    char szUtf8[4096];
    if (WideCharToMultiByte(CP_UTF8, 0, szPath, -1, szUtf8, sizeof(szUtf8), nullptr, nullptr) <= 1) {
        return REGDB_E_READREGDB;
    }
    *pPath = szUtf8;
    return S_OK;
}

// The loaded server for path, loading it on first use. Under g_lock.
HRESULT LoadServer(const std::string& path, LoadedServer** ppServer)
{
    for (LoadedServer& server : g_servers) {
        if (server.path == path) {
            *ppServer = &server;
            return S_OK;
        }
    }
    void* pHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!pHandle) {
        fprintf(stderr, "CoCreateInstance: cannot load %s: %s\n", path.c_str(), dlerror());
        return CO_E_DLLNOTFOUND;
    }
    LoadedServer server;
    server.path = path;
    server.pHandle = pHandle;
    server.pfnGetClassObject = reinterpret_cast<PFNGETCLASSOBJECT>(dlsym(pHandle, "DllGetClassObject"));
    server.pfnCanUnloadNow = reinterpret_cast<PFNCANUNLOADNOW>(dlsym(pHandle, "DllCanUnloadNow"));
    if (!server.pfnGetClassObject) {
        dlclose(pHandle);
        return CO_E_ERRORINDLL;
    }
    g_servers.push_back(server);
    *ppServer = &g_servers.back();
    return S_OK;
}

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

extern "C" HRESULT STDAPICALLTYPE CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID, REFIID riid,
                                                   LPVOID* ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    for (const RegisteredClass& entry : g_registered) {
        if (IsEqualCLSID(entry.clsid, rclsid)) return entry.pUnk->QueryInterface(riid, ppv);
    }
    std::string path;
    HRESULT hr = FindInprocServer(rclsid, &path);
    if (FAILED(hr)) return hr;
    LoadedServer* pServer = nullptr;
    hr = LoadServer(path, &pServer);
    if (FAILED(hr)) return hr;
    return pServer->pfnGetClassObject(rclsid, riid, ppv);
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
    IClassFactory* pFactory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&pFactory));
    if (FAILED(hr)) return hr;
    hr = pFactory->CreateInstance(pUnkOuter, riid, ppv);
    pFactory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE CoRegisterClassObject(REFCLSID rclsid, LPUNKNOWN pUnk, DWORD dwClsContext, DWORD,
                                                        LPDWORD lpdwRegister)
{
    if (!pUnk || !lpdwRegister) return E_INVALIDARG;
    if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return E_INVALIDARG;
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    pUnk->AddRef();
    RegisteredClass entry = {g_dwNextCookie++, rclsid, pUnk};
    g_registered.push_back(entry);
    *lpdwRegister = entry.dwCookie;
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE CoRevokeClassObject(DWORD dwRegister)
{
    IUnknown* pUnk = nullptr;
    {
        std::lock_guard<std::recursive_mutex> guard(g_lock);
        for (auto it = g_registered.begin(); it != g_registered.end(); ++it) {
            if (it->dwCookie == dwRegister) {
                pUnk = it->pUnk;
                g_registered.erase(it);
                break;
            }
        }
    }
    if (!pUnk) return CO_E_OBJNOTREG;
    pUnk->Release();
    return S_OK;
}

extern "C" void STDAPICALLTYPE CoFreeUnusedLibraries(void)
{
    // Held throughout, so that no class object is handed out of a module
    // between its "can unload" answer and the unloading.
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    for (size_t i = 0; i < g_servers.size();) {
        LoadedServer& server = g_servers[i];
        if (server.pfnCanUnloadNow && server.pfnCanUnloadNow() == S_OK) {
            void* pHandle = server.pHandle;
            g_servers.erase(g_servers.begin() + static_cast<std::ptrdiff_t>(i));
            dlclose(pHandle);
        } else {
            ++i;
        }
    }
}

namespace platformtest {
long ComInitializedThreads()
{
    return g_initializedThreads.load();
}

long LoadedComServers()
{
    std::lock_guard<std::recursive_mutex> guard(g_lock);
    return static_cast<long>(g_servers.size());
}
}  // namespace platformtest
