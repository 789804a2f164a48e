// CAMThread's request protocol between a controlling thread and a worker,
// and the priority it gives new workers.
#include <gtest/gtest.h>

#include <atomic>

#include "amthread.h"
#include "comtesthooks.h"
#include "threadpriority.h"

namespace {

const DWORD kRequestEcho = 1;
const DWORD kRequestPoll = 2;
const DWORD kRequestExit = 3;

// Echoes requests (reply = request + 100); on kRequestPoll it replies at
// once, then polls until the next request shows up, which it leaves pending.
class CEchoThread : public CAMThread {
public:
    DWORD ThreadProc() override
    {
        m_bComInitialised = platformtest::ComInitializedThreads() > 0;
        for (;;) {
            DWORD dwRequest = GetRequest();
            if (dwRequest == kRequestExit) {
                Reply(0);
                return 7;
            }
            Reply(dwRequest + 100);
            if (dwRequest == kRequestPoll) {
                DWORD dwPending = 0;
                while (!CheckRequest(&dwPending)) Sleep(1);
                m_dwSeenWhilePolling = dwPending;
                // Still pending after a second look: CheckRequest leaves it for GetRequest.
                m_bStillPending = CheckRequest(nullptr) != FALSE;
            }
        }
    }
    int Priority() { return CeGetThreadPriority(m_hThread); }

    std::atomic<DWORD> m_dwSeenWhilePolling{0};
    std::atomic<bool> m_bStillPending{false};
    std::atomic<bool> m_bComInitialised{false};
};

}  // namespace

TEST(AMThread, CheckRequestReportsAPendingRequestAndLeavesItSignalled)
{
    CEchoThread thread;
    ASSERT_TRUE(thread.Create());
    EXPECT_EQ(102u, thread.CallWorker(kRequestPoll));
    // The worker sees this request while polling and takes it with GetRequest afterwards.
    EXPECT_EQ(109u, thread.CallWorker(9));
    EXPECT_EQ(9u, thread.m_dwSeenWhilePolling.load());
    EXPECT_TRUE(thread.m_bStillPending.load());
    EXPECT_EQ(0u, thread.CallWorker(kRequestExit));
}

// CallWorker fails without a worker, before the first and after one ended.
TEST(AMThread, CallWorkerReturnsTheRepliesOfOneWorkerAtATime)
{
    CEchoThread thread;
    EXPECT_FALSE(thread.ThreadExists());
    EXPECT_EQ(static_cast<DWORD>(E_FAIL), thread.CallWorker(kRequestEcho));
    ASSERT_TRUE(thread.Create());
    EXPECT_TRUE(thread.ThreadExists());
    EXPECT_FALSE(thread.Create()) << "a second thread must be refused while one exists";
    EXPECT_EQ(101u, thread.CallWorker(kRequestEcho));
    EXPECT_EQ(105u, thread.CallWorker(5));
    EXPECT_EQ(0u, thread.CallWorker(kRequestExit));
    DWORD dwStart = GetTickCount();
    while (thread.ThreadExists() && GetTickCount() - dwStart < 5000) Sleep(1);
    EXPECT_FALSE(thread.ThreadExists());
    EXPECT_EQ(static_cast<DWORD>(E_FAIL), thread.CallWorker(kRequestEcho));
    // A new thread can be started once the old one is gone.
    ASSERT_TRUE(thread.Create());
    EXPECT_EQ(101u, thread.CallWorker(kRequestEcho));
    EXPECT_EQ(0u, thread.CallWorker(kRequestExit));
}

TEST(AMThread, WorkerRunsWithComInitialisedAtTheNormalClassPriority)
{
    CEchoThread thread;
    ASSERT_TRUE(thread.Create());
    EXPECT_EQ(CThreadPriorityTable::ForClass(AM_THREAD_CLASS_NORMAL), thread.Priority());
    EXPECT_EQ(101u, thread.CallWorker(kRequestEcho));
    EXPECT_TRUE(thread.m_bComInitialised.load());
    EXPECT_EQ(0u, thread.CallWorker(kRequestExit));
    thread.Close();
    EXPECT_EQ(0, platformtest::ComInitializedThreads());
}
