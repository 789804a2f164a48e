#include "pinfacts.h"

#include <algorithm>

#include "demuxfilter.h"
#include "demuxoutputpin.h"
#include "demuxsession.h"
#include "movie.h"
#include "moviefragments.h"
#include "moviesampledesc.h"
#include "moviesampletables.h"
#include "movietrack.h"
#include "textformat.h"

namespace {

// Only stored values are read from the module's objects, through their accessors: its lookups are its own.
void DescribeTrack(const CDemuxSession& session, const CMovieTrack* pTrack, PinFacts* pFacts)
{
    if (pTrack->GetSampleSizeBox()) {
        pFacts->samples = pTrack->GetSampleSizeBox()->GetSampleCount();
        pFacts->maxSampleSize = pTrack->GetSampleSizeBox()->GetMaxSampleSize();
    }
    ULONGLONG llDuration = pTrack->GetMediaDuration();
    if (const CTrackFragments* pFragments = pTrack->GetFragments()) {
        pFacts->bFragmented = true;
        pFacts->fragments = pFragments->FragmentCount();
        pFacts->samples += pFragments->SampleCount();
        pFacts->maxSampleSize = std::max(pFacts->maxSampleSize, pFragments->MaxSampleSize());
        if (pFragments->SampleCount() != 0) llDuration = std::max(llDuration, pFragments->EndTime());
    }
    const CSampleDescriptionBox* pDescription = pTrack->GetSampleDescription();
    if (pDescription && pDescription->GetConfig())
        pFacts->config.assign(pDescription->GetConfig(), pDescription->GetConfig() + pDescription->GetConfigLength());
    pFacts->timescale = pTrack->GetMediaTimeScale();
    // The track's duration in 100-ns units, as the filter converts it: a
    // fragmented track's lasts to the end of its last fragment.
    pFacts->trackDuration =
        pTrack->GetMediaTimeScale()
            ? static_cast<REFERENCE_TIME>(llDuration * 10000000ULL) / pTrack->GetMediaTimeScale()
            : 0;
    pFacts->startOffset = pTrack->GetStartOffset();
    const CMovie* pMovie = session.Filter()->GetMovie();
    for (DWORD t = 0; pMovie && t < pMovie->GetTracks().size(); ++t) {
        if (pMovie->GetTracks()[t] == pTrack) pFacts->trackIndex = t;
    }
}

}  // namespace

PinFacts DescribePin(const CDemuxSession& session, size_t i)
{
    PinFacts facts;
    facts.index = static_cast<int>(i) + 1;
    IPin* pPin = session.OutputPin(i);
    PIN_INFO info = {};
    if (SUCCEEDED(pPin->QueryPinInfo(&info))) {
        facts.name = Utf8FromWide(info.achName);
        if (info.pFilter) info.pFilter->Release();
    }
    AM_MEDIA_TYPE mt = {};
    if (SUCCEEDED(pPin->ConnectionMediaType(&mt))) {
        facts.majortype = mt.majortype;
        facts.subtype = mt.subtype;
        facts.formattype = mt.formattype;
        if (mt.pbFormat) facts.format.assign(mt.pbFormat, mt.pbFormat + mt.cbFormat);
        FreeMediaType(mt);
    }
    facts.kind = IsEqualGUID(facts.majortype, MEDIATYPE_Video) ? "video" : "audio";
    if (const CMovieTrack* pTrack = session.Pin(i)->Track()) DescribeTrack(session, pTrack, &facts);
    if (i < session.SinkCount()) {
        IMemAllocator* pAllocator = session.Sink(i)->NotifiedAllocator();
        facts.bAllocator = pAllocator && SUCCEEDED(pAllocator->GetProperties(&facts.allocator));
    }
    return facts;
}
