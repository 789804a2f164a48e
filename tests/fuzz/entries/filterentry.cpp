#include "fuzzentries.h"

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "asyncsource.h"
#include "comtesthooks.h"
#include "demuxfilter.h"
#include "demuxgraph.h"
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

long Progress(const CHostDemuxGraph& g)
{
    long n = static_cast<long>(g.Graph()->Events().size());
    for (size_t i = 0; i < g.SinkCount(); ++i) n += g.Sink(i)->ReceiveCalls() + g.Sink(i)->EndOfStreamCount();
    return n;
}

long StreamErrors(const CHostDemuxGraph& g)
{
    long n = 0;
    for (const CHostGraph::Event& event : g.Graph()->Events()) n += event.lCode == EC_STREAM_ERROR_STOPPED;
    return n;
}

// Waits until every sink has had nEndOfStreams end-of-streams or its
// stream failed, or one of the bounds above is reached.
void WaitForPlay(const CHostDemuxGraph& g, long nEndOfStreams)
{
    const auto start = std::chrono::steady_clock::now();
    auto lastChange = start;
    long lLast = Progress(g);
    for (;;) {
        long nDone = StreamErrors(g);
        long nSamples = 0;
        for (size_t i = 0; i < g.SinkCount(); ++i) {
            nDone += g.Sink(i)->EndOfStreamCount() >= nEndOfStreams;
            nSamples += g.Sink(i)->ReceiveCalls();
        }
        if (nDone >= static_cast<long>(g.SinkCount()) || nSamples >= kMaxSamples) return;
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

void ReadMetadata(IBaseFilter* pDemux)
{
    IAMMediaContent* pContent = nullptr;
    if (FAILED(pDemux->QueryInterface(IID_IAMMediaContent, reinterpret_cast<void**>(&pContent)))) return;
    BSTR bstr = nullptr;
    if (SUCCEEDED(pContent->get_Title(&bstr))) SysFreeString(bstr);
    bstr = nullptr;
    if (SUCCEEDED(pContent->get_AuthorName(&bstr))) SysFreeString(bstr);
    pContent->Release();
}

void PlayAndSeek(CHostDemuxGraph& g)
{
    IMediaSeeking* pSeeking = g.Seeking(0);
    LONGLONG llDuration = 0;
    if (pSeeking) pSeeking->GetDuration(&llDuration);

    if (SUCCEEDED(g.Play())) {
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

    bool bReleased = false;
    {
        HRESULT hr = E_FAIL;
        CUnknown* pDemux = CDemuxFilter::CreateInstance(nullptr, &hr);
        if (!pDemux) abort();
        CHostDemuxGraph g;
        // The graph holds the only reference from here.
        if (FAILED(g.SetFilter(static_cast<CDemuxFilter*>(pDemux)))) abort();
        CHostAsyncSource* pSource = CHostAsyncSource::CreateFromMemory(std::vector<uint8_t>(pData, pData + cbData));
        if (!pSource) abort();
        if (SUCCEEDED(g.OpenSource(pSource))) {
            ReadMetadata(g.Filter());
            SinkOptions options;
            options.bKeepBytes = false;
            if (SUCCEEDED(g.ConnectSinks(options)) && g.SinkCount() > 0) PlayAndSeek(g);
        }
        // Each object must go with its last reference, and nothing the run made may stay.
        bReleased = g.TearDown();
    }
    if (!bReleased || CBaseObject::ObjectsActive() != lObjectsAtStart ||
        platformtest::LiveMemAllocators() != lAllocatorsAtStart || platformtest::LiveKernelHandles() != lHandlesAtStart)
        abort();
    return 0;
}

}  // namespace fuzzentry
