// play, open and baseline: a whole play to end-of-stream, the connection
// alone, and the process with the filter created but no file, whose memory
// is what every other figure includes.
#include <cstdio>
#include <fstream>
#include <iostream>

#include "benchsession.h"

namespace {

int Fail(const std::string& message)
{
    std::fprintf(stderr, "bench_play: %s\n", message.c_str());
    return 1;
}

}  // namespace

int RunPlay(const std::string& path, const std::string& readLogPath, bool bReadBytes)
{
    CBenchSession bench;
    std::string error;
    if (FAILED(bench.Open(path, !readLogPath.empty(), &error, bReadBytes))) return Fail(error);
    CToolSession& session = bench.Session();
    BenchClock::time_point tStart = BenchClock::now();
    HRESULT hr = session.Play();
    if (FAILED(hr)) return Fail("the graph did not run");
    if (!session.WaitForEndOfStreams(600000)) return Fail("no end-of-stream within 10 minutes");
    double dPlaySeconds = SecondsBetween(tStart, BenchClock::now());
    session.Graph()->Stop();

    if (!readLogPath.empty()) {
        std::ofstream log(readLogPath);
        for (const CHostAsyncSource::ReadRecord& read : session.Source()->Reads())
            log << read.llPosition << ' ' << read.lLength << '\n';
        if (!log) return Fail("cannot write " + readLogPath);
    }
    Json result{{"command", "play"},
                {"open_s", bench.OpenSeconds()},
                {"play_s", dPlaySeconds},
                {"reads", session.Source()->ReadCount()},
                {"pins", bench.PinsJson()},
                {"stream_errors", bench.StreamErrorsJson()}};
    std::cout << result.dump() << std::endl;
    return 0;
}

int RunOpen(const std::string& path)
{
    CBenchSession bench;
    std::string error;
    if (FAILED(bench.Open(path, false, &error))) return Fail(error);
    IMediaSeeking* pSeeking = bench.Session().Seeking(0);
    LONGLONG llDuration = 0;
    if (pSeeking) {
        pSeeking->GetDuration(&llDuration);
        pSeeking->Release();
    }
    Json result{{"command", "open"},
                {"open_s", bench.OpenSeconds()},
                {"duration", llDuration},
                {"reads", bench.Session().Source()->ReadCount()},
                {"pins", bench.PinsJson()}};
    std::cout << result.dump() << std::endl;
    return 0;
}

int RunBaseline()
{
    CToolSession session;
    std::string error;
    if (FAILED(session.CreateFilter(&error))) return Fail(error);
    std::cout << Json{{"command", "baseline"}}.dump() << std::endl;
    return 0;
}
