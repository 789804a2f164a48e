// Movie metadata from the "udta" box of the movie: an item list in a "meta"
// box (title, album, artist, genre), or, without "meta", the 3GPP asset
// boxes "titl" and "auth". Metadata is optional: whatever is wrong here
// leaves a value absent and never fails the movie parse.
#include "movie.h"

#include <new>
#include <string.h>

#include "moviebytes.h"

namespace {

const DWORD BOX_HDLR = MOVIE_FOURCC('h', 'd', 'l', 'r');
const DWORD BOX_ILST = MOVIE_FOURCC('i', 'l', 's', 't');
const DWORD BOX_DATA = MOVIE_FOURCC('d', 'a', 't', 'a');
const DWORD BOX_TITL = MOVIE_FOURCC('t', 'i', 't', 'l');
const DWORD BOX_AUTH = MOVIE_FOURCC('a', 'u', 't', 'h');
const DWORD ITEM_NAME = MOVIE_FOURCC(0xA9, 'n', 'a', 'm');
const DWORD ITEM_ALBUM = MOVIE_FOURCC(0xA9, 'a', 'l', 'b');
const DWORD ITEM_ARTIST = MOVIE_FOURCC(0xA9, 'A', 'R', 'T');
const DWORD ITEM_GENRE_TEXT = MOVIE_FOURCC(0xA9, 'g', 'e', 'n');
const DWORD ITEM_GENRE_CODE = MOVIE_FOURCC('g', 'n', 'r', 'e');

// Type indicator and locale words in front of an item's value.
const DWORD ITEM_DATA_PREFIX = 8;
// Version, flags and packed language code in front of an asset string.
const DWORD ASSET_STRING_START = 6;
const WORD UTF16_BOM = 0xFEFF;

// Titles and names are short; a longer value is taken for damage and left
// absent rather than read into memory.
const DWORD MAX_META_VALUE_BYTES = 0x10000;

// 17 characters and the terminator: the longest names have 17.
const DWORD GENRE_NAME_CHARS = 18;

// ID3v1 genres; code n names entry n - 1.
const char* const g_apszGenres[] = {
    "Blues", "Classic Rock", "Country", "Dance", "Disco", "Funk", "Grunge", "Hip-Hop",
    "Jazz", "Metal", "New Age", "Oldies", "Other", "Pop", "R&B ", "Rap ", "Reggae", "Rock",
    "Techno", "Industrial", "Alternative", "Ska", "Death Metal", "Pranks", "Soundtrack",
    "Euro-Techno", "Ambient", "Trip-Hop", "Vocal", "Jazz+Funk", "Fusion", "Trance",
    "Classical", "Instrumental", "Acid", "House", "Game", "Sound Clip", "Gospel", "Noise",
    "AlternRock", "Bass", "Soul", "Punk", "Space", "Meditative", "Instrumental Pop",
    "Instrumental Rock", "Ethnic", "Gothic", "Darkwave", "Techno-Industrial", "Electronic",
    "Pop-Folk", "Eurodance", "Dream", "Southern Rock", "Comedy", "Cult", "Gangsta", "Top 40",
    "Christian Rap", "Pop/Funk", "Jungle", "Native American", "Cabaret", "New Wave",
    "Psychadelic", "Rave", "Showtunes", "Trailer", "Lo-Fi", "Tribal", "Acid Punk",
    "Acid Jazz", "Polka", "Retro", "Musical", "Rock & Roll", "Hard Rock", "Folk",
    "Folk/Rock", "National Folk", "Swing", "Bebob", "Latin", "Revival", "Celtic",
    "Bluegrass", "Avantgarde", "Gothic Rock", "Progressive Rock", "Psychedelic Rock",
    "Symphonic Rock", "Slow Rock", "Big Band", "Chorus", "Easy Listening", "Acoustic",
    "Humour", "Speech", "Chanson", "Opera", "Chamber Music", "Sonata", "Symphony",
    "Booty Bass", "Primus", "Porn Groove", "Satire", "Slow Jam", "Club", "Tango", "Samba",
    "Folklore",
};
const WORD GENRE_COUNT = sizeof(g_apszGenres) / sizeof(g_apszGenres[0]);
typedef char GenreTableHas115Names[GENRE_COUNT == 115 ? 1 : -1];

// The items read from the list, in lookup order: "©gen" after "gnre", so
// that a text genre replaces a coded one.
struct ItemMapping {
    DWORD dwItem;
    DWORD dwIndex;
    bool bGenreCode;
};
const ItemMapping g_aItems[] = {
    {ITEM_NAME, META_TITLE, false},
    {ITEM_ALBUM, META_ALBUM, false},
    {ITEM_ARTIST, META_AUTHOR, false},
    {ITEM_GENRE_CODE, META_GENRE, true},
    {ITEM_GENRE_TEXT, META_GENRE, false},
};

// UTF-8 bytes to a new zero-terminated UTF-16 string. The buffer has one
// character more than there are bytes (UTF-8 never needs more UTF-16 units
// than bytes), so the result ends in a zero whether or not the bytes held
// one.
HRESULT Utf8ToNewWide(const BYTE* pbText, DWORD cbText, LPWSTR* ppwsz)
{
    *ppwsz = NULL;
    LPWSTR pwsz = new (std::nothrow) WCHAR[cbText + 1];
    if (pwsz == NULL) {
        return E_OUTOFMEMORY;
    }
    int cch = 0;
    if (cbText != 0) {
        cch = MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<LPCSTR>(pbText),
                                  static_cast<int>(cbText), pwsz, static_cast<int>(cbText));
    }
    if (cch < 0 || static_cast<DWORD>(cch) > cbText) {
        cch = 0;
    }
    pwsz[cch] = 0;
    *ppwsz = pwsz;
    return S_OK;
}

// Big-endian UTF-16 bytes to UTF-8, so that both asset encodings take the
// same road to the stored string. Every character survives, not only
// ASCII. A trailing odd byte is not a whole unit and is dropped.
HRESULT Utf16BeToNewUtf8(const BYTE* pbText, DWORD cbText, BYTE** ppbUtf8, DWORD* pcbUtf8)
{
    *ppbUtf8 = NULL;
    *pcbUtf8 = 0;
    const DWORD cUnits = cbText / 2;
    // Three UTF-8 bytes per unit at most (a surrogate pair is four for two).
    BYTE* pbUtf8 = new (std::nothrow) BYTE[cUnits * 3 + 1];
    if (pbUtf8 == NULL) {
        return E_OUTOFMEMORY;
    }
    int cbOut = 0;
    if (cUnits != 0) {
        WCHAR* pwchUnits = new (std::nothrow) WCHAR[cUnits];
        if (pwchUnits == NULL) {
            delete[] pbUtf8;
            return E_OUTOFMEMORY;
        }
        for (DWORD i = 0; i < cUnits; ++i) {
            pwchUnits[i] = static_cast<WCHAR>(ReadU16BE(pbText + 2 * i));
        }
        cbOut = WideCharToMultiByte(CP_UTF8, 0, pwchUnits, static_cast<int>(cUnits),
                                    reinterpret_cast<LPSTR>(pbUtf8),
                                    static_cast<int>(cUnits * 3), NULL, NULL);
        delete[] pwchUnits;
        if (cbOut < 0 || static_cast<DWORD>(cbOut) > cUnits * 3) {
            cbOut = 0;
        }
    }
    pbUtf8[cbOut] = 0;
    *ppbUtf8 = pbUtf8;
    *pcbUtf8 = static_cast<DWORD>(cbOut);
    return S_OK;
}

}  // namespace

HRESULT CMovie::ParseUserData(CMovie* pMovie, CBox* pUdta)
{
    if (pMovie == NULL || pUdta == NULL) {
        return E_POINTER;
    }
    CBox* pMeta = pUdta->FindChild(BOX_META);
    if (pMeta == NULL) {
        return pMovie->ParseAssetStrings(pUdta);
    }
    // With an item list present the 3GPP asset boxes are not looked at.
    return pMovie->ParseMetaBox(pMeta);
}

HRESULT CMovie::ParseMetaBox(CBox* pMeta)
{
    // A full box: its children start after the version and flags word.
    pMeta->EnumerateChildren(4);
    if (pMeta->GetEnumeratedChildCount() == 0) {
        // FindChild would enumerate again from offset 0 and take the
        // version word for a box header.
        return S_FALSE;
    }
    if (pMeta->FindChild(BOX_HDLR) == NULL) {
        return S_FALSE;
    }
    CBox* pIlst = pMeta->FindChild(BOX_ILST);
    if (pIlst == NULL) {
        return S_FALSE;
    }
    return ParseItemList(pIlst);
}

HRESULT CMovie::ParseItemList(CBox* pIlst)
{
    for (DWORD i = 0; i < sizeof(g_aItems) / sizeof(g_aItems[0]); ++i) {
        CBox* pItem = pIlst->FindChild(g_aItems[i].dwItem);
        if (pItem == NULL) {
            continue;
        }
        BYTE* pbValue = NULL;
        DWORD cbValue = 0;
        if (ReadItemData(pItem, &pbValue, &cbValue) != S_OK) {
            continue;  // no value; out of memory for it included
        }
        LPWSTR pwszValue = NULL;
        if (g_aItems[i].bGenreCode) {
            // A genre code needs its two bytes; a shorter value is no value.
            const bool bHasCode = cbValue >= 2;
            const WORD wCode = bHasCode ? ReadU16BE(pbValue) : 0;
            delete[] pbValue;
            if (!bHasCode) {
                continue;
            }
            pwszValue = GetGenreName(wCode);
        } else {
            Utf8ToNewWide(pbValue, cbValue, &pwszValue);
            delete[] pbValue;
        }
        if (pwszValue == NULL) {
            return E_OUTOFMEMORY;  // values stored so far stay
        }
        StoreMeta(g_aItems[i].dwIndex, pwszValue);
    }
    return S_OK;
}

HRESULT CMovie::ReadItemData(CBox* pItem, BYTE** ppValue, DWORD* pcbValue)
{
    *ppValue = NULL;
    *pcbValue = 0;
    CBox* pData = pItem->FindChild(BOX_DATA);
    if (pData == NULL) {
        return S_FALSE;
    }
    const LONGLONG llPayload = pData->PayloadLength();
    if (llPayload < static_cast<LONGLONG>(ITEM_DATA_PREFIX) ||
        llPayload - ITEM_DATA_PREFIX > static_cast<LONGLONG>(MAX_META_VALUE_BYTES)) {
        return S_FALSE;
    }
    const DWORD cbValue = static_cast<DWORD>(llPayload - ITEM_DATA_PREFIX);
    BYTE* pbValue = new (std::nothrow) BYTE[cbValue + 1];
    if (pbValue == NULL) {
        return E_OUTOFMEMORY;
    }
    memset(pbValue, 0, cbValue + 1);
    if (cbValue != 0) {
        HRESULT hr = pData->ReadAt(ITEM_DATA_PREFIX, cbValue, pbValue);
        if (FAILED(hr)) {
            delete[] pbValue;
            return hr;
        }
    }
    *ppValue = pbValue;
    *pcbValue = cbValue;
    return S_OK;
}

HRESULT CMovie::ParseAssetStrings(CBox* pUdta)
{
    const DWORD dwCount = pUdta->GetChildCount();
    for (DWORD i = 0; i < dwCount; ++i) {
        CBox* pChild = pUdta->GetChild(i);
        if (pChild == NULL) {
            break;
        }
        DWORD dwIndex;
        if (pChild->GetType() == BOX_TITL) {
            dwIndex = META_TITLE;
        } else if (pChild->GetType() == BOX_AUTH) {
            dwIndex = META_AUTHOR;
        } else {
            continue;
        }
        BYTE* pbString = NULL;
        DWORD cbString = 0;
        HRESULT hr = ReadAssetString(pChild, &pbString, &cbString);
        if (FAILED(hr)) {
            return E_FAIL;
        }
        if (hr != S_OK) {
            continue;  // too short to hold a string
        }
        LPWSTR pwszValue = NULL;
        hr = Utf8ToNewWide(pbString, cbString, &pwszValue);
        delete[] pbString;
        if (FAILED(hr)) {
            return hr;
        }
        StoreMeta(dwIndex, pwszValue);
    }
    return S_OK;
}

HRESULT CMovie::ReadAssetString(CBox* pAsset, BYTE** ppString, DWORD* pcbString)
{
    *ppString = NULL;
    *pcbString = 0;
    const LONGLONG llPayload = pAsset->PayloadLength();
    if (llPayload > static_cast<LONGLONG>(ASSET_STRING_START + 2 + MAX_META_VALUE_BYTES)) {
        return S_FALSE;
    }
    const BYTE* pbPayload = pAsset->GetData(L"Asset Meta-Data");
    if (pbPayload == NULL) {
        return E_FAIL;
    }
    const DWORD cbPayload = pAsset->GetDataLength();
    if (cbPayload < ASSET_STRING_START) {
        pAsset->ReleaseData();
        return S_FALSE;
    }
    // A string of 6 or 7 bytes cannot hold a byte-order mark: it is UTF-8.
    const bool bUtf16 = cbPayload >= ASSET_STRING_START + 2 &&
                        ReadU16BE(pbPayload + ASSET_STRING_START) == UTF16_BOM;

    HRESULT hr;
    BYTE* pbString = NULL;
    DWORD cbString = 0;
    if (bUtf16) {
        const DWORD dwStart = ASSET_STRING_START + 2;
        hr = Utf16BeToNewUtf8(pbPayload + dwStart, cbPayload - dwStart, &pbString, &cbString);
    } else {
        // One byte more than the string, zero, so the bytes always end in a terminator.
        cbString = cbPayload - ASSET_STRING_START;
        pbString = new (std::nothrow) BYTE[cbString + 1];
        hr = pbString != NULL ? S_OK : E_OUTOFMEMORY;
        if (pbString != NULL) {
            memcpy(pbString, pbPayload + ASSET_STRING_START, cbString);
            pbString[cbString] = 0;
        }
    }
    pAsset->ReleaseData();
    if (FAILED(hr)) {
        return hr;
    }
    *ppString = pbString;
    *pcbString = cbString;
    return S_OK;
}

LPWSTR CMovie::GetGenreName(WORD wCode)
{
    const char* pszName = "Not Specified";
    if (wCode >= 1 && wCode <= GENRE_COUNT) {
        pszName = g_apszGenres[wCode - 1];
    }
    LPWSTR pwszName = new (std::nothrow) WCHAR[GENRE_NAME_CHARS];
    if (pwszName == NULL) {
        return NULL;
    }
    DWORD i = 0;
    for (; pszName[i] != '\0' && i < GENRE_NAME_CHARS - 1; ++i) {
        pwszName[i] = static_cast<WCHAR>(static_cast<BYTE>(pszName[i]));
    }
    pwszName[i] = 0;
    return pwszName;
}

LPCWSTR CMovie::GetMetaString(DWORD dwIndex) const
{
    return dwIndex < META_COUNT ? m_apwszMeta[dwIndex] : NULL;
}

// A value stored a second time replaces the earlier one.
void CMovie::StoreMeta(DWORD dwIndex, LPWSTR pwszValue)
{
    delete[] m_apwszMeta[dwIndex];
    m_apwszMeta[dwIndex] = pwszValue;
}

void CMovie::ReleaseMetaData()
{
    for (DWORD i = 0; i < META_COUNT; ++i) {
        delete[] m_apwszMeta[i];
        m_apwszMeta[i] = NULL;
    }
}
