// The filter as a player gets it: lib3gpDemux.so registered with its own
// DllRegisterServer into a registry file private to this run, then the
// filter created by class identifier through CoCreateInstance, which loads
// the module the registry names.
//
// The module is looked for beside the tool's executable (the build puts
// both in build/), or where DEMUX_MODULE_PATH says. The registry file lives
// in a fresh directory under $TMPDIR (or /tmp) and is deleted when the
// server object goes away, so concurrent runs never share one.
#ifndef TOOLS_3GPDEMUX_COMSERVER_H
#define TOOLS_3GPDEMUX_COMSERVER_H

#include <string>

#include "win32.h"

class CToolComServer {
public:
    CToolComServer() = default;
    ~CToolComServer();
    CToolComServer(const CToolComServer&) = delete;
    CToolComServer& operator=(const CToolComServer&) = delete;

    // Registers the module; on failure *pError says what went wrong.
    HRESULT Register(std::string* pError);
    // The filter's IBaseFilter with one reference.
    HRESULT CreateFilter(IBaseFilter** ppFilter, std::string* pError);

    const std::string& ModulePath() const { return m_modulePath; }
    const std::string& RegistryPath() const { return m_registryPath; }

private:
    std::string m_modulePath;
    std::string m_directory;
    std::string m_registryPath;
    bool m_bComInitialized = false;
};

#endif
