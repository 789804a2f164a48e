// A player's graph around the demux filter for delivery tests: the host's
// graph (demuxgraph.h) over a filter made in process, with the filter's own
// objects at hand. Everything made is released on destruction, with exact
// counts, and no object of the framework outlives it.
#ifndef TESTS_DEMUXPLAYBACK_H
#define TESTS_DEMUXPLAYBACK_H

#include <string>
#include <vector>

#include "demuxfilter.h"
#include "demuxgraph.h"
#include "demuxoutputpin.h"

class DemuxPlayback {
public:
    DemuxPlayback();
    ~DemuxPlayback();
    DemuxPlayback(const DemuxPlayback&) = delete;
    DemuxPlayback& operator=(const DemuxPlayback&) = delete;

    // Connects the source to the filter and a sink to every output pin.
    HRESULT OpenFixture(const std::string& name, const SinkOptions& options = SinkOptions());
    HRESULT OpenBytes(std::vector<uint8_t> bytes, const SinkOptions& options = SinkOptions());
    // The same with a source made (and perhaps given faults) by the caller;
    // the playback takes its reference.
    HRESULT OpenSource(CHostAsyncSource* pSource, const SinkOptions& options = SinkOptions());

    // Parting and joining again through the graph, as a player does. The
    // filter destroys its output pins when its input goes; ReconnectInput
    // connects the new ones to the same sinks, in the same order.
    HRESULT DisconnectInput() { return m_graph.DisconnectInput(); }
    HRESULT ReconnectInput() { return m_graph.ReconnectInput(); }
    HRESULT DisconnectOutput(size_t i) { return m_graph.DisconnectOutput(i); }
    HRESULT ConnectOutput(size_t i) { return m_graph.ConnectOutput(i); }

    // Pause then Run, and wait until every sink had n end-of-streams in all.
    bool PlayToEnd(long nEndOfStreams = 1, DWORD dwMilliseconds = 20000);
    bool WaitForAllEndOfStreams(long nEndOfStreams, DWORD dwMilliseconds = 20000);

    CHostGraph* Graph() { return m_graph.Graph(); }
    CDemuxFilter* Filter() { return m_pDemux; }
    CHostAsyncSource* Source() { return m_graph.Source(); }
    // Null while the input is disconnected.
    CDemuxOutputPin* OutputPin(size_t i) { return m_pDemux->GetOutputPin(static_cast<DWORD>(i)); }
    // The sinks made at Open: one per output pin the filter had then.
    size_t OutputPinCount() const { return m_graph.SinkCount(); }
    CRecordingSink* Sink(size_t i) { return m_graph.Sink(i); }
    // The output pin carrying video or audio, and its sink; null when absent.
    CDemuxOutputPin* PinOfKind(bool bVideo);
    CRecordingSink* SinkOfKind(bool bVideo);
    // IMediaSeeking of output pin i, with a reference.
    IMediaSeeking* Seeking(size_t i) { return m_graph.Seeking(i); }

private:
    // The index of the output pin carrying video or audio; OutputPinCount() when none.
    size_t IndexOfKind(bool bVideo);

    long m_lObjectsAtStart = 0;
    CHostDemuxGraph m_graph;
    CDemuxFilter* m_pDemux = nullptr;  // the graph's filter
};

// H.264 stored with 4-byte lengths, as the filter delivers it: each length
// turned into 00 00 00 01. Written here independently of the module.
std::vector<uint8_t> LengthsToStartCodes(std::vector<uint8_t> bytes);

#endif
