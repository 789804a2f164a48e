// The media types built from real files must agree with what ffprobe saw in
// them: dimensions, sampling rate, channels, AAC object type, and for MPEG-4
// visual the decoder configuration bytes themselves.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "boxbuilder.h"
#include "fixturefacts.h"
#include "md5.h"
#include "mediatype.h"
#include "movie.h"
#include "moviesampledesc.h"
#include "movietrack.h"
#include "testsources.h"

namespace {

void ExpectVideoType(const TrackFacts& facts, const CSampleDescriptionBox& desc)
{
    const CMediaType& mt = *desc.MediaType();
    ASSERT_TRUE(IsEqualGUID(MEDIATYPE_Video, mt.majortype));
    ASSERT_TRUE(facts.width.has_value() && facts.height.has_value());
    // Both format blocks begin with rcSource.
    ASSERT_GE(mt.FormatLength(), 88u);
    EXPECT_EQ(static_cast<uint32_t>(*facts.width), Le32(mt.Format() + 8));
    EXPECT_EQ(static_cast<uint32_t>(*facts.height), Le32(mt.Format() + 12));

    static const std::map<std::string, const GUID*> subtypes = {
        {"avc1", &MEDIASUBTYPE_H264}, {"mp4v", &MEDIASUBTYPE_MP4V}, {"s263", &MEDIASUBTYPE_H263},
        {"mjpg", &MEDIASUBTYPE_MJPG}};
    ASSERT_EQ(1u, subtypes.count(facts.tag));
    EXPECT_TRUE(IsEqualGUID(*subtypes.at(facts.tag), mt.subtype));

    if (facts.tag == "mp4v") {
        // ffmpeg's extradata for MPEG-4 visual is the decoder-specific information.
        ASSERT_EQ(facts.extradataSize, desc.GetConfigLength());
        EXPECT_EQ(facts.extradataMd5, Md5Hex(desc.GetConfig(), desc.GetConfigLength()));
    } else if (facts.tag == "avc1") {
        EXPECT_GT(desc.GetConfigLength(), 0u);
        EXPECT_EQ(136u + desc.GetConfigLength(), mt.FormatLength());
    } else {
        EXPECT_EQ(0u, desc.GetConfigLength());
    }
}

void ExpectAudioType(const TrackFacts& facts, const CSampleDescriptionBox& desc)
{
    const CMediaType& mt = *desc.MediaType();
    ASSERT_TRUE(IsEqualGUID(MEDIATYPE_Audio, mt.majortype));
    if (facts.tag == "samr" || facts.tag == "sawb") {
        EXPECT_TRUE(IsEqualGUID(facts.tag == "samr" ? MEDIASUBTYPE_AMR_NB : MEDIASUBTYPE_AMR_WB, mt.subtype));
        EXPECT_EQ(2u, mt.FormatLength());
        return;
    }
    ASSERT_EQ("mp4a", facts.tag);
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_MPEG4_AAC, mt.subtype));
    ASSERT_EQ(12u, mt.FormatLength());
    const BYTE* f = mt.Format();
    ASSERT_TRUE(facts.sampleRate.has_value() && facts.channels.has_value());
    EXPECT_EQ(static_cast<uint32_t>(*facts.sampleRate), Le32(f));
    EXPECT_EQ(*facts.channels, f[6]);
    static const std::map<std::string, int> objectTypes = {
        {"Main", 1}, {"LC", 2}, {"LTP", 4}, {"HE-AAC", 5}, {"HE-AACv2", 29}};
    ASSERT_EQ(1u, objectTypes.count(facts.profile)) << facts.profile;
    EXPECT_EQ(objectTypes.at(facts.profile), f[9]);
}

}  // namespace

TEST(SampleDescriptionFixtures, MediaTypesAgreeWithTheFacts)
{
    for (const std::string& name : ListFixtures()) {
        SCOPED_TRACE(name);
        const FixtureFacts facts = LoadFixtureFacts(name);
        testsrc::FileSource source(FixturePath(name));
        ASSERT_TRUE(source.IsOpen());
        CMovie movie(&source);
        ASSERT_EQ(S_OK, movie.Parse());

        // The movie keeps its usable tracks in file order; pair the n-th
        // video (audio) track with the n-th one of the facts.
        std::map<std::string, size_t> seen;
        size_t checked = 0;
        for (DWORD i = 0; i < movie.GetTracks().size(); ++i) {
            const CMovieTrack* pTrack = movie.GetTracks()[i];
            ASSERT_NE(nullptr, pTrack->GetSampleDescription());
            const std::string type = pTrack->IsVideo() ? "video" : "audio";
            size_t index = seen[type]++;
            const TrackFacts* pFacts = nullptr;
            for (const TrackFacts& track : facts.tracks) {
                if (track.type == type && index-- == 0) {
                    pFacts = &track;
                    break;
                }
            }
            ASSERT_NE(nullptr, pFacts) << "no " << type << " track in the facts";
            SCOPED_TRACE(pFacts->tag);
            if (pTrack->IsVideo()) {
                ExpectVideoType(*pFacts, *pTrack->GetSampleDescription());
            } else {
                ExpectAudioType(*pFacts, *pTrack->GetSampleDescription());
            }
            ++checked;
        }
        EXPECT_EQ(facts.tracks.size(), checked);
    }
}
