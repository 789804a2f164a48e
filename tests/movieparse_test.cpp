// Parsing a whole movie: the top-level scan, the movie header, which tracks
// are kept and what is reported for the ones that are not.
#include <gtest/gtest.h>

#include "debugcapture.h"
#include "movie.h"
#include "moviebuilder.h"
#include "moviesampletables.h"
#include "movietrack.h"
#include "testhooks.h"
#include "testsources.h"

using testbox::Box;
using testbox::Bytes;
using testbox::FullBox;
using namespace testmovie;

namespace {

TrackLayout VideoTrack(size_t count = 5)
{
    TrackLayout track;
    track.samples = PatternSamples(std::vector<uint32_t>(count, 40));
    return track;
}

TrackLayout AudioTrack(size_t count = 5)
{
    TrackLayout track;
    track.kind = TrackLayout::Audio;
    track.timeScale = 8000;
    track.defaultDelta = 160;
    track.samples = PatternSamples(std::vector<uint32_t>(count, 13), 5);
    return track;
}

MovieLayout OneTrackMovie(TrackLayout track = VideoTrack())
{
    MovieLayout layout;
    layout.duration = 500;
    layout.tracks.push_back(std::move(track));
    return layout;
}

struct Parsed {
    explicit Parsed(std::vector<uint8_t> bytes) : source(std::move(bytes)), movie(&source) { hr = movie.Parse(); }
    testsrc::MemorySource source;
    CMovie movie;
    HRESULT hr;
};

Bytes Ftyp() { return Box("ftyp", Bytes().fourcc("isom")); }

// A version-0 movie header of the given time scale and duration.
Bytes Mvhd(uint32_t timeScale, uint32_t duration)
{
    return FullBox("mvhd", 0, 0, Bytes().u32(0).u32(0).u32(timeScale).u32(duration).zeros(80));
}

const char kErrorLinePrefix[] = "ERROR: source\\filters\\3gpp_demux\\movie line ";

// The two-line report: the location line, then exactly the message.
void ExpectReport(const DebugCapture& capture, const std::string& message)
{
    std::vector<std::string> pieces = capture.Pieces();
    ASSERT_EQ(pieces.size(), 2u) << capture.Text();
    EXPECT_EQ(pieces[0].rfind(kErrorLinePrefix, 0), 0u) << pieces[0];
    EXPECT_EQ(pieces[0].substr(pieces[0].size() - 2), ": ");
    std::string line = pieces[0].substr(sizeof(kErrorLinePrefix) - 1);
    EXPECT_GT(std::stoi(line), 0);
    EXPECT_EQ(pieces[1], message);
}

}  // namespace

TEST(MovieParse, KeepsVideoAndAudioTracksInFileOrder)
{
    MovieLayout layout = OneTrackMovie(AudioTrack());
    layout.tracks.push_back(VideoTrack());
    Parsed parsed(BuildMovie(layout).bytes);
    ASSERT_EQ(parsed.hr, S_OK);
    ASSERT_EQ(parsed.movie.GetTracks().size(), 2u);
    EXPECT_TRUE(parsed.movie.GetTracks()[0]->IsAudio());
    EXPECT_FALSE(parsed.movie.GetTracks()[0]->IsVideo());
    EXPECT_TRUE(parsed.movie.GetTracks()[1]->IsVideo());
    EXPECT_EQ(parsed.movie.GetTimeScale(), 1000u);
    EXPECT_EQ(parsed.movie.GetHeaderDuration(), 500u);
    EXPECT_EQ(parsed.movie.GetTracks()[0]->GetSampleSizeBox()->GetSampleCount(), 5u);
    EXPECT_EQ(parsed.movie.GetTracks()[0]->GetMediaTimeScale(), 8000u);
}

TEST(MovieParse, AcceptsMediaDataBeforeMovieBox)
{
    MovieLayout layout = OneTrackMovie();
    layout.mdatBeforeMoov = true;
    BuiltMovie built = BuildMovie(layout);
    Parsed parsed(built.bytes);
    ASSERT_EQ(parsed.hr, S_OK);
    ASSERT_EQ(parsed.movie.GetTracks().size(), 1u);
    std::vector<BYTE> buffer(40);
    DWORD cbSample = 0;
    ASSERT_EQ(parsed.movie.GetTracks()[0]->ReadSample(2, buffer.data(), 40, &cbSample), S_OK);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.end()), layout.tracks[0].samples[2]);
}

// The top-level scan needs a file type, a movie box with its header and
// media data; a later movie box replaces an earlier one. Phones write the
// media data with a 64-bit size before the movie box. A size that cannot be
// placed ends the scan; a box seen before that counts.
TEST(MovieParse, TopLevelScan)
{
    Bytes ftyp = Ftyp();
    Bytes header = Mvhd(600, 1200);
    Bytes moov = Box("moov", header);
    Bytes mdat = Box("mdat", Bytes().zeros(4));
    Bytes noHeader = Box("moov", Box("free"));
    Bytes payload = Bytes().zeros(8);
    struct Case {
        const char* name;
        Bytes file;
        HRESULT hr;
    };
    const Case cases[] = {
        {"no media data", ftyp + moov, E_FAIL},
        {"no file type", moov + mdat, E_FAIL},
        {"no movie box", ftyp + mdat, E_FAIL},
        {"movie box without header", ftyp + noHeader + mdat, E_FAIL},
        {"empty file", Bytes(), E_FAIL},
        {"file type of three bytes", Box("ftyp", Bytes().u24(0)) + moov + mdat, E_FAIL},
        {"later movie box with a header", ftyp + noHeader + mdat + moov, S_OK},
        {"later movie box without one", ftyp + moov + mdat + noHeader, E_FAIL},
        {"64-bit mdat before moov", ftyp + testbox::LargeBox("mdat", payload) + moov, S_OK},
        {"64-bit mdat after moov", ftyp + moov + testbox::LargeBox("mdat", payload), S_OK},
        {"64-bit moov", ftyp + Box("mdat") + testbox::LargeBox("moov", header), S_OK},
        {"64-bit size below its header", ftyp + testbox::RawLargeBox(15, "mdat", payload) + moov, E_FAIL},
        {"64-bit size 0", ftyp + testbox::RawLargeBox(0, "mdat", payload) + moov, E_FAIL},
        {"64-bit size past the end", ftyp + testbox::RawLargeBox(25 + moov.size(), "mdat", payload) + moov, E_FAIL},
        {"mdat past the end after moov", ftyp + moov + testbox::RawLargeBox(1u << 20, "mdat", payload), S_OK},
        {"open mdat before moov", ftyp + testbox::OpenBox("mdat", payload) + moov, E_FAIL},
        {"open mdat last", ftyp + moov + testbox::OpenBox("mdat", payload), S_OK},
        {"open moov last", ftyp + Box("mdat") + testbox::OpenBox("moov", header), S_OK},
        {"compact size below 8", ftyp + testbox::RawBox(7, "mdat", payload) + moov, E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Parsed parsed(c.file.data());
        EXPECT_EQ(parsed.hr, c.hr);
        EXPECT_EQ(parsed.movie.GetTimeScale(), c.hr == S_OK ? 600u : 1u);
    }
    Parsed unknownBrand((Box("ftyp", Bytes().fourcc("zzzz")) + moov + mdat).data());
    EXPECT_EQ(unknownBrand.hr, S_OK);
    EXPECT_EQ(unknownBrand.movie.GetFileType(), 2u);
}

// A media data box of over 4 GiB: the movie box after it is found at its
// 64-bit position, also where pointers are 32 bits wide.
TEST(MovieParse, MovieBoxAfterMediaDataAbove4GiB)
{
    const uint64_t llMdat = 0x100000010ull;
    const std::vector<uint8_t> head = (Ftyp() + Bytes().u32(1).fourcc("mdat").u64(llMdat)).data();
    const std::vector<uint8_t> moov = Box("moov", Mvhd(600, 1200)).data();
    const LONGLONG llMoovAt = LONGLONG(head.size() - 16 + llMdat);
    testsrc::GeneratedSource source(llMoovAt + LONGLONG(moov.size()), [&](LONGLONG at) -> BYTE {
        if (at < LONGLONG(head.size())) return head[size_t(at)];
        return at >= llMoovAt && at < llMoovAt + LONGLONG(moov.size()) ? moov[size_t(at - llMoovAt)] : 0;
    });
    CMovie movie(&source);
    EXPECT_EQ(movie.Parse(), S_OK);
    EXPECT_EQ(movie.GetTimeScale(), 600u);
}

// A reader that reaches the end answers S_FALSE and leaves the rest of the
// buffer as it was, so those bytes are whatever the caller had there. This
// one puts "ov" there: a header cut after "mo" must not become a movie box.
TEST(MovieParse, HeaderCutByTheEndOfTheStreamEndsTheScan)
{
    const std::vector<uint8_t> bytes = (Ftyp() + Box("moov", Mvhd(600, 1200)) + Box("mdat") + Bytes().u32(16).u8('m').u8('o')).data();
    const LONGLONG llEnd = LONGLONG(bytes.size());
    testsrc::GeneratedSource source(llEnd, [&](LONGLONG at) { return at < llEnd ? bytes[size_t(at)] : BYTE("ov"[(at - llEnd) % 2]); });
    CMovie movie(&source);
    EXPECT_EQ(movie.Parse(), S_OK);
    EXPECT_EQ(movie.GetTimeScale(), 600u);
}

TEST(MovieParse, MovieHeaderVersions)
{
    MovieLayout layout = OneTrackMovie();
    layout.mvhdVersion = 1;
    layout.duration = 0x123456789ull;
    Parsed v1(BuildMovie(layout).bytes);
    ASSERT_EQ(v1.hr, S_OK);
    EXPECT_EQ(v1.movie.GetHeaderDuration(), 0x123456789ull);

    Bytes ftyp = Ftyp();
    Bytes mdat = Box("mdat");
    EXPECT_EQ(Parsed((ftyp + Box("moov", FullBox("mvhd", 2, 0, Bytes().zeros(96))) + mdat).data()).hr, E_FAIL);
    // Too short for the fields of its version: refused, never read past.
    EXPECT_EQ(Parsed((ftyp + Box("moov", FullBox("mvhd", 0, 0, Bytes().zeros(15))) + mdat).data()).hr, E_FAIL);
    EXPECT_EQ(Parsed((ftyp + Box("moov", FullBox("mvhd", 1, 0, Bytes().zeros(27))) + mdat).data()).hr, E_FAIL);
    EXPECT_EQ(Parsed((ftyp + Box("moov", FullBox("mvhd", 1, 0, Bytes().zeros(28))) + mdat).data()).hr, S_OK);
}

TEST(MovieParse, DropsDisabledAndNonAudioVisualTracksSilently)
{
    MovieLayout layout = OneTrackMovie();
    layout.tracks[0].trackFlags = 0;
    TrackLayout hint = VideoTrack();
    hint.kind = TrackLayout::Other;
    layout.tracks.push_back(hint);
    TrackLayout enabled = VideoTrack();
    enabled.trackFlags = 7;
    layout.tracks.push_back(enabled);
    DebugCapture capture;
    Parsed parsed(BuildMovie(layout).bytes);
    EXPECT_EQ(parsed.hr, S_OK);
    EXPECT_EQ(parsed.movie.GetTracks().size(), 1u);
    EXPECT_EQ(capture.Text(), "");
}

TEST(MovieParse, VideoHeaderWinsOverSoundHeader)
{
    TrackLayout track = AudioTrack();
    track.extraMinfChildren = FullBox("vmhd", 0, 1, Bytes().zeros(8));
    Parsed parsed(BuildMovie(OneTrackMovie(track)).bytes);
    ASSERT_EQ(parsed.movie.GetTracks().size(), 1u);
    EXPECT_TRUE(parsed.movie.GetTracks()[0]->IsVideo());
    EXPECT_FALSE(parsed.movie.GetTracks()[0]->IsAudio());
}

TEST(MovieParse, ReportsEachMissingOrBrokenTableInTwoLines)
{
    struct Case {
        const char* omit;
        const char* message;
    };
    const Case cases[] = {
        {"mdhd", "ERROR[Parser] Media Header box does not exist.\r\n"},
        {"minf", "ERROR[Parser] Media Information Box does not exist.\r\n"},
        {"stbl", "ERROR[Parser] Sample Table Box does not exist.\r\n"},
        {"stsd", "ERROR[Parser] Sample Description Box does not exist.\r\n"},
        {"stsz", "ERROR[Parser] Sample Size Box does not exist.\r\n"},
        {"stsc", "ERROR[Parser] Sample To Chunk Box does not exist.\r\n"},
        {"stco", "ERROR[Parser] Chunk Offset Box does not exist.\r\n"},
        {"stts", "ERROR[Parser] Decoding Time To Sample Box does not exist.\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.omit);
        TrackLayout track = VideoTrack();
        track.omit = {c.omit};
        DebugCapture capture;
        Parsed parsed(BuildMovie(OneTrackMovie(track)).bytes);
        EXPECT_EQ(parsed.hr, S_OK);
        EXPECT_EQ(parsed.movie.GetTracks().size(), 0u);
        ExpectReport(capture, c.message);
    }
}

TEST(MovieParse, ReportsTablesShorterThanTheirCounts)
{
    struct Case {
        const char* type;
        Bytes box;
        const char* message;
    };
    const Case cases[] = {
        {"stsz", FullBox("stsz", 0, 0, Bytes().u32(0).u32(6).zeros(20)), "ERROR[Parser] Sample Size Box parse failed.\r\n"},
        {"stsc", FullBox("stsc", 0, 0, Bytes().u32(2).zeros(23)), "ERROR[Parser] Sample To Chunk Box parse failed.\r\n"},
        {"stco", FullBox("stco", 0, 0, Bytes().u32(3).zeros(11)), "ERROR[Parser] Chunk Offset Box parse failed.\r\n"},
        {"stts", FullBox("stts", 0, 0, Bytes().u32(1).zeros(7)),
         "ERROR[Parser] Decoding Time To Sample Box parse failed.\r\n"},
        {"ctts", FullBox("ctts", 0, 0, Bytes().u32(0x20000000).zeros(8)),
         "ERROR[Parser] Composition Time To Sample Box parse failed.\r\n"},
        {"stss", FullBox("stss", 0, 0, Bytes().u32(0xFFFFFFFF).zeros(4)), "ERROR[Parser] Sync Sample Box parse failed.\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        TrackLayout track = VideoTrack();
        track.omit = {c.type};
        track.extraStblChildren = c.box;
        DebugCapture capture;
        Parsed parsed(BuildMovie(OneTrackMovie(track)).bytes);
        EXPECT_EQ(parsed.movie.GetTracks().size(), 0u);
        ExpectReport(capture, c.message);
    }
}

TEST(MovieParse, MediaHeaderNeedsTheBytesOfItsVersion)
{
    for (uint8_t version : {0, 1}) {
        SCOPED_TRACE(version);
        Bytes shortHeader = FullBox("mdhd", version, 0, Bytes().zeros(version == 1 ? 27 : 15));
        Bytes fullHeader = FullBox("mdhd", version, 0,
                                   version == 1 ? Bytes().zeros(16).u32(1000).u64(500) : Bytes().zeros(8).u32(1000).u32(500));
        for (const Bytes* header : {&shortHeader, &fullHeader}) {
            Bytes ftyp = Ftyp();
            Bytes tkhd = FullBox("tkhd", 0, 1, Bytes().zeros(80));
            Bytes stbl = Box("stbl", {FullBox("stsd", 0, 0, Bytes().u32(1).append(H263Entry())), SttsBox({{1, 100}}),
                                      StscBox({{1, 1}}), StszBox(4, {4}), StcoBox({0}, false)});
            Bytes minf = Box("minf", {FullBox("vmhd", 0, 1, Bytes().zeros(8)), stbl});
            Bytes trak = Box("trak", {tkhd, Box("mdia", {*header, minf})});
            Bytes moov = Box("moov", {Mvhd(1000, 0), trak});
            DebugCapture capture;
            Parsed parsed((ftyp + moov + Box("mdat")).data());
            if (header == &shortHeader) {
                EXPECT_EQ(parsed.movie.GetTracks().size(), 0u);
                ExpectReport(capture, "ERROR[Parser] Media Header size is too small.\r\n");
            } else {
                ASSERT_EQ(parsed.movie.GetTracks().size(), 1u);
                EXPECT_EQ(parsed.movie.GetTracks()[0]->GetMediaDuration(), 500u);
                EXPECT_EQ(capture.Text(), "");
            }
        }
    }
}

TEST(MovieParse, OptionalTablesMayBeAbsentAndStcoWinsOverCo64)
{
    TrackLayout track = VideoTrack();
    track.stss.reset();
    track.ctts.clear();
    Parsed plain(BuildMovie(OneTrackMovie(track)).bytes);
    ASSERT_EQ(plain.movie.GetTracks().size(), 1u);
    EXPECT_EQ(plain.movie.GetTracks()[0]->GetSyncSampleBox(), nullptr);
    EXPECT_EQ(plain.movie.GetTracks()[0]->GetCompositionTimeBox(), nullptr);

    track.co64 = true;
    Parsed wide(BuildMovie(OneTrackMovie(track)).bytes);
    ASSERT_EQ(wide.movie.GetTracks().size(), 1u);
    EXPECT_TRUE(wide.movie.GetTracks()[0]->GetChunkOffsetBox()->Uses64BitOffsets());

    // Both forms: the 32-bit table is used, even when it comes second.
    track.extraStblChildren = StcoBox({1, 2, 3, 4, 5}, false);
    Parsed both(BuildMovie(OneTrackMovie(track)).bytes);
    ASSERT_EQ(both.movie.GetTracks().size(), 1u);
    EXPECT_FALSE(both.movie.GetTracks()[0]->GetChunkOffsetBox()->Uses64BitOffsets());
    EXPECT_EQ(both.movie.GetTracks()[0]->GetChunkOffsetBox()->GetChunkOffset(2), 2u);
}

TEST(MovieParse, DropsTracksWithoutDurationOrTimeScale)
{
    TrackLayout tooShort = VideoTrack();
    tooShort.timeScale = 20000000;
    tooShort.mediaDuration = 1;  // half a 100-ns unit
    TrackLayout noScale = VideoTrack();
    noScale.timeScale = 0;
    TrackLayout justLongEnough = VideoTrack();
    justLongEnough.timeScale = 10000000;
    justLongEnough.mediaDuration = 1;
    // A media header of 0: the decoding times give the length; without
    // samples there is none and the track goes.
    TrackLayout zeroHeader = AudioTrack();
    zeroHeader.mediaDuration = 0;
    zeroHeader.stts = {{2, 160}, {3, 320}};
    TrackLayout noSamples = AudioTrack(0);
    noSamples.mediaDuration = 0;
    MovieLayout layout = OneTrackMovie(tooShort);
    layout.duration = 0;
    for (const TrackLayout& track : {noScale, justLongEnough, zeroHeader, noSamples}) {
        layout.tracks.push_back(track);
    }
    DebugCapture capture;
    Parsed parsed(BuildMovie(layout).bytes);
    ASSERT_EQ(parsed.movie.GetTracks().size(), 2u);
    EXPECT_EQ(parsed.movie.GetTracks()[0]->GetDuration(), 1);
    EXPECT_EQ(parsed.movie.GetTracks()[1]->GetMediaDuration(), 1280u);
    EXPECT_EQ(parsed.movie.GetDuration(), 1600000);  // 1280 / 8000 s
    EXPECT_EQ(capture.Text(), "");
}

TEST(MovieDuration, LongestTrackElseMovieHeader)
{
    TrackLayout video = VideoTrack();
    video.mediaDuration = 10000;  // 10 s at 1000
    TrackLayout audio = AudioTrack();
    audio.mediaDuration = 96000;  // 12 s at 8000
    MovieLayout layout = OneTrackMovie(video);
    layout.tracks.push_back(audio);
    Parsed parsed(BuildMovie(layout).bytes);
    EXPECT_EQ(parsed.movie.GetDuration(), 120000000);

    Bytes ftyp = Ftyp();
    Bytes moov = Box("moov", Mvhd(3, 7));
    Parsed header((ftyp + moov + Box("mdat")).data());
    ASSERT_EQ(header.hr, S_OK);
    EXPECT_EQ(header.movie.GetDuration(), 23333333);  // 7 / 3 s, truncated

    Bytes zeroScale = Box("moov", Mvhd(0, 7));
    Parsed none((ftyp + zeroScale + Box("mdat")).data());
    EXPECT_EQ(none.movie.GetDuration(), 0);
}

TEST(MovieParse, ReleasesEveryPageBlockItTook)
{
    // A sample size list above the large-block threshold comes from the page
    // allocator and goes back with the movie.
    platformtest::ResetVirtualAllocStats();
    {
        TrackLayout track = VideoTrack(262200);
        track.samplesPerChunk = 1000;
        Parsed parsed(BuildMovie(OneTrackMovie(track)).bytes);
        ASSERT_EQ(parsed.movie.GetTracks().size(), 1u);
        EXPECT_EQ(platformtest::GetVirtualAllocStats().liveBlocks, 1);
    }
    EXPECT_EQ(platformtest::GetVirtualAllocStats().liveBlocks, 0);
}
