// The module's attachment to a process: its instance handle, and the work of
// its DllMain.
#ifndef FRAMEWORK_DLLENTRY_H
#define FRAMEWORK_DLLENTRY_H

#include "win32.h"
#include "classfactory.h"

// The module's instance handle, set when the module is attached; NULL before.
extern HINSTANCE g_hInst;

// On DLL_PROCESS_ATTACH stores hInstance and calls each template's
// initialisation routine with TRUE; on DLL_PROCESS_DETACH calls them with
// FALSE. Other reasons do nothing. Always TRUE.
BOOL ModuleEntryPoint(HINSTANCE hInstance, DWORD dwReason, const CFactoryTemplate* pTemplates, int cTemplates);

#endif
