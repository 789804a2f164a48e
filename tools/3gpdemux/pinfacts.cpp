#include "pinfacts.h"

#include "movie.h"
#include "moviesampledesc.h"
#include "movietrack.h"
#include "session.h"
#include "textformat.h"

namespace {

// The pin's type as connected, else the first it offers (a pin left unconnected).
bool PinType(IPin* pPin, AM_MEDIA_TYPE* pmt)
{
    if (SUCCEEDED(pPin->ConnectionMediaType(pmt))) return true;
    IEnumMediaTypes* pEnum = nullptr;
    if (FAILED(pPin->EnumMediaTypes(&pEnum))) return false;
    AM_MEDIA_TYPE* pFirst = nullptr;
    const bool bFound = pEnum->Next(1, &pFirst, nullptr) == S_OK;
    pEnum->Release();
    if (bFound) {
        *pmt = *pFirst;
        CoTaskMemFree(pFirst);
    }
    return bFound;
}

CMovieTrack* FindTrack(CMovie* pMovie, const AM_MEDIA_TYPE& pinType, DWORD* pdwIndex)
{
    const bool bVideo = IsEqualGUID(pinType.majortype, MEDIATYPE_Video);
    for (DWORD t = 0; pMovie && t < pMovie->GetTracks().size(); ++t) {
        CMovieTrack* pTrack = pMovie->GetTracks()[t];
        CSampleDescriptionBox* pDescription = pTrack->GetSampleDescription();
        CMediaType mt;
        if (!pTrack->IsOfferedAs(bVideo) || !pDescription || FAILED(pDescription->GetMediaType(&mt))) continue;
        if (IsEqualGUID(*mt.Subtype(), pinType.subtype)) {
            *pdwIndex = t;
            return pTrack;
        }
    }
    return nullptr;
}

void DescribeTrack(CMovieTrack* pTrack, PinFacts* pFacts)
{
    pFacts->samples = pTrack->GetSampleCount();
    pFacts->maxSampleSize = pTrack->GetMaxSampleSize();
    pFacts->bFragmented = pTrack->HasFragments();
    pFacts->fragments = pTrack->GetFragmentCount();
    const CSampleDescriptionBox* pDescription = pTrack->GetSampleDescription();
    if (pDescription && pDescription->GetConfig())
        pFacts->config.assign(pDescription->GetConfig(), pDescription->GetConfig() + pDescription->GetConfigLength());
    pFacts->timescale = pTrack->GetMediaTimeScale();
    pFacts->trackDuration = pTrack->GetDuration();
    pFacts->startOffset = pTrack->GetStartOffset();
}

}  // namespace

PinFacts DescribePin(const CToolSession& session, size_t i)
{
    PinFacts facts;
    facts.index = static_cast<int>(i) + 1;
    IPin* pPin = session.OutputPin(i);
    if (!pPin) return facts;
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
    if (PinType(pPin, &mt)) {
        if (CMovieTrack* pTrack = FindTrack(session.Movie(), mt, &facts.trackIndex)) DescribeTrack(pTrack, &facts);
        FreeMediaType(mt);
    }
    if (i < session.SinkCount()) {
        IMemAllocator* pAllocator = session.Sink(i)->NotifiedAllocator();
        facts.bAllocator = pAllocator && SUCCEEDED(pAllocator->GetProperties(&facts.allocator));
    }
    return facts;
}
