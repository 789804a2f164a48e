// The track's face over its fragments: sample counts and sync lookups that
// take the "moov" samples first and the fragment samples after them.
#include "movietrack.h"

#include <new>

#include "movie.h"
#include "moviefragments.h"
#include "moviesampletables.h"
#include "movietimetables.h"

DWORD CMovieTrack::GetMoovSampleCount() const
{
    return m_pSampleSize != NULL ? m_pSampleSize->GetSampleCount() : 0;
}

DWORD CMovieTrack::GetSampleCount() const
{
    const DWORD dwMoov = GetMoovSampleCount();
    return m_pFragments != NULL ? dwMoov + m_pFragments->SampleCount() : dwMoov;
}

DWORD CMovieTrack::GetSampleSize(DWORD dwSample)
{
    if (m_pFragments != NULL && dwSample >= GetMoovSampleCount()) {
        CFragmentSample sample;
        return m_pFragments->GetSample(dwSample, &sample) == S_OK ? sample.dwSize : 0;
    }
    return m_pSampleSize != NULL ? m_pSampleSize->GetSampleSize(dwSample) : 0;
}

// A track without a sample, in moov or in movie fragments, would be offered
// as a pin whose allocator cannot be sized and whose runs are empty.
bool CMovieTrack::IsOfferedAs(bool bVideo) const
{
    return (bVideo ? m_bVideo : m_bAudio) && GetSampleCount() != 0;
}

DWORD CMovieTrack::GetFragmentCount() const
{
    return m_pFragments != NULL ? m_pFragments->FragmentCount() : 0;
}

HRESULT CMovieTrack::BeginFragments()
{
    if (m_pFragments != NULL) {
        return S_OK;
    }
    // The fragments go on where the "moov" samples end, in number and in time.
    const DWORD dwMoov = GetMoovSampleCount();
    ULONGLONG llEnd = 0;
    DWORD dwSync = FRAGMENT_NO_SAMPLE;
    if (dwMoov != 0) {
        DWORD dwTime = 0;
        DWORD dwDelta = 0;
        if (m_pDecodingTime != NULL) {
            m_pDecodingTime->GetSampleTimeAndDelta(dwMoov - 1, &dwTime, &dwDelta);
        }
        llEnd = static_cast<ULONGLONG>(dwTime) + dwDelta;
        dwSync = GetSyncSampleAtOrBefore(dwMoov - 1);
    }
    m_pFragments = new (std::nothrow)
        CTrackFragments(m_pMovie != NULL ? m_pMovie->GetSource() : NULL, dwMoov, llEnd, dwSync);
    if (m_pFragments == NULL || FAILED(m_pFragments->Allocate())) {
        delete m_pFragments;
        m_pFragments = NULL;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

DWORD CMovieTrack::GetSyncSampleAtOrBefore(DWORD dwSample)
{
    if (m_pFragments != NULL && dwSample >= GetMoovSampleCount()) {
        const DWORD dwSync = m_pFragments->GetSyncAtOrBefore(dwSample);
        return dwSync != FRAGMENT_NO_SAMPLE ? dwSync : 0;
    }
    return m_pSyncSample != NULL ? m_pSyncSample->GetSyncSampleAtOrBefore(dwSample) : dwSample;
}

bool CMovieTrack::IsSyncSample(DWORD dwSample)
{
    if (m_pFragments != NULL && dwSample >= GetMoovSampleCount()) {
        CFragmentSample sample;
        return m_pFragments->GetSample(dwSample, &sample) == S_OK && (sample.dwFlags & SAMPLE_FLAG_NON_SYNC) == 0;
    }
    return m_pSyncSample == NULL || m_pSyncSample->GetSyncSampleAtOrBefore(dwSample) == dwSample;
}

HRESULT CMovieTrack::ReadFragmentSample(DWORD dwSample, BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbSample)
{
    if (m_pMovie == NULL) {
        return E_FAIL;
    }
    CFragmentSample sample;
    HRESULT hr = m_pFragments->GetSample(dwSample, &sample);
    if (FAILED(hr)) {
        return hr;
    }
    if (hr != S_OK || sample.dwSize == 0) {
        return S_FALSE;
    }
    if (cbBuffer < sample.dwSize || pBuffer == NULL) {
        return VFW_E_BUFFER_OVERFLOW;
    }
    return ReadSampleBytes(sample.llPosition, sample.dwSize, pBuffer, pcbSample);
}
