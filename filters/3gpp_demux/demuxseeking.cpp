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

// Under the position lock: a worker reads the positions as its run starts,
// which is after it answered the run request, so a stop-only change on the
// control thread can come at the same moment. A 64-bit time is not written
// in one step on a 32-bit device; unlocked, the worker could read half of it.
void CDemuxFilter::ReadPositions(REFERENCE_TIME* prtStart, REFERENCE_TIME* prtStop, double* pdRate)
{
    CAutoLock lock(&m_csPosition);
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
    for (DWORD i = 0; i < m_outputPins.size(); ++i) m_outputPins[i]->SetSeeking(true);
    return S_OK;
}

HRESULT CDemuxFilter::ClearPinsSeeking()
{
    for (DWORD i = 0; i < m_outputPins.size(); ++i) m_outputPins[i]->SetSeeking(false);
    return S_OK;
}

HRESULT CDemuxFilter::Seek(REFERENCE_TIME rtStart, REFERENCE_TIME rtStop, double dRate)
{
    // The pins' seeking flags are already up, so a worker woken by the flush
    // leaves its loop instead of fetching another buffer.
    for (DWORD i = 0; i < m_outputPins.size(); ++i) m_outputPins[i]->DeliverBeginFlush();
    for (DWORD i = 0; i < m_outputPins.size(); ++i) m_outputPins[i]->StopDelivery();
    for (DWORD i = 0; i < m_outputPins.size(); ++i) m_outputPins[i]->DeliverEndFlush();
    ClearPinsSeeking();

    // Every worker is parked here and none restarts before the stores are
    // done; the lock is for the control calls of other threads
    // (GetPositions, a stop-only change) and is not held across any call.
    {
        CAutoLock lock(&m_csPosition);
        m_rtStart = rtStart;
        m_rtStop = rtStop;
        m_dRate = dRate;
    }

    // The filter lock is held from the state check to the last restart (the
    // filter lock, then each worker's access lock, as Pause takes them), so
    // a Stop on another thread comes either before, and nothing restarts,
    // or after, and ends the new workers.
    CAutoLock lock(&m_csFilter);
    const FILTER_STATE state = m_State.Get();
    if (state == State_Paused || state == State_Running) {
        for (DWORD i = 0; i < m_outputPins.size(); ++i) {
            if (m_outputPins[i]->IsConnected()) m_outputPins[i]->StartDelivery();
        }
    }
    return S_OK;
}

// --- IMediaSeeking on CDemuxOutputPin -------------------------------------------
// Every pin answers for the whole filter; only the pin that owns seeking
// changes positions, the others' calls succeed without effect.

namespace {
const DWORD kSeekingCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                   AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetCurrentPos |
                                   AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;
}  // namespace

STDMETHODIMP CDemuxOutputPin::GetCapabilities(DWORD* pCapabilities)
{
    CheckPointer(pCapabilities, E_POINTER);
    *pCapabilities = kSeekingCapabilities;
    return S_OK;
}

STDMETHODIMP CDemuxOutputPin::CheckCapabilities(DWORD* pCapabilities)
{
    CheckPointer(pCapabilities, E_POINTER);
    return (*pCapabilities & ~kSeekingCapabilities) != 0 ? S_FALSE : S_OK;
}

STDMETHODIMP CDemuxOutputPin::IsFormatSupported(const GUID* pFormat)
{
    CheckPointer(pFormat, E_POINTER);
    return *pFormat == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}

STDMETHODIMP CDemuxOutputPin::QueryPreferredFormat(GUID* pFormat)
{
    CheckPointer(pFormat, E_POINTER);
    *pFormat = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

STDMETHODIMP CDemuxOutputPin::GetTimeFormat(GUID* pFormat)
{
    return QueryPreferredFormat(pFormat);
}

STDMETHODIMP CDemuxOutputPin::IsUsingTimeFormat(const GUID* pFormat)
{
    CheckPointer(pFormat, E_POINTER);
    GUID current;
    GetTimeFormat(&current);
    return *pFormat == current ? S_OK : S_FALSE;
}

STDMETHODIMP CDemuxOutputPin::SetTimeFormat(const GUID* pFormat)
{
    CheckPointer(pFormat, E_POINTER);
    if (*pFormat == TIME_FORMAT_MEDIA_TIME) return m_pDemux->ClaimSeeking(this) ? S_OK : E_NOTIMPL;
    if (*pFormat == TIME_FORMAT_NONE) {
        m_pDemux->ReleaseSeeking(this);
        return S_OK;
    }
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::GetDuration(LONGLONG* pDuration)
{
    CheckPointer(pDuration, E_POINTER);
    CMovie* pMovie = m_pDemux->GetMovie();
    *pDuration = pMovie != NULL ? pMovie->GetDuration() : 0;
    return S_OK;
}

STDMETHODIMP CDemuxOutputPin::GetStopPosition(LONGLONG* pStop)
{
    CheckPointer(pStop, E_POINTER);
    m_pDemux->ReadPositions(NULL, pStop, NULL);
    return S_OK;
}

// The playing position is not tracked: the filter knows only where the
// current run started (GetPositions).
STDMETHODIMP CDemuxOutputPin::GetCurrentPosition(LONGLONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CDemuxOutputPin::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                                const GUID* pSourceFormat)
{
    CheckPointer(pTarget, E_POINTER);
    if ((pTargetFormat != NULL && *pTargetFormat != TIME_FORMAT_MEDIA_TIME) ||
        (pSourceFormat != NULL && *pSourceFormat != TIME_FORMAT_MEDIA_TIME))
        return E_INVALIDARG;
    *pTarget = Source;
    return S_OK;
}

STDMETHODIMP CDemuxOutputPin::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                           DWORD dwStopFlags)
{
    if (!m_pDemux->ClaimSeeking(this)) return S_OK;
    REFERENCE_TIME rtStart = 0;
    REFERENCE_TIME rtStop = 0;
    double dRate = 1.0;
    m_pDemux->ReadPositions(&rtStart, &rtStop, &dRate);

    const DWORD dwCurrentBits = dwCurrentFlags & AM_SEEKING_PositioningBitsMask;
    const DWORD dwStopBits = dwStopFlags & AM_SEEKING_PositioningBitsMask;
    if ((dwCurrentBits != AM_SEEKING_NoPositioning && pCurrent == NULL) ||
        (dwStopBits != AM_SEEKING_NoPositioning && pStop == NULL))
        return E_POINTER;

    REFERENCE_TIME rtNewStart = rtStart;
    if (dwCurrentBits == AM_SEEKING_AbsolutePositioning) rtNewStart = *pCurrent;
    else if (dwCurrentBits == AM_SEEKING_RelativePositioning) rtNewStart = rtStart + *pCurrent;

    REFERENCE_TIME rtNewStop = rtStop;
    if (dwStopBits == AM_SEEKING_AbsolutePositioning) rtNewStop = *pStop;
    else if (dwStopBits == AM_SEEKING_RelativePositioning) rtNewStop = rtStop + *pStop;
    else if (dwStopBits == AM_SEEKING_IncrementalPositioning) rtNewStop = rtNewStart + *pStop;

    if (dwCurrentBits != AM_SEEKING_NoPositioning) {
        m_pDemux->SetPinsSeeking();
        return m_pDemux->Seek(rtNewStart, rtNewStop, dRate);
    }
    if (dwStopBits != AM_SEEKING_NoPositioning) return m_pDemux->SetStopPosition(rtNewStop);
    return S_FALSE;
}

STDMETHODIMP CDemuxOutputPin::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop)
{
    m_pDemux->ReadPositions(pCurrent, pStop, NULL);
    return S_OK;
}

STDMETHODIMP CDemuxOutputPin::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest)
{
    if (pEarliest != NULL) *pEarliest = 0;
    if (pLatest != NULL) {
        CMovie* pMovie = m_pDemux->GetMovie();
        *pLatest = pMovie != NULL ? pMovie->GetDuration() : 0;
    }
    return S_OK;
}

// The rate is recorded and reported; delivery always stamps at rate 1.0.
STDMETHODIMP CDemuxOutputPin::SetRate(double dRate)
{
    if (m_pDemux->ClaimSeeking(this)) m_pDemux->SetRateValue(dRate);
    return S_OK;
}

STDMETHODIMP CDemuxOutputPin::GetRate(double* pdRate)
{
    CheckPointer(pdRate, E_POINTER);
    m_pDemux->ReadPositions(NULL, NULL, pdRate);
    return S_OK;
}

STDMETHODIMP CDemuxOutputPin::GetPreroll(LONGLONG* pllPreroll)
{
    CheckPointer(pllPreroll, E_POINTER);
    *pllPreroll = 0;
    return S_OK;
}
