#include "demuxgraph.h"

#include <chrono>
#include <thread>

HRESULT CHostDemuxGraph::SetFilter(IBaseFilter* pFilter)
{
    if (!pFilter) return E_POINTER;
    if (m_pFilter) return E_UNEXPECTED;
    m_pGraph = CHostGraph::Create();
    if (!m_pGraph) return E_OUTOFMEMORY;
    m_pFilter = pFilter;
    m_pFilter->AddRef();
    return m_pGraph->AddFilter(m_pFilter, L"demux");
}

HRESULT CHostDemuxGraph::OpenFile(const std::string& path)
{
    return OpenSource(CHostAsyncSource::CreateFromFile(path));
}

HRESULT CHostDemuxGraph::OpenSource(CHostAsyncSource* pSource)
{
    if (!pSource) return E_OUTOFMEMORY;
    if (!m_pGraph || m_pSource) {
        pSource->Release();
        return E_UNEXPECTED;
    }
    m_pSource = pSource;
    HRESULT hr = m_pGraph->AddFilter(m_pSource, L"source");
    return SUCCEEDED(hr) ? ReconnectInput() : hr;
}

HRESULT CHostDemuxGraph::ConnectSinks(const SinkOptions& options)
{
    return ConnectSinks([&options](size_t) { return options; });
}

HRESULT CHostDemuxGraph::ConnectSinks(const std::function<SinkOptions(size_t i)>& optionsFor)
{
    if (!m_pGraph) return E_UNEXPECTED;
    for (size_t i = 0, n = OutputPinCount(); i < n; ++i) {
        CRecordingSink* pSink = CRecordingSink::Create(optionsFor(i));
        if (!pSink) return E_OUTOFMEMORY;
        m_sinks.push_back(pSink);
        HRESULT hr = m_pGraph->AddFilter(pSink, L"sink");
        if (SUCCEEDED(hr)) hr = ConnectOutput(i);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CHostDemuxGraph::DisconnectInput()
{
    IPin* pInput = InputPin();
    return pInput ? m_pGraph->DisconnectPair(pInput) : VFW_E_NOT_FOUND;
}

HRESULT CHostDemuxGraph::ReconnectInput()
{
    IPin* pInput = InputPin();
    if (!pInput || !m_pSource) return VFW_E_NOT_FOUND;
    HRESULT hr = m_pGraph->ConnectDirect(m_pSource->OutputPin(), pInput, nullptr);
    if (FAILED(hr) || m_sinks.empty()) return hr;
    if (OutputPinCount() != m_sinks.size()) return E_UNEXPECTED;
    for (size_t i = 0; i < m_sinks.size(); ++i) {
        hr = ConnectOutput(i);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT CHostDemuxGraph::DisconnectOutput(size_t i)
{
    IPin* pPin = OutputPin(i);
    return pPin ? m_pGraph->DisconnectPair(pPin) : VFW_E_NOT_FOUND;
}

HRESULT CHostDemuxGraph::ConnectOutput(size_t i)
{
    IPin* pPin = OutputPin(i);
    if (!pPin || i >= m_sinks.size()) return VFW_E_NOT_FOUND;
    return m_pGraph->ConnectDirect(pPin, m_sinks[i]->InputPin(), nullptr);
}

HRESULT CHostDemuxGraph::Play()
{
    if (!m_pGraph) return E_UNEXPECTED;
    HRESULT hr = m_pGraph->Pause();
    return SUCCEEDED(hr) ? m_pGraph->Run() : hr;
}

HRESULT CHostDemuxGraph::Seek(size_t i, LONGLONG llStart, DWORD dwStartFlags, LONGLONG llStop, DWORD dwStopFlags) const
{
    IMediaSeeking* pSeeking = Seeking(i);
    if (!pSeeking) return E_NOINTERFACE;
    HRESULT hr = pSeeking->SetPositions(&llStart, dwStartFlags, &llStop, dwStopFlags);
    pSeeking->Release();
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

bool CHostDemuxGraph::WaitForEndOfStreams(DWORD dwMilliseconds, const std::function<void()>& tick) const
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

bool CHostDemuxGraph::TearDown()
{
    bool bAllGone = true;
    if (m_pGraph) m_pGraph->Clear();
    for (CRecordingSink* pSink : m_sinks) bAllGone = pSink->Release() == 0 && bAllGone;
    m_sinks.clear();
    if (m_pSource) bAllGone = m_pSource->Release() == 0 && bAllGone;
    m_pSource = nullptr;
    if (m_pFilter) bAllGone = m_pFilter->Release() == 0 && bAllGone;
    m_pFilter = nullptr;
    if (m_pGraph) bAllGone = m_pGraph->Release() == 0 && bAllGone;
    m_pGraph = nullptr;
    return bAllGone;
}

size_t CHostDemuxGraph::OutputPinCount() const
{
    size_t n = 0;
    while (FindPin(PINDIR_OUTPUT, n)) ++n;
    return n;
}

IMediaSeeking* CHostDemuxGraph::Seeking(size_t i) const
{
    IPin* pPin = OutputPin(i);
    IMediaSeeking* pSeeking = nullptr;
    if (!pPin || FAILED(pPin->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&pSeeking)))) return nullptr;
    return pSeeking;
}

IPin* CHostDemuxGraph::FindPin(PIN_DIRECTION direction, size_t n) const
{
    IEnumPins* pEnum = nullptr;
    if (!m_pFilter || FAILED(m_pFilter->EnumPins(&pEnum))) return nullptr;
    IPin* pFound = nullptr;
    IPin* pPin = nullptr;
    while (!pFound && pEnum->Next(1, &pPin, nullptr) == S_OK) {
        PIN_DIRECTION pinDirection = PINDIR_INPUT;
        if (SUCCEEDED(pPin->QueryDirection(&pinDirection)) && pinDirection == direction && n-- == 0) pFound = pPin;
        // The filter keeps its pins while they are its own; the caller uses them without a reference.
        pPin->Release();
    }
    pEnum->Release();
    return pFound;
}
