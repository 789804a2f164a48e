#include "moviesampletables.h"

#include "moviebytes.h"

bool MoviePayloadHolds(ULONGLONG cbPayload, ULONGLONG cbFixed, DWORD dwCount, DWORD cbEntry)
{
    if (cbPayload < cbFixed) {
        return false;
    }
    // dwCount × cbEntry fits in 64 bits for any 32-bit count and entry size.
    return static_cast<ULONGLONG>(dwCount) * cbEntry <= cbPayload - cbFixed;
}

namespace {

// The shared shape of "stsc" and "stco"/"co64": version and flags, then a
// 32-bit entry count and that many entries of cbEntry bytes. On success the
// payload stays loaded and *ppEntries points at the first entry; a payload
// too short for its count is released.
HRESULT LoadCountedTable(CBox* pBox, LPCWSTR pwszLabel, DWORD cbEntry, DWORD* pdwCount, const BYTE** ppEntries)
{
    if (FAILED(pBox->ReadFullBoxHeader())) {
        return E_FAIL;
    }
    const BYTE* pData = pBox->GetData(pwszLabel);
    if (pData == NULL) {
        return E_FAIL;
    }
    if (pBox->GetDataLength() < 4) {
        pBox->ReleaseData();
        return E_FAIL;
    }
    DWORD dwCount = ReadU32BE(pData);
    if (!MoviePayloadHolds(pBox->GetDataLength(), 4, dwCount, cbEntry)) {
        pBox->ReleaseData();
        return E_FAIL;
    }
    *pdwCount = dwCount;
    *ppEntries = pData + 4;
    return S_OK;
}

}  // namespace

// --- sample sizes ---------------------------------------------------------

CSampleSizeBox::CSampleSizeBox(const CBox& header)
    : CBox(header), m_dwSampleSize(0), m_dwSampleCount(0), m_pSizes(NULL), m_dwMaxSampleSize(0)
{
}

HRESULT CSampleSizeBox::Parse()
{
    if (FAILED(ReadFullBoxHeader())) {
        return E_FAIL;
    }
    const BYTE* pData = GetData(L"Sample Size");
    if (pData == NULL) {
        return E_FAIL;
    }
    // The shared size and the count must be there before anything is read.
    if (m_cbData < 8) {
        ReleaseData();
        return E_FAIL;
    }
    m_dwSampleSize = ReadU32BE(pData);
    m_dwSampleCount = ReadU32BE(pData + 4);
    if (m_dwSampleSize != 0) {
        m_dwMaxSampleSize = m_dwSampleSize;
        return S_OK;
    }
    if (!MoviePayloadHolds(m_cbData, 8, m_dwSampleCount, 4)) {
        ReleaseData();
        m_dwSampleCount = 0;
        return E_FAIL;
    }
    m_pSizes = pData + 8;
    DWORD dwMax = 0;
    for (DWORD i = 0; i < m_dwSampleCount; ++i) {
        DWORD dwSize = ReadU32BE(m_pSizes + 4 * static_cast<size_t>(i));
        if (dwSize > dwMax) {
            dwMax = dwSize;
        }
    }
    m_dwMaxSampleSize = dwMax;
    return S_OK;
}

DWORD CSampleSizeBox::GetSampleSize(DWORD dwSample) const
{
    if (m_dwSampleSize != 0) {
        return m_dwSampleSize;
    }
    if (dwSample >= m_dwSampleCount || m_pSizes == NULL) {
        return 0;
    }
    return ReadU32BE(m_pSizes + 4 * static_cast<size_t>(dwSample));
}

// --- sample to chunk ------------------------------------------------------

CSampleToChunkBox::CSampleToChunkBox(const CBox& header)
    : CBox(header),
      m_dwEntryCount(0),
      m_pEntries(NULL),
      m_dwChunk(1),
      m_dwIndexInChunk(0xFFFFFFFF),
      m_dwLastSample(0xFFFFFFFF),
      m_dwEntry(0)
{
}

HRESULT CSampleToChunkBox::Parse()
{
    const BYTE* pEntries = NULL;
    HRESULT hr = LoadCountedTable(this, L"Sample To Chunk", 12, &m_dwEntryCount, &pEntries);
    if (SUCCEEDED(hr)) m_pEntries = pEntries;
    return hr;
}

DWORD CSampleToChunkBox::FirstChunk(DWORD dwRun) const
{
    return ReadU32BE(m_pEntries + 12 * static_cast<size_t>(dwRun));
}

DWORD CSampleToChunkBox::SamplesPerChunk(DWORD dwRun) const
{
    return ReadU32BE(m_pEntries + 12 * static_cast<size_t>(dwRun) + 4);
}

HRESULT CSampleToChunkBox::GetChunkOfSample(DWORD dwSample, DWORD* pdwChunk, DWORD* pdwIndexInChunk)
{
    ++m_dwLastSample;  // from all ones to 0 on the first request
    if (m_dwLastSample == dwSample && m_dwEntryCount > 0) {
        const DWORD dwRun = m_dwEntry;
        ++m_dwIndexInChunk;
        if (m_dwIndexInChunk >= SamplesPerChunk(dwRun)) {
            ++m_dwChunk;
            m_dwIndexInChunk = 0;
            // The run moves only when the chunk reaches the next run's first chunk.
            if (dwRun + 1 < m_dwEntryCount && m_dwChunk == FirstChunk(dwRun + 1)) {
                m_dwEntry = dwRun + 1;
            }
        }
    } else {
        SearchChunkOfSample(dwSample);
    }
    *pdwChunk = m_dwChunk;
    *pdwIndexInChunk = m_dwIndexInChunk;
    return S_OK;
}

void CSampleToChunkBox::SearchChunkOfSample(DWORD dwSample)
{
    DWORD dwRun = 0;
    DWORD dwSamplesBefore = 0;  // samples in the runs before dwRun
    DWORD dwFirstChunk = 1;
    DWORD dwPerChunk = 0;
    if (m_dwEntryCount > 0) {
        DWORD dwTotal = 0;
        for (;;) {
            dwFirstChunk = FirstChunk(dwRun);
            dwPerChunk = SamplesPerChunk(dwRun);
            dwSamplesBefore = dwTotal;
            if (dwRun + 1 == m_dwEntryCount) {
                break;  // the last run extends without limit
            }
            dwTotal += (FirstChunk(dwRun + 1) - dwFirstChunk) * dwPerChunk;
            if (dwSample < dwTotal) {
                break;
            }
            ++dwRun;
        }
    }
    // A run of 0 samples per chunk is searched as if it held one.
    const DWORD dwDivisor = dwPerChunk != 0 ? dwPerChunk : 1;
    const DWORD dwInRun = dwSample - dwSamplesBefore;
    const DWORD dwChunksIn = dwInRun / dwDivisor;
    m_dwEntry = dwRun;
    m_dwChunk = dwFirstChunk + dwChunksIn;
    m_dwIndexInChunk = dwInRun - dwChunksIn * dwDivisor;
    m_dwLastSample = dwSample;
}

// --- chunk offsets --------------------------------------------------------

CChunkOffsetBox::CChunkOffsetBox(const CBox& header, bool b64BitOffsets)
    : CBox(header), m_b64BitOffsets(b64BitOffsets), m_dwEntryCount(0), m_pEntries(NULL)
{
}

HRESULT CChunkOffsetBox::Parse()
{
    const BYTE* pEntries = NULL;
    HRESULT hr = LoadCountedTable(this, L"Chunk Offset", m_b64BitOffsets ? 8 : 4, &m_dwEntryCount, &pEntries);
    if (SUCCEEDED(hr)) m_pEntries = pEntries;
    return hr;
}

ULONGLONG CChunkOffsetBox::GetChunkOffset(DWORD dwChunk) const
{
    if (dwChunk == 0 || dwChunk > m_dwEntryCount || m_pEntries == NULL) {
        return ~static_cast<ULONGLONG>(0);
    }
    const size_t cbIndex = static_cast<size_t>(dwChunk - 1);
    if (m_b64BitOffsets) {
        return ReadU64BE(m_pEntries + 8 * cbIndex);
    }
    return ReadU32BE(m_pEntries + 4 * cbIndex);
}
