#include "movie.h"

#include <new>

#include "moviebytes.h"
#include "movietrack.h"

REFERENCE_TIME MovieUnitsToReferenceTime(ULONGLONG llValue, DWORD dwTimeScale)
{
    if (dwTimeScale == 0) {
        return 0;
    }
    // The product wraps modulo 2^64 and is then taken as signed.
    const LONGLONG llProduct = static_cast<LONGLONG>(llValue * static_cast<ULONGLONG>(MOVIE_UNITS_PER_SECOND));
    return llProduct / static_cast<LONGLONG>(dwTimeScale);
}

// --- file type ------------------------------------------------------------

CFileTypeBox::CFileTypeBox(ByteSource* pSource, LONGLONG llSize, ULONGLONG llFileOffset)
    : CBox(pSource, BOX_FTYP, 8, llSize, llFileOffset)
{
}

CFileTypeBox::~CFileTypeBox()
{
    ReleaseData();
}

DWORD CFileTypeBox::Parse()
{
    // Any major brand will do; the brands are not examined.
    if (GetData(L"File Type") == NULL || m_cbData < 4) {
        return 0;
    }
    return 2;
}

// --- movie ----------------------------------------------------------------

CMovie::CMovie(ByteSource* pSource)
    : m_pSource(pSource),
      m_dwFileType(0),
      m_dwTimeScale(1),
      m_llDuration(0),
      m_llFragmentDuration(0),
      m_rtDuration(0),
      m_bMoofsLost(false)
{
    for (DWORD i = 0; i < META_COUNT; ++i) {
        m_apwszMeta[i] = NULL;
    }
}

CMovie::~CMovie()
{
    DestroyTracks();
    ReleaseMetaData();
}

void CMovie::DestroyTracks()
{
    for (DWORD i = 0; i < m_tracks.size(); ++i) {
        delete m_tracks[i];
    }
    m_tracks.clear();
}

HRESULT CMovie::GuardedRead(LONGLONG llPosition, DWORD cbLength, BYTE* pBuffer)
{
    if (m_pSource == NULL) {
        return E_FAIL;
    }
    // The upstream reader may throw; nothing else in the module does.
    try {
        return m_pSource->Read(llPosition, cbLength, pBuffer);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

namespace {

// Where a top-level box ends. A compact size of 1 takes the 64-bit size that
// follows, which must cover its own 16-byte header and stay inside the
// stream (phones write the media data this way before the movie box); 0 runs
// to the end of the stream; 2 to 7 cannot be placed. A 32-bit size is taken
// as written: the scan ends when it reaches past the end.
bool PlaceTopLevelBox(ByteSource* pSource, LONGLONG llPos, DWORD dwSize, DWORD* pcbHeader, LONGLONG* pllSize)
{
    const LONGLONG llLeft = pSource->Length() - llPos;
    *pcbHeader = 8;
    *pllSize = dwSize;
    if (dwSize >= 8) {
        return true;
    }
    if (dwSize == 0) {
        *pllSize = llLeft;
        return llLeft > 0;
    }
    BYTE abLarge[8];
    if (dwSize != 1 || FAILED(ReadWhole(pSource, llPos + 8, 8, abLarge))) {
        return false;
    }
    const ULONGLONG ullSize = ReadU64BE(abLarge);
    if (llLeft < 16 || ullSize < 16 || ullSize > static_cast<ULONGLONG>(llLeft)) {
        return false;
    }
    *pcbHeader = 16;
    *pllSize = static_cast<LONGLONG>(ullSize);
    return true;
}

}  // namespace

void CMovie::ScanTopLevel(bool* pbFileType, bool* pbMediaData, CBox** ppMoov)
{
    if (m_pSource->Length() <= 0) {
        return;
    }
    LONGLONG llPos = 0;
    for (;;) {
        BYTE abSize[4];
        BYTE abType[4];
        // A header cut by the end of the stream ends the scan like a failed read.
        if (FAILED(ReadWhole(m_pSource, llPos, 4, abSize)) || FAILED(ReadWhole(m_pSource, llPos + 4, 4, abType))) {
            return;
        }
        const DWORD dwSize = ReadU32BE(abSize);
        const DWORD dwType = ReadU32BE(abType);
        DWORD cbHeader = 8;
        LONGLONG llSize = 0;
        const bool bPlaced = PlaceTopLevelBox(m_pSource, llPos, dwSize, &cbHeader, &llSize);
        if (dwType == BOX_FTYP) {
            CFileTypeBox* pFileType = new (std::nothrow) CFileTypeBox(m_pSource, dwSize, llPos);
            m_dwFileType = pFileType != NULL ? pFileType->Parse() : 0;
            delete pFileType;
            *pbFileType = true;
        } else if (dwType == BOX_MDAT) {
            *pbMediaData = true;
        } else if (dwType == BOX_MOOV) {
            // A later movie box replaces an earlier one. The earlier one has
            // not been enumerated yet, so it is destroyed at once. One that
            // cannot be placed leaves the file without a movie box.
            delete *ppMoov;
            *ppMoov = bPlaced ? new (std::nothrow) CBox(m_pSource, BOX_MOOV, cbHeader, llSize, llPos) : NULL;
        } else if (dwType == BOX_MOOF && bPlaced) {
            // Only its place is kept: it is read once the tracks are known.
            // Past the cap the later fragments are not played.
            m_bMoofsLost = FAILED(m_moofs.Add(llPos, llSize, cbHeader)) || m_bMoofsLost;
        }
        if (!bPlaced) {
            return;
        }
        llPos += llSize;
        if (llPos >= m_pSource->Length()) {
            return;
        }
    }
}

HRESULT CMovie::ParseMovieHeader(CBox* pMvhd)
{
    if (FAILED(pMvhd->ReadFullBoxHeader())) {
        return E_FAIL;
    }
    const BYTE* pData = pMvhd->GetData(L"Movie Header");
    if (pData == NULL) {
        return E_FAIL;
    }
    // A header too short for the fields of its version is refused like an
    // unreadable one: the values cannot be trusted and are never read past
    // the payload.
    HRESULT hr = S_OK;
    if (pMvhd->GetVersion() == 0 && pMvhd->GetDataLength() >= 16) {
        m_dwTimeScale = ReadU32BE(pData + 8);
        m_llDuration = ReadU32BE(pData + 12);
    } else if (pMvhd->GetVersion() == 1 && pMvhd->GetDataLength() >= 28) {
        m_dwTimeScale = ReadU32BE(pData + 16);
        m_llDuration = ReadU64BE(pData + 20);
    } else {
        hr = E_FAIL;
    }
    pMvhd->ReleaseData();
    return hr;
}

void CMovie::ParseTracks(CBox* pMoov)
{
    // A fragmented track may have no "moov" samples: its duration is known
    // only once its fragments are read (DropTracksWithoutDuration).
    CChildHeader mvex;
    const bool bFragmented = pMoov->FindChildHeader(BOX_MVEX, &mvex);
    for (DWORD i = 0; i < pMoov->GetChildCount(); ++i) {
        CBox* pChild = pMoov->GetChild(i);
        if (pChild == NULL || pChild->GetType() != BOX_TRAK) {
            continue;
        }
        CMovieTrack* pTrack = new (std::nothrow) CMovieTrack(this);
        if (pTrack == NULL) {
            continue;
        }
        HRESULT hr = pTrack->ParseTrack(pChild);
        // A time scale of 0 converts every duration to 0, so such a track is
        // dropped here with the tracks that are too short.
        if (SUCCEEDED(hr) && pTrack->IsUsable() && (bFragmented || pTrack->GetDuration() != 0) &&
            SUCCEEDED(m_tracks.push_back(pTrack))) {
            continue;
        }
        delete pTrack;
    }
}

HRESULT CMovie::Parse()
{
    bool bFileType = false;
    bool bMediaData = false;
    CBox* pMoov = NULL;
    ScanTopLevel(&bFileType, &bMediaData, &pMoov);

    CBox* pMvhd = pMoov != NULL ? pMoov->FindChild(BOX_MVHD) : NULL;
    if (!bFileType || !bMediaData || pMoov == NULL || m_dwFileType == 0 || pMvhd == NULL) {
        delete pMoov;
        return E_FAIL;
    }
    if (FAILED(ParseMovieHeader(pMvhd))) {
        delete pMoov;
        return E_FAIL;
    }
    ParseTracks(pMoov);
    ParseFragments(pMoov);
    CBox* pUdta = pMoov->FindChild(BOX_UDTA);
    if (pUdta != NULL) {
        ParseUserData(this, pUdta);
    }
    delete pMoov;
    return S_OK;
}

REFERENCE_TIME CMovie::GetDuration()
{
    if (m_rtDuration != 0) {
        return m_rtDuration;
    }
    for (DWORD i = 0; i < m_tracks.size(); ++i) {
        if (m_tracks[i] == NULL) {
            continue;
        }
        REFERENCE_TIME rtTrack = m_tracks[i]->GetDuration();
        if (rtTrack > m_rtDuration) {
            m_rtDuration = rtTrack;
        }
    }
    if (m_rtDuration > 0) {
        return m_rtDuration;
    }
    m_rtDuration = MovieUnitsToReferenceTime(m_llDuration != 0 ? m_llDuration : m_llFragmentDuration, m_dwTimeScale);
    return m_rtDuration;
}
