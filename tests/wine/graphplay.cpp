// "demux_wine_test play FILE N T": the module inside a graph nobody on this
// team wrote. Wine's CLSID_FilterGraph holds Wine's File Source (Async)
// loading FILE, the demultiplexer made by CoCreateInstance from the
// registered module, and a recording sink on each of its output pins.
#include "wineprogram.h"

#include <cstdio>
#include <string>
#include <vector>

#include "3gpDemux.h"
#include "graphsink.h"
#include "samplejson.h"

namespace {

const DWORD kWaitMs = 30000;

// Releases a COM pointer at the end of a scope.
template <typename T>
class CComRef {
public:
    CComRef() = default;
    ~CComRef() { Reset(); }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;
    T** operator&() { return &m_p; }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    void Reset()
    {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }

private:
    T* m_p = nullptr;
};

bool Failed(HRESULT hr, const char* pszWhat)
{
    if (SUCCEEDED(hr)) return false;
    std::fprintf(stderr, "demux_wine_test: %s failed: 0x%08lX\n", pszWhat, static_cast<unsigned long>(hr));
    return true;
}

HRESULT FindPin(IBaseFilter* pFilter, PIN_DIRECTION dir, std::vector<IPin*>* pPins)
{
    CComRef<IEnumPins> pEnum;
    HRESULT hr = pFilter->EnumPins(&pEnum);
    if (FAILED(hr)) return hr;
    IPin* pPin = nullptr;
    while (pEnum->Next(1, &pPin, nullptr) == S_OK) {
        PIN_DIRECTION pinDir;
        if (SUCCEEDED(pPin->QueryDirection(&pinDir)) && pinDir == dir) pPins->push_back(pPin);
        else pPin->Release();
    }
    return S_OK;
}

void ReleasePins(std::vector<IPin*>* pPins)
{
    for (IPin* pPin : *pPins) pPin->Release();
    pPins->clear();
}

class CGraphSession {
public:
    ~CGraphSession()
    {
        if (m_pControl.Get()) m_pControl->Stop();
        for (CGraphSink* pSink : m_sinks) pSink->Release();
    }

    HRESULT Build(const WideString& file);
    HRESULT RunToCompletion();
    HRESULT WaitForComplete();
    bool WaitAllEnded();
    void ClearLines();
    void Print(const char* pszSection) const;
    HRESULT SeekTo(REFERENCE_TIME rt);

    IMediaControl* Control() const { return m_pControl.Get(); }
    IMediaSeeking* Seeking() const { return m_pSeeking.Get(); }
    const std::vector<CGraphSink*>& Sinks() const { return m_sinks; }

private:
    CComRef<IGraphBuilder> m_pGraph;
    CComRef<IMediaControl> m_pControl;
    CComRef<IMediaEvent> m_pEvent;
    CComRef<IMediaSeeking> m_pSeeking;
    std::vector<CGraphSink*> m_sinks;  // each holds a reference
};

HRESULT CGraphSession::Build(const WideString& file)
{
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                  reinterpret_cast<void**>(&m_pGraph));
    if (Failed(hr, "CoCreateInstance(CLSID_FilterGraph)")) return hr;
    m_pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&m_pControl));
    m_pGraph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(&m_pEvent));
    m_pGraph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&m_pSeeking));
    if (!m_pControl.Get() || !m_pEvent.Get() || !m_pSeeking.Get()) return E_NOINTERFACE;

    CComRef<IBaseFilter> pSource;
    hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(&pSource));
    if (Failed(hr, "CoCreateInstance(CLSID_AsyncReader)")) return hr;
    CComRef<IFileSourceFilter> pFileSource;
    hr = pSource->QueryInterface(IID_IFileSourceFilter, reinterpret_cast<void**>(&pFileSource));
    if (Failed(hr, "IFileSourceFilter")) return hr;
    hr = pFileSource->Load(file.c_str(), nullptr);
    if (Failed(hr, "IFileSourceFilter::Load")) return hr;
    hr = m_pGraph->AddFilter(pSource.Get(), L"File Source (Async)");
    if (Failed(hr, "AddFilter(source)")) return hr;

    CComRef<IBaseFilter> pDemux;
    hr = CoCreateInstance(CLSID_DemuxFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(&pDemux));
    if (Failed(hr, "CoCreateInstance(demultiplexer)")) return hr;
    hr = m_pGraph->AddFilter(pDemux.Get(), L"Orvane 3GPP Demux Filter");
    if (Failed(hr, "AddFilter(demultiplexer)")) return hr;

    std::vector<IPin*> sourcePins;
    FindPin(pSource.Get(), PINDIR_OUTPUT, &sourcePins);
    CComRef<IPin> pInput;
    hr = pDemux->FindPin(L"Input", &pInput);
    if (Failed(hr, "FindPin(\"Input\")")) return hr;
    hr = sourcePins.empty() ? E_FAIL : m_pGraph->ConnectDirect(sourcePins[0], pInput.Get(), nullptr);
    ReleasePins(&sourcePins);
    if (Failed(hr, "connecting the source to \"Input\"")) return hr;

    std::vector<IPin*> outputs;
    FindPin(pDemux.Get(), PINDIR_OUTPUT, &outputs);
    for (size_t i = 0; SUCCEEDED(hr) && i < outputs.size(); ++i) {
        CGraphSink* pSink = CGraphSink::Create();
        if (!pSink) {
            hr = E_OUTOFMEMORY;
            break;
        }
        m_sinks.push_back(pSink);
        hr = m_pGraph->AddFilter(pSink, i == 0 ? L"Sink 1" : L"Sink 2");
        if (SUCCEEDED(hr)) hr = m_pGraph->ConnectDirect(outputs[i], pSink->InputPin(), nullptr);
        if (SUCCEEDED(hr)) pSink->NameFromConnection();
    }
    ReleasePins(&outputs);
    if (Failed(hr, "connecting the output pins to the sinks")) return hr;
    return m_sinks.empty() ? E_FAIL : S_OK;
}

// Waits for EC_COMPLETE; stream errors and aborts end the wait with a failure.
HRESULT CGraphSession::WaitForComplete()
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        DWORD dwSpent = GetTickCount() - dwStart;
        if (dwSpent >= kWaitMs) break;
        LONG lCode = 0;
        LONG_PTR lParam1 = 0, lParam2 = 0;
        // E_ABORT also comes early, when the graph's event is set but its queue is empty.
        if (m_pEvent->GetEvent(&lCode, &lParam1, &lParam2, static_cast<LONG>(kWaitMs - dwSpent)) != S_OK) {
            Sleep(10);
            continue;
        }
        m_pEvent->FreeEventParams(lCode, lParam1, lParam2);
        if (lCode == EC_COMPLETE) return S_OK;
        if (lCode == EC_STREAM_ERROR_STOPPED || lCode == EC_ERRORABORT || lCode == EC_USERABORT) {
            std::printf("error\t%s\n", ErrorJsonLine(lCode, static_cast<HRESULT>(lParam1)).c_str());
            return static_cast<HRESULT>(lParam1) < 0 ? static_cast<HRESULT>(lParam1) : E_FAIL;
        }
    }
    std::fprintf(stderr, "demux_wine_test: no EC_COMPLETE within %lu ms\n", static_cast<unsigned long>(kWaitMs));
    return VFW_E_TIMEOUT;
}

bool CGraphSession::WaitAllEnded()
{
    for (CGraphSink* pSink : m_sinks) {
        if (!pSink->WaitEnded(kWaitMs)) return false;
    }
    return true;
}

HRESULT CGraphSession::RunToCompletion()
{
    HRESULT hr = m_pControl->Run();
    if (Failed(hr, "IMediaControl::Run")) return hr;
    hr = WaitForComplete();
    if (FAILED(hr)) return hr;
    return WaitAllEnded() ? S_OK : VFW_E_TIMEOUT;
}

void CGraphSession::ClearLines()
{
    for (CGraphSink* pSink : m_sinks) pSink->ClearLines();
}

void CGraphSession::Print(const char* pszSection) const
{
    for (CGraphSink* pSink : m_sinks) {
        for (const std::string& line : pSink->Lines()) std::printf("%s\t%s\n", pszSection, line.c_str());
    }
    std::fflush(stdout);
}

HRESULT CGraphSession::SeekTo(REFERENCE_TIME rt)
{
    LONGLONG llTo = rt;
    return m_pSeeking->SetPositions(&llTo, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
}

}  // namespace

int PlayThroughGraph(const WideString& file, size_t nHold, REFERENCE_TIME rtSeek)
{
    CGraphSession session;
    HRESULT hr = session.Build(file);
    if (FAILED(hr)) return 1;

    // Play: Run to EC_COMPLETE.
    hr = session.RunToCompletion();
    session.Print("play");
    if (Failed(hr, "playing to EC_COMPLETE")) return 1;
    if (Failed(session.Control()->Stop(), "IMediaControl::Stop")) return 1;

    // Seek while running, at a known point: each sink holds its nHold-th
    // sample, so the seek finds both pins mid-stream.
    if (Failed(session.SeekTo(0), "rewinding while stopped")) return 1;
    session.ClearLines();
    for (CGraphSink* pSink : session.Sinks()) pSink->HoldNthSample(static_cast<long>(nHold));
    hr = session.Control()->Run();
    if (Failed(hr, "IMediaControl::Run before the seek")) return 1;
    for (CGraphSink* pSink : session.Sinks()) {
        if (!pSink->WaitForHeldOrEnded(kWaitMs)) {
            std::fprintf(stderr, "demux_wine_test: a sink neither held nor ended before the seek\n");
            return 1;
        }
    }
    hr = session.SeekTo(rtSeek);
    if (Failed(hr, "IMediaSeeking::SetPositions through the graph while running")) return 1;
    hr = session.WaitForComplete();
    bool bEnded = SUCCEEDED(hr) && session.WaitAllEnded();
    session.Print("seek");
    if (Failed(hr, "playing to EC_COMPLETE after the seek")) return 1;
    if (!bEnded) {
        std::fprintf(stderr, "demux_wine_test: not every sink ended after the seek\n");
        return 1;
    }

    LONGLONG llDuration = 0;
    hr = session.Seeking()->GetDuration(&llDuration);
    if (Failed(hr, "IMediaSeeking::GetDuration")) return 1;
    std::printf("duration\t%lld\n", static_cast<long long>(llDuration));

    // Stop, back to the start, and Pause again: delivery runs in Paused.
    if (Failed(session.Control()->Stop(), "IMediaControl::Stop after the seek")) return 1;
    if (Failed(session.SeekTo(0), "rewinding after Stop")) return 1;
    session.ClearLines();
    hr = session.Control()->Pause();
    if (Failed(hr, "IMediaControl::Pause after Stop")) return 1;
    bEnded = session.WaitAllEnded();
    session.Print("replay");
    if (!bEnded) {
        std::fprintf(stderr, "demux_wine_test: paused again, not every sink reached end-of-stream\n");
        return 1;
    }
    if (Failed(session.Control()->Stop(), "IMediaControl::Stop after the replay")) return 1;
    return 0;
}
