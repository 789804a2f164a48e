// Delivery through a real graph: the configuration bytes lead where a new
// worker starts, and the seeking interface keeps to its owner and its
// contract. Every fixture's play: demuxoutputpin_test.cpp (segments),
// rendererclock_test.cpp (times, audio bytes), tool_test.cpp (all bytes). Read, allocator and
// downstream failures: demuxfaults_test.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demuxplayback.h"
#include "fixturefacts.h"
#include "moviesampledesc.h"
#include "movietrack.h"

namespace {

// Half a unit of the track's time scale after sample n starts, in 100-ns
// units: a time inside that sample rather than on its edge.
LONGLONG InsideSample(const TrackFacts* pTrack, size_t n)
{
    return (pTrack->packets[n].rawDts * 10000000LL + 5000000) / pTrack->timescale;
}

}  // namespace

TEST(DemuxDelivery, ConfigurationBytesLeadTheFirstSampleAfterEveryStopButNotAfterASeek)
{
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("h264-aac-bframes.mp4"));
    CDemuxOutputPin* pVideo = play.PinOfKind(true);
    ASSERT_NE(nullptr, pVideo);
    const CSampleDescriptionBox* pDesc = pVideo->Track()->GetSampleDescription();
    ASSERT_GT(pDesc->GetConfigLength(), 0u);
    CRecordingSink* pSink = play.SinkOfKind(true);

    auto startsWithConfig = [&](const SampleRecord& s) {
        return s.bytes.size() >= pDesc->GetConfigLength() &&
               std::equal(pDesc->GetConfig(), pDesc->GetConfig() + pDesc->GetConfigLength(), s.bytes.begin());
    };

    ASSERT_TRUE(play.PlayToEnd(1));
    ASSERT_TRUE(startsWithConfig(pSink->Samples().front()));
    size_t nFirstRun = pSink->Samples().size();

    // A seek restarts delivery without the configuration.
    IMediaSeeking* pSeeking = play.Seeking(0);
    LONGLONG llStart = 0;
    ASSERT_EQ(S_OK, pSeeking->SetPositions(&llStart, AM_SEEKING_AbsolutePositioning, nullptr, 0));
    ASSERT_TRUE(play.WaitForAllEndOfStreams(2));
    ASSERT_GT(pSink->Samples().size(), nFirstRun);
    EXPECT_FALSE(startsWithConfig(pSink->Samples()[nFirstRun]));

    // Stop then Pause: the worker is new and sends it again.
    size_t nSecondRun = pSink->Samples().size();
    play.Graph()->Stop();
    ASSERT_TRUE(play.PlayToEnd(3));
    ASSERT_GT(pSink->Samples().size(), nSecondRun);
    EXPECT_TRUE(startsWithConfig(pSink->Samples()[nSecondRun]));
    pSeeking->Release();
}

TEST(DemuxSeeking, OnlyTheOwningPinChangesPositions)
{
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("h263-amrnb.3gp"));
    ASSERT_EQ(2u, play.OutputPinCount());
    IMediaSeeking* pFirst = play.Seeking(0);
    IMediaSeeking* pSecond = play.Seeking(1);

    LONGLONG llPos = 5000000;
    LONGLONG llStop = 0;
    ASSERT_EQ(S_OK, pFirst->SetPositions(&llPos, AM_SEEKING_AbsolutePositioning, nullptr, 0));
    LONGLONG llOther = 7000000;
    EXPECT_EQ(S_OK, pSecond->SetPositions(&llOther, AM_SEEKING_AbsolutePositioning, nullptr, 0));
    LONGLONG llCurrent = 0;
    EXPECT_EQ(S_OK, pSecond->GetPositions(&llCurrent, &llStop));
    EXPECT_EQ(5000000, llCurrent) << "the non-owner's call had no effect";
    EXPECT_EQ(E_NOTIMPL, pSecond->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(S_OK, pFirst->SetTimeFormat(&TIME_FORMAT_NONE)) << "the owner gives ownership up";
    EXPECT_EQ(S_OK, pSecond->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME));

    EXPECT_EQ(S_FALSE, pSecond->SetPositions(&llPos, 0, &llStop, 0)) << "no positioning bits";
    // Relative current, incremental stop.
    LONGLONG llDelta = 1000000;
    LONGLONG llLength = 2000000;
    ASSERT_EQ(S_OK, pSecond->SetPositions(&llDelta, AM_SEEKING_RelativePositioning, &llLength,
                                          AM_SEEKING_IncrementalPositioning));
    EXPECT_EQ(S_OK, pSecond->GetPositions(&llCurrent, &llStop));
    EXPECT_EQ(6000000, llCurrent);
    EXPECT_EQ(8000000, llStop);
    pFirst->Release();
    pSecond->Release();
}

// The worker reads the positions after it has answered the run request, so
// a stop-only change can arrive while it does. Every run must end at the old
// stop or the new one, and under the thread checker the read and the write
// must be ordered.
TEST(DemuxSeeking, AStopOnlyChangeAsTheRunStartsEndsItAtTheOldOrTheNewStop)
{
    FixtureFacts facts = LoadFixtureFacts("mjpeg.mov");
    const TrackFacts* pTrack = facts.FirstTrack("video");
    ASSERT_GT(pTrack->packets.size(), 6u);
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("mjpeg.mov"));
    IMediaSeeking* pSeeking = play.Seeking(0);
    // Inside sample 5 (six samples delivered) and inside sample 2 (three).
    const LONGLONG llStops[2] = {InsideSample(pTrack, 5), InsideSample(pTrack, 2)};
    const size_t nSamples[2] = {6, 3};
    for (int round = 0; round < 20; ++round) {
        LONGLONG llOld = llStops[round % 2];
        LONGLONG llNew = llStops[(round + 1) % 2];
        ASSERT_EQ(S_OK, pSeeking->SetPositions(nullptr, 0, &llOld, AM_SEEKING_AbsolutePositioning));
        play.Sink(0)->ClearRecords();
        ASSERT_EQ(S_OK, play.Graph()->Pause());
        ASSERT_EQ(S_OK, pSeeking->SetPositions(nullptr, 0, &llNew, AM_SEEKING_AbsolutePositioning));
        ASSERT_TRUE(play.WaitForAllEndOfStreams(1));
        size_t nGot = play.Sink(0)->Samples().size();
        EXPECT_TRUE(nGot == nSamples[round % 2] || nGot == nSamples[(round + 1) % 2]) << "round " << round << ": " << nGot;
        ASSERT_EQ(S_OK, play.Graph()->Stop());
    }
    pSeeking->Release();
}

TEST(DemuxSeeking, ReportsItsCapabilitiesFormatsAndRate)
{
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("mjpeg.mov"));
    IMediaSeeking* pSeeking = play.Seeking(0);
    DWORD dwCaps = 0;
    EXPECT_EQ(S_OK, pSeeking->GetCapabilities(&dwCaps));
    EXPECT_EQ(0x3Fu, dwCaps);
    DWORD dwAsk = 0x40;
    EXPECT_EQ(S_FALSE, pSeeking->CheckCapabilities(&dwAsk));
    EXPECT_EQ(0x40u, dwAsk);
    EXPECT_EQ(S_OK, pSeeking->IsFormatSupported(&TIME_FORMAT_MEDIA_TIME));
    EXPECT_EQ(S_FALSE, pSeeking->IsFormatSupported(&TIME_FORMAT_FRAME));
    EXPECT_EQ(E_NOTIMPL, pSeeking->SetTimeFormat(&TIME_FORMAT_FRAME));
    LONGLONG llPos = 0;
    EXPECT_EQ(E_NOTIMPL, pSeeking->GetCurrentPosition(&llPos));
    LONGLONG llTarget = 0;
    EXPECT_EQ(S_OK, pSeeking->ConvertTimeFormat(&llTarget, nullptr, 1234, nullptr));
    EXPECT_EQ(1234, llTarget);
    EXPECT_EQ(E_INVALIDARG, pSeeking->ConvertTimeFormat(&llTarget, &TIME_FORMAT_FRAME, 1, nullptr));
    EXPECT_EQ(S_OK, pSeeking->SetRate(2.0));
    double dRate = 0;
    EXPECT_EQ(S_OK, pSeeking->GetRate(&dRate));
    EXPECT_EQ(2.0, dRate);
    LONGLONG llEarliest = -1, llLatest = -1, llDuration = 0;
    EXPECT_EQ(S_OK, pSeeking->GetAvailable(&llEarliest, &llLatest));
    EXPECT_EQ(S_OK, pSeeking->GetDuration(&llDuration));
    EXPECT_EQ(0, llEarliest);
    EXPECT_EQ(llDuration, llLatest);
    EXPECT_GT(llDuration, 0);

    // The recorded rate does not change the stamps.
    ASSERT_TRUE(play.PlayToEnd());
    std::vector<SampleRecord> samples = play.Sink(0)->Samples();
    ASSERT_GT(samples.size(), 1u);
    EXPECT_EQ(samples[1].llMediaStart - samples[0].llMediaStart, samples[1].rtStart);
    pSeeking->Release();
}
