// seek: how long a seek takes until the first sample of the new position
// reaches each sink. The graph is paused and the sinks hold every sample
// they get, as renderers do while paused, so each pin's worker waits in
// Receive; every measured seek starts from a position reached by an earlier
// seek, and is timed from SetPositions to the arrival of the first sample
// after the flush.
#include <algorithm>
#include <cstdio>
#include <iostream>
#include <vector>

#include "benchsession.h"

namespace {

const DWORD kWaitMilliseconds = 60000;
const REFERENCE_TIME kSecond = 10000000;

struct SeekCase {
    const char* pszName;
    REFERENCE_TIME rtFrom;
    REFERENCE_TIME rtTo;
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

class CSeeker {
public:
    CSeeker(CToolSession* pSession, IMediaSeeking* pSeeking) : m_pSession(pSession), m_pSeeking(pSeeking) {}

    // Seeks to rt; per sink, seconds from the call to the first new sample.
    // The first sink's media start time of that sample goes to *pllLanded.
    bool SeekTo(REFERENCE_TIME rt, std::vector<double>* pSeconds, LONGLONG* pllLanded)
    {
        LONGLONG llPosition = rt;
        BenchClock::time_point tStart = BenchClock::now();
        if (FAILED(m_pSeeking->SetPositions(&llPosition, AM_SEEKING_AbsolutePositioning, nullptr,
                                            AM_SEEKING_NoPositioning)))
            return false;
        return WaitForAll(tStart, pSeconds, pllLanded);
    }

    bool WaitForAll(BenchClock::time_point tStart, std::vector<double>* pSeconds, LONGLONG* pllLanded)
    {
        pSeconds->clear();
        for (size_t i = 0; i < m_pSession->SinkCount(); ++i) {
            BenchClock::time_point tArrival;
            LONGLONG llMediaStart = 0;
            if (!m_pSession->Sink(i)->WaitForFirstAfterFlush(kWaitMilliseconds, &tArrival, &llMediaStart)) return false;
            pSeconds->push_back(SecondsBetween(tStart, tArrival));
            if (i == 0) *pllLanded = llMediaStart;
        }
        return true;
    }

private:
    CToolSession* m_pSession;
    IMediaSeeking* m_pSeeking;
};

}  // namespace

int RunSeek(const std::string& path, int nRepeats)
{
    CBenchSession bench;
    std::string error;
    if (FAILED(bench.Open(path, false, &error))) {
        std::fprintf(stderr, "bench_play: %s\n", error.c_str());
        return 1;
    }
    CToolSession& session = bench.Session();
    IMediaSeeking* pSeeking = session.Seeking(0);
    if (!pSeeking || session.SinkCount() == 0) {
        std::fprintf(stderr, "bench_play: no output pin to seek\n");
        if (pSeeking) pSeeking->Release();
        return 1;
    }
    LONGLONG llDuration = 0;
    pSeeking->GetDuration(&llDuration);
    for (size_t i = 0; i < session.SinkCount(); ++i) session.Sink(i)->BlockReceive(true);

    CSeeker seeker(&session, pSeeking);
    std::vector<double> seconds;
    LONGLONG llLanded = 0;
    BenchClock::time_point tPause = BenchClock::now();
    if (FAILED(session.Graph()->Pause()) || !seeker.WaitForAll(tPause, &seconds, &llLanded)) {
        std::fprintf(stderr, "bench_play: the paused graph delivered nothing\n");
        pSeeking->Release();
        return 1;
    }

    // 10 s and 60 s in from either end; closer on files too short for that.
    const REFERENCE_TIME rtNear = std::min<REFERENCE_TIME>(10 * kSecond, llDuration / 8);
    const REFERENCE_TIME rtFar = std::min<REFERENCE_TIME>(60 * kSecond, llDuration / 4);
    const REFERENCE_TIME rtNearStart = rtNear, rtLaterStart = rtFar;
    const REFERENCE_TIME rtNearEnd = llDuration - rtNear, rtEarlierEnd = llDuration - rtFar;
    const SeekCase cases[] = {
        {"forward near the start", rtNearStart, rtLaterStart},
        {"backward near the start", rtLaterStart, rtNearStart},
        {"forward near the end", rtEarlierEnd, rtNearEnd},
        {"backward near the end", rtNearEnd, rtEarlierEnd},
        {"forward start to end", rtNearStart, rtNearEnd},
        {"backward end to start", rtNearEnd, rtNearStart},
    };
    Json results = Json::array();
    bool bOk = true;
    for (const SeekCase& seekCase : cases) {
        std::vector<std::vector<double>> perSink(session.SinkCount());
        for (int n = 0; n < nRepeats && bOk; ++n) {
            bOk = seeker.SeekTo(seekCase.rtFrom, &seconds, &llLanded) && seeker.SeekTo(seekCase.rtTo, &seconds, &llLanded);
            for (size_t i = 0; bOk && i < seconds.size(); ++i) perSink[i].push_back(seconds[i]);
        }
        if (!bOk) break;
        Json medians = Json::array();
        for (const std::vector<double>& values : perSink) medians.push_back(Median(values));
        results.push_back(Json{{"case", seekCase.pszName},
                               {"from", seekCase.rtFrom},
                               {"to", seekCase.rtTo},
                               {"landed", llLanded},
                               {"median_s", medians}});
    }
    for (size_t i = 0; i < session.SinkCount(); ++i) session.Sink(i)->BlockReceive(false);
    session.Graph()->Stop();
    pSeeking->Release();
    if (!bOk) {
        std::fprintf(stderr, "bench_play: a seek failed or delivered nothing within a minute\n");
        return 1;
    }
    Json result{{"command", "seek"}, {"duration", llDuration}, {"repeats", nRepeats}, {"pins", bench.PinsJson()},
                {"cases", results}};
    std::cout << result.dump() << std::endl;
    return 0;
}
