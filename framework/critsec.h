// CCritSec, a critical section that cannot be copied, and CAutoLock, which
// holds one for the life of a scope.
#ifndef FRAMEWORK_CRITSEC_H
#define FRAMEWORK_CRITSEC_H

#include "win32.h"

class CCritSec {
public:
    CCritSec() { InitializeCriticalSection(&m_cs); }
    ~CCritSec() { DeleteCriticalSection(&m_cs); }
    void Lock() { EnterCriticalSection(&m_cs); }
    void Unlock() { LeaveCriticalSection(&m_cs); }

private:
    CCritSec(const CCritSec&);
    CCritSec& operator=(const CCritSec&);

    CRITICAL_SECTION m_cs;
};

class CAutoLock {
public:
    explicit CAutoLock(CCritSec* pLock) : m_pLock(pLock) { m_pLock->Lock(); }
    ~CAutoLock() { m_pLock->Unlock(); }

private:
    CAutoLock(const CAutoLock&);
    CAutoLock& operator=(const CAutoLock&);

    CCritSec* m_pLock;
};

#endif
