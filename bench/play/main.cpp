// bench_play: runs the demux filter in a graph for the benchmark driver
// (bench/measure.py). One command a process, so each process's peak memory
// belongs to one measurement; each prints one JSON object.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "benchsession.h"

namespace {

const char kUsage[] =
    "usage: bench_play play FILE [READLOG]   play to end-of-stream (READLOG: write every read made)\n"
    "       bench_play play-noread FILE      the same with sinks that do not read the bytes\n"
    "       bench_play open FILE             connect the file and stop there\n"
    "       bench_play baseline              create the filter, open nothing\n"
    "       bench_play seek FILE [N]         time seeks near the start and the end, median of N (5)\n"
    "       bench_play replay FILE READLOG [N]  the logged reads as a pread loop, N times (1)\n";

int Count(const char* pszText, int nDefault)
{
    int n = pszText ? std::atoi(pszText) : nDefault;
    return n > 0 ? n : nDefault;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    const char* pszArg2 = argc > 2 ? argv[2] : nullptr;
    const char* pszArg3 = argc > 3 ? argv[3] : nullptr;
    const char* pszArg4 = argc > 4 ? argv[4] : nullptr;
    if (command == "play" && pszArg2) return RunPlay(pszArg2, pszArg3 ? pszArg3 : "");
    if (command == "play-noread" && pszArg2) return RunPlay(pszArg2, "", false);
    if (command == "open" && pszArg2) return RunOpen(pszArg2);
    if (command == "baseline") return RunBaseline();
    if (command == "seek" && pszArg2) return RunSeek(pszArg2, Count(pszArg3, 5));
    if (command == "replay" && pszArg3) return RunReadReplay(pszArg2, pszArg3, Count(pszArg4, 1));
    std::fputs(kUsage, stderr);
    return 1;
}
