// The graph the benchmark runs: the filter created through COM from
// lib3gpDemux.so exactly as the 3gpdemux tool creates it, a file source, and
// on each output pin a sink that only counts (it reads every byte it gets
// and keeps no record), so a long play costs the same memory as a short one.
#ifndef BENCH_PLAY_BENCHSESSION_H
#define BENCH_PLAY_BENCHSESSION_H

#include <nlohmann/json.hpp>

#include <chrono>
#include <string>

#include "session.h"

using Json = nlohmann::ordered_json;
using BenchClock = std::chrono::steady_clock;

double SecondsBetween(BenchClock::time_point from, BenchClock::time_point to);

class CBenchSession {
public:
    // Registers and creates the filter, connects the source to it (timed:
    // OpenSeconds) and a counting sink to each output pin. bLogReads keeps
    // the source's log of every read, for the read replay. Without
    // bReadBytes the sinks take each sample without looking at its bytes,
    // as GStreamer's fakesink and ffmpeg's null muxer do.
    HRESULT Open(const std::string& path, bool bLogReads, std::string* pError, bool bReadBytes = true);

    CToolSession& Session() { return m_session; }
    double OpenSeconds() const { return m_dOpenSeconds; }
    // Per pin: kind, file samples of its track, media samples and bytes received.
    Json PinsJson() const;
    // Failures the filter posted while streaming, as result codes.
    Json StreamErrorsJson() const;

private:
    CToolSession m_session;
    double m_dOpenSeconds = 0;
};

// Each returns the process exit status and writes one JSON object to stdout.
int RunPlay(const std::string& path, const std::string& readLogPath, bool bReadBytes = true);
int RunOpen(const std::string& path);
int RunBaseline();
int RunSeek(const std::string& path, int nRepeats);
int RunReadReplay(const std::string& path, const std::string& readLogPath, int nRepeats);

#endif
