#include "basefilter.h"

#include <new>

#include "basepin.h"
#include "enumpins.h"
#include "filtersetup.h"

#if defined(__arm__)
// Filled for a graph built apart from this framework (size -1 stops the build).
typedef char BaseFilterLayoutCheck[sizeof(FILTER_INFO) == 260 ? 1 : -1];
#endif

CBaseFilter::CBaseFilter(LPCWSTR pObjectName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid, DWORD dwCreatorTag)
    : CUnknown(pObjectName, pUnk),
      m_State(State_Stopped),
      m_pClock(NULL),
      m_tStart(0),
      m_clsid(clsid),
      m_pLock(pLock),
      m_pName(NULL),
      m_pGraph(NULL),
      m_pSink(NULL),
      m_PinVersion(1),
      m_dwCreatorTag(dwCreatorTag)
{
}

CBaseFilter::~CBaseFilter()
{
    delete[] m_pName;
    if (m_pClock) m_pClock->Release();
}

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IBaseFilter) || IsEqualIID(riid, IID_IMediaFilter) || IsEqualIID(riid, IID_IPersist)) {
        return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    }
    if (IsEqualIID(riid, IID_IAMovieSetup)) {
        return GetInterface(static_cast<IAMovieSetup*>(this), ppv);
    }
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* pClsID)
{
    CheckPointer(pClsID, E_POINTER);
    *pClsID = m_clsid;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Stop()
{
    CAutoLock lock(m_pLock);
    // Whatever the state: a Pause that failed half-way, or a pin a subclass
    // started on its own, may have left a pin active on a stopped filter.
    HRESULT hr = DeactivatePins(GetPinCount());
    m_State.Set(State_Stopped);
    return hr;
}

HRESULT CBaseFilter::DeactivatePins(int cPins)
{
    HRESULT hr = S_OK;
    for (int i = 0; i < cPins; ++i) {
        CBasePin* pPin = GetPin(i);
        if (pPin == NULL) break;
        if (!pPin->IsConnected()) continue;
        HRESULT hrPin = pPin->Inactive();
        if (FAILED(hrPin) && SUCCEEDED(hr)) hr = hrPin;
    }
    return hr;
}

STDMETHODIMP CBaseFilter::Pause()
{
    CAutoLock lock(m_pLock);
    if (m_State.Get() == State_Stopped) {
        int cPins = GetPinCount();
        for (int i = 0; i < cPins; ++i) {
            CBasePin* pPin = GetPin(i);
            if (pPin == NULL) break;
            if (!pPin->IsConnected()) continue;
            HRESULT hr = pPin->Active();
            if (FAILED(hr)) {
                // The pins before this one are undone, so that a failed
                // Pause leaves no worker running and no buffers committed.
                DeactivatePins(i);
                return hr;
            }
        }
    }
    m_State.Set(State_Paused);
    return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME tStart)
{
    CAutoLock lock(m_pLock);
    m_tStart = tStart;
    if (m_State.Get() == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    if (m_State.Get() != State_Running) {
        int cPins = GetPinCount();
        for (int i = 0; i < cPins; ++i) {
            CBasePin* pPin = GetPin(i);
            if (pPin == NULL) break;
            if (!pPin->IsConnected()) continue;
            HRESULT hr = pPin->Run(tStart);
            if (FAILED(hr)) return hr;
        }
    }
    m_State.Set(State_Running);
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD, FILTER_STATE* State)
{
    CheckPointer(State, E_POINTER);
    *State = m_State.Get();
    return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* pClock)
{
    CAutoLock lock(m_pLock);
    if (pClock) pClock->AddRef();
    if (m_pClock) m_pClock->Release();
    m_pClock = pClock;
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** pClock)
{
    CheckPointer(pClock, E_POINTER);
    CAutoLock lock(m_pLock);
    *pClock = m_pClock;
    if (m_pClock) m_pClock->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::StreamTime(REFERENCE_TIME& rtStream)
{
    if (m_pClock == NULL) return VFW_E_NO_CLOCK;
    HRESULT hr = m_pClock->GetTime(&rtStream);
    if (FAILED(hr)) return hr;
    rtStream -= m_tStart;
    return S_OK;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** ppEnum)
{
    return CEnumPins::Create(this, NULL, ppEnum);
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR Id, IPin** ppPin)
{
    CheckPointer(ppPin, E_POINTER);
    *ppPin = NULL;
    CheckPointer(Id, E_POINTER);
    CAutoLock lock(m_pLock);
    int cPins = GetPinCount();
    for (int i = 0; i < cPins; ++i) {
        CBasePin* pPin = GetPin(i);
        if (pPin == NULL) break;
        if (lstrcmpW(pPin->Name(), Id) == 0) {
            *ppPin = pPin;
            pPin->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* pInfo)
{
    CheckPointer(pInfo, E_POINTER);
    CAutoLock lock(m_pLock);
    pInfo->achName[0] = 0;
    // A long name is cut to fit, as the structure allows no more.
    if (m_pName) lstrcpynW(pInfo->achName, m_pName, MAX_FILTER_NAME);
    pInfo->pGraph = m_pGraph;
    if (m_pGraph) m_pGraph->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName)
{
    CAutoLock lock(m_pLock);
    m_pGraph = pGraph;
    m_pSink = NULL;
    if (pGraph) {
        IMediaEventSink* pSink = NULL;
        if (SUCCEEDED(pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&pSink))) && pSink) {
            m_pSink = pSink;
            pSink->Release();  // kept without a reference, like the graph
        }
    }
    delete[] m_pName;
    m_pName = NULL;
    if (pName) {
        int cch = lstrlenW(pName);
        m_pName = new (std::nothrow) WCHAR[cch + 1];
        if (m_pName == NULL) return E_OUTOFMEMORY;
        lstrcpynW(m_pName, pName, cch + 1);
    }
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBaseFilter::Register()
{
    const AMOVIESETUP_FILTER* pSetup = GetSetupData();
    if (pSetup == NULL) return S_FALSE;
    // Whatever the mapper answered: a filter that could not be listed can
    // still be created by its class identifier.
    RegisterFilterWithMapper(pSetup, TRUE);
    return S_OK;
}

STDMETHODIMP CBaseFilter::Unregister()
{
    const AMOVIESETUP_FILTER* pSetup = GetSetupData();
    if (pSetup == NULL) return S_FALSE;
    return RegisterFilterWithMapper(pSetup, FALSE);
}

HRESULT CBaseFilter::NotifyEvent(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2)
{
    IMediaEventSink* pSink = m_pSink;
    if (pSink == NULL) return E_NOTIMPL;
    return pSink->Notify(EventCode, EventParam1, EventParam2);
}

BOOL CBaseFilter::IsActive()
{
    CAutoLock lock(m_pLock);
    return m_State.Get() != State_Stopped ? TRUE : FALSE;
}

BOOL CBaseFilter::IsStopped()
{
    return m_State.Get() == State_Stopped ? TRUE : FALSE;
}

FILTER_STATE CBaseFilter::GetCurrentState()
{
    CAutoLock lock(m_pLock);
    return m_State.Get();
}

LONG CBaseFilter::GetPinVersion()
{
    return InterlockedExchangeAdd(&m_PinVersion, 0);
}

void CBaseFilter::IncrementPinVersion()
{
    InterlockedIncrement(&m_PinVersion);
}
