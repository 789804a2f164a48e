// The output pin's worker thread: its request loop, the worker control
// used by Active, Inactive and seeking, and the one-sample-per-buffer loop
// that carries every video track (and audio other than AMR and AAC).
#include "demuxoutputpin.h"

#include <string.h>

#include "demuxfilter.h"
#include "demuxrun.h"
#include "movie.h"
#include "moviereport.h"
#include "moviesampledesc.h"
#include "movietimetables.h"
#include "movietrack.h"

namespace {
const LPCWSTR kOutputPinSource = L"source\\filters\\3gpp_demux\\demuxoutputpin";
// Device builds report worker-start failures under this source line.
const int kLineThreadCreate = 444;
}  // namespace

DWORD CDemuxOutputPin::ThreadProc()
{
    for (;;) {
        DWORD dwRequest = GetRequest();
        if (dwRequest == REQUEST_EXIT) {
            Reply(S_OK);
            if (!m_bEndOfStreamSent.Get()) DeliverEndOfStream();
            return 0;
        }
        Reply(S_OK);
        if (dwRequest != REQUEST_RUN) continue;
        const GUID& subtype = *m_mtTrack.Subtype();
        if (subtype == MEDIASUBTYPE_AMR_NB || subtype == MEDIASUBTYPE_AMR_WB) {
            DeliverAmrFrames();
        } else if (subtype == MEDIASUBTYPE_MPEG4_AAC) {
            DeliverPackedSamples();
        } else {
            DeliverSamples();
        }
    }
}

HRESULT CDemuxOutputPin::StartDelivery()
{
    CAutoLock lock(&m_csAccess);
    if (!ThreadExists() && !Create()) {
        DemuxReportError(kOutputPinSource, kLineThreadCreate, L"ERROR[Demux] Failed to create work thread.\r\n");
        return E_FAIL;
    }
    return static_cast<HRESULT>(CallWorker(REQUEST_RUN));
}

HRESULT CDemuxOutputPin::StopDelivery()
{
    CAutoLock lock(&m_csAccess);
    if (!ThreadExists()) return S_FALSE;
    return static_cast<HRESULT>(CallWorker(REQUEST_IDLE));
}

HRESULT CDemuxOutputPin::ExitWorker()
{
    CAutoLock lock(&m_csAccess);
    if (!ThreadExists()) return S_FALSE;
    HRESULT hr = static_cast<HRESULT>(CallWorker(REQUEST_EXIT));
    if (FAILED(hr)) return hr;
    HANDLE hThread = static_cast<HANDLE>(InterlockedExchangePointer(&m_hThread, NULL));
    if (hThread != NULL) {
        WaitForSingleObject(hThread, INFINITE);
        CloseHandle(hThread);
    }
    m_bConfigSent.Set(0);
    return S_OK;
}

HRESULT CDemuxOutputPin::DeliverSamples()
{
    DemuxRunRange range;
    if (!BeginRun(&range)) return S_OK;

    IMediaSample* pSample = NULL;
    REFERENCE_TIME rtPrevStart = 0;
    REFERENCE_TIME rtPrevStop = 0;
    bool bFirstOfRun = true;
    HRESULT hrRun = S_OK;
    for (DWORD i = range.dwFirst;; ++i) {
        DWORD dwRequest;
        if (m_bIsSeeking.Get() || CheckRequest(&dwRequest)) {
            if (pSample) pSample->Release();
            return S_OK;
        }
        if (pSample) {
            pSample->Release();
            pSample = NULL;
        }
        if (GetDeliveryBuffer(&pSample, &rtPrevStart, &rtPrevStop, 0) != S_OK) {
            if (pSample) pSample->Release();
            DeliverEndOfStream();
            return S_OK;
        }
        BYTE* pbData = NULL;
        pSample->GetPointer(&pbData);
        pSample->SetDiscontinuity(bFirstOfRun ? TRUE : FALSE);

        HRESULT hr = FillSample(pSample, i);
        if (FAILED(hr)) {
            NotifyStreamError(hr);
            hrRun = hr;
            break;
        }
        if (hr == S_OK) {
            if (m_pTrack->IsSyncSample(i)) pSample->SetSyncPoint(TRUE);

            REFERENCE_TIME rtSampleStart = 0;
            REFERENCE_TIME rtSampleDuration = 0;
            m_pTrack->GetSampleTime(i, &rtSampleStart, &rtSampleDuration);
            REFERENCE_TIME rtMediaStop = AddWrapping(rtSampleStart, rtSampleDuration);
            pSample->SetMediaTime(&rtSampleStart, &rtMediaStop);
            // The samples from the sync sample up to the start position go
            // out as preroll, stamped before the segment start.
            DemuxStampSample(pSample, range, rtSampleStart, rtSampleDuration, &rtPrevStart, &rtPrevStop);

            if (FAILED(DeliverSample(pSample))) break;
            bFirstOfRun = false;
        }
        // An empty sample (S_FALSE) is skipped; the buffer is reused.
        if (i == range.dwLast) break;
    }
    DeliverEndOfStream();
    if (pSample) pSample->Release();
    return hrRun;
}

HRESULT CDemuxOutputPin::FillSample(IMediaSample* pSample, DWORD dwSample)
{
    BYTE* pbData = NULL;
    HRESULT hr = pSample->GetPointer(&pbData);
    if (FAILED(hr)) return hr;
    const LONG lSize = pSample->GetSize();
    const DWORD cbBuffer = lSize > 0 ? static_cast<DWORD>(lSize) : 0;
    DWORD cbRead = 0;

    const CSampleDescriptionBox* pDesc = m_pTrack->GetSampleDescription();
    if (!m_bConfigSent.Get() && pDesc != NULL && pDesc->GetConfigLength() != 0 && pDesc->GetConfig() != NULL) {
        // A buffer too small for the configuration bytes is a read failure;
        // the size left for the sample must not wrap around.
        if (cbBuffer < pDesc->GetConfigLength()) return VFW_E_BUFFER_OVERFLOW;
        memcpy(pbData, pDesc->GetConfig(), pDesc->GetConfigLength());
        hr = m_pTrack->ReadSample(dwSample, pbData + pDesc->GetConfigLength(), cbBuffer - pDesc->GetConfigLength(), &cbRead);
        // The configuration goes out with the first sample actually delivered:
        // an empty or failed sample does not use it up.
        if (hr != S_OK) return hr;
        m_bConfigSent.Set(1);
        return pSample->SetActualDataLength(static_cast<LONG>(pDesc->GetConfigLength() + cbRead)) < 0 ? E_FAIL : S_OK;
    }
    hr = m_pTrack->ReadSample(dwSample, pbData, cbBuffer, &cbRead);
    if (hr != S_OK) return hr;
    m_bConfigSent.Set(1);
    return pSample->SetActualDataLength(static_cast<LONG>(cbRead)) < 0 ? E_FAIL : S_OK;
}

HRESULT CDemuxOutputPin::DeliverSample(IMediaSample* pSample)
{
    return Deliver(pSample);
}
