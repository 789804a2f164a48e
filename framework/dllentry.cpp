#include "dllentry.h"

HINSTANCE g_hInst = NULL;

BOOL ModuleEntryPoint(HINSTANCE hInstance, DWORD dwReason, const CFactoryTemplate* pTemplates, int cTemplates)
{
    if (dwReason != DLL_PROCESS_ATTACH && dwReason != DLL_PROCESS_DETACH) return TRUE;
    BOOL bLoading = dwReason == DLL_PROCESS_ATTACH ? TRUE : FALSE;
    if (bLoading) g_hInst = hInstance;
    for (int i = 0; i < cTemplates; ++i) {
        if (pTemplates[i].m_lpfnInit != NULL) pTemplates[i].m_lpfnInit(bLoading, pTemplates[i].m_ClsID);
    }
    return TRUE;
}
