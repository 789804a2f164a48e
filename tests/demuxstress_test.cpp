// Random control sequences against running workers: Pause, Run, Stop,
// seeks and stop-only changes from the control thread while both pins
// deliver. After every Stop the graph must be quiet and each run must have
// ended with at most one end-of-stream.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "demuxplayback.h"

namespace {

struct StressStats {
    int stops = 0;
    int seeks = 0;
    int stopChanges = 0;
};

void RunStress(const char* fixture, unsigned seed, int operations, StressStats* pStats)
{
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture(fixture));
    ASSERT_EQ(2u, play.OutputPinCount());
    IMediaSeeking* pSeeking = play.Seeking(0);
    LONGLONG llDuration = 0;
    ASSERT_EQ(S_OK, pSeeking->GetDuration(&llDuration));
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(0, 99);
    std::uniform_int_distribution<LONGLONG> when(0, llDuration + llDuration / 10);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);

    for (int op = 0; op < operations && std::chrono::steady_clock::now() < deadline; ++op) {
        int choice = pick(rng);
        if (choice < 20) {
            ASSERT_TRUE(SUCCEEDED(play.Graph()->Pause()));
        } else if (choice < 40) {
            ASSERT_TRUE(SUCCEEDED(play.Graph()->Run()));
        } else if (choice < 55) {
            long before[2] = {play.Sink(0)->EndOfStreamCount(), play.Sink(1)->EndOfStreamCount()};
            bool bWasActive = play.Graph()->State() != State_Stopped;
            ASSERT_EQ(S_OK, play.Graph()->Stop());
            ++pStats->stops;
            // Stopped: no worker thread is left and nothing arrives any more.
            for (size_t i = 0; i < 2; ++i) EXPECT_FALSE(play.OutputPin(i)->ThreadExists());
            long after[2] = {play.Sink(0)->EndOfStreamCount(), play.Sink(1)->EndOfStreamCount()};
            size_t nSamples = play.Sink(0)->Samples().size() + play.Sink(1)->Samples().size();
            for (int i = 0; i < 2; ++i) {
                // A stopped run ends with exactly one end-of-stream, sent then or earlier.
                if (bWasActive) {
                    EXPECT_LE(after[i] - before[i], 1);
                }
            }
            EXPECT_EQ(nSamples, play.Sink(0)->Samples().size() + play.Sink(1)->Samples().size());
        } else if (choice < 90) {
            LONGLONG llPos = when(rng);
            ASSERT_EQ(S_OK, pSeeking->SetPositions(&llPos, AM_SEEKING_AbsolutePositioning, nullptr, 0));
            ++pStats->seeks;
        } else {
            LONGLONG llStop = when(rng);
            ASSERT_EQ(S_OK, pSeeking->SetPositions(nullptr, 0, &llStop, AM_SEEKING_AbsolutePositioning));
            ++pStats->stopChanges;
        }
    }
    ASSERT_EQ(S_OK, play.Graph()->Stop());
    for (size_t i = 0; i < 2; ++i) EXPECT_FALSE(play.OutputPin(i)->ThreadExists());
    // End-of-stream never outnumbers the runs: each Pause from Stopped or
    // seek starts at most one run.
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_LE(play.Sink(i)->EndOfStreamCount(), pStats->stops + pStats->seeks + 1);
    }
    pSeeking->Release();
}

}  // namespace

TEST(DemuxStress, RandomControlWhileBothPinsDeliver)
{
    const char* fixtures[] = {"h264-aac-bframes.mp4", "h263-amrnb.3gp"};
    for (unsigned run = 0; run < 2; ++run) {
        StressStats stats;
        RunStress(fixtures[run], 1234 + run, 1000, &stats);
        EXPECT_GT(stats.stops, 0);
        EXPECT_GT(stats.seeks, 0);
    }
}
