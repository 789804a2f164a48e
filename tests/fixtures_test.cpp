// The real fixtures and their recorded facts must agree, or every test built on
// them compares against the wrong answer. Also pins the properties other tests
// rely on, so a regenerated fixture cannot silently lose them.
#include <gtest/gtest.h>

#include <cstring>

#include "fixturefacts.h"
#include "md5.h"
#include "testsources.h"

namespace {

uint32_t BigEndian32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

struct TopBox {
    std::string type;
    uint64_t offset;
    uint64_t size;
};

// Top-level boxes with 32-bit sizes, as far as the bytes go (the fixtures have no 64-bit sizes).
std::vector<TopBox> TopLevelBoxes(const std::vector<uint8_t>& data)
{
    std::vector<TopBox> boxes;
    for (uint64_t at = 0; at + 8 <= data.size();) {
        uint32_t size = BigEndian32(&data[at]);
        boxes.push_back({std::string(reinterpret_cast<const char*>(&data[at + 4]), 4), at, size});
        if (size < 8) {
            break;
        }
        at += size;
    }
    return boxes;
}

}  // namespace

TEST(Md5, MatchesReferenceDigests)
{
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Hex(nullptr, 0));
    const char* abc = "abc";
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72",
              Md5Hex(reinterpret_cast<const uint8_t*>(abc), std::strlen(abc)));
    // 80 bytes: a whole block, then a tail too long to take the length.
    const std::string digits = "1234567890123456789012345678901234567890"
                               "1234567890123456789012345678901234567890";
    EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
              Md5Hex(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()));
    // 56 and 64 bytes: the lengths where the padding moves to a second block.
    EXPECT_EQ("49f193adce178490e34d1b3a4ec0064c",
              Md5Hex(reinterpret_cast<const uint8_t*>(digits.data()), 56));
    EXPECT_EQ("eb6c4179c0a7c82cc2828c1e6338e165",
              Md5Hex(reinterpret_cast<const uint8_t*>(digits.data()), 64));
}

TEST(FixtureFacts, MissingFactsThrow)
{
    EXPECT_THROW(LoadFixtureFacts("no-such-fixture.mp4"), std::runtime_error);
}

TEST(FixtureFacts, EveryFixtureHasTracksWithOnePacketPerSample)
{
    const std::vector<std::string> names = ListFixtures();
    ASSERT_GE(names.size(), 10u);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const FixtureFacts facts = LoadFixtureFacts(name);
        EXPECT_GT(facts.movieTimescale, 0u);
        EXPECT_EQ(facts.trakCount, facts.tracks.size());
        for (const TrackFacts& track : facts.tracks) {
            SCOPED_TRACE(track.stream);
            EXPECT_TRUE(track.type == "video" || track.type == "audio") << track.type;
            EXPECT_EQ(4u, track.tag.size());
            EXPECT_GT(track.timescale, 0u);
            ASSERT_GT(track.samples, 0u);
            ASSERT_EQ(track.samples, track.packets.size());
            // Decode order: sample numbers run 0..n-1 and stts times never go back.
            for (size_t i = 0; i < track.packets.size(); ++i) {
                EXPECT_EQ(i, track.packets[i].sample);
                if (i > 0) {
                    EXPECT_LE(track.packets[i - 1].rawDts, track.packets[i].rawDts);
                }
            }
            EXPECT_EQ(0, track.packets[0].rawDts);
            EXPECT_TRUE(track.packets[0].key);
        }
    }
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

TEST(CorruptFixtures, TruncatedMoovDeclaresMoreThanTheFileHolds)
{
    const std::vector<uint8_t> data = testsrc::ReadWholeFile(FixturePath("truncated-moov.mp4"));
    const std::vector<TopBox> boxes = TopLevelBoxes(data);
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("ftyp", boxes[0].type);
    EXPECT_EQ("moov", boxes[1].type);
    EXPECT_GT(boxes[1].offset + boxes[1].size, data.size());
}

TEST(CorruptFixtures, NoMdatHasAnIntactMoovAndNoMediaData)
{
    const std::vector<uint8_t> data = testsrc::ReadWholeFile(FixturePath("no-mdat.mp4"));
    bool bMoov = false;
    for (const TopBox& box : TopLevelBoxes(data)) {
        EXPECT_NE("mdat", box.type);
        EXPECT_LE(box.offset + box.size, data.size()) << box.type;
        bMoov = bMoov || box.type == "moov";
    }
    EXPECT_TRUE(bMoov);
}
