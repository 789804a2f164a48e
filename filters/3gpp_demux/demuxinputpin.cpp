// CDemuxInputPin: accepts a byte stream, opens the movie when the connection
// completes, and reads the stream for the parser and the delivery threads.
#include "demuxinputpin.h"

#include "demuxfilter.h"
#include "moviereport.h"

namespace {

// ERROR_READ_FAULT as a result code: the reader has the bytes but did not
// deliver them.
const HRESULT DEMUX_E_SHORT_READ = HRESULT_FROM_WIN32(30);

// The stream subtypes of the platform's own sources. Which source offers
// which is theirs to say; this pin only compares them.
const GUID g_streamSubtype0 = {0xEC91B78B, 0x4B17, 0x46BF, {0xBA, 0x8F, 0x83, 0x28, 0x28, 0x85, 0xDA, 0x87}};
const GUID g_streamSubtype1 = {0x14AB389E, 0xF244, 0x4241, {0xBC, 0x65, 0x5D, 0x3B, 0x82, 0x42, 0xA0, 0x0C}};
const GUID g_streamSubtype2 = {0x05F62D9A, 0x8580, 0x42CC, {0xBC, 0x08, 0x3B, 0xAD, 0x80, 0x1E, 0x7F, 0xA1}};
const GUID g_streamSubtype3 = {0x7C860DBA, 0xF86F, 0x4C1C, {0x8A, 0xAA, 0xAC, 0x5D, 0x6D, 0x9E, 0xFA, 0x9E}};
const GUID g_streamSubtype4 = {0x3B914512, 0xFF69, 0x4C87, {0x95, 0x24, 0xCD, 0x0F, 0x5D, 0x85, 0x85, 0xD3}};

// Accepted input subtypes (major type MEDIATYPE_Stream), in enumeration order.
const GUID* const g_inputSubtypes[] = {
    &g_streamSubtype0, &g_streamSubtype1, &g_streamSubtype2, &g_streamSubtype3, &g_streamSubtype4, &MEDIASUBTYPE_None,
};
const int INPUT_SUBTYPE_COUNT = static_cast<int>(sizeof(g_inputSubtypes) / sizeof(g_inputSubtypes[0]));

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
    for (int i = 0; i < INPUT_SUBTYPE_COUNT; ++i) {
        if (*pmt->Subtype() == *g_inputSubtypes[i]) return S_OK;
    }
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CDemuxInputPin::GetMediaType(int iPosition, CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    if (iPosition < 0 || iPosition >= INPUT_SUBTYPE_COUNT) return VFW_S_NO_MORE_ITEMS;
    pmt->InitMediaType();
    pmt->SetType(&MEDIATYPE_Stream);
    pmt->SetSubtype(g_inputSubtypes[iPosition]);
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
