#include "demuxsession.h"

#include <chrono>
#include <thread>

#include "demuxfilter.h"
#include "demuxoutputpin.h"
#include "textformat.h"
#include "tracktable.h"

CDemuxSession::~CDemuxSession()
{
    if (m_pGraph) m_pGraph->Clear();
    for (CRecordingSink* pSink : m_sinks) pSink->Release();
    if (m_pSource) m_pSource->Release();
    if (m_pFilter) m_pFilter->Release();
    if (m_pGraph) m_pGraph->Release();
}

HRESULT CDemuxSession::CreateFilter(std::string* pError)
{
    HRESULT hr = m_server.Register(pError);
    if (FAILED(hr)) return hr;
    hr = m_server.CreateFilter(&m_pFilter, pError);
    if (FAILED(hr)) return hr;
    m_pDemux = static_cast<CDemuxFilter*>(m_pFilter);
    m_pGraph = CHostGraph::Create();
    if (!m_pGraph) {
        *pError = "cannot create the filter graph";
        return E_OUTOFMEMORY;
    }
    hr = m_pGraph->AddFilter(m_pFilter, L"3gpDemux");
    if (FAILED(hr)) *pError = "cannot add the filter to the graph: " + HresultWithName(hr);
    return hr;
}

HRESULT CDemuxSession::OpenFile(const std::string& path, std::string* pError)
{
    m_pSource = CHostAsyncSource::CreateFromFile(path);
    if (!m_pSource) {
        *pError = "cannot open " + path;
        return E_FAIL;
    }
    m_pGraph->AddFilter(m_pSource, L"source");
    IPin* pInput = nullptr;
    HRESULT hr = m_pFilter->FindPin(L"Input", &pInput);
    if (FAILED(hr)) {
        *pError = "the filter has no pin \"Input\": " + HresultWithName(hr);
        return hr;
    }
    hr = m_pGraph->ConnectDirect(m_pSource->OutputPin(), pInput, nullptr);
    pInput->Release();
    // A play reads once or more a sample: a log of every read would grow with the file.
    m_pSource->LogReads(false);
    if (FAILED(hr)) {
        *pError = "the filter refused " + path + ": " + HresultWithName(hr);
        const std::string reason = UnplayableMovieReason(path);
        if (!reason.empty()) *pError += " (" + reason + ")";
    }
    return hr;
}

HRESULT CDemuxSession::ConnectSinks(const SinkOptions& options, std::string* pError)
{
    return ConnectSinks([&options](size_t) { return options; }, pError);
}

HRESULT CDemuxSession::ConnectSinks(const std::function<SinkOptions(size_t i)>& optionsFor, std::string* pError)
{
    for (size_t i = 0; i < PinCount(); ++i) {
        CRecordingSink* pSink = CRecordingSink::Create(optionsFor(i));
        if (!pSink) return E_OUTOFMEMORY;
        m_sinks.push_back(pSink);
        m_pGraph->AddFilter(pSink, L"sink");
        HRESULT hr = m_pGraph->ConnectDirect(OutputPin(i), pSink->InputPin(), nullptr);
        if (FAILED(hr)) {
            *pError = "output pin " + std::to_string(i + 1) + " did not connect: " + HresultWithName(hr);
            return hr;
        }
    }
    return S_OK;
}

size_t CDemuxSession::PinCount() const
{
    return m_pDemux ? m_pDemux->GetOutputPinCount() : 0;
}

CDemuxOutputPin* CDemuxSession::Pin(size_t i) const
{
    return m_pDemux->GetOutputPin(static_cast<DWORD>(i));
}

IPin* CDemuxSession::OutputPin(size_t i) const
{
    return Pin(i);
}

IMediaSeeking* CDemuxSession::Seeking(size_t i) const
{
    IMediaSeeking* pSeeking = nullptr;
    if (i >= PinCount() || FAILED(OutputPin(i)->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&pSeeking))))
        return nullptr;
    return pSeeking;
}

HRESULT CDemuxSession::Play()
{
    HRESULT hr = m_pGraph->Pause();
    if (SUCCEEDED(hr)) hr = m_pGraph->Run();
    return hr;
}

bool SinkEnded(const CRecordingSink* pSink)
{
    bool bEnded = false;
    for (const SinkEvent& event : pSink->Events()) {
        if (event.kind == SinkEvent::BeginFlush) bEnded = false;
        if (event.kind == SinkEvent::EndOfStream) bEnded = true;
    }
    return bEnded;
}

bool CDemuxSession::WaitForEndOfStreams(DWORD dwMilliseconds, const std::function<void()>& tick)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwMilliseconds);
    for (;;) {
        bool bAll = true;
        for (CRecordingSink* pSink : m_sinks) bAll = bAll && SinkEnded(pSink);
        if (tick) tick();
        if (bAll) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        // Sinks signal only per sink; polling keeps the wait over all of them simple.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
