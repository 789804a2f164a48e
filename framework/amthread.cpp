#include "amthread.h"

#include "threadpriority.h"

CAMThread::CAMThread()
    : m_hThread(NULL), m_evRequestSent(TRUE), m_evRequestDone(FALSE), m_dwParam(0), m_dwReturnVal(0)
{
}

CAMThread::~CAMThread()
{
    Close();
}

DWORD WINAPI CAMThread::InitialThreadProc(LPVOID pv)
{
    CAMThread* pThread = static_cast<CAMThread*>(pv);
    HRESULT hrCom = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    DWORD dwResult = pThread->ThreadProc();
    if (SUCCEEDED(hrCom)) CoUninitialize();
    return dwResult;
}

BOOL CAMThread::Create()
{
    CAutoLock lock(&m_csAccess);
    if (ThreadExists()) return FALSE;
    if (!HasEvents()) return FALSE;
    DWORD dwThreadId = 0;
    // Started suspended so that it never runs a step at the creator's priority.
    HANDLE hThread = CreateThread(NULL, 0, InitialThreadProc, this, CREATE_SUSPENDED, &dwThreadId);
    if (hThread == NULL) return FALSE;
    CeSetThreadPriority(hThread, CThreadPriorityTable::ForClass(AM_THREAD_CLASS_NORMAL));
    m_hThread = hThread;
    ResumeThread(hThread);
    return TRUE;
}

HANDLE CAMThread::TakeThreadHandle()
{
    return static_cast<HANDLE>(InterlockedExchangePointer(&m_hThread, NULL));
}

BOOL CAMThread::ThreadExists()
{
    HANDLE hThread = m_hThread;
    if (hThread == NULL) return FALSE;
    if (WaitForSingleObject(hThread, 0) != WAIT_OBJECT_0) return TRUE;
    HANDLE hTaken = TakeThreadHandle();
    if (hTaken != NULL) {
        WaitForSingleObject(hTaken, INFINITE);
        CloseHandle(hTaken);
    }
    return FALSE;
}

void CAMThread::Close()
{
    HANDLE hThread = TakeThreadHandle();
    if (hThread != NULL) {
        WaitForSingleObject(hThread, INFINITE);
        CloseHandle(hThread);
    }
}

DWORD CAMThread::CallWorker(DWORD dwParam)
{
    CAutoLock lock(&m_csAccess);
    if (!ThreadExists()) return static_cast<DWORD>(E_FAIL);
    m_dwParam = dwParam;
    m_evRequestSent.Set();
    m_evRequestDone.Wait();
    return m_dwReturnVal;
}

DWORD CAMThread::GetRequest()
{
    m_evRequestSent.Wait();
    return m_dwParam;
}

BOOL CAMThread::CheckRequest(DWORD* pdwParam)
{
    if (!m_evRequestSent.Check()) return FALSE;
    if (pdwParam) *pdwParam = m_dwParam;
    return TRUE;
}

void CAMThread::Reply(DWORD dwReturnVal)
{
    m_dwReturnVal = dwReturnVal;
    // The request is no longer pending once it is answered.
    m_evRequestSent.Reset();
    m_evRequestDone.Set();
}
