// The box reader: child enumeration, payload reads, the full-box header and
// the two allocators behind payload buffers.
#include <gtest/gtest.h>

#include <algorithm>

#include "moviebox.h"
#include "moviebytes.h"
#include "boxbuilder.h"
#include "testhooks.h"
#include "testsources.h"

using testbox::Box;
using testbox::Bytes;
using testbox::FourCC;

namespace {

// A parent box at file offset `lead` (bytes before it are junk) over its own bytes.
struct Parent {
    Parent(const Bytes& box, const Bytes& trailing = Bytes(), size_t lead = 3)
    {
        source.Data().assign(lead, 0xEE);
        source.Data().insert(source.Data().end(), box.data().begin(), box.data().end());
        source.Data().insert(source.Data().end(), trailing.data().begin(), trailing.data().end());
        bool bLarge = box.data()[3] == 1 && box.data()[0] == 0;
        uint64_t size = bLarge ? 0 : (uint64_t(box.data()[0]) << 24 | box.data()[1] << 16 | box.data()[2] << 8 | box.data()[3]);
        box_ = std::make_unique<CBox>(&source, FourCC("test"), 8, static_cast<LONGLONG>(size), lead);
    }
    CBox& box() { return *box_; }
    testsrc::MemorySource source;
    std::unique_ptr<CBox> box_;
};

std::vector<uint32_t> ChildTypes(CBox& box)
{
    std::vector<uint32_t> types;
    for (DWORD i = 0; i < box.GetChildCount(); ++i) types.push_back(box.GetChild(i)->GetType());
    return types;
}

const uint8_t kUuid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

}  // namespace

TEST(BoxEnumeration, ReadsHeaderFormsAndOffsets)
{
    Parent parent(Box("test", {Box("aaaa", Bytes().zeros(4)), testbox::LargeBox("bbbb", Bytes().zeros(2)),
                               testbox::UuidBox(kUuid, Bytes().zeros(1)), testbox::UuidBox(kUuid, Bytes(), true)}));
    CBox& box = parent.box();
    ASSERT_EQ(box.GetChildCount(), 4u);
    CBox* a = box.GetChild(0);
    EXPECT_EQ(a->GetHeaderLength(), 8u);
    EXPECT_EQ(a->GetSize(), 12);
    EXPECT_EQ(a->GetFileOffset(), 3u + 8u);
    CBox* b = box.GetChild(1);
    EXPECT_EQ(b->GetType(), FourCC("bbbb"));
    EXPECT_EQ(b->GetHeaderLength(), 16u);
    EXPECT_EQ(b->GetSize(), 18);
    EXPECT_EQ(b->GetFileOffset(), 3u + 8u + 12u);
    EXPECT_EQ(box.GetChild(2)->GetHeaderLength(), 24u);
    EXPECT_EQ(box.GetChild(2)->GetSize(), 25);
    EXPECT_EQ(box.GetChild(3)->GetHeaderLength(), 32u);
    EXPECT_EQ(box.GetChild(4), nullptr);
}

TEST(BoxEnumeration, OpenChildReachesExactlyToParentEnd)
{
    Parent parent(Box("test", {Box("aaaa"), testbox::OpenBox("open", Bytes().zeros(5))}), Box("next"));
    ASSERT_EQ(parent.box().GetChildCount(), 2u);
    EXPECT_EQ(parent.box().GetChild(1)->GetSize(), 13);
}

// Each row: a parent's payload, the box after it, and the children found;
// no read reaches past the parent.
TEST(BoxEnumeration, ChildrenAsFarAsTheParentHoldsThem)
{
    const Bytes next = Box("next", Bytes().zeros(8));
    const struct {
        const char* name;
        Bytes payload;
        std::vector<uint32_t> types;
    } cases[] = {
        {"children filling the parent", Box("aaaa") + Box("bbbb"), {FourCC("aaaa"), FourCC("bbbb")}},
        {"a child one byte past the parent's end", Box("aaaa") + testbox::RawBox(17, "bbbb") + Box("cccc"),
         {FourCC("aaaa")}},
        {"a 64-bit size of 0", Box("aaaa") + testbox::RawLargeBox(0, "zero") + Box("bbbb"), {FourCC("aaaa")}},
        // Size 4: a child without payload, the next header 4 bytes on, inside
        // what the first header called its type (8).
        {"undersized child", Bytes().u32(4).u32(8).fourcc("next") + Box("last"), {8u, FourCC("next"), FourCC("last")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Parent parent(Box("test", c.payload), next);
        EXPECT_EQ(ChildTypes(parent.box()), c.types);
        for (const testsrc::ReadRecord& read : parent.source.Reads()) {
            EXPECT_LE(read.position + read.length, int64_t(3 + 8 + c.payload.size()));
        }
    }
    Parent undersized(Box("test", Bytes().u32(4).u32(8).fourcc("next") + Box("last")));
    EXPECT_EQ(undersized.box().GetChild(0)->GetSize(), 4);
    EXPECT_EQ(undersized.box().GetChild(0)->GetData(L"x"), nullptr);
}

TEST(BoxEnumeration, FailedHeaderReadKeepsEarlierChildren)
{
    Parent parent(Box("test", Box("aaaa") + Box("bbbb") + Box("cccc")));
    parent.source.FailReadsInRange(3 + 8 + 8, 3 + 8 + 9);
    EXPECT_EQ(ChildTypes(parent.box()), std::vector<uint32_t>({FourCC("aaaa")}));
}

// A box claiming far more than the file holds, read through a source that
// answers like a file reader at the end: what there is, and S_FALSE. The
// bytes after the end are no header: enumeration stops there.
TEST(BoxEnumeration, ShortReadAtEndOfFileEndsTheEnumeration)
{
    const std::vector<uint8_t> bytes = (Box("aaaa") + Box("bbbb", Bytes().zeros(3))).data();
    testsrc::GeneratedSource source(LONGLONG(bytes.size()),
                                    [&](LONGLONG at) -> BYTE { return at < LONGLONG(bytes.size()) ? bytes[size_t(at)] : 0; });
    CBox box(&source, FourCC("moov"), 8, 4096, 0);
    // The parent's header is not in the source: its payload starts at byte 8.
    EXPECT_EQ(ChildTypes(box), std::vector<uint32_t>({FourCC("bbbb")}));
    EXPECT_LE(source.reads, 3);
}

TEST(BoxEnumeration, FindChildReturnsFirstOfItsType)
{
    Parent parent(Box("test", {Box("aaaa", Bytes().u8(1)), Box("aaaa", Bytes().u8(2))}));
    CBox* found = parent.box().FindChild(FourCC("aaaa"));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetFileOffset(), 3u + 8u);
    EXPECT_EQ(parent.box().FindChild(FourCC("none")), nullptr);
}

TEST(BoxEnumeration, StartOffsetSkipsLeadingWord)
{
    Parent parent(Box("test", Bytes().u32(1) + Box("aaaa")));
    parent.box().EnumerateChildren(4);
    EXPECT_EQ(ChildTypes(parent.box()), std::vector<uint32_t>({FourCC("aaaa")}));
}

TEST(BoxPayload, ReadOnceAndNoneWithoutPayload)
{
    Parent parent(Box("test", Bytes().u32(0xA1B2C3D4)));
    BYTE* data = parent.box().GetData(L"Test");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(ReadU32BE(data), 0xA1B2C3D4u);
    EXPECT_EQ(parent.box().GetDataLength(), 4u);
    long reads = parent.source.ReadCount();
    EXPECT_EQ(parent.box().GetData(L"Test"), data);
    EXPECT_EQ(parent.source.ReadCount(), reads);

    Parent empty(Box("test"));
    EXPECT_EQ(empty.box().GetData(L"Test"), nullptr);
    CBox huge(&parent.source, FourCC("huge"), 8, 0x80000008LL, 0);
    EXPECT_EQ(huge.GetData(L"Huge"), nullptr);
    CBox unsourced(nullptr, FourCC("none"), 8, 12, 0);
    EXPECT_EQ(unsourced.GetData(L"None"), nullptr);
    BYTE buffer[4];
    EXPECT_EQ(unsourced.ReadAt(0, 4, buffer), E_FAIL);
}

TEST(BoxPayload, FullBoxHeaderMovesPayloadPastVersionAndFlags)
{
    Parent compact(testbox::FullBox("test", 1, 0x000207, Bytes().u32(77)));
    ASSERT_EQ(compact.box().ReadFullBoxHeader(), S_OK);
    EXPECT_EQ(compact.box().GetVersion(), 1);
    EXPECT_EQ(compact.box().GetFlags(), 0x000207u);
    EXPECT_EQ(compact.box().GetHeaderLength(), 12u);
    EXPECT_EQ(compact.box().ReadFullBoxHeader(), S_OK);  // a second call changes nothing
    EXPECT_EQ(compact.box().GetHeaderLength(), 12u);
    EXPECT_EQ(ReadU32BE(compact.box().GetData(L"Test")), 77u);

    // A 64-bit header: the payload still starts right after the word.
    testsrc::MemorySource source(testbox::LargeBox("test", Bytes().u32(0x01000000).u32(99)).data());
    CBox large(&source, FourCC("test"), 16, 24, 0);
    ASSERT_EQ(large.ReadFullBoxHeader(), S_OK);
    EXPECT_EQ(large.GetHeaderLength(), 20u);
    EXPECT_EQ(ReadU32BE(large.GetData(L"Test")), 99u);

    Parent tooShort(Box("test", Bytes().u24(0)));
    EXPECT_EQ(tooShort.box().ReadFullBoxHeader(), E_FAIL);
}

TEST(BoxPayload, LargeBlockThresholdAndItsAllocators)
{
    testsrc::MemorySource source(std::vector<uint8_t>(8 + 1048575, 0x5A));
    platformtest::ResetVirtualAllocStats();
    {
        CBox below(&source, FourCC("data"), 8, 8 + 1048574, 0);
        ASSERT_NE(below.GetData(L"Below"), nullptr);
        EXPECT_EQ(platformtest::GetVirtualAllocStats().allocCalls, 0);
        CBox at(&source, FourCC("data"), 8, 8 + 1048575, 0);
        ASSERT_NE(at.GetData(L"At"), nullptr);
        EXPECT_EQ(platformtest::GetVirtualAllocStats().allocCalls, 1);
        EXPECT_EQ(platformtest::GetVirtualAllocStats().liveBlocks, 1);
        below.ReleaseData();
        EXPECT_EQ(platformtest::GetVirtualAllocStats().freeCalls, 0);
        at.ReleaseData();
        EXPECT_FALSE(at.IsDataLoaded());
        EXPECT_EQ(at.GetDataLength(), 0u);
    }
    platformtest::VirtualAllocStats stats = platformtest::GetVirtualAllocStats();
    EXPECT_EQ(stats.freeCalls, 1);
    EXPECT_EQ(stats.liveBlocks, 0);

    platformtest::FailVirtualAllocAfter(1);
    CBox failing(&source, FourCC("data"), 8, 8 + 1048575, 0);
    EXPECT_EQ(failing.AllocData(1048575), E_OUTOFMEMORY);
    EXPECT_EQ(failing.GetDataLength(), 0u);
    platformtest::FailVirtualAllocAfter(1);
    EXPECT_EQ(failing.GetData(L"Data"), nullptr);
    platformtest::FailVirtualAllocAfter(0);
}

TEST(BoxCopy, TakesTheHeaderOnly)
{
    Parent parent(Box("test", Box("aaaa", Bytes().u32(5))));
    CBox* child = parent.box().GetChild(0);
    child->ReadFullBoxHeader();
    CBox copy(*child);
    EXPECT_EQ(copy.GetType(), FourCC("aaaa"));
    EXPECT_EQ(copy.GetHeaderLength(), child->GetHeaderLength());
    EXPECT_EQ(copy.GetSize(), 12);
    EXPECT_EQ(copy.GetFileOffset(), child->GetFileOffset());
    EXPECT_EQ(copy.GetVersion(), 0);
    EXPECT_FALSE(copy.IsDataLoaded());
    EXPECT_EQ(copy.GetEnumeratedChildCount(), 0u);
}
