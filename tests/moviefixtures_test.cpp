// Every real fixture against its recorded facts: per track and sample, the
// size, file position, decode time, sync flag and bytes.
#include <gtest/gtest.h>

#include "fixturefacts.h"
#include "md5.h"
#include "movie.h"
#include "moviesampledesc.h"
#include "moviesampletables.h"
#include "movietimetables.h"
#include "movietrack.h"
#include "testsources.h"

namespace {

// The delay this parser takes from an edit list: only an empty first edit
// followed by one that starts the media at 0. Other edits (ffmpeg's priming
// media_time 1024, B-frame delay 2048) are not applied, so decode times here
// are the raw stts sums, not ffprobe's dts, which has those edits applied.
REFERENCE_TIME ExpectedStartOffset(const FixtureFacts& facts, const TrackFacts& track)
{
    if (track.edits.size() == 2 && track.edits[0].mediaTime == -1 && track.edits[1].mediaTime == 0) {
        return static_cast<REFERENCE_TIME>(track.edits[0].segmentDuration) * 10000000 / facts.movieTimescale;
    }
    return 0;
}

// 4-byte NAL lengths replaced by 00 00 00 01.
std::vector<uint8_t> WithStartCodes(std::vector<uint8_t> bytes)
{
    for (size_t pos = 0; pos + 4 <= bytes.size();) {
        size_t length = size_t(bytes[pos]) << 24 | size_t(bytes[pos + 1]) << 16 | size_t(bytes[pos + 2]) << 8 | bytes[pos + 3];
        bytes[pos] = bytes[pos + 1] = bytes[pos + 2] = 0;
        bytes[pos + 3] = 1;
        pos += 4 + length;
    }
    return bytes;
}

void CheckTrack(const FixtureFacts& facts, const TrackFacts& expected, CMovieTrack& track,
                testsrc::FileSource& source, const std::vector<uint8_t>& file)
{
    SCOPED_TRACE("stream " + std::to_string(expected.stream));
    EXPECT_EQ(track.IsVideo() != 0, expected.type == "video");
    EXPECT_EQ(track.GetMediaTimeScale(), expected.timescale);
    // The header's duration, or the decoding times' sum where it says 0; a
    // fragmented track's grows past it as its fragments are read.
    if (expected.samples == expected.moovSamples) { EXPECT_EQ(track.GetMediaDuration(), expected.MediaDuration()); }
    ASSERT_EQ(track.GetSampleCount(), expected.samples);
    EXPECT_EQ(track.GetFragmentCount() != 0, expected.samples != expected.moovSamples);
    EXPECT_EQ(track.GetSyncSampleBox() != nullptr, expected.hasStss);
    EXPECT_EQ(track.GetCompositionTimeBox() != nullptr, expected.hasCtts);
    const REFERENCE_TIME offset = ExpectedStartOffset(facts, expected);
    EXPECT_EQ(track.GetStartOffset(), offset);
    const bool bStartCodes = track.GetSampleDescription()->GetStartCode() != 0;
    EXPECT_EQ(bStartCodes, expected.codec == "h264");

    std::vector<BYTE> buffer(track.GetLargestReadableSample());
    uint32_t lastKey = 0;
    for (const PacketFacts& packet : expected.packets) {
        SCOPED_TRACE("sample " + std::to_string(packet.sample));
        ASSERT_EQ(track.GetSampleSize(packet.sample), packet.size);
        source.ResetCounters();
        DWORD cb = 0;
        ASSERT_EQ(track.ReadSample(packet.sample, buffer.data(), DWORD(buffer.size()), &cb), S_OK);
        ASSERT_EQ(cb, packet.size);
        // A fragment sample may first need the window of its run's entries.
        const bool bInMoov = packet.sample < expected.moovSamples;
        ASSERT_EQ(source.Reads().size() == 1u, bInMoov || source.Reads().size() == 1u);
        EXPECT_EQ(source.Reads().back().position, packet.pos);
        std::vector<uint8_t> stored(file.begin() + packet.pos, file.begin() + packet.pos + packet.size);
        EXPECT_EQ(Md5Hex(stored.data(), stored.size()), packet.md5);
        std::vector<uint8_t> delivered(buffer.begin(), buffer.begin() + cb);
        EXPECT_EQ(delivered, bStartCodes ? WithStartCodes(stored) : stored);
        // A media buffer holds the sample at whatever offset the bytes before
        // it left, so odd addresses are normal; ARM faults on misaligned
        // accesses that x86 allows.
        for (size_t shift = 1; shift < 8; ++shift) {
            std::vector<BYTE> shifted(shift + buffer.size());
            ASSERT_EQ(track.ReadSample(packet.sample, shifted.data() + shift, DWORD(buffer.size()), &cb), S_OK);
            EXPECT_EQ(std::vector<uint8_t>(shifted.begin() + shift, shifted.begin() + shift + cb), delivered)
                << "shift " << shift;
        }

        REFERENCE_TIME start = 0, duration = 0;
        ASSERT_EQ(track.GetSampleTime(packet.sample, &start, &duration), S_OK);
        EXPECT_EQ(start, offset + packet.rawDts * 10000000 / expected.timescale);
        if (track.GetCompositionTimeBox() != nullptr) {
            EXPECT_EQ(int64_t(int32_t(track.GetCompositionTimeBox()->GetCompositionOffset(packet.sample))), packet.ctts);
        }
        EXPECT_EQ(track.IsSyncSample(packet.sample), packet.key);
        if (packet.key) lastKey = packet.sample;
        EXPECT_EQ(track.GetSyncSampleAtOrBefore(packet.sample), lastKey);
        // Fragment samples are found by their decoding time, and a seek there
        // lands on the last key sample.
        if (!bInMoov && duration != 0) {
            const REFERENCE_TIME at = start + (duration - 1) / 2;
            EXPECT_EQ(track.GetSampleAtTime(at), packet.sample);
            EXPECT_EQ(track.GetSyncSampleAtTime(at), lastKey);
        }
    }
}

}  // namespace

TEST(MovieFixtures, TracksAndSamplesMatchTheFacts)
{
    std::vector<std::string> fixtures = ListFixtures();
    ASSERT_FALSE(fixtures.empty());
    for (const std::string& name : fixtures) {
        SCOPED_TRACE(name);
        FixtureFacts facts = LoadFixtureFacts(name);
        testsrc::FileSource source(FixturePath(name));
        ASSERT_TRUE(source.IsOpen());
        std::vector<uint8_t> file = testsrc::ReadWholeFile(FixturePath(name));
        CMovie movie(&source);
        ASSERT_EQ(movie.Parse(), S_OK);
        EXPECT_EQ(movie.GetTimeScale(), facts.movieTimescale);
        EXPECT_EQ(movie.GetHeaderDuration(), facts.movieDuration);
        ASSERT_EQ(movie.GetTracks().size(), facts.tracks.size());
        for (size_t i = 0; i < facts.tracks.size(); ++i) {
            CheckTrack(facts, facts.tracks[i], *movie.GetTracks()[DWORD(i)], source, file);
        }
    }
}

TEST(MovieFixtures, CorruptFilesAreHandled)
{
    {
        testsrc::FileSource source(FixturePath("no-mdat.mp4"));
        CMovie movie(&source);
        EXPECT_EQ(movie.Parse(), E_FAIL);
        EXPECT_EQ(movie.GetTracks().size(), 0u);
    }
    testsrc::FileSource source(FixturePath("truncated-moov.mp4"));
    CMovie movie(&source);
    HRESULT hr = movie.Parse();
    EXPECT_TRUE(hr == S_OK || hr == E_FAIL);
    for (DWORD i = 0; i < movie.GetTracks().size(); ++i) {
        std::vector<BYTE> buffer(movie.GetTracks()[i]->GetLargestReadableSample() + 1);
        DWORD cb;
        for (DWORD n = 0; n < movie.GetTracks()[i]->GetSampleCount(); ++n) {
            movie.GetTracks()[i]->ReadSample(n, buffer.data(), DWORD(buffer.size()), &cb);
        }
    }
}
