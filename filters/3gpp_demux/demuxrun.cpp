#include "demuxrun.h"

#include "demuxfilter.h"
#include "demuxoutputpin.h"
#include "movie.h"
#include "movietrack.h"

bool DemuxBeginRun(CDemuxOutputPin* pPin, DemuxRunRange* pRange)
{
    CMovieTrack* pTrack = pPin->Track();
    if (!pPin->IsConnected() || pTrack == NULL) return false;
    CDemuxFilter* pFilter = pPin->m_pDemux;
    CMovie* pMovie = pFilter->GetMovie();
    if (pMovie == NULL) return false;

    pFilter->ReadPositions(&pRange->rtStart, &pRange->rtStop, NULL);
    pRange->dwFirst = 0;
    pRange->dwLast = 0;
    pRange->bEmpty = true;
    if (pRange->rtStart >= pMovie->GetDuration() && pPin->m_bEndOfStreamSent.Get()) return false;
    pPin->m_bEndOfStreamSent.Set(0);
    return true;
}

void DemuxFindRunSamples(CDemuxOutputPin* pPin, DemuxRunRange* pRange)
{
    CMovieTrack* pTrack = pPin->Track();
    CMovie* pMovie = pPin->m_pDemux->GetMovie();
    const DWORD dwCount = pTrack->GetSampleCount();
    // A track without samples has no last sample: count − 1 would wrap
    // around to a four-billion-sample run.
    if (dwCount == 0) {
        pRange->bEmpty = true;
        return;
    }

    DWORD dwLast = dwCount - 1;
    if (pRange->rtStop < pMovie->GetDuration()) {
        DWORD dwAtStop = pTrack->GetSampleAtTime(pRange->rtStop);
        if (dwAtStop > 0 && dwAtStop < dwCount) dwLast = dwAtStop;
    }

    DWORD dwFirst;
    if (pRange->rtStart < pTrack->GetDuration()) {
        dwFirst = pTrack->GetSyncSampleAtTime(pRange->rtStart);
    } else {
        dwFirst = pTrack->GetSyncSampleAtOrBefore(dwLast);
    }
    pRange->dwFirst = dwFirst;
    pRange->dwLast = dwLast;
    pRange->bEmpty = dwFirst > dwLast;
}

bool DemuxBeginAudioRun(CDemuxOutputPin* pPin, DemuxRunRange* pRange)
{
    if (!DemuxBeginRun(pPin, pRange)) return false;
    pPin->DeliverNewSegment(pRange->rtStart, pRange->rtStop, 1.0);
    DemuxFindRunSamples(pPin, pRange);
    if (pRange->bEmpty) {
        pPin->DeliverEndOfStream();
        return false;
    }
    return true;
}

void DemuxNotifyStreamError(CDemuxOutputPin* pPin, HRESULT hr)
{
    pPin->m_pDemux->NotifyEvent(EC_STREAM_ERROR_STOPPED, static_cast<LONG_PTR>(hr), 0);
}

REFERENCE_TIME DemuxScaleTime(REFERENCE_TIME rtValue)
{
    const double dRate = 1.0;
    return static_cast<REFERENCE_TIME>(static_cast<double>(rtValue) * dRate);
}
