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

class CToolSession : public CHostDemuxGraph {
public:
    CToolSession();
    ~CToolSession();

    // Registers the module, creates the filter and the graph. Failures say why in *pError.
    HRESULT CreateFilter(std::string* pError);
    // Connects a source over the file to the filter's input: the filter's
    // verdict on the file. The file must be readable (checked before).
    HRESULT OpenFile(const std::string& path, std::string* pError);
    // Connects a sink to every output pin.
    HRESULT ConnectSinks(const SinkOptions& options, std::string* pError);
    // The same with each pin's own options (an event callback that knows its pin).
    HRESULT ConnectSinks(const std::function<SinkOptions(size_t i)>& optionsFor, std::string* pError);

    const CToolComServer& Server() const { return m_server; }
    // The tool's own parse of the opened file, made when first asked for; null if it fails.
    CMovie* Movie() const;

private:
    CToolComServer m_server;
    std::string m_path;
    mutable std::unique_ptr<FileByteSource> m_pFile;
    mutable std::unique_ptr<CMovie> m_pMovie;
};

#endif
