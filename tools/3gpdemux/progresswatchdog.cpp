#include "progresswatchdog.h"

#include <cstdio>
#include <cstdlib>

CProgressWatchdog::CProgressWatchdog(std::chrono::milliseconds limit, std::function<void()> beforeExit)
    : m_limit(limit), m_beforeExit(std::move(beforeExit))
{
    m_thread = std::thread([this]() { Run(); });
}

CProgressWatchdog::~CProgressWatchdog()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bStop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void CProgressWatchdog::Watch(std::function<uint64_t()> progress, std::function<std::string()> describeStuck)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_progress = std::move(progress);
        m_describeStuck = std::move(describeStuck);
        ++m_nGeneration;
    }
    m_wake.notify_all();
}

void CProgressWatchdog::Run()
{
    // Polled a few times within the limit: progress counts have no signal.
    const std::chrono::milliseconds poll = std::max(m_limit / 8, std::chrono::milliseconds(1));
    std::unique_lock<std::mutex> guard(m_lock);
    uint64_t nGeneration = m_nGeneration;
    uint64_t nLast = m_progress ? m_progress() : 0;
    auto lastMove = std::chrono::steady_clock::now();
    while (!m_bStop) {
        m_wake.wait_for(guard, poll);
        if (m_bStop) return;
        const uint64_t nNow = m_progress ? m_progress() : 0;
        const auto now = std::chrono::steady_clock::now();
        if (nGeneration != m_nGeneration || nNow != nLast) {
            nGeneration = m_nGeneration;
            nLast = nNow;
            lastMove = now;
        } else if (now - lastMove >= m_limit) {
            const std::string stuck = m_describeStuck ? m_describeStuck() : std::string();
            std::fprintf(stderr, "3gpdemux: nothing happened for %lld s, giving up: %s\n",
                         static_cast<long long>(std::chrono::duration_cast<std::chrono::seconds>(m_limit).count()),
                         stuck.c_str());
            std::fflush(stderr);
            if (m_beforeExit) m_beforeExit();
            // The stuck threads hold locks the normal exit path would need.
            std::_Exit(kExitHung);
        }
    }
}
