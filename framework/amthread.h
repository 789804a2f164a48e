// CAMThread: a worker thread that takes requests from a controlling thread.
//
// The controller sends a request with CallWorker and waits for the reply;
// the worker (ThreadProc) waits with GetRequest, or polls with CheckRequest
// while it is busy, and answers with Reply. CallWorker calls are serialised
// by m_csAccess. The thread runs at the framework's "Normal" priority class
// and has COM initialised for it while ThreadProc runs.
#ifndef FRAMEWORK_AMTHREAD_H
#define FRAMEWORK_AMTHREAD_H

#include "win32.h"
#include "amevent.h"
#include "critsec.h"

class CAMThread {
public:
    CAMThread();
    virtual DWORD ThreadProc() = 0;
    // Waits for a thread still running (it must be on its way out) and closes it.
    virtual ~CAMThread();

    // Starts the thread; FALSE when one exists already or it cannot be started.
    BOOL Create();
    // TRUE while the thread handle is set and the thread runs. A thread
    // found ended has its handle closed here.
    BOOL ThreadExists();
    // Sends dwParam to the worker and returns its reply; E_FAIL without a thread.
    DWORD CallWorker(DWORD dwParam);
    // Worker side: waits for a request and returns it.
    DWORD GetRequest();
    // Worker side: TRUE and the request when one is waiting. The request
    // stays pending, for GetRequest to take.
    BOOL CheckRequest(DWORD* pdwParam);
    // Worker side: answers the current request.
    void Reply(DWORD dwReturnVal);
    // Waits for the thread to end and closes its handle.
    void Close();

    // The manual-reset event that is signalled while a request is pending.
    HANDLE GetRequestHandle() const { return m_evRequestSent; }
    // FALSE when the request events could not be made (out of resources):
    // no thread can ever be started then.
    BOOL HasEvents() const { return m_evRequestSent != NULL && m_evRequestDone != NULL; }

    CCritSec m_csAccess;
    CCritSec m_csWorker;

protected:
    HANDLE m_hThread;

private:
    CAMThread(const CAMThread&);
    CAMThread& operator=(const CAMThread&);

    static DWORD WINAPI InitialThreadProc(LPVOID pv);
    // Takes the handle out of the object atomically, so only one caller waits and closes.
    HANDLE TakeThreadHandle();

    CAMEvent m_evRequestSent;
    CAMEvent m_evRequestDone;
    volatile DWORD m_dwParam;
    volatile DWORD m_dwReturnVal;
};

#endif
