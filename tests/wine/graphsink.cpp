#include "graphsink.h"

#include <wincrypt.h>

#include <chrono>
#include <new>

#include "roundingallocator.h"

namespace {

// MD5 of a byte range as lower-case hex, as the Linux tool hashes samples;
// empty when CryptoAPI has no provider.
std::string Md5Hex(const BYTE* pData, size_t cb)
{
    // One provider for the process; CryptoAPI hashes are not shared between threads.
    static HCRYPTPROV s_hProvider = 0;
    static std::once_flag s_once;
    std::call_once(s_once, [] {
        if (!CryptAcquireContextW(&s_hProvider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) s_hProvider = 0;
    });
    if (!s_hProvider) return std::string();

    HCRYPTHASH hHash = 0;
    if (!CryptCreateHash(s_hProvider, CALG_MD5, 0, 0, &hHash)) return std::string();
    static const BYTE kEmpty = 0;
    BYTE digest[16];
    DWORD cbDigest = sizeof(digest);
    bool bOk = CryptHashData(hHash, cb ? pData : &kEmpty, static_cast<DWORD>(cb), 0) &&
               CryptGetHashParam(hHash, HP_HASHVAL, digest, &cbDigest, 0) && cbDigest == sizeof(digest);
    CryptDestroyHash(hHash);
    if (!bOk) return std::string();
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (DWORD i = 0; i < cbDigest; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}

}  // namespace

// A renderer's options: EC_COMPLETE at end-of-stream, and buffers from Wine's
// allocator sized as Windows' would be (roundingallocator.h).
SinkOptions CGraphSink::RendererOptions(CGraphSink* pSink)
{
    SinkOptions options;
    options.bProvideAllocator = true;
    options.pfnCreateAllocator = CreateRoundingAllocator;
    options.bNotifyComplete = true;
    options.onEvent = [pSink](const SinkEvent& event, const SampleRecord* pSample, const BYTE* pData) {
        pSink->OnEvent(event, pSample, pData);
    };
    return options;
}

CGraphSink::CGraphSink(HRESULT* phr) : CRecordingSink(RendererOptions(this), phr) {}

CGraphSink* CGraphSink::Create()
{
    HRESULT hr = S_OK;
    CGraphSink* pSink = new (std::nothrow) CGraphSink(&hr);
    if (!pSink) return nullptr;
    pSink->NonDelegatingAddRef();
    if (FAILED(hr)) {
        pSink->NonDelegatingRelease();
        return nullptr;
    }
    return pSink;
}

STDMETHODIMP CGraphSink::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IMediaSeeking)) return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    if (IsEqualIID(riid, IID_IAMFilterMiscFlags)) return GetInterface(static_cast<IAMFilterMiscFlags*>(this), ppv);
    return CRecordingSink::NonDelegatingQueryInterface(riid, ppv);
}

void CGraphSink::OnEvent(const SinkEvent& event, const SampleRecord* pSample, const BYTE* pData)
{
    // Holding is for the first stretch only: what follows a seek runs freely.
    if (event.kind == SinkEvent::BeginFlush) HoldNthSample(0);
    std::string md5;
    if (pSample) md5 = Md5Hex(pData, pSample->cbActual > 0 && pData ? static_cast<size_t>(pSample->cbActual) : 0);
    {
        std::lock_guard<std::mutex> guard(m_lineLock);
        std::string line = SinkEventJsonLine(m_kind, event, pSample, md5);
        if (!line.empty()) m_lines.push_back(line);
        if (event.kind == SinkEvent::BeginFlush) m_bEnded = false;
        if (event.kind == SinkEvent::EndOfStream) m_bEnded = true;
    }
    m_ended.notify_all();
}

void CGraphSink::NameFromConnection()
{
    AM_MEDIA_TYPE mt = {};
    if (FAILED(InputPin()->ConnectionMediaType(&mt))) return;
    std::lock_guard<std::mutex> guard(m_lineLock);
    if (IsEqualGUID(mt.majortype, MEDIATYPE_Video)) m_kind = "video";
    else if (IsEqualGUID(mt.majortype, MEDIATYPE_Audio)) m_kind = "audio";
    else m_kind = "other";
    CoTaskMemFree(mt.pbFormat);
    if (mt.pUnk) mt.pUnk->Release();
}

std::vector<std::string> CGraphSink::Lines() const
{
    std::lock_guard<std::mutex> guard(m_lineLock);
    return m_lines;
}

void CGraphSink::ClearLines()
{
    ClearRecords();
    std::lock_guard<std::mutex> guard(m_lineLock);
    m_lines.clear();
    m_bEnded = false;
}

bool CGraphSink::WaitEnded(DWORD dwMilliseconds)
{
    std::unique_lock<std::mutex> guard(m_lineLock);
    return m_ended.wait_for(guard, std::chrono::milliseconds(dwMilliseconds), [&] { return m_bEnded; });
}

// --- IMediaSeeking, passed to the connected pin ------------------------------------

IMediaSeeking* CGraphSink::Upstream()
{
    IPin* pPeer = nullptr;
    if (FAILED(InputPin()->ConnectedTo(&pPeer))) return nullptr;
    IMediaSeeking* pSeeking = nullptr;
    if (FAILED(pPeer->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&pSeeking)))) pSeeking = nullptr;
    pPeer->Release();
    return pSeeking;
}

// Makes the call on the upstream pin's IMediaSeeking.
#define PASS_UPSTREAM(call)                            \
    do {                                               \
        IMediaSeeking* pUpstream = Upstream();         \
        if (!pUpstream) return E_NOTIMPL;              \
        HRESULT hrUpstream = pUpstream->call;          \
        pUpstream->Release();                          \
        return hrUpstream;                             \
    } while (0)

STDMETHODIMP CGraphSink::GetCapabilities(DWORD* p) { PASS_UPSTREAM(GetCapabilities(p)); }
STDMETHODIMP CGraphSink::CheckCapabilities(DWORD* p) { PASS_UPSTREAM(CheckCapabilities(p)); }
STDMETHODIMP CGraphSink::IsFormatSupported(const GUID* p) { PASS_UPSTREAM(IsFormatSupported(p)); }
STDMETHODIMP CGraphSink::QueryPreferredFormat(GUID* p) { PASS_UPSTREAM(QueryPreferredFormat(p)); }
STDMETHODIMP CGraphSink::GetTimeFormat(GUID* p) { PASS_UPSTREAM(GetTimeFormat(p)); }
STDMETHODIMP CGraphSink::IsUsingTimeFormat(const GUID* p) { PASS_UPSTREAM(IsUsingTimeFormat(p)); }
STDMETHODIMP CGraphSink::SetTimeFormat(const GUID* p) { PASS_UPSTREAM(SetTimeFormat(p)); }
STDMETHODIMP CGraphSink::GetDuration(LONGLONG* p) { PASS_UPSTREAM(GetDuration(p)); }
STDMETHODIMP CGraphSink::GetStopPosition(LONGLONG* p) { PASS_UPSTREAM(GetStopPosition(p)); }
STDMETHODIMP CGraphSink::GetCurrentPosition(LONGLONG* p) { PASS_UPSTREAM(GetCurrentPosition(p)); }
STDMETHODIMP CGraphSink::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                           const GUID* pSourceFormat)
{
    PASS_UPSTREAM(ConvertTimeFormat(pTarget, pTargetFormat, Source, pSourceFormat));
}
STDMETHODIMP CGraphSink::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop, DWORD dwStopFlags)
{
    PASS_UPSTREAM(SetPositions(pCurrent, dwCurrentFlags, pStop, dwStopFlags));
}
STDMETHODIMP CGraphSink::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) { PASS_UPSTREAM(GetPositions(pCurrent, pStop)); }
STDMETHODIMP CGraphSink::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest)
{
    PASS_UPSTREAM(GetAvailable(pEarliest, pLatest));
}
STDMETHODIMP CGraphSink::SetRate(double dRate) { PASS_UPSTREAM(SetRate(dRate)); }
STDMETHODIMP CGraphSink::GetRate(double* p) { PASS_UPSTREAM(GetRate(p)); }
STDMETHODIMP CGraphSink::GetPreroll(LONGLONG* p) { PASS_UPSTREAM(GetPreroll(p)); }
