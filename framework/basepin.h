// CBasePin: the pin base. It implements IPin's connection protocol with
// media-type negotiation, and IQualityControl's defaults; a subclass says
// which types it takes and offers, and hooks into connection and state:
//
//   CheckMediaType (required)   S_OK for a type the pin takes
//   GetMediaType                the types the pin offers, by position
//                               (S_OK, then VFW_S_NO_MORE_ITEMS past the end)
//   CheckConnect                the peer is acceptable (base: opposite direction)
//   CompleteConnect             the connection is made (base: nothing)
//   BreakConnect                the connection is undone, or an attempt failed
//   SetMediaType                the agreed type (base: copied to m_mt)
//   Active / Inactive / Run     the filter pauses from stopped / stops / runs
//
// The pin's reference count is its filter's; the pin is owned by the
// filter and holds no reference on it.
#ifndef FRAMEWORK_BASEPIN_H
#define FRAMEWORK_BASEPIN_H

#include "win32.h"
#include "basefilter.h"
#include "critsec.h"
#include "mediatype.h"
#include "unknown.h"

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    // pName is copied; pLock is the filter-wide lock. *phr receives
    // E_OUTOFMEMORY when the name cannot be copied, and is left alone otherwise.
    CBasePin(LPCWSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr, LPCWSTR pName,
             PIN_DIRECTION dir);
    virtual ~CBasePin();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv);
    STDMETHODIMP_(ULONG) NonDelegatingAddRef();
    STDMETHODIMP_(ULONG) NonDelegatingRelease();

    // Hooks, in the order of the pin's virtual table.
    virtual LONG GetMediaTypeVersion();
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    virtual HRESULT Run(REFERENCE_TIME tStart);
    virtual HRESULT CheckMediaType(const CMediaType* pmt) = 0;
    virtual HRESULT SetMediaType(const CMediaType* pmt);
    virtual HRESULT CheckConnect(IPin* pPin);
    virtual HRESULT BreakConnect();
    virtual HRESULT CompleteConnect(IPin* pReceivePin);
    virtual HRESULT GetMediaType(int iPosition, CMediaType* pMediaType);

    // IPin
    STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt);
    STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt);
    STDMETHODIMP Disconnect();
    STDMETHODIMP ConnectedTo(IPin** pPin);
    STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt);
    STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo);
    STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir);
    STDMETHODIMP QueryId(LPWSTR* Id);
    STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt);
    STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum);
    STDMETHODIMP QueryInternalConnections(IPin** apPin, ULONG* nPin);
    // An input pin that takes these from upstream overrides them.
    STDMETHODIMP EndOfStream() { return S_OK; }
    STDMETHODIMP BeginFlush() { return S_OK; }
    STDMETHODIMP EndFlush() { return S_OK; }
    // Records the segment (see CurrentStartTime and the others).
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    // IQualityControl: Notify is not handled; SetSink keeps the sink without a reference.
    STDMETHODIMP Notify(IBaseFilter* pSender, Quality q);
    STDMETHODIMP SetSink(IQualityControl* piqc);

    BOOL IsConnected() const { return m_Connected != NULL ? TRUE : FALSE; }
    // The peer, without a reference added; NULL when not connected.
    IPin* GetConnected() const { return m_Connected; }
    BOOL IsStopped() const;
    LPCWSTR Name() const { return m_pName; }
    void IncrementTypeVersion();
    const CMediaType& CurrentMediaType() const { return m_mt; }
    REFERENCE_TIME CurrentStartTime() const { return m_tStart; }
    REFERENCE_TIME CurrentStopTime() const { return m_tStop; }
    double CurrentRate() const { return m_dRate; }

protected:
    WCHAR* m_pName;
    IPin* m_Connected;  // holds a reference
    PIN_DIRECTION m_dir;
    CCritSec* m_pLock;
    CBaseFilter* m_pFilter;
    IQualityControl* m_pQSink;
    volatile LONG m_TypeVersion;
    CMediaType m_mt;
    REFERENCE_TIME m_tStart;
    REFERENCE_TIME m_tStop;
    double m_dRate;

private:
    CBasePin(const CBasePin&);
    CBasePin& operator=(const CBasePin&);

    HRESULT AgreeMediaType(IPin* pReceivePin, const CMediaType* pmtPartial);
    HRESULT TryMediaTypes(IPin* pReceivePin, const CMediaType* pmtPartial, IEnumMediaTypes* pEnum);
    HRESULT AttemptConnection(IPin* pReceivePin, const CMediaType* pmt);
    void DropConnection();
};

#endif
