// Failure paths of the filter's state changes and teardown, each under a
// watchdog so that a hang fails the run: a Pause whose second allocator
// cannot commit, a pin deleted with its worker alive, a seek racing Pause
// and Stop, and a Stop while one stream's worker is held by a downstream
// that waits for the other stream.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "comtesthooks.h"
#include "debugcapture.h"
#include "demuxplayback.h"
#include "movietrack.h"
#include "../tools/3gpdemux/progresswatchdog.h"

namespace {

const std::chrono::seconds kLimit(20);

// Keeps the filter's debug lines off the console, and ends the test program
// with status 3, naming the test, if the test hangs.
class DemuxTeardown : public testing::Test {
protected:
    void SetUp() override { Watch(kLimit); }
    void Watch(std::chrono::seconds limit)
    {
        m_watchdog.reset(new CProgressWatchdog(limit, nullptr));
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        m_watchdog->Watch(nullptr, [name]() { return name + " did not finish"; });
    }
    DebugCapture m_debug;
    std::unique_ptr<CProgressWatchdog> m_watchdog;
};

bool HasWorker(CDemuxOutputPin* pPin)
{
    CAutoLock lock(&pPin->m_csAccess);
    return pPin->ThreadExists() != FALSE;
}

bool Committed(IMemAllocator* pAllocator)
{
    IMediaSample* pSample = nullptr;
    HRESULT hr = pAllocator->GetBuffer(&pSample, nullptr, nullptr, AM_GBF_NOWAIT);
    if (pSample) pSample->Release();
    return hr != VFW_E_NOT_COMMITTED;
}

}  // namespace

// The second output pin's allocator refuses Commit: the first pin's worker,
// started by the part of Pause that succeeded, is ended and its allocator
// decommitted before the failure comes back, whether the filter is paused
// alone or by the graph (which then stops every filter).
TEST_F(DemuxTeardown, SecondCommitFailureLeavesNoWorkerAndTearsDown)
{
    for (bool bThroughGraph : {false, true}) {
        SCOPED_TRACE(bThroughGraph ? "graph Pause" : "filter Pause");
        DemuxPlayback play;
        ASSERT_EQ(S_OK, play.OpenFixture("h264-aac-bframes.mp4"));
        ASSERT_EQ(2u, play.OutputPinCount());
        ASSERT_TRUE(platformtest::FailCommitOf(play.Sink(1)->NotifiedAllocator(), E_OUTOFMEMORY));
        HRESULT hr = bThroughGraph ? play.Graph()->Pause() : play.Filter()->Pause();
        EXPECT_EQ(E_OUTOFMEMORY, hr);
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_FALSE(HasWorker(play.OutputPin(i))) << "pin " << i;
            EXPECT_FALSE(Committed(play.Sink(i)->NotifiedAllocator())) << "pin " << i;
        }
        EXPECT_EQ(State_Stopped, play.Filter()->GetCurrentState());
    }
}

// A worker started on a stopped filter (the pin activated directly, as a
// half-done Pause left it) is ended when the movie closes, whether it has
// parked after its run or is still delivering; nothing is read or freed
// under it (the sanitizers watch).
TEST_F(DemuxTeardown, ClosingTheMovieEndsAWorkerTheFilterNeverStopped)
{
    for (bool bParked : {true, false}) {
        SCOPED_TRACE(bParked ? "parked worker" : "delivering worker");
        DemuxPlayback play;
        ASSERT_EQ(S_OK, play.OpenFixture("h264-aac-bframes.mp4"));
        ASSERT_EQ(S_OK, play.OutputPin(0)->Active());
        ASSERT_TRUE(HasWorker(play.OutputPin(0)));
        if (bParked) {
            ASSERT_TRUE(play.Sink(0)->WaitForEndOfStream(1, 10000));
        }
        EXPECT_EQ(S_OK, play.DisconnectInput());
        EXPECT_EQ(1, play.Filter()->GetPinCount());
    }
}

// One thread seeks while the other pauses, runs and stops, the two started
// together each round with a random head start: a seek either restarts the
// workers before the Stop, which ends them, or finds the filter stopped and
// restarts nothing. Once both are done no pin has a worker.
TEST_F(DemuxTeardown, SeekRacingPauseAndStopLeavesNoWorkerAfterStop)
{
    Watch(std::chrono::seconds(240));
    SinkOptions options;
    options.bKeepBytes = false;
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("h263-amrnb.3gp", options));
    IMediaSeeking* pSeeking = play.Seeking(0);
    ASSERT_NE(nullptr, pSeeking);

    const int kRounds = 1000;
    std::atomic<int> go{-1};
    std::atomic<int> seeked{-1};
    auto spin = [](unsigned n) {
        for (volatile unsigned i = 0; i < n; ++i) {
        }
    };
    std::thread seeker([&]() {
        std::minstd_rand rng(7);
        for (int round = 0; round < kRounds; ++round) {
            while (go.load() < round) std::this_thread::yield();
            spin(rng() % 5000);
            LONGLONG llTo = static_cast<LONGLONG>(rng() % 30) * 1000000;
            pSeeking->SetPositions(&llTo, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
            seeked = round;
        }
    });
    std::minstd_rand rng(11);
    int nStrayWorkers = 0;
    for (int round = 0; round < kRounds; ++round) {
        play.Graph()->Pause();
        if (round % 3 == 0) play.Graph()->Run();
        go = round;
        spin(rng() % 5000);
        play.Graph()->Stop();
        while (seeked.load() < round) std::this_thread::yield();
        for (size_t i = 0; i < play.OutputPinCount(); ++i) {
            if (HasWorker(play.OutputPin(i))) ++nStrayWorkers;
        }
        play.Graph()->Stop();  // ends what a stray restart left, for the next round
    }
    seeker.join();
    pSeeking->Release();
    EXPECT_EQ(0, nStrayWorkers) << "workers left running after Stop in " << kRounds << " rounds";
}

// The video sink holds its first sample until the audio stream has ended,
// and every audio buffer is taken, so the audio worker waits for one. Stop
// on the filter alone (the sinks keep running) must decommit the audio
// allocator before it waits for the video worker: that ends the audio run,
// which lets the video sink go on.
TEST_F(DemuxTeardown, StopReleasesAVideoWorkerHeldUntilTheAudioEnds)
{
    SinkOptions options;
    options.bProvideAllocator = true;
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("h264-aac-bframes.mp4", options));
    CRecordingSink* pVideo = play.SinkOfKind(true);
    CRecordingSink* pAudio = play.SinkOfKind(false);
    ASSERT_TRUE(pVideo && pAudio);
    IMemAllocator* pAudioAllocator = pAudio->NotifiedAllocator();
    ASSERT_EQ(S_OK, pAudioAllocator->Commit());
    ALLOCATOR_PROPERTIES props;
    ASSERT_EQ(S_OK, pAudioAllocator->GetProperties(&props));
    std::vector<IMediaSample*> held(static_cast<size_t>(props.cBuffers), nullptr);
    for (IMediaSample*& pSample : held) ASSERT_EQ(S_OK, pAudioAllocator->GetBuffer(&pSample, nullptr, nullptr, 0));

    pVideo->BlockReceive(true);
    ASSERT_EQ(S_OK, play.Graph()->Pause());
    ASSERT_TRUE(pVideo->WaitForBlockedReceive(10000));
    std::thread waitsForAudio([pVideo, pAudio]() {
        pAudio->WaitForEndOfStream(1, 30000);
        pVideo->BlockReceive(false);
    });
    EXPECT_EQ(S_OK, play.Filter()->Stop());
    waitsForAudio.join();
    for (IMediaSample* pSample : held) pSample->Release();
    EXPECT_EQ(1, pAudio->EndOfStreamCount());
    EXPECT_EQ(1, pVideo->EndOfStreamCount());
    EXPECT_FALSE(HasWorker(play.PinOfKind(true)));
    play.Graph()->Stop();
}
