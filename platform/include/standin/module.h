// Module handles and entry points. On the device the loader calls a module's
// DllMain and exports what its .def file names; a shared object has neither,
// so a module declares its DllMain with DECLARE_MODULE_ENTRY_POINT and marks
// its exports with MODULE_EXPORT (everything else is hidden at build time).
#ifndef PLATFORM_STANDIN_MODULE_H
#define PLATFORM_STANDIN_MODULE_H

#include "basetypes.h"

#define MAX_PATH 260

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x1
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x2
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4

extern "C" {
// The full path of the module (NULL: the program). Returns the characters
// copied without the terminator; nSize when the path was cut (then
// GetLastError is ERROR_INSUFFICIENT_BUFFER); 0 on failure.
DWORD WINAPI GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize);
// Only GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS is supported: the handle of the
// module that holds the address given as lpModuleName. No reference is taken.
BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);
}

#define MODULE_EXPORT __attribute__((visibility("default")))

// Calls fnDllMain(module, DLL_PROCESS_ATTACH, NULL) when the module is
// loaded (static initialisation) and DLL_PROCESS_DETACH when it is unloaded.
// Use once per module, at namespace scope, after fnDllMain is declared.
#define DECLARE_MODULE_ENTRY_POINT(fnDllMain)                                                          \
    namespace {                                                                                       \
    class CModuleEntryPoint {                                                                         \
    public:                                                                                           \
        CModuleEntryPoint() : m_hModule(NULL)                                                         \
        {                                                                                             \
            GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |                                \
                                   GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,                      \
                               reinterpret_cast<LPCWSTR>(this), &m_hModule);                          \
            fnDllMain(m_hModule, DLL_PROCESS_ATTACH, NULL);                                           \
        }                                                                                             \
        ~CModuleEntryPoint() { fnDllMain(m_hModule, DLL_PROCESS_DETACH, NULL); }                      \
                                                                                                      \
    private:                                                                                          \
        HMODULE m_hModule;                                                                            \
    };                                                                                                \
    CModuleEntryPoint g_moduleEntryPoint;                                                             \
    }

#endif
