// CDemuxInputPin: accepts a byte stream, opens the movie when the connection
// completes, and reads the stream for the parser and the delivery threads.
#include "demuxinputpin.h"

#include "demuxfilter.h"
#include "demuxsetup.h"
#include "moviereport.h"

namespace {

// ERROR_READ_FAULT as a result code: the reader has the bytes but did not
// deliver them.
const HRESULT DEMUX_E_SHORT_READ = HRESULT_FROM_WIN32(30);

// The parser's hook for an interface that could not be obtained for a
// reason other than its absence. Written in the parser's two-line form.
void ReportComError()
{
    MOVIE_REPORT_ERROR(L"ERROR[Parser] Caught unhandled COM exception.\r\n");
}

}  // namespace

CDemuxInputPin::CDemuxInputPin(CDemuxFilter* pFilter, CCritSec* pLock, HRESULT* phr)
    : CBasePin(NULL, pFilter, pLock, phr, L"Input", PINDIR_INPUT), m_pDemux(pFilter)
{
}

CDemuxInputPin::~CDemuxInputPin()
{
}

HRESULT CDemuxInputPin::CheckMediaType(const CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    if (*pmt->Type() != MEDIATYPE_Stream) return VFW_E_TYPE_NOT_ACCEPTED;
    // The registration record lists exactly the subtypes accepted here.
    for (UINT i = 0; i < g_cDemuxInputTypes; ++i) {
        if (*pmt->Subtype() == *g_sudDemuxInputTypes[i].clsMinorType) return S_OK;
    }
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CDemuxInputPin::GetMediaType(int iPosition, CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    if (iPosition < 0 || static_cast<UINT>(iPosition) >= g_cDemuxInputTypes) return VFW_S_NO_MORE_ITEMS;
    pmt->InitMediaType();
    pmt->SetType(&MEDIATYPE_Stream);
    pmt->SetSubtype(g_sudDemuxInputTypes[iPosition].clsMinorType);
    return S_OK;
}

HRESULT CDemuxInputPin::CompleteConnect(IPin* pReceivePin)
{
    HRESULT hr = CBasePin::CompleteConnect(pReceivePin);
    if (FAILED(hr)) return hr;
    return m_pDemux->OpenMovie(pReceivePin);
}

HRESULT CDemuxInputPin::BreakConnect()
{
    HRESULT hr = CBasePin::BreakConnect();
    if (FAILED(hr)) return hr;
    return m_pDemux->CloseMovie();
}

STDMETHODIMP CDemuxInputPin::BeginFlush()
{
    return m_pDemux->BeginFlush();
}

STDMETHODIMP CDemuxInputPin::EndFlush()
{
    return m_pDemux->EndFlush();
}

IAsyncReader* CDemuxInputPin::GetReader(IPin* pPin)
{
    if (pPin == NULL) return NULL;
    IAsyncReader* pReader = NULL;
    HRESULT hr = pPin->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(&pReader));
    if (FAILED(hr)) {
        if (hr != E_NOINTERFACE) ReportComError();
        return NULL;
    }
    return pReader;
}

// The reader is asked for anew on every call, so a read never outlives the
// connection it was made on.
HRESULT CDemuxInputPin::Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer)
{
    CAutoLock lock(&m_csRead);
    // SyncRead takes a signed 32-bit length; a longer read would arrive
    // there as a negative one.
    if (dwLength > 0x7FFFFFFFUL) return E_INVALIDARG;
    IAsyncReader* pReader = GetReader(GetConnected());
    if (pReader == NULL) return E_NOINTERFACE;
    HRESULT hr = pReader->SyncRead(llPosition, static_cast<LONG>(dwLength), pBuffer);
    // S_FALSE says fewer bytes came than were asked for, and not how many.
    // At the end of the stream that is expected: a table's last window and
    // a sample of a cut-off file reach past it, and the bytes that are there
    // were read. A read that ends inside the stream and still comes back
    // short has left bytes of the buffer unwritten: it failed, and is
    // reported so rather than let the parser or a delivery loop use them.
    if (hr == S_FALSE) {
        LONGLONG llTotal = 0;
        LONGLONG llAvailable = 0;
        const LONGLONG cbLength = static_cast<LONGLONG>(dwLength);
        // Compared without adding: a position from a corrupt table may lie
        // near the largest value, where the sum would overflow.
        if (SUCCEEDED(pReader->Length(&llTotal, &llAvailable)) && llPosition >= 0 && llTotal >= cbLength &&
            llPosition <= llTotal - cbLength) {
            hr = DEMUX_E_SHORT_READ;
        }
    }
    pReader->Release();
    return hr;
}

LONGLONG CDemuxInputPin::Length()
{
    IAsyncReader* pReader = GetReader(GetConnected());
    if (pReader == NULL) return 0;
    LONGLONG llTotal = 0;
    LONGLONG llAvailable = 0;
    HRESULT hr = pReader->Length(&llTotal, &llAvailable);
    pReader->Release();
    // A reader that cannot tell its length is treated like no reader.
    return FAILED(hr) ? 0 : llTotal;
}
