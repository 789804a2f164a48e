// CInterlockedValue: a small value (a flag, a state) that one thread writes
// and another polls without a lock, such as a pin's seeking flag that the
// worker tests at every sample boundary. Every read and write goes through
// the kernel's interlocked operations, so the reader sees a whole, current
// value with the writes before it, and thread checkers see the hand-over.
#ifndef FRAMEWORK_INTERLOCKEDVALUE_H
#define FRAMEWORK_INTERLOCKEDVALUE_H

#include "win32.h"

// T: an integer or enumeration type whose values fit a LONG.
template <class T>
class CInterlockedValue {
public:
    explicit CInterlockedValue(T value) : m_lValue(static_cast<LONG>(value)) {}

    // Compare-exchange with equal values reads without changing anything.
    T Get() const { return static_cast<T>(InterlockedCompareExchange(&m_lValue, 0, 0)); }
    void Set(T value) { InterlockedExchange(&m_lValue, static_cast<LONG>(value)); }

private:
    CInterlockedValue(const CInterlockedValue&);
    CInterlockedValue& operator=(const CInterlockedValue&);

    mutable volatile LONG m_lValue;
};

#endif
