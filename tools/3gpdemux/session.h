// A player's graph around the demux filter, as the subcommands use it: the
// filter created through COM (comserver.h) and driven only through COM by
// the host's graph (demuxgraph.h): a file source connected to its input, a
// recording sink to each output pin. What COM does not tell about a pin's
// track comes from the tool's own parse of the file (pinfacts.h).
#ifndef TOOLS_3GPDEMUX_SESSION_H
#define TOOLS_3GPDEMUX_SESSION_H

#include <functional>
#include <memory>
#include <string>

#include "comserver.h"
#include "demuxgraph.h"

class CMovie;
class FileByteSource;

class CToolSession {
public:
    CToolSession();
    ~CToolSession();
    CToolSession(const CToolSession&) = delete;
    CToolSession& operator=(const CToolSession&) = delete;

    // Registers the module, creates the filter and the graph. Failures say why in *pError.
    HRESULT CreateFilter(std::string* pError);
    // Connects a source over the file to the filter's input: the filter's
    // verdict on the file. The file must be readable (checked before).
    HRESULT OpenFile(const std::string& path, std::string* pError);
    // Connects a sink to every output pin.
    HRESULT ConnectSinks(const SinkOptions& options, std::string* pError);
    // The same with each pin's own options (an event callback that knows its pin).
    HRESULT ConnectSinks(const std::function<SinkOptions(size_t i)>& optionsFor, std::string* pError);

    size_t PinCount() const { return m_graph.OutputPinCount(); }
    IPin* OutputPin(size_t i) const { return m_graph.OutputPin(i); }
    CRecordingSink* Sink(size_t i) const { return m_graph.Sink(i); }
    size_t SinkCount() const { return m_graph.SinkCount(); }
    CHostGraph* Graph() const { return m_graph.Graph(); }
    CHostAsyncSource* Source() const { return m_graph.Source(); }
    const CToolComServer& Server() const { return m_server; }
    // IMediaSeeking of output pin i, with a reference; null when it has none.
    IMediaSeeking* Seeking(size_t i) const { return m_graph.Seeking(i); }
    // SetPositions through output pin i.
    HRESULT Seek(size_t i, LONGLONG llStart, DWORD dwStartFlags, LONGLONG llStop, DWORD dwStopFlags) const
    {
        return m_graph.Seek(i, llStart, dwStartFlags, llStop, dwStopFlags);
    }
    // The tool's own parse of the opened file, made when first asked for; null if it fails.
    CMovie* Movie() const;

    HRESULT Play() { return m_graph.Play(); }
    // Waits until every sink has an end-of-stream after its last flush,
    // calling tick every few milliseconds meanwhile; false on time-out.
    bool WaitForEndOfStreams(DWORD dwMilliseconds, const std::function<void()>& tick = nullptr) const
    {
        return m_graph.WaitForEndOfStreams(dwMilliseconds, tick);
    }

private:
    CToolComServer m_server;
    CHostDemuxGraph m_graph;
    std::string m_path;
    mutable std::unique_ptr<FileByteSource> m_pFile;
    mutable std::unique_ptr<CMovie> m_pMovie;
};

#endif
