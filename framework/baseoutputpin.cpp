#include "baseoutputpin.h"

namespace {

// A call on a neighbour the pin may not have yet: hrWithout when it has none.
template <class T>
HRESULT CallNeighbour(T* pNeighbour, HRESULT (STDMETHODCALLTYPE T::*pfnCall)(), HRESULT hrWithout)
{
    return pNeighbour != NULL ? (pNeighbour->*pfnCall)() : hrWithout;
}

}  // namespace

HRESULT CreateMemoryAllocator(IMemAllocator** ppAllocator)
{
    return CoCreateInstance(CLSID_MemoryAllocator, NULL, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                            reinterpret_cast<void**>(ppAllocator));
}

CBaseOutputPin::CBaseOutputPin(LPCWSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                               LPCWSTR pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_OUTPUT), m_pAllocator(NULL), m_pInputPin(NULL)
{
}

CBaseOutputPin::~CBaseOutputPin()
{
    ReleaseAllocator();
    if (m_pInputPin) m_pInputPin->Release();
}

void CBaseOutputPin::ReleaseAllocator()
{
    if (m_pAllocator) {
        // Decommitted first: a peer need not do it, and committed buffers
        // would otherwise stay allocated.
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = NULL;
    }
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pPin)
{
    HRESULT hr = CBasePin::CheckConnect(pPin);
    if (FAILED(hr)) return hr;
    if (m_pInputPin) {
        m_pInputPin->Release();
        m_pInputPin = NULL;
    }
    return pPin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_pInputPin));
}

HRESULT CBaseOutputPin::BreakConnect()
{
    ReleaseAllocator();
    if (m_pInputPin) {
        m_pInputPin->Release();
        m_pInputPin = NULL;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::CompleteConnect(IPin*)
{
    return DecideAllocator(m_pInputPin, &m_pAllocator);
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc)
{
    CheckPointer(pPin, E_POINTER);
    CheckPointer(ppAlloc, E_POINTER);
    *ppAlloc = NULL;
    ALLOCATOR_PROPERTIES props = {0, 0, 0, 0};
    // A peer without requirements leaves the zeros; what it asks is a request, not a rule.
    pPin->GetAllocatorRequirements(&props);
    if (props.cbAlign == 0) props.cbAlign = 1;

    HRESULT hr = pPin->GetAllocator(ppAlloc);
    if (OfferAllocator(pPin, &props, ppAlloc, &hr)) return S_OK;
    hr = InitAllocator(ppAlloc);
    if (OfferAllocator(pPin, &props, ppAlloc, &hr)) return S_OK;
    return hr;
}

// Sizes the allocator just had (*phr: how getting it went) and offers it to
// the peer; true when the peer took it. Otherwise it is released and *phr
// says why.
bool CBaseOutputPin::OfferAllocator(IMemInputPin* pPin, ALLOCATOR_PROPERTIES* pProps, IMemAllocator** ppAlloc,
                                    HRESULT* phr)
{
    HRESULT hr = *phr;
    if (SUCCEEDED(hr) && *ppAlloc) {
        hr = DecideBufferSize(*ppAlloc, pProps);
        if (SUCCEEDED(hr)) hr = pPin->NotifyAllocator(*ppAlloc, FALSE);
        if (SUCCEEDED(hr)) return true;
    }
    if (*ppAlloc) {
        (*ppAlloc)->Release();
        *ppAlloc = NULL;
    }
    *phr = hr;
    return false;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** ppAlloc)
{
    return CreateMemoryAllocator(ppAlloc);
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                          REFERENCE_TIME* pEndTime, DWORD dwFlags)
{
    if (m_pAllocator == NULL) return E_NOINTERFACE;
    return m_pAllocator->GetBuffer(ppSample, pStartTime, pEndTime, dwFlags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* pSample)
{
    if (m_pInputPin == NULL) return VFW_E_NOT_CONNECTED;
    return m_pInputPin->Receive(pSample);
}

HRESULT CBaseOutputPin::Active()
{
    return CallNeighbour(m_pAllocator, &IMemAllocator::Commit, VFW_E_NO_ALLOCATOR);
}

HRESULT CBaseOutputPin::Inactive()
{
    return CallNeighbour(m_pAllocator, &IMemAllocator::Decommit, VFW_E_NO_ALLOCATOR);
}

HRESULT CBaseOutputPin::DeliverEndOfStream()
{
    return CallNeighbour(m_Connected, &IPin::EndOfStream, VFW_E_NOT_CONNECTED);
}

HRESULT CBaseOutputPin::DeliverBeginFlush()
{
    return CallNeighbour(m_Connected, &IPin::BeginFlush, VFW_E_NOT_CONNECTED);
}

HRESULT CBaseOutputPin::DeliverEndFlush()
{
    return CallNeighbour(m_Connected, &IPin::EndFlush, VFW_E_NOT_CONNECTED);
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    CBasePin::NewSegment(tStart, tStop, dRate);
    if (m_Connected == NULL) return VFW_E_NOT_CONNECTED;
    return m_Connected->NewSegment(tStart, tStop, dRate);
}
