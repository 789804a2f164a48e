// Module handles over the dynamic loader: a module's handle is the address
// it is loaded at, and its file name is what the loader knows of it.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/auxv.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "win32.h"

namespace {

// The program's own file; the loader knows it only by argv[0].
std::string ProgramPath()
{
    char sz[PATH_MAX];
    ssize_t cb = readlink("/proc/self/exe", sz, sizeof(sz) - 1);
    if (cb <= 0) return std::string();
    return std::string(sz, static_cast<size_t>(cb));
}

bool IsProgram(const void* pBase)
{
    Dl_info info;
    const void* pProgramHeaders = reinterpret_cast<const void*>(getauxval(AT_PHDR));
    return pProgramHeaders && dladdr(pProgramHeaders, &info) && info.dli_fbase == pBase;
}

}  // namespace

extern "C" DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize)
{
    if (!lpFilename || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::string path;
    Dl_info info;
    if (!hModule) {
        path = ProgramPath();
    } else if (!dladdr(hModule, &info) || info.dli_fbase != hModule) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    } else if (IsProgram(info.dli_fbase) || !info.dli_fname || !*info.dli_fname) {
        path = ProgramPath();
    } else {
        char* pszReal = realpath(info.dli_fname, nullptr);
        path = pszReal ? pszReal : info.dli_fname;
        free(pszReal);
    }
    if (path.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    int cch = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()), nullptr, 0);
    std::vector<WCHAR> wide(static_cast<size_t>(cch) + 1, 0);
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), static_cast<int>(path.size()), wide.data(), cch);
    DWORD cchPath = static_cast<DWORD>(cch);
    if (cchPath >= nSize) {
        // Cut and terminated, as Windows does since XP.
        std::copy(wide.begin(), wide.begin() + (nSize - 1), lpFilename);
        lpFilename[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::copy(wide.begin(), wide.end(), lpFilename);
    SetLastError(ERROR_SUCCESS);
    return cchPath;
}

extern "C" BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule)
{
    if (!phModule) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *phModule = nullptr;
    Dl_info info;
    if (!(dwFlags & GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS) || !dladdr(lpModuleName, &info)) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return FALSE;
    }
    *phModule = info.dli_fbase;
    return TRUE;
}
