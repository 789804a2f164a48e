#include "demuxrun.h"

#include "demuxfilter.h"
#include "demuxoutputpin.h"
#include "movie.h"
#include "movietrack.h"

// The last and first samples of the run.
void CDemuxOutputPin::FindRunSamples(DemuxRunRange* pRange)
{
    CMovieTrack* pTrack = m_pTrack;
    CMovie* pMovie = m_pDemux->GetMovie();
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

bool CDemuxOutputPin::BeginRun(DemuxRunRange* pRange)
{
    if (!IsConnected() || m_pTrack == NULL) return false;
    CDemuxFilter* pFilter = m_pDemux;
    if (pFilter->GetMovie() == NULL) return false;

    pFilter->ReadPositions(&pRange->rtStart, &pRange->rtStop, NULL);
    pRange->dwFirst = 0;
    pRange->dwLast = 0;
    pRange->bEmpty = true;
    // Every run follows a Stop or a flush, after which downstream has
    // forgotten any earlier end-of-stream: each run ends with its own, also
    // one that starts at or past the end.
    m_bEndOfStreamSent.Set(0);
    DeliverNewSegment(pRange->rtStart, pRange->rtStop, 1.0);
    FindRunSamples(pRange);
    if (pRange->bEmpty) {
        DeliverEndOfStream();
        return false;
    }
    return true;
}

void DemuxStampSample(IMediaSample* pSample, const DemuxRunRange& range, REFERENCE_TIME rtStart,
                      REFERENCE_TIME rtDuration, REFERENCE_TIME* prtStreamStart, REFERENCE_TIME* prtStreamStop)
{
    REFERENCE_TIME rtStreamStart = SubtractWrapping(rtStart, range.rtStart);
    REFERENCE_TIME rtStreamStop = AddWrapping(rtStreamStart, rtDuration);
    pSample->SetTime(&rtStreamStart, &rtStreamStop);
    pSample->SetPreroll(rtStreamStop <= 0 ? TRUE : FALSE);
    if (prtStreamStart != NULL) *prtStreamStart = rtStreamStart;
    if (prtStreamStop != NULL) *prtStreamStop = rtStreamStop;
}

void CDemuxOutputPin::NotifyStreamError(HRESULT hr)
{
    m_pDemux->NotifyEvent(EC_STREAM_ERROR_STOPPED, static_cast<LONG_PTR>(hr), 0);
}
