// The per-sample operations of a track: reading a sample's bytes and the
// conversions between sample numbers and 100-ns times.
#include "movietrack.h"

#include <string.h>

#include "movie.h"
#include "moviefragments.h"
#include "moviesampledesc.h"
#include "moviesampletables.h"
#include "movietimetables.h"

HRESULT CMovieTrack::GetOffsetInChunk(DWORD dwSample, DWORD dwIndexInChunk, ULONGLONG* pllOffset)
{
    if (m_pSampleSize->GetConstantSize() != 0) {
        // A 32-bit product, as the table's fields are.
        *pllOffset = static_cast<DWORD>(m_pSampleSize->GetConstantSize() * dwIndexInChunk);
        return S_OK;
    }
    // A sample cannot have more predecessors in its chunk than there are
    // samples before it; only a corrupt sample-to-chunk table says so.
    if (dwIndexInChunk > dwSample) {
        return E_FAIL;
    }
    ULONGLONG llOffset = 0;
    if (dwIndexInChunk != 0) {
        if (m_dwOffsetSample + 1 == dwSample && m_dwOffsetIndex + 1 == dwIndexInChunk) {
            llOffset = m_llOffsetInChunk + m_pSampleSize->GetSampleSize(dwSample - 1);
        } else {
            for (DWORD dwPrev = dwSample - dwIndexInChunk; dwPrev < dwSample; ++dwPrev) {
                llOffset += m_pSampleSize->GetSampleSize(dwPrev);
            }
        }
    }
    m_dwOffsetSample = dwSample;
    m_dwOffsetIndex = dwIndexInChunk;
    m_llOffsetInChunk = llOffset;
    *pllOffset = llOffset;
    return S_OK;
}

HRESULT CMovieTrack::ReadSample(DWORD dwSample, BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbSample)
{
    *pcbSample = 0;
    if (m_pFragments != NULL && dwSample >= GetMoovSampleCount()) {
        return ReadFragmentSample(dwSample, pBuffer, cbBuffer, pcbSample);
    }
    if (m_pSampleSize == NULL || m_pSampleToChunk == NULL || m_pChunkOffset == NULL || m_pMovie == NULL) {
        return E_FAIL;
    }
    const DWORD cbSample = m_pSampleSize->GetSampleSize(dwSample);
    if (cbSample == 0) {
        return S_FALSE;
    }
    if (cbBuffer < cbSample || pBuffer == NULL) {
        return VFW_E_BUFFER_OVERFLOW;
    }
    DWORD dwChunk = 0;
    DWORD dwIndexInChunk = 0;
    m_pSampleToChunk->GetChunkOfSample(dwSample, &dwChunk, &dwIndexInChunk);
    ULONGLONG llInChunk = 0;
    if (FAILED(GetOffsetInChunk(dwSample, dwIndexInChunk, &llInChunk))) {
        return E_FAIL;
    }
    const ULONGLONG llBase = m_pChunkOffset->GetChunkOffset(dwChunk);
    if (static_cast<LONGLONG>(llBase) < 0) {
        return E_FAIL;  // includes the all-ones answer for a chunk outside the table
    }
    return ReadSampleBytes(llBase + llInChunk, cbSample, pBuffer, pcbSample);
}

HRESULT CMovieTrack::ReadSampleBytes(ULONGLONG llPosition, DWORD cbSample, BYTE* pBuffer, DWORD* pcbSample)
{
    HRESULT hr = m_pMovie->GuardedRead(static_cast<LONGLONG>(llPosition), cbSample, pBuffer);
    // A failed read may have written any part of the buffer, or none; the
    // size is still reported and the AAC detection looks at the bytes
    // without testing the result, so they are made zeros, not leftovers.
    if (hr != S_OK) {
        memset(pBuffer, 0, cbSample);
    }
    // The rewrite runs whatever the read returned, on the caller's bytes.
    if (m_pSampleDescription != NULL && m_pSampleDescription->GetStartCode() != 0) {
        m_pSampleDescription->RewriteNalLengths(pBuffer, cbSample);
    }
    *pcbSample = cbSample;
    return hr;
}

HRESULT CMovieTrack::GetSampleTime(DWORD dwSample, REFERENCE_TIME* prtStart, REFERENCE_TIME* prtDuration)
{
    *prtStart = 0;
    *prtDuration = 0;
    if (m_pFragments != NULL && dwSample >= GetMoovSampleCount()) {
        CFragmentSample sample;
        HRESULT hr = m_pFragments->GetSample(dwSample, &sample);
        if (FAILED(hr)) {
            return hr;
        }
        *prtStart = AddWrapping(m_llStartOffset, MovieUnitsToReferenceTime(sample.llTime, m_dwMediaTimeScale));
        *prtDuration = MovieUnitsToReferenceTime(sample.dwDuration, m_dwMediaTimeScale);
        return S_OK;
    }
    if (m_pDecodingTime == NULL) {
        return E_FAIL;
    }
    DWORD dwTime = 0;
    DWORD dwDelta = 0;
    m_pDecodingTime->GetSampleTimeAndDelta(dwSample, &dwTime, &dwDelta);
    *prtStart = AddWrapping(m_llStartOffset, MovieUnitsToReferenceTime(dwTime, m_dwMediaTimeScale));
    *prtDuration = MovieUnitsToReferenceTime(dwDelta, m_dwMediaTimeScale);
    return S_OK;
}

DWORD CMovieTrack::GetSampleAtTime(REFERENCE_TIME rtTime)
{
    // (time - start offset) × time scale / 10,000,000: the difference and the
    // product wrap modulo 2^64, the division is signed and truncating, and the
    // low 32 bits are the media time.
    const ULONGLONG llSince = static_cast<ULONGLONG>(rtTime) - static_cast<ULONGLONG>(m_llStartOffset);
    const LONGLONG llScaled = static_cast<LONGLONG>(llSince * static_cast<ULONGLONG>(m_dwMediaTimeScale));
    const LONGLONG llMediaTime = llScaled / MOVIE_UNITS_PER_SECOND;
    if (m_pFragments != NULL && m_pFragments->SampleCount() != 0) {
        // Fragment times are 64-bit; a time before the first run is a
        // "moov" sample's, and a time past the end is answered 0 as there.
        const DWORD dwSample =
            llMediaTime >= 0 ? m_pFragments->GetSampleAtTime(static_cast<ULONGLONG>(llMediaTime)) : FRAGMENT_NO_SAMPLE;
        if (dwSample != FRAGMENT_NO_SAMPLE) {
            return dwSample;
        }
        if (GetMoovSampleCount() == 0) {
            return 0;
        }
    }
    if (m_pDecodingTime == NULL) {
        return 0;
    }
    return m_pDecodingTime->GetSampleAtMediaTime(static_cast<DWORD>(static_cast<ULONGLONG>(llMediaTime)));
}

DWORD CMovieTrack::GetSyncSampleAtTime(REFERENCE_TIME rtTime)
{
    return GetSyncSampleAtOrBefore(GetSampleAtTime(rtTime));
}

REFERENCE_TIME CMovieTrack::GetDuration()
{
    // A fragmented track lasts to the end of its last fragment when its
    // header says less (0 in a file written as it was recorded).
    ULONGLONG llDuration = m_llMediaDuration;
    if (m_pFragments != NULL && m_pFragments->SampleCount() != 0 && m_pFragments->EndTime() > llDuration) {
        llDuration = m_pFragments->EndTime();
    }
    return MovieUnitsToReferenceTime(llDuration, m_dwMediaTimeScale);
}

DWORD CMovieTrack::GetMaxSampleSize() const
{
    DWORD cbLargest = m_pSampleSize != NULL ? m_pSampleSize->GetMaxSampleSize() : 0;
    if (m_pFragments != NULL && m_pFragments->MaxSampleSize() > cbLargest) {
        cbLargest = m_pFragments->MaxSampleSize();
    }
    return cbLargest;
}

DWORD CMovieTrack::GetLargestReadableSample()
{
    DWORD cbLargest = GetMaxSampleSize();
    LONGLONG llStream = 0;
    if (m_pMovie != NULL && m_pMovie->GetSource() != NULL) {
        llStream = m_pMovie->GetSource()->Length();
    }
    if (llStream >= 0 && static_cast<ULONGLONG>(llStream) < cbLargest) {
        cbLargest = static_cast<DWORD>(llStream);
    }
    return cbLargest;
}
