#include "threadpriority.h"

namespace {

const int kDefaultFirst = 248;
const int kHighestPriority = 255;

const WCHAR* const kClassNames[AM_THREAD_CLASS_COUNT] = {
    L"Critical", L"Highest", L"AboveNormal", L"Normal", L"BelowNormal", L"Lowest", L"AboveIdle", L"Idle",
};

// 0 not loaded, 1 being loaded, 2 loaded.
volatile LONG g_lTableState = 0;
CThreadPriorityTable* g_pTable = NULL;

}  // namespace

CThreadPriorityTable::CThreadPriorityTable()
{
    for (int i = 0; i < AM_THREAD_CLASS_COUNT; ++i) m_anPriority[i] = kDefaultFirst + i;
}

void CThreadPriorityTable::Load()
{
    DWORD adwValues[AM_THREAD_CLASS_COUNT];
    bool abValid[AM_THREAD_CLASS_COUNT];
    HKEY hKey = NULL;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\DirectShow\\ThreadPriority", 0, KEY_READ,
                      &hKey) != ERROR_SUCCESS) {
        return;
    }
    for (int i = 0; i < AM_THREAD_CLASS_COUNT; ++i) {
        DWORD dwType = REG_NONE;
        DWORD dwValue = 0;
        DWORD cb = sizeof(dwValue);
        LONG lResult = RegQueryValueExW(hKey, kClassNames[i], NULL, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cb);
        abValid[i] = lResult == ERROR_SUCCESS && dwType == REG_DWORD && cb == sizeof(dwValue) && dwValue < 256;
        adwValues[i] = abValid[i] ? dwValue : 0;
    }
    RegCloseKey(hKey);
    Apply(adwValues, abValid);
}

void CThreadPriorityTable::Apply(const DWORD adwValues[AM_THREAD_CLASS_COUNT],
                                 const bool abValid[AM_THREAD_CLASS_COUNT])
{
    // The values must not fall from one class to the next; a key that
    // breaks this, or has no usable value, changes nothing.
    int nLastValid = -1;
    for (int i = 0; i < AM_THREAD_CLASS_COUNT; ++i) {
        if (!abValid[i]) continue;
        if (nLastValid >= 0 && adwValues[i] < adwValues[nLastValid]) return;
        nLastValid = i;
    }
    if (nLastValid < 0) return;

    int anResult[AM_THREAD_CLASS_COUNT];
    int nPrevValid = -1;
    for (int i = 0; i < AM_THREAD_CLASS_COUNT; ++i) {
        if (abValid[i]) {
            anResult[i] = static_cast<int>(adwValues[i]);
            nPrevValid = i;
            continue;
        }
        int nNextValid = -1;
        for (int j = i + 1; j < AM_THREAD_CLASS_COUNT && nNextValid < 0; ++j) {
            if (abValid[j]) nNextValid = j;
        }
        if (nNextValid >= 0) {
            // Counted back from the next value, kept at or above the previous one.
            int nValue = static_cast<int>(adwValues[nNextValid]) - (nNextValid - i);
            int nFloor = nPrevValid >= 0 ? static_cast<int>(adwValues[nPrevValid]) : 0;
            anResult[i] = nValue < nFloor ? nFloor : nValue;
        } else {
            int nValue = static_cast<int>(adwValues[nPrevValid]) + (i - nPrevValid);
            anResult[i] = nValue > kHighestPriority ? kHighestPriority : nValue;
        }
    }
    for (int i = 0; i < AM_THREAD_CLASS_COUNT; ++i) m_anPriority[i] = anResult[i];
}

int CThreadPriorityTable::Priority(int nClass) const
{
    if (nClass < 0 || nClass >= AM_THREAD_CLASS_COUNT) nClass = AM_THREAD_CLASS_NORMAL;
    return m_anPriority[nClass];
}

int CThreadPriorityTable::ForClass(int nClass)
{
    if (InterlockedCompareExchange(&g_lTableState, 1, 0) == 0) {
        // The first caller loads the table; the others wait for it.
        static CThreadPriorityTable s_table;
        s_table.Load();
        g_pTable = &s_table;
        InterlockedExchange(&g_lTableState, 2);
    }
    while (InterlockedCompareExchange(&g_lTableState, 2, 2) != 2) Sleep(0);
    return g_pTable->Priority(nClass);
}
