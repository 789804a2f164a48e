// The track start offset taken from an edit list that opens with an empty edit.
#include <gtest/gtest.h>

#include "debugcapture.h"
#include "movie.h"
#include "moviebuilder.h"
#include "movietrack.h"
#include "testsources.h"

using testbox::Bytes;
using testbox::FullBox;
using namespace testmovie;

namespace {

struct EditListCase {
    explicit EditListCase(std::optional<Bytes> elst, uint32_t movieTimeScale = 600)
    {
        MovieLayout layout;
        layout.timeScale = movieTimeScale;
        TrackLayout track;
        track.samples = PatternSamples({10, 10, 10});
        track.elst = std::move(elst);
        layout.tracks.push_back(track);
        source.Data() = BuildMovie(layout).bytes;
        hr = movie.Parse();
    }
    bool Kept() const { return movie.GetTracks().size() == 1; }
    LONGLONG Offset() const { return Kept() ? movie.GetTracks()[0]->GetStartOffset() : -12345; }

    testsrc::MemorySource source;
    CMovie movie{&source};
    HRESULT hr = E_FAIL;
};

Bytes EntryList(uint8_t version, std::initializer_list<std::pair<uint64_t, int64_t>> entries)
{
    Bytes payload;
    payload.u32(static_cast<uint32_t>(entries.size()));
    for (const auto& entry : entries) {
        if (version == 1) payload.u64(entry.first).i64(entry.second).u32(0x10000);
        else payload.u32(static_cast<uint32_t>(entry.first)).i32(static_cast<int32_t>(entry.second)).u32(0x10000);
    }
    return FullBox("elst", version, 0, payload);
}

}  // namespace

TEST(EditList, EmptyFirstEditDelaysTheTrack)
{
    // ffmpeg's form: an empty edit, then the whole media from time 0.
    EXPECT_EQ(EditListCase(TwoEntryEditList(0, 600, 0, 3000)).Offset(), 10000000);
    EXPECT_EQ(EditListCase(TwoEntryEditList(1, 600, 0, 3000)).Offset(), 10000000);
    EXPECT_EQ(EditListCase(TwoEntryEditList(0, 1, 0, 3000), 3).Offset(), 3333333);
    EXPECT_EQ(EditListCase(EntryList(1, {{600, -1}, {0, 0}})).Offset(), 10000000);
}

TEST(EditList, OtherShapesLeaveNoOffset)
{
    EXPECT_EQ(EditListCase(EntryList(0, {{600, -1}})).Offset(), 0);
    EXPECT_EQ(EditListCase(EntryList(0, {{600, -1}, {600, 0}, {600, 0}})).Offset(), 0);
    EXPECT_EQ(EditListCase(EntryList(0, {})).Offset(), 0);
    EXPECT_EQ(EditListCase(EntryList(0, {{600, 0}, {600, 0}})).Offset(), 0);   // first edit not empty
    EXPECT_EQ(EditListCase(EntryList(0, {{600, -1}, {600, 25}})).Offset(), 0);  // media does not start at 0
    EXPECT_EQ(EditListCase(EntryList(1, {{600, -1}, {600, 25}})).Offset(), 0);
    // A two-entry count whose entries are not all there.
    EXPECT_EQ(EditListCase(FullBox("elst", 0, 0, Bytes().u32(2).u32(600).i32(-1).u32(0x10000))).Offset(), 0);
    // "edts" without "elst".
    EditListCase noList(testbox::Box("free"));
    EXPECT_EQ(noList.Offset(), 0);
}

TEST(EditList, MovieTimeScaleZeroGivesNoOffset)
{
    EditListCase list(TwoEntryEditList(0, 600, 0, 3000), 0);
    EXPECT_EQ(list.Offset(), 0);
}

TEST(EditList, UnknownVersionDropsTheTrackOnlyWithTwoEntries)
{
    DebugCapture capture;
    EditListCase two(EntryList(2, {}));  // count 0: version not looked at
    EXPECT_TRUE(two.Kept());
    EXPECT_EQ(capture.Text(), "");

    Bytes v2 = FullBox("elst", 2, 0, Bytes().u32(2).zeros(40));
    EditListCase bad(v2);
    EXPECT_FALSE(bad.Kept());
    std::vector<std::string> pieces = capture.Pieces();
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[1], "ERROR[Parser] Unrecognized version in Edit List box.\r\n");
    EXPECT_EQ(pieces[3], "ERROR[Parser] CMovieTrack::ParseEditList() has error.\r\n");
    EXPECT_EQ(pieces[2].rfind("ERROR: source\\filters\\3gpp_demux\\movie line ", 0), 0u);
}

TEST(EditList, UnreadableListDropsTheTrack)
{
    DebugCapture capture;
    EditListCase empty(testbox::Box("elst"));
    EXPECT_FALSE(empty.Kept());
    std::vector<std::string> pieces = capture.Pieces();
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_EQ(pieces[1], "ERROR[Parser] Read Edit List Box into buffer failed.\r\n");
}

TEST(EditList, OffsetIsAddedToSampleTimesAndTakenFromRequests)
{
    EditListCase list(TwoEntryEditList(0, 600, 0, 3000));
    ASSERT_TRUE(list.Kept());
    CMovieTrack* track = list.movie.GetTracks()[0];
    REFERENCE_TIME start = 0, duration = 0;
    ASSERT_EQ(track->GetSampleTime(1, &start, &duration), S_OK);
    EXPECT_EQ(start, 10000000 + 1000000);  // delta 100 at 1000 per second
    EXPECT_EQ(track->GetSampleAtTime(10000000 + 2000000), 2u);
    EXPECT_EQ(track->GetSampleAtTime(10000000 + 1999999), 1u);
    EXPECT_EQ(track->GetSampleAtTime(9999999), 0u);  // before the offset
}
