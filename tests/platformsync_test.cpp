// The kernel-object stand-ins carry the worker hand-over and the AAC
// detection waits; a lost wake-up here would hang the filter.
#include <gtest/gtest.h>

#include <atomic>

#include "win32.h"

// Auto-reset releases one wait and resets, also among several handles;
// manual reset stays signalled until reset.
TEST(KernelEvents, ResetAsCreated)
{
    HANDLE h[2] = {CreateEventW(nullptr, FALSE, FALSE, nullptr), CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    ASSERT_NE(nullptr, h[0]);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(h[0], 0));
    EXPECT_TRUE(EventModify(h[0], EVENT_SET));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(h[0], 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(h[0], 0));
    SetEvent(h[1]);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0 + 1), WaitForMultipleObjects(2, h, FALSE, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForMultipleObjects(2, h, FALSE, 0));
    EXPECT_TRUE(CloseHandle(h[0]));
    CloseHandle(h[1]);

    HANDLE hManual = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hManual, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(hManual, 0));
    ResetEvent(hManual);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(hManual, 10));
    CloseHandle(hManual);
}

namespace {
struct HandOver {
    HANDLE request;
    HANDLE reply;
    std::atomic<int> rounds{0};
};

DWORD WINAPI Worker(LPVOID p)
{
    HandOver* h = static_cast<HandOver*>(p);
    for (int i = 0; i < 1000; ++i) {
        WaitForSingleObject(h->request, INFINITE);
        ++h->rounds;
        SetEvent(h->reply);
    }
    return 7;
}
}  // namespace

TEST(KernelThreads, RequestReplyPingPongLosesNoWakeUp)
{
    HandOver h;
    h.request = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    h.reply = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, Worker, &h, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_TRUE(CeSetThreadPriority(thread, 251));
    EXPECT_EQ(251, CeGetThreadPriority(thread));
    for (int i = 0; i < 1000; ++i) {
        SetEvent(h.request);
        ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(h.reply, 5000));
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(thread, 5000));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(7u, code);
    EXPECT_EQ(1000, h.rounds.load());
    CloseHandle(thread);
    CloseHandle(h.request);
    CloseHandle(h.reply);
}
