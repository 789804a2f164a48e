// The output pin's worker thread: its request loop and the delivery loops.
#include "demuxoutputpin.h"

#include "demuxfilter.h"
#include "moviereport.h"

#define DEMUX_REPORT_ERROR(message) \
    DemuxReportError(L"source\\filters\\3gpp_demux\\demuxoutputpin", __LINE__, (message))

DWORD CDemuxOutputPin::ThreadProc()
{
    for (;;) {
        DWORD dwRequest = GetRequest();
        if (dwRequest == REQUEST_EXIT) {
            Reply(S_OK);
            if (!m_bEndOfStreamSent) DeliverEndOfStream();
            return 0;
        }
        Reply(S_OK);
        if (dwRequest != REQUEST_RUN) continue;
        if (*m_mtTrack.Subtype() == MEDIASUBTYPE_AMR_NB || *m_mtTrack.Subtype() == MEDIASUBTYPE_AMR_WB) {
            DeliverAmrFrames();
        } else if (*m_mtTrack.Subtype() == MEDIASUBTYPE_MPEG4_AAC) {
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
        DEMUX_REPORT_ERROR(L"ERROR[Demux] Failed to create work thread.\r\n");
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
    m_bConfigSent = 0;
    return S_OK;
}

HRESULT CDemuxOutputPin::DeliverSamples()
{
    return S_OK;
}

HRESULT CDemuxOutputPin::DeliverPackedSamples()
{
    return S_OK;
}

HRESULT CDemuxOutputPin::DeliverAmrFrames()
{
    return S_OK;
}

HRESULT CDemuxOutputPin::FillSample(IMediaSample*, DWORD)
{
    return E_NOTIMPL;
}

HRESULT CDemuxOutputPin::DeliverSample(IMediaSample* pSample)
{
    return Deliver(pSample);
}
