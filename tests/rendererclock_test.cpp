// What a renderer sees. Every fixture is played in every way a run can
// begin; for the run that ends the play, each pin must present the file's
// own times (from its facts, not from the filter): segment start + stream
// time = the unit's place on the movie timeline, on one clock for every pin,
// preroll exactly on what ends before the start, each media sample stamped
// for the units it carries, and one end-of-stream that completes the graph.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "amrframes.h"
#include "demuxplayback.h"
#include "fixturefacts.h"
#include "hostsequence.h"
#include "moviebuilder.h"
#include "testsources.h"

namespace {

const REFERENCE_TIME kSecond = 10000000;
const REFERENCE_TIME kAmrFrame = 200000;

// One thing a media sample carries, in file order: a video sample, an AAC
// access unit or an AMR frame, with its place on the movie timeline.
struct Unit {
    REFERENCE_TIME rtStart = 0;
    REFERENCE_TIME rtDuration = 0;
    uint32_t sample = 0;  // the file sample it comes from
    bool bKey = false;
    std::vector<uint8_t> bytes;  // audio only
};

struct Track {
    const TrackFacts* pFacts = nullptr;
    REFERENCE_TIME rtOffset = 0;  // the delay of an empty first edit
    std::vector<REFERENCE_TIME> sampleStarts;
    std::vector<Unit> units;
};

REFERENCE_TIME ToUnits(int64_t ticks, uint32_t timescale)
{
    return ticks * kSecond / timescale;
}

// A track's timeline from its facts: stts times converted to 100-ns units,
// after the delay of an empty first edit followed by media time 0.
Track TrackTimeline(const FixtureFacts& facts, const TrackFacts& track, const std::vector<uint8_t>& file)
{
    Track out;
    out.pFacts = &track;
    if (track.edits.size() >= 2 && track.edits[0].mediaTime == -1 && track.edits[1].mediaTime == 0)
        out.rtOffset = ToUnits(track.edits[0].segmentDuration, facts.movieTimescale);
    const bool bAmr = track.codec == "amr_nb" || track.codec == "amr_wb";
    for (size_t i = 0; i < track.packets.size(); ++i) {
        const PacketFacts& packet = track.packets[i];
        const REFERENCE_TIME rtStart = out.rtOffset + ToUnits(packet.rawDts, track.timescale);
        // The stored delta: up to the next sample, and for the last one up to
        // the table's end (ffprobe's own duration for it may differ).
        const int64_t delta = i + 1 < track.packets.size() ? track.packets[i + 1].rawDts - packet.rawDts
                              : track.endTs > uint64_t(packet.rawDts) ? int64_t(track.endTs) - packet.rawDts
                                                                       : packet.duration.value_or(0);
        out.sampleStarts.push_back(rtStart);
        std::vector<uint8_t> bytes;
        if (track.type == "audio") bytes.assign(file.begin() + packet.pos, file.begin() + packet.pos + packet.size);
        if (!bAmr) {
            out.units.push_back({rtStart, ToUnits(delta, track.timescale), packet.sample, packet.key, bytes});
            continue;
        }
        REFERENCE_TIME rtFrame = rtStart;
        for (std::vector<uint8_t>& frame : AmrFrames(bytes, track.codec == "amr_wb")) {
            out.units.push_back({rtFrame, kAmrFrame, packet.sample, true, frame});
            rtFrame += kAmrFrame;
        }
    }
    return out;
}

// The file sample at rt on the track's timeline, as a player expects it:
// the last one starting at or before rt; the first before the track begins
// (and, as the filter's tables answer, past the end).
uint32_t SampleAt(const Track& track, REFERENCE_TIME rt)
{
    const TrackFacts& facts = *track.pFacts;
    const int64_t media = (std::max(rt, track.rtOffset) - track.rtOffset) * facts.timescale / kSecond;
    uint32_t n = 0;
    for (const PacketFacts& packet : facts.packets) if (packet.rawDts <= media) n = packet.sample;
    const int64_t end = facts.packets.back().rawDts + facts.packets.back().duration.value_or(0);
    return media < end ? n : 0;
}

uint32_t KeyAtOrBefore(const Track& track, uint32_t n)
{
    while (n > 0 && !track.pFacts->packets[n].key) --n;
    return n;
}

// The file samples a run from rtStart to rtStop must carry: from the sync
// sample before the start (the last group when the start is past the
// track's duration) to the sample at the stop.
std::pair<uint32_t, uint32_t> RunSamples(const Track& track, REFERENCE_TIME rtStart, REFERENCE_TIME rtStop,
                                         REFERENCE_TIME rtDuration)
{
    const uint32_t count = track.pFacts->samples;
    uint32_t last = count - 1;
    if (rtStop < rtDuration) {
        uint32_t atStop = SampleAt(track, rtStop);
        if (atStop > 0) last = atStop;
    }
    const REFERENCE_TIME rtTrackDuration = ToUnits(track.pFacts->MediaDuration(), track.pFacts->timescale);
    return {KeyAtOrBefore(track, rtStart < rtTrackDuration ? SampleAt(track, rtStart) : last), last};
}

// The events of a sink from its last segment on.
std::vector<SinkEvent> LastRun(CRecordingSink* pSink)
{
    std::vector<SinkEvent> events = pSink->Events();
    auto it = std::find_if(events.rbegin(), events.rend(),
                           [](const SinkEvent& e) { return e.kind == SinkEvent::NewSegment; });
    return it == events.rend() ? std::vector<SinkEvent>() : std::vector<SinkEvent>(it.base() - 1, events.end());
}

// True once every sink's last run, begun after marker, has ended.
bool WaitForRunsToEnd(DemuxPlayback& play, uint64_t marker)
{
    for (int i = 0; i < 2000; ++i) {
        bool bEnded = true;
        for (size_t p = 0; p < play.OutputPinCount(); ++p) {
            std::vector<SinkEvent> run = LastRun(play.Sink(p));
            bEnded = bEnded && !run.empty() && run.front().nSequence > marker &&
                     run.back().kind == SinkEvent::EndOfStream;
        }
        if (bEnded) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

struct Positions {
    REFERENCE_TIME rtDuration = 0;  // the movie's, as the filter reports it
    REFERENCE_TIME rtBetweenKeys = 0;
    REFERENCE_TIME rtEarly = 0;  // before the main track's second sample: inside its delay when it has one
    REFERENCE_TIME rtInside = 0;  // a stop inside the tracks
};

// A time between key frames: half-way through the first sample that is not
// a key frame after the second key frame (or the middle sample).
Positions ChoosePositions(const Track& main, IMediaSeeking* pSeeking)
{
    Positions pos;
    pSeeking->GetDuration(&pos.rtDuration);
    const std::vector<PacketFacts>& packets = main.pFacts->packets;
    size_t n = packets.size() / 2;
    size_t keys = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        keys += packets[i].key ? 1 : 0;
        if (keys >= 2 && !packets[i].key) {
            n = i;
            break;
        }
    }
    pos.rtBetweenKeys = main.units.size() == packets.size()
                            ? main.units[n].rtStart + main.units[n].rtDuration / 2
                            : main.sampleStarts[n] + kAmrFrame / 2;
    pos.rtEarly = main.rtOffset > 0 ? main.rtOffset / 2 : main.units[0].rtDuration / 2;
    const size_t inside = packets.size() * 2 / 3;
    pos.rtInside = main.sampleStarts[inside] + kAmrFrame / 2;
    return pos;
}

bool SetStart(IMediaSeeking* pSeeking, REFERENCE_TIME rt)
{
    LONGLONG ll = rt;
    return pSeeking->SetPositions(&ll, AM_SEEKING_AbsolutePositioning, nullptr, 0) == S_OK;
}

bool Play(DemuxPlayback& play, uint64_t* pMarker)
{
    *pMarker = NextHostSequence();
    return play.Graph()->Pause() == S_OK && play.Graph()->Run() == S_OK;
}

long LargestUnit(const FixtureFacts& facts)
{
    long cb = 0;
    for (const TrackFacts& track : facts.tracks) {
        for (const PacketFacts& packet : track.packets) cb = std::max<long>(cb, packet.size + track.extradataSize);
    }
    return cb;
}

enum class At { Zero, BetweenKeys, Early, End };
enum class How { SetBeforePlay, SeekWhileHeld, SeekAfterTheEnd, StopThenPause };

struct Scenario {
    const char* pszName;
    At start;
    How how;
    bool bStopInside;
    long cbBuffer;  // the sinks' buffer size (movies whose samples fit); 0: as the filter asks
};

const Scenario kScenarios[] = {
    {"play from 0", At::Zero, How::SetBeforePlay, false, 0},
    {"start between key frames", At::BetweenKeys, How::SetBeforePlay, false, 0},
    {"start before the second sample", At::Early, How::SetBeforePlay, false, 0},
    {"seek while running between key frames", At::BetweenKeys, How::SeekWhileHeld, false, 0},
    {"seek to the end after playing", At::End, How::SeekAfterTheEnd, false, 0},
    {"Stop then Pause at the end", At::End, How::StopThenPause, false, 0},
    {"buffers of fewer than ten AMR frames", At::Zero, How::SetBeforePlay, false, 100},
    {"stop inside the track, buffers of many samples", At::Zero, How::SetBeforePlay, true, 64 * 1024},
};

// Drives the graph to the scenario's final run, which starts at rtS;
// *pMarker is taken just before the action that starts it.
bool Drive(DemuxPlayback& play, IMediaSeeking* pSeeking, const Scenario& scenario, REFERENCE_TIME rtS,
           REFERENCE_TIME rtStop, uint64_t* pMarker)
{
    LONGLONG llStop = rtStop;
    if (scenario.bStopInside &&
        pSeeking->SetPositions(nullptr, 0, &llStop, AM_SEEKING_AbsolutePositioning) != S_OK)
        return false;
    switch (scenario.how) {
    case How::SetBeforePlay:
        return (rtS == 0 || SetStart(pSeeking, rtS)) && Play(play, pMarker);
    case How::SeekWhileHeld:
        for (size_t p = 0; p < play.OutputPinCount(); ++p) play.Sink(p)->HoldNthSample(3);
        if (!Play(play, pMarker)) return false;
        for (size_t p = 0; p < play.OutputPinCount(); ++p) if (!play.Sink(p)->WaitForHeldOrEnded(10000)) return false;
        *pMarker = NextHostSequence();
        return SetStart(pSeeking, rtS);
    case How::SeekAfterTheEnd:
        if (!Play(play, pMarker) || !WaitForRunsToEnd(play, *pMarker)) return false;
        *pMarker = NextHostSequence();
        return SetStart(pSeeking, rtS);
    case How::StopThenPause:
        if (!SetStart(pSeeking, rtS) || !Play(play, pMarker) || !WaitForRunsToEnd(play, *pMarker)) return false;
        return play.Graph()->Stop() == S_OK && Play(play, pMarker);
    }
    return false;
}

// Checks one pin's last run against the track's timeline.
void CheckRun(const Track& track, CRecordingSink* pSink, CHostGraph* pGraph, REFERENCE_TIME rtS,
              REFERENCE_TIME rtStop, REFERENCE_TIME rtDuration, bool bFromZero)
{
    std::vector<SinkEvent> run = LastRun(pSink);
    ASSERT_GE(run.size(), 2u);
    EXPECT_EQ(rtS, run.front().rtStart) << "every pin's segment starts at the start position";
    EXPECT_EQ(rtStop, run.front().rtStop);
    EXPECT_EQ(1.0, run.front().dRate);
    EXPECT_EQ(SinkEvent::EndOfStream, run.back().kind);
    long nComplete = 0;
    for (const CHostGraph::Event& e : pGraph->Events()) {
        nComplete += e.lCode == EC_COMPLETE && e.nSequence > run.front().nSequence &&
                     e.lParam2 == reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(pSink));
    }
    EXPECT_EQ(1, nComplete) << "one EC_COMPLETE for the run";

    const std::pair<uint32_t, uint32_t> range = RunSamples(track, rtS, rtStop, rtDuration);
    const bool bVideo = track.pFacts->type == "video";
    const bool bAmr = track.pFacts->codec == "amr_nb" || track.pFacts->codec == "amr_wb";
    size_t next = std::find_if(track.units.begin(), track.units.end(),
                               [&](const Unit& u) { return u.sample == range.first; }) -
                  track.units.begin();
    const std::vector<SampleRecord> samples = pSink->Samples();
    size_t n = 0;
    REFERENCE_TIME rtLastStop = 0;
    for (size_t e = 1; e < run.size(); ++e) {
        if (run[e].kind == SinkEvent::EndOfStream) {
            EXPECT_EQ(run.size() - 1, e) << "one end-of-stream, last";
            continue;
        }
        ASSERT_EQ(SinkEvent::Sample, run[e].kind);
        const SampleRecord& got = samples[run[e].nSample];
        SCOPED_TRACE("media sample " + std::to_string(n) + " of the run, unit " + std::to_string(next));
        ASSERT_LT(next, track.units.size());
        ASSERT_LE(track.units[next].sample, range.second) << "nothing past the run's last sample";
        // The units the media sample carries: one video sample, or audio
        // units whose bytes make up the buffer.
        size_t carried = 1;
        REFERENCE_TIME rtCarried = track.units[next].rtDuration;
        if (!bVideo) {
            std::vector<uint8_t> bytes = track.units[next].bytes;
            while (bytes.size() < static_cast<size_t>(got.cbActual) && next + carried < track.units.size()) {
                bytes.insert(bytes.end(), track.units[next + carried].bytes.begin(),
                             track.units[next + carried].bytes.end());
                rtCarried += track.units[next + carried].rtDuration;
                ++carried;
            }
            ASSERT_EQ(bytes, got.bytes) << "the buffer holds whole units in file order";
            ASSERT_LE(track.units[next + carried - 1].sample, range.second) << "nothing past the run's last sample";
        }
        const Unit& first = track.units[next];
        EXPECT_EQ(first.rtStart, rtS + got.rtStart) << "presentation time = segment start + stream time";
        const bool bLastOfTrack = next + carried == track.units.size();
        EXPECT_NEAR(rtCarried, got.rtStop - got.rtStart, bLastOfTrack ? kAmrFrame : 0) << carried << " units";
        EXPECT_EQ(first.rtStart + rtCarried <= rtS, got.bPreroll) << "preroll exactly before the start";
        // The run's first media sample is a discontinuity; audio marks every one.
        EXPECT_EQ(n == 0 || !bVideo, got.bDiscontinuity);
        EXPECT_EQ(first.bKey, got.bSyncPoint);
        rtLastStop = rtS + got.rtStop;
        next += carried;
        ++n;
        // Ten frames to a media sample while there are frames to give,
        // fewer only where the next would not fit the buffer.
        if (bAmr && next < track.units.size() && track.units[next].sample <= range.second &&
            got.cbActual + track.units[next].bytes.size() <= static_cast<size_t>(got.cbBuffer)) {
            EXPECT_EQ(10u, carried);
        }
    }
    ASSERT_GT(n, 0u);
    const bool bDone = next == track.units.size() || track.units[next].sample > range.second;
    EXPECT_TRUE(bDone) << "every unit up to the last sample was carried";
    if (bFromZero && rtStop == rtDuration) {
        // The last stop is the track's end.
        const REFERENCE_TIME rtEnd =
            track.rtOffset + ToUnits(track.pFacts->MediaDuration(), track.pFacts->timescale);
        EXPECT_NEAR(rtEnd, rtLastStop, kAmrFrame);
    }
}

// Every scenario on one movie, opened afresh for each.
void PlayEveryScenario(const FixtureFacts& facts, const std::vector<uint8_t>& file)
{
    for (const Scenario& scenario : kScenarios) {
        SCOPED_TRACE(facts.name + ", " + scenario.pszName);
        SinkOptions options;
        options.bNotifyComplete = true;
        options.cbBuffer = scenario.cbBuffer;
        if (scenario.cbBuffer > 0 && LargestUnit(facts) > scenario.cbBuffer) continue;
        DemuxPlayback play;
        ASSERT_EQ(S_OK, play.OpenBytes(file, options));
        std::vector<Track> tracks;
        for (bool bVideo : {true, false}) {
            if (!play.PinOfKind(bVideo)) continue;
            const TrackFacts* pFacts = facts.FirstTrack(bVideo ? "video" : "audio");
            ASSERT_NE(nullptr, pFacts);
            tracks.push_back(TrackTimeline(facts, *pFacts, file));
        }
        ASSERT_FALSE(tracks.empty());
        IMediaSeeking* pSeeking = play.Seeking(0);
        const Positions pos = ChoosePositions(tracks.front(), pSeeking);
        const REFERENCE_TIME rtS = scenario.start == At::BetweenKeys ? pos.rtBetweenKeys
                                   : scenario.start == At::Early     ? pos.rtEarly
                                   : scenario.start == At::End       ? pos.rtDuration
                                                                     : 0;
        const REFERENCE_TIME rtStop = scenario.bStopInside ? pos.rtInside : pos.rtDuration;
        uint64_t marker = 0;
        const bool bDriven = Drive(play, pSeeking, scenario, rtS, rtStop, &marker);
        pSeeking->Release();
        ASSERT_TRUE(bDriven);
        ASSERT_TRUE(WaitForRunsToEnd(play, marker)) << "every pin ends its run";
        for (const Track& track : tracks) {
            SCOPED_TRACE(track.pFacts->type);
            CheckRun(track, play.SinkOfKind(track.pFacts->type == "video"), play.Graph(), rtS, rtStop,
                     pos.rtDuration, rtS == 0);
        }
        play.Graph()->Stop();
        if (testing::Test::HasFailure()) return;
    }
}

// What the fixtures lack: a video track that starts late with two groups of
// pictures (a start inside its delay), and AMR samples of seven frames, so
// that media samples begin inside a file sample.
FixtureFacts BuildDelayedVideoAndSevenFrameAmr(std::vector<uint8_t>* pFile)
{
    using namespace testmovie;
    MovieLayout layout;
    layout.duration = 2600;
    TrackLayout video;
    video.samples = PatternSamples(std::vector<uint32_t>(20, 50));
    video.defaultDelta = 100;
    video.stss = std::vector<uint32_t>{1, 11};
    video.elst = TwoEntryEditList(0, 500, 0, 2000);
    TrackLayout audio;
    audio.kind = TrackLayout::Audio;
    audio.sampleEntry = AmrEntry();
    audio.timeScale = 8000;
    audio.defaultDelta = 7 * 160;
    std::vector<uint8_t> frame(13, 0x55);
    frame[0] = 0x04;  // frame type 0 (4.75 kbit/s), quality bit set
    for (int i = 0; i < 18; ++i) {
        std::vector<uint8_t> sample;
        for (int k = 0; k < 7; ++k) sample.insert(sample.end(), frame.begin(), frame.end());
        audio.samples.push_back(sample);
    }
    layout.tracks = {video, audio};
    BuiltMovie built = BuildMovie(layout);
    *pFile = built.bytes;

    FixtureFacts facts;
    facts.name = "built: delayed video, seven-frame AMR";
    facts.movieTimescale = layout.timeScale;
    facts.movieDuration = layout.duration;
    for (size_t t = 0; t < layout.tracks.size(); ++t) {
        const TrackLayout& in = layout.tracks[t];
        TrackFacts out;
        out.stream = static_cast<int>(t);
        out.type = t == 0 ? "video" : "audio";
        out.codec = t == 0 ? "h263" : "amr_nb";
        out.timescale = in.timeScale;
        out.samples = static_cast<uint32_t>(in.samples.size());
        out.durationTs = uint64_t(in.defaultDelta) * in.samples.size();
        if (t == 0) out.edits = {{500, -1, 1, 0}, {2000, 0, 1, 0}};
        for (uint32_t i = 0; i < out.samples; ++i) {
            PacketFacts packet;
            packet.sample = i;
            packet.size = static_cast<uint32_t>(in.samples[i].size());
            packet.pos = static_cast<int64_t>(built.tracks[t].sampleOffsets[i]);
            packet.rawDts = int64_t(i) * in.defaultDelta;
            packet.duration = in.defaultDelta;
            packet.key = t == 1 || i == 0 || i == 10;
            out.packets.push_back(packet);
        }
        facts.tracks.push_back(out);
    }
    return facts;
}

}  // namespace

TEST(RendererClock, EveryFixturePresentsTheFilesTimesInEveryKindOfRun)
{
    for (const std::string& name : ListFixtures()) {
        PlayEveryScenario(LoadFixtureFacts(name), testsrc::ReadWholeFile(FixturePath(name)));
        if (testing::Test::HasFailure()) return;
    }
    std::vector<uint8_t> file;
    const FixtureFacts built = BuildDelayedVideoAndSevenFrameAmr(&file);
    PlayEveryScenario(built, file);
}
