// CBaseFilter: the filter base. It keeps the state, clock, graph and event
// sink, and drives the pins through state changes; a subclass supplies its
// pins (GetPinCount, GetPin) and, for registration, GetSetupData.
//
// State changes, under the filter lock:
//   Pause from Stopped calls Active on each connected pin in pin order and
//   stops at the first failure (the state then stays Stopped);
//   Run pauses first when stopped, then calls Run on each connected pin;
//   Stop calls Inactive on each connected pin, keeps the first failure and
//   always ends in Stopped.
#ifndef FRAMEWORK_BASEFILTER_H
#define FRAMEWORK_BASEFILTER_H

#include "win32.h"
#include "critsec.h"
#include "interlockedvalue.h"
#include "unknown.h"

class CBasePin;

class CBaseFilter : public CUnknown, public IBaseFilter, public IAMovieSetup {
public:
    // pLock is the filter-wide lock, owned by the subclass. dwCreatorTag is
    // an opaque value of the creator's, kept and never interpreted here.
    CBaseFilter(LPCWSTR pObjectName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid, DWORD dwCreatorTag = 0);
    virtual ~CBaseFilter();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv);

    // IPersist
    STDMETHODIMP GetClassID(CLSID* pClsID);

    // IMediaFilter
    STDMETHODIMP Stop();
    STDMETHODIMP Pause();
    STDMETHODIMP Run(REFERENCE_TIME tStart);
    STDMETHODIMP GetState(DWORD dwMSecs, FILTER_STATE* State);
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock);
    STDMETHODIMP GetSyncSource(IReferenceClock** pClock);

    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** ppEnum);
    STDMETHODIMP FindPin(LPCWSTR Id, IPin** ppPin);
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* pInfo);
    STDMETHODIMP JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName);
    STDMETHODIMP QueryVendorInfo(LPWSTR* pVendorInfo);

    // IAMovieSetup: the filter's entries in the filter mapper, from
    // GetSetupData (filtersetup.h). Both return S_FALSE when the filter has
    // no setup data; with it, Register returns S_OK whatever the mapper said.
    STDMETHODIMP Register();
    STDMETHODIMP Unregister();

    // The pins, by index; GetPin adds no reference and returns NULL past the end.
    virtual int GetPinCount() = 0;
    virtual CBasePin* GetPin(int n) = 0;
    virtual const AMOVIESETUP_FILTER* GetSetupData() { return NULL; }

    // The reference clock's time less the Run start time; VFW_E_NO_CLOCK without a clock.
    virtual HRESULT StreamTime(REFERENCE_TIME& rtStream);
    // Posts an event to the graph's event sink; E_NOTIMPL when the filter has none.
    HRESULT NotifyEvent(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2);

    BOOL IsActive();
    // Takes no lock, so a streaming thread may ask while a state change
    // holds the filter lock.
    BOOL IsStopped();
    FILTER_STATE GetCurrentState();
    CCritSec* pStateLock() { return m_pLock; }
    IFilterGraph* GetFilterGraph() { return m_pGraph; }
    DWORD GetCreatorTag() const { return m_dwCreatorTag; }

    // Lets pin enumerators notice a change of the pin set.
    virtual LONG GetPinVersion();
    void IncrementPinVersion();

protected:
    // Changed under the filter lock; read without it by IsStopped and GetState.
    CInterlockedValue<FILTER_STATE> m_State;
    IReferenceClock* m_pClock;  // holds a reference
    REFERENCE_TIME m_tStart;
    CLSID m_clsid;
    CCritSec* m_pLock;
    WCHAR* m_pName;  // given by the graph when the filter joins it
    // Neither holds a reference: the graph owns the filter, not the other way round.
    IFilterGraph* m_pGraph;
    IMediaEventSink* m_pSink;
    volatile LONG m_PinVersion;
    DWORD m_dwCreatorTag;

    // Inactive on each connected pin among the first cPins, in pin order;
    // the first failure, after every pin was called. Under the filter lock.
    HRESULT DeactivatePins(int cPins);

private:
    CBaseFilter(const CBaseFilter&);
    CBaseFilter& operator=(const CBaseFilter&);
};

#endif
