// The device's kernel services over their desktop Windows equivalents.
#include "win32.h"

#include <stdarg.h>

extern "C" void NKDbgPrintfW(LPCWSTR lpszFmt, ...)
{
    // strsafe's wide printf follows the device's rules (%s wide, %S narrow)
    // and cuts a longer message rather than dropping it.
    WCHAR szText[1024];
    va_list args;
    va_start(args, lpszFmt);
    StringCchVPrintfW(szText, sizeof(szText) / sizeof(szText[0]), lpszFmt, args);
    va_end(args);
    OutputDebugStringW(szText);
}

extern "C" BOOL WINAPI EventModify(HANDLE hEvent, DWORD func)
{
    switch (func) {
    case EVENT_SET:
        return SetEvent(hEvent);
    case EVENT_RESET:
        return ResetEvent(hEvent);
    case EVENT_PULSE:
        return PulseEvent(hEvent);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
}

namespace {

// The eight device classes 248 ("Critical") to 255 ("Idle") in desktop terms;
// the device's real-time range above them counts as "Critical".
const int s_aiDesktopPriority[8] = {
    THREAD_PRIORITY_TIME_CRITICAL, THREAD_PRIORITY_HIGHEST, THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_NORMAL,
    THREAD_PRIORITY_BELOW_NORMAL,  THREAD_PRIORITY_LOWEST,  THREAD_PRIORITY_LOWEST,       THREAD_PRIORITY_IDLE,
};
const int CE_PRIORITY_CLASS_BASE = 248;

}  // namespace

extern "C" BOOL WINAPI CeSetThreadPriority(HANDLE hThread, int nPriority)
{
    if (nPriority < 0 || nPriority > 255) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int iClass = nPriority < CE_PRIORITY_CLASS_BASE ? 0 : nPriority - CE_PRIORITY_CLASS_BASE;
    return SetThreadPriority(hThread, s_aiDesktopPriority[iClass]);
}

extern "C" int WINAPI CeGetThreadPriority(HANDLE hThread)
{
    int iDesktop = GetThreadPriority(hThread);
    for (int i = 0; i < 8; ++i) {
        if (s_aiDesktopPriority[i] == iDesktop) return CE_PRIORITY_CLASS_BASE + i;
    }
    return CE_PRIORITY_CLASS_BASE + 3;
}
