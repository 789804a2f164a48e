// The host's modes for long plays: a sink that counts without recording and
// notes the first sample after a flush, and a source whose read log can be
// turned off.
#include <gtest/gtest.h>

#include <thread>

#include "asyncsource.h"
#include "baseoutputpin.h"
#include "hostgraph.h"
#include "recordingsink.h"

namespace {

// A paused counting sink with a one-buffer allocator to feed it from.
class CountingSinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SinkOptions options;
        options.bRecordSamples = false;
        m_pSink = CRecordingSink::Create(options);
        ASSERT_NE(nullptr, m_pSink);
        ASSERT_EQ(S_OK, CreateMemoryAllocator(&m_pAlloc));
        ALLOCATOR_PROPERTIES props = {1, 64, 1, 0}, actual;
        ASSERT_EQ(S_OK, m_pAlloc->SetProperties(&props, &actual));
        ASSERT_EQ(S_OK, m_pAlloc->Commit());
        ASSERT_EQ(S_OK, m_pAlloc->GetBuffer(&m_pSample, nullptr, nullptr, 0));
        ASSERT_EQ(S_OK, m_pSink->InputPin()->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_pInput)));
        ASSERT_EQ(S_OK, m_pSink->Pause());
    }

    void TearDown() override
    {
        if (m_pSink) m_pSink->Stop();
        if (m_pInput) m_pInput->Release();
        if (m_pSample) m_pSample->Release();
        if (m_pAlloc) {
            m_pAlloc->Decommit();
            EXPECT_EQ(0u, m_pAlloc->Release());
        }
        if (m_pSink) {
            EXPECT_EQ(0u, m_pSink->Release());
        }
    }

    // Sends a sample of cb bytes, each set to value, with the given media start.
    HRESULT Send(LONG cb, BYTE value, LONGLONG llMediaStart)
    {
        BYTE* pData = nullptr;
        m_pSample->GetPointer(&pData);
        for (LONG i = 0; i < cb; ++i) pData[i] = value;
        m_pSample->SetActualDataLength(cb);
        LONGLONG llMediaStop = llMediaStart + 1;
        m_pSample->SetMediaTime(&llMediaStart, &llMediaStop);
        return m_pInput->Receive(m_pSample);
    }

    CRecordingSink* m_pSink = nullptr;
    IMemAllocator* m_pAlloc = nullptr;
    IMediaSample* m_pSample = nullptr;
    IMemInputPin* m_pInput = nullptr;
};

}  // namespace

TEST_F(CountingSinkTest, CountsSamplesAndBytesWithoutRecordingThem)
{
    EXPECT_EQ(S_OK, Send(10, 0xAB, 0));
    EXPECT_EQ(S_OK, Send(64, 0xCD, 5));
    EXPECT_EQ(S_OK, Send(0, 0, 9));
    EXPECT_EQ(3u, m_pSink->SamplesReceived());
    EXPECT_EQ(74u, m_pSink->BytesReceived());
    EXPECT_TRUE(m_pSink->Samples().empty());
    EXPECT_TRUE(m_pSink->Events().empty()) << "no sample events: they would grow with the play";

    m_pSink->SetReceiveResult(E_ABORT);
    EXPECT_EQ(E_ABORT, Send(10, 1, 10));
    EXPECT_EQ(3u, m_pSink->SamplesReceived()) << "a refused sample is not counted";
    m_pSink->SetReceiveResult(S_OK);

    m_pSink->ClearRecords();
    EXPECT_EQ(0u, m_pSink->SamplesReceived());
    EXPECT_EQ(0u, m_pSink->BytesReceived());
}

TEST_F(CountingSinkTest, NotesTheFirstSampleAfterEachFlushBeforeBlocking)
{
    LONGLONG llMediaStart = -1;
    std::chrono::steady_clock::time_point tArrival;
    EXPECT_FALSE(m_pSink->WaitForFirstAfterFlush(0, &tArrival, &llMediaStart)) << "nothing arrived yet";
    EXPECT_EQ(S_OK, Send(4, 1, 70));
    EXPECT_EQ(S_OK, Send(4, 1, 80));
    ASSERT_TRUE(m_pSink->WaitForFirstAfterFlush(0, &tArrival, &llMediaStart));
    EXPECT_EQ(70, llMediaStart) << "the first sample, not the latest";

    m_pSink->InputPin()->BeginFlush();
    EXPECT_EQ(S_FALSE, Send(4, 1, 90)) << "refused while flushing";
    m_pSink->InputPin()->EndFlush();
    EXPECT_FALSE(m_pSink->WaitForFirstAfterFlush(0, &tArrival, &llMediaStart)) << "the flush starts a new wait";

    // A blocked sink still notes the arrival: the worker got that far.
    m_pSink->BlockReceive(true);
    std::chrono::steady_clock::time_point tBefore = std::chrono::steady_clock::now();
    HRESULT hr = S_OK;
    std::thread deliverer([&] { hr = Send(4, 1, 300); });
    ASSERT_TRUE(m_pSink->WaitForFirstAfterFlush(2000, &tArrival, &llMediaStart));
    EXPECT_EQ(300, llMediaStart);
    EXPECT_GE(tArrival, tBefore);
    ASSERT_TRUE(m_pSink->WaitForBlockedReceive(2000));
    m_pSink->BlockReceive(false);
    deliverer.join();
    EXPECT_EQ(S_OK, hr);
}

TEST(HostAsyncSource, ReadLogCanBeTurnedOffWhileReadsAreStillCounted)
{
    CHostAsyncSource* pSource = CHostAsyncSource::CreateFromMemory(std::vector<uint8_t>(100, 7));
    IAsyncReader* pReader = nullptr;
    ASSERT_EQ(S_OK, pSource->OutputPin()->QueryInterface(IID_IAsyncReader, reinterpret_cast<void**>(&pReader)));
    BYTE buffer[8];
    EXPECT_EQ(S_OK, pReader->SyncRead(1, 2, buffer));
    pSource->LogReads(false);
    EXPECT_EQ(S_OK, pReader->SyncRead(3, 4, buffer));
    pSource->LogReads(true);
    EXPECT_EQ(S_OK, pReader->SyncRead(5, 6, buffer));
    EXPECT_EQ(3, pSource->ReadCount());
    std::vector<CHostAsyncSource::ReadRecord> reads = pSource->Reads();
    ASSERT_EQ(2u, reads.size());
    EXPECT_EQ(1, reads[0].llPosition);
    EXPECT_EQ(5, reads[1].llPosition);
    EXPECT_EQ(6, reads[1].lLength);
    pReader->Release();
    EXPECT_EQ(0u, pSource->Release());
}
