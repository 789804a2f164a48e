#include "roundingallocator.h"

#include <new>

#include "allocatorrounding.h"

namespace {

class CRoundingAllocator : public IMemAllocator {
public:
    explicit CRoundingAllocator(IMemAllocator* pInner) : m_pInner(pInner) {}
    virtual ~CRoundingAllocator() { m_pInner->Release(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMemAllocator)) {
            *ppv = static_cast<IMemAllocator*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_cRef)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG cRef = InterlockedDecrement(&m_cRef);
        if (cRef == 0) delete this;
        return static_cast<ULONG>(cRef);
    }

    STDMETHODIMP SetProperties(ALLOCATOR_PROPERTIES* pRequest, ALLOCATOR_PROPERTIES* pActual) override
    {
        if (!pRequest) return E_POINTER;
        // A request that cannot be rounded goes as it is, for Wine's allocator to judge.
        ALLOCATOR_PROPERTIES rounded = *pRequest;
        LONG cbAlign = rounded.cbAlign > 0 ? rounded.cbAlign : 1;
        RoundBufferSize(rounded.cbBuffer, rounded.cbPrefix, cbAlign, &rounded.cbBuffer);
        return m_pInner->SetProperties(&rounded, pActual);
    }
    STDMETHODIMP GetProperties(ALLOCATOR_PROPERTIES* pProps) override { return m_pInner->GetProperties(pProps); }
    STDMETHODIMP Commit() override { return m_pInner->Commit(); }
    STDMETHODIMP Decommit() override { return m_pInner->Decommit(); }
    STDMETHODIMP GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* pStartTime, REFERENCE_TIME* pEndTime,
                           DWORD dwFlags) override
    {
        return m_pInner->GetBuffer(ppBuffer, pStartTime, pEndTime, dwFlags);
    }
    STDMETHODIMP ReleaseBuffer(IMediaSample* pBuffer) override { return m_pInner->ReleaseBuffer(pBuffer); }

private:
    IMemAllocator* m_pInner;  // holds a reference
    volatile LONG m_cRef = 1;
};

}  // namespace

HRESULT CreateRoundingAllocator(IMemAllocator** ppAllocator)
{
    if (!ppAllocator) return E_POINTER;
    *ppAllocator = nullptr;
    IMemAllocator* pInner = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                  reinterpret_cast<void**>(&pInner));
    if (FAILED(hr)) return hr;
    CRoundingAllocator* pAllocator = new (std::nothrow) CRoundingAllocator(pInner);
    if (!pAllocator) {
        pInner->Release();
        return E_OUTOFMEMORY;
    }
    *ppAllocator = pAllocator;
    return S_OK;
}
