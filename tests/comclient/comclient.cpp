// A COM client that knows the demultiplexer only by its class identifier:
// it attaches the registry file given on the command line ("-": the one the
// environment names in DEMUX_REGISTRY_FILE), creates the
// filter with CoCreateInstance (which loads the module the registry names),
// looks at it, releases it and lets CoFreeUnusedLibraries unload the module.
// (Playing through that route is the 3gpdemux tool's own path.) Prints one line per step; exit status 0 when every step went as expected.
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "3gpDemux.h"
#include "comtesthooks.h"
#include "hostregistry.h"
#include "win32.h"

namespace {

bool Check(bool bOk, const char* pszStep, HRESULT hr = S_OK)
{
    printf("%s %s (0x%08X)\n", bOk ? "ok" : "FAILED", pszStep, static_cast<unsigned>(hr));
    return bOk;
}

std::string ModulePath()
{
    WCHAR szKey[64] = L"CLSID\\";
    StringFromGUID2(CLSID_DemuxFilter, szKey + 6, CHARS_IN_GUID);
    StringCchCatW(szKey, 64, L"\\InprocServer32");
    HKEY hKey = nullptr;
    WCHAR szPath[1024] = {0};
    DWORD cb = sizeof(szPath) - sizeof(WCHAR);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        return std::string();
    }
    RegQueryValueExW(hKey, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(szPath), &cb);
    RegCloseKey(hKey);
    char szUtf8[4096];
    WideCharToMultiByte(CP_UTF8, 0, szPath, -1, szUtf8, sizeof(szUtf8), nullptr, nullptr);
    return szUtf8;
}

bool IsMapped(const std::string& path)
{
    void* pHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (pHandle) dlclose(pHandle);
    return pHandle != nullptr;
}

bool UseFilter(IBaseFilter* pFilter)
{
    CLSID clsid = GUID_NULL;
    HRESULT hr = pFilter->GetClassID(&clsid);
    bool bOk = Check(SUCCEEDED(hr) && IsEqualCLSID(clsid, CLSID_DemuxFilter), "GetClassID", hr);
    IPin* pPin = nullptr;
    hr = pFilter->FindPin(L"Input", &pPin);
    bOk = Check(hr == S_OK && pPin, "FindPin Input", hr) && bOk;
    if (pPin) pPin->Release();
    return bOk;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s REGISTRY-FILE|-\n", argv[0]);
        return 2;
    }
    if (std::string(argv[1]) != "-") {
        if (!Check(platformhost::UseRegistryFile(argv[1]) == ERROR_SUCCESS, "registry file")) return 1;
    }
    std::string modulePath = ModulePath();
    if (!Check(!modulePath.empty(), "module registered")) return 1;
    bool bOk = Check(!IsMapped(modulePath), "module not loaded before creation");

    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bOk = Check(hr == S_OK, "CoInitializeEx", hr) && bOk;
    IBaseFilter* pFilter = nullptr;
    hr = CoCreateInstance(CLSID_DemuxFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(&pFilter));
    if (!Check(hr == S_OK && pFilter, "CoCreateInstance", hr)) return 1;
    bOk = Check(IsMapped(modulePath) && platformtest::LoadedComServers() == 1, "module loaded") && bOk;
    bOk = UseFilter(pFilter) && bOk;

    // Still in use: the module must stay.
    CoFreeUnusedLibraries();
    bOk = Check(platformtest::LoadedComServers() == 1, "module kept while the filter lives") && bOk;
    ULONG cRef = pFilter->Release();
    bOk = Check(cRef == 0, "last Release returns 0", static_cast<HRESULT>(cRef)) && bOk;
    CoFreeUnusedLibraries();
    bOk = Check(platformtest::LoadedComServers() == 0 && !IsMapped(modulePath), "module unloaded") && bOk;
    CoUninitialize();
    return bOk ? 0 : 1;
}
