// CMediaType owns its format block: copies must be deep, equality must look
// at the bytes, and nothing may be left in task memory.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "mediatype.h"
#include "testhooks.h"
#include "win32.h"

namespace {

class MediaTypeTest : public ::testing::Test {
protected:
    void SetUp() override { m_lLiveAtStart = platformtest::CoTaskMemLiveBlocks(); }
    void TearDown() override { EXPECT_EQ(m_lLiveAtStart, platformtest::CoTaskMemLiveBlocks()); }

    static void MakeVideo(CMediaType& mt, const std::vector<BYTE>& format)
    {
        mt.SetType(&MEDIATYPE_Video);
        mt.SetSubtype(&MEDIASUBTYPE_H264);
        mt.SetFormatType(&FORMAT_MPEG2Video);
        ASSERT_EQ(S_OK, mt.SetFormat(format.data(), static_cast<ULONG>(format.size())));
    }

    long m_lLiveAtStart = 0;
};

}  // namespace

TEST_F(MediaTypeTest, CopyAndAssignmentDuplicateTheFormatBlock)
{
    CMediaType original;
    MakeVideo(original, {1, 2, 3, 4, 5});
    original.bTemporalCompression = TRUE;
    original.lSampleSize = 77;

    CMediaType copied(original);
    CMediaType assigned;
    MakeVideo(assigned, {9, 9});  // its old block must be released
    assigned = original;

    for (const CMediaType* pmt : {&copied, &assigned}) {
        EXPECT_TRUE(*pmt == original);
        EXPECT_NE(original.Format(), pmt->Format());
        EXPECT_EQ(TRUE, pmt->bTemporalCompression);
        EXPECT_EQ(77u, pmt->lSampleSize);
        ASSERT_EQ(5u, pmt->FormatLength());
        EXPECT_EQ(0, memcmp(original.Format(), pmt->Format(), 5));
    }
    original.Format()[0] = 0xEE;
    EXPECT_EQ(1, copied.Format()[0]);
    EXPECT_TRUE(copied != original);

    assigned = assigned;  // self-assignment keeps the block
    ASSERT_EQ(5u, assigned.FormatLength());
    EXPECT_EQ(1, assigned.Format()[0]);
}

TEST_F(MediaTypeTest, EqualityComparesGuidsLengthAndFormatBytes)
{
    CMediaType a;
    CMediaType b;
    MakeVideo(a, {1, 2, 3});
    MakeVideo(b, {1, 2, 3});
    EXPECT_TRUE(a == b);

    b.bTemporalCompression = TRUE;  // flags and sample size are not compared
    b.lSampleSize = 5;
    EXPECT_TRUE(a == b);

    b.SetSubtype(&MEDIASUBTYPE_MP4V);
    EXPECT_FALSE(a == b);
    b.SetSubtype(&MEDIASUBTYPE_H264);
    b.SetType(&MEDIATYPE_Audio);
    EXPECT_FALSE(a == b);
    b.SetType(&MEDIATYPE_Video);
    b.SetFormatType(&FORMAT_VideoInfo);
    EXPECT_FALSE(a == b);
    b.SetFormatType(&FORMAT_MPEG2Video);

    const BYTE differentLast[] = {1, 2, 4};
    ASSERT_EQ(S_OK, b.SetFormat(differentLast, 3));
    EXPECT_FALSE(a == b);
    const BYTE longer[] = {1, 2, 3, 0};
    ASSERT_EQ(S_OK, b.SetFormat(longer, 4));
    EXPECT_FALSE(a == b);
}

TEST_F(MediaTypeTest, ReallocKeepsContentsAndZeroFillsGrowth)
{
    CMediaType mt;
    MakeVideo(mt, {7, 8, 9});
    BYTE* pGrown = mt.ReallocFormatBuffer(6);
    ASSERT_NE(nullptr, pGrown);
    EXPECT_EQ(6u, mt.FormatLength());
    const BYTE expected[] = {7, 8, 9, 0, 0, 0};
    EXPECT_EQ(0, memcmp(expected, pGrown, 6));

    ASSERT_NE(nullptr, mt.ReallocFormatBuffer(2));
    EXPECT_EQ(2u, mt.FormatLength());
    EXPECT_EQ(7, mt.Format()[0]);
    EXPECT_EQ(8, mt.Format()[1]);

    EXPECT_EQ(nullptr, mt.ReallocFormatBuffer(0));
    EXPECT_EQ(0u, mt.FormatLength());
    EXPECT_EQ(nullptr, mt.Format());

    CMediaType empty;
    ASSERT_NE(nullptr, empty.ReallocFormatBuffer(4));
    const BYTE zeros[4] = {};
    EXPECT_EQ(0, memcmp(zeros, empty.Format(), 4));
}

TEST_F(MediaTypeTest, AllocSetAndResetReplaceTheBlock)
{
    CMediaType mt;
    BYTE* p = mt.AllocFormatBuffer(10);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(10u, mt.FormatLength());
    EXPECT_EQ(p, mt.AllocFormatBuffer(10));  // same length: same block

    // SetFormat from bytes inside the current block must not read freed memory.
    memset(p, 0x5A, 10);
    ASSERT_EQ(S_OK, mt.SetFormat(p + 2, 4));
    ASSERT_EQ(4u, mt.FormatLength());
    EXPECT_EQ(0x5A, mt.Format()[3]);

    EXPECT_EQ(S_OK, mt.SetFormat(nullptr, 0));
    EXPECT_EQ(0u, mt.FormatLength());
    EXPECT_EQ(E_POINTER, mt.SetFormat(nullptr, 3));

    mt.AllocFormatBuffer(3);
    mt.ResetFormatBuffer();
    EXPECT_EQ(nullptr, mt.Format());
    EXPECT_EQ(0u, mt.FormatLength());
}

TEST_F(MediaTypeTest, FreeFunctionsHandleTaskMemoryRecords)
{
    CMediaType source;
    MakeVideo(source, {4, 3, 2, 1});

    AM_MEDIA_TYPE* pCreated = CreateMediaType(&source);
    ASSERT_NE(nullptr, pCreated);
    EXPECT_TRUE(CMediaType(*pCreated) == source);
    EXPECT_NE(source.pbFormat, pCreated->pbFormat);
    DeleteMediaType(pCreated);
    DeleteMediaType(nullptr);
    EXPECT_EQ(nullptr, CreateMediaType(nullptr));

    AM_MEDIA_TYPE plain;
    ASSERT_EQ(S_OK, CopyMediaType(&plain, &source));
    EXPECT_EQ(4u, plain.cbFormat);
    EXPECT_EQ(E_POINTER, CopyMediaType(&plain, &plain));
    FreeMediaType(plain);
    EXPECT_EQ(nullptr, plain.pbFormat);
    EXPECT_EQ(0u, plain.cbFormat);
    FreeMediaType(plain);  // twice is harmless
}

namespace {

// Counts references; never destroyed through Release.
struct CountingUnknown : IUnknown {
    long refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
};

}  // namespace

TEST_F(MediaTypeTest, CopiesHoldTheirOwnInterfaceReference)
{
    CountingUnknown unk;
    {
        CMediaType source;
        MakeVideo(source, {1});
        source.pUnk = &unk;
        unk.AddRef();  // the reference source holds
        CMediaType copied(source);
        EXPECT_EQ(&unk, copied.pUnk);
        EXPECT_EQ(3, unk.refs);
        CMediaType assigned;
        assigned = copied;
        EXPECT_EQ(4, unk.refs);
        assigned.InitMediaType();
        EXPECT_EQ(3, unk.refs);
        EXPECT_EQ(nullptr, assigned.pUnk);
    }
    EXPECT_EQ(1, unk.refs);
}
