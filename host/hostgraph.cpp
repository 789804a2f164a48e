#include "hostgraph.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "hostsequence.h"

namespace {

// The filters the given filter's connected output pins feed.
std::vector<IBaseFilter*> DownstreamOf(IBaseFilter* pFilter)
{
    std::vector<IBaseFilter*> result;
    IEnumPins* pEnum = nullptr;
    if (FAILED(pFilter->EnumPins(&pEnum)) || !pEnum) return result;
    IPin* pPin = nullptr;
    while (pEnum->Next(1, &pPin, nullptr) == S_OK) {
        PIN_DIRECTION dir;
        IPin* pPeer = nullptr;
        if (SUCCEEDED(pPin->QueryDirection(&dir)) && dir == PINDIR_OUTPUT && pPin->ConnectedTo(&pPeer) == S_OK) {
            IBaseFilter* pDown = PinFilter(pPeer);
            if (pDown) {
                result.push_back(pDown);
                pDown->Release();  // the graph holds it
            }
            pPeer->Release();
        }
        pPin->Release();
    }
    pEnum->Release();
    return result;
}

std::vector<IPin*> PinsOf(IBaseFilter* pFilter)
{
    std::vector<IPin*> pins;
    IEnumPins* pEnum = nullptr;
    if (FAILED(pFilter->EnumPins(&pEnum)) || !pEnum) return pins;
    IPin* pPin = nullptr;
    while (pEnum->Next(1, &pPin, nullptr) == S_OK) pins.push_back(pPin);
    pEnum->Release();
    return pins;
}

// The filter's first input pin that is connected, with a reference; null if none.
IPin* ConnectedInputPin(IBaseFilter* pFilter)
{
    IPin* pFound = nullptr;
    for (IPin* pPin : PinsOf(pFilter)) {
        PIN_DIRECTION dir;
        IPin* pPeer = nullptr;
        if (!pFound && SUCCEEDED(pPin->QueryDirection(&dir)) && dir == PINDIR_INPUT &&
            pPin->ConnectedTo(&pPeer) == S_OK) {
            pPeer->Release();
            pFound = pPin;
            continue;
        }
        pPin->Release();
    }
    return pFound;
}

}  // namespace

IBaseFilter* PinFilter(IPin* pPin)
{
    PIN_INFO info;
    if (!pPin || FAILED(pPin->QueryPinInfo(&info))) return nullptr;
    return info.pFilter;
}

CHostGraph::CHostGraph() : CUnknown(L"CHostGraph", nullptr)
{
}

CHostGraph::~CHostGraph()
{
    Clear();
}

CHostGraph* CHostGraph::Create()
{
    CHostGraph* pGraph = new (std::nothrow) CHostGraph;
    if (pGraph) pGraph->AddRef();
    return pGraph;
}

STDMETHODIMP CHostGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IFilterGraph)) return GetInterface(static_cast<IFilterGraph*>(this), ppv);
    if (IsEqualIID(riid, IID_IMediaEventSink)) return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

bool CHostGraph::Contains(IBaseFilter* pFilter) const
{
    for (const Entry& entry : m_filters) {
        if (entry.pFilter == pFilter) return true;
    }
    return false;
}

STDMETHODIMP CHostGraph::AddFilter(IBaseFilter* pFilter, LPCWSTR pName)
{
    CheckPointer(pFilter, E_POINTER);
    if (Contains(pFilter)) return VFW_E_DUPLICATE_NAME;
    std::u16string name = pName ? std::u16string(pName, pName + lstrlenW(pName)) : std::u16string();
    HRESULT hr = pFilter->JoinFilterGraph(this, pName);
    if (FAILED(hr)) return hr;
    pFilter->AddRef();
    m_filters.push_back({pFilter, name});
    return S_OK;
}

STDMETHODIMP CHostGraph::RemoveFilter(IBaseFilter* pFilter)
{
    for (auto it = m_filters.begin(); it != m_filters.end(); ++it) {
        if (it->pFilter != pFilter) continue;
        pFilter->JoinFilterGraph(nullptr, nullptr);
        m_filters.erase(it);
        pFilter->Release();
        return S_OK;
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CHostGraph::EnumFilters(IEnumFilters** ppEnum)
{
    if (ppEnum) *ppEnum = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CHostGraph::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter)
{
    CheckPointer(ppFilter, E_POINTER);
    *ppFilter = nullptr;
    CheckPointer(pName, E_POINTER);
    std::u16string name(pName, pName + lstrlenW(pName));
    for (const Entry& entry : m_filters) {
        if (entry.name == name) {
            *ppFilter = entry.pFilter;
            entry.pFilter->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CHostGraph::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt)
{
    CheckPointer(ppinOut, E_POINTER);
    CheckPointer(ppinIn, E_POINTER);
    if (m_state != State_Stopped) return VFW_E_NOT_STOPPED;
    return ppinOut->Connect(ppinIn, pmt);
}

STDMETHODIMP CHostGraph::Reconnect(IPin*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CHostGraph::Disconnect(IPin* ppin)
{
    CheckPointer(ppin, E_POINTER);
    return ppin->Disconnect();
}

STDMETHODIMP CHostGraph::SetDefaultSyncSource()
{
    return S_OK;
}

STDMETHODIMP CHostGraph::Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2)
{
    {
        std::lock_guard<std::mutex> guard(m_eventLock);
        m_events.push_back({EventCode, EventParam1, EventParam2, NextHostSequence()});
    }
    m_eventArrived.notify_all();
    return S_OK;
}

std::vector<IBaseFilter*> CHostGraph::DownstreamFirst() const
{
    std::vector<IBaseFilter*> ordered;
    std::vector<IBaseFilter*> left;
    for (const Entry& entry : m_filters) left.push_back(entry.pFilter);
    while (!left.empty()) {
        bool bProgress = false;
        for (auto it = left.begin(); it != left.end();) {
            std::vector<IBaseFilter*> down = DownstreamOf(*it);
            bool bReady = std::all_of(down.begin(), down.end(), [&](IBaseFilter* p) {
                return std::find(left.begin(), left.end(), p) == left.end();
            });
            if (bReady) {
                ordered.push_back(*it);
                it = left.erase(it);
                bProgress = true;
            } else {
                ++it;
            }
        }
        if (!bProgress) {  // a cycle: take the rest as they are
            ordered.insert(ordered.end(), left.begin(), left.end());
            break;
        }
    }
    return ordered;
}

HRESULT CHostGraph::ChangeState(FILTER_STATE target)
{
    for (IBaseFilter* pFilter : DownstreamFirst()) {
        HRESULT hr = S_OK;
        if (target == State_Paused) hr = pFilter->Pause();
        else if (target == State_Running) hr = pFilter->Run(0);
        else hr = pFilter->Stop();
        if (FAILED(hr)) {
            // As a graph manager does: a graph that could not pause or run is
            // stopped whole before the failure is reported, so no filter is
            // left half-started.
            if (target != State_Stopped) Stop();
            return hr;
        }
    }
    m_state = target;
    return S_OK;
}

HRESULT CHostGraph::Pause()
{
    return ChangeState(State_Paused);
}

HRESULT CHostGraph::Run()
{
    if (m_state == State_Stopped) {
        HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    return ChangeState(State_Running);
}

HRESULT CHostGraph::Stop()
{
    // Every filter is stopped even when one fails.
    HRESULT hrFirst = S_OK;
    for (IBaseFilter* pFilter : DownstreamFirst()) {
        HRESULT hr = pFilter->Stop();
        if (FAILED(hr) && SUCCEEDED(hrFirst)) hrFirst = hr;
    }
    m_state = State_Stopped;
    return hrFirst;
}

HRESULT CHostGraph::DisconnectPair(IPin* pPin)
{
    CheckPointer(pPin, E_POINTER);
    IPin* pPeer = nullptr;
    if (pPin->ConnectedTo(&pPeer) != S_OK) return pPin->Disconnect();
    PIN_DIRECTION dir;
    pPin->QueryDirection(&dir);
    IPin* pIn = dir == PINDIR_INPUT ? pPin : pPeer;
    IPin* pOut = dir == PINDIR_INPUT ? pPeer : pPin;
    HRESULT hr = pIn->Disconnect();
    HRESULT hrOut = pOut->Disconnect();
    pPeer->Release();
    return FAILED(hr) ? hr : hrOut;
}

void CHostGraph::Clear()
{
    Stop();
    // Downstream connections go first: an upstream filter may destroy its
    // output pins when its own input is disconnected.
    // The pins are enumerated anew after each disconnection, because a
    // filter may delete its output pins when its input is disconnected
    // (the demux does), whatever references were taken on them.
    for (IBaseFilter* pFilter : DownstreamFirst()) {
        IPin* pPin = nullptr;
        while ((pPin = ConnectedInputPin(pFilter)) != nullptr) {
            const HRESULT hr = DisconnectPair(pPin);
            pPin->Release();
            if (FAILED(hr)) break;
        }
    }
    while (!m_filters.empty()) RemoveFilter(m_filters.back().pFilter);
}

std::vector<CHostGraph::Event> CHostGraph::Events() const
{
    std::lock_guard<std::mutex> guard(m_eventLock);
    return m_events;
}

bool CHostGraph::WaitForEvent(LONG lCode, DWORD dwMilliseconds, Event* pEvent)
{
    std::unique_lock<std::mutex> guard(m_eventLock);
    auto found = [&]() {
        for (const Event& e : m_events) {
            if (e.lCode == lCode) {
                if (pEvent) *pEvent = e;
                return true;
            }
        }
        return false;
    };
    return m_eventArrived.wait_for(guard, std::chrono::milliseconds(dwMilliseconds), found);
}

void CHostGraph::ClearEvents()
{
    std::lock_guard<std::mutex> guard(m_eventLock);
    m_events.clear();
}
