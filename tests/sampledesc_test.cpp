// Sample entries to media types and decoder configuration bytes: each entry
// type's exact media type, the descriptor and parameter-set walks, malformed
// entries, and the in-place NAL length rewrite.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "boxbuilder.h"
#include "mediatype.h"
#include "moviebox.h"
#include "moviesampledesc.h"
#include "movietestaccess.h"
#include "testhooks.h"
#include "testsources.h"

using testbox::Box;
using testbox::Bytes;
using testbox::FullBox;

namespace {

std::vector<uint8_t> Slice(const BYTE* p, size_t cb)
{
    return std::vector<uint8_t>(p, p + cb);
}

// The 88-byte VIDEOINFOHEADER every visual entry but H.264 gives, as
// little-endian words: rcSource, then a zero rcTarget, bit rates and frame
// time, then the BITMAPINFOHEADER (one plane, 24 bits).
std::vector<uint8_t> VideoInfoHeader(uint32_t width, uint32_t height, const char* fourcc, uint32_t cbImage)
{
    uint32_t compression = 0;
    std::memcpy(&compression, fourcc, 4);
    std::vector<uint8_t> block;
    for (uint32_t word : {0u, 0u, width, height, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 0u, 40u, width, height, 1u | 24u << 16,
                          compression, cbImage, 0u, 0u, 0u, 0u}) {
        for (int i = 0; i < 32; i += 8) block.push_back(static_cast<uint8_t>(word >> i));
    }
    return block;
}

// The 136-byte block the H.264 entry gives, as little-endian words: rcSource,
// zeros to the BITMAPINFOHEADER at 72 (whose size counts the whole block),
// then the NAL length size (0 where start codes replace the lengths),
// profile and level; the parameter sets follow.
std::vector<uint8_t> Mpeg2VideoInfo(uint32_t width, uint32_t height, uint32_t nalLengthSize, uint32_t profile,
                                    uint32_t level, const Bytes& sets)
{
    std::vector<uint8_t> block;
    std::vector<uint32_t> words{0, 0, width, height};
    words.resize(18, 0);
    for (uint32_t word : {136u, width, height, 1u | 24u << 16, 0x34363248u /* "H264" */, width * 3 * height, 0u, 0u,
                          0u, 0u, 0u, nalLengthSize, profile, level, 0u, 0u}) {
        words.push_back(word);
    }
    for (uint32_t word : words) for (int i = 0; i < 32; i += 8) block.push_back(static_cast<uint8_t>(word >> i));
    block.insert(block.end(), sets.data().begin(), sets.data().end());
    return block;
}

// Visual sample entry payload: 78 bytes of fixed fields, then the children.
Bytes VisualEntry(const char* type, uint16_t width, uint16_t height, const Bytes& children = Bytes())
{
    Bytes payload;
    payload.zeros(6).u16(1).zeros(16).u16(width).u16(height);
    payload.u32(0x00480000).u32(0x00480000).u32(0).u16(1).zeros(32).u16(0x18).u16(0xFFFF);
    return Box(type, payload + children);
}

// Audio sample entry payload: 28 bytes of fixed fields, then the children.
Bytes AudioEntry(const char* type, uint16_t channels, const Bytes& children = Bytes())
{
    Bytes payload;
    payload.zeros(6).u16(1).zeros(8).u16(channels).u16(16).u32(0).u32(44100u << 16);
    return Box(type, payload + children);
}

// A descriptor length: one byte, or the four-byte form 80 80 80 nn.
Bytes Length(uint8_t value, bool bLong)
{
    return bLong ? Bytes{0x80, 0x80, 0x80, value} : Bytes{value};
}

struct EsdsOptions {
    uint8_t objectType = 0x20;
    bool bLongLengths = false;
    int esLengthOverride = -1;      // ES descriptor length byte, when forced
    int specificLengthOverride = -1;
    uint8_t specificTag = 5;
};

// An "esds" full box: ES descriptor, decoder configuration descriptor and
// decoder-specific information, then an SL descriptor.
Bytes Esds(const Bytes& specificInfo, const EsdsOptions& options = EsdsOptions())
{
    const bool L = options.bLongLengths;
    Bytes specific = Bytes{options.specificTag} +
                     Length(options.specificLengthOverride >= 0 ? options.specificLengthOverride
                                                                : static_cast<uint8_t>(specificInfo.size()),
                            L) +
                     specificInfo;
    Bytes config;
    config.u8(options.objectType).u8(0x15).u24(0x001800).u32(128000).u32(96000);
    config = config + specific;
    Bytes decoderConfig = Bytes{4} + Length(static_cast<uint8_t>(config.size()), L) + config;
    Bytes es;
    es.u16(1).u8(0);
    es = es + decoderConfig + Bytes{6, 1, 2};
    uint8_t esLength = options.esLengthOverride >= 0 ? options.esLengthOverride : static_cast<uint8_t>(es.size());
    return FullBox("esds", 0, 0, Bytes{3} + Length(esLength, L) + es);
}

Bytes Stsd(const Bytes& entries, uint32_t count = 1, uint8_t version = 0)
{
    return FullBox("stsd", version, 0, Bytes().u32(count) + entries);
}

// An "stsd" in memory, wrapped in a sample description object the way the
// track parser makes one: from the generic child's header.
class SampleDescriptionTest : public ::testing::Test {
protected:
    void SetUp() override { m_lLiveAtStart = platformtest::CoTaskMemLiveBlocks(); }
    void TearDown() override
    {
        m_pDesc.reset();
        EXPECT_EQ(m_lLiveAtStart, platformtest::CoTaskMemLiveBlocks());
    }

    HRESULT ParseStsd(const Bytes& stsd)
    {
        m_source.Data() = stsd.data();
        CBox header(&m_source, testbox::FourCC("stsd"), 8, static_cast<LONGLONG>(stsd.size()), 0);
        m_pDesc.reset(new CSampleDescriptionBox(header));
        return m_pDesc->Parse();
    }
    HRESULT ParseEntry(const Bytes& entry) { return ParseStsd(Stsd(entry)); }

    const CMediaType& Type() const { return *m_pDesc->MediaType(); }
    const VIDEOINFOHEADER& VideoInfo() const
    {
        return *reinterpret_cast<const VIDEOINFOHEADER*>(Type().Format());
    }
    std::vector<uint8_t> Config() const { return Slice(m_pDesc->GetConfig(), m_pDesc->GetConfigLength()); }

    testsrc::MemorySource m_source;
    std::unique_ptr<CSampleDescriptionBox> m_pDesc;
    long m_lLiveAtStart = 0;
};

}  // namespace

// --- the "stsd" box itself --------------------------------------------------

TEST_F(SampleDescriptionTest, RejectsAnythingButOneVersion0Entry)
{
    const Bytes entry = VisualEntry("mjpg", 16, 16);
    EXPECT_EQ(E_FAIL, ParseStsd(Stsd(entry + entry, 2)));
    EXPECT_EQ(E_FAIL, ParseStsd(Stsd(entry, 1, 1)));
    EXPECT_EQ(E_FAIL, ParseStsd(Stsd(Bytes(), 0)));
    EXPECT_EQ(E_FAIL, ParseStsd(Stsd(Bytes(), 1)));  // count says one, none there
    EXPECT_EQ(E_FAIL, ParseStsd(FullBox("stsd", 0, 0)));  // no room for the count
    EXPECT_EQ(S_OK, ParseStsd(Stsd(entry)));
}

TEST_F(SampleDescriptionTest, RejectsUnknownEntryTypes)
{
    EXPECT_EQ(E_FAIL, ParseEntry(VisualEntry("hvc1", 16, 16)));
    EXPECT_EQ(E_FAIL, ParseEntry(AudioEntry("alac", 2)));
    EXPECT_FALSE(Type().IsValid());
}

TEST_F(SampleDescriptionTest, FailsWhenTheEntryCannotBeRead)
{
    Bytes stsd = Stsd(VisualEntry("mjpg", 16, 16));
    // The source ends inside the entry: its payload read fails.
    m_source.Data() = stsd.data();
    m_source.Data().resize(stsd.size() - 10);
    CBox header(&m_source, testbox::FourCC("stsd"), 8, static_cast<LONGLONG>(stsd.size()), 0);
    CSampleDescriptionBox desc(header);
    EXPECT_EQ(E_FAIL, desc.Parse());
}

TEST_F(SampleDescriptionTest, ReleasesTheEntryPayloadAfterParsing)
{
    ASSERT_EQ(S_OK, ParseEntry(VisualEntry("mp4v", 32, 32, Esds(Bytes{1, 2, 3}))));
    EXPECT_FALSE(m_pDesc->IsDataLoaded());
    ASSERT_EQ(1u, m_pDesc->GetEnumeratedChildCount());
    EXPECT_FALSE(m_pDesc->GetChild(0)->IsDataLoaded());

    EXPECT_EQ(E_FAIL, ParseEntry(VisualEntry("mp4v", 32, 32, Box("free", Bytes().zeros(8)))));
    EXPECT_FALSE(m_pDesc->GetChild(0)->IsDataLoaded());
}

// --- video entries ------------------------------------------------------------

// Each row: an entry, its subtype and the format block it gives (mp4v's
// decoder-specific information behind the header).
TEST_F(SampleDescriptionTest, VisualEntriesGiveVideoInfoHeaders)
{
    const Bytes dsi{0x00, 0x00, 0x01, 0xB0, 0x03, 0x00, 0x00, 0x01, 0xB5, 0x09};
    std::vector<uint8_t> mp4v = VideoInfoHeader(320, 240, "MP4V", 320 * 3 * 240);
    mp4v.insert(mp4v.end(), dsi.data().begin(), dsi.data().end());
    const struct {
        Bytes entry;
        GUID subtype;
        std::vector<uint8_t> format;
        Bytes config;
    } cases[] = {
        {VisualEntry("MJPG", 176, 144), MEDIASUBTYPE_MJPG, VideoInfoHeader(176, 144, "MJPG", 76032), Bytes()},
        // Rows padded to four bytes; an image too large for 32 bits is held at the largest value.
        {VisualEntry("mjpg", 175, 144), MEDIASUBTYPE_MJPG, VideoInfoHeader(175, 144, "MJPG", 528 * 144), Bytes()},
        {VisualEntry("mjpg", 1, 1), MEDIASUBTYPE_MJPG, VideoInfoHeader(1, 1, "MJPG", 4), Bytes()},
        {VisualEntry("mjpg", 65535, 65535), MEDIASUBTYPE_MJPG, VideoInfoHeader(65535, 65535, "MJPG", 0xFFFFFFFFu),
         Bytes()},
        {VisualEntry("H263", 352, 288, Box("d263", Bytes().zeros(7))), MEDIASUBTYPE_H263,
         VideoInfoHeader(352, 288, "H263", 352 * 3 * 288), Bytes()},
        {VisualEntry("s263", 352, 288), MEDIASUBTYPE_H263, VideoInfoHeader(352, 288, "H263", 352 * 3 * 288), Bytes()},
        {VisualEntry("mp4v", 320, 240, Esds(dsi)), MEDIASUBTYPE_MP4V, mp4v, dsi},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ASSERT_EQ(S_OK, ParseEntry(c.entry));
        EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Video, Type().majortype));
        EXPECT_TRUE(IsEqualGUID(c.subtype, Type().subtype));
        EXPECT_TRUE(IsEqualGUID(FORMAT_VideoInfo, Type().formattype));
        EXPECT_EQ(TRUE, Type().bFixedSizeSamples);
        EXPECT_EQ(FALSE, Type().bTemporalCompression);
        EXPECT_EQ(1u, Type().lSampleSize);
        EXPECT_EQ(nullptr, Type().pUnk);
        EXPECT_EQ(c.format, Slice(Type().Format(), Type().FormatLength()));
        EXPECT_EQ(c.config.data(), Config());
        EXPECT_EQ(0u, m_pDesc->GetStartCode());
    }
}

TEST_F(SampleDescriptionTest, VisualEntriesShorterThanTheirFixedFieldsFail)
{
    EXPECT_EQ(E_FAIL, ParseEntry(Box("mjpg", Bytes().zeros(27))));
    EXPECT_EQ(S_OK, ParseEntry(Box("mjpg", Bytes().zeros(28))));
    EXPECT_EQ(E_FAIL, ParseEntry(Box("s263", Bytes().zeros(27))));
    EXPECT_EQ(E_FAIL, ParseEntry(Box("mp4v", Bytes().zeros(85))));
    EXPECT_EQ(E_FAIL, ParseEntry(Box("avc1", Bytes().zeros(92))));
    EXPECT_EQ(E_FAIL, ParseEntry(Box("mjpg")));
}

namespace {

EsdsOptions Options(bool bLongLengths, int esLength = -1, int specificLength = -1, uint8_t specificTag = 5)
{
    EsdsOptions options;
    options.bLongLengths = bLongLengths;
    options.esLengthOverride = esLength;
    options.specificLengthOverride = specificLength;
    options.specificTag = specificTag;
    return options;
}

}  // namespace

// Each row: the children of an "mp4v" entry; those that parse give the
// decoder-specific information as the configuration.
TEST_F(SampleDescriptionTest, Mp4vDescriptorForms)
{
    const Bytes dsi{0xAA, 0xBB, 0xCC};
    const Bytes esds = Esds(Bytes().zeros(20));
    const struct {
        const char* name;
        Bytes children;
        HRESULT hr;
    } cases[] = {
        {"four-byte lengths", Esds(dsi, Options(true)), S_OK},
        // A first length byte of 0xFF is a one-byte length of 255, which must
        // then fit the bytes that follow, here padded out by a trailing box.
        {"ES length 0xFF", Esds(dsi, Options(false, 0xFF)) + Box("free", Bytes().zeros(300)), S_OK},
        {"esds behind pasp", Box("pasp", Bytes().u32(1).u32(1)) + Esds(dsi), S_OK},
        {"first child not esds, m4ds or pasp", Box("btrt", Bytes().zeros(12)) + Esds(dsi), E_FAIL},
        {"ES descriptor past the payload", Esds(dsi, Options(false, 0x7F)), E_FAIL},
        {"specific info past the payload", Esds(dsi, Options(false, -1, 40)), E_FAIL},
        {"specific info of the wrong tag", Esds(dsi, Options(false, -1, -1, 6)), E_FAIL},
        {"esds cut by the entry's end",
         Bytes(std::vector<uint8_t>(esds.data().begin(), esds.data().begin() + 24)), E_FAIL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The capital form of the type is read alike: the first row uses it.
        ASSERT_EQ(c.hr, ParseEntry(VisualEntry(&c == cases ? "MP4V" : "mp4v", 64, 64, c.children)));
        EXPECT_EQ(c.hr == S_OK ? dsi.data() : std::vector<uint8_t>(), Config());
    }
}

TEST_F(SampleDescriptionTest, CopyDecoderSpecificInfoChecksEveryLength)
{
    m_source.Data().clear();
    CBox header(&m_source, testbox::FourCC("stsd"), 8, 8, 0);
    CSampleDescriptionBox desc(header);
    // "esds" payload: version/flags, 03 len, ES id, flags, 04 len, 13 bytes, 05 len, info.
    Bytes esds;
    esds.u32(0).u8(3).u8(25).u16(1).u8(0).u8(4).u8(20).zeros(13).u8(5).u8(3).u8(7).u8(8).u8(9);
    const std::vector<uint8_t>& d = esds.data();
    EXPECT_EQ(S_OK, desc.CopyDecoderSpecificInfo(d.data(), static_cast<int>(d.size())));
    EXPECT_EQ((std::vector<uint8_t>{7, 8, 9}), Slice(desc.GetConfig(), desc.GetConfigLength()));
    // The info's length reaches one byte past the buffer.
    EXPECT_EQ(E_FAIL, desc.CopyDecoderSpecificInfo(d.data(), static_cast<int>(d.size() - 1)));
    EXPECT_EQ(E_FAIL, desc.CopyDecoderSpecificInfo(d.data(), 10));
    EXPECT_EQ(E_FAIL, desc.CopyDecoderSpecificInfo(d.data(), 11));
}

namespace {

Bytes AvcC(uint8_t lengthSizeMinusOne, const std::vector<Bytes>& sps, const std::vector<Bytes>& pps,
           uint8_t profile = 66, uint8_t level = 30)
{
    Bytes record;
    record.u8(1).u8(profile).u8(0xC0).u8(level).u8(0xFC | lengthSizeMinusOne);
    record.u8(0xE0 | static_cast<uint8_t>(sps.size()));
    for (const Bytes& set : sps) record.u16(static_cast<uint32_t>(set.size())).append(set);
    record.u8(static_cast<uint8_t>(pps.size()));
    for (const Bytes& set : pps) record.u16(static_cast<uint32_t>(set.size())).append(set);
    return Box("avcC", record);
}

const Bytes kSps{0x67, 0x42, 0xC0, 0x1E, 0xDA, 0x02, 0x80, 0xBF, 0xE5, 0x84};
const Bytes kPps{0x68, 0xCE, 0x3C, 0x80};

}  // namespace

TEST_F(SampleDescriptionTest, AvcWithFourByteLengthsUsesStartCodes)
{
    ASSERT_EQ(S_OK, ParseEntry(VisualEntry("avc1", 176, 144, AvcC(3, {kSps}, {kPps}, 77, 40))));
    EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Video, Type().majortype));
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_H264, Type().subtype));
    EXPECT_TRUE(IsEqualGUID(FORMAT_MPEG2Video, Type().formattype));
    EXPECT_EQ(1u, m_pDesc->GetStartCode());

    Bytes expected = Bytes{0, 0, 0, 1} + kSps + Bytes{0, 0, 0, 1} + kPps;
    EXPECT_EQ(expected.data(), Config());
    EXPECT_EQ(Mpeg2VideoInfo(176, 144, 0, 77, 40, expected), Slice(Type().Format(), Type().FormatLength()));
}

TEST_F(SampleDescriptionTest, AvcWithShortLengthsKeepsThemInTheParameterSets)
{
    ASSERT_EQ(S_OK, ParseEntry(VisualEntry("AVC1", 176, 144, AvcC(1, {kSps}, {kPps}))));
    Bytes sets = Bytes{0, 10} + kSps + Bytes{0, 4} + kPps;
    EXPECT_EQ(sets.data(), Config());
    EXPECT_EQ(Mpeg2VideoInfo(176, 144, 2, 66, 30, sets), Slice(Type().Format(), Type().FormatLength()));

    ASSERT_EQ(S_OK, ParseEntry(VisualEntry("avc1", 176, 144, AvcC(0, {kSps}, {kPps}))));
    EXPECT_EQ(0u, m_pDesc->GetStartCode());
    sets = Bytes{10} + kSps + Bytes{4} + kPps;
    EXPECT_EQ(sets.data(), Config());
    EXPECT_EQ(Mpeg2VideoInfo(176, 144, 1, 66, 30, sets), Slice(Type().Format(), Type().FormatLength()));
}

TEST_F(SampleDescriptionTest, AvcCopiesSeveralParameterSetsInFileOrder)
{
    const Bytes sps2{0x67, 0x64, 0x00};
    const Bytes pps2{0x68, 0xEE};
    const Bytes pps3{0x68};
    ASSERT_EQ(S_OK, ParseEntry(VisualEntry("avc1", 64, 64, AvcC(3, {kSps, sps2}, {kPps, pps2, pps3}))));
    Bytes start{0, 0, 0, 1};
    Bytes expected = start + kSps + start + sps2 + start + kPps + start + pps2 + start + pps3;
    EXPECT_EQ(expected.data(), Config());
    EXPECT_EQ(136u + expected.size(), Type().FormatLength());
}

TEST_F(SampleDescriptionTest, AvcRejectsThreeByteLengthsAndTruncatedRecords)
{
    EXPECT_EQ(E_UNEXPECTED, ParseEntry(VisualEntry("avc1", 64, 64, AvcC(2, {kSps}, {kPps}))));
    EXPECT_EQ(0u, m_pDesc->GetStartCode());

    // No avcC at all.
    EXPECT_EQ(E_FAIL, ParseEntry(VisualEntry("avc1", 64, 64, Box("free", Bytes().zeros(12)))));

    // An SPS length running past the entry.
    Bytes record;
    record.u8(1).u8(66).u8(0).u8(30).u8(0xFF).u8(0xE1).u16(200).append(kSps).u8(0);
    EXPECT_EQ(E_FAIL, ParseEntry(VisualEntry("avc1", 64, 64, Box("avcC", record))));

    // More PPS announced than present.
    record = Bytes();
    record.u8(1).u8(66).u8(0).u8(30).u8(0xFF).u8(0xE1).u16(10).append(kSps).u8(3).u16(4).append(kPps);
    EXPECT_EQ(E_FAIL, ParseEntry(VisualEntry("avc1", 64, 64, Box("avcC", record))));

    // The record stops before the PPS count.
    record = Bytes();
    record.u8(1).u8(66).u8(0).u8(30).u8(0xFF).u8(0xE1).u16(10).append(kSps);
    EXPECT_EQ(E_FAIL, ParseEntry(VisualEntry("avc1", 64, 64, Box("avcC", record))));
    EXPECT_EQ(nullptr, m_pDesc->GetConfig());
}

// --- audio entries ------------------------------------------------------------

TEST_F(SampleDescriptionTest, AmrEntriesDifferOnlyInSubtypeAndFormatType)
{
    const struct {
        Bytes entry;
        GUID subtype, formattype;
    } cases[] = {{AudioEntry("samr", 1, Box("damr", Bytes().zeros(9))), MEDIASUBTYPE_AMR_NB, FORMAT_AMR_NB},
                 {AudioEntry("sawb", 1), MEDIASUBTYPE_AMR_WB, FORMAT_AMR_WB}};
    for (const auto& c : cases) {
        ASSERT_EQ(S_OK, ParseEntry(c.entry));
        EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Audio, Type().majortype));
        EXPECT_TRUE(IsEqualGUID(c.subtype, Type().subtype));
        EXPECT_TRUE(IsEqualGUID(c.formattype, Type().formattype));
        EXPECT_EQ((std::vector<uint8_t>{3, 0}), Slice(Type().Format(), Type().FormatLength()));
        EXPECT_EQ(TRUE, Type().bFixedSizeSamples);
        EXPECT_EQ(1u, Type().lSampleSize);
        EXPECT_EQ(0u, m_pDesc->GetConfigLength());
    }
    EXPECT_EQ(E_FAIL, ParseEntry(Box("samr", Bytes().zeros(27))));
}

namespace {

// Builds an AudioSpecificConfig bit by bit.
class BitWriter {
public:
    BitWriter& Put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            if (m_bit == 0) m_bytes.push_back(0);
            if ((value >> i) & 1) m_bytes.back() |= static_cast<uint8_t>(0x80 >> m_bit);
            m_bit = (m_bit + 1) % 8;
        }
        return *this;
    }
    Bytes Done() const { return Bytes(m_bytes); }

private:
    std::vector<uint8_t> m_bytes;
    int m_bit = 0;
};

struct AacBlock {
    uint32_t rate;
    uint16_t two;
    uint8_t channels, sbr, ps, type;
};

}  // namespace

class AacEntryTest : public SampleDescriptionTest {
protected:
    HRESULT ParseAac(const Bytes& asc, uint16_t entryChannels = 2, EsdsOptions options = EsdsOptions())
    {
        options.objectType = 0x40;
        return ParseEntry(AudioEntry("mp4a", entryChannels, Esds(asc, options)));
    }
    AacBlock Block() const
    {
        EXPECT_EQ(12u, Type().FormatLength());
        const BYTE* f = Type().Format();
        EXPECT_EQ(0, f[10]);
        EXPECT_EQ(0, f[11]);
        return AacBlock{Le32(f), static_cast<uint16_t>(f[4] | (f[5] << 8)), f[6], f[7], f[8], f[9]};
    }
};

TEST_F(AacEntryTest, LcStereoGivesTheTwelveByteBlock)
{
    ASSERT_EQ(S_OK, ParseAac(Bytes{0x12, 0x10}));
    EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Audio, Type().majortype));
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_MPEG4_AAC, Type().subtype));
    EXPECT_TRUE(IsEqualGUID(FORMAT_MPEG4_AAC, Type().formattype));
    const std::vector<uint8_t> expected{0x44, 0xAC, 0x00, 0x00, 0x02, 0x00, 0x02, 0xFF, 0xFF, 0x02, 0x00, 0x00};
    EXPECT_EQ(expected, Slice(Type().Format(), Type().FormatLength()));
    EXPECT_EQ(nullptr, m_pDesc->GetConfig());
    EXPECT_EQ(0u, m_pDesc->GetStartCode());
}

namespace {

// An AudioSpecificConfig from (value, bit count) fields, most significant first.
Bytes Bits(std::initializer_list<std::pair<uint32_t, int>> fields)
{
    BitWriter bits;
    for (const auto& field : fields) bits.Put(field.first, field.second);
    return bits.Done();
}

}  // namespace

// Each row: a configuration, the entry's channel count and descriptor
// lengths, and the block it must give (rate, channels, SBR, PS, object type).
TEST_F(AacEntryTest, ConfigurationsGiveTheirBlocks)
{
    const uint8_t kOpen = 0xFF;
    const struct {
        const char* name;
        Bytes asc;
        uint16_t entryChannels;
        bool bLongLengths;
        int specificLengthOverride;
        AacBlock expected;
    } cases[] = {
        {"explicit SBR without the 16 bits that settle it", Bytes{0x2B, 0x92, 0x08, 0x00}, 2, false, -1,
         {22050, 2, 2, kOpen, kOpen, 5}},
        {"explicit SBR with 16 more bits", Bytes{0x2B, 0x92, 0x08, 0x00, 0x12, 0x34}, 2, false, -1,
         {22050, 2, 2, 1, kOpen, 5}},
        // AAC LC, 24 kHz, stereo; sync extension: SBR at 48 kHz, then PS.
        {"sync extension with SBR and PS",
         Bits({{2, 5}, {6, 4}, {2, 4}, {0, 3}, {0x2B7, 11}, {5, 5}, {1, 1}, {3, 4}, {0x548, 11}, {1, 1}, {0, 3}}), 2,
         false, -1, {24000, 2, 2, 1, 1, 2}},
        {"sync extension with SBR only",
         Bits({{2, 5}, {6, 4}, {2, 4}, {0, 3}, {0x2B7, 11}, {5, 5}, {1, 1}, {3, 4}, {0, 4}}), 2, false, -1,
         {24000, 2, 2, 1, kOpen, 2}},
        {"sync extension with SBR off", Bits({{2, 5}, {6, 4}, {2, 4}, {0, 3}, {0x2B7, 11}, {5, 5}, {0, 1}, {0, 15}}),
         2, false, -1, {24000, 2, 2, 0, kOpen, 2}},
        {"LTP is never SBR", Bits({{4, 5}, {3, 4}, {1, 4}, {0, 3}, {0x2B7, 11}, {5, 5}, {1, 1}, {3, 4}, {0, 7}}), 2,
         false, -1, {48000, 2, 1, 0, 0, 4}},
        {"explicit rate", Bits({{2, 5}, {15, 4}, {12345, 24}, {1, 4}, {0, 3}}), 2, false, -1,
         {12345, 2, 1, kOpen, kOpen, 2}},
        {"reserved rate index; 7 channels means 8", Bits({{2, 5}, {13, 4}, {7, 4}, {0, 3}}), 2, false, -1,
         {0, 2, 8, kOpen, kOpen, 2}},
        {"channel configuration 0 takes the entry's count", Bits({{2, 5}, {11, 4}, {0, 4}, {0, 3}}), 5, false, -1,
         {8000, 2, 5, kOpen, kOpen, 2}},
        {"reserved channel configuration", Bits({{2, 5}, {3, 4}, {9, 4}, {0, 3}}), 2, false, -1,
         {48000, 2, 0xFF, kOpen, kOpen, 2}},
        {"escaped object type", Bits({{31, 5}, {10, 6}, {4, 4}, {2, 4}, {0, 16}}), 2, false, -1,
         {44100, 2, 2, kOpen, kOpen, 42}},
        // Type 29 (PS) with a short configuration: left open for the detection.
        {"PS object type", Bytes{0xEB, 0x8A, 0x08, 0x00}, 2, false, -1, {22050, 2, 1, kOpen, kOpen, 29}},
        {"four-byte descriptor lengths", Bytes{0x12, 0x10}, 2, true, -1, {44100, 2, 2, kOpen, kOpen, 2}},
        // The stated length is far beyond the entry: the bytes that are there, then zeros.
        {"configuration running past the entry", Bytes{0x12, 0x10}, 2, false, 0x7F, {44100, 2, 2, kOpen, kOpen, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EsdsOptions options;
        options.bLongLengths = c.bLongLengths;
        options.specificLengthOverride = c.specificLengthOverride;
        ASSERT_EQ(S_OK, ParseAac(c.asc, c.entryChannels, options));
        AacBlock block = Block();
        EXPECT_EQ(c.expected.rate, block.rate);
        EXPECT_EQ(c.expected.two, block.two);
        EXPECT_EQ(c.expected.channels, block.channels);
        EXPECT_EQ(c.expected.sbr, block.sbr);
        EXPECT_EQ(c.expected.ps, block.ps);
        EXPECT_EQ(c.expected.type, block.type);
    }
}

TEST_F(AacEntryTest, RejectsMalformedEntries)
{
    EsdsOptions options;
    options.objectType = 0x6B;  // MPEG-1 audio
    EXPECT_EQ(E_FAIL, ParseEntry(AudioEntry("mp4a", 2, Esds(Bytes{0x12, 0x10}, options))));

    // "esds" at an offset that is not a multiple of four is not found.
    Bytes shifted = Box("free", Bytes().zeros(2)) + Esds(Bytes{0x12, 0x10});
    EXPECT_EQ(E_FAIL, ParseEntry(AudioEntry("mp4a", 2, shifted)));

    EXPECT_EQ(E_FAIL, ParseEntry(AudioEntry("mp4a", 2)));
    EXPECT_EQ(E_FAIL, ParseEntry(Box("mp4a", Bytes().zeros(27))));

    EsdsOptions esTooLong;
    esTooLong.objectType = 0x40;
    esTooLong.esLengthOverride = 0x7F;
    EXPECT_EQ(E_FAIL, ParseEntry(AudioEntry("mp4a", 2, Esds(Bytes{0x12, 0x10}, esTooLong))));

    // The esds cut right after the ES descriptor tag.
    Bytes esds = Esds(Bytes{0x12, 0x10});
    Bytes cut(std::vector<uint8_t>(esds.data().begin(), esds.data().begin() + 14));
    EXPECT_EQ(E_FAIL, ParseEntry(AudioEntry("mp4a", 2, cut)));
}

// --- media type hand-over and the NAL rewrite -----------------------------------

TEST_F(SampleDescriptionTest, GetMediaTypeReplacesTheTargetWithADeepCopy)
{
    ASSERT_EQ(S_OK, ParseEntry(VisualEntry("avc1", 176, 144, AvcC(3, {kSps}, {kPps}))));
    CMediaType target;
    target.SetType(&MEDIATYPE_Audio);
    const BYTE old[] = {1, 2, 3};
    ASSERT_EQ(S_OK, target.SetFormat(old, sizeof(old)));
    ASSERT_EQ(S_OK, m_pDesc->GetMediaType(&target));
    EXPECT_TRUE(target == Type());
    EXPECT_NE(Type().Format(), target.Format());
    EXPECT_EQ(E_POINTER, m_pDesc->GetMediaType(nullptr));
}

TEST(NalLengthRewrite, TurnsFourByteLengthsIntoStartCodes)
{
    CBox header(nullptr, testbox::FourCC("stsd"), 8, 8, 0);
    CSampleDescriptionBox desc(header);
    MovieTestAccess::SetStartCode(desc, 1);

    std::vector<BYTE> data{0, 0, 0, 5, 0x65, 1, 2, 3, 4, 0, 0, 0, 3, 0x41, 5, 6};
    ASSERT_EQ(16u, data.size());
    EXPECT_EQ(S_OK, desc.RewriteNalLengths(data.data(), 16));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 1, 0x65, 1, 2, 3, 4, 0, 0, 0, 1, 0x41, 5, 6}), data);

    // A prefix with fewer than four bytes left is not touched.
    std::vector<BYTE> trailing{0, 0, 0, 2, 0xAA, 0xBB, 0, 0, 7};
    EXPECT_EQ(S_OK, desc.RewriteNalLengths(trailing.data(), 9));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 1, 0xAA, 0xBB, 0, 0, 7}), trailing);

    // A NAL length of zero is still a prefix; the next one follows directly.
    std::vector<BYTE> empty{0, 0, 0, 0, 0, 0, 0, 1, 0x09};
    EXPECT_EQ(S_OK, desc.RewriteNalLengths(empty.data(), 9));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 1, 0, 0, 0, 1, 0x09}), empty);

    // Length 0 touches nothing; a huge NAL length ends the walk.
    std::vector<BYTE> untouched{0, 0, 0, 5};
    EXPECT_EQ(S_OK, desc.RewriteNalLengths(untouched.data(), 0));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 5}), untouched);
    std::vector<BYTE> huge{0xFF, 0xFF, 0xFF, 0xFE, 1, 2, 3, 4};
    EXPECT_EQ(S_OK, desc.RewriteNalLengths(huge.data(), 8));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 1, 1, 2, 3, 4}), huge);
}
