#include "session.h"

#include "commands.h"
#include "movie.h"
#include "textformat.h"
#include "tracktable.h"

CToolSession::CToolSession() = default;

// The graph goes first: the filter must be released before the server uninitializes COM.
CToolSession::~CToolSession()
{
    TearDown();
}

HRESULT CToolSession::CreateFilter(std::string* pError)
{
    HRESULT hr = m_server.Register(pError);
    if (FAILED(hr)) return hr;
    IBaseFilter* pFilter = nullptr;
    hr = m_server.CreateFilter(&pFilter, pError);
    if (FAILED(hr)) return hr;
    hr = SetFilter(pFilter);
    pFilter->Release();
    if (FAILED(hr)) *pError = "cannot add the filter to a graph: " + HresultWithName(hr);
    return hr;
}

HRESULT CToolSession::OpenFile(const std::string& path, std::string* pError)
{
    CHostAsyncSource* pSource = CHostAsyncSource::CreateFromFile(path);
    if (!pSource) {
        *pError = "cannot open " + path;
        return E_FAIL;
    }
    m_path = path;
    if (!InputPin()) {
        pSource->Release();
        *pError = "the filter has no input pin";
        return VFW_E_NOT_FOUND;
    }
    HRESULT hr = CHostDemuxGraph::OpenSource(pSource);
    // A play reads once or more a sample: a log of every read would grow with the file.
    pSource->LogReads(false);
    if (FAILED(hr)) {
        *pError = "the filter refused " + path + ": " + HresultWithName(hr);
        const std::string reason = UnplayableMovieReason(Movie());
        if (!reason.empty()) *pError += " (" + reason + ")";
    }
    return hr;
}

HRESULT CToolSession::ConnectSinks(const SinkOptions& options, std::string* pError)
{
    return ConnectSinks([&options](size_t) { return options; }, pError);
}

HRESULT CToolSession::ConnectSinks(const std::function<SinkOptions(size_t i)>& optionsFor, std::string* pError)
{
    HRESULT hr = CHostDemuxGraph::ConnectSinks(optionsFor);
    if (FAILED(hr)) {
        *pError = "output pin " + std::to_string(SinkCount()) + " did not connect: " + HresultWithName(hr);
    }
    return hr;
}

CMovie* CToolSession::Movie() const
{
    if (!m_pMovie && !m_path.empty()) {
        m_pFile.reset(new FileByteSource(m_path));
        m_pMovie.reset(new CMovie(m_pFile.get()));
        if (!m_pFile->IsOpen() || FAILED(m_pMovie->Parse())) m_pMovie.reset();
    }
    return m_pMovie.get();
}
