// The delivery loops hand the parser and the AMR framer buffers at whatever
// offset the previous bytes left them (configuration bytes, earlier frames),
// so an odd address is the normal case on the device. ARM faults on a
// misaligned multi-word access where x86 does not; here every fixture's
// samples are read, and AMR samples framed, at each offset within a word.
#include <gtest/gtest.h>

#include <vector>

#include "amrframer.h"
#include "fixturefacts.h"
#include "movie.h"
#include "moviesampletables.h"
#include "movietrack.h"
#include "testsources.h"

namespace {

const BYTE kGuard = 0xA5;
const size_t kSlack = 8;

// Reads one sample into a buffer that starts cbShift bytes past an 8-byte
// boundary; the bytes on either side must stay untouched.
std::vector<BYTE> ReadShifted(CMovieTrack& track, DWORD dwSample, DWORD cbMax, size_t cbShift, HRESULT* phr)
{
    std::vector<BYTE> storage(cbMax + 2 * kSlack, kGuard);
    BYTE* pAligned = storage.data();
    while (reinterpret_cast<uintptr_t>(pAligned) % 8 != 0) ++pAligned;
    BYTE* pBuffer = pAligned + cbShift;
    DWORD cb = 0;
    *phr = track.ReadSample(dwSample, pBuffer, cbMax, &cb);
    for (BYTE* p = storage.data(); p < pBuffer; ++p) EXPECT_EQ(kGuard, *p) << "before the buffer";
    for (BYTE* p = pBuffer + cbMax; p < storage.data() + storage.size(); ++p) {
        EXPECT_EQ(kGuard, *p) << "after the buffer";
    }
    return std::vector<BYTE>(pBuffer, pBuffer + cb);
}

// Cuts a storage-format sample into frames starting at pInput.
std::vector<std::vector<BYTE>> Frames(const BYTE* pInput, WORD cbInput, UINT uCodec, size_t cbOutShift)
{
    CAmrFramer framer;
    framer.Reset();
    framer.m_bStreamHeaderDone = TRUE;
    std::vector<BYTE> out(AMR_MAX_FRAME_BYTES + kSlack);
    std::vector<std::vector<BYTE>> frames;
    for (WORD left = cbInput; left > 0;) {
        DWORD cbWritten = 0;
        BYTE* pOut = out.data() + cbOutShift;
        if (framer.GetNextFrame(pInput, pOut, uCodec, AMR_MODE_STORAGE, &cbWritten, left) != AMR_FRAME_DONE) break;
        frames.push_back(std::vector<BYTE>(pOut, pOut + cbWritten));
        left = static_cast<WORD>(left - cbWritten);
    }
    return frames;
}

}  // namespace

TEST(ArmAlignment, SamplesReadIntoBuffersAtEveryOffsetMatch)
{
    for (const std::string& name : ListFixtures()) {
        SCOPED_TRACE(name);
        testsrc::FileSource source(FixturePath(name));
        ASSERT_TRUE(source.IsOpen());
        CMovie movie(&source);
        ASSERT_EQ(S_OK, movie.Parse());
        for (DWORD t = 0; t < movie.m_tracks.size(); ++t) {
            CMovieTrack& track = *movie.m_tracks[t];
            const DWORD cbMax = track.m_pSampleSize->m_dwMaxSampleSize;
            for (DWORD n = 0; n < track.m_pSampleSize->m_dwSampleCount; ++n) {
                SCOPED_TRACE(testing::Message() << "track " << t << " sample " << n);
                HRESULT hr = E_FAIL;
                const std::vector<BYTE> aligned = ReadShifted(track, n, cbMax, 0, &hr);
                ASSERT_EQ(S_OK, hr);
                for (size_t shift = 1; shift < 8; ++shift) {
                    EXPECT_EQ(aligned, ReadShifted(track, n, cbMax, shift, &hr)) << "shift " << shift;
                    EXPECT_EQ(S_OK, hr);
                }
            }
        }
    }
}

TEST(ArmAlignment, AmrFramesCutFromEveryOffsetMatch)
{
    const struct {
        const char* name;
        UINT uCodec;
    } kFixtures[] = {{"amrnb-10-frames-per-sample.3gp", AMR_CODEC_NB}, {"mpeg4-amrwb.3gp", AMR_CODEC_WB}};
    for (const auto& fixture : kFixtures) {
        SCOPED_TRACE(fixture.name);
        const FixtureFacts facts = LoadFixtureFacts(fixture.name);
        const std::vector<uint8_t> file = testsrc::ReadWholeFile(FixturePath(fixture.name));
        const TrackFacts* audio = facts.FirstTrack("audio");
        ASSERT_NE(nullptr, audio);
        for (const PacketFacts& packet : audio->packets) {
            ASSERT_LE(packet.pos + packet.size, static_cast<int64_t>(file.size()));
            const WORD cbSample = static_cast<WORD>(packet.size);
            std::vector<BYTE> storage(cbSample + kSlack);
            std::copy(file.begin() + packet.pos, file.begin() + packet.pos + cbSample, storage.begin());
            const std::vector<std::vector<BYTE>> expected = Frames(storage.data(), cbSample, fixture.uCodec, 0);
            ASSERT_FALSE(expected.empty());
            for (size_t shift = 1; shift < 8; ++shift) {
                std::vector<BYTE> shifted(cbSample + kSlack);
                std::copy(storage.begin(), storage.begin() + cbSample, shifted.begin() + shift);
                EXPECT_EQ(expected, Frames(shifted.data() + shift, cbSample, fixture.uCodec, 8 - shift))
                    << "sample " << packet.sample << " shift " << shift;
            }
        }
    }
}
