// CAmrFramer against hand-made storage-format buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "amrframer.h"

namespace {

using Buffer = std::vector<BYTE>;

// Published storage-format sizes, header byte included.
const int kNbSizes[16] = {13, 14, 16, 18, 20, 21, 27, 32, 6, 0, 0, 0, 0, 0, 0, 1};
const int kWbSizes[16] = {18, 24, 33, 37, 41, 47, 51, 59, 61, 6, 0, 0, 0, 0, 1, 1};

// Quality bit set, and the padding bits too for odd types: the framer must
// copy the header byte as it is.
BYTE Header(int frameType)
{
    return static_cast<BYTE>((frameType << 3) | 0x04 | (frameType % 2 ? 0x83 : 0));
}

// One frame of the given type with a recognisable payload.
Buffer Frame(int frameType, int cbTotal, BYTE seed)
{
    Buffer frame(1, Header(frameType));
    for (int i = 1; i < cbTotal; ++i) frame.push_back(static_cast<BYTE>(seed + i));
    return frame;
}

struct Call {
    INT result;
    DWORD written;
    Buffer bytes;
};

// The frame is written cbOutShift bytes into the output buffer.
Call Next(CAmrFramer& framer, const BYTE* pInput, UINT codec, WORD inputLeft, size_t cbOutShift = 0)
{
    Buffer out(AMR_MAX_FRAME_BYTES + 8, 0xEE);
    BYTE* pOut = out.data() + cbOutShift;
    Call call;
    call.written = 0xDEAD;
    call.result = framer.GetNextFrame(pInput, pOut, codec, AMR_MODE_STORAGE, &call.written, inputLeft);
    call.bytes.assign(pOut, pOut + call.written);
    return call;
}

Call Next(CAmrFramer& framer, const Buffer& input, UINT codec, WORD inputLeft)
{
    return Next(framer, input.data(), codec, inputLeft);
}

// Drives the framer the way the AMR delivery loop does: one Reset per
// sample, the caller's count reduced by what each call hands back. With
// cbShift the sample and each output frame start that many bytes past an
// aligned address.
std::vector<Buffer> SplitSample(const Buffer& sample, UINT codec, int maxCalls = 100000, size_t cbShift = 0)
{
    Buffer shifted(cbShift, 0xEE);
    shifted.insert(shifted.end(), sample.begin(), sample.end());
    CAmrFramer framer;
    framer.Reset();
    framer.m_bStreamHeaderDone = TRUE;
    std::vector<Buffer> frames;
    WORD left = static_cast<WORD>(sample.size());
    for (int i = 0; i < maxCalls && left > 0; ++i) {
        Call call = Next(framer, shifted.data() + cbShift, codec, left, cbShift);
        if (call.result != AMR_FRAME_DONE) break;
        frames.push_back(call.bytes);
        left = static_cast<WORD>(left - call.written);
    }
    return frames;
}

}  // namespace

TEST(AmrFramer, EveryFrameTypeHasItsStorageSize)
{
    for (UINT codec = AMR_CODEC_NB; codec <= AMR_CODEC_WB; ++codec) {
        const int* sizes = codec == AMR_CODEC_NB ? kNbSizes : kWbSizes;
        for (int ft = 0; ft < 16; ++ft) {
            SCOPED_TRACE(testing::Message() << "codec " << codec << " FT " << ft);
            // A header-only type still consumes its header byte.
            const int cbFrame = sizes[ft] == 0 ? 1 : sizes[ft];
            Buffer frame = Frame(ft, cbFrame, 0x40);
            Buffer sample = frame;
            sample.push_back(Header(15));  // a NO_DATA frame behind it
            std::vector<Buffer> frames = SplitSample(sample, codec);
            ASSERT_EQ(2u, frames.size());
            EXPECT_EQ(frame, frames[0]);
            EXPECT_EQ(Buffer(1, Header(15)), frames[1]);
        }
    }
}

TEST(AmrFramer, RejectsUnknownCodecAndPacking)
{
    Buffer sample = Frame(7, 32, 0);
    CAmrFramer framer;
    framer.m_bStreamHeaderDone = TRUE;
    BYTE out[64];
    DWORD written = 99;
    EXPECT_EQ(AMR_FRAME_ERROR, framer.GetNextFrame(sample.data(), out, 2, AMR_MODE_STORAGE,
                                                   &written, 32));
    EXPECT_EQ(0u, written);
    written = 99;
    EXPECT_EQ(AMR_FRAME_ERROR, framer.GetNextFrame(sample.data(), out, AMR_CODEC_NB, 1,
                                                   &written, 32));
    EXPECT_EQ(0u, written);
    // Neither call moved the framer: the frame is still there.
    Call call = Next(framer, sample, AMR_CODEC_NB, 32);
    EXPECT_EQ(AMR_FRAME_DONE, call.result);
    EXPECT_EQ(sample, call.bytes);
}

TEST(AmrFramer, SkipsFileMagicBeforeFirstFrame)
{
    const char* magics[2] = {"#!AMR\n", "#!AMR-WB\n"};
    for (UINT codec = AMR_CODEC_NB; codec <= AMR_CODEC_WB; ++codec) {
        SCOPED_TRACE(codec);
        Buffer frame1 = Frame(1, codec == AMR_CODEC_NB ? 14 : 24, 0x10);
        Buffer frame2 = Frame(0, codec == AMR_CODEC_NB ? 13 : 18, 0x60);
        Buffer input(magics[codec], magics[codec] + strlen(magics[codec]));
        input.insert(input.end(), frame1.begin(), frame1.end());
        input.insert(input.end(), frame2.begin(), frame2.end());

        CAmrFramer framer;  // stream header not done: the magic is expected
        WORD left = static_cast<WORD>(input.size());
        Call first = Next(framer, input, codec, left);
        EXPECT_EQ(AMR_FRAME_DONE, first.result);
        EXPECT_EQ(frame1, first.bytes);
        EXPECT_TRUE(framer.m_bStreamHeaderDone);
        // The caller only knows about what was handed back; the magic must
        // still not let the framer read past the end of the input.
        left = static_cast<WORD>(left - first.written);
        Call second = Next(framer, input, codec, left);
        EXPECT_EQ(AMR_FRAME_DONE, second.result);
        EXPECT_EQ(frame2, second.bytes);
        left = static_cast<WORD>(left - second.written);
        Call third = Next(framer, input, codec, left);
        EXPECT_EQ(AMR_FRAME_CUT, third.result);
        EXPECT_EQ(0u, third.written);
    }
}

TEST(AmrFramer, WrongFileMagicFails)
{
    Buffer input = {'#', '!', 'A', 'M', 'X', '\n', Header(15)};
    CAmrFramer framer;
    Call call = Next(framer, input, AMR_CODEC_NB, static_cast<WORD>(input.size()));
    EXPECT_EQ(AMR_FRAME_ERROR, call.result);
    EXPECT_EQ(0u, call.written);
    // The narrow-band magic is not the wide-band one.
    Buffer nb = {'#', '!', 'A', 'M', 'R', '\n', Header(15), 0, 0};
    CAmrFramer wb;
    EXPECT_EQ(AMR_FRAME_ERROR, Next(wb, nb, AMR_CODEC_WB, 9).result);
}

// Each row: the counts a caller offers one call after another; every call
// but the last answers "cut" with nothing written, the last the whole frame.
TEST(AmrFramer, FinishesACutFrameOnALaterCall)
{
    const struct {
        const char* name;
        UINT codec;
        BOOL bHeaderDone;  // FALSE: the file magic comes first
        Buffer input;
        std::vector<WORD> offered;
        Buffer frame;
    } cases[] = {
        {"20 bytes of a 32-byte frame, then all", AMR_CODEC_NB, TRUE, Frame(7, 32, 0x20), {20, 32}, Frame(7, 32, 0x20)},
        {"cut before its header byte", AMR_CODEC_WB, TRUE, Frame(0, 18, 0x30), {0, 1, 10, 18}, Frame(0, 18, 0x30)},
        {"cut inside the file magic", AMR_CODEC_NB, FALSE, {'#', '!', 'A', 'M', 'R', '\n', Header(15)}, {3, 7},
         Buffer(1, Header(15))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CAmrFramer framer;
        framer.m_bStreamHeaderDone = c.bHeaderDone;
        for (size_t i = 0; i + 1 < c.offered.size(); ++i) {
            Call cut = Next(framer, c.input, c.codec, c.offered[i]);
            EXPECT_EQ(AMR_FRAME_CUT, cut.result);
            EXPECT_EQ(0u, cut.written);
        }
        Call done = Next(framer, c.input, c.codec, c.offered.back());
        EXPECT_EQ(AMR_FRAME_DONE, done.result);
        EXPECT_EQ(c.frame, done.bytes);
    }
}

TEST(AmrFramer, SampleEndingInsideFrameYieldsNothingFromOutside)
{
    // Two whole frames, then the first 10 bytes of a 32-byte frame. The
    // sample sits in a larger buffer whose bytes after it must never
    // appear in a frame.
    Buffer frameA = Frame(7, 32, 0x00);
    Buffer frameB = Frame(2, 16, 0x80);
    Buffer buffer = frameA;
    buffer.insert(buffer.end(), frameB.begin(), frameB.end());
    Buffer tail = Frame(7, 32, 0x40);
    buffer.insert(buffer.end(), tail.begin(), tail.begin() + 10);
    const WORD cbSample = static_cast<WORD>(buffer.size());
    buffer.resize(buffer.size() + 200, 0xAB);

    CAmrFramer framer;
    framer.Reset();
    framer.m_bStreamHeaderDone = TRUE;
    WORD left = cbSample;
    Call a = Next(framer, buffer, AMR_CODEC_NB, left);
    left = static_cast<WORD>(left - a.written);
    Call b = Next(framer, buffer, AMR_CODEC_NB, left);
    left = static_cast<WORD>(left - b.written);
    EXPECT_EQ(frameA, a.bytes);
    EXPECT_EQ(frameB, b.bytes);
    // A caller that goes on asking with the same count gets nothing more.
    for (int i = 0; i < 3; ++i) {
        Call c = Next(framer, buffer, AMR_CODEC_NB, left);
        EXPECT_EQ(AMR_FRAME_CUT, c.result);
        EXPECT_EQ(0u, c.written);
    }
    // Reset drops the cut frame; a new sample in the same buffer starts clean.
    Buffer next = Frame(15, 1, 0);
    framer.Reset();
    framer.m_bStreamHeaderDone = TRUE;
    Call d = Next(framer, next, AMR_CODEC_NB, 1);
    EXPECT_EQ(AMR_FRAME_DONE, d.result);
    EXPECT_EQ(next, d.bytes);
}

TEST(AmrFramer, CountBelowWhatWasTakenReadsNothing)
{
    // A caller that deducts the magic itself passes a smaller count; the
    // framer must read less, never more.
    Buffer input = {'#', '!', 'A', 'M', 'R', '\n', Header(15), Header(15)};
    CAmrFramer framer;
    Call first = Next(framer, input, AMR_CODEC_NB, 8);
    EXPECT_EQ(AMR_FRAME_DONE, first.result);
    Call second = Next(framer, input, AMR_CODEC_NB, 1);  // 8 - 6 - 1
    EXPECT_EQ(AMR_FRAME_CUT, second.result);
    EXPECT_EQ(0u, second.written);
}

// ---- Against the real AMR fixtures ------------------------------------------

#ifndef DEMUX_TESTS_WITHOUT_AMR_DECODER
#include <opencore-amrnb/interf_dec.h>
#include <opencore-amrwb/dec_if.h>
#endif

#include "fixturefacts.h"
#include "md5.h"
#include "testsources.h"

namespace {

struct AmrFixture {
    const char* name;
    UINT codec;
};

const AmrFixture kAmrFixtures[] = {
    {"h263-amrnb.3gp", AMR_CODEC_NB},
    {"3gpp-assets.3gp", AMR_CODEC_NB},
    {"mpeg4-amrwb.3gp", AMR_CODEC_WB},
    {"amrnb-10-frames-per-sample.3gp", AMR_CODEC_NB},  // several frames in each sample
};

#ifndef DEMUX_TESTS_WITHOUT_AMR_DECODER
// Decodes one storage-format frame; returns the sum of squares of the PCM.
class AmrDecoder {
public:
    explicit AmrDecoder(UINT codec) : m_codec(codec)
    {
        m_state = codec == AMR_CODEC_NB ? Decoder_Interface_init() : D_IF_init();
    }
    ~AmrDecoder()
    {
        if (m_codec == AMR_CODEC_NB) Decoder_Interface_exit(m_state);
        else D_IF_exit(m_state);
    }
    double Decode(const Buffer& frame)
    {
        // The decoders read a whole frame of the type the header names;
        // give them exactly the frame so that ASan sees any disagreement.
        short pcm[320] = {};
        if (m_codec == AMR_CODEC_NB) Decoder_Interface_Decode(m_state, frame.data(), pcm, 0);
        else D_IF_decode(m_state, frame.data(), pcm, _good_frame);
        double energy = 0;
        for (short s : pcm) energy += double(s) * s;
        return energy;
    }
    static bool Decodes() { return true; }

private:
    UINT m_codec;
    void* m_state;
};
#else
// Where no decoder is built for the target, the frames are still cut and
// counted; their energy is then not measured.
class AmrDecoder {
public:
    explicit AmrDecoder(UINT) {}
    double Decode(const Buffer&) { return 0; }
    static bool Decodes() { return false; }
};
#endif

Buffer Concat(const std::vector<Buffer>& frames)
{
    Buffer all;
    for (const Buffer& f : frames) all.insert(all.end(), f.begin(), f.end());
    return all;
}

// The audio track's samples in decode order, each exactly its own bytes
// (anything read beyond is an ASan error); empty when the facts and the
// file disagree.
std::vector<Buffer> AudioSamples(const char* pszFixture)
{
    const FixtureFacts facts = LoadFixtureFacts(pszFixture);
    const std::vector<uint8_t> file = testsrc::ReadWholeFile(FixturePath(pszFixture));
    const TrackFacts* audio = facts.FirstTrack("audio");
    std::vector<Buffer> samples;
    if (audio == nullptr) return samples;
    for (const PacketFacts& packet : audio->packets) {
        if (packet.pos + packet.size > static_cast<int64_t>(file.size())) return {};
        Buffer sample(file.begin() + packet.pos, file.begin() + packet.pos + packet.size);
        if (Md5Hex(sample.data(), sample.size()) != packet.md5) return {};
        samples.push_back(sample);
    }
    return samples;
}

}  // namespace

// Per fixture: the frames of every packet rebuild it and decode; the whole
// track as one sample of several kilobytes splits into the same frames; and
// so do samples and frames at odd addresses, the normal case in the
// delivery loop, which ARM faults on where x86 does not.
TEST(AmrFramerFixtures, FramesOfEveryPacketRebuildItDecodeAndSplitAlike)
{
    for (const AmrFixture& fixture : kAmrFixtures) {
        SCOPED_TRACE(fixture.name);
        const std::vector<Buffer> samples = AudioSamples(fixture.name);
        ASSERT_FALSE(samples.empty());

        AmrDecoder decoder(fixture.codec);
        size_t speechFrames = 0;
        double energy = 0;
        Buffer all;
        std::vector<Buffer> allFrames;
        for (const Buffer& sample : samples) {
            std::vector<Buffer> frames = SplitSample(sample, fixture.codec);
            ASSERT_EQ(sample, Concat(frames));
            for (const Buffer& frame : frames) {
                const int ft = (frame[0] >> 3) & 0x0F;
                if (ft <= (fixture.codec == AMR_CODEC_NB ? 7 : 8)) ++speechFrames;
                energy += decoder.Decode(frame);
            }
            for (size_t shift = 1; shift < 8; ++shift) {
                EXPECT_EQ(frames, SplitSample(sample, fixture.codec, 100000, shift)) << "shift " << shift;
            }
            allFrames.insert(allFrames.end(), frames.begin(), frames.end());
            all.insert(all.end(), sample.begin(), sample.end());
        }
        EXPECT_GE(allFrames.size(), samples.size());
        EXPECT_GT(speechFrames, 0u);
        // The fixtures hold tones: decoded speech frames are far from silent.
        if (AmrDecoder::Decodes()) { EXPECT_GT(energy / double(speechFrames), 1e8); }
        ASSERT_GT(all.size(), 1024u);
        ASSERT_LE(all.size(), 0xFFFFu);
        EXPECT_EQ(allFrames, SplitSample(all, fixture.codec));
    }
}
