// The real fixtures and their recorded facts must agree, or every test built on
// them compares against the wrong answer. Also pins the properties other tests
// rely on, so a regenerated fixture cannot silently lose them.
#include <gtest/gtest.h>

#include "fixturefacts.h"
#include "md5.h"
#include "testsources.h"

TEST(FixtureFacts, MissingFactsThrow)
{
    EXPECT_THROW(LoadFixtureFacts("no-such-fixture.mp4"), std::runtime_error);
}

TEST(FixtureFacts, PacketBytesInFileMatchRecordedMd5)
{
    for (const std::string& name : ListFixtures()) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> data = testsrc::ReadWholeFile(FixturePath(name));
        ASSERT_FALSE(data.empty());
        const FixtureFacts facts = LoadFixtureFacts(name);
        for (const TrackFacts& track : facts.tracks) {
            for (const PacketFacts& packet : track.packets) {
                ASSERT_GE(packet.pos, 0);
                ASSERT_LE(uint64_t(packet.pos) + packet.size, data.size())
                    << "stream " << track.stream << " sample " << packet.sample;
                EXPECT_EQ(packet.md5, Md5Hex(&data[packet.pos], packet.size))
                    << "stream " << track.stream << " sample " << packet.sample;
            }
        }
    }
}

TEST(FixtureFacts, FixturesCoverTheirAdvertisedFeatures)
{
    const FixtureFacts bframes = LoadFixtureFacts("h264-aac-bframes.mp4");
    ASSERT_NE(nullptr, bframes.FirstTrack("video"));
    EXPECT_EQ("avc1", bframes.FirstTrack("video")->tag);
    EXPECT_TRUE(bframes.FirstTrack("video")->hasCtts);
    EXPECT_TRUE(bframes.FirstTrack("video")->hasStss);

    const FixtureFacts late = LoadFixtureFacts("late-video-edit.mp4");
    const TrackFacts* lateVideo = late.FirstTrack("video");
    ASSERT_NE(nullptr, lateVideo);
    ASSERT_EQ(2u, lateVideo->edits.size());
    EXPECT_EQ(-1, lateVideo->edits[0].mediaTime);
    EXPECT_EQ(500u, lateVideo->edits[0].segmentDuration);
    EXPECT_EQ(0, lateVideo->edits[1].mediaTime);

    const FixtureFacts ilst = LoadFixtureFacts("ilst-metadata.mp4");
    EXPECT_EQ("T\xC3\xABst \xC3\x9Cn\xC3\xAF" "code", ilst.meta.at("title"));
    EXPECT_EQ("Fixture Artist", ilst.UdtaText("ilst:\xA9" "ART").value_or(""));
    EXPECT_EQ("Test Tones", ilst.UdtaText("ilst:\xA9" "gen").value_or(""));

    const FixtureFacts assets = LoadFixtureFacts("3gpp-assets.3gp");
    EXPECT_EQ("Asset Title", assets.UdtaText("titl").value_or(""));
    EXPECT_EQ("Asset Author", assets.UdtaText("auth").value_or(""));

    EXPECT_EQ("s263", LoadFixtureFacts("h263-amrnb.3gp").FirstTrack("video")->tag);
    EXPECT_EQ("samr", LoadFixtureFacts("h263-amrnb.3gp").FirstTrack("audio")->tag);
    EXPECT_EQ("mp4v", LoadFixtureFacts("mpeg4-amrwb.3gp").FirstTrack("video")->tag);
    EXPECT_EQ("sawb", LoadFixtureFacts("mpeg4-amrwb.3gp").FirstTrack("audio")->tag);
    EXPECT_EQ("mjpg", LoadFixtureFacts("mjpeg.mov").FirstTrack("video")->tag);

    // Ten 160-tick AMR frames per sample.
    const FixtureFacts amr = LoadFixtureFacts("amrnb-10-frames-per-sample.3gp");
    const TrackFacts* grouped = amr.FirstTrack("audio");
    ASSERT_NE(nullptr, grouped);
    EXPECT_EQ(1600, grouped->packets[1].rawDts);

    const FixtureFacts m4a = LoadFixtureFacts("aac-stereo.m4a");
    EXPECT_EQ(nullptr, m4a.FirstTrack("video"));
    EXPECT_EQ(2, m4a.FirstTrack("audio")->channels.value_or(0));
}
