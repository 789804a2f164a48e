#include "fuzzentries.h"

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "asyncsource.h"
#include "comtesthooks.h"
#include "demuxfilter.h"
#include "hostgraph.h"
#include "recordingsink.h"
#include "testhooks.h"

namespace fuzzentry {

namespace {

// Playing is cut short after this many samples in all, or when nothing
// has arrived for kStallMs, or after kPhaseMs: a file may hold millions of
// tiny samples, and that is no fault. A worker that cannot be stopped still
// hangs in Stop, where the fuzzer's time-out sees it.
const long kMaxSamples = 2000;
const int kStallMs = 250;
const int kPhaseMs = 3000;

struct Graph {
    CHostGraph* pGraph = nullptr;
    CDemuxFilter* pDemux = nullptr;
    CHostAsyncSource* pSource = nullptr;
    std::vector<CRecordingSink*> sinks;
};

long Progress(const Graph& g)
{
    long n = static_cast<long>(g.pGraph->Events().size());
    for (CRecordingSink* pSink : g.sinks) n += pSink->ReceiveCalls() + pSink->EndOfStreamCount();
    return n;
}

long StreamErrors(const Graph& g)
{
    long n = 0;
    for (const CHostGraph::Event& event : g.pGraph->Events()) n += event.lCode == EC_STREAM_ERROR_STOPPED;
    return n;
}

// Waits until every sink has had nEndOfStreams end-of-streams or its
// stream failed, or one of the bounds above is reached.
void WaitForPlay(const Graph& g, long nEndOfStreams)
{
    const auto start = std::chrono::steady_clock::now();
    auto lastChange = start;
    long lLast = Progress(g);
    for (;;) {
        long nDone = StreamErrors(g);
        long nSamples = 0;
        for (CRecordingSink* pSink : g.sinks) {
            nDone += pSink->EndOfStreamCount() >= nEndOfStreams;
            nSamples += pSink->ReceiveCalls();
        }
        if (nDone >= static_cast<long>(g.sinks.size()) || nSamples >= kMaxSamples) return;
        const auto now = std::chrono::steady_clock::now();
        const long lNow = Progress(g);
        if (lNow != lLast) {
            lLast = lNow;
            lastChange = now;
        }
        if (now - lastChange > std::chrono::milliseconds(kStallMs) ||
            now - start > std::chrono::milliseconds(kPhaseMs))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void ReadMetadata(CDemuxFilter* pDemux)
{
    IAMMediaContent* pContent = nullptr;
    if (FAILED(pDemux->QueryInterface(IID_IAMMediaContent, reinterpret_cast<void**>(&pContent)))) return;
    BSTR bstr = nullptr;
    if (SUCCEEDED(pContent->get_Title(&bstr))) SysFreeString(bstr);
    bstr = nullptr;
    if (SUCCEEDED(pContent->get_AuthorName(&bstr))) SysFreeString(bstr);
    pContent->Release();
}

void PlayAndSeek(Graph& g)
{
    IMediaSeeking* pSeeking = nullptr;
    g.pDemux->GetPin(1)->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&pSeeking));
    LONGLONG llDuration = 0;
    if (pSeeking) pSeeking->GetDuration(&llDuration);

    if (SUCCEEDED(g.pGraph->Pause()) && SUCCEEDED(g.pGraph->Run())) {
        WaitForPlay(g, 1);
        if (pSeeking) {
            LONGLONG llMiddle = llDuration / 2;
            if (SUCCEEDED(pSeeking->SetPositions(&llMiddle, AM_SEEKING_AbsolutePositioning, nullptr,
                                                 AM_SEEKING_NoPositioning)))
                WaitForPlay(g, 2);
        }
    }
    if (pSeeking) pSeeking->Release();
}

}  // namespace

int PlayFilter(const uint8_t* pData, size_t cbData)
{
    const long lObjectsAtStart = CBaseObject::ObjectsActive();
    const long lAllocatorsAtStart = platformtest::LiveMemAllocators();
    const long lHandlesAtStart = platformtest::LiveKernelHandles();

    Graph g;
    g.pGraph = CHostGraph::Create();
    HRESULT hr = E_FAIL;
    g.pDemux = static_cast<CDemuxFilter*>(CDemuxFilter::CreateInstance(nullptr, &hr));
    g.pSource = CHostAsyncSource::CreateFromMemory(std::vector<uint8_t>(pData, pData + cbData));
    if (!g.pGraph || !g.pDemux || !g.pSource) abort();
    g.pDemux->AddRef();
    g.pGraph->AddFilter(g.pDemux, L"demux");
    g.pGraph->AddFilter(g.pSource, L"source");

    if (SUCCEEDED(g.pGraph->ConnectDirect(g.pSource->OutputPin(), g.pDemux->GetPin(0), nullptr))) {
        ReadMetadata(g.pDemux);
        SinkOptions options;
        options.bKeepBytes = false;
        bool bConnected = true;
        for (int i = 1; i < g.pDemux->GetPinCount() && bConnected; ++i) {
            CRecordingSink* pSink = CRecordingSink::Create(options);
            if (!pSink) abort();
            g.sinks.push_back(pSink);
            g.pGraph->AddFilter(pSink, L"sink");
            bConnected = SUCCEEDED(g.pGraph->ConnectDirect(g.pDemux->GetPin(i), pSink->InputPin(), nullptr));
        }
        if (bConnected && !g.sinks.empty()) PlayAndSeek(g);
    }

    // Clear stops the graph and breaks every connection; then each object
    // must go with its last reference, and nothing the run made may stay.
    g.pGraph->Clear();
    bool bReleased = g.pSource->Release() == 0;
    for (CRecordingSink* pSink : g.sinks) bReleased = pSink->Release() == 0 && bReleased;
    bReleased = g.pDemux->Release() == 0 && bReleased;
    bReleased = g.pGraph->Release() == 0 && bReleased;
    if (!bReleased || CBaseObject::ObjectsActive() != lObjectsAtStart ||
        platformtest::LiveMemAllocators() != lAllocatorsAtStart || platformtest::LiveKernelHandles() != lHandlesAtStart)
        abort();
    return 0;
}

}  // namespace fuzzentry
