#include "watchdog.h"

#include <cstdio>
#include <cstdlib>

TestWatchdog::TestWatchdog(std::string what, std::chrono::seconds limit)
{
    m_thread = std::thread([this, what, limit]() {
        std::unique_lock<std::mutex> guard(m_lock);
        if (m_done.wait_for(guard, limit, [this]() { return m_bDone; })) return;
        std::fprintf(stderr, "watchdog: %s did not finish within %lld s\n", what.c_str(),
                     static_cast<long long>(limit.count()));
        std::fflush(stderr);
        // The hung thread cannot be ended from here; the whole program is.
        std::_Exit(3);
    });
}

TestWatchdog::~TestWatchdog()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bDone = true;
    }
    m_done.notify_all();
    m_thread.join();
}
