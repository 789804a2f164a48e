// The host pieces other tests stand on where a broken one would pass
// unnoticed: the async source's faults, the graph's Clear, the sink's
// blocking, and the registry stand-in.
#include <gtest/gtest.h>

#include <thread>

#include "asyncsource.h"
#include "baseoutputpin.h"
#include "comtesthooks.h"
#include "demuxplayback.h"
#include "hostgraph.h"
#include "recordingsink.h"

namespace {

IAsyncReader* ReaderOf(CHostAsyncSource* pSource)
{
    IAsyncReader* pReader = nullptr;
    EXPECT_EQ(S_OK, pSource->OutputPin()->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(&pReader)));
    return pReader;
}

std::vector<uint8_t> Counting(size_t n)
{
    std::vector<uint8_t> data(n);
    for (size_t i = 0; i < n; ++i) data[i] = static_cast<uint8_t>(i);
    return data;
}

}  // namespace

// Reads, lengths, single failing reads and length overrides are what the
// filter tests stand on; the faults below are the ones only the fault
// suites' set-ups use, where a broken one would pass unnoticed.
TEST(HostAsyncSource, InjectedFaultsShapeTheReads)
{
    CHostAsyncSource* pSource = CHostAsyncSource::CreateFromMemory(Counting(100));
    IAsyncReader* pReader = ReaderOf(pSource);
    BYTE buffer[32] = {};
    pSource->FailReadsInRange(50, 60, E_UNEXPECTED);
    EXPECT_EQ(S_OK, pReader->SyncRead(40, 10, buffer));
    EXPECT_EQ(E_UNEXPECTED, pReader->SyncRead(45, 10, buffer));

    pSource->ClearFaults();
    pSource->LimitReadSize(5);
    EXPECT_EQ(S_FALSE, pReader->SyncRead(0, 10, buffer));
    EXPECT_EQ(S_OK, pReader->SyncRead(0, 5, buffer));

    pSource->ClearFaults();
    pSource->FailReadsFrom(2);
    EXPECT_EQ(S_OK, pReader->SyncRead(0, 1, buffer));
    EXPECT_EQ(E_FAIL, pReader->SyncRead(0, 1, buffer));
    EXPECT_EQ(E_FAIL, pReader->SyncRead(0, 1, buffer));
    pReader->Release();
    EXPECT_EQ(0u, pSource->Release());
    EXPECT_EQ(nullptr, CHostAsyncSource::CreateFromFile(std::string(DEMUX_FIXTURE_DIR) + "/none.missing"));
}

// A demultiplexer deletes its output pins when its input is disconnected,
// and their references are its own: Clear must hold none of them across
// that disconnection.
TEST(HostGraph, ClearPartsAFilterWhoseOutputPinsGoWithItsInput)
{
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("h263-amrnb.3gp"));
    ASSERT_EQ(S_OK, play.Graph()->Run());
    play.Graph()->Clear();
    EXPECT_EQ(State_Stopped, play.Graph()->State());
    EXPECT_EQ(1, play.Filter()->GetPinCount());
    IPin* pPeer = nullptr;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, play.Source()->OutputPin()->ConnectedTo(&pPeer));
    for (size_t i = 0; i < play.OutputPinCount(); ++i) {
        EXPECT_EQ(VFW_E_NOT_CONNECTED, play.Sink(i)->InputPin()->ConnectedTo(&pPeer));
    }
}

TEST(RecordingSink, FlushAndStopReleaseABlockedReceive)
{
    CHostGraph* pGraph = CHostGraph::Create();
    CRecordingSink* pSink = CRecordingSink::Create();
    ASSERT_EQ(S_OK, pGraph->AddFilter(pSink, L"sink"));
    IMemAllocator* pAlloc = nullptr;
    ASSERT_EQ(S_OK, CreateMemoryAllocator(&pAlloc));
    ALLOCATOR_PROPERTIES props = {1, 8, 1, 0}, actual;
    pAlloc->SetProperties(&props, &actual);
    pAlloc->Commit();
    IMediaSample* pSample = nullptr;
    ASSERT_EQ(S_OK, pAlloc->GetBuffer(&pSample, nullptr, nullptr, 0));
    IMemInputPin* pInput = nullptr;
    ASSERT_EQ(S_OK, pSink->InputPin()->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&pInput)));

    EXPECT_EQ(VFW_E_WRONG_STATE, pInput->Receive(pSample)) << "a stopped sink takes no samples";
    ASSERT_EQ(S_OK, pSink->Pause());
    pSink->BlockReceive(true);
    HRESULT hr = S_OK;
    std::thread deliverer([&] { hr = pInput->Receive(pSample); });
    ASSERT_TRUE(pSink->WaitForBlockedReceive(2000));
    pSink->InputPin()->BeginFlush();
    deliverer.join();
    EXPECT_EQ(S_FALSE, hr);
    pSink->InputPin()->EndFlush();

    deliverer = std::thread([&] { hr = pInput->Receive(pSample); });
    ASSERT_TRUE(pSink->WaitForBlockedReceive(2000));
    pSink->Stop();
    deliverer.join();
    EXPECT_EQ(VFW_E_WRONG_STATE, hr);
    EXPECT_TRUE(pSink->Samples().empty());

    pSink->BlockReceive(false);
    pSink->Pause();
    pSink->SetReceiveResult(E_ABORT);
    EXPECT_EQ(E_ABORT, pInput->Receive(pSample));
    pSink->SetReceiveResult(S_OK);
    pSample->SetActualDataLength(2);
    EXPECT_EQ(S_OK, pInput->Receive(pSample));
    ASSERT_EQ(1u, pSink->Samples().size());
    EXPECT_EQ(2, pSink->Samples()[0].cbActual);
    pSink->Stop();

    pInput->Release();
    pSample->Release();
    pAlloc->Decommit();
    EXPECT_EQ(0u, pAlloc->Release());
    EXPECT_EQ(0u, pGraph->Release());
    EXPECT_EQ(0u, pSink->Release());
}
