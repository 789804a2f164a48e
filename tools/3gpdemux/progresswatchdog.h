// Ends a play that has stopped moving. A thread samples a progress count
// (events the sinks and the graph received); when it has not changed for
// the time limit, the watchdog prints what is stuck on stderr and ends the
// program with status 3. A worker stuck inside the filter can be neither
// waited for nor torn down, so nothing else would end the run.
#ifndef TOOLS_3GPDEMUX_PROGRESSWATCHDOG_H
#define TOOLS_3GPDEMUX_PROGRESSWATCHDOG_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Exit status of a run the watchdog ended.
const int kExitHung = 3;

class CProgressWatchdog {
public:
    // beforeExit runs just before the program ends (removing temporary files).
    CProgressWatchdog(std::chrono::milliseconds limit, std::function<void()> beforeExit);
    // Stops watching.
    ~CProgressWatchdog();
    CProgressWatchdog(const CProgressWatchdog&) = delete;
    CProgressWatchdog& operator=(const CProgressWatchdog&) = delete;

    // What to watch from now, and what to say if it stalls; the limit
    // starts again. A null progress never moves (a step that must end in time).
    void Watch(std::function<uint64_t()> progress, std::function<std::string()> describeStuck);

private:
    void Run();

    const std::chrono::milliseconds m_limit;
    std::function<void()> m_beforeExit;
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_bStop = false;
    uint64_t m_nGeneration = 0;  // bumped by Watch
    std::function<uint64_t()> m_progress;
    std::function<std::string()> m_describeStuck;
    std::thread m_thread;
};

#endif
