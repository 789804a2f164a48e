// A player's graph around a demultiplexer seen only through COM: a source
// connected to the filter's input, and a recording sink connected to each of
// its output pins, in the order its EnumPins gives them. The filter is given
// as an IBaseFilter, made in process or by CoCreateInstance; nothing here
// knows its class. Whatever the graph made or was given is released when it
// is torn down.
#ifndef HOST_DEMUXGRAPH_H
#define HOST_DEMUXGRAPH_H

#include <functional>
#include <string>
#include <vector>

#include "asyncsource.h"
#include "hostgraph.h"
#include "recordingsink.h"

class CHostDemuxGraph {
public:
    CHostDemuxGraph() = default;
    ~CHostDemuxGraph() { TearDown(); }
    CHostDemuxGraph(const CHostDemuxGraph&) = delete;
    CHostDemuxGraph& operator=(const CHostDemuxGraph&) = delete;

    // Makes the graph and adds the filter to it, holding a reference of its own.
    HRESULT SetFilter(IBaseFilter* pFilter);
    // Connects a source over the file, or the given one (whose reference the
    // graph takes, also on failure), to the filter's input: the filter's
    // verdict on the stream. E_OUTOFMEMORY when no source could be made.
    HRESULT OpenFile(const std::string& path);
    HRESULT OpenSource(CHostAsyncSource* pSource);
    // A new sink on every output pin the filter has, connected in order.
    HRESULT ConnectSinks(const SinkOptions& options = SinkOptions());
    // The same with each pin's own options (say, an event callback that knows its pin).
    HRESULT ConnectSinks(const std::function<SinkOptions(size_t i)>& optionsFor);

    // Parting and joining again through the graph, as a player does. A
    // filter may replace its output pins when its input goes: ReconnectInput
    // connects the new ones to the same sinks, in the same order.
    HRESULT DisconnectInput();
    HRESULT ReconnectInput();
    HRESULT DisconnectOutput(size_t i);
    HRESULT ConnectOutput(size_t i);

    // Pause then Run.
    HRESULT Play();
    HRESULT Stop() { return m_pGraph ? m_pGraph->Stop() : E_UNEXPECTED; }
    // SetPositions through output pin i's IMediaSeeking.
    HRESULT Seek(size_t i, LONGLONG llStart, DWORD dwStartFlags, LONGLONG llStop, DWORD dwStopFlags) const;
    // Waits until every sink has an end-of-stream after its last flush,
    // calling tick every few milliseconds meanwhile; false on time-out.
    bool WaitForEndOfStreams(DWORD dwMilliseconds, const std::function<void()>& tick = nullptr) const;

    // Clears the graph and releases everything; true when each object went
    // to no reference at all (nothing else kept one). The destructor does
    // the same when nobody did.
    bool TearDown();

    CHostGraph* Graph() const { return m_pGraph; }
    IBaseFilter* Filter() const { return m_pFilter; }
    CHostAsyncSource* Source() const { return m_pSource; }
    // Null when the filter has none (the input was refused or is disconnected).
    IPin* InputPin() const { return FindPin(PINDIR_INPUT, 0); }
    // The filter's output pins now; a pin is valid while the filter keeps it.
    size_t OutputPinCount() const;
    IPin* OutputPin(size_t i) const { return FindPin(PINDIR_OUTPUT, i); }
    // IMediaSeeking of output pin i, with a reference; null when it has none.
    IMediaSeeking* Seeking(size_t i) const;
    // The sinks made by ConnectSinks, one per output pin the filter had then.
    size_t SinkCount() const { return m_sinks.size(); }
    CRecordingSink* Sink(size_t i) const { return m_sinks[i]; }

private:
    // The n-th pin of the direction, in EnumPins order; no reference is kept.
    IPin* FindPin(PIN_DIRECTION direction, size_t n) const;

    CHostGraph* m_pGraph = nullptr;
    IBaseFilter* m_pFilter = nullptr;
    CHostAsyncSource* m_pSource = nullptr;
    std::vector<CRecordingSink*> m_sinks;
};

// True when the sink recorded an end-of-stream after its last begin-flush.
bool SinkEnded(const CRecordingSink* pSink);

#endif
