// CBasePin's connection protocol and CBaseOutputPin's allocator decision
// and delivery, through the host graph between real pins.
#include <gtest/gtest.h>

#include "asyncsource.h"
#include "baseoutputpin.h"
#include "comtest.h"
#include "comtesthooks.h"
#include "debugcapture.h"
#include "hostgraph.h"
#include "recordingsink.h"

namespace {

// {3C2B1A09-8F7E-4D6C-B5A4-938271605F4E}
const CLSID kClsidTestOut = {0x3C2B1A09, 0x8F7E, 0x4D6C, {0xB5, 0xA4, 0x93, 0x82, 0x71, 0x60, 0x5F, 0x4E}};

class CTestOutputPin : public CBaseOutputPin {
public:
    CTestOutputPin(CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr)
        : CBaseOutputPin(L"CTestOutputPin", pFilter, pLock, phr, L"out")
    {
    }
    HRESULT CheckMediaType(const CMediaType* pmt) override
    {
        return IsEqualGUID(pmt->majortype, MEDIATYPE_Video) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override
    {
        if (iPosition != 0) return VFW_S_NO_MORE_ITEMS;
        pmt->InitMediaType();
        pmt->SetType(&MEDIATYPE_Video);
        pmt->SetSubtype(&MEDIASUBTYPE_MP4V);
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override
    {
        m_requests.push_back(*pRequest);
        ALLOCATOR_PROPERTIES props = *pRequest;
        props.cBuffers = 2;
        props.cbBuffer = 1000;
        ALLOCATOR_PROPERTIES actual;
        return pAlloc->SetProperties(&props, &actual);
    }
    IMemAllocator* Allocator() { return m_pAllocator; }

    std::vector<ALLOCATOR_PROPERTIES> m_requests;
};

class CTestOutFilter : public CBaseFilter {
public:
    static CTestOutFilter* Create()
    {
        CTestOutFilter* p = new CTestOutFilter;
        p->AddRef();
        return p;
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    CTestOutputPin m_pin;

private:
    CTestOutFilter() : CBaseFilter(L"CTestOutFilter", nullptr, &m_csFilter, kClsidTestOut), m_pin(this, &m_csFilter, nullptr)
    {
    }
    CCritSec m_csFilter;
};

// A graph of an output filter and a sink, both added, not connected.
class OutputPinTest : public testing::Test {
protected:
    void Build(const SinkOptions& options)
    {
        m_pGraph = CHostGraph::Create();
        m_pOut = CTestOutFilter::Create();
        m_pSink = CRecordingSink::Create(options);
        ASSERT_EQ(S_OK, m_pGraph->AddFilter(m_pOut, L"out"));
        ASSERT_EQ(S_OK, m_pGraph->AddFilter(m_pSink, L"sink"));
    }
    HRESULT Connect() { return m_pGraph->ConnectDirect(&m_pOut->m_pin, m_pSink->InputPin(), nullptr); }
    void TearDown() override
    {
        if (!m_pGraph) return;
        m_pGraph->Clear();
        EXPECT_EQ(0u, m_pGraph->Release());
        EXPECT_EQ(0u, m_pOut->Release());
        EXPECT_EQ(0u, m_pSink->Release());
        EXPECT_EQ(0, platformtest::LiveMemAllocators());
    }

    CHostGraph* m_pGraph = nullptr;
    CTestOutFilter* m_pOut = nullptr;
    CRecordingSink* m_pSink = nullptr;
};

}  // namespace

// --- connection through CBasePin ------------------------------------------------

TEST(PinConnection, SourceAndSinkAgreeOnTheSourcesType)
{
    CHostGraph* pGraph = CHostGraph::Create();
    CHostAsyncSource* pSource = CHostAsyncSource::CreateFromMemory({1, 2, 3});
    CRecordingSink* pSink = CRecordingSink::Create();
    ASSERT_EQ(S_OK, pGraph->AddFilter(pSource, L"source"));
    ASSERT_EQ(S_OK, pGraph->AddFilter(pSink, L"sink"));

    ASSERT_EQ(S_OK, pGraph->ConnectDirect(pSource->OutputPin(), pSink->InputPin(), nullptr));
    IPin* pPeer = nullptr;
    ASSERT_EQ(S_OK, pSink->InputPin()->ConnectedTo(&pPeer));
    EXPECT_EQ(pSource->OutputPin(), pPeer);
    pPeer->Release();
    AM_MEDIA_TYPE mt;
    ASSERT_EQ(S_OK, pSink->InputPin()->ConnectionMediaType(&mt));
    EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Stream, mt.majortype));
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_None, mt.subtype));
    FreeMediaType(mt);
    // Each pin holds its peer's filter.
    EXPECT_REF(static_cast<IBaseFilter*>(pSource), 3);
    EXPECT_REF(static_cast<IBaseFilter*>(pSink), 3);

    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, pSource->OutputPin()->Connect(pSink->InputPin(), nullptr));
    EXPECT_EQ(S_OK, pGraph->DisconnectPair(pSink->InputPin()));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pSink->InputPin()->ConnectedTo(&pPeer));
    EXPECT_EQ(nullptr, pPeer);
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pSink->InputPin()->ConnectionMediaType(&mt));
    EXPECT_EQ(S_FALSE, pSink->InputPin()->Disconnect());
    EXPECT_REF(static_cast<IBaseFilter*>(pSource), 2);

    pGraph->Clear();
    EXPECT_EQ(0u, pGraph->Release());
    EXPECT_EQ(0u, pSource->Release());
    EXPECT_EQ(0u, pSink->Release());
}

// A type the sink refuses, a partial type matching none of the source's, a
// source not stopped: each refused with both pins left unconnected.
TEST(PinConnection, RefusedConnectionsLeaveBothPinsUnconnected)
{
    SinkOptions videoOnly;
    videoOnly.majortype = MEDIATYPE_Video;
    CHostAsyncSource* pSource = CHostAsyncSource::CreateFromMemory({1}, MEDIASUBTYPE_H264);
    CRecordingSink* pVideoSink = CRecordingSink::Create(videoOnly);
    CRecordingSink* pSink = CRecordingSink::Create();
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pSource->OutputPin()->Connect(pVideoSink->InputPin(), nullptr));
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Stream);
    mt.SetSubtype(&MEDIASUBTYPE_None);
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, pSource->OutputPin()->Connect(pSink->InputPin(), &mt));
    ASSERT_EQ(S_OK, pSource->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED, pSource->OutputPin()->Connect(pSink->InputPin(), nullptr));
    ASSERT_EQ(S_OK, pSource->Stop());
    IPin* pPeer = nullptr;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pSource->OutputPin()->ConnectedTo(&pPeer));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pVideoSink->InputPin()->ConnectedTo(&pPeer));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pSink->InputPin()->ConnectedTo(&pPeer));
    // The partial type that matches is taken.
    mt.SetSubtype(&MEDIASUBTYPE_H264);
    EXPECT_EQ(S_OK, pSource->OutputPin()->Connect(pSink->InputPin(), &mt));
    pSink->InputPin()->Disconnect();
    pSource->OutputPin()->Disconnect();
    EXPECT_EQ(0u, pSource->Release());
    EXPECT_EQ(0u, pVideoSink->Release());
    EXPECT_EQ(0u, pSink->Release());
}

TEST(PinConnection, PinPassesTheComChecklistAndDescribesItself)
{
    CHostAsyncSource* pSource = CHostAsyncSource::CreateFromMemory({1});
    IPin* pPin = pSource->OutputPin();
    CHECK_COM_IDENTITY(pPin, {IID_IPin, IID_IQualityControl, IID_IAsyncReader});
    EXPECT_REF(static_cast<IBaseFilter*>(pSource), 1);

    PIN_INFO info;
    ASSERT_EQ(S_OK, pPin->QueryPinInfo(&info));
    EXPECT_EQ(static_cast<IBaseFilter*>(pSource), info.pFilter);
    EXPECT_EQ(PINDIR_OUTPUT, info.dir);
    EXPECT_EQ("Output", ToUtf8(info.achName));
    info.pFilter->Release();
    LPWSTR pId = nullptr;
    ASSERT_EQ(S_OK, pPin->QueryId(&pId));
    EXPECT_EQ("Output", ToUtf8(pId));
    CoTaskMemFree(pId);

    IEnumMediaTypes* pEnum = nullptr;
    ASSERT_EQ(S_OK, pPin->EnumMediaTypes(&pEnum));
    AM_MEDIA_TYPE* apTypes[2] = {};
    ULONG cFetched = 0;
    EXPECT_EQ(S_FALSE, pEnum->Next(2, apTypes, &cFetched));
    ASSERT_EQ(1u, cFetched);
    EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Stream, apTypes[0]->majortype));
    EXPECT_EQ(S_OK, pPin->QueryAccept(apTypes[0]));
    apTypes[0]->majortype = MEDIATYPE_Video;
    EXPECT_EQ(S_FALSE, pPin->QueryAccept(apTypes[0]));
    DeleteMediaType(apTypes[0]);
    EXPECT_EQ(0u, pEnum->Release());

    // The segment of a pin that never got one.
    CBasePin* pBase = pSource->GetPin(0);
    EXPECT_EQ(0, pBase->CurrentStartTime());
    EXPECT_EQ(0x7FFFFFFFFFFFFFFFLL, pBase->CurrentStopTime());
    EXPECT_EQ(1.0, pBase->CurrentRate());
    EXPECT_EQ(0u, pSource->Release());
}

// --- CBaseOutputPin -------------------------------------------------------------

TEST_F(OutputPinTest, AlignmentZeroFromThePeerIsTakenAsOne)
{
    SinkOptions options;
    options.bHasRequirements = true;
    options.requirements = {0, 0, 0, 4};
    Build(options);
    ASSERT_EQ(S_OK, Connect());
    ASSERT_FALSE(m_pOut->m_pin.m_requests.empty());
    EXPECT_EQ(1, m_pOut->m_pin.m_requests[0].cbAlign);
    EXPECT_EQ(4, m_pOut->m_pin.m_requests[0].cbPrefix);
}

TEST_F(OutputPinTest, AllocatorRefusedByThePeerRefusesTheConnection)
{
    SinkOptions options;
    options.bProvideAllocator = true;
    options.hrNotifyAllocator = E_ACCESSDENIED;
    Build(options);
    EXPECT_EQ(E_ACCESSDENIED, Connect());
    EXPECT_EQ(2u, m_pOut->m_pin.m_requests.size()) << "the peer's allocator, then the memory allocator";
    EXPECT_FALSE(m_pOut->m_pin.IsConnected());
    EXPECT_EQ(nullptr, m_pOut->m_pin.Allocator());
}

TEST_F(OutputPinTest, UnconnectedPinHasNothingToDeliverTo)
{
    Build(SinkOptions());
    CTestOutputPin& pin = m_pOut->m_pin;
    IMediaSample* pSample = nullptr;
    EXPECT_EQ(E_NOINTERFACE, pin.GetDeliveryBuffer(&pSample, nullptr, nullptr, 0));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin.Deliver(nullptr));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin.DeliverEndOfStream());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin.DeliverBeginFlush());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin.DeliverEndFlush());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin.DeliverNewSegment(10, 20, 1.0));
    EXPECT_EQ(10, pin.CurrentStartTime());
    EXPECT_EQ(VFW_E_NO_ALLOCATOR, pin.Active());
    EXPECT_EQ(VFW_E_NO_ALLOCATOR, pin.Inactive());
}

TEST_F(OutputPinTest, PauseCommitsAndStopDecommitsTheAllocator)
{
    Build(SinkOptions());
    ASSERT_EQ(S_OK, Connect());
    CTestOutputPin& pin = m_pOut->m_pin;
    IMediaSample* pSample = nullptr;
    EXPECT_EQ(VFW_E_NOT_COMMITTED, pin.GetDeliveryBuffer(&pSample, nullptr, nullptr, 0));
    ASSERT_EQ(S_OK, m_pGraph->Pause());

    EXPECT_EQ(S_OK, pin.DeliverNewSegment(100, 900, 1.0));
    ASSERT_EQ(S_OK, pin.GetDeliveryBuffer(&pSample, nullptr, nullptr, 0));
    BYTE* pData = nullptr;
    pSample->GetPointer(&pData);
    pData[0] = 0xAB;
    pSample->SetActualDataLength(1);
    REFERENCE_TIME rtStart = 0, rtStop = 400000;
    pSample->SetTime(&rtStart, &rtStop);
    pSample->SetSyncPoint(TRUE);
    EXPECT_EQ(S_OK, pin.Deliver(pSample));
    pSample->Release();
    EXPECT_EQ(S_OK, pin.DeliverEndOfStream());

    std::vector<SinkEvent> events = m_pSink->Events();
    ASSERT_EQ(3u, events.size());
    EXPECT_EQ(SinkEvent::NewSegment, events[0].kind);
    EXPECT_EQ(100, events[0].rtStart);
    EXPECT_EQ(900, events[0].rtStop);
    EXPECT_EQ(SinkEvent::Sample, events[1].kind);
    EXPECT_EQ(SinkEvent::EndOfStream, events[2].kind);
    std::vector<SampleRecord> samples = m_pSink->Samples();
    ASSERT_EQ(1u, samples.size());
    EXPECT_EQ(std::vector<uint8_t>{0xAB}, samples[0].bytes);
    EXPECT_EQ(400000, samples[0].rtStop);
    EXPECT_TRUE(samples[0].bSyncPoint);
    EXPECT_EQ(100, pin.CurrentStartTime());

    ASSERT_EQ(S_OK, m_pGraph->Stop());
    EXPECT_EQ(VFW_E_NOT_COMMITTED, pin.GetDeliveryBuffer(&pSample, nullptr, nullptr, 0));
}
