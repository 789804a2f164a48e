// Faults injected around the filter while it connects and plays: upstream
// reads that fail, come up short or are slow at a chosen read, allocator
// buffers that cannot be had, and a downstream that refuses or holds a
// chosen sample. Each must end in what the filter promises: a refused
// connection or one without the track concerned, EC_STREAM_ERROR_STOPPED
// with the failing code for a failed sample read, and exactly one
// end-of-stream on every connected pin, with nothing delivered that the
// file does not hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "comtesthooks.h"
#include "demuxplayback.h"
#include "fixturefacts.h"
#include "onegap.h"
#include "movietrack.h"
#include "testsources.h"

namespace {

// Movies with each of the three delivery loops: one sample per media
// sample (video), AAC packs and AMR frames.
const char* const kFixtures[] = {"h264-aac-bframes.mp4", "h263-amrnb.3gp"};

struct PinPlay {
    bool bVideo;
    GUID subtype;
    std::vector<std::vector<uint8_t>> samples;
    long lEndOfStreams;
};

struct Play {
    HRESULT hrConnect = E_FAIL;
    long lReads = 0;  // reads of the connection
    long lAllReads = 0;  // and of the play
    std::vector<PinPlay> pins;
    std::vector<CHostGraph::Event> events;
};

std::vector<PinPlay> RecordPins(DemuxPlayback& play)
{
    std::vector<PinPlay> pins;
    for (size_t i = 0; i < play.OutputPinCount(); ++i) {
        PinPlay pin;
        pin.bVideo = play.OutputPin(i)->Track()->IsVideo();
        pin.subtype = *play.OutputPin(i)->TrackMediaType().Subtype();
        for (const SampleRecord& s : play.Sink(i)->Samples()) pin.samples.push_back(s.bytes);
        pin.lEndOfStreams = play.Sink(i)->EndOfStreamCount();
        pins.push_back(pin);
    }
    return pins;
}

// Plays a fixture to the end after arming faults through arm, called with
// the source before the connection, and with the source and the playback
// after it.
template <class Arm>
Play PlayWith(const std::string& fixture, Arm arm)
{
    Play result;
    DemuxPlayback play;
    CHostAsyncSource* pSource = CHostAsyncSource::CreateFromFile(FixturePath(fixture));
    if (pSource) arm(pSource, nullptr);
    result.hrConnect = play.OpenSource(pSource);
    result.lReads = play.Source()->ReadCount();
    if (FAILED(result.hrConnect)) return result;
    arm(play.Source(), &play);
    EXPECT_TRUE(play.PlayToEnd(1, 10000)) << fixture << ": every pin reaches end-of-stream";
    play.Graph()->Stop();
    result.lAllReads = play.Source()->ReadCount();
    result.pins = RecordPins(play);
    result.events = play.Graph()->Events();
    return result;
}

std::vector<uint8_t> Joined(const std::vector<std::vector<uint8_t>>& samples)
{
    std::vector<uint8_t> all;
    for (const std::vector<uint8_t>& s : samples) all.insert(all.end(), s.begin(), s.end());
    return all;
}

const PinPlay* PinOfKind(const Play& play, bool bVideo)
{
    for (const PinPlay& pin : play.pins) {
        if (pin.bVideo == bVideo) return &pin;
    }
    return nullptr;
}

// What every faulty play must keep: one end-of-stream per pin, the pins of
// the clean play or fewer, and only the clean play's bytes. A video run that
// stops at its fault delivers the clean run's first samples.
void CheckAgainstClean(const Play& run, const Play& clean, const std::string& where, bool bVideoStopsAtFault)
{
    ASSERT_LE(run.pins.size(), clean.pins.size()) << where;
    for (const PinPlay& pin : run.pins) {
        const PinPlay* pClean = PinOfKind(clean, pin.bVideo);
        ASSERT_NE(nullptr, pClean) << where;
        EXPECT_EQ(pClean->subtype, pin.subtype) << where;
        EXPECT_EQ(1, pin.lEndOfStreams) << where;
        EXPECT_TRUE(IsCleanWithOneGap(Joined(pin.samples), Joined(pClean->samples)))
            << where << (pin.bVideo ? " video" : " audio") << ": bytes the file does not hold";
        if (pin.bVideo && bVideoStopsAtFault) {
            ASSERT_LE(pin.samples.size(), pClean->samples.size()) << where;
            EXPECT_TRUE(std::equal(pin.samples.begin(), pin.samples.end(), pClean->samples.begin())) << where;
        }
    }
}

Play CleanPlay(const std::string& fixture)
{
    Play clean = PlayWith(fixture, [](CHostAsyncSource*, DemuxPlayback*) {});
    EXPECT_EQ(S_OK, clean.hrConnect);
    EXPECT_TRUE(clean.events.empty());
    return clean;
}

}  // namespace

namespace {

// A read that fails, and one that comes back short inside the stream,
// which the input pin reports as a failed read (ERROR_READ_FAULT).
struct ReadFaultCase {
    const char* pszWhat;
    CHostAsyncSource::ReadFault fault;
    HRESULT hrReported;
};
const ReadFaultCase kReadFaults[] = {
    {"fails", {E_ABORT, -1, 0}, E_ABORT},
    {"comes back short", {S_OK, 3, 0}, HRESULT_FROM_WIN32(30)},
};

}  // namespace

// Every read of the connection, then of the play, goes wrong, each fault
// taking the reads in turn. A fault while connecting refuses the stream or
// leaves out what the read held; one while playing ends the stream once,
// reported with its code (the AMR loop ends or skips quietly).
TEST(DemuxReadFaults, EachReadGoingWrongRefusesTheStreamOrEndsItOnceWithItsCode)
{
    for (const char* fixture : kFixtures) {
        Play clean = CleanPlay(fixture);
        ASSERT_GT(clean.lReads, 5);
        ASSERT_GT(clean.lAllReads - clean.lReads, 10);
        for (bool bConnecting : {true, false}) {
            const long lReads = bConnecting ? clean.lReads : clean.lAllReads - clean.lReads;
            for (const ReadFaultCase& c : kReadFaults) {
                for (long n = 1 + (&c - kReadFaults); n <= lReads; n += 2) {
                    std::ostringstream where;
                    where << fixture << (bConnecting ? " connection" : " play") << " read " << n << " of " << lReads
                          << " " << c.pszWhat;
                    Play run = PlayWith(fixture, [&](CHostAsyncSource* pSource, DemuxPlayback* pPlay) {
                        if ((pPlay == nullptr) == bConnecting) pSource->InjectAtRead(n, c.fault);
                    });
                    if (FAILED(run.hrConnect)) {
                        EXPECT_TRUE(bConnecting) << where.str();
                        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, run.hrConnect) << where.str();
                        continue;
                    }
                    CheckAgainstClean(run, clean, where.str(), true);
                    EXPECT_LE(run.events.size(), bConnecting ? 0u : 1u) << where.str();
                    for (const CHostGraph::Event& e : run.events) {
                        EXPECT_EQ(EC_STREAM_ERROR_STOPPED, e.lCode) << where.str();
                        EXPECT_EQ(static_cast<LONG_PTR>(c.hrReported), e.lParam1) << where.str();
                        EXPECT_EQ(0, e.lParam2) << where.str();
                    }
                    for (const PinPlay& pin : run.pins) {
                        if (bConnecting) {
                            EXPECT_EQ(PinOfKind(clean, pin.bVideo)->samples.size(), pin.samples.size()) << where.str();
                        }
                    }
                    if (testing::Test::HasFailure()) return;
                }
            }
        }
    }
}

// A file cut off inside its media data (a download that stopped): samples
// past the end come back short (S_FALSE) and are passed over like empty
// ones in every loop. What is delivered is the file's own bytes, in order,
// and each pin ends its stream once, without an error.
TEST(DemuxReadFaults, AFileCutInsideItsMediaDataPlaysWhatItHolds)
{
    const std::string fixture = "h263-amrnb.3gp";  // moov before mdat
    Play clean = CleanPlay(fixture);
    std::vector<uint8_t> bytes = testsrc::ReadWholeFile(FixturePath(fixture));
    bytes.resize(bytes.size() * 2 / 3);
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenBytes(bytes));
    ASSERT_TRUE(play.PlayToEnd());
    play.Graph()->Stop();
    Play run;
    run.pins = RecordPins(play);
    EXPECT_TRUE(play.Graph()->Events().empty());
    ASSERT_EQ(clean.pins.size(), run.pins.size());
    for (const PinPlay& pin : run.pins) {
        std::vector<uint8_t> got = Joined(pin.samples);
        std::vector<uint8_t> all = Joined(PinOfKind(clean, pin.bVideo)->samples);
        EXPECT_EQ(1, pin.lEndOfStreams);
        EXPECT_GT(got.size(), 0u);
        EXPECT_LT(got.size(), all.size());
        EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << (pin.bVideo ? "video" : "audio");
    }
}

namespace {

// A chosen media sample of a pin cannot be had or is refused: that pin ends
// its run with end-of-stream after the n - 1 before it, no event is posted,
// and the other pin delivers everything.
template <class Arm>
void FaultEachMediaSample(const char* pszFault, Arm arm)
{
    for (const char* fixture : kFixtures) {
        Play clean = CleanPlay(fixture);
        for (bool bVideo : {true, false}) {
            const PinPlay* pCleanPin = PinOfKind(clean, bVideo);
            ASSERT_NE(nullptr, pCleanPin);
            const long nSamples = static_cast<long>(pCleanPin->samples.size());
            // The first samples of a run (the one with the configuration
            // bytes, the first reuse of a buffer), one in the middle and the
            // last two: every other sample is handled as the middle one.
            std::vector<long> chosen = {1, 2, 3, nSamples / 2, nSamples - 1, nSamples};
            for (long n : chosen) {
                if (n < 1 || n > nSamples) continue;
                std::ostringstream where;
                where << fixture << (bVideo ? " video" : " audio") << ": " << pszFault << " " << n << " of "
                      << nSamples;
                Play run = PlayWith(fixture, [&](CHostAsyncSource*, DemuxPlayback* pPlay) {
                    if (pPlay) arm(pPlay->SinkOfKind(bVideo), n);
                });
                ASSERT_EQ(S_OK, run.hrConnect);
                ASSERT_EQ(clean.pins.size(), run.pins.size());
                EXPECT_TRUE(run.events.empty()) << where.str();
                for (const PinPlay& pin : run.pins) {
                    const PinPlay* pClean = PinOfKind(clean, pin.bVideo);
                    EXPECT_EQ(1, pin.lEndOfStreams) << where.str();
                    size_t nExpected = pin.bVideo == bVideo ? static_cast<size_t>(n - 1) : pClean->samples.size();
                    ASSERT_EQ(nExpected, pin.samples.size()) << where.str();
                    EXPECT_TRUE(std::equal(pin.samples.begin(), pin.samples.end(), pClean->samples.begin()))
                        << where.str();
                }
                if (testing::Test::HasFailure()) return;
            }
        }
    }
}

}  // namespace

TEST(DemuxAllocatorFaults, AGetBufferFailingEndsThatPinsRunWithoutAnEvent)
{
    FaultEachMediaSample("GetBuffer fails", [](CRecordingSink* pSink, long n) {
        ASSERT_TRUE(platformtest::FailGetBufferOf(pSink->NotifiedAllocator(), n, E_OUTOFMEMORY));
    });
}

TEST(DemuxDownstreamFaults, ARefusedSampleEndsThatPinsRunWithoutAnEvent)
{
    FaultEachMediaSample("Receive refuses", [](CRecordingSink* pSink, long n) { pSink->FailNthReceive(n, E_FAIL); });
}

TEST(DemuxDownstreamFaults, ASampleTakenWithSFalseKeepsDeliveryGoing)
{
    for (const char* fixture : kFixtures) {
        Play clean = CleanPlay(fixture);
        for (bool bVideo : {true, false}) {
            Play run = PlayWith(fixture, [&](CHostAsyncSource*, DemuxPlayback* pPlay) {
                if (pPlay) pPlay->SinkOfKind(bVideo)->FailNthReceive(2, S_FALSE);
            });
            ASSERT_EQ(clean.pins.size(), run.pins.size());
            for (const PinPlay& pin : run.pins) {
                EXPECT_EQ(PinOfKind(clean, pin.bVideo)->samples, pin.samples) << fixture;
                EXPECT_EQ(1, pin.lEndOfStreams) << fixture;
            }
        }
    }
}

namespace {

enum class Hold { Video, Audio, Read };
const char* const kHoldNames[] = {"video held downstream", "audio held downstream", "slow read"};

// Pauses the graph with a worker held at its n-th media sample downstream,
// or inside the n-th read of the play, which takes 300 ms; true once it is.
bool PauseHeld(DemuxPlayback& play, Hold hold, long n)
{
    CHostAsyncSource* pSource = play.Source();
    const long lSlowRead = pSource->ReadCount() + n;
    CRecordingSink* pHeld = hold == Hold::Read ? nullptr : play.SinkOfKind(hold == Hold::Video);
    if (pHeld) {
        pHeld->BlockFromNthReceive(n);
    } else {
        pSource->InjectAtRead(n, {S_OK, -1, 300});
    }
    if (play.Graph()->Pause() != S_OK) return false;
    if (pHeld) return pHeld->WaitForBlockedReceive(5000);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (pSource->ReadCount() < lSlowRead || pSource->ReadsInProgress() == 0) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace

// A worker held downstream, or inside a slow read, when the graph stops:
// Stop waits for it, and every pin ends with exactly one end-of-stream, in
// each of the three loops.
TEST(DemuxDownstreamFaults, StopWhileAWorkerIsHeldEndsEveryPinOnce)
{
    for (const char* fixture : kFixtures) {
        for (Hold hold : {Hold::Video, Hold::Audio, Hold::Read}) {
            for (long n : {1L, 3L}) {
                SCOPED_TRACE(std::string(fixture) + " " + kHoldNames[int(hold)] + " at " + std::to_string(n));
                DemuxPlayback play;
                ASSERT_EQ(S_OK, play.OpenFixture(fixture));
                ASSERT_TRUE(PauseHeld(play, hold, n));
                ASSERT_EQ(S_OK, play.Graph()->Stop());
                EXPECT_EQ(0, play.Source()->ReadsInProgress()) << "Stop returned with a read still under way";
                for (size_t i = 0; i < play.OutputPinCount(); ++i) EXPECT_EQ(1, play.Sink(i)->EndOfStreamCount());
                if (hold != Hold::Read) {
                    EXPECT_EQ(static_cast<size_t>(n - 1), play.SinkOfKind(hold == Hold::Video)->Samples().size());
                }
                EXPECT_TRUE(play.Graph()->Events().empty());
            }
        }
    }
}

// A seek while a worker is held (downstream or in a slow read) parks it
// without end-of-stream; the new run then plays to one end-of-stream.
TEST(DemuxDownstreamFaults, ASeekWhileAWorkerIsHeldRestartsEveryLoopWithOneEndOfStream)
{
    for (const char* fixture : kFixtures) {
        for (Hold hold : {Hold::Video, Hold::Audio, Hold::Read}) {
            SCOPED_TRACE(std::string(fixture) + " " + kHoldNames[int(hold)]);
            DemuxPlayback play;
            ASSERT_EQ(S_OK, play.OpenFixture(fixture));
            CRecordingSink* pHeld = hold == Hold::Read ? nullptr : play.SinkOfKind(hold == Hold::Video);
            ASSERT_TRUE(PauseHeld(play, hold, pHeld ? 2 : 3));
            IMediaSeeking* pSeeking = play.Seeking(0);
            LONGLONG llStart = 0;
            ASSERT_EQ(S_OK, pSeeking->SetPositions(&llStart, AM_SEEKING_AbsolutePositioning, nullptr, 0));
            pSeeking->Release();
            if (pHeld) pHeld->BlockReceive(false);
            ASSERT_EQ(S_OK, play.Graph()->Run());
            ASSERT_TRUE(play.WaitForAllEndOfStreams(1, 10000));
            play.Graph()->Stop();
            // The held worker's run ended without end-of-stream; a pin that had
            // finished its first run ended it too, so it has two.
            long lFewest = 2;
            for (size_t i = 0; i < play.OutputPinCount(); ++i) {
                CRecordingSink* pSink = play.Sink(i);
                EXPECT_GE(pSink->FlushCount(), 1) << "pin " << i;
                EXPECT_EQ(SinkEvent::EndOfStream, pSink->Events().back().kind) << "pin " << i;
                EXPECT_LE(pSink->EndOfStreamCount(), 2) << "pin " << i;
                lFewest = std::min(lFewest, pSink->EndOfStreamCount());
            }
            EXPECT_EQ(1, pHeld ? pHeld->EndOfStreamCount() : lFewest);
            EXPECT_TRUE(play.Graph()->Events().empty());
        }
    }
}
