// The AAC delivery loop: up to ten file samples back to back in one media
// sample, so that small AAC access units do not cost a downstream call each.
#include "demuxoutputpin.h"

#include "demuxfilter.h"
#include "demuxrun.h"
#include "movie.h"
#include "movietrack.h"

HRESULT CDemuxOutputPin::DeliverPackedSamples()
{
    DemuxRunRange range;
    if (!BeginRun(&range)) return S_OK;

    IMediaSample* pSample = NULL;
    DWORD i = range.dwFirst;
    for (;;) {
        DWORD dwRequest;
        if (m_bIsSeeking.Get() || CheckRequest(&dwRequest)) break;
        if (pSample) {
            pSample->Release();
            pSample = NULL;
        }
        if (GetDeliveryBuffer(&pSample, NULL, NULL, 0) != S_OK) {
            DeliverEndOfStream();
            break;
        }
        BYTE* pbData = NULL;
        pSample->GetPointer(&pbData);
        const LONG lSize = pSample->GetSize();
        const DWORD cbBuffer = lSize > 0 ? static_cast<DWORD>(lSize) : 0;
        if (m_bIsSeeking.Get() || CheckRequest(&dwRequest)) break;

        // The pack runs from its first sample's time for the sum of its
        // samples' durations, and never past the run's last sample.
        REFERENCE_TIME rtPackStart = 0;
        REFERENCE_TIME rtPackDuration = 0;
        DWORD cbPacked = 0;
        bool bReadFailedFirst = false;

        for (DWORD n = 0; n < DEMUX_MAX_PACK && i <= range.dwLast; ++n) {
            DWORD cbRead = 0;
            HRESULT hr = m_pTrack->ReadSample(i, pbData + cbPacked, cbBuffer - cbPacked, &cbRead);
            // A full buffer ends the pack quietly: the sample that did not fit
            // starts the next media sample. Only a sample that fits no empty
            // buffer is an error. Buffers hold one largest sample, so a full
            // one is the normal case and must not stop the stream.
            if (hr == VFW_E_BUFFER_OVERFLOW && n > 0) break;
            if (FAILED(hr)) {
                NotifyStreamError(hr);
                bReadFailedFirst = (n == 0);
                break;
            }
            // S_FALSE: an empty sample, or one cut off by the end of the
            // stream whose bytes are not all there. It adds its time, no bytes.
            if (hr != S_OK) cbRead = 0;
            REFERENCE_TIME rtStartI = 0;
            REFERENCE_TIME rtDurationI = 0;
            if (FAILED(m_pTrack->GetSampleTime(i, &rtStartI, &rtDurationI))) NotifyStreamError(E_FAIL);
            if (n == 0) rtPackStart = rtStartI;
            rtPackDuration = AddWrapping(rtPackDuration, rtDurationI);
            cbPacked += cbRead;
            ++i;
        }
        if (bReadFailedFirst) {
            DeliverEndOfStream();
            break;
        }

        pSample->SetActualDataLength(static_cast<LONG>(cbPacked));
        pSample->SetSyncPoint(TRUE);
        DemuxStampSample(pSample, range, rtPackStart, rtPackDuration);
        // Media times carry the pack's place in the track (absolute sample
        // times), as the video loop does, so that a downstream filter can
        // relate audio and video positions.
        REFERENCE_TIME rtMediaStop = AddWrapping(rtPackStart, rtPackDuration);
        pSample->SetMediaTime(&rtPackStart, &rtMediaStop);
        pSample->SetDiscontinuity(TRUE);

        if (FAILED(DeliverSample(pSample)) || i > range.dwLast) {
            DeliverEndOfStream();
            break;
        }
    }
    if (pSample) pSample->Release();
    return S_OK;
}
