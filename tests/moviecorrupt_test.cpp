// Damaged files: a valid synthetic movie truncated at every length must
// parse or fail cleanly, and every track that survives must answer every
// lookup without reading out of bounds (byte flips are the fuzz run's part).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "debugcapture.h"
#include "fixturefacts.h"
#include "movie.h"
#include "moviebuilder.h"
#include "moviesampletables.h"
#include "movietimetables.h"
#include "movietrack.h"
#include "testsources.h"

using namespace testmovie;

namespace {

std::vector<uint8_t> RichMovie(bool bMdatFirst) {
    MovieLayout layout;
    layout.mdatBeforeMoov = bMdatFirst;
    layout.timeScale = 600;
    layout.duration = 1200;
    TrackLayout video;
    video.sampleEntry = AvcEntry({0x67, 0x42, 0x00, 0x1E, 0x01}, {0x68, 0xCE}, 4);
    std::vector<std::vector<uint8_t>> samples;
    for (uint8_t n = 0; n < 12; ++n) samples.push_back({0, 0, 0, 3, 0x65, n, 1, 0, 0, 0, 1, 0x41});
    video.samples = samples;
    video.chunkRuns = {{1, 3}, {3, 2}};
    video.stts = {{5, 100}, {7, 50}};
    video.ctts = {{2, 0}, {1, 200}, {9, 100}};
    video.stss = std::vector<uint32_t>{1, 6, 11};
    video.elst = TwoEntryEditList(0, 60);
    TrackLayout audio;
    audio.kind = TrackLayout::Audio;
    audio.timeScale = 8000;
    audio.samples = PatternSamples(std::vector<uint32_t>(20, 13));
    audio.constantSampleSize = 13;
    audio.samplesPerChunk = 4;
    audio.co64 = true;
    layout.tracks = {video, audio};
    return BuildMovie(layout).bytes;
}

void WalkTrack(CMovieTrack& track) {
    const DWORD count = track.GetSampleCount();
    // Bounded: a corrupt count is not walked to 4 billion.
    const DWORD walk = std::min<DWORD>(count, 64);
    std::vector<BYTE> buffer(std::min<DWORD>(track.GetLargestReadableSample(), 1u << 20) + 1);
    std::vector<DWORD> samples;
    for (DWORD n = 0; n < walk + 3; ++n) samples.push_back(n);
    samples.push_back(0xFFFFFFFF);
    samples.push_back(count);
    for (DWORD n : samples) {
        DWORD cb = 0;
        track.ReadSample(n, buffer.data(), DWORD(buffer.size() - 1), &cb);
        EXPECT_LE(cb, buffer.size() - 1);
        REFERENCE_TIME start, duration;
        track.GetSampleTime(n, &start, &duration);
        track.GetSyncSampleAtOrBefore(n);
        track.IsSyncSample(n);
        if (track.GetCompositionTimeBox() != nullptr) track.GetCompositionTimeBox()->GetCompositionOffset(n);
    }
    const REFERENCE_TIME times[] = {INT64_MIN, -10000000,           -1,        0,        1, 999999, 5000000,
                                    20000000,  track.GetDuration(), 1LL << 40, INT64_MAX};
    for (REFERENCE_TIME t : times) {
        track.GetSampleAtTime(t);
        track.GetSyncSampleAtTime(t);
    }
}

// Returns how many tracks survived.
DWORD ParseAndWalk(const std::vector<uint8_t>& bytes) {
    testsrc::MemorySource source(bytes);
    source.SetRecording(false);
    CMovie movie(&source);
    HRESULT hr = movie.Parse();
    EXPECT_TRUE(hr == S_OK || hr == E_FAIL) << std::hex << hr;
    movie.GetDuration();
    for (DWORD i = 0; i < movie.GetTracks().size(); ++i) WalkTrack(*movie.GetTracks()[i]);
    return movie.GetTracks().size();
}

std::vector<uint8_t> FragmentedFixture() {
    return testsrc::ReadWholeFile(FixturePath("amrnb-fragmented.3gp"));
}

}  // namespace

TEST(MovieCorruption, TruncatedAtEveryLength) {
    // Every cut of a fragmented file lands in a fragment or its media data.
    const std::vector<uint8_t> fragmented = FragmentedFixture();
    for (size_t length = 0; length < fragmented.size(); ++length) {
        SCOPED_TRACE(length);
        ParseAndWalk(std::vector<uint8_t>(fragmented.begin(), fragmented.begin() + length));
    }
    // With the media data first, every cut lands in the movie box.
    for (bool bMdatFirst : {false, true}) {
        const std::vector<uint8_t> valid = RichMovie(bMdatFirst);
        {
            testsrc::MemorySource source(valid);
            CMovie movie(&source);
            ASSERT_EQ(movie.Parse(), S_OK);
            ASSERT_EQ(movie.GetTracks().size(), 2u);
        }
        for (size_t length = 0; length < valid.size(); ++length) {
            SCOPED_TRACE(length);
            ParseAndWalk(std::vector<uint8_t>(valid.begin(), valid.begin() + length));
        }
    }
}

namespace {

// The offset of the nth box of that type, found by its four characters.
size_t BoxAt(const std::vector<uint8_t>& bytes, const char* type, int nth) {
    size_t at = 0;
    for (int found = -1; found < nth; ++at) {
        at = std::search(bytes.begin() + at, bytes.end(), type, type + 4) - bytes.begin();
        if (at == bytes.size()) return 0;
        if (++found == nth) return at - 4;
    }
    return 0;
}

void Put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = uint8_t(value >> (24 - 8 * i));
}

}  // namespace

// Damaged fragments of a file with three 15-sample video runs (per-sample
// sizes and composition offsets, explicit data offsets): each costs the
// samples it touches, with a debug line, and the rest plays.
TEST(MovieCorruption, DamagedFragmentsCostOnlyTheirSamples) {
    using Bytes = std::vector<uint8_t>;
    const char* kFile = "frag-keyframe-empty-moov.mp4";
    const FixtureFacts facts = LoadFixtureFacts(kFile);
    const Bytes clean = testsrc::ReadWholeFile(FixturePath(kFile));
    const size_t moof2 = BoxAt(clean, "moof", 2);
    const int kUpToCut = -1;  // the facts' samples whose bytes lie inside the cut file
    struct Case {
        const char* name;
        std::function<void(Bytes&)> damage;
        int videoSamples;
        const char* message;
    } cases[] = {
        {"run count beyond its box", [](Bytes& b) { Put32(b, BoxAt(b, "trun", 0) + 12, 1000); }, 45,
         "more entries than its box holds"},
        {"sample size beyond the file", [](Bytes& b) { Put32(b, BoxAt(b, "trun", 0) + 24, 0x7FFFFFF0); }, 30,
         "cut to the samples the file holds"},
        {"data offset outside the file", [](Bytes& b) { Put32(b, BoxAt(b, "trun", 0) + 16, 0x7FFFFFFF); }, 30,
         "data outside the file"},
        {"traf for an unknown track", [](Bytes& b) { Put32(b, BoxAt(b, "tfhd", 0) + 12, 99); }, 30, "unknown track"},
        {"traf without tfhd", [](Bytes& b) { std::memcpy(&b[BoxAt(b, "tfhd", 0) + 4], "free", 4); }, 30,
         "without a usable header"},
        {"moof sequence going back", [](Bytes& b) { Put32(b, BoxAt(b, "mfhd", 2) + 12, 1); }, 30,
         "Movie fragment out of order"},
        {"tfdt going back", [](Bytes& b) { Put32(b, BoxAt(b, "tfdt", 4) + 16, 0); }, 30, "Track fragment out of order"},
        {"moof cut by the end", [&](Bytes& b) { b.resize(moof2 + 100); }, 30, "cut by the end of the file"},
        {"mdat cut by the end", [&](Bytes& b) { b.resize(moof2 + 1000); }, kUpToCut, "cut to the samples the file holds"},
        {"no trex for the track", [](Bytes& b) { std::memcpy(&b[BoxAt(b, "trex", 0) + 4], "free", 4); }, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes bytes = clean;
        c.damage(bytes);
        int expected = c.videoSamples;
        if (expected == kUpToCut) {
            expected = 0;
            for (const PacketFacts& p : facts.FirstTrack("video")->packets) expected += p.pos + p.size <= int64_t(bytes.size());
        }
        DebugCapture debug;
        testsrc::MemorySource source(bytes);
        CMovie movie(&source);
        ASSERT_EQ(movie.Parse(), S_OK);
        CMovieTrack* pVideo = nullptr;
        for (DWORD i = 0; i < movie.GetTracks().size(); ++i) {
            if (movie.GetTracks()[i]->IsVideo()) pVideo = movie.GetTracks()[i];
            WalkTrack(*movie.GetTracks()[i]);
        }
        EXPECT_EQ(pVideo != nullptr ? int(pVideo->GetSampleCount()) : 0, expected);
        EXPECT_NE(debug.Text().find(c.message), std::string::npos) << debug.Text();
    }
}
