// The parsed movie: the top-level scan, the movie header, the usable tracks
// in file order and the movie's metadata strings.
#ifndef DEMUX_MOVIE_H
#define DEMUX_MOVIE_H

#include "win32.h"
#include "bytesource.h"
#include "moviebox.h"
#include "moviefragments.h"
#include "movieptrarray.h"

class CMovieTrack;

// The movie's metadata strings, as GetMetaString indexes them.
enum { META_TITLE, META_ALBUM, META_AUTHOR, META_GENRE, META_COUNT };

// Stream time units per second: REFERENCE_TIME counts 100 ns.
const LONGLONG MOVIE_UNITS_PER_SECOND = 10000000LL;

// value × 10,000,000 / time scale in 64-bit integers, the product taken modulo
// 2^64 and the division signed and truncating. A time scale of 0 gives 0, so
// that no caller divides by it: a track or movie without a time scale has no
// duration and its times collapse to the start.
REFERENCE_TIME MovieUnitsToReferenceTime(ULONGLONG llValue, DWORD dwTimeScale);

// a + b and a − b on 100-ns values from the file or the caller, wrapping
// modulo 2^64 instead of overflowing.
inline REFERENCE_TIME AddWrapping(REFERENCE_TIME rtA, REFERENCE_TIME rtB)
{
    return static_cast<REFERENCE_TIME>(static_cast<ULONGLONG>(rtA) + static_cast<ULONGLONG>(rtB));
}
inline REFERENCE_TIME SubtractWrapping(REFERENCE_TIME rtA, REFERENCE_TIME rtB)
{
    return static_cast<REFERENCE_TIME>(static_cast<ULONGLONG>(rtA) - static_cast<ULONGLONG>(rtB));
}

// The "ftyp" box; its parse result is the movie's file type.
class CFileTypeBox : public CBox {
public:
    CFileTypeBox(ByteSource* pSource, LONGLONG llSize, ULONGLONG llFileOffset);
    virtual ~CFileTypeBox();
    // 2 when the payload holds at least the major brand, else 0.
    DWORD Parse();
};

class CMovie {
public:
    explicit CMovie(ByteSource* pSource);
    ~CMovie();

    HRESULT Parse();
    // Longest track, else the movie header's duration; cached.
    REFERENCE_TIME GetDuration();
    // A read of the byte source that turns an exception thrown inside it into E_UNEXPECTED.
    HRESULT GuardedRead(LONGLONG llPosition, DWORD cbLength, BYTE* pBuffer);

    // Metadata (user data) by META_ index; the string stays owned by the
    // movie; null when absent or for another index.
    LPCWSTR GetMetaString(DWORD dwIndex) const;
    static HRESULT ParseUserData(CMovie* pMovie, CBox* pUdta);
    HRESULT ParseMetaBox(CBox* pMeta);
    HRESULT ParseItemList(CBox* pIlst);
    // A zero-terminated copy of an item's "data" value; the caller frees it with delete[].
    HRESULT ReadItemData(CBox* pItem, BYTE** ppValue, DWORD* pcbValue);
    HRESULT ParseAssetStrings(CBox* pUdta);
    // The string bytes of a 3GPP asset box ("titl", "auth"); the caller frees them with delete[].
    HRESULT ReadAssetString(CBox* pAsset, BYTE** ppString, DWORD* pcbString);
    // A new 36-byte buffer holding the name of an ID3v1 genre code (1-based); the caller frees it with delete[].
    static LPWSTR GetGenreName(WORD wCode);
    void ReleaseMetaData();

    ByteSource* GetSource() const { return m_pSource; }
    // 2 for a file with its "ftyp", else 0.
    DWORD GetFileType() const { return m_dwFileType; }
    // The usable tracks in file order; owned by the movie.
    const CPtrArray<CMovieTrack>& GetTracks() const { return m_tracks; }
    DWORD GetTimeScale() const { return m_dwTimeScale; }
    // From "mvhd", in the movie time scale.
    ULONGLONG GetHeaderDuration() const { return m_llDuration; }

private:
    ByteSource* m_pSource;
    DWORD m_dwFileType;
    CPtrArray<CMovieTrack> m_tracks;
    DWORD m_dwTimeScale;
    ULONGLONG m_llDuration;
    ULONGLONG m_llFragmentDuration;  // "mehd", movie time scale; 0 when absent
    REFERENCE_TIME m_rtDuration;
    LPWSTR m_apwszMeta[META_COUNT];  // by GetMetaString's index

    // Scans the top-level boxes; *ppMoov receives the last "moov" seen.
    // Stores a value of the movie's metadata; a later one replaces it.
    void StoreMeta(DWORD dwIndex, LPWSTR pwszValue);
    void ScanTopLevel(bool* pbFileType, bool* pbMediaData, CBox** ppMoov);
    HRESULT ParseMovieHeader(CBox* pMvhd);
    void ParseTracks(CBox* pMoov);
    void DestroyTracks();

    // Movie fragments (moviefragmentparse.cpp).
    void ParseFragments(CBox* pMoov);
    void ParseMovieExtends(CBox* pMvex);
    void ParseMovieFragment(DWORD dwIndex, DWORD* pdwSequence);
    void ParseTrackFragment(CBox* pTraf, ULONGLONG llMoof, ULONGLONG* pllDataEnd);
    CMovieTrack* FindFragmentTrack(DWORD dwTrackId);
    void DropUnplayableFragmentedTracks();

    CMovieFragmentList m_moofs;
    bool m_bMoofsLost;  // a "moof" could not be recorded for want of memory

    CMovie(const CMovie&);
    CMovie& operator=(const CMovie&);
};

#endif
