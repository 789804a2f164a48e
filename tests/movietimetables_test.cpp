// Decoding times, composition offsets and sync samples, read window by window.
#include <gtest/gtest.h>

#include <cstring>

#include "movie.h"
#include "moviebuilder.h"
#include "movietestaccess.h"
#include "movietimetables.h"
#include "movietrack.h"
#include "testsources.h"

using testbox::Box;
using testbox::Bytes;
using testbox::FourCC;
using namespace testmovie;

namespace {

// Table boxes laid out one after another in one stream, the last one
// ending where the stream ends.
struct Tables {
    explicit Tables(std::initializer_list<Bytes> boxes)
    {
        Bytes all;
        for (const Bytes& box : boxes) {
            offsets.push_back(all.size());
            sizes.push_back(box.size());
            all.append(box);
        }
        source.Data() = all.data();
    }
    CBox Header(size_t i)
    {
        const uint8_t* p = source.Data().data() + offsets[i];
        return CBox(&source, FourCC(reinterpret_cast<const char*>(p + 4)), 8, static_cast<LONGLONG>(sizes[i]), offsets[i]);
    }
    // Reads whose start lies inside box i.
    std::vector<testsrc::ReadRecord> ReadsOf(size_t i) const
    {
        std::vector<testsrc::ReadRecord> reads;
        for (const testsrc::ReadRecord& read : source.Reads()) {
            if (read.position >= int64_t(offsets[i]) && read.position < int64_t(offsets[i] + sizes[i])) reads.push_back(read);
        }
        return reads;
    }
    testsrc::MemorySource source;
    std::vector<size_t> offsets;
    std::vector<size_t> sizes;
};

// A track assembled from its time tables only, with the given time scale.
struct TimedTrack {
    TimedTrack(const Bytes& stts, const Bytes& ctts, const Bytes& stss, DWORD timeScale, LONGLONG startOffset = 0)
        : tables({stts, ctts, stss}), movie(&tables.source), track(&movie)
    {
        CCompositionTimeToSampleBox* pCtts = ctts.size() > 0 ? new CCompositionTimeToSampleBox(tables.Header(1)) : nullptr;
        CSyncSampleBox* pStss = stss.size() > 0 ? new CSyncSampleBox(tables.Header(2)) : nullptr;
        MovieTestAccess::SetTimeTables(track, timeScale, startOffset, new CDecodingTimeToSampleBox(tables.Header(0)),
                                       pCtts, pStss);
        EXPECT_TRUE(pCtts == nullptr || pCtts->ParseTable() == S_OK);
        EXPECT_EQ(track.GetDecodingTimeBox()->ParseTable(), S_OK);
        EXPECT_TRUE(pStss == nullptr || pStss->ParseTable() == S_OK);
    }
    Tables tables;
    CMovie movie;
    CMovieTrack track;
};

std::pair<REFERENCE_TIME, REFERENCE_TIME> TimeOf(CMovieTrack& track, DWORD sample)
{
    REFERENCE_TIME start = -1, duration = -1;
    EXPECT_EQ(track.GetSampleTime(sample, &start, &duration), S_OK);
    return {start, duration};
}

}  // namespace

TEST(SampleTime, RunsConvertToReferenceTime)
{
    TimedTrack t(SttsBox({{3, 1000}, {2, 500}}), Bytes(), Bytes(), 1000, 7);
    EXPECT_EQ(TimeOf(t.track, 4), std::make_pair(REFERENCE_TIME(35000007), REFERENCE_TIME(5000000)));
    EXPECT_EQ(TimeOf(t.track, 1), std::make_pair(REFERENCE_TIME(10000007), REFERENCE_TIME(10000000)));
    EXPECT_EQ(TimeOf(t.track, 4), std::make_pair(REFERENCE_TIME(35000007), REFERENCE_TIME(5000000)));
    DWORD time = 1, delta = 1;
    EXPECT_EQ(t.track.GetDecodingTimeBox()->GetSampleTimeAndDelta(5, &time, &delta), S_FALSE);
    EXPECT_EQ(time, 0u);
    EXPECT_EQ(delta, 0u);
    EXPECT_EQ(TimeOf(t.track, 5), std::make_pair(REFERENCE_TIME(7), REFERENCE_TIME(0)));
}

TEST(SampleTime, ConversionTruncatesAndSurvivesZeroTimeScale)
{
    TimedTrack thirds(SttsBox({{3, 1}}), Bytes(), Bytes(), 3);
    EXPECT_EQ(TimeOf(thirds.track, 1).first, 3333333);
    TimedTrack none(SttsBox({{3, 1}}), Bytes(), Bytes(), 0);
    EXPECT_EQ(TimeOf(none.track, 2), std::make_pair(REFERENCE_TIME(0), REFERENCE_TIME(0)));
    EXPECT_EQ(none.track.GetSampleAtTime(50000000), 0u);
    EXPECT_EQ(none.track.GetDuration(), 0);
    CMovie movie(nullptr);
    CMovieTrack bare(&movie);
    REFERENCE_TIME start = 1, duration = 1;
    EXPECT_EQ(bare.GetSampleTime(0, &start, &duration), E_FAIL);
    EXPECT_EQ(bare.GetSampleAtTime(0), 0u);
}

TEST(SampleAtTime, PastTheEndOrBeforeTheStartAnswersZero)
{
    TimedTrack t(SttsBox({{10, 100}}), Bytes(), Bytes(), 1000, 5000000);
    EXPECT_EQ(t.track.GetSampleAtTime(5000000 + 3500000), 3u);
    EXPECT_EQ(t.track.GetSampleAtTime(5000000 + 9999999), 9u);
    EXPECT_EQ(t.track.GetSampleAtTime(5000000 + 10000000), 0u);
    EXPECT_EQ(t.track.GetSampleAtTime(4000000), 0u);
    EXPECT_EQ(t.track.GetSampleAtTime(5000000 + 500000), 0u);  // back to the start: a reset
    EXPECT_EQ(t.track.GetSampleAtTime(INT64_MIN), 0u);
    EXPECT_EQ(t.track.GetSampleAtTime(INT64_MAX), 0u);
    TimedTrack empty(SttsBox({}), Bytes(), Bytes(), 1000);
    EXPECT_EQ(empty.track.GetSampleAtTime(1000), 0u);
    DWORD time, delta;
    EXPECT_EQ(empty.track.GetDecodingTimeBox()->GetSampleTimeAndDelta(0, &time, &delta), S_FALSE);
}

TEST(SampleAtTime, RunChosenByCompositionTime)
{
    TimedTrack t(SttsBox({{2, 100}, {2, 100}}), CttsBox({{2, 0}, {1, 150}, {1, 0}}), Bytes(), 1000);
    EXPECT_EQ(t.track.GetDecodingTimeBox()->GetSampleAtMediaTime(340), 3u);
    EXPECT_EQ(t.track.GetDecodingTimeBox()->GetSampleAtMediaTime(150), 1u);
    // A run of delta 0 extended by a composition offset answers its first sample.
    TimedTrack zero(SttsBox({{2, 100}, {3, 0}, {1, 100}}), CttsBox({{5, 0}, {1, 50}}), Bytes(), 1000);
    EXPECT_EQ(zero.track.GetDecodingTimeBox()->GetSampleAtMediaTime(220), 2u);
    EXPECT_EQ(zero.track.GetCompositionTimeBox()->GetCompositionOffset(5), 50u);
    EXPECT_EQ(zero.track.GetCompositionTimeBox()->GetCompositionOffset(6), 0u);
    EXPECT_EQ(zero.track.GetCompositionTimeBox()->GetCompositionOffset(0), 0u);
}

TEST(SyncSampleBox, AtOrBeforeWithResetAndUnlistedZero)
{
    TimedTrack t(SttsBox({{30, 1}}), Bytes(), StssBox({1, 10, 20}), 1000);
    CSyncSampleBox& sync = *t.track.GetSyncSampleBox();
    EXPECT_EQ(sync.GetSyncSampleAtOrBefore(0), 0u);
    EXPECT_EQ(sync.GetSyncSampleAtOrBefore(8), 0u);
    EXPECT_EQ(sync.GetSyncSampleAtOrBefore(9), 9u);
    EXPECT_EQ(sync.GetSyncSampleAtOrBefore(25), 19u);
    EXPECT_EQ(sync.GetSyncSampleAtOrBefore(5), 0u);
    EXPECT_EQ(sync.GetSyncSampleAtOrBefore(12), 9u);
    EXPECT_EQ(t.track.GetSyncSampleAtTime(150000), 9u);  // sample 15

    TimedTrack late(SttsBox({{30, 1}}), Bytes(), StssBox({5}), 1000);
    EXPECT_EQ(late.track.GetSyncSampleBox()->GetSyncSampleAtOrBefore(2), 0u);
    EXPECT_EQ(late.track.GetSyncSampleBox()->GetSyncSampleAtOrBefore(7), 4u);  // one entry: read from the file
    TimedTrack none(SttsBox({{30, 1}}), Bytes(), StssBox({}), 1000);
    EXPECT_EQ(none.track.GetSyncSampleBox()->GetSyncSampleAtOrBefore(7), 0u);
}

TEST(WindowedTable, ExactlyOneWindowIsReadInOnePiece)
{
    std::vector<uint32_t> entries(1024);
    for (uint32_t i = 0; i < 1024; ++i) entries[i] = 2 * i + 1;
    Tables t({StssBox(entries)});
    CSyncSampleBox sync(t.Header(0));
    ASSERT_EQ(sync.ParseTable(), S_OK);
    t.source.ResetCounters();
    EXPECT_EQ(sync.GetSyncSampleAtOrBefore(5000), 2046u);
    EXPECT_EQ(sync.GetSyncSampleAtOrBefore(3), 2u);  // reset: the table stays in memory
    std::vector<testsrc::ReadRecord> reads = t.ReadsOf(0);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_EQ(reads[0].position, 16);
    EXPECT_EQ(reads[0].length, 4096u);
    EXPECT_EQ(sync.GetDataLength(), 4096u);
}

TEST(WindowedTable, UnreadableWindowAnswersLikeTheEndThenRecovers)
{
    std::vector<TimeRun> runs;
    for (uint32_t i = 0; i < 1500; ++i) runs.push_back({1, 10 + i % 3});
    Tables t({SttsBox(runs)});
    CDecodingTimeToSampleBox stts(t.Header(0));
    ASSERT_EQ(stts.ParseTable(), S_OK);
    DWORD time = 0, delta = 0;
    ASSERT_EQ(stts.GetSampleTimeAndDelta(511, &time, &delta), S_OK);  // last entry of window 0
    DWORD expected511 = time;
    t.source.FailReadsInRange(16 + 4096, 16 + 4097);
    EXPECT_EQ(stts.GetSampleTimeAndDelta(600, &time, &delta), S_FALSE);
    EXPECT_EQ(time, 0u);
    // The cursor's own entry is still answered correctly after the failed read.
    ASSERT_EQ(stts.GetSampleTimeAndDelta(511, &time, &delta), S_OK);
    EXPECT_EQ(time, expected511);
    t.source.ClearFaults();
    ASSERT_EQ(stts.GetSampleTimeAndDelta(600, &time, &delta), S_OK);
    DWORD sum = 0;
    for (uint32_t i = 0; i < 600; ++i) sum += 10 + i % 3;
    EXPECT_EQ(time, sum);
    EXPECT_LE(stts.GetDataLength(), 4096u);
}

TEST(WindowedTable, MillionSampleWalkHoldsOneWindowAndReadsEachOnce)
{
    const uint32_t kSamples = 1000000;
    const SyntheticTimes times = MakeSyntheticTimes(kSamples);
    const std::vector<TimeRun>& stts = times.stts;
    TimedTrack t(SttsBox(stts), CttsBox(times.ctts), StssBox(times.stss), 1000);
    t.tables.source.ResetCounters();

    uint32_t run = 0, inRun = 0;
    uint64_t mediaTime = 0;
    size_t largest = 0;
    for (DWORD n = 0; n < kSamples; ++n) {
        REFERENCE_TIME start, duration;
        ASSERT_EQ(t.track.GetSampleTime(n, &start, &duration), S_OK);
        ASSERT_EQ(start, REFERENCE_TIME(mediaTime * 10000000 / 1000)) << n;
        ASSERT_EQ(duration, REFERENCE_TIME(stts[run].value) * 10000);
        ASSERT_EQ(t.track.GetCompositionTimeBox()->GetCompositionOffset(n), (n % 5) * 10);
        ASSERT_EQ(t.track.GetSyncSampleBox()->GetSyncSampleAtOrBefore(n), n - n % 30);
        largest = std::max({largest, size_t(t.track.GetDecodingTimeBox()->GetDataLength()),
                            size_t(t.track.GetCompositionTimeBox()->GetDataLength()), size_t(t.track.GetSyncSampleBox()->GetDataLength())});
        mediaTime += stts[run].value;
        if (++inRun == stts[run].count) ++run, inRun = 0;
    }
    EXPECT_EQ(largest, 4096u);
    for (size_t i = 0; i < 3; ++i) {
        size_t windows = (t.tables.sizes[i] - 16 + 4095) / 4096;
        EXPECT_EQ(t.tables.ReadsOf(i).size(), windows) << i;
    }
    // A backward lookup walks again from the first window.
    t.tables.source.ResetCounters();
    REFERENCE_TIME start, duration;
    ASSERT_EQ(t.track.GetSampleTime(3, &start, &duration), S_OK);
    ASSERT_EQ(t.tables.ReadsOf(0).size(), 1u);
    EXPECT_EQ(t.tables.ReadsOf(0)[0].position, int64_t(t.tables.offsets[0] + 16));
}

// "moov" written after the media, its last child a time table over 4 KB,
// then 0, 1, 4095 or 4097 more bytes before the end of the file: the last
// window is read as far as the table goes, and every sample's time,
// duration, composition offset and sync flag are the table's.
TEST(WindowedTable, TableNearTheEndOfTheFileLoadsEveryEntry)
{
    const uint32_t kSamples = 1800;
    std::vector<TimeRun> stts, ctts;
    std::vector<uint32_t> stss;
    for (uint32_t n = 0; n < kSamples; ++n) {
        stts.push_back({1, 10 + n % 7});
        ctts.push_back({1, (n % 5) * 10});
        if (n % 3 != 2) stss.push_back(n + 1);
    }
    const struct {
        const char* type;
        Bytes box;
    } tables[] = {{"stts", SttsBox(stts)}, {"ctts", CttsBox(ctts)}, {"stss", StssBox(stss)}};
    for (const auto& table : tables) {
        for (size_t tail : {0, 1, 4095, 4097}) {
            SCOPED_TRACE(std::string(table.type) + " ending " + std::to_string(tail) + " bytes before the end");
            TrackLayout track;
            track.samples = PatternSamples(std::vector<uint32_t>(kSamples, 1));
            track.stts = stts;
            track.ctts = ctts;
            track.stss = stss;
            track.omit = {table.type};
            track.extraStblChildren = table.box;
            MovieLayout layout;
            layout.duration = 1000;
            layout.mdatBeforeMoov = true;
            layout.tracks = {track};
            std::vector<uint8_t> file = BuildMovie(layout).bytes;
            const size_t tableEnd = file.size();
            ASSERT_EQ(0, std::memcmp(&file[tableEnd - table.box.size() + 4], table.type, 4));
            if (tail == 1) file.push_back(0);
            if (tail > 1) {
                std::vector<uint8_t> free = Box("free", Bytes().zeros(tail - 8)).data();
                file.insert(file.end(), free.begin(), free.end());
            }
            ASSERT_EQ(file.size(), tableEnd + tail);

            testsrc::MemorySource source(file);
            CMovie movie(&source);
            ASSERT_EQ(S_OK, movie.Parse());
            ASSERT_EQ(1u, movie.GetTracks().size());
            CMovieTrack& parsed = *movie.GetTracks()[0];
            ASSERT_TRUE(parsed.GetCompositionTimeBox() && parsed.GetSyncSampleBox());
            REFERENCE_TIME rtExpected = 0;
            for (DWORD n = 0; n < kSamples; ++n) {
                ASSERT_EQ(TimeOf(parsed, n), std::make_pair(rtExpected, REFERENCE_TIME(stts[n].value) * 10000)) << n;
                ASSERT_EQ(parsed.GetCompositionTimeBox()->GetCompositionOffset(n), ctts[n].value) << n;
                ASSERT_EQ(parsed.GetSyncSampleBox()->GetSyncSampleAtOrBefore(n) == n, n % 3 != 2) << n;
                rtExpected += REFERENCE_TIME(stts[n].value) * 10000;
            }
        }
    }
}
