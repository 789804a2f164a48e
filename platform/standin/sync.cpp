// Kernel objects over the C++ standard library. Every event and thread
// shares one lock and one condition variable: the objects are few and
// rarely signalled, and one lock makes WaitForMultipleObjects simple and
// its semantics exact.
#include "testhooks.h"
#include "win32.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Never destroyed: a thread that ends as the process exits (threads run
// detached, as on the device) may still signal them after static
// destructors have run.
std::mutex& Lock()
{
    static std::mutex* m = new std::mutex;
    return *m;
}

std::condition_variable& Changed()
{
    static std::condition_variable* cv = new std::condition_variable;
    return *cv;
}

struct KernelObject {
    virtual ~KernelObject() = default;
    // Called under Lock(): true when a wait is satisfied now, consuming an
    // auto-reset signal. myGeneration is the pulse generation the waiter saw.
    virtual bool TryAcquire(unsigned long long myGeneration) = 0;
    virtual bool IsSignalled(unsigned long long myGeneration) const = 0;
    virtual unsigned long long Generation() const { return 0; }
    virtual void AddWaiter(int) {}
};

struct Event : KernelObject {
    bool manual = false;
    bool signalled = false;
    int waiters = 0;
    unsigned long long pulseGeneration = 0;
    int pulseTokens = 0;

    bool IsSignalled(unsigned long long myGeneration) const override
    {
        return signalled || (pulseTokens > 0 && myGeneration != pulseGeneration);
    }
    bool TryAcquire(unsigned long long myGeneration) override
    {
        if (signalled) {
            if (!manual) signalled = false;
            return true;
        }
        if (pulseTokens > 0 && myGeneration != pulseGeneration) {
            --pulseTokens;
            return true;
        }
        return false;
    }
    unsigned long long Generation() const override { return pulseGeneration; }
    void AddWaiter(int delta) override { waiters += delta; }
};

struct ThreadObject : KernelObject {
    bool finished = false;
    bool started = false;
    DWORD exitCode = STILL_ACTIVE;
    int priority = 251;

    bool IsSignalled(unsigned long long) const override { return finished; }
    bool TryAcquire(unsigned long long) override { return finished; }
};

// What a HANDLE points to: closing it drops the caller's reference while a
// running thread keeps its own.
struct HandleBox {
    std::shared_ptr<KernelObject> object;
};

std::shared_ptr<KernelObject> FromHandle(HANDLE h)
{
    if (!h) return nullptr;
    return static_cast<HandleBox*>(h)->object;
}

std::atomic<DWORD> g_nextThreadId{1};
// Handles created and not yet closed, for tests that check for leaks.
std::atomic<long> g_liveHandles{0};
thread_local DWORD t_threadId = 0;

DWORD WaitOn(const std::vector<std::shared_ptr<KernelObject>>& objects, bool waitAll, DWORD ms)
{
    std::unique_lock<std::mutex> guard(Lock());
    std::vector<unsigned long long> generations;
    for (auto& o : objects) {
        generations.push_back(o->Generation());
        o->AddWaiter(1);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    DWORD result = WAIT_TIMEOUT;
    for (;;) {
        if (waitAll) {
            bool all = true;
            for (size_t i = 0; i < objects.size(); ++i) all = all && objects[i]->IsSignalled(generations[i]);
            if (all) {
                for (size_t i = 0; i < objects.size(); ++i) objects[i]->TryAcquire(generations[i]);
                result = WAIT_OBJECT_0;
                break;
            }
        } else {
            bool done = false;
            for (size_t i = 0; i < objects.size(); ++i) {
                if (objects[i]->TryAcquire(generations[i])) {
                    result = WAIT_OBJECT_0 + static_cast<DWORD>(i);
                    done = true;
                    break;
                }
            }
            if (done) break;
        }
        if (ms == 0) break;
        if (ms == INFINITE) {
            Changed().wait(guard);
        } else if (Changed().wait_until(guard, deadline) == std::cv_status::timeout) {
            ms = 0;  // one last look, then time out
        }
    }
    for (auto& o : objects) o->AddWaiter(-1);
    return result;
}

}  // namespace

extern "C" {

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs)
{
    cs->pImpl = new std::recursive_mutex;
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs)
{
    delete static_cast<std::recursive_mutex*>(cs->pImpl);
    cs->pImpl = nullptr;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs)
{
    static_cast<std::recursive_mutex*>(cs->pImpl)->lock();
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs)
{
    static_cast<std::recursive_mutex*>(cs->pImpl)->unlock();
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs)
{
    return static_cast<std::recursive_mutex*>(cs->pImpl)->try_lock() ? TRUE : FALSE;
}

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState, LPCWSTR)
{
    if (platformtest::AllocationShouldFail(__builtin_return_address(0), "CreateEventW")) {
        SetLastError(8);  // ERROR_NOT_ENOUGH_MEMORY
        return nullptr;
    }
    auto event = std::make_shared<Event>();
    event->manual = bManualReset != FALSE;
    event->signalled = bInitialState != FALSE;
    ++g_liveHandles;
    return new HandleBox{event};
}

BOOL WINAPI EventModify(HANDLE hEvent, DWORD func)
{
    auto object = FromHandle(hEvent);
    Event* event = dynamic_cast<Event*>(object.get());
    if (!event) {
        SetLastError(6);  // ERROR_INVALID_HANDLE
        return FALSE;
    }
    {
        std::lock_guard<std::mutex> guard(Lock());
        switch (func) {
        case EVENT_SET:
            event->signalled = true;
            break;
        case EVENT_RESET:
            event->signalled = false;
            break;
        case EVENT_PULSE:
            // Releases the threads waiting right now (one for auto-reset) and leaves the event reset.
            event->signalled = false;
            if (event->waiters > 0) {
                ++event->pulseGeneration;
                event->pulseTokens = event->manual ? event->waiters : 1;
            }
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
    }
    Changed().notify_all();
    return TRUE;
}

BOOL WINAPI SetEvent(HANDLE hEvent)
{
    return EventModify(hEvent, EVENT_SET);
}

BOOL WINAPI ResetEvent(HANDLE hEvent)
{
    return EventModify(hEvent, EVENT_RESET);
}

BOOL WINAPI PulseEvent(HANDLE hEvent)
{
    return EventModify(hEvent, EVENT_PULSE);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    auto object = FromHandle(hHandle);
    if (!object) {
        SetLastError(6);
        return WAIT_FAILED;
    }
    // A poll (the delivery threads make one per sample) needs no waiter
    // bookkeeping: under the lock nobody can pulse while it looks, and a
    // pulse from before does not count for a wait that starts now.
    if (dwMilliseconds == 0) {
        std::lock_guard<std::mutex> guard(Lock());
        return object->TryAcquire(object->Generation()) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    return WaitOn({object}, false, dwMilliseconds);
}

DWORD WINAPI WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll, DWORD dwMilliseconds)
{
    if (nCount == 0 || !lpHandles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<KernelObject>> objects;
    for (DWORD i = 0; i < nCount; ++i) {
        auto object = FromHandle(lpHandles[i]);
        if (!object) {
            SetLastError(6);
            return WAIT_FAILED;
        }
        objects.push_back(object);
    }
    return WaitOn(objects, bWaitAll != FALSE, dwMilliseconds);
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    if (!hObject) {
        SetLastError(6);
        return FALSE;
    }
    delete static_cast<HandleBox*>(hObject);
    --g_liveHandles;
    return TRUE;
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId)
{
    if (platformtest::AllocationShouldFail(__builtin_return_address(0), "CreateThread")) {
        SetLastError(8);  // ERROR_NOT_ENOUGH_MEMORY
        return nullptr;
    }
    auto state = std::make_shared<ThreadObject>();
    DWORD id = g_nextThreadId++;
    state->started = !(dwCreationFlags & CREATE_SUSPENDED);
    try {
        std::thread([state, id, lpStartAddress, lpParameter]() {
            t_threadId = id;
            {
                std::unique_lock<std::mutex> guard(Lock());
                while (!state->started) Changed().wait(guard);
            }
            DWORD code = lpStartAddress(lpParameter);
            {
                std::lock_guard<std::mutex> guard(Lock());
                state->exitCode = code;
                state->finished = true;
            }
            Changed().notify_all();
        }).detach();
    } catch (...) {
        SetLastError(8);
        return nullptr;
    }
    if (lpThreadId) *lpThreadId = id;
    ++g_liveHandles;
    return new HandleBox{state};
}

DWORD WINAPI ResumeThread(HANDLE hThread)
{
    auto thread = std::dynamic_pointer_cast<ThreadObject>(FromHandle(hThread));
    if (!thread) return 0xFFFFFFFF;
    DWORD previous;
    {
        std::lock_guard<std::mutex> guard(Lock());
        previous = thread->started ? 0 : 1;
        thread->started = true;
    }
    Changed().notify_all();
    return previous;
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode)
{
    auto thread = std::dynamic_pointer_cast<ThreadObject>(FromHandle(hThread));
    if (!thread || !lpExitCode) return FALSE;
    std::lock_guard<std::mutex> guard(Lock());
    *lpExitCode = thread->exitCode;
    return TRUE;
}

BOOL WINAPI CeSetThreadPriority(HANDLE hThread, int nPriority)
{
    auto thread = std::dynamic_pointer_cast<ThreadObject>(FromHandle(hThread));
    if (!thread || nPriority < 0 || nPriority > 255) return FALSE;
    std::lock_guard<std::mutex> guard(Lock());
    thread->priority = nPriority;
    return TRUE;
}

int WINAPI CeGetThreadPriority(HANDLE hThread)
{
    auto thread = std::dynamic_pointer_cast<ThreadObject>(FromHandle(hThread));
    if (!thread) return 0x7FFFFFFF;  // THREAD_PRIORITY_ERROR_RETURN
    std::lock_guard<std::mutex> guard(Lock());
    return thread->priority;
}

// The eight-level priorities map onto the top of the 256-level range, as on the device.
BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority)
{
    if (nPriority < 0 || nPriority > 7) return FALSE;
    return CeSetThreadPriority(hThread, 248 + nPriority);
}

int WINAPI GetThreadPriority(HANDLE hThread)
{
    int p = CeGetThreadPriority(hThread);
    return p >= 248 && p <= 255 ? p - 248 : p;
}

DWORD WINAPI GetCurrentThreadId(void)
{
    if (t_threadId == 0) t_threadId = g_nextThreadId++;
    return t_threadId;
}

void WINAPI Sleep(DWORD dwMilliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WINAPI GetTickCount(void)
{
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

LONG WINAPI InterlockedIncrement(LONG volatile* p)
{
    return __atomic_add_fetch(p, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedDecrement(LONG volatile* p)
{
    return __atomic_sub_fetch(p, 1, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedExchange(LONG volatile* p, LONG v)
{
    return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST);
}

LONG WINAPI InterlockedCompareExchange(LONG volatile* p, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(p, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
    return comparand;
}

LONG WINAPI InterlockedExchangeAdd(LONG volatile* p, LONG v)
{
    return __atomic_fetch_add(p, v, __ATOMIC_SEQ_CST);
}

PVOID WINAPI InterlockedExchangePointer(PVOID volatile* p, PVOID v)
{
    return __atomic_exchange_n(p, v, __ATOMIC_SEQ_CST);
}

}  // extern "C"

namespace platformtest {
long LiveKernelHandles()
{
    return g_liveHandles.load();
}
}  // namespace platformtest
