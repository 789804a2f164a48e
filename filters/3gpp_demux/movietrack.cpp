#include "movietrack.h"

#include <new>

#include "movie.h"
#include "moviebytes.h"
#include "moviefragments.h"
#include "moviereport.h"
#include "moviesampledesc.h"
#include "moviesampletables.h"
#include "movietimetables.h"

CMovieTrack::CMovieTrack(CMovie* pMovie)
    : m_pSampleSize(NULL),
      m_pSyncSample(NULL),
      m_pSampleToChunk(NULL),
      m_pDecodingTime(NULL),
      m_pCompositionTime(NULL),
      m_pChunkOffset(NULL),
      m_pSampleDescription(NULL),
      m_pFragments(NULL),
      m_pMovie(pMovie),
      m_dwTrackId(0),
      m_llMediaDuration(0),
      m_dwMediaTimeScale(0),
      m_llStartOffset(0),
      m_bUsable(FALSE),
      m_bVideo(FALSE),
      m_bAudio(FALSE),
      m_dwOffsetSample(0xFFFFFFFF),
      m_dwOffsetIndex(0),
      m_llOffsetInChunk(0)
{
}

CMovieTrack::~CMovieTrack()
{
    m_pMovie = NULL;
    delete m_pDecodingTime;
    delete m_pCompositionTime;
    delete m_pSampleSize;
    delete m_pSyncSample;
    delete m_pSampleToChunk;
    delete m_pChunkOffset;
    delete m_pSampleDescription;
    delete m_pFragments;
}

HRESULT CMovieTrack::ParseTrack(CBox* pTrak)
{
    CBox* pTkhd = pTrak->FindChild(BOX_TKHD);
    if (pTkhd == NULL) {
        return E_FAIL;
    }
    // An unreadable header leaves the flags 0: the track counts as disabled.
    pTkhd->ReadFullBoxHeader();
    if ((pTkhd->GetFlags() & 0x01) == 0) {
        m_bUsable = FALSE;
        return S_OK;
    }
    // The track ID (after the creation and modification times, 32 or 64
    // bits each by version); a header too short for it leaves 0, which no
    // fragment names.
    const LONGLONG llIdAt = pTkhd->GetVersion() == 1 ? 16 : 8;
    BYTE abId[4];
    if (pTkhd->PayloadLength() >= llIdAt + 4 && SUCCEEDED(pTkhd->ReadAt(llIdAt, sizeof(abId), abId))) {
        m_dwTrackId = ReadU32BE(abId);
    }
    CBox* pEdts = pTrak->FindChild(BOX_EDTS);
    if (pEdts != NULL) {
        HRESULT hr = ParseEditList(pEdts);
        if (FAILED(hr)) {
            MOVIE_REPORT_ERROR(L"ERROR[Parser] CMovieTrack::ParseEditList() has error.\r\n");
            return hr;
        }
    }
    CBox* pMdia = pTrak->FindChild(BOX_MDIA);
    if (pMdia == NULL) {
        return E_FAIL;
    }
    return ParseMedia(pMdia);
}

HRESULT CMovieTrack::ParseMedia(CBox* pMdia)
{
    CBox* pMdhd = pMdia->FindChild(BOX_MDHD);
    if (pMdhd == NULL) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Media Header box does not exist.\r\n");
        return E_FAIL;
    }
    pMdhd->ReadFullBoxHeader();
    const BYTE* pData = pMdhd->GetData(L"Media Box");
    if (pData == NULL) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Read Media Header Box into buffer failed.\r\n");
        return E_FAIL;
    }
    if (pMdhd->GetVersion() == 1 ? pMdhd->GetDataLength() < 28 : pMdhd->GetDataLength() < 16) {
        pMdhd->ReleaseData();
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Media Header size is too small.\r\n");
        return E_FAIL;
    }
    if (pMdhd->GetVersion() == 1) {
        m_dwMediaTimeScale = ReadU32BE(pData + 16);
        m_llMediaDuration = ReadU64BE(pData + 20);
    } else {
        m_dwMediaTimeScale = ReadU32BE(pData + 8);
        m_llMediaDuration = ReadU32BE(pData + 12);
    }
    pMdhd->ReleaseData();

    CBox* pMinf = pMdia->FindChild(BOX_MINF);
    if (pMinf == NULL) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Media Information Box does not exist.\r\n");
        return E_FAIL;
    }
    if (pMinf->FindChild(BOX_VMHD) != NULL) {
        m_bVideo = TRUE;
        m_bAudio = FALSE;
    } else if (pMinf->FindChild(BOX_SMHD) != NULL) {
        m_bAudio = TRUE;
        m_bVideo = FALSE;
    } else {
        m_bUsable = FALSE;
        return S_OK;
    }
    m_bUsable = TRUE;
    CBox* pStbl = pMinf->FindChild(BOX_STBL);
    if (pStbl == NULL) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Sample Table Box does not exist.\r\n");
        return E_FAIL;
    }
    HRESULT hr = ParseSampleTable(pStbl);
    if (FAILED(hr)) {
        return hr;
    }
    // Some writers leave the media header's duration 0 though the tables hold
    // samples; the decoding times then give the track its length. A track
    // without samples keeps 0 and is dropped.
    if (m_llMediaDuration == 0) {
        m_llMediaDuration = m_pDecodingTime->GetTotalDuration();
    }
    return S_OK;
}

HRESULT CMovieTrack::ParseSampleTable(CBox* pStbl)
{
    HRESULT hr = ParseLocationTables(pStbl);
    if (FAILED(hr)) {
        return hr;
    }
    return ParseTimeTables(pStbl);
}

// Sample description, sizes, sample-to-chunk and chunk offsets. Each object
// is the track's as soon as it exists, so a failure later leaves it to the
// track's destructor.
HRESULT CMovieTrack::ParseLocationTables(CBox* pStbl)
{
    CBox* pChild = pStbl->FindChild(BOX_STSD);
    if (pChild == NULL) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Sample Description Box does not exist.\r\n");
        return E_FAIL;
    }
    m_pSampleDescription = new (std::nothrow) CSampleDescriptionBox(*pChild);
    if (m_pSampleDescription == NULL) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = m_pSampleDescription->Parse();
    if (FAILED(hr)) {
        return hr;
    }

    pChild = pStbl->FindChild(BOX_STSZ);
    if (pChild == NULL) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Sample Size Box does not exist.\r\n");
        return E_FAIL;
    }
    m_pSampleSize = new (std::nothrow) CSampleSizeBox(*pChild);
    if (m_pSampleSize == NULL) {
        return E_OUTOFMEMORY;
    }
    hr = m_pSampleSize->Parse();
    if (FAILED(hr)) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Sample Size Box parse failed.\r\n");
        return hr;
    }

    pChild = pStbl->FindChild(BOX_STSC);
    if (pChild == NULL) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Sample To Chunk Box does not exist.\r\n");
        return E_FAIL;
    }
    m_pSampleToChunk = new (std::nothrow) CSampleToChunkBox(*pChild);
    if (m_pSampleToChunk == NULL) {
        return E_OUTOFMEMORY;
    }
    hr = m_pSampleToChunk->Parse();
    if (FAILED(hr)) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Sample To Chunk Box parse failed.\r\n");
        return hr;
    }

    // "stco" wins when both forms are present.
    pChild = pStbl->FindChild(BOX_STCO);
    bool b64BitOffsets = false;
    if (pChild == NULL) {
        pChild = pStbl->FindChild(BOX_CO64);
        b64BitOffsets = true;
    }
    if (pChild == NULL) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Chunk Offset Box does not exist.\r\n");
        return E_FAIL;
    }
    m_pChunkOffset = new (std::nothrow) CChunkOffsetBox(*pChild, b64BitOffsets);
    if (m_pChunkOffset == NULL) {
        return E_OUTOFMEMORY;
    }
    hr = m_pChunkOffset->Parse();
    if (FAILED(hr)) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Chunk Offset Box parse failed.\r\n");
        return hr;
    }
    return S_OK;
}

// Composition offsets (optional), decoding times, sync samples (optional).
HRESULT CMovieTrack::ParseTimeTables(CBox* pStbl)
{
    HRESULT hr;
    CBox* pChild = pStbl->FindChild(BOX_CTTS);
    if (pChild != NULL) {
        m_pCompositionTime = new (std::nothrow) CCompositionTimeToSampleBox(*pChild);
        if (m_pCompositionTime == NULL) {
            return E_OUTOFMEMORY;
        }
        hr = m_pCompositionTime->ParseTable();
        if (FAILED(hr)) {
            MOVIE_REPORT_ERROR(L"ERROR[Parser] Composition Time To Sample Box parse failed.\r\n");
            return hr;
        }
    }

    pChild = pStbl->FindChild(BOX_STTS);
    if (pChild == NULL) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Decoding Time To Sample Box does not exist.\r\n");
        return E_FAIL;
    }
    m_pDecodingTime = new (std::nothrow) CDecodingTimeToSampleBox(*pChild);
    if (m_pDecodingTime == NULL) {
        return E_OUTOFMEMORY;
    }
    m_pDecodingTime->SetCompositionTable(m_pCompositionTime);
    hr = m_pDecodingTime->ParseTable();
    if (FAILED(hr)) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Decoding Time To Sample Box parse failed.\r\n");
        return hr;
    }

    pChild = pStbl->FindChild(BOX_STSS);
    if (pChild == NULL) {
        return S_OK;
    }
    m_pSyncSample = new (std::nothrow) CSyncSampleBox(*pChild);
    if (m_pSyncSample == NULL) {
        return E_OUTOFMEMORY;
    }
    hr = m_pSyncSample->ParseTable();
    if (FAILED(hr)) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Sync Sample Box parse failed.\r\n");
        return hr;
    }
    return S_OK;
}
