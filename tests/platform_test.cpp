// The host stand-ins must behave like the device's services, or the module's
// tests prove nothing: formatting, conversion, task memory and the page allocator.
#include <gtest/gtest.h>

#include <cstring>

#include "debugcapture.h"
#include "testhooks.h"
#include "win32.h"

// Wide strings for %s, the rest like the wide printf family, and long text uncut.
TEST(DebugOutput, FormatsLikeTheWidePrintfFamily)
{
    DebugCapture capture;
    NKDbgPrintfW(L"ERROR: %s line %d: ", L"source\\filters\\3gpp_demux\\movie", 123);
    NKDbgPrintfW(L"%08X|%x|%5d|%-4u|%I64d|%lld|%hs|%c|%%|%S", 0x8004022Au, 255u, -42, 7u, -5000000000LL,
                 1234567890123LL, "narrow", L'W', "big-s");
    std::vector<WCHAR> longText(2000, L'a');
    longText.back() = 0;
    NKDbgPrintfW(L"[%s]", longText.data());
    ASSERT_EQ(3u, capture.Pieces().size());
    EXPECT_EQ("ERROR: source\\filters\\3gpp_demux\\movie line 123: ", capture.Pieces()[0]);
    EXPECT_EQ("8004022A|ff|  -42|7   |-5000000000|1234567890123|narrow|W|%|big-s", capture.Pieces()[1]);
    EXPECT_EQ(2001u, capture.Pieces()[2].size());
}

TEST(CodePage, Utf8ToUtf16WithSurrogatesAndTerminator)
{
    const char* text = "T\xC3\xA9st \xF0\x9F\x8E\xB5";  // "Tést" and U+1F3B5
    int needed = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    ASSERT_EQ(8, needed);  // 6 BMP characters + a surrogate pair... counted with the terminator
    std::vector<WCHAR> out(static_cast<size_t>(needed));
    ASSERT_EQ(needed, MultiByteToWideChar(CP_UTF8, 0, text, -1, out.data(), needed));
    EXPECT_EQ(0xE9, out[1]);
    EXPECT_EQ(0xD83C, out[5]);
    EXPECT_EQ(0xDFB5, out[6]);
    EXPECT_EQ(0, out[7]);
    EXPECT_EQ(text, ToUtf8(out.data()));
}

TEST(CodePage, MalformedBytesBecomeReplacementAndShortBufferFails)
{
    const char bad[] = {'a', static_cast<char>(0xC3), 'b'};
    WCHAR out[4];
    ASSERT_EQ(3, MultiByteToWideChar(CP_UTF8, 0, bad, 3, out, 4));
    EXPECT_EQ(0xFFFD, out[1]);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abcdef", 6, out, 4));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST(WideStrings, CopyAndPrintfRespectTheBuffer)
{
    WCHAR buf[6];
    EXPECT_EQ(S_OK, StringCchCopyW(buf, 6, L"hello"));
    EXPECT_EQ(5, lstrlenW(buf));
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchCopyW(buf, 6, L"hello!"));
    EXPECT_EQ(5, lstrlenW(buf));
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, StringCchPrintfW(buf, 6, L"%d", 1234567));
    EXPECT_EQ("12345", ToUtf8(buf));
    EXPECT_EQ(0, lstrcmpiW(L"Input", L"INPUT"));
    EXPECT_LT(lstrcmpW(L"Audio", L"Video"), 0);
}

TEST(PageAllocator, CountsCallsAndRefusesForeignFrees)
{
    platformtest::ResetVirtualAllocStats();
    void* p = VirtualAlloc(nullptr, 1 << 20, MEM_COMMIT, PAGE_READWRITE);
    ASSERT_NE(nullptr, p);
    std::memset(p, 0xAB, 1 << 20);
    EXPECT_EQ(1, platformtest::GetVirtualAllocStats().liveBlocks);
    int local = 0;
    EXPECT_FALSE(VirtualFree(&local, 0, MEM_RELEASE));
    EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
    platformtest::VirtualAllocStats s = platformtest::GetVirtualAllocStats();
    EXPECT_EQ(1, s.allocCalls);
    EXPECT_EQ(2, s.freeCalls);
    EXPECT_EQ(0, s.liveBlocks);
}

TEST(PageAllocator, InjectedFailureHitsTheChosenCall)
{
    platformtest::FailVirtualAllocAfter(2);
    void* first = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    void* second = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    void* third = VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
    EXPECT_NE(nullptr, first);
    EXPECT_EQ(nullptr, second);
    EXPECT_NE(nullptr, third);
    VirtualFree(first, 0, MEM_RELEASE);
    VirtualFree(third, 0, MEM_RELEASE);
}

TEST(TaskMemory, LiveBlocksAreCounted)
{
    long before = platformtest::CoTaskMemLiveBlocks();
    void* p = CoTaskMemAlloc(12);
    EXPECT_EQ(before + 1, platformtest::CoTaskMemLiveBlocks());
    CoTaskMemFree(p);
    CoTaskMemFree(nullptr);
    EXPECT_EQ(before, platformtest::CoTaskMemLiveBlocks());
}
