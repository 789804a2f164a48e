#include "sinkinputpin.h"

CSinkInputPin::CSinkInputPin(LPCWSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr)
    : CBasePin(pObjectName, pFilter, pLock, phr, L"In", PINDIR_INPUT), m_pOwnAllocator(nullptr), m_pNotified(nullptr)
{
}

CSinkInputPin::~CSinkInputPin()
{
    if (m_pNotified) m_pNotified->Release();
    if (m_pOwnAllocator) m_pOwnAllocator->Release();
}

STDMETHODIMP CSinkInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IMemInputPin)) return GetInterface(static_cast<IMemInputPin*>(this), ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CSinkInputPin::GetMediaType(int, CMediaType*)
{
    return VFW_S_NO_MORE_ITEMS;  // a sink proposes nothing; it takes what it is offered
}

HRESULT CSinkInputPin::BreakConnect()
{
    if (m_pNotified) {
        m_pNotified->Release();
        m_pNotified = nullptr;
    }
    return CBasePin::BreakConnect();
}

STDMETHODIMP CSinkInputPin::GetAllocator(IMemAllocator** ppAllocator)
{
    CheckPointer(ppAllocator, E_POINTER);
    *ppAllocator = nullptr;
    if (!m_pOwnAllocator) {
        HRESULT hr = CreateOwnAllocator(&m_pOwnAllocator);
        if (FAILED(hr)) return hr;
    }
    *ppAllocator = m_pOwnAllocator;
    (*ppAllocator)->AddRef();
    return S_OK;
}

STDMETHODIMP CSinkInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL)
{
    CheckPointer(pAllocator, E_POINTER);
    pAllocator->AddRef();
    if (m_pNotified) m_pNotified->Release();
    m_pNotified = pAllocator;
    return S_OK;
}

STDMETHODIMP CSinkInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CSinkInputPin::Receive(IMediaSample* pSample)
{
    CheckPointer(pSample, E_POINTER);
    return ReceiveSample(pSample);
}

STDMETHODIMP CSinkInputPin::ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed)
{
    CheckPointer(pSamples, E_POINTER);
    LONG n = 0;
    HRESULT hr = S_OK;
    for (; n < nSamples; ++n) {
        hr = Receive(pSamples[n]);
        if (hr != S_OK) break;
    }
    if (nSamplesProcessed) *nSamplesProcessed = n;
    return hr;
}

STDMETHODIMP CSinkInputPin::ReceiveCanBlock()
{
    return S_OK;
}
