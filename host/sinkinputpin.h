// The input pin "In" of a test sink, as far as every sink's pin is alike:
// IMemInputPin, the allocator the peer notifies (held until the connection
// breaks), an allocator of the sink's own offered through GetAllocator and
// made on first request, Receive and ReceiveMultiple passing each sample to
// ReceiveSample. It proposes no media type. What a sink records, and which
// types it takes, its own subclass says.
//
// Built into the host library and into the Windows test program, so it uses
// only what the framework and the Windows SDK declare.
#ifndef HOST_SINKINPUTPIN_H
#define HOST_SINKINPUTPIN_H

#include "basefilter.h"
#include "basepin.h"

class CSinkInputPin : public CBasePin, public IMemInputPin {
public:
    CSinkInputPin(LPCWSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr);
    ~CSinkInputPin() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;
    HRESULT BreakConnect() override;

    // IMemInputPin
    STDMETHODIMP GetAllocator(IMemAllocator** ppAllocator) override;
    STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
    STDMETHODIMP Receive(IMediaSample* pSample) override;
    STDMETHODIMP ReceiveMultiple(IMediaSample** pSamples, LONG nSamples, LONG* nSamplesProcessed) override;
    STDMETHODIMP ReceiveCanBlock() override;

    // The allocator given to NotifyAllocator (no reference added), and
    // whether it is the one this pin offered.
    IMemAllocator* NotifiedAllocator() const { return m_pNotified; }
    bool NotifiedOwnAllocator() const { return m_pNotified && m_pNotified == m_pOwnAllocator; }

protected:
    // The allocator GetAllocator offers, with one reference; a failure
    // (VFW_E_NO_ALLOCATOR for a sink without one) is GetAllocator's answer.
    virtual HRESULT CreateOwnAllocator(IMemAllocator** ppAllocator) = 0;
    // One sample, not null; the answer is Receive's.
    virtual HRESULT ReceiveSample(IMediaSample* pSample) = 0;

private:
    IMemAllocator* m_pOwnAllocator;  // holds a reference
    IMemAllocator* m_pNotified;      // holds a reference
};

#endif
