// The platform's memory allocator (CLSID_MemoryAllocator): a fixed set of
// equal buffers, handed out as media samples. GetBuffer blocks until a
// sample comes back through its last Release; Decommit wakes blocked
// callers with VFW_E_NOT_COMMITTED and frees the memory once every sample
// is back. Every sample handed out holds a reference on the allocator.
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <set>
#include <vector>

#include "allocatorrounding.h"
#include "comtesthooks.h"
#include "singleinterface.h"
#include "standinclasses.h"

namespace {

std::atomic<long> g_liveAllocators{0};

class CStandinMemAllocator;

// The allocators alive, so that a test hook can tell one of them from any
// other IMemAllocator it is handed.
std::mutex g_registryLock;
std::set<CStandinMemAllocator*>& Registry()
{
    static std::set<CStandinMemAllocator*> registry;
    return registry;
}

class CStandinSample final : public IMediaSample {
public:
    CStandinSample(CStandinMemAllocator* pAllocator, BYTE* pBuffer, LONG cbBuffer)
        : m_pAllocator(pAllocator), m_pBuffer(pBuffer), m_cbBuffer(cbBuffer)
    {
    }
    ~CStandinSample() { ClearState(); }

    // Called by the allocator when it hands the sample out.
    void Prepare() { m_cRef = 1; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return QuerySingleInterface(static_cast<IMediaSample*>(this), IID_IMediaSample, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP GetPointer(BYTE** ppBuffer) override
    {
        if (!ppBuffer) return E_POINTER;
        *ppBuffer = m_pBuffer;
        return S_OK;
    }
    STDMETHODIMP_(LONG) GetSize() override { return m_cbBuffer; }
    STDMETHODIMP GetTime(REFERENCE_TIME* pStart, REFERENCE_TIME* pEnd) override
    {
        if (!pStart || !pEnd) return E_POINTER;
        if (!m_bTimeValid) return VFW_E_SAMPLE_TIME_NOT_SET;
        *pStart = m_rtStart;
        if (!m_bStopValid) {
            *pEnd = m_rtStart + 1;
            return VFW_S_NO_STOP_TIME;
        }
        *pEnd = m_rtStop;
        return S_OK;
    }
    STDMETHODIMP SetTime(REFERENCE_TIME* pStart, REFERENCE_TIME* pEnd) override
    {
        m_bTimeValid = pStart != nullptr;
        m_bStopValid = pStart != nullptr && pEnd != nullptr;
        if (pStart) m_rtStart = *pStart;
        if (pStart && pEnd) m_rtStop = *pEnd;
        return S_OK;
    }
    STDMETHODIMP IsSyncPoint() override { return m_bSyncPoint ? S_OK : S_FALSE; }
    STDMETHODIMP SetSyncPoint(BOOL b) override
    {
        m_bSyncPoint = b != FALSE;
        return S_OK;
    }
    STDMETHODIMP IsPreroll() override { return m_bPreroll ? S_OK : S_FALSE; }
    STDMETHODIMP SetPreroll(BOOL b) override
    {
        m_bPreroll = b != FALSE;
        return S_OK;
    }
    STDMETHODIMP_(LONG) GetActualDataLength() override { return m_cbActual; }
    STDMETHODIMP SetActualDataLength(LONG cb) override
    {
        if (cb < 0 || cb > m_cbBuffer) return VFW_E_BUFFER_OVERFLOW;
        m_cbActual = cb;
        return S_OK;
    }
    STDMETHODIMP GetMediaType(AM_MEDIA_TYPE** ppType) override;
    STDMETHODIMP SetMediaType(AM_MEDIA_TYPE* pType) override;
    STDMETHODIMP IsDiscontinuity() override { return m_bDiscontinuity ? S_OK : S_FALSE; }
    STDMETHODIMP SetDiscontinuity(BOOL b) override
    {
        m_bDiscontinuity = b != FALSE;
        return S_OK;
    }
    STDMETHODIMP GetMediaTime(LONGLONG* pStart, LONGLONG* pEnd) override
    {
        if (!pStart || !pEnd) return E_POINTER;
        if (!m_bMediaTimeValid) return VFW_E_MEDIA_TIME_NOT_SET;
        *pStart = m_llMediaStart;
        *pEnd = m_llMediaStop;
        return S_OK;
    }
    STDMETHODIMP SetMediaTime(LONGLONG* pStart, LONGLONG* pEnd) override
    {
        if (!pStart || !pEnd) {
            m_bMediaTimeValid = false;
            return S_OK;
        }
        m_llMediaStart = *pStart;
        m_llMediaStop = *pEnd;
        m_bMediaTimeValid = true;
        return S_OK;
    }

    // Forgets everything a user set, as a sample coming back to the pool does.
    void ClearState();

private:
    static AM_MEDIA_TYPE* CopyType(const AM_MEDIA_TYPE* pSource);
    static void FreeType(AM_MEDIA_TYPE* pType);

    std::atomic<ULONG> m_cRef{0};
    CStandinMemAllocator* m_pAllocator;
    BYTE* m_pBuffer;
    LONG m_cbBuffer;
    LONG m_cbActual = 0;
    bool m_bSyncPoint = false;
    bool m_bPreroll = false;
    bool m_bDiscontinuity = false;
    bool m_bTimeValid = false;
    bool m_bStopValid = false;
    bool m_bMediaTimeValid = false;
    REFERENCE_TIME m_rtStart = 0;
    REFERENCE_TIME m_rtStop = 0;
    LONGLONG m_llMediaStart = 0;
    LONGLONG m_llMediaStop = 0;
    AM_MEDIA_TYPE* m_pType = nullptr;
};

class CStandinMemAllocator final : public IMemAllocator {
public:
    CStandinMemAllocator()
    {
        ++g_liveAllocators;
        std::lock_guard<std::mutex> guard(g_registryLock);
        Registry().insert(this);
    }
    ~CStandinMemAllocator()
    {
        {
            std::lock_guard<std::mutex> guard(g_registryLock);
            Registry().erase(this);
        }
        FreeBuffers();
        --g_liveAllocators;
    }

    // The n-th GetBuffer from now (1 = the next) fails with hr; 0 disarms.
    void FailNthGetBuffer(long n, HRESULT hr)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_lFailAtCall = n > 0 ? m_lGetBufferCalls + n : 0;
        m_hrFailAt = hr;
    }
    // Every Commit fails with hr until S_OK is given.
    void FailCommit(HRESULT hr)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_hrCommit = hr;
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return QuerySingleInterface(static_cast<IMemAllocator*>(this), IID_IMemAllocator, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG cRef = --m_cRef;
        if (cRef == 0) delete this;
        return cRef;
    }

    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) override;
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override
    {
        if (!pProps) return E_POINTER;
        std::lock_guard<std::mutex> guard(m_lock);
        *pProps = m_props;
        return S_OK;
    }
    STDMETHODIMP Commit() override;
    STDMETHODIMP Decommit() override;
    STDMETHODIMP GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME*, REFERENCE_TIME*, DWORD dwFlags) override;
    STDMETHODIMP ReleaseBuffer(IMediaSample* pBuffer) override;

private:
    bool AllOutstandingBack() const { return m_free.size() == m_samples.size(); }
    HRESULT AllocateBuffers();
    void FreeBuffers();

    std::atomic<ULONG> m_cRef{0};
    std::mutex m_lock;
    std::condition_variable m_changed;
    ALLOCATOR_PROPERTIES m_props = {0, 0, 0, 0};
    bool m_bPropertiesSet = false;
    bool m_bCommitted = false;
    bool m_bDecommitPending = false;
    BYTE* m_pMemory = nullptr;
    std::vector<CStandinSample*> m_samples;
    std::vector<CStandinSample*> m_free;
    long m_lGetBufferCalls = 0;
    long m_lFailAtCall = 0;
    HRESULT m_hrFailAt = S_OK;
    HRESULT m_hrCommit = S_OK;
};

ULONG CStandinSample::Release()
{
    ULONG cRef = --m_cRef;
    if (cRef == 0) {
        ClearState();
        m_pAllocator->ReleaseBuffer(this);
    }
    return cRef;
}

void CStandinSample::ClearState()
{
    m_cbActual = 0;
    m_bSyncPoint = m_bPreroll = m_bDiscontinuity = false;
    m_bTimeValid = m_bStopValid = m_bMediaTimeValid = false;
    FreeType(m_pType);
    m_pType = nullptr;
}

AM_MEDIA_TYPE* CStandinSample::CopyType(const AM_MEDIA_TYPE* pSource)
{
    AM_MEDIA_TYPE* pType = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!pType) return nullptr;
    *pType = *pSource;
    pType->pUnk = nullptr;  // the interface pointer is not carried along
    if (pSource->cbFormat && pSource->pbFormat) {
        pType->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(pSource->cbFormat));
        if (!pType->pbFormat) {
            CoTaskMemFree(pType);
            return nullptr;
        }
        memcpy(pType->pbFormat, pSource->pbFormat, pSource->cbFormat);
    } else {
        pType->cbFormat = 0;
        pType->pbFormat = nullptr;
    }
    return pType;
}

void CStandinSample::FreeType(AM_MEDIA_TYPE* pType)
{
    if (!pType) return;
    CoTaskMemFree(pType->pbFormat);
    CoTaskMemFree(pType);
}

HRESULT CStandinSample::GetMediaType(AM_MEDIA_TYPE** ppType)
{
    if (!ppType) return E_POINTER;
    *ppType = nullptr;
    if (!m_pType) return S_FALSE;
    *ppType = CopyType(m_pType);
    return *ppType ? S_OK : E_OUTOFMEMORY;
}

HRESULT CStandinSample::SetMediaType(AM_MEDIA_TYPE* pType)
{
    AM_MEDIA_TYPE* pCopy = nullptr;
    if (pType) {
        pCopy = CopyType(pType);
        if (!pCopy) return E_OUTOFMEMORY;
    }
    FreeType(m_pType);
    m_pType = pCopy;
    return S_OK;
}

HRESULT CStandinMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual)
{
    if (!pRequest || !pActual) return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bCommitted) return VFW_E_ALREADY_COMMITTED;
    if (!AllOutstandingBack()) return VFW_E_BUFFERS_OUTSTANDING;
    LONG cbAlign = pRequest->cbAlign;
    if (cbAlign <= 0 || (cbAlign & (cbAlign - 1)) != 0) return VFW_E_BADALIGN;
    if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0) return E_INVALIDARG;
    LONG cbBuffer = 0;
    if (!RoundBufferSize(pRequest->cbBuffer, pRequest->cbPrefix, cbAlign, &cbBuffer)) return E_OUTOFMEMORY;
    FreeBuffers();
    m_props.cBuffers = pRequest->cBuffers;
    m_props.cbBuffer = cbBuffer;
    m_props.cbAlign = cbAlign;
    m_props.cbPrefix = pRequest->cbPrefix;
    m_bPropertiesSet = true;
    *pActual = m_props;
    return S_OK;
}

HRESULT CStandinMemAllocator::AllocateBuffers()
{
    const size_t cbAlign = static_cast<size_t>(m_props.cbAlign);
    const size_t cbPrefixArea = (static_cast<size_t>(m_props.cbPrefix) + cbAlign - 1) / cbAlign * cbAlign;
    const size_t cbBufferArea = (static_cast<size_t>(m_props.cbBuffer) + cbAlign - 1) / cbAlign * cbAlign;
    const size_t cbStride = cbPrefixArea + cbBufferArea;
    m_pMemory = static_cast<BYTE*>(malloc(cbStride * m_props.cBuffers + cbAlign));
    if (!m_pMemory) return E_OUTOFMEMORY;
    uintptr_t base = reinterpret_cast<uintptr_t>(m_pMemory);
    base = (base + cbAlign - 1) / cbAlign * cbAlign;
    for (LONG i = 0; i < m_props.cBuffers; ++i) {
        BYTE* pBuffer = reinterpret_cast<BYTE*>(base + cbStride * i + cbPrefixArea);
        CStandinSample* pSample = new (std::nothrow) CStandinSample(this, pBuffer, m_props.cbBuffer);
        if (!pSample) {
            FreeBuffers();
            return E_OUTOFMEMORY;
        }
        m_samples.push_back(pSample);
        m_free.push_back(pSample);
    }
    return S_OK;
}

void CStandinMemAllocator::FreeBuffers()
{
    for (CStandinSample* pSample : m_samples) delete pSample;
    m_samples.clear();
    m_free.clear();
    free(m_pMemory);
    m_pMemory = nullptr;
    m_bDecommitPending = false;
}

HRESULT CStandinMemAllocator::Commit()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_bCommitted) return S_OK;
    if (FAILED(m_hrCommit)) return m_hrCommit;
    if (!m_bPropertiesSet || m_props.cBuffers <= 0 || m_props.cbBuffer <= 0) return VFW_E_SIZENOTSET;
    // A decommit still waiting for samples is simply called off.
    if (m_bDecommitPending) {
        m_bDecommitPending = false;
    } else if (m_samples.empty()) {
        HRESULT hr = AllocateBuffers();
        if (FAILED(hr)) return hr;
    }
    m_bCommitted = true;
    return S_OK;
}

HRESULT CStandinMemAllocator::Decommit()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_bCommitted) return S_OK;
        m_bCommitted = false;
        if (AllOutstandingBack()) {
            FreeBuffers();
        } else {
            m_bDecommitPending = true;
        }
    }
    m_changed.notify_all();
    return S_OK;
}

HRESULT CStandinMemAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME*, REFERENCE_TIME*, DWORD dwFlags)
{
    if (!ppBuffer) return E_POINTER;
    *ppBuffer = nullptr;
    CStandinSample* pSample = nullptr;
    {
        std::unique_lock<std::mutex> guard(m_lock);
        if (++m_lGetBufferCalls == m_lFailAtCall) return m_hrFailAt;
        for (;;) {
            if (!m_bCommitted) return VFW_E_NOT_COMMITTED;
            if (!m_free.empty()) break;
            if (dwFlags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
            m_changed.wait(guard);
        }
        pSample = m_free.back();
        m_free.pop_back();
        pSample->Prepare();
    }
    AddRef();  // dropped in ReleaseBuffer
    *ppBuffer = pSample;
    return S_OK;
}

HRESULT CStandinMemAllocator::ReleaseBuffer(IMediaSample* pBuffer)
{
    if (!pBuffer) return E_POINTER;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        CStandinSample* pSample = nullptr;
        for (CStandinSample* p : m_samples) {
            if (static_cast<IMediaSample*>(p) == pBuffer) pSample = p;
        }
        if (!pSample) return E_INVALIDARG;
        m_free.push_back(pSample);
        if (m_bDecommitPending && AllOutstandingBack()) FreeBuffers();
    }
    m_changed.notify_all();
    Release();  // may destroy the allocator
    return S_OK;
}

}  // namespace

HRESULT CreateStandinMemAllocator(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    CStandinMemAllocator* pAllocator = new (std::nothrow) CStandinMemAllocator;
    if (!pAllocator) return E_OUTOFMEMORY;
    pAllocator->AddRef();
    HRESULT hr = pAllocator->QueryInterface(riid, ppv);
    pAllocator->Release();
    return hr;
}

namespace platformtest {
long LiveMemAllocators()
{
    return g_liveAllocators.load();
}

namespace {
// The live stand-in allocator behind pAllocator, handed to act under the
// registry lock; false when pAllocator is none of them.
template <class Act>
bool WithStandin(IMemAllocator* pAllocator, Act act)
{
    std::lock_guard<std::mutex> guard(g_registryLock);
    for (CStandinMemAllocator* p : Registry()) {
        if (static_cast<IMemAllocator*>(p) == pAllocator) {
            act(p);
            return true;
        }
    }
    return false;
}
}  // namespace

bool FailGetBufferOf(IMemAllocator* pAllocator, long n, HRESULT hr)
{
    return WithStandin(pAllocator, [&](CStandinMemAllocator* p) { p->FailNthGetBuffer(n, hr); });
}

bool FailCommitOf(IMemAllocator* pAllocator, HRESULT hr)
{
    return WithStandin(pAllocator, [&](CStandinMemAllocator* p) { p->FailCommit(hr); });
}
}  // namespace platformtest
