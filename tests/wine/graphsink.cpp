#include "graphsink.h"

#include <wincrypt.h>

#include <chrono>
#include <mutex>
#include <new>

#include "roundingallocator.h"
#include "samplejson.h"

namespace {

// {2F0C5E7A-8B14-4C63-A9D2-5E71B0C3F846}: a class identifier for this sink only.
const CLSID kClsidGraphSink = {0x2F0C5E7A, 0x8B14, 0x4C63, {0xA9, 0xD2, 0x5E, 0x71, 0xB0, 0xC3, 0xF8, 0x46}};

const size_t kNoHold = static_cast<size_t>(-1);

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

std::string SampleLine(const std::string& pin, size_t n, IMediaSample* pSample)
{
    SampleJsonFields fields = {};
    fields.hrTime = pSample->GetTime(&fields.rtStart, &fields.rtStop);
    fields.hrMediaTime = pSample->GetMediaTime(&fields.llMediaStart, &fields.llMediaStop);
    fields.bSyncPoint = pSample->IsSyncPoint() == S_OK;
    fields.bDiscontinuity = pSample->IsDiscontinuity() == S_OK;
    fields.bPreroll = pSample->IsPreroll() == S_OK;
    BYTE* pData = nullptr;
    fields.cbActual = pSample->GetActualDataLength();
    if (FAILED(pSample->GetPointer(&pData)) || fields.cbActual < 0) fields.cbActual = 0;
    return SampleJsonLine(pin, n, fields, Md5Hex(pData, static_cast<size_t>(fields.cbActual)));
}

}  // namespace

// --- input pin -----------------------------------------------------------------

CGraphSinkPin::CGraphSinkPin(CGraphSink* pSink, CCritSec* pLock, HRESULT* phr)
    : CSinkInputPin(L"CGraphSinkPin", pSink, pLock, phr), m_pSink(pSink)
{
}

HRESULT CGraphSinkPin::CheckMediaType(const CMediaType*)
{
    return S_OK;
}

HRESULT CGraphSinkPin::CompleteConnect(IPin* pReceivePin)
{
    HRESULT hr = CSinkInputPin::CompleteConnect(pReceivePin);
    if (FAILED(hr)) return hr;
    if (IsEqualGUID(m_mt.majortype, MEDIATYPE_Video)) m_pSink->SetKind("video");
    else if (IsEqualGUID(m_mt.majortype, MEDIATYPE_Audio)) m_pSink->SetKind("audio");
    else m_pSink->SetKind("other");
    return S_OK;
}

HRESULT CGraphSinkPin::BreakConnect()
{
    m_pSink->SetKind("");
    return CSinkInputPin::BreakConnect();
}

HRESULT CGraphSinkPin::Inactive()
{
    m_pSink->ReleaseHeld();
    return S_OK;
}

STDMETHODIMP CGraphSinkPin::EndOfStream()
{
    m_pSink->OnEndOfStream();
    return S_OK;
}

STDMETHODIMP CGraphSinkPin::BeginFlush()
{
    m_pSink->OnBeginFlush();
    return S_OK;
}

STDMETHODIMP CGraphSinkPin::EndFlush()
{
    m_pSink->OnEndFlush();
    return S_OK;
}

STDMETHODIMP CGraphSinkPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    CBasePin::NewSegment(tStart, tStop, dRate);
    m_pSink->Record(SegmentJsonLine(m_pSink->Kind(), tStart, tStop, dRate));
    return S_OK;
}

HRESULT CGraphSinkPin::CreateOwnAllocator(IMemAllocator** ppAllocator)
{
    return CreateRoundingAllocator(ppAllocator);
}

HRESULT CGraphSinkPin::ReceiveSample(IMediaSample* pSample)
{
    return m_pSink->ReceiveSample(pSample);
}

// --- filter --------------------------------------------------------------------

CGraphSink::CGraphSink(HRESULT* phr)
    : CBaseFilter(L"CGraphSink", nullptr, &m_csFilter, kClsidGraphSink), m_pin(this, &m_csFilter, phr)
{
}

CGraphSink::~CGraphSink() = default;

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
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CGraphSink::Stop()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bCompletePending = false;
    }
    ReleaseHeld();
    return CBaseFilter::Stop();
}

// A renderer that saw end-of-stream before it ran completes when it runs.
STDMETHODIMP CGraphSink::Run(REFERENCE_TIME tStart)
{
    HRESULT hr = CBaseFilter::Run(tStart);
    if (FAILED(hr)) return hr;
    bool bComplete = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        bComplete = m_bCompletePending;
        m_bCompletePending = false;
    }
    if (bComplete) NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
    return hr;
}

void CGraphSink::OnEndOfStream()
{
    bool bRunning = false;
    {
        CAutoLock lock(&m_csFilter);
        bRunning = m_State.Get() == State_Running;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.push_back(PinEventJsonLine(m_kind, "eos"));
        m_bEnded = true;
        m_bCompletePending = !bRunning;
    }
    m_changed.notify_all();
    if (bRunning) NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

void CGraphSink::OnBeginFlush()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.push_back(PinEventJsonLine(m_kind, "flush"));
        m_bFlushing = true;
        m_bFlushed = true;
        m_bEnded = false;
        m_bCompletePending = false;
        // Holding is for the first stretch only: what follows the flush runs freely.
        m_nHoldAfter = kNoHold;
    }
    m_changed.notify_all();
}

void CGraphSink::OnEndFlush()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bFlushing = false;
}

void CGraphSink::ReleaseHeld()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_nHoldAfter = kNoHold;
    }
    m_changed.notify_all();
}

HRESULT CGraphSink::ReceiveSample(IMediaSample* pSample)
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (m_bFlushing) return S_FALSE;
    if (m_nSamples >= m_nHoldAfter) {
        m_bHeld = true;
        m_changed.notify_all();
        m_changed.wait(guard, [&] { return m_bFlushing || m_nSamples < m_nHoldAfter; });
        m_bHeld = false;
        if (m_bFlushing) return S_FALSE;
    }
    // Hashing under the lock keeps the lines in arrival order; the sink has one sender.
    m_lines.push_back(SampleLine(m_kind, m_nSamples++, pSample));
    m_changed.notify_all();
    return S_OK;
}

void CGraphSink::Record(const std::string& line)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lines.push_back(line);
    }
    m_changed.notify_all();
}

void CGraphSink::SetKind(const std::string& kind)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_kind = kind;
}

std::string CGraphSink::Kind() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_kind;
}

std::vector<std::string> CGraphSink::Lines() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lines;
}

void CGraphSink::ClearLines()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lines.clear();
    m_nSamples = 0;
    m_bEnded = false;
    m_bFlushed = false;
}

void CGraphSink::HoldAfter(size_t nSamples)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_nHoldAfter = nSamples;
}

bool CGraphSink::WaitHeldOrEnded(DWORD dwMilliseconds)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(dwMilliseconds), [&] { return m_bHeld || m_bEnded; });
}

bool CGraphSink::WaitEnded(DWORD dwMilliseconds)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(dwMilliseconds), [&] { return m_bEnded; });
}

bool CGraphSink::Flushed() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bFlushed;
}

// --- IMediaSeeking, passed to the connected pin ------------------------------------

IMediaSeeking* CGraphSink::Upstream()
{
    CAutoLock lock(&m_csFilter);
    IPin* pPeer = m_pin.Connected();
    IMediaSeeking* pSeeking = nullptr;
    if (!pPeer || FAILED(pPeer->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&pSeeking)))) return nullptr;
    return pSeeking;
}

// Calls pfn on the upstream pin's IMediaSeeking with the arguments given.
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
