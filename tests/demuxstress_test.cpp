// Random control sequences against running workers: Pause, Run, Stop,
// seeks, stop-only changes, and disconnecting and reconnecting the output
// pins and the input pin through the graph, all from the control thread
// while both pins deliver. After every Stop no worker is left, the graph
// stays quiet, and every run has ended with exactly one end-of-stream; a
// disconnection refused while the graph runs changes nothing; every
// reconnection brings the pins back as they were; nothing leaks.
//
// Without DEMUX_STRESS_SECONDS one run of 1,000 operations is made per
// fixture. With DEMUX_STRESS_SECONDS=N, runs over the fixtures in turn go on
// for N seconds (for long runs under the thread checker). The totals are
// printed.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "demuxplayback.h"
#include "movietrack.h"
#include "testhooks.h"

namespace {

const int kOperationsPerRun = 1000;
// A run ends here even if its operations are not done.
const auto kRunTimeLimit = std::chrono::seconds(60);

// Totals over every run, printed at the end.
enum Count { kRuns, kOperations, kStops, kSeeks, kStopChanges, kOutputReconnects, kInputReconnects,
             kRefusedWhileActive, kSamples, kEndOfStreams, kCounts };
const char* const kCountNames[kCounts] = {"runs", "operations", "stops", "seeks", "stop changes",
                                          "output reconnects", "input reconnects", "refused while active",
                                          "samples", "end-of-streams"};
struct StressStats {
    long n[kCounts] = {};
};

class StressRun {
public:
    StressRun(const char* fixture, unsigned seed, StressStats* pStats) : m_rng(seed), m_pStats(pStats)
    {
        SinkOptions options;
        options.bKeepBytes = false;
        m_hrOpen = m_play.OpenFixture(fixture, options);
    }
    ~StressRun()
    {
        if (m_pSeeking) m_pSeeking->Release();
    }

    void Execute(int operations)
    {
        ASSERT_EQ(S_OK, m_hrOpen);
        ASSERT_EQ(2u, m_play.OutputPinCount());
        m_pSeeking = m_play.Seeking(0);
        ASSERT_EQ(S_OK, m_pSeeking->GetDuration(&m_llDuration));
        ++m_pStats->n[kRuns];
        std::uniform_int_distribution<int> pick(0, 99);
        const auto deadline = std::chrono::steady_clock::now() + kRunTimeLimit;
        for (int op = 0; op < operations && std::chrono::steady_clock::now() < deadline; ++op) {
            ++m_pStats->n[kOperations];
            if (Stopped()) CheckQuiet();
            int choice = pick(m_rng);
            if (choice < 16) {
                Pause();
            } else if (choice < 32) {
                Run();
            } else if (choice < 46) {
                Stop();
            } else if (choice < 74) {
                Seek();
            } else if (choice < 82) {
                ChangeStop();
            } else if (choice < 94) {
                ToggleOutput(choice % 2);
            } else {
                ToggleInput();
            }
            if (::testing::Test::HasFailure()) return;
        }
        Stop();
    }

private:
    bool Stopped() { return m_play.Graph()->State() == State_Stopped; }

    // Samples and end-of-streams seen by a sink, for telling a quiet graph.
    long Deliveries(size_t i) { return m_play.Sink(i)->ReceiveCalls() + m_play.Sink(i)->EndOfStreamCount(); }

    void CheckQuiet()
    {
        for (size_t i = 0; i < 2; ++i) EXPECT_EQ(m_lQuietAt[i], Deliveries(i)) << "sink " << i << " after Stop";
    }

    // Leaving Stopped starts an active period; the sinks' records are cleared
    // so that Stop can judge the period's runs from them alone.
    void BeginActivePeriod()
    {
        if (!Stopped()) return;
        for (size_t i = 0; i < 2; ++i) m_play.Sink(i)->ClearRecords();
    }

    void Pause()
    {
        BeginActivePeriod();
        ASSERT_TRUE(SUCCEEDED(m_play.Graph()->Pause()));
        CheckWorkersWhileActive();
    }

    void Run()
    {
        BeginActivePeriod();
        ASSERT_TRUE(SUCCEEDED(m_play.Graph()->Run()));
        CheckWorkersWhileActive();
    }

    // Every connected output pin has its worker from the Pause until the Stop.
    void CheckWorkersWhileActive()
    {
        for (size_t i = 0; i < 2; ++i) {
            CDemuxOutputPin* pPin = m_play.OutputPin(i);
            if (pPin) {
                EXPECT_EQ(pPin->IsConnected() != FALSE, pPin->ThreadExists() != FALSE) << "pin " << i;
            }
        }
    }

    void Stop()
    {
        const bool bWasActive = !Stopped();
        ASSERT_EQ(S_OK, m_play.Graph()->Stop());
        ++m_pStats->n[kStops];
        for (size_t i = 0; i < 2; ++i) {
            CDemuxOutputPin* pPin = m_play.OutputPin(i);
            if (pPin) {
                EXPECT_FALSE(pPin->ThreadExists()) << "pin " << i << " kept its worker after Stop";
            }
            if (bWasActive) CheckRunsOfThePeriod(i);
            m_lQuietAt[i] = Deliveries(i);
        }
    }

    // Runs are told apart by their new segments. A run stopped by a seek
    // sends no end-of-stream, a run that ends sends one, and the last run
    // before Stop has sent exactly one, by then or at Stop.
    void CheckRunsOfThePeriod(size_t i)
    {
        std::vector<SinkEvent> events = m_play.Sink(i)->Events();
        long nInRun = 0;
        bool bSegment = false;
        for (const SinkEvent& e : events) {
            if (e.kind == SinkEvent::NewSegment) {
                if (bSegment) {
                    EXPECT_LE(nInRun, 1) << "sink " << i << ": a run ended more than once";
                }
                bSegment = true;
                nInRun = 0;
            } else if (e.kind == SinkEvent::EndOfStream) {
                EXPECT_TRUE(bSegment) << "sink " << i << ": end-of-stream before any segment";
                ++nInRun;
                ++m_pStats->n[kEndOfStreams];
            } else if (e.kind == SinkEvent::Sample) {
                EXPECT_TRUE(bSegment) << "sink " << i << ": a sample before any segment";
                ++m_pStats->n[kSamples];
            }
        }
        if (bSegment) {
            EXPECT_EQ(1, nInRun) << "sink " << i << ": the last run before Stop";
        }
    }

    void Seek()
    {
        if (!m_pSeeking) return;  // no output pins while the input is disconnected
        LONGLONG llPos = When();
        ASSERT_EQ(S_OK, m_pSeeking->SetPositions(&llPos, AM_SEEKING_AbsolutePositioning, nullptr, 0));
        ++m_pStats->n[kSeeks];
        if (!Stopped()) CheckWorkersWhileActive();
    }

    void ChangeStop()
    {
        if (!m_pSeeking) return;
        LONGLONG llStop = When();
        ASSERT_EQ(S_OK, m_pSeeking->SetPositions(nullptr, 0, &llStop, AM_SEEKING_AbsolutePositioning));
        ++m_pStats->n[kStopChanges];
    }

    LONGLONG When()
    {
        std::uniform_int_distribution<LONGLONG> when(0, m_llDuration + m_llDuration / 10);
        return when(m_rng);
    }

    static bool PinConnected(IPin* pPin)
    {
        IPin* pPeer = nullptr;
        if (pPin->ConnectedTo(&pPeer) != S_OK) return false;
        pPeer->Release();
        return true;
    }

    void ToggleOutput(size_t i)
    {
        CDemuxOutputPin* pPin = m_play.OutputPin(i);
        if (!pPin) return;
        IPin* pSinkPin = m_play.Sink(i)->InputPin();
        if (!Stopped()) {
            // Refused while active; the pin keeps its connection and worker.
            if (pPin->IsConnected()) {
                EXPECT_EQ(VFW_E_NOT_STOPPED, pPin->Disconnect());
            } else {
                EXPECT_EQ(VFW_E_NOT_STOPPED, m_play.Graph()->ConnectDirect(pPin, pSinkPin, nullptr));
            }
            ++m_pStats->n[kRefusedWhileActive];
            CheckWorkersWhileActive();
            return;
        }
        if (pPin->IsConnected()) {
            ASSERT_EQ(S_OK, m_play.DisconnectOutput(i));
            EXPECT_FALSE(pPin->IsConnected());
            EXPECT_FALSE(PinConnected(pSinkPin));
            return;
        }
        ASSERT_EQ(S_OK, m_play.ConnectOutput(i));
        ++m_pStats->n[kOutputReconnects];
        EXPECT_TRUE(pPin->IsConnected());
        CMediaType mt;
        ASSERT_EQ(S_OK, pSinkPin->ConnectionMediaType(&mt));
        EXPECT_TRUE(mt == pPin->TrackMediaType()) << "pin " << i << " reconnected with its track's type";
        EXPECT_FALSE(pPin->ThreadExists());
    }

    void ToggleInput()
    {
        IPin* pInput = m_play.Filter()->GetPin(0);
        const bool bConnected = PinConnected(pInput);
        if (!Stopped()) {
            if (bConnected) {
                EXPECT_EQ(VFW_E_NOT_STOPPED, pInput->Disconnect());
                EXPECT_EQ(3, m_play.Filter()->GetPinCount());
            } else {
                EXPECT_EQ(VFW_E_NOT_STOPPED,
                          m_play.Graph()->ConnectDirect(m_play.Source()->OutputPin(), pInput, nullptr));
                EXPECT_EQ(1, m_play.Filter()->GetPinCount());
            }
            ++m_pStats->n[kRefusedWhileActive];
            CheckWorkersWhileActive();
            return;
        }
        if (bConnected) {
            // The output pins go with the input: no interface of theirs may be held.
            m_pSeeking->Release();
            m_pSeeking = nullptr;
            ASSERT_EQ(S_OK, m_play.DisconnectInput());
            EXPECT_EQ(1, m_play.Filter()->GetPinCount());
            EXPECT_FALSE(PinConnected(m_play.Source()->OutputPin()));
            for (size_t i = 0; i < 2; ++i) EXPECT_FALSE(PinConnected(m_play.Sink(i)->InputPin()));
            return;
        }
        ASSERT_EQ(S_OK, m_play.ReconnectInput());
        ++m_pStats->n[kInputReconnects];
        ASSERT_EQ(3, m_play.Filter()->GetPinCount());
        EXPECT_TRUE(m_play.OutputPin(0)->Track()->IsVideo());
        EXPECT_TRUE(m_play.OutputPin(1)->Track()->IsAudio());
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_TRUE(m_play.OutputPin(i)->IsConnected());
            EXPECT_FALSE(m_play.OutputPin(i)->ThreadExists());
        }
        m_pSeeking = m_play.Seeking(0);
        ASSERT_NE(nullptr, m_pSeeking);
        // The movie is opened afresh: whole length, from the start.
        LONGLONG llCurrent = -1;
        LONGLONG llStop = -1;
        EXPECT_EQ(S_OK, m_pSeeking->GetPositions(&llCurrent, &llStop));
        EXPECT_EQ(0, llCurrent);
        EXPECT_EQ(m_llDuration, llStop);
    }

    DemuxPlayback m_play;
    HRESULT m_hrOpen = E_FAIL;
    IMediaSeeking* m_pSeeking = nullptr;
    LONGLONG m_llDuration = 0;
    std::mt19937 m_rng;
    StressStats* m_pStats;
    long m_lQuietAt[2] = {0, 0};
};

long StressSeconds()
{
    const char* pValue = std::getenv("DEMUX_STRESS_SECONDS");
    return pValue ? std::strtol(pValue, nullptr, 10) : 0;
}

}  // namespace

TEST(DemuxStress, RandomControlAndReconnectionWhileBothPinsDeliver)
{
    const char* fixtures[] = {"h264-aac-bframes.mp4", "h263-amrnb.3gp", "mpeg4-amrwb.3gp"};
    const long lSeconds = StressSeconds();
    const auto start = std::chrono::steady_clock::now();
    StressStats stats;
    for (unsigned run = 0;; ++run) {
        const auto elapsed = std::chrono::steady_clock::now() - start;
        if (lSeconds <= 0 ? run >= 3 : elapsed >= std::chrono::seconds(lSeconds)) break;
        const long lHandles = platformtest::LiveKernelHandles();
        const long lTaskMemory = platformtest::CoTaskMemLiveBlocks();
        {
            StressRun stress(fixtures[run % 3], 1234 + run, &stats);
            stress.Execute(kOperationsPerRun);
        }
        // The playback's own destructor checks the COM objects and references.
        EXPECT_EQ(lHandles, platformtest::LiveKernelHandles()) << "run " << run << ": events or threads left";
        EXPECT_EQ(lTaskMemory, platformtest::CoTaskMemLiveBlocks()) << "run " << run;
        if (HasFailure()) break;
    }
    std::printf("stress in %.1f s:", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    for (int i = 0; i < kCounts; ++i) std::printf("%s %ld %s", i ? "," : "", stats.n[i], kCountNames[i]);
    std::printf("\n");
    for (Count c : {kStops, kSeeks, kOutputReconnects, kInputReconnects}) EXPECT_GT(stats.n[c], 0) << kCountNames[c];
}
