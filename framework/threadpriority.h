// The framework's thread priority classes and the device priorities they
// stand for. The defaults are 248 (Critical) to 255 (Idle); a device can
// move them with DWORD values named after the classes under
// HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\DirectShow\ThreadPriority.
#ifndef FRAMEWORK_THREADPRIORITY_H
#define FRAMEWORK_THREADPRIORITY_H

#include "win32.h"

enum {
    AM_THREAD_CLASS_CRITICAL = 0,
    AM_THREAD_CLASS_HIGHEST = 1,
    AM_THREAD_CLASS_ABOVE_NORMAL = 2,
    AM_THREAD_CLASS_NORMAL = 3,
    AM_THREAD_CLASS_BELOW_NORMAL = 4,
    AM_THREAD_CLASS_LOWEST = 5,
    AM_THREAD_CLASS_ABOVE_IDLE = 6,
    AM_THREAD_CLASS_IDLE = 7,
    AM_THREAD_CLASS_COUNT = 8
};

class CThreadPriorityTable {
public:
    // The defaults.
    CThreadPriorityTable();

    // Reads the registry key; without a usable key the defaults stand.
    void Load();
    // Applies values read elsewhere: abValid[i] tells whether class i has a
    // usable value (a DWORD below 256) in adwValues[i].
    void Apply(const DWORD adwValues[AM_THREAD_CLASS_COUNT], const bool abValid[AM_THREAD_CLASS_COUNT]);

    // The device priority of a class; out-of-range classes give Normal's.
    int Priority(int nClass) const;

    // The process-wide table, read from the registry on first use.
    static int ForClass(int nClass);

private:
    int m_anPriority[AM_THREAD_CLASS_COUNT];
};

#endif
