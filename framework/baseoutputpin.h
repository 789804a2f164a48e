// CBaseOutputPin: an output pin that delivers media samples to a peer's
// IMemInputPin through a negotiated allocator.
//
// On connection CheckConnect gets the peer's IMemInputPin and
// CompleteConnect runs DecideAllocator: the peer's requirements are read
// (alignment 0 taken as 1), the peer's allocator is tried with
// DecideBufferSize and NotifyAllocator, and if that fails the platform's
// memory allocator (InitAllocator) is tried the same way. A subclass
// supplies DecideBufferSize (required), CheckMediaType and GetMediaType.
// Active commits and Inactive decommits the allocator.
#ifndef FRAMEWORK_BASEOUTPUTPIN_H
#define FRAMEWORK_BASEOUTPUTPIN_H

#include "win32.h"
#include "basepin.h"

class CBaseOutputPin : public CBasePin {
public:
    CBaseOutputPin(LPCWSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr, LPCWSTR pName);
    virtual ~CBaseOutputPin();

    // VFW_E_NO_ALLOCATOR when no allocator was negotiated.
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    virtual HRESULT CheckConnect(IPin* pPin);
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* pReceivePin);

    virtual HRESULT DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc);
    // Sets the allocator's properties from the peer's request in pRequest.
    virtual HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) = 0;
    // E_NOINTERFACE without an allocator.
    virtual HRESULT GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                      REFERENCE_TIME* pEndTime, DWORD dwFlags);
    // The peer's IMemInputPin::Receive; VFW_E_NOT_CONNECTED without a peer.
    virtual HRESULT Deliver(IMediaSample* pSample);
    // Creates the platform's memory allocator.
    virtual HRESULT InitAllocator(IMemAllocator** ppAlloc);
    // These go to the peer's IPin; VFW_E_NOT_CONNECTED without a peer.
    virtual HRESULT DeliverEndOfStream();
    virtual HRESULT DeliverBeginFlush();
    virtual HRESULT DeliverEndFlush();
    // Records the segment on this pin, then passes it on.
    virtual HRESULT DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    // An output pin receives none of these from upstream.
    STDMETHODIMP EndOfStream() { return E_UNEXPECTED; }
    STDMETHODIMP BeginFlush() { return E_UNEXPECTED; }
    STDMETHODIMP EndFlush() { return E_UNEXPECTED; }

protected:
    IMemAllocator* m_pAllocator;  // holds a reference
    IMemInputPin* m_pInputPin;    // holds a reference

private:
    void ReleaseAllocator();
    bool OfferAllocator(IMemInputPin* pPin, ALLOCATOR_PROPERTIES* pProps, IMemAllocator** ppAlloc, HRESULT* phr);
};

// The platform's memory allocator, as CoCreateInstance(CLSID_MemoryAllocator) gives it.
HRESULT CreateMemoryAllocator(IMemAllocator** ppAllocator);

#endif
