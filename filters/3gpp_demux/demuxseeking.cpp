// IMediaSeeking on the output pins, and the filter's shared position state.
#include "demuxoutputpin.h"

#include "demuxfilter.h"
#include "movie.h"

// --- CDemuxFilter ------------------------------------------------------------

bool CDemuxFilter::ClaimSeeking(CDemuxOutputPin* pPin)
{
    CAutoLock lock(&m_csPosition);
    if (m_pSeekingPin == NULL) m_pSeekingPin = pPin;
    return m_pSeekingPin == pPin;
}

void CDemuxFilter::ReleaseSeeking(CDemuxOutputPin* pPin)
{
    CAutoLock lock(&m_csPosition);
    if (m_pSeekingPin == pPin) m_pSeekingPin = NULL;
}

void CDemuxFilter::ReadPositions(REFERENCE_TIME* prtStart, REFERENCE_TIME* prtStop, double* pdRate)
{
    if (prtStart) *prtStart = m_rtStart;
    if (prtStop) *prtStop = m_rtStop;
    if (pdRate) *pdRate = m_dRate;
}

HRESULT CDemuxFilter::SetStopPosition(REFERENCE_TIME rtStop)
{
    CAutoLock lock(&m_csPosition);
    m_rtStop = rtStop;
    return S_OK;
}

HRESULT CDemuxFilter::SetRateValue(double dRate)
{
    CAutoLock lock(&m_csPosition);
    m_dRate = dRate;
    return S_OK;
}

HRESULT CDemuxFilter::SetPinsSeeking()
{
    for (DWORD i = 0; i < m_outputPins.size(); ++i) m_outputPins[i]->m_bIsSeeking = 1;
    return S_OK;
}

HRESULT CDemuxFilter::ClearPinsSeeking()
{
    for (DWORD i = 0; i < m_outputPins.size(); ++i) m_outputPins[i]->m_bIsSeeking = 0;
    return S_OK;
}

HRESULT CDemuxFilter::Seek(REFERENCE_TIME rtStart, REFERENCE_TIME rtStop, double dRate)
{
    m_rtStart = rtStart;
    m_rtStop = rtStop;
    m_dRate = dRate;
    ClearPinsSeeking();
    return S_OK;
}

// --- IMediaSeeking on CDemuxOutputPin -------------------------------------------

STDMETHODIMP CDemuxOutputPin::GetCapabilities(DWORD* pCapabilities)
{
    CheckPointer(pCapabilities, E_POINTER);
    *pCapabilities = 0;
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::CheckCapabilities(DWORD*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::IsFormatSupported(const GUID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::QueryPreferredFormat(GUID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::GetTimeFormat(GUID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::IsUsingTimeFormat(const GUID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::SetTimeFormat(const GUID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::GetDuration(LONGLONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::GetStopPosition(LONGLONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::GetCurrentPosition(LONGLONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG, const GUID*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::SetPositions(LONGLONG*, DWORD, LONGLONG*, DWORD)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::GetPositions(LONGLONG*, LONGLONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::GetAvailable(LONGLONG*, LONGLONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::SetRate(double)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::GetRate(double*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::GetPreroll(LONGLONG*)
{
    return E_NOTIMPL;
}
