// A minimal filter graph for running filters off the device: IFilterGraph
// for adding, removing and connecting filters (direct connections with the
// pins' own media-type negotiation), IMediaEventSink recording every event,
// and state changes applied to the filters downstream first, as DirectShow
// does. There is no reference clock: Run starts at stream time 0.
#ifndef HOST_HOSTGRAPH_H
#define HOST_HOSTGRAPH_H

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "unknown.h"

class CHostGraph : public CUnknown, public IFilterGraph, public IMediaEventSink {
public:
    struct Event {
        LONG lCode;
        LONG_PTR lParam1;
        LONG_PTR lParam2;
        // Arrival order across graph events and sink records (hostsequence.h).
        uint64_t nSequence = 0;
    };

    // The graph with one reference, or null.
    static CHostGraph* Create();
    ~CHostGraph() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFilterGraph
    STDMETHODIMP AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    STDMETHODIMP RemoveFilter(IBaseFilter* pFilter) override;
    STDMETHODIMP EnumFilters(IEnumFilters** ppEnum) override;
    STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    STDMETHODIMP ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Reconnect(IPin* ppin) override;
    STDMETHODIMP Disconnect(IPin* ppin) override;
    STDMETHODIMP SetDefaultSyncSource() override;

    // IMediaEventSink
    STDMETHODIMP Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

    // State changes, downstream filters first. The first failure is
    // returned; a Pause or Run that fails stops every filter first.
    HRESULT Pause();
    HRESULT Run();
    HRESULT Stop();
    FILTER_STATE State() const { return m_state; }

    // Disconnects a pin and its peer, the input side first.
    HRESULT DisconnectPair(IPin* pPin);
    // Stops the graph, breaks every connection (downstream first) and
    // removes every filter. The destructor does the same.
    void Clear();

    std::vector<Event> Events() const;
    // Waits until an event with lCode has been recorded; false on time-out.
    bool WaitForEvent(LONG lCode, DWORD dwMilliseconds, Event* pEvent = nullptr);
    void ClearEvents();

    // The filters, downstream first (each after every filter its outputs feed).
    std::vector<IBaseFilter*> DownstreamFirst() const;

private:
    CHostGraph();
    HRESULT ChangeState(FILTER_STATE target);
    bool Contains(IBaseFilter* pFilter) const;

    struct Entry {
        IBaseFilter* pFilter;  // holds a reference
        std::u16string name;
    };
    std::vector<Entry> m_filters;
    FILTER_STATE m_state = State_Stopped;

    mutable std::mutex m_eventLock;
    std::condition_variable m_eventArrived;
    std::vector<Event> m_events;
};

// The filter that owns a pin, with a reference added; null if unknown.
IBaseFilter* PinFilter(IPin* pPin);

#endif
