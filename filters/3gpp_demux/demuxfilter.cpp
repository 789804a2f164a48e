// CDemuxFilter: creation and destruction, pins, IAMMediaContent, and opening
// and closing the movie as the input pin connects and disconnects. The
// position state is handled in demuxseeking.cpp.
#include "demuxfilter.h"

#include <new>

#include "demuxinputpin.h"
#include "demuxoutputpin.h"
#include "demuxsetup.h"
#include "movie.h"
#include "moviesampletables.h"
#include "movietrack.h"

namespace {

// An opaque tag the base filter keeps for its creator ("GENF" in ASCII);
// nothing reads it back.
const DWORD DEMUX_CREATOR_TAG = 0x47454E46;

// The probe: at most this many bytes from the start of the stream, which
// must hold the file-type box's header.
const LONGLONG PROBE_BYTES = 128;
const LONGLONG PROBE_MIN_BYTES = 8;  // a probe of this size or less is refused

}  // namespace

CUnknown* WINAPI CDemuxFilter::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr)
{
    HRESULT hr = S_OK;
    CDemuxFilter* pFilter = new (std::nothrow) CDemuxFilter(pUnk, &hr);
    if (pFilter == NULL) {
        hr = E_OUTOFMEMORY;
    } else if (FAILED(hr)) {
        delete pFilter;
        pFilter = NULL;
    }
    if (phr != NULL) *phr = hr;
    return pFilter;
}

CDemuxFilter::CDemuxFilter(LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseFilter(L"Orvane 3GPP Demux Filter", pUnk, &m_csFilter, CLSID_DemuxFilter, DEMUX_CREATOR_TAG),
      m_pInputPin(NULL),
      m_rtStart(0),
      m_rtStop(-1),
      m_dRate(1.0),
      m_pSeekingPin(NULL),
      m_pMovie(NULL)
{
    m_pInputPin = new (std::nothrow) CDemuxInputPin(this, &m_csFilter, phr);
    if (m_pInputPin == NULL && phr != NULL) *phr = E_OUTOFMEMORY;
}

CDemuxFilter::~CDemuxFilter()
{
    // The output pins' workers read through the input pin: they go first.
    DestroyOutputPins();
    delete m_pInputPin;
    m_pInputPin = NULL;
    delete m_pMovie;
    m_pMovie = NULL;
}

STDMETHODIMP CDemuxFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IAMMediaContent)) return GetInterface(static_cast<IAMMediaContent*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

int CDemuxFilter::GetPinCount()
{
    return 1 + static_cast<int>(m_outputPins.size());
}

CBasePin* CDemuxFilter::GetPin(int n)
{
    if (n == 0) return m_pInputPin;
    if (n >= 1 && static_cast<DWORD>(n) <= m_outputPins.size()) return m_outputPins[n - 1];
    return NULL;
}

const AMOVIESETUP_FILTER* CDemuxFilter::GetSetupData()
{
    return &g_sudDemuxFilter;
}

// Every output pin's allocator is decommitted before any worker is waited
// for: a worker blocked in Deliver by a downstream that waits for the other
// stream is freed only once that stream's worker, blocked for a buffer, has
// been released by its own decommit.
STDMETHODIMP CDemuxFilter::Stop()
{
    CAutoLock lock(&m_csFilter);
    DecommitOutputPins();
    return CBaseFilter::Stop();
}

void CDemuxFilter::DecommitOutputPins()
{
    for (DWORD i = 0; i < m_outputPins.size(); ++i) m_outputPins[i]->DecommitAllocator();
}

// --- opening and closing the movie ---------------------------------------------

HRESULT CDemuxFilter::OpenMovie(IPin* pReceivePin)
{
    // A connection attempt that failed was closed by BreakConnect; this only
    // guards against a movie left over from elsewhere.
    if (m_pMovie != NULL) CloseMovie();

    IAsyncReader* pReader = CDemuxInputPin::GetReader(pReceivePin);
    if (pReader == NULL) return E_NOINTERFACE;

    HRESULT hr = ProbeStream(pReader);
    if (SUCCEEDED(hr)) {
        // On failure the movie stays until CloseMovie, which the failed
        // connection's BreakConnect calls.
        m_pMovie = new (std::nothrow) CMovie(static_cast<ByteSource*>(m_pInputPin));
        if (m_pMovie == NULL || FAILED(m_pMovie->Parse())) hr = VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (SUCCEEDED(hr)) {
        CreateOutputPins();
        if (m_outputPins.empty()) hr = VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (SUCCEEDED(hr)) {
        // No worker exists while the input pin connects, so the positions
        // are written without the position lock (which must not nest in the
        // filter lock held here). The rate set earlier stays.
        m_rtStart = 0;
        m_rtStop = m_pMovie->GetDuration();
        hr = S_OK;
    }
    pReader->Release();
    return hr;
}

// The stream must start with a file-type box: "ftyp" at bytes 4..7.
HRESULT CDemuxFilter::ProbeStream(IAsyncReader* pReader)
{
    LONGLONG llTotal = 0;
    LONGLONG llAvailable = 0;
    if (FAILED(pReader->Length(&llTotal, &llAvailable)) || llTotal <= 0) return VFW_E_TYPE_NOT_ACCEPTED;

    LONGLONG cbProbe = llTotal < PROBE_BYTES ? llTotal : PROBE_BYTES;
    // Zeroed so that a read that comes back short (S_FALSE) cannot leave
    // stale bytes where the box type is looked for.
    BYTE probe[PROBE_BYTES] = {0};
    HRESULT hr = pReader->SyncRead(0, static_cast<LONG>(cbProbe), probe);
    if (FAILED(hr) || cbProbe <= PROBE_MIN_BYTES) return VFW_E_TYPE_NOT_ACCEPTED;
    if (probe[4] != 'f' || probe[5] != 't' || probe[6] != 'y' || probe[7] != 'p') return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

// The first video track whose pin can be built, then the first such audio
// track. A track that cannot be delivered is skipped.
void CDemuxFilter::CreateOutputPins()
{
    for (DWORD i = 0; i < m_pMovie->GetTracks().size(); ++i) {
        if (m_pMovie->GetTracks()[i]->IsOfferedAs(true) && AddOutputPin(i)) break;
    }
    for (DWORD i = 0; i < m_pMovie->GetTracks().size(); ++i) {
        if (m_pMovie->GetTracks()[i]->IsOfferedAs(false) && AddOutputPin(i)) break;
    }
}

bool CDemuxFilter::AddOutputPin(DWORD dwTrack)
{
    HRESULT hr = S_OK;
    CDemuxOutputPin* pPin =
        new (std::nothrow) CDemuxOutputPin(m_pMovie->GetTracks()[dwTrack], this, &m_csFilter, L"out", &hr);
    if (pPin == NULL) return false;
    if (FAILED(hr) || FAILED(m_outputPins.push_back(pPin))) {
        delete pPin;
        return false;
    }
    return true;
}

HRESULT CDemuxFilter::CloseMovie()
{
    DestroyOutputPins();
    m_pSeekingPin = NULL;
    delete m_pMovie;
    m_pMovie = NULL;
    return S_OK;
}

// The pins' reference counts are the filter's, so they are deleted directly.
// No worker may outlive its pin or the movie it reads: all are released
// (as at Stop) and ended before anything is freed. A pin still connected
// downstream (the input was disconnected first) is parted from its peer
// before, so that the peer keeps neither a pointer to a deleted pin nor a
// reference on this filter.
void CDemuxFilter::DestroyOutputPins()
{
    DecommitOutputPins();
    for (DWORD i = 0; i < m_outputPins.size(); ++i) m_outputPins[i]->ExitWorker();
    for (DWORD i = 0; i < m_outputPins.size(); ++i) {
        CDemuxOutputPin* pPin = m_outputPins[i];
        IPin* pPeer = pPin->GetConnected();
        if (pPeer != NULL) {
            pPeer->Disconnect();
            pPin->Disconnect();
        }
        delete pPin;
    }
    m_outputPins.clear();
}

// Results of the output pins are ignored: an unconnected pin has nothing to flush.
HRESULT CDemuxFilter::BeginFlush()
{
    for (DWORD i = 0; i < m_outputPins.size(); ++i) m_outputPins[i]->DeliverBeginFlush();
    return S_OK;
}

HRESULT CDemuxFilter::EndFlush()
{
    for (DWORD i = 0; i < m_outputPins.size(); ++i) m_outputPins[i]->DeliverEndFlush();
    return S_OK;
}
