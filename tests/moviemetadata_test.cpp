// The movie's metadata strings from "moov/udta": item lists and 3GPP asset boxes.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "debugcapture.h"
#include "movie.h"
#include "moviebuilder.h"
#include "testsources.h"

using testbox::Box;
using testbox::Bytes;
using testbox::FullBox;
using testbox::RawBox;

namespace {

const DWORD kTitle = 0, kAlbum = 1, kAuthor = 2, kGenre = 3;

// A movie without tracks whose moov carries the given extra children.
struct ParsedMovie {
    testsrc::MemorySource source;
    std::unique_ptr<CMovie> movie;
    HRESULT hr = E_FAIL;

    // "<absent>" for a null string, else the UTF-8 text.
    std::string Meta(DWORD index) const
    {
        LPCWSTR pwsz = movie->GetMetaString(index);
        return pwsz == nullptr ? "<absent>" : ToUtf8(pwsz);
    }
};

std::unique_ptr<ParsedMovie> ParseWithMoovChildren(const Bytes& children)
{
    testmovie::MovieLayout layout;
    layout.extraMoovChildren = children;
    auto parsed = std::make_unique<ParsedMovie>();
    parsed->source.Data() = testmovie::BuildMovie(layout).bytes;
    parsed->movie = std::make_unique<CMovie>(&parsed->source);
    parsed->hr = parsed->movie->Parse();
    return parsed;
}

std::unique_ptr<ParsedMovie> ParseUdta(const Bytes& udtaPayload)
{
    return ParseWithMoovChildren(Box("udta", udtaPayload));
}

Bytes Utf8(const std::string& text) { return Bytes().str(text); }

// An item box holding one "data" child: type indicator, locale, value.
Bytes Item(const char* code, const Bytes& value, uint32_t typeIndicator = 1)
{
    return Box(code, Box("data", Bytes().u32(typeIndicator).u32(0).append(value)));
}

Bytes Hdlr()
{
    return FullBox("hdlr", 0, 0, Bytes().u32(0).fourcc("mdir").fourcc("appl").zeros(8).u8(0));
}

Bytes Meta(const Bytes& items, bool withHdlr = true)
{
    Bytes children = withHdlr ? Hdlr() : Bytes();
    return FullBox("meta", 0, 0, children.append(Box("ilst", items)));
}

// A 3GPP asset box: version/flags, language "eng", then the string bytes.
Bytes Asset(const char* type, const Bytes& stringBytes)
{
    const uint16_t eng = ((('e' - 0x60) << 10) | (('n' - 0x60) << 5) | ('g' - 0x60));
    return FullBox(type, 0, 0, Bytes().u16(eng).append(stringBytes));
}

Bytes Utf16Be(const std::u16string& text, bool bom = true)
{
    Bytes bytes;
    if (bom) bytes.u16(0xFEFF);
    for (char16_t unit : text) bytes.u16(unit);
    return bytes;
}

}  // namespace

// ---- Item list ---------------------------------------------------------------

TEST(MovieMetadata, ItemListFillsTitleAlbumArtistAndGenre)
{
    auto p = ParseUdta(Meta(Item("\xA9nam", Utf8("The Title")) + Item("\xA9" "alb", Utf8("An Album")) +
                            Item("\xA9" "ART", Utf8("Someone")) + Item("\xA9gen", Utf8("Chiptune"))));
    ASSERT_EQ(S_OK, p->hr);
    EXPECT_EQ("The Title", p->Meta(kTitle));
    EXPECT_EQ("An Album", p->Meta(kAlbum));
    EXPECT_EQ("Someone", p->Meta(kAuthor));
    EXPECT_EQ("Chiptune", p->Meta(kGenre));
    EXPECT_EQ(nullptr, p->movie->GetMetaString(4));
    EXPECT_EQ(nullptr, p->movie->GetMetaString(0xFFFFFFFF));
}

TEST(MovieMetadata, ItemTextKeepsNonAsciiUtf8)
{
    auto p = ParseUdta(Meta(Item("\xA9nam", Utf8("T\xC3\xABst \xE2\x82\xAC \xF0\x9F\x8E\xB5"))));
    EXPECT_EQ("T\xC3\xABst \xE2\x82\xAC \xF0\x9F\x8E\xB5", p->Meta(kTitle));
    // Malformed bytes become a replacement character, never a failure.
    auto bad = ParseUdta(Meta(Item("\xA9nam", Utf8("a\xC3"))));
    EXPECT_EQ(S_OK, bad->hr);
    EXPECT_EQ("a\xEF\xBF\xBD", bad->Meta(kTitle));
}

TEST(MovieMetadata, EmptyItemValueIsEmptyString)
{
    auto p = ParseUdta(Meta(Item("\xA9" "ART", Bytes())));
    EXPECT_EQ("", p->Meta(kAuthor));
}

TEST(MovieMetadata, GenreCodeNamesTheTableEntry)
{
    struct Case {
        uint16_t code;
        const char* name;
    } cases[] = {{1, "Blues"}, {15, "R&B "}, {16, "Rap "}, {57, "Southern Rock"},
                 {115, "Folklore"}, {0, "Not Specified"}, {116, "Not Specified"},
                 {0xFFFF, "Not Specified"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        auto p = ParseUdta(Meta(Item("gnre", Bytes().u16(c.code), 0)));
        EXPECT_EQ(c.name, p->Meta(kGenre));
    }
}

TEST(MovieMetadata, GenreNamesFitTheirBuffer)
{
    // Each name comes in an 18-character buffer; ASan checks the writes.
    size_t longest = 0;
    for (uint32_t code = 0; code <= 0xFFFF; code += (code < 130 ? 1 : 997)) {
        LPWSTR pwsz = CMovie::GetGenreName(static_cast<WORD>(code));
        ASSERT_NE(nullptr, pwsz);
        longest = std::max(longest, static_cast<size_t>(lstrlenW(pwsz)));
        delete[] pwsz;
    }
    EXPECT_EQ(17u, longest);
    LPWSTR pwsz = CMovie::GetGenreName(48);
    EXPECT_EQ("Instrumental Rock", ToUtf8(pwsz));
    delete[] pwsz;
    pwsz = CMovie::GetGenreName(52);
    EXPECT_EQ("Techno-Industrial", ToUtf8(pwsz));
    delete[] pwsz;
}

TEST(MovieMetadata, TextGenreReplacesCodedGenre)
{
    // The text item comes first in the file but is looked up last.
    auto p = ParseUdta(Meta(Item("\xA9gen", Utf8("Own Genre")) + Item("gnre", Bytes().u16(9), 0)));
    EXPECT_EQ("Own Genre", p->Meta(kGenre));
}

TEST(MovieMetadata, DamagedItemsGiveNoValue)
{
    // Item without "data", "data" shorter than its two prefix words, a
    // genre code of one byte, a "data" box claiming more than its item.
    Bytes items = Box("\xA9nam", Box("free", Bytes().u32(0))) +
                  Box("\xA9" "alb", Box("data", Bytes().u32(1))) + Item("gnre", Bytes().u8(7), 0) +
                  Box("\xA9" "ART", RawBox(400, "data", Bytes().u32(1).u32(0).str("long")));
    auto p = ParseUdta(Meta(items));
    ASSERT_EQ(S_OK, p->hr);
    EXPECT_EQ("<absent>", p->Meta(kTitle));
    EXPECT_EQ("<absent>", p->Meta(kAlbum));
    EXPECT_EQ("<absent>", p->Meta(kAuthor));
    EXPECT_EQ("<absent>", p->Meta(kGenre));
}

TEST(MovieMetadata, MetaWithoutHandlerOrItemListGivesNothing)
{
    auto noHdlr = ParseUdta(Meta(Item("\xA9nam", Utf8("x")), false));
    EXPECT_EQ("<absent>", noHdlr->Meta(kTitle));
    auto noIlst = ParseUdta(FullBox("meta", 0, 0, Hdlr()));
    EXPECT_EQ("<absent>", noIlst->Meta(kTitle));
    // A bare version word: nothing to enumerate, and the word is not a header.
    auto bare = ParseUdta(FullBox("meta", 0, 0));
    EXPECT_EQ(S_OK, bare->hr);
}

TEST(MovieMetadata, MetaBoxHidesAssetBoxes)
{
    auto p = ParseUdta(Asset("titl", Utf8("Asset")) + Asset("auth", Utf8("Writer")) +
                       Meta(Item("\xA9nam", Utf8("Item Title"))));
    EXPECT_EQ("Item Title", p->Meta(kTitle));
    EXPECT_EQ("<absent>", p->Meta(kAuthor));
    // Even a "meta" that yields nothing.
    auto empty = ParseUdta(Asset("titl", Utf8("Asset")) + FullBox("meta", 0, 0, Hdlr()));
    EXPECT_EQ("<absent>", empty->Meta(kTitle));
}

// ---- 3GPP asset boxes --------------------------------------------------------

TEST(MovieMetadata, AssetUtf8WithAndWithoutTerminator)
{
    auto p = ParseUdta(Asset("titl", Utf8("Asset Title").u8(0)) + Asset("auth", Utf8("Asset Author")));
    ASSERT_EQ(S_OK, p->hr);
    EXPECT_EQ("Asset Title", p->Meta(kTitle));
    EXPECT_EQ("Asset Author", p->Meta(kAuthor));
    EXPECT_EQ(12, lstrlenW(p->movie->GetMetaString(kAuthor)));
    auto nonAscii = ParseUdta(Asset("auth", Utf8("J\xC3\xBCrgen")));
    EXPECT_EQ("J\xC3\xBCrgen", nonAscii->Meta(kAuthor));
}

TEST(MovieMetadata, AssetUtf16WithByteOrderMark)
{
    auto hi = ParseUdta(Asset("titl", Utf16Be(u"Hi", true).u16(0)));
    EXPECT_EQ("Hi", hi->Meta(kTitle));
    EXPECT_EQ(2, lstrlenW(hi->movie->GetMetaString(kTitle)));
    // No terminator, characters beyond ASCII and beyond the BMP.
    auto wide = ParseUdta(Asset("auth", Utf16Be(u"\u00DC\u20AC\U0001F3B5")));
    EXPECT_EQ("\xC3\x9C\xE2\x82\xAC\xF0\x9F\x8E\xB5", wide->Meta(kAuthor));
    // An odd trailing byte is not a character.
    auto odd = ParseUdta(Asset("titl", Utf16Be(u"Ok").u8('!')));
    EXPECT_EQ("Ok", odd->Meta(kTitle));
    // Only the mark itself.
    auto markOnly = ParseUdta(Asset("titl", Utf16Be(u"")));
    EXPECT_EQ("", markOnly->Meta(kTitle));
}

TEST(MovieMetadata, ShortAssetPayloads)
{
    // 4 bytes (no language): no value, the walk goes on to "auth".
    auto tooShort = ParseUdta(FullBox("titl", 0, 0) + Asset("auth", Utf8("A")));
    EXPECT_EQ("<absent>", tooShort->Meta(kTitle));
    EXPECT_EQ("A", tooShort->Meta(kAuthor));
    // Exactly the 6 header bytes: an empty string; 7: one UTF-8 byte, too
    // short for a byte-order mark.
    auto empty = ParseUdta(Asset("titl", Bytes()));
    EXPECT_EQ("", empty->Meta(kTitle));
    auto one = ParseUdta(Asset("titl", Bytes().u8(0xFE)));
    EXPECT_EQ("\xEF\xBF\xBD", one->Meta(kTitle));
}

TEST(MovieMetadata, AssetBoxesPastTheirParentAreIgnored)
{
    // "auth" claims more bytes than "udta" holds: enumeration ends before it.
    auto p = ParseUdta(Asset("titl", Utf8("Kept")) + RawBox(500, "auth", Bytes().u32(0).u16(0).str("x")));
    ASSERT_EQ(S_OK, p->hr);
    EXPECT_EQ("Kept", p->Meta(kTitle));
    EXPECT_EQ("<absent>", p->Meta(kAuthor));
    // A "udta" claiming more than "moov" holds is no child of it.
    auto big = ParseWithMoovChildren(RawBox(5000, "udta", Asset("titl", Utf8("Lost"))));
    EXPECT_EQ(S_OK, big->hr);
    EXPECT_EQ("<absent>", big->Meta(kTitle));
}

TEST(MovieMetadata, LaterAssetReplacesEarlierOne)
{
    auto p = ParseUdta(Asset("titl", Utf8("First")) + Box("free") + Asset("titl", Utf8("Second")));
    EXPECT_EQ("Second", p->Meta(kTitle));
}

TEST(MovieMetadata, DamagedUserDataNeverFailsTheParse)
{
    // Every single-byte corruption of a user-data box with both layouts'
    // pieces: the parse still succeeds, whatever the strings become.
    const Bytes udta = Box("udta", Asset("titl", Utf16Be(u"Title").u16(0)) +
                                       Asset("auth", Utf8("Author")) +
                                       Meta(Item("\xA9nam", Utf8("Name")) + Item("gnre", Bytes().u16(3), 0)));
    testmovie::MovieLayout layout;
    layout.extraMoovChildren = udta;
    const std::vector<uint8_t> good = testmovie::BuildMovie(layout).bytes;
    const size_t udtaAt = good.size() - udta.size() - 8;  // the empty mdat follows moov
    ASSERT_EQ(0, memcmp(good.data() + udtaAt + 4, "udta", 4));
    const uint8_t values[] = {0x00, 0x01, 0x07, 0x08, 0x7F, 0xFE, 0xFF};
    for (size_t at = udtaAt; at < udtaAt + udta.size(); ++at) {
        for (uint8_t value : values) {
            testsrc::MemorySource source(good);
            source.Data()[at] = value;
            CMovie movie(&source);
            ASSERT_EQ(S_OK, movie.Parse()) << "byte " << at - udtaAt << " = " << int(value);
        }
    }
}
