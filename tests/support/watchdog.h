// Ends the test program when a scope outlives its time limit: a hang then
// fails the run, with the scope's name on stderr, instead of stalling it.
#ifndef TESTS_WATCHDOG_H
#define TESTS_WATCHDOG_H

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class TestWatchdog {
public:
    TestWatchdog(std::string what, std::chrono::seconds limit);
    // Disarms the watchdog.
    ~TestWatchdog();
    TestWatchdog(const TestWatchdog&) = delete;
    TestWatchdog& operator=(const TestWatchdog&) = delete;

private:
    std::mutex m_lock;
    std::condition_variable m_done;
    bool m_bDone = false;
    std::thread m_thread;
};

#endif
