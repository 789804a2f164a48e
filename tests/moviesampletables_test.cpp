// Sample sizes, sample-to-chunk runs, chunk offsets and ReadSample on top of them.
#include <gtest/gtest.h>

#include <cstring>

#include "movie.h"
#include "moviebuilder.h"
#include "movietestaccess.h"
#include "moviesampledesc.h"
#include "moviesampletables.h"
#include "movietrack.h"
#include "testsources.h"

using testbox::Bytes;
using testbox::FourCC;
using namespace testmovie;

namespace {

// One table box alone in a stream, followed by some padding.
template <class T, class... Extra>
struct Table {
    explicit Table(const Bytes& box, Extra... extra) : source((box + Bytes().zeros(16)).data())
    {
        CBox header(&source, FourCC(reinterpret_cast<const char*>(box.data().data() + 4)), 8,
                    static_cast<LONGLONG>(box.size()), 0);
        table = std::make_unique<T>(header, extra...);
        hr = table->Parse();
    }
    testsrc::MemorySource source;
    std::unique_ptr<T> table;
    HRESULT hr;
};

std::vector<std::pair<DWORD, DWORD>> Walk(CSampleToChunkBox& table, DWORD from, DWORD to)
{
    std::vector<std::pair<DWORD, DWORD>> answers;
    for (DWORD sample = from; sample < to; ++sample) {
        DWORD chunk = 0, index = 0;
        EXPECT_EQ(table.GetChunkOfSample(sample, &chunk, &index), S_OK);
        answers.push_back({chunk, index});
    }
    return answers;
}

std::pair<DWORD, DWORD> Ask(CSampleToChunkBox& table, DWORD sample)
{
    DWORD chunk = 0, index = 0;
    table.GetChunkOfSample(sample, &chunk, &index);
    return {chunk, index};
}

}  // namespace

TEST(SampleSizeBox, ConstantSizeAnswersEverySample)
{
    Table<CSampleSizeBox> t(StszBox(321, std::vector<uint32_t>(7)));
    ASSERT_EQ(t.hr, S_OK);
    EXPECT_EQ(t.table->GetSampleCount(), 7u);
    EXPECT_EQ(t.table->GetMaxSampleSize(), 321u);
    EXPECT_EQ(t.table->GetSampleSize(0), 321u);
    EXPECT_EQ(t.table->GetSampleSize(0xFFFFFFFF), 321u);
}

TEST(SampleSizeBox, ListAnswersZeroPastTheEnd)
{
    Table<CSampleSizeBox> t(StszBox(0, {5, 900, 7}));
    ASSERT_EQ(t.hr, S_OK);
    EXPECT_EQ(t.table->GetMaxSampleSize(), 900u);
    EXPECT_EQ(t.table->GetSampleSize(1), 900u);
    EXPECT_EQ(t.table->GetSampleSize(3), 0u);
    Table<CSampleSizeBox> empty(StszBox(0, {}));
    ASSERT_EQ(empty.hr, S_OK);
    EXPECT_EQ(empty.table->GetMaxSampleSize(), 0u);
}

TEST(SampleSizeBox, RejectsCountBeyondPayload)
{
    EXPECT_EQ(Table<CSampleSizeBox>(testbox::FullBox("stsz", 0, 0, Bytes().u32(0).u32(3).u32(1).u32(2))).hr, E_FAIL);
    // A count whose byte length wraps 32 bits.
    EXPECT_EQ(Table<CSampleSizeBox>(testbox::FullBox("stsz", 0, 0, Bytes().u32(0).u32(0x40000001).u32(1))).hr, E_FAIL);
    EXPECT_EQ(Table<CSampleSizeBox>(testbox::FullBox("stsz", 0, 0, Bytes().u32(0).u16(0))).hr, E_FAIL);
    Table<CSampleSizeBox> bad(testbox::FullBox("stsz", 0, 0, Bytes().u32(0).u32(3).u32(1).u32(2)));
    EXPECT_FALSE(bad.table->IsDataLoaded());
    EXPECT_EQ(bad.table->GetSampleSize(0), 0u);
}

TEST(SampleToChunkBox, SequentialWalkAndFullSearchAgree)
{
    Table<CSampleToChunkBox> t(StscBox({{1, 3}, {3, 2}}));
    ASSERT_EQ(t.hr, S_OK);
    std::vector<std::pair<DWORD, DWORD>> expected = {{1, 0}, {1, 1}, {1, 2}, {2, 0}, {2, 1}, {2, 2},
                                                     {3, 0}, {3, 1}, {4, 0}, {4, 1}, {5, 0}};
    EXPECT_EQ(Walk(*t.table, 0, 11), expected);
    Table<CSampleToChunkBox> direct(StscBox({{1, 3}, {3, 2}}));
    EXPECT_EQ(Ask(*direct.table, 8), std::make_pair(DWORD(4), DWORD(0)));
    EXPECT_EQ(Ask(*direct.table, 7), std::make_pair(DWORD(3), DWORD(1)));
    // Every sample asked alone (never the successor) gives the walk's answer.
    for (DWORD sample = 10; sample-- > 0;) EXPECT_EQ(Ask(*direct.table, sample), expected[sample]) << sample;
}

TEST(SampleToChunkBox, FirstRequestTakesSequentialStepWhateverFirstChunkSays)
{
    Table<CSampleToChunkBox> t(StscBox({{5, 2}}));
    EXPECT_EQ(Ask(*t.table, 0), std::make_pair(DWORD(1), DWORD(0)));
    EXPECT_EQ(Ask(*t.table, 1), std::make_pair(DWORD(1), DWORD(1)));
}

TEST(SampleToChunkBox, ZeroSamplesPerChunkAndEmptyTable)
{
    // Searched with a divisor of 1; stepped, every sample (the first too)
    // moves on to the next chunk.
    Table<CSampleToChunkBox> zero(StscBox({{1, 0}}));
    EXPECT_EQ(Walk(*zero.table, 0, 3), (std::vector<std::pair<DWORD, DWORD>>{{2, 0}, {3, 0}, {4, 0}}));
    EXPECT_EQ(Ask(*zero.table, 9), std::make_pair(DWORD(10), DWORD(0)));
    Table<CSampleToChunkBox> empty(StscBox({}));
    ASSERT_EQ(empty.hr, S_OK);
    EXPECT_EQ(Walk(*empty.table, 0, 3), (std::vector<std::pair<DWORD, DWORD>>{{1, 0}, {2, 0}, {3, 0}}));
    EXPECT_EQ(Table<CSampleToChunkBox>(testbox::FullBox("stsc", 0, 0, Bytes().u32(1).zeros(11))).hr, E_FAIL);
}

TEST(ChunkOffsetBox, RefusesChunksOutsideTheTable)
{
    Table<CChunkOffsetBox, bool> t(StcoBox({100, 200}, false), false);
    ASSERT_EQ(t.hr, S_OK);
    EXPECT_EQ(t.table->GetChunkOffset(0), ~0ull);
    EXPECT_EQ(t.table->GetChunkOffset(1), 100u);
    EXPECT_EQ(t.table->GetChunkOffset(2), 200u);
    EXPECT_EQ(t.table->GetChunkOffset(3), ~0ull);
    Table<CChunkOffsetBox, bool> wide(StcoBox({0x123456789ull, 0x8000000000000000ull}, true), true);
    ASSERT_EQ(wide.hr, S_OK);
    EXPECT_EQ(wide.table->GetChunkOffset(1), 0x123456789ull);
    EXPECT_EQ(wide.table->GetChunkOffset(2), 0x8000000000000000ull);
    // A co64 box read as 32-bit and the reverse: the count decides the length needed.
    EXPECT_EQ((Table<CChunkOffsetBox, bool>(StcoBox({1, 2}, false), true).hr), E_FAIL);
}

namespace {

// A movie whose one track's samples can be read back.
struct ReadableTrack {
    explicit ReadableTrack(TrackLayout track)
    {
        layout.tracks.push_back(std::move(track));
        built = BuildMovie(layout);
        source.Data() = built.bytes;
        hr = movie.Parse();
    }
    CMovieTrack* Track() { return movie.GetTracks().size() == 1 ? movie.GetTracks()[0] : nullptr; }
    MovieLayout layout;
    BuiltMovie built;
    testsrc::MemorySource source;
    CMovie movie{&source};
    HRESULT hr = E_FAIL;
};

}  // namespace

TEST(ReadSample, ResultsForMissingSmallAndUnplacedSamples)
{
    TrackLayout track;
    track.samples = PatternSamples({10, 0, 10});
    ReadableTrack r(track);
    ASSERT_NE(r.Track(), nullptr);
    BYTE buffer[16];
    DWORD cb = 77;
    EXPECT_EQ(r.Track()->ReadSample(3, buffer, 16, &cb), S_FALSE);
    EXPECT_EQ(cb, 0u);
    EXPECT_EQ(r.Track()->ReadSample(1, buffer, 16, &cb), S_FALSE);  // an empty sample
    long reads = r.source.ReadCount();
    cb = 77;
    EXPECT_EQ(r.Track()->ReadSample(2, buffer, 9, &cb), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(cb, 0u);
    EXPECT_EQ(r.source.ReadCount(), reads);

    // Three samples, but only two chunks have offsets.
    TrackLayout shortOffsets;
    shortOffsets.samples = PatternSamples({10, 10, 10});
    shortOffsets.omit = {"stco"};
    shortOffsets.extraStblChildren = StcoBox({0, 0}, false);
    ReadableTrack r2(shortOffsets);
    ASSERT_NE(r2.Track(), nullptr);
    EXPECT_EQ(r2.Track()->ReadSample(2, buffer, 16, &cb), E_FAIL);
    EXPECT_EQ(cb, 0u);
}

TEST(ReadSample, SixtyFourBitOffsetsAboveFourGigabytes)
{
    // The table points at 5 GiB + 100; a source that only has bytes there.
    struct HighSource : ByteSource {
        HRESULT Read(LONGLONG pos, DWORD len, BYTE* buf) override
        {
            if (pos < 0x140000000LL || pos + len > 0x140000000LL + 256) return E_FAIL;
            for (DWORD i = 0; i < len; ++i) buf[i] = static_cast<BYTE>(pos - 0x140000000LL + i);
            return S_OK;
        }
        LONGLONG Length() override { return 0x140000000LL + 256; }
    } high;
    CMovie movie(&high);
    CMovieTrack track(&movie);
    testsrc::MemorySource tables((StszBox(0, {8, 8}) + StscBox({{1, 1}}) +
                                  StcoBox({0x140000000ull + 100, 0x8000000000000000ull}, true)).data());
    CBox stsz(&tables, FourCC("stsz"), 8, 28, 0);
    CBox stsc(&tables, FourCC("stsc"), 8, 28, 28);
    CBox co64(&tables, FourCC("co64"), 8, 32, 56);
    MovieTestAccess::SetLocationTables(track, new CSampleSizeBox(stsz), new CSampleToChunkBox(stsc),
                                       new CChunkOffsetBox(co64, true));
    ASSERT_EQ(track.GetSampleSizeBox()->Parse(), S_OK);
    ASSERT_EQ(track.GetSampleToChunkBox()->Parse(), S_OK);
    ASSERT_EQ(track.GetChunkOffsetBox()->Parse(), S_OK);
    BYTE buffer[8];
    DWORD cb = 0;
    ASSERT_EQ(track.ReadSample(0, buffer, 8, &cb), S_OK);
    EXPECT_EQ(buffer[0], 100);
    EXPECT_EQ(buffer[7], 107);
    EXPECT_EQ(track.ReadSample(1, buffer, 8, &cb), E_FAIL);  // top bit set
    EXPECT_EQ(cb, 0u);
}

// The size comes back with the failure, so the bytes must not be the
// caller's leftovers: they are zeros.
TEST(ReadSample, ByteSourceFailuresPassThroughWithTheSizeAndZeros)
{
    TrackLayout track;
    track.samples = PatternSamples({10, 10});
    ReadableTrack r(track);
    ASSERT_NE(r.Track(), nullptr);
    const std::vector<BYTE> zeros(10, 0);
    std::vector<BYTE> buffer(10, 0xCC);
    DWORD cb = 0;
    r.source.FailNthRead(1, E_ABORT);
    EXPECT_EQ(r.Track()->ReadSample(0, buffer.data(), 10, &cb), E_ABORT);
    EXPECT_EQ(cb, 10u);
    EXPECT_EQ(buffer, zeros);
    std::fill(buffer.begin(), buffer.end(), 0xCC);
    uint64_t at = r.built.tracks[0].sampleOffsets[1];
    r.source.ThrowOnReadsInRange(at, at + 1);
    EXPECT_EQ(r.Track()->ReadSample(1, buffer.data(), 10, &cb), E_UNEXPECTED);
    EXPECT_EQ(cb, 10u);
    EXPECT_EQ(buffer, zeros);
}

// Four-byte lengths become start codes (the fixtures show that); two-byte
// lengths are delivered as stored.
TEST(ReadSample, TwoByteNalLengthsStayAsStored)
{
    TrackLayout track;
    std::vector<uint8_t> sample = {0, 0, 0, 5, 0x65, 1, 2, 3, 4, 0, 0, 0, 3, 0x41, 9, 9};
    track.samples = {sample, sample};
    BYTE buffer[16];
    DWORD cb = 0;
    track.sampleEntry = AvcEntry({0x67, 0x42, 0x00, 0x1E}, {0x68}, 2);
    ReadableTrack two(track);
    ASSERT_NE(two.Track(), nullptr);
    ASSERT_EQ(two.Track()->ReadSample(0, buffer, 16, &cb), S_OK);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 16), sample);
}
