// The demux output pin: the one media type it offers and accepts, the
// allocator it asks for, what an unusable track does to its construction,
// and what it passes downstream.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "asyncsource.h"
#include "comtest.h"
#include "debugcapture.h"
#include "demuxfilter.h"
#include "demuxoutputpin.h"
#include "fixturefacts.h"
#include "hostgraph.h"
#include "movie.h"
#include "moviebuilder.h"
#include "movietestaccess.h"
#include "moviesampledesc.h"
#include "moviesampletables.h"
#include "movietrack.h"
#include "recordingsink.h"
#include "testhooks.h"
#include "testsources.h"

using namespace testmovie;

namespace {

// A source and the demux in a graph, connected; sinks added on demand.
class DemuxOutputPinTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_lObjectsAtStart = CBaseObject::ObjectsActive();
        m_lTaskMemAtStart = platformtest::CoTaskMemLiveBlocks();
        m_pGraph = CHostGraph::Create();
        ASSERT_NE(nullptr, m_pGraph);
        HRESULT hr = E_FAIL;
        m_pDemux = static_cast<CDemuxFilter*>(CDemuxFilter::CreateInstance(nullptr, &hr));
        ASSERT_NE(nullptr, m_pDemux);
        m_pDemux->AddRef();
        ASSERT_EQ(S_OK, m_pGraph->AddFilter(m_pDemux, L"demux"));
    }

    void TearDown() override
    {
        m_pGraph->Clear();
        ReleaseSource();
        for (CRecordingSink* pSink : m_sinks) EXPECT_EQ(0u, pSink->Release());
        EXPECT_EQ(0u, m_pDemux->Release());
        EXPECT_EQ(0u, m_pGraph->Release());
        EXPECT_EQ(m_lObjectsAtStart, CBaseObject::ObjectsActive());
        EXPECT_EQ(m_lTaskMemAtStart, platformtest::CoTaskMemLiveBlocks());
    }

    void ReleaseSource()
    {
        if (m_pSource == nullptr) return;
        m_pGraph->RemoveFilter(m_pSource);
        EXPECT_EQ(0u, m_pSource->Release());
        m_pSource = nullptr;
    }

    void Open(CHostAsyncSource* pSource)
    {
        ASSERT_NE(nullptr, pSource);
        if (m_pSource) {
            m_pGraph->DisconnectPair(m_pDemux->GetPin(0));
            ReleaseSource();
        }
        m_pSource = pSource;
        ASSERT_EQ(S_OK, m_pGraph->AddFilter(m_pSource, L"source"));
        ASSERT_EQ(S_OK, m_pGraph->ConnectDirect(m_pSource->OutputPin(), m_pDemux->GetPin(0), nullptr));
    }
    void OpenFixture(const std::string& name) { Open(CHostAsyncSource::CreateFromFile(FixturePath(name))); }

    CDemuxOutputPin* Pin(int n) { return static_cast<CDemuxOutputPin*>(m_pDemux->GetPin(n)); }

    CRecordingSink* ConnectSink(int n, const SinkOptions& options = SinkOptions(), HRESULT hrExpected = S_OK)
    {
        CRecordingSink* pSink = CRecordingSink::Create(options);
        EXPECT_NE(nullptr, pSink);
        m_sinks.push_back(pSink);
        EXPECT_EQ(S_OK, m_pGraph->AddFilter(pSink, L"sink"));
        EXPECT_EQ(hrExpected, m_pGraph->ConnectDirect(Pin(n), pSink->InputPin(), nullptr));
        return pSink;
    }

    DebugCapture m_debug;  // keeps the AAC detection's lines off the console
    CHostGraph* m_pGraph = nullptr;
    CDemuxFilter* m_pDemux = nullptr;
    CHostAsyncSource* m_pSource = nullptr;
    std::vector<CRecordingSink*> m_sinks;
    long m_lObjectsAtStart = 0;
    long m_lTaskMemAtStart = 0;
};

void ExpectTypeAgreesWithFacts(const TrackFacts& facts, const CMediaType& mt)
{
    static const std::map<std::string, const GUID*> subtypes = {
        {"avc1", &MEDIASUBTYPE_H264},   {"mp4v", &MEDIASUBTYPE_MP4V},   {"s263", &MEDIASUBTYPE_H263},
        {"mjpg", &MEDIASUBTYPE_MJPG},   {"samr", &MEDIASUBTYPE_AMR_NB}, {"sawb", &MEDIASUBTYPE_AMR_WB},
        {"mp4a", &MEDIASUBTYPE_MPEG4_AAC}};
    ASSERT_EQ(1u, subtypes.count(facts.tag)) << facts.tag;
    EXPECT_TRUE(IsEqualGUID(*subtypes.at(facts.tag), mt.subtype));
    if (facts.type == "video") {
        ASSERT_TRUE(IsEqualGUID(MEDIATYPE_Video, mt.majortype));
        ASSERT_GE(mt.FormatLength(), 88u);
        EXPECT_EQ(static_cast<uint32_t>(*facts.width), Le32(mt.Format() + 8));
        EXPECT_EQ(static_cast<uint32_t>(*facts.height), Le32(mt.Format() + 12));
        return;
    }
    ASSERT_TRUE(IsEqualGUID(MEDIATYPE_Audio, mt.majortype));
    if (facts.tag != "mp4a") return;
    ASSERT_EQ(12u, mt.FormatLength());
    EXPECT_EQ(static_cast<uint32_t>(*facts.sampleRate), Le32(mt.Format()));
    EXPECT_EQ(*facts.channels, mt.Format()[6]);
    // Every AAC fixture is AAC-LC: no SBR, no parametric stereo, settled
    // either by the configuration or by the detection.
    EXPECT_EQ(0, mt.Format()[7]);
    EXPECT_EQ(0, mt.Format()[8]);
}

uint32_t LargestSample(const TrackFacts& facts)
{
    uint32_t cbMax = 0;
    for (const PacketFacts& packet : facts.packets) cbMax = std::max(cbMax, packet.size);
    return cbMax;
}

DWORD ConfigBytes(CDemuxOutputPin* pPin)
{
    return pPin->Track()->GetSampleDescription()->GetConfigLength();
}

}  // namespace

// --- media types --------------------------------------------------------------

TEST_F(DemuxOutputPinTest, OffersExactlyTheTrackTypeOfEveryFixture)
{
    for (const std::string& name : ListFixtures()) {
        SCOPED_TRACE(name);
        FixtureFacts facts = LoadFixtureFacts(name);
        OpenFixture(name);
        int n = 1;
        for (const char* kind : {"video", "audio"}) {
            const TrackFacts* pFacts = facts.FirstTrack(kind);
            if (pFacts == nullptr) continue;
            SCOPED_TRACE(kind);
            CDemuxOutputPin* pPin = Pin(n++);
            ASSERT_NE(nullptr, pPin);
            CMediaType mt;
            ASSERT_EQ(S_OK, pPin->GetMediaType(0, &mt));
            EXPECT_TRUE(mt == pPin->TrackMediaType());
            ExpectTypeAgreesWithFacts(*pFacts, mt);
            EXPECT_EQ(VFW_S_NO_MORE_ITEMS, pPin->GetMediaType(1, &mt));

            ASSERT_EQ(S_OK, pPin->GetMediaType(0, &mt));
            EXPECT_EQ(S_OK, pPin->CheckMediaType(&mt));
            // Same major type and subtype, one format byte different.
            mt.Format()[mt.FormatLength() - 1] ^= 0x01;
            EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pPin->CheckMediaType(&mt));
        }
        EXPECT_EQ(n, m_pDemux->GetPinCount());
    }
}

TEST_F(DemuxOutputPinTest, ExposesSeekingBesidesThePinInterfaces)
{
    OpenFixture("h263-amrnb.3gp");
    CHECK_COM_IDENTITY(static_cast<IPin*>(Pin(1)), {IID_IUnknown, IID_IPin, IID_IQualityControl, IID_IMediaSeeking});
    // The pin's count is the filter's: the graph, this test and the
    // upstream pin connected to the input hold it.
    EXPECT_REF(static_cast<IPin*>(Pin(1)), 3);
    IMediaSeeking* pSeeking = nullptr;
    ASSERT_EQ(S_OK, Pin(2)->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&pSeeking)));
    EXPECT_REF(static_cast<IBaseFilter*>(m_pDemux), 4);
    pSeeking->Release();
    EXPECT_REF(static_cast<IBaseFilter*>(m_pDemux), 3);
    EXPECT_EQ(E_NOTIMPL, Pin(1)->Notify(m_pDemux, Quality()));
}

// --- allocator -------------------------------------------------------------------

TEST_F(DemuxOutputPinTest, NegotiatesFourBuffersOfTheLargestSampleOrTenAmrFramesAndConfigurationAlignedTo128)
{
    SinkOptions options;
    options.bProvideAllocator = true;
    options.bHasRequirements = true;
    options.requirements = {1, 1, 1, 16};  // only the prefix is kept
    for (const std::string& name : ListFixtures()) {
        SCOPED_TRACE(name);
        FixtureFacts facts = LoadFixtureFacts(name);
        OpenFixture(name);
        int n = 1;
        for (const char* kind : {"video", "audio"}) {
            const TrackFacts* pFacts = facts.FirstTrack(kind);
            if (pFacts == nullptr) continue;
            SCOPED_TRACE(kind);
            CDemuxOutputPin* pPin = Pin(n++);
            CRecordingSink* pSink = ConnectSink(n - 1, options);
            ASSERT_TRUE(pSink->NotifiedOwnAllocator());
            ALLOCATOR_PROPERTIES props;
            ASSERT_EQ(S_OK, pSink->NotifiedAllocator()->GetProperties(&props));
            // AMR buffers hold ten of the codec's largest frames (32 and 61 bytes) at least.
            const long cbTenFrames = pFacts->codec == "amr_nb" ? 320 : pFacts->codec == "amr_wb" ? 610 : 0;
            const long cbWanted =
                std::max(static_cast<long>(LargestSample(*pFacts)), cbTenFrames) + static_cast<long>(ConfigBytes(pPin));
            EXPECT_EQ(4, props.cBuffers);
            EXPECT_EQ(128, props.cbAlign);
            EXPECT_EQ(16, props.cbPrefix);
            // The allocator rounds prefix and buffer up to whole alignment units.
            EXPECT_EQ((cbWanted + 16 + 127) / 128 * 128 - 16, props.cbBuffer) << cbWanted;
            if (std::string(kind) == "video" && pFacts->tag != "s263" && pFacts->tag != "mjpg") {
                EXPECT_GT(ConfigBytes(pPin), 0u);
            }
        }
        m_pGraph->Clear();
        m_pGraph->AddFilter(m_pDemux, L"demux");
        for (CRecordingSink* pSink : m_sinks) EXPECT_EQ(0u, pSink->Release());
        m_sinks.clear();
        EXPECT_EQ(0u, m_pSource->Release());
        m_pSource = nullptr;
    }
}

// A size table claiming a sample near 4 GiB is refused, not wrapped to a
// small buffer that every read would overflow.
TEST_F(DemuxOutputPinTest, RefusesABufferSizeThatWouldWrap)
{
    MovieLayout layout;
    layout.duration = 300;
    TrackLayout track;
    track.samples = PatternSamples({100, 5000, 200});
    layout.tracks = {track};
    Open(CHostAsyncSource::CreateFromMemory(BuildMovie(layout).bytes));
    CDemuxOutputPin* pPin = Pin(1);
    ASSERT_NE(nullptr, pPin);
    IMemAllocator* pAlloc = nullptr;
    ASSERT_EQ(S_OK, CreateMemoryAllocator(&pAlloc));
    ALLOCATOR_PROPERTIES request = {1, 1, 1, 8};
    MovieTestAccess::SetConfigLength(*pPin->Track()->GetSampleDescription(), 0xFFFFFFF0u);
    EXPECT_EQ(E_OUTOFMEMORY, pPin->DecideBufferSize(pAlloc, &request));
    MovieTestAccess::SetConfigLength(*pPin->Track()->GetSampleDescription(), 0);
    EXPECT_EQ(0u, pAlloc->Release());
}

// A size table may claim a sample larger than the whole file (fuzzing found
// one of 32 MB in a 58 KB file): the request stops at the stream's length,
// and the AMR loop's ten-sample buffer with it.
TEST_F(DemuxOutputPinTest, NeverAsksForMoreThanTheWholeStream)
{
    MovieLayout layout;
    layout.duration = 300;
    TrackLayout track;
    track.kind = TrackLayout::Audio;
    track.samples = PatternSamples({100, 5000, 200});
    track.omit = {"stsz"};
    track.extraStblChildren = StszBox(0, {100, 0x2000000, 200});
    layout.tracks = {track};
    const std::vector<uint8_t> bytes = BuildMovie(layout).bytes;
    Open(CHostAsyncSource::CreateFromMemory(bytes));
    CDemuxOutputPin* pPin = Pin(1);
    ASSERT_NE(nullptr, pPin);
    EXPECT_EQ(0x2000000u, pPin->Track()->GetSampleSizeBox()->GetMaxSampleSize());
    EXPECT_EQ(bytes.size(), pPin->Track()->GetLargestReadableSample());

    IMemAllocator* pAlloc = nullptr;
    ASSERT_EQ(S_OK, CreateMemoryAllocator(&pAlloc));
    ALLOCATOR_PROPERTIES request = {1, 1, 1, 0};
    EXPECT_EQ(S_OK, pPin->DecideBufferSize(pAlloc, &request));
    EXPECT_EQ(static_cast<long>(bytes.size() + ConfigBytes(pPin)), request.cbBuffer);
    EXPECT_EQ(0u, pAlloc->Release());
}

// --- construction ------------------------------------------------------------------

TEST_F(DemuxOutputPinTest, ConstructionReportsTracksItCannotDeliver)
{
    OpenFixture("h263-amrnb.3gp");
    CMovieTrack* pTrack = Pin(1)->Track();
    CMediaType* pTrackType = MovieTestAccess::MediaType(*pTrack->GetSampleDescription());
    const GUID subtype = pTrackType->subtype;
    CCritSec lock;

    auto construct = [&](HRESULT hrExpected) {
        HRESULT hr = S_OK;
        CDemuxOutputPin* pPin = new CDemuxOutputPin(pTrack, m_pDemux, &lock, L"out", &hr);
        EXPECT_EQ(hrExpected, hr);
        delete pPin;
    };
    construct(S_OK);
    pTrackType->subtype = MEDIASUBTYPE_AMR_NB;  // an audio subtype under the video major type
    construct(VFW_E_TYPE_NOT_ACCEPTED);
    pTrackType->subtype = MEDIASUBTYPE_None;
    construct(VFW_E_TYPE_NOT_ACCEPTED);
    pTrackType->subtype = subtype;

    CSampleDescriptionBox* pDesc = pTrack->GetSampleDescription();
    MovieTestAccess::SampleDescription(*pTrack) = nullptr;
    construct(E_FAIL);
    MovieTestAccess::SampleDescription(*pTrack) = pDesc;
}

// --- state and calls downstream ----------------------------------------------------

TEST_F(DemuxOutputPinTest, AnUnconnectedPinStartsNothingAndPassesNothingOn)
{
    OpenFixture("mjpeg.mov");
    CDemuxOutputPin* pPin = Pin(1);
    EXPECT_EQ(S_OK, pPin->Active());
    EXPECT_FALSE(pPin->ThreadExists());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pPin->DeliverEndOfStream());
    EXPECT_EQ(0, pPin->IsEndOfStreamSent());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pPin->DeliverBeginFlush());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pPin->DeliverEndFlush());
    // The graph pauses and stops the filter with the output unconnected.
    EXPECT_EQ(S_OK, m_pGraph->Pause());
    EXPECT_FALSE(pPin->ThreadExists());
    EXPECT_EQ(S_OK, m_pGraph->Stop());
}

TEST_F(DemuxOutputPinTest, PassesEndOfStreamAndFlushesToTheConnectedPin)
{
    OpenFixture("h263-amrnb.3gp");
    CRecordingSink* pVideo = ConnectSink(1);
    CRecordingSink* pAudio = ConnectSink(2);
    EXPECT_EQ(S_OK, Pin(1)->DeliverEndOfStream());
    EXPECT_EQ(1, Pin(1)->IsEndOfStreamSent());
    EXPECT_EQ(1, pVideo->EndOfStreamCount());
    EXPECT_EQ(0, pAudio->EndOfStreamCount());

    // A flush arriving at the input pin reaches every output's downstream.
    EXPECT_EQ(S_OK, m_pDemux->GetPin(0)->BeginFlush());
    EXPECT_EQ(S_OK, m_pDemux->GetPin(0)->EndFlush());
    for (CRecordingSink* pSink : {pVideo, pAudio}) {
        std::vector<SinkEvent> events = pSink->Events();
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(SinkEvent::BeginFlush, events[events.size() - 2].kind);
        EXPECT_EQ(SinkEvent::EndFlush, events.back().kind);
    }
}

TEST_F(DemuxOutputPinTest, PauseStartsAWorkerPerConnectedPinAndStopEndsItWithOneEndOfStream)
{
    OpenFixture("h263-amrnb.3gp");
    CRecordingSink* pVideo = ConnectSink(1);
    const long lHandles = platformtest::LiveKernelHandles();
    ASSERT_EQ(S_OK, m_pGraph->Pause());
    EXPECT_TRUE(Pin(1)->ThreadExists());
    EXPECT_FALSE(Pin(2)->ThreadExists());  // its output is not connected
    ASSERT_EQ(S_OK, m_pGraph->Stop());
    EXPECT_FALSE(Pin(1)->ThreadExists());
    EXPECT_EQ(1, pVideo->EndOfStreamCount());
    EXPECT_EQ(0, Pin(1)->IsConfigSent());
    EXPECT_EQ(lHandles, platformtest::LiveKernelHandles());
}
