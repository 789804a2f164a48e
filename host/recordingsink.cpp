#include "recordingsink.h"

#include <chrono>
#include <cstring>
#include <new>

#include "baseoutputpin.h"  // CreateMemoryAllocator
#include "hostsequence.h"
#include "samplejson.h"

namespace {

// {6A1B7E52-3C0D-4F1E-9B7A-2D5C8E4F1A30}: a class identifier for the test sink only.
const CLSID kClsidRecordingSink = {0x6A1B7E52, 0x3C0D, 0x4F1E, {0x9B, 0x7A, 0x2D, 0x5C, 0x8E, 0x4F, 0x1A, 0x30}};

// Reads every byte, cheaply: what a consumer that looks at the data costs at
// least. Eight bytes a load; a byte-wide sum costs more than the demuxer does.
uint64_t ByteSum(const BYTE* p, size_t cb)
{
    uint64_t sum = 0;
    size_t i = 0;
    for (; i + 8 <= cb; i += 8) {
        uint64_t word;
        memcpy(&word, p + i, 8);
        sum += word;
    }
    for (; i < cb; ++i) sum += p[i];
    return sum;
}

uint64_t Fnv1a(const BYTE* p, size_t cb)
{
    uint64_t h = 1469598103934665603ULL;
    for (size_t i = 0; i < cb; ++i) {
        h ^= p[i];
        h *= 1099511628211ULL;
    }
    return h;
}

// Everything but the bytes and their hash.
SampleRecord DescribeSample(IMediaSample* pSample)
{
    SampleRecord record;
    record.hrTime = pSample->GetTime(&record.rtStart, &record.rtStop);
    record.hrMediaTime = pSample->GetMediaTime(&record.llMediaStart, &record.llMediaStop);
    if (FAILED(record.hrTime)) record.rtStart = record.rtStop = 0;
    if (FAILED(record.hrMediaTime)) record.llMediaStart = record.llMediaStop = 0;
    record.bSyncPoint = pSample->IsSyncPoint() == S_OK;
    record.bPreroll = pSample->IsPreroll() == S_OK;
    record.bDiscontinuity = pSample->IsDiscontinuity() == S_OK;
    record.cbActual = pSample->GetActualDataLength();
    record.cbBuffer = pSample->GetSize();
    record.hash = 0;
    return record;
}

}  // namespace

std::string SinkEventJsonLine(const std::string& pin, const SinkEvent& event, const SampleRecord* pSample,
                              const std::string& md5)
{
    switch (event.kind) {
    case SinkEvent::Sample: {
        return SampleJsonLine(pin, event.nSample, *pSample, md5);
    }
    case SinkEvent::NewSegment:
        return SegmentJsonLine(pin, event.rtStart, event.rtStop, event.dRate);
    case SinkEvent::EndOfStream:
        return PinEventJsonLine(pin, "eos");
    case SinkEvent::BeginFlush:
        return PinEventJsonLine(pin, "flush");
    case SinkEvent::EndFlush:
        break;
    }
    return std::string();
}

// --- input pin -----------------------------------------------------------------

CRecordingInputPin::CRecordingInputPin(CRecordingSink* pSink, CCritSec* pLock, HRESULT* phr)
    : CSinkInputPin(L"CRecordingInputPin", pSink, pLock, phr), m_pSink(pSink)
{
}

CRecordingInputPin::~CRecordingInputPin() = default;

HRESULT CRecordingInputPin::CheckMediaType(const CMediaType* pmt)
{
    const SinkOptions& options = m_pSink->m_options;
    if (!IsEqualGUID(options.majortype, GUID_NULL) && !IsEqualGUID(options.majortype, pmt->majortype)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (!IsEqualGUID(options.subtype, GUID_NULL) && !IsEqualGUID(options.subtype, pmt->subtype)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    return S_OK;
}

// A blocked Receive is released by CRecordingSink::Stop, once the filter's
// state is Stopped: released here, while the base filter has yet to change
// the state, it would take the sample it was holding as if still running.
HRESULT CRecordingInputPin::Inactive()
{
    return S_OK;
}

STDMETHODIMP CRecordingInputPin::EndOfStream()
{
    // EC_COMPLETE first: whoever sees the end-of-stream recorded sees it too.
    m_pSink->OnEndOfStream();
    m_pSink->Record({SinkEvent::EndOfStream, 0, 0, 0, 0.0});
    return S_OK;
}

STDMETHODIMP CRecordingInputPin::BeginFlush()
{
    {
        std::lock_guard<std::mutex> guard(m_pSink->m_lock);
        m_pSink->m_bFlushing = true;
        m_pSink->m_bCompletePending = false;
    }
    m_pSink->ReleaseBlocked();
    m_pSink->Record({SinkEvent::BeginFlush, 0, 0, 0, 0.0});
    return S_OK;
}

STDMETHODIMP CRecordingInputPin::EndFlush()
{
    {
        std::lock_guard<std::mutex> guard(m_pSink->m_lock);
        m_pSink->m_bFlushing = false;
        m_pSink->m_bFirstSeen = false;
    }
    m_pSink->Record({SinkEvent::EndFlush, 0, 0, 0, 0.0});
    return S_OK;
}

STDMETHODIMP CRecordingInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    CBasePin::NewSegment(tStart, tStop, dRate);
    m_pSink->Record({SinkEvent::NewSegment, 0, tStart, tStop, dRate});
    return S_OK;
}

HRESULT CRecordingInputPin::CreateOwnAllocator(IMemAllocator** ppAllocator)
{
    const SinkOptions& options = m_pSink->m_options;
    if (!options.bProvideAllocator) return VFW_E_NO_ALLOCATOR;
    return options.pfnCreateAllocator ? options.pfnCreateAllocator(ppAllocator) : CreateMemoryAllocator(ppAllocator);
}

STDMETHODIMP CRecordingInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly)
{
    CheckPointer(pAllocator, E_POINTER);
    if (FAILED(m_pSink->m_options.hrNotifyAllocator)) return m_pSink->m_options.hrNotifyAllocator;
    ALLOCATOR_PROPERTIES props;
    if (m_pSink->m_options.cbBuffer > 0 && SUCCEEDED(pAllocator->GetProperties(&props))) {
        props.cbBuffer = m_pSink->m_options.cbBuffer;
        ALLOCATOR_PROPERTIES actual;
        HRESULT hr = pAllocator->SetProperties(&props, &actual);
        if (FAILED(hr)) return hr;
    }
    return CSinkInputPin::NotifyAllocator(pAllocator, bReadOnly);
}

STDMETHODIMP CRecordingInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps)
{
    CheckPointer(pProps, E_POINTER);
    if (!m_pSink->m_options.bHasRequirements) return E_NOTIMPL;
    *pProps = m_pSink->m_options.requirements;
    return S_OK;
}

HRESULT CRecordingInputPin::ReceiveSample(IMediaSample* pSample)
{
    return m_pSink->ReceiveSample(pSample);
}

// --- filter --------------------------------------------------------------------

CRecordingSink::CRecordingSink(const SinkOptions& options, HRESULT* phr)
    : CBaseFilter(L"CRecordingSink", nullptr, &m_csFilter, kClsidRecordingSink), m_pin(this, &m_csFilter, phr),
      m_options(options)
{
}

CRecordingSink::~CRecordingSink() = default;

CRecordingSink* CRecordingSink::Create(const SinkOptions& options)
{
    HRESULT hr = S_OK;
    CRecordingSink* pSink = new (std::nothrow) CRecordingSink(options, &hr);
    if (!pSink) return nullptr;
    pSink->AddRef();
    if (FAILED(hr)) {
        pSink->Release();
        return nullptr;
    }
    return pSink;
}

STDMETHODIMP CRecordingSink::Stop()
{
    HRESULT hr = CBaseFilter::Stop();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bCompletePending = false;
    }
    ReleaseBlocked();
    return hr;
}

// An end-of-stream that came while paused completes when the sink runs.
STDMETHODIMP CRecordingSink::Run(REFERENCE_TIME tStart)
{
    HRESULT hr = CBaseFilter::Run(tStart);
    bool bComplete = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        bComplete = SUCCEEDED(hr) && m_bCompletePending;
        m_bCompletePending = false;
    }
    if (bComplete) NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
    return hr;
}

void CRecordingSink::OnEndOfStream()
{
    if (!m_options.bNotifyComplete) return;
    const bool bRunning = m_State.Get() == State_Running;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_bFlushing) return;
        m_bCompletePending = !bRunning;
    }
    if (bRunning) NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

void CRecordingSink::Record(const SinkEvent& event)
{
    SinkEvent recorded = event;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        recorded.nSequence = NextHostSequence();
        m_events.push_back(recorded);
        if (event.kind == SinkEvent::EndOfStream) ++m_lEndOfStream;
        if (event.kind == SinkEvent::BeginFlush) ++m_lFlushes;
    }
    m_changed.notify_all();
    if (m_options.onEvent) m_options.onEvent(recorded, nullptr, nullptr);
}

void CRecordingSink::ReleaseBlocked()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_lReleaseGeneration;
    }
    m_changed.notify_all();
}

HRESULT CRecordingSink::ReceiveSample(IMediaSample* pSample)
{
    std::unique_lock<std::mutex> guard(m_lock);
    ++m_lReceiveCalls;
    if (IsStopped()) return VFW_E_WRONG_STATE;
    if (m_bFlushing) return S_FALSE;
    if (!m_bFirstSeen) {
        m_bFirstSeen = true;
        m_tFirstArrival = std::chrono::steady_clock::now();
        LONGLONG llStop = 0;
        if (FAILED(pSample->GetMediaTime(&m_llFirstMediaStart, &llStop))) m_llFirstMediaStart = 0;
        m_changed.notify_all();
    }
    if (m_lBlockFromCall > 0 && m_lReceiveCalls >= m_lBlockFromCall) {
        m_lBlockFromCall = 0;
        m_bBlock = true;
    }
    if (m_bBlock) {
        long lGeneration = m_lReleaseGeneration;
        ++m_lBlocked;
        m_changed.notify_all();
        m_changed.wait(guard, [&] { return !m_bBlock || m_lReleaseGeneration != lGeneration; });
        --m_lBlocked;
        if (IsStopped()) return VFW_E_WRONG_STATE;
        if (m_bFlushing) return S_FALSE;
    }
    if (FAILED(m_hrReceive)) return m_hrReceive;
    // A chosen success code (S_FALSE) still takes the sample.
    const bool bChosen = m_lReceiveCalls == m_lFailAtCall;
    if (bChosen && FAILED(m_hrFailAt)) return m_hrFailAt;

    ++m_nAccepted;
    if (m_options.onEvent) {
        SampleRecord record = DescribeSample(pSample);
        BYTE* pData = nullptr;
        pSample->GetPointer(&pData);
        m_cbAccepted += record.cbActual > 0 && pData ? static_cast<uint64_t>(record.cbActual) : 0;
        SinkEvent event = {SinkEvent::Sample, static_cast<size_t>(m_nAccepted - 1), 0, 0, 0.0, NextHostSequence()};
        const long lCall = m_lReceiveCalls;
        guard.unlock();
        m_changed.notify_all();
        m_options.onEvent(event, &record, pData);
        // Held after it is shown, so the line reaches the output before the seek.
        guard.lock();
        HoldIfChosen(guard, lCall);
        return bChosen ? m_hrFailAt : S_OK;
    }
    if (!m_options.bRecordSamples) {
        BYTE* pData = nullptr;
        LONG cbActual = pSample->GetActualDataLength();
        if (SUCCEEDED(pSample->GetPointer(&pData)) && pData && cbActual > 0) {
            m_nByteSum += ByteSum(pData, static_cast<size_t>(cbActual));
            m_cbAccepted += static_cast<uint64_t>(cbActual);
        }
        guard.unlock();
        m_changed.notify_all();
        return bChosen ? m_hrFailAt : S_OK;
    }

    SampleRecord record = DescribeSample(pSample);
    BYTE* pData = nullptr;
    pSample->GetPointer(&pData);
    size_t cb = record.cbActual > 0 && pData ? static_cast<size_t>(record.cbActual) : 0;
    record.hash = Fnv1a(pData, cb);
    m_cbAccepted += cb;
    if (m_options.bKeepBytes && cb) record.bytes.assign(pData, pData + cb);
    m_samples.push_back(std::move(record));
    m_events.push_back({SinkEvent::Sample, m_samples.size() - 1, 0, 0, 0.0, NextHostSequence()});
    HoldIfChosen(guard, m_lReceiveCalls);
    guard.unlock();
    m_changed.notify_all();
    return bChosen ? m_hrFailAt : S_OK;
}

void CRecordingSink::HoldIfChosen(std::unique_lock<std::mutex>& guard, long lCall)
{
    if (lCall != m_lHoldAtCall) return;
    m_lHoldAtCall = 0;
    long lGeneration = m_lReleaseGeneration;
    m_bHolding = true;
    m_changed.notify_all();
    m_changed.wait(guard, [&] { return m_lReleaseGeneration != lGeneration; });
    m_bHolding = false;
}

void CRecordingSink::BlockReceive(bool bBlock)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bBlock = bBlock;
    }
    m_changed.notify_all();
}

void CRecordingSink::SetReceiveResult(HRESULT hr)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_hrReceive = hr;
}

void CRecordingSink::FailNthReceive(long n, HRESULT hr)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lFailAtCall = n > 0 ? m_lReceiveCalls + n : 0;
    m_hrFailAt = hr;
}

void CRecordingSink::BlockFromNthReceive(long n)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lBlockFromCall = n > 0 ? m_lReceiveCalls + n : 0;
}

void CRecordingSink::HoldNthSample(long n)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lHoldAtCall = n > 0 ? m_lReceiveCalls + n : 0;
}

bool CRecordingSink::WaitForHeldOrEnded(DWORD dwMilliseconds)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(dwMilliseconds),
                              [&] { return m_bHolding || m_lEndOfStream > 0; });
}

std::vector<SinkEvent> CRecordingSink::Events() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_events;
}

std::vector<SampleRecord> CRecordingSink::Samples() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_samples;
}

long CRecordingSink::EndOfStreamCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lEndOfStream;
}

long CRecordingSink::FlushCount() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lFlushes;
}

long CRecordingSink::ReceiveCalls() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lReceiveCalls;
}

long CRecordingSink::BlockedReceivers() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lBlocked;
}

bool CRecordingSink::WaitForEndOfStream(long n, DWORD dwMilliseconds)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(dwMilliseconds), [&] { return m_lEndOfStream >= n; });
}

bool CRecordingSink::WaitForSamples(size_t n, DWORD dwMilliseconds)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(dwMilliseconds),
                              [&] { return m_nAccepted >= n; });
}

bool CRecordingSink::WaitForBlockedReceive(DWORD dwMilliseconds)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(dwMilliseconds), [&] { return m_lBlocked > 0; });
}

uint64_t CRecordingSink::SamplesReceived() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_nAccepted;
}

uint64_t CRecordingSink::BytesReceived() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_cbAccepted;
}

bool CRecordingSink::WaitForFirstAfterFlush(DWORD dwMilliseconds, std::chrono::steady_clock::time_point* pArrival,
                                            LONGLONG* pllMediaStart)
{
    std::unique_lock<std::mutex> guard(m_lock);
    if (!m_changed.wait_for(guard, std::chrono::milliseconds(dwMilliseconds), [&] { return m_bFirstSeen; }))
        return false;
    if (pArrival) *pArrival = m_tFirstArrival;
    if (pllMediaStart) *pllMediaStart = m_llFirstMediaStart;
    return true;
}

void CRecordingSink::ClearRecords()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_events.clear();
    m_samples.clear();
    m_lEndOfStream = 0;
    m_lFlushes = 0;
    m_lReceiveCalls = 0;
    m_nAccepted = 0;
    m_cbAccepted = 0;
}
