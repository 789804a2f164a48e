// CAMEvent: a kernel event owned by an object, manual or automatic reset.
#ifndef FRAMEWORK_AMEVENT_H
#define FRAMEWORK_AMEVENT_H

#include "win32.h"

class CAMEvent {
public:
    explicit CAMEvent(BOOL bManualReset = FALSE);
    ~CAMEvent();

    // NULL when the event could not be created.
    operator HANDLE() const { return m_hEvent; }
    void Set();
    void Reset();
    // TRUE when the event was signalled within dwTimeout milliseconds.
    BOOL Wait(DWORD dwTimeout = INFINITE);
    // A zero wait: for a manual-reset event this leaves it signalled.
    BOOL Check() { return Wait(0); }

private:
    CAMEvent(const CAMEvent&);
    CAMEvent& operator=(const CAMEvent&);

    HANDLE m_hEvent;
};

#endif
