// A player's graph around the demux filter, as the subcommands use it: the
// filter created through COM (comserver.h), a file source connected to its
// input, and a recording sink connected to each output pin.
#ifndef TOOLS_3GPDEMUX_DEMUXSESSION_H
#define TOOLS_3GPDEMUX_DEMUXSESSION_H

#include <functional>
#include <string>
#include <vector>

#include "asyncsource.h"
#include "comserver.h"
#include "hostgraph.h"
#include "recordingsink.h"
#include "win32.h"

class CDemuxFilter;
class CDemuxOutputPin;

class CDemuxSession {
public:
    CDemuxSession() = default;
    ~CDemuxSession();
    CDemuxSession(const CDemuxSession&) = delete;
    CDemuxSession& operator=(const CDemuxSession&) = delete;

    // Registers the module, creates the filter and the graph. Failures say why in *pError.
    HRESULT CreateFilter(std::string* pError);
    // Connects a source over the file to the filter's input: the filter's
    // verdict on the file. The file must be readable (checked before).
    HRESULT OpenFile(const std::string& path, std::string* pError);
    // Connects a sink to every output pin.
    HRESULT ConnectSinks(const SinkOptions& options, std::string* pError);
    // The same with each pin's own options (an event callback that knows its pin).
    HRESULT ConnectSinks(const std::function<SinkOptions(size_t i)>& optionsFor, std::string* pError);

    size_t PinCount() const;
    // The filter's own objects, for what COM does not tell: the track behind
    // a pin. The module was built from the same headers as this tool.
    CDemuxFilter* Filter() const { return m_pDemux; }
    CDemuxOutputPin* Pin(size_t i) const;
    IPin* OutputPin(size_t i) const;
    CRecordingSink* Sink(size_t i) const { return m_sinks[i]; }
    size_t SinkCount() const { return m_sinks.size(); }
    CHostGraph* Graph() const { return m_pGraph; }
    CHostAsyncSource* Source() const { return m_pSource; }
    const CToolComServer& Server() const { return m_server; }
    // IMediaSeeking of output pin i, with a reference; null when it has none.
    IMediaSeeking* Seeking(size_t i) const;

    HRESULT Play();
    // Waits until every sink has an end-of-stream after its last flush,
    // calling tick every few milliseconds meanwhile; false on time-out.
    bool WaitForEndOfStreams(DWORD dwMilliseconds, const std::function<void()>& tick = nullptr);

private:
    CToolComServer m_server;
    CHostGraph* m_pGraph = nullptr;
    IBaseFilter* m_pFilter = nullptr;
    CDemuxFilter* m_pDemux = nullptr;  // the same object as m_pFilter
    CHostAsyncSource* m_pSource = nullptr;
    std::vector<CRecordingSink*> m_sinks;
};

// True when the sink recorded an end-of-stream after its last begin-flush.
bool SinkEnded(const CRecordingSink* pSink);

#endif
