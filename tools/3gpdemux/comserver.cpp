#include "comserver.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "3gpDemux.h"
#include "hostregistry.h"
#include "textformat.h"

namespace {

std::string FindModule()
{
    if (const char* pszPath = std::getenv("DEMUX_MODULE_PATH")) return pszPath;
    char szExe[PATH_MAX];
    ssize_t cch = readlink("/proc/self/exe", szExe, sizeof(szExe) - 1);
    if (cch <= 0) return "lib3gpDemux.so";
    std::string exe(szExe, static_cast<size_t>(cch));
    return exe.substr(0, exe.rfind('/') + 1) + "lib3gpDemux.so";
}

// Runs the module's own DllRegisterServer, as a setup program would.
HRESULT RegisterModule(const std::string& modulePath, std::string* pError)
{
    void* pModule = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!pModule) {
        *pError = "cannot load the filter module " + modulePath + ": " + dlerror();
        return CO_E_DLLNOTFOUND;
    }
    typedef HRESULT(STDAPICALLTYPE * PFNREGISTER)();
    PFNREGISTER pfnRegister = reinterpret_cast<PFNREGISTER>(dlsym(pModule, "DllRegisterServer"));
    HRESULT hr = pfnRegister ? pfnRegister() : CO_E_ERRORINDLL;
    if (FAILED(hr)) *pError = "DllRegisterServer of " + modulePath + " failed: " + HresultWithName(hr);
    dlclose(pModule);
    return hr;
}

}  // namespace

CToolComServer::~CToolComServer()
{
    if (!m_registryPath.empty()) {
        platformhost::UseRegistryFile("");
        std::remove(m_registryPath.c_str());
    }
    if (!m_directory.empty()) rmdir(m_directory.c_str());
    if (m_bComInitialized) CoUninitialize();
}

HRESULT CToolComServer::Register(std::string* pError)
{
    m_modulePath = FindModule();
    const char* pszTemp = std::getenv("TMPDIR");
    std::string pattern = std::string(pszTemp && *pszTemp ? pszTemp : "/tmp") + "/3gpdemux.XXXXXX";
    if (!mkdtemp(&pattern[0])) {
        *pError = "cannot create a directory for the registry file under " + pattern;
        return E_FAIL;
    }
    m_directory = pattern;
    m_registryPath = m_directory + "/registry";
    LONG lResult = platformhost::UseRegistryFile(m_registryPath);
    if (lResult != ERROR_SUCCESS) {
        *pError = "cannot use the registry file " + m_registryPath;
        return HRESULT_FROM_WIN32(lResult);
    }
    m_bComInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    return RegisterModule(m_modulePath, pError);
}

HRESULT CToolComServer::CreateFilter(IBaseFilter** ppFilter, std::string* pError)
{
    HRESULT hr = CoCreateInstance(CLSID_DemuxFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(ppFilter));
    if (FAILED(hr)) *pError = "CoCreateInstance of the demux filter failed: " + HresultWithName(hr);
    return hr;
}
