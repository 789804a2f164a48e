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

const DWORD kGenre = 3;  // after title, album and author

// A movie without tracks whose moov carries the given extra children.
struct ParsedMovie {
    testsrc::MemorySource source;
    std::unique_ptr<CMovie> movie;
    HRESULT hr = E_FAIL;

    // "-" for a null string, else the UTF-8 text.
    std::string Meta(DWORD index) const
    {
        LPCWSTR pwsz = movie->GetMetaString(index);
        return pwsz == nullptr ? "-" : ToUtf8(pwsz);
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

Bytes Udta(const Bytes& payload) { return Box("udta", payload); }

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

// Each row: the user data, and the four strings the movie then gives
// (title, album, author, genre; "-" for none). The parse succeeds in every case.
TEST(MovieMetadata, UserDataGivesTheFourStrings)
{
    const char* const A = "-";
    const struct {
        const char* name;
        Bytes moovChild;
        const char* strings[4];
    } cases[] = {
        {"item list fills all four",
         Udta(Meta(Item("\xA9nam", Utf8("The Title")) + Item("\xA9" "alb", Utf8("An Album")) +
                   Item("\xA9" "ART", Utf8("Someone")) + Item("\xA9gen", Utf8("Chiptune")))),
         {"The Title", "An Album", "Someone", "Chiptune"}},
        {"item text keeps UTF-8 beyond ASCII", Udta(Meta(Item("\xA9nam", Utf8("T\xC3\xABst \xE2\x82\xAC \xF0\x9F\x8E\xB5")))),
         {"T\xC3\xABst \xE2\x82\xAC \xF0\x9F\x8E\xB5", A, A, A}},
        {"malformed UTF-8 becomes a replacement character", Udta(Meta(Item("\xA9nam", Utf8("a\xC3")))),
         {"a\xEF\xBF\xBD", A, A, A}},
        {"empty item value", Udta(Meta(Item("\xA9" "ART", Bytes()))), {A, A, "", A}},
        // The text item comes first in the file but is looked up last.
        {"text genre replaces coded genre",
         Udta(Meta(Item("\xA9gen", Utf8("Own Genre")) + Item("gnre", Bytes().u16(9), 0))), {A, A, A, "Own Genre"}},
        // Item without "data", "data" shorter than its two prefix words, a
        // genre code of one byte, a "data" box claiming more than its item.
        {"damaged items",
         Udta(Meta(Box("\xA9nam", Box("free", Bytes().u32(0))) + Box("\xA9" "alb", Box("data", Bytes().u32(1))) +
                   Item("gnre", Bytes().u8(7), 0) +
                   Box("\xA9" "ART", RawBox(400, "data", Bytes().u32(1).u32(0).str("long"))))),
         {A, A, A, A}},
        {"meta without handler", Udta(Meta(Item("\xA9nam", Utf8("x")), false)), {A, A, A, A}},
        {"meta without item list", Udta(FullBox("meta", 0, 0, Hdlr())), {A, A, A, A}},
        // Nothing to enumerate, and the word is not a header.
        {"meta of a bare version word", Udta(FullBox("meta", 0, 0)), {A, A, A, A}},
        {"meta hides asset boxes",
         Udta(Asset("titl", Utf8("Asset")) + Asset("auth", Utf8("Writer")) + Meta(Item("\xA9nam", Utf8("Item Title")))),
         {"Item Title", A, A, A}},
        {"even a meta that yields nothing", Udta(Asset("titl", Utf8("Asset")) + FullBox("meta", 0, 0, Hdlr())),
         {A, A, A, A}},
        {"UTF-8 assets with and without terminator",
         Udta(Asset("titl", Utf8("Asset Title").u8(0)) + Asset("auth", Utf8("Asset Author"))),
         {"Asset Title", A, "Asset Author", A}},
        {"UTF-8 asset beyond ASCII", Udta(Asset("auth", Utf8("J\xC3\xBCrgen"))), {A, A, "J\xC3\xBCrgen", A}},
        {"UTF-16 asset with mark and terminator", Udta(Asset("titl", Utf16Be(u"Hi", true).u16(0))), {"Hi", A, A, A}},
        {"UTF-16 beyond ASCII and the BMP, no terminator", Udta(Asset("auth", Utf16Be(u"\u00DC\u20AC\U0001F3B5"))),
         {A, A, "\xC3\x9C\xE2\x82\xAC\xF0\x9F\x8E\xB5", A}},
        {"UTF-16 with an odd trailing byte", Udta(Asset("titl", Utf16Be(u"Ok").u8('!'))), {"Ok", A, A, A}},
        {"UTF-16 byte-order mark only", Udta(Asset("titl", Utf16Be(u""))), {"", A, A, A}},
        {"asset without language: no value, the walk goes on",
         Udta(FullBox("titl", 0, 0) + Asset("auth", Utf8("A"))), {A, A, "A", A}},
        {"asset of its 6 header bytes only", Udta(Asset("titl", Bytes())), {"", A, A, A}},
        {"asset of one byte, too short for a mark", Udta(Asset("titl", Bytes().u8(0xFE))), {"\xEF\xBF\xBD", A, A, A}},
        // "auth" claims more bytes than "udta" holds: enumeration ends before it.
        {"asset past its parent",
         Udta(Asset("titl", Utf8("Kept")) + RawBox(500, "auth", Bytes().u32(0).u16(0).str("x"))), {"Kept", A, A, A}},
        {"udta past its parent", RawBox(5000, "udta", Asset("titl", Utf8("Lost"))), {A, A, A, A}},
        {"later asset replaces earlier",
         Udta(Asset("titl", Utf8("First")) + Box("free") + Asset("titl", Utf8("Second"))), {"Second", A, A, A}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = ParseWithMoovChildren(c.moovChild);
        ASSERT_EQ(S_OK, p->hr);
        for (DWORD i = 0; i < 4; ++i) EXPECT_EQ(c.strings[i], p->Meta(i)) << "string " << i;
        EXPECT_EQ(nullptr, p->movie->GetMetaString(4));
        EXPECT_EQ(nullptr, p->movie->GetMetaString(0xFFFFFFFF));
    }
}

TEST(MovieMetadata, GenreCodeNamesTheTableEntry)
{
    struct Case {
        uint16_t code;
        const char* name;
    } cases[] = {{1, "Blues"},         {15, "R&B "},      {16, "Rap "},
                 {48, "Instrumental Rock"}, {52, "Techno-Industrial"},  // the longest, uncut
                 {57, "Southern Rock"},   {115, "Folklore"},  {0, "Not Specified"},
                 {116, "Not Specified"},  {0xFFFF, "Not Specified"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        auto p = ParseWithMoovChildren(Udta(Meta(Item("gnre", Bytes().u16(c.code), 0))));
        EXPECT_EQ(c.name, p->Meta(kGenre));
    }
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
