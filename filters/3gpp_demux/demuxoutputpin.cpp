// CDemuxOutputPin: the pin's media type, allocator sizing, state changes and
// the calls it passes downstream. The worker thread lives in
// demuxdelivery.cpp, IMediaSeeking in demuxseeking.cpp.
#include "demuxoutputpin.h"

#include "aacdetect.h"
#include "amrframer.h"
#include "demuxfilter.h"
#include "demuxrun.h"
#include "moviesampledesc.h"
#include "moviesampletables.h"
#include "movietrack.h"

namespace {

// An audio subtype no sample entry produces; a track carrying it would be
// delivered one file sample per media sample. {1DAF4CBC-ADE2-4C0F-A638-D3A0F5C32DBA}
const GUID MEDIASUBTYPE_DemuxOtherAudio = {0x1DAF4CBC, 0xADE2, 0x4C0F,
                                           {0xA6, 0x38, 0xD3, 0xA0, 0xF5, 0xC3, 0x2D, 0xBA}};

struct CTrackTypeRow {
    const GUID* pMajorType;
    const GUID* pSubtype;
};

// The (major type, subtype) pairs a track may carry to be delivered.
const CTrackTypeRow g_acceptedTrackTypes[] = {
    {&MEDIATYPE_Video, &MEDIASUBTYPE_H263},      {&MEDIATYPE_Video, &MEDIASUBTYPE_MP4V},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_H264},      {&MEDIATYPE_Video, &MEDIASUBTYPE_MJPG},
    {&MEDIATYPE_Audio, &MEDIASUBTYPE_AMR_NB},    {&MEDIATYPE_Audio, &MEDIASUBTYPE_AMR_WB},
    {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG4_AAC}, {&MEDIATYPE_Audio, &MEDIASUBTYPE_DemuxOtherAudio},
};

// Largest storage-format frame of each AMR codec, header byte included
// (AMR-NB 12.2 kbit/s, AMR-WB 23.85 kbit/s).
const DWORD kAmrNbLargestFrame = 32;
const DWORD kAmrWbLargestFrame = AMR_MAX_FRAME_BYTES;

bool IsAcceptedTrackType(const CMediaType& mt)
{
    for (size_t i = 0; i < sizeof(g_acceptedTrackTypes) / sizeof(g_acceptedTrackTypes[0]); ++i) {
        if (*mt.Type() == *g_acceptedTrackTypes[i].pMajorType && *mt.Subtype() == *g_acceptedTrackTypes[i].pSubtype)
            return true;
    }
    return false;
}

}  // namespace

CDemuxOutputPin::CDemuxOutputPin(CMovieTrack* pTrack, CDemuxFilter* pFilter, CCritSec* pLock, LPCWSTR pName,
                                 HRESULT* phr)
    : CBaseOutputPin(L"CDemuxOutputPin", pFilter, pLock, phr, pName),
      CAMThread(),
      m_mtTrack(),
      m_pTrack(pTrack),
      m_pDemux(pFilter),
      m_bConfigSent(0),
      m_bEndOfStreamSent(0),
      m_bIsSeeking(0)
{
    // The base part reports a pin name it could not copy; that failure stands.
    if (phr != NULL && FAILED(*phr)) return;
    // Without its request events the worker could never start: such a pin
    // would connect and then neither deliver nor end its stream, so it is
    // not offered and the track is skipped like any pin that cannot be built.
    HRESULT hr = HasEvents() ? InitTrackType() : E_OUTOFMEMORY;
    if (phr != NULL) *phr = hr;
}

CDemuxOutputPin::~CDemuxOutputPin()
{
    // A worker left running (a pin deleted without a Stop) would be waited
    // for forever by the thread base, and would read a freed pin: it is
    // released and ended here, while the whole pin still exists.
    Inactive();
    m_mtTrack.InitMediaType();
}

// The track's type, checked against what this filter delivers, with an AAC
// type's SBR and PS flags settled.
HRESULT CDemuxOutputPin::InitTrackType()
{
    if (m_pTrack == NULL || m_pTrack->GetSampleDescription() == NULL) return E_FAIL;
    HRESULT hr = m_pTrack->GetSampleDescription()->GetMediaType(&m_mtTrack);
    if (FAILED(hr)) return hr;
    if (!IsAcceptedTrackType(m_mtTrack)) return VFW_E_TYPE_NOT_ACCEPTED;
    // Does nothing unless the type is AAC with a flag left open.
    if (FAILED(SettleAacType(m_pTrack, &m_mtTrack))) return E_FAIL;
    return S_OK;
}

STDMETHODIMP CDemuxOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IMediaSeeking)) return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CDemuxOutputPin::CheckMediaType(const CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    return *pmt == m_mtTrack ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CDemuxOutputPin::GetMediaType(int iPosition, CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    if (iPosition != 0) return VFW_S_NO_MORE_ITEMS;
    return pmt->Set(m_mtTrack);
}

// One buffer holds the largest sample with the decoder configuration bytes
// that go in front of the first video sample of a run. An AMR buffer also
// holds ten of the codec's largest frames: the AMR loop packs ten frames
// of any file samples into one media sample.
HRESULT CDemuxOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest)
{
    CheckPointer(pAlloc, E_POINTER);
    CheckPointer(pRequest, E_POINTER);
    ULONGLONG cbSample = 0;
    if (m_pTrack != NULL) cbSample = m_pTrack->GetLargestReadableSample();
    const GUID& subtype = *m_mtTrack.Subtype();
    ULONGLONG cbTenFrames = 0;
    if (subtype == MEDIASUBTYPE_AMR_NB) cbTenFrames = DEMUX_MAX_PACK * kAmrNbLargestFrame;
    if (subtype == MEDIASUBTYPE_AMR_WB) cbTenFrames = DEMUX_MAX_PACK * kAmrWbLargestFrame;
    if (cbSample < cbTenFrames) cbSample = cbTenFrames;
    ULONGLONG cbConfig = 0;
    if (m_pTrack != NULL && m_pTrack->GetSampleDescription() != NULL)
        cbConfig = m_pTrack->GetSampleDescription()->GetConfigLength();
    // A size table claiming samples near 4 GiB cannot be served by any
    // allocator; refuse it here rather than let the sum wrap to a small
    // buffer that every read would overflow.
    if (cbSample + cbConfig > 0x7FFFFFFFULL) return E_OUTOFMEMORY;

    pRequest->cBuffers = DEMUX_OUTPUT_BUFFERS;
    pRequest->cbBuffer = static_cast<long>(cbSample + cbConfig);
    pRequest->cbAlign = DEMUX_OUTPUT_ALIGN;
    // cbPrefix stays as the downstream pin asked.
    // The granted properties are not examined: the workers size every read
    // by the media sample's own GetSize.
    ALLOCATOR_PROPERTIES actual;
    return pAlloc->SetProperties(pRequest, &actual);
}

HRESULT CDemuxOutputPin::Active()
{
    if (!IsConnected()) return S_OK;
    HRESULT hr = CBaseOutputPin::Active();
    // A worker that cannot start is reported by StartDelivery; the pause goes on.
    if (SUCCEEDED(hr)) StartDelivery();
    return hr;
}

HRESULT CDemuxOutputPin::Inactive()
{
    // Decommitting first releases a worker blocked in GetDeliveryBuffer.
    HRESULT hr = DecommitAllocator();
    ExitWorker();
    return hr;
}

HRESULT CDemuxOutputPin::DecommitAllocator()
{
    return CBaseOutputPin::Inactive();
}

HRESULT CDemuxOutputPin::DeliverEndOfStream()
{
    IPin* pPeer = GetConnected();
    if (pPeer == NULL) return VFW_E_NOT_CONNECTED;
    HRESULT hr = pPeer->EndOfStream();
    // Set whatever the peer answered: the stream has ended for this run.
    m_bEndOfStreamSent.Set(1);
    return hr;
}

HRESULT CDemuxOutputPin::DeliverBeginFlush()
{
    IPin* pPeer = GetConnected();
    if (pPeer == NULL) return VFW_E_NOT_CONNECTED;
    return pPeer->BeginFlush();
}

HRESULT CDemuxOutputPin::DeliverEndFlush()
{
    IPin* pPeer = GetConnected();
    if (pPeer == NULL) return VFW_E_NOT_CONNECTED;
    return pPeer->EndFlush();
}

STDMETHODIMP CDemuxOutputPin::Notify(IBaseFilter*, Quality)
{
    return E_NOTIMPL;
}
