// replay: the reads a play made, at the same offsets and of the same sizes,
// as a plain loop of pread calls into one buffer: the least any demuxer that
// reads sample by sample from this file can cost.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <vector>

#include "benchsession.h"

int RunReadReplay(const std::string& path, const std::string& readLogPath, int nRepeats)
{
    std::vector<std::pair<long long, long>> reads;
    std::ifstream log(readLogPath);
    long long llOffset = 0;
    long lLength = 0;
    long lLargest = 0;
    while (log >> llOffset >> lLength) {
        reads.emplace_back(llOffset, lLength);
        lLargest = std::max(lLargest, lLength);
    }
    int fd = open(path.c_str(), O_RDONLY);
    if (reads.empty() || fd < 0) {
        std::fprintf(stderr, "bench_play: nothing to replay from %s over %s\n", readLogPath.c_str(), path.c_str());
        if (fd >= 0) close(fd);
        return 1;
    }
    std::vector<unsigned char> buffer(static_cast<size_t>(lLargest) + 1);
    Json runs = Json::array();
    unsigned long long cbTotal = 0;
    for (int n = 0; n < nRepeats; ++n) {
        cbTotal = 0;
        BenchClock::time_point tStart = BenchClock::now();
        for (const std::pair<long long, long>& read : reads) {
            ssize_t cb = pread(fd, buffer.data(), static_cast<size_t>(read.second), read.first);
            if (cb > 0) cbTotal += static_cast<unsigned long long>(cb);
        }
        runs.push_back(SecondsBetween(tStart, BenchClock::now()));
    }
    close(fd);
    std::cout << Json{{"command", "replay"}, {"reads", reads.size()}, {"bytes", cbTotal}, {"runs_s", runs}}.dump()
              << std::endl;
    return 0;
}
