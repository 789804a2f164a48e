// The demux output pin: the one media type it offers and accepts, the
// allocator it asks for, what an unusable track does to its construction,
// and what it passes downstream.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "comtest.h"
#include "debugcapture.h"
#include "demuxplayback.h"
#include "fixturefacts.h"
#include "movie.h"
#include "moviebuilder.h"
#include "movietestaccess.h"
#include "moviesampledesc.h"
#include "moviesampletables.h"
#include "movietrack.h"
#include "testhooks.h"

using namespace testmovie;

namespace {

// Keeps the AAC detection's lines off the console.
class DemuxOutputPinTest : public testing::Test {
    DebugCapture m_debug;
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

DWORD ConfigBytes(CDemuxOutputPin* pPin)
{
    return pPin->Track()->GetSampleDescription()->GetConfigLength();
}

// The pin's answer to an allocator asking for one byte, as the pin sets it.
HRESULT DecideBuffer(CDemuxOutputPin* pPin, long* pcbBuffer)
{
    IMemAllocator* pAlloc = nullptr;
    EXPECT_EQ(S_OK, CreateMemoryAllocator(&pAlloc));
    ALLOCATOR_PROPERTIES request = {1, 1, 1, 0};
    HRESULT hr = pPin->DecideBufferSize(pAlloc, &request);
    *pcbBuffer = request.cbBuffer;
    EXPECT_EQ(0u, pAlloc->Release());
    return hr;
}

}  // namespace

// --- every fixture -------------------------------------------------------------

// One pin for the first video track and one for the first audio track, video
// first, each offering its track's type and four buffers of its largest
// sample; played, each pin has one segment first and one end-of-stream last;
// parting the input takes the pins from their sinks.
TEST_F(DemuxOutputPinTest, EveryFixtureConnectsWithItsTracksTypesAndBuffersAndPlaysOnce)
{
    SinkOptions options;
    options.bProvideAllocator = true;
    options.bHasRequirements = true;
    options.requirements = {1, 1, 1, 16};  // only the prefix is kept
    for (const std::string& name : ListFixtures()) {
        SCOPED_TRACE(name);
        FixtureFacts facts = LoadFixtureFacts(name);
        DemuxPlayback play;
        ASSERT_EQ(S_OK, play.OpenFixture(name, options));
        size_t n = 0;
        for (const char* kind : {"video", "audio"}) {
            const TrackFacts* pFacts = facts.FirstTrack(kind);
            if (pFacts == nullptr) continue;
            SCOPED_TRACE(kind);
            ASSERT_LT(n, play.OutputPinCount());
            CDemuxOutputPin* pPin = play.OutputPin(n);
            CRecordingSink* pSink = play.Sink(n++);
            PIN_INFO info;
            ASSERT_EQ(S_OK, pPin->QueryPinInfo(&info));
            EXPECT_EQ("out", ToUtf8(info.achName));
            EXPECT_EQ(PINDIR_OUTPUT, info.dir);
            info.pFilter->Release();
            CMediaType mt;
            ASSERT_EQ(S_OK, pPin->GetMediaType(0, &mt));
            EXPECT_TRUE(mt == pPin->TrackMediaType());
            ExpectTypeAgreesWithFacts(*pFacts, mt);
            EXPECT_EQ(VFW_S_NO_MORE_ITEMS, pPin->GetMediaType(1, &mt));
            EXPECT_EQ(S_OK, pPin->CheckMediaType(&mt));
            // Same major type and subtype, one format byte different.
            mt.Format()[mt.FormatLength() - 1] ^= 0x01;
            EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pPin->CheckMediaType(&mt));

            ASSERT_TRUE(pSink->NotifiedOwnAllocator());
            ALLOCATOR_PROPERTIES props;
            ASSERT_EQ(S_OK, pSink->NotifiedAllocator()->GetProperties(&props));
            uint32_t cbLargest = 0;
            for (const PacketFacts& packet : pFacts->packets) cbLargest = std::max(cbLargest, packet.size);
            // AMR buffers hold ten of the codec's largest frames (32 and 61 bytes) at least.
            const long cbTenFrames = pFacts->codec == "amr_nb" ? 320 : pFacts->codec == "amr_wb" ? 610 : 0;
            const long cbWanted = std::max(static_cast<long>(cbLargest), cbTenFrames) + long(ConfigBytes(pPin));
            EXPECT_EQ(4, props.cBuffers);
            EXPECT_EQ(128, props.cbAlign);
            EXPECT_EQ(16, props.cbPrefix);
            // The allocator rounds prefix and buffer up to whole alignment units.
            EXPECT_EQ((cbWanted + 16 + 127) / 128 * 128 - 16, props.cbBuffer) << cbWanted;
            if (std::string(kind) == "video" && pFacts->tag != "s263" && pFacts->tag != "mjpg") {
                EXPECT_GT(ConfigBytes(pPin), 0u);
            }
        }
        EXPECT_EQ(n, play.OutputPinCount());
        REFERENCE_TIME rtStart = -1, rtStop = -1;
        play.Filter()->ReadPositions(&rtStart, &rtStop, nullptr);
        EXPECT_EQ(0, rtStart);
        EXPECT_EQ(play.Filter()->GetMovie()->GetDuration(), rtStop);
        EXPECT_GT(rtStop, 0);

        ASSERT_TRUE(play.PlayToEnd()) << "every pin reaches end-of-stream";
        ASSERT_EQ(S_OK, play.Graph()->Stop());
        for (size_t i = 0; i < n; ++i) {
            std::vector<SinkEvent> events = play.Sink(i)->Events();
            EXPECT_EQ(1, play.Sink(i)->EndOfStreamCount()) << "pin " << i;
            EXPECT_EQ(1, std::count_if(events.begin(), events.end(),
                                       [](const SinkEvent& e) { return e.kind == SinkEvent::NewSegment; }));
            EXPECT_EQ(SinkEvent::NewSegment, events.front().kind) << "the segment comes first";
            EXPECT_EQ(1.0, events.front().dRate);
            EXPECT_EQ(SinkEvent::EndOfStream, events.back().kind) << "end-of-stream comes last";
        }
        ASSERT_EQ(S_OK, play.DisconnectInput());
        EXPECT_EQ(1, play.Filter()->GetPinCount());
        EXPECT_EQ(nullptr, play.Filter()->GetMovie());
        for (size_t i = 0; i < n; ++i) {
            IPin* pPeer = nullptr;
            EXPECT_EQ(VFW_E_NOT_CONNECTED, play.Sink(i)->InputPin()->ConnectedTo(&pPeer));
        }
    }
}

// A size table may claim a sample larger than the whole file (fuzzing found
// one of 32 MB in a 58 KB file): the request stops at the stream's length,
// and the AMR loop's ten-sample buffer with it. A claim near 4 GiB is
// refused, not wrapped to a small buffer that every read would overflow.
TEST_F(DemuxOutputPinTest, NeverAsksForMoreThanTheWholeStreamNorWrapsTheSize)
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
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenBytes(bytes));
    CDemuxOutputPin* pPin = play.OutputPin(0);
    ASSERT_NE(nullptr, pPin);
    EXPECT_EQ(0x2000000u, pPin->Track()->GetSampleSizeBox()->GetMaxSampleSize());
    EXPECT_EQ(bytes.size(), pPin->Track()->GetLargestReadableSample());
    long cbBuffer = 0;
    EXPECT_EQ(S_OK, DecideBuffer(pPin, &cbBuffer));
    EXPECT_EQ(static_cast<long>(bytes.size() + ConfigBytes(pPin)), cbBuffer);

    const DWORD cbConfig = ConfigBytes(pPin);
    MovieTestAccess::SetConfigLength(*pPin->Track()->GetSampleDescription(), 0xFFFFFFF0u);
    EXPECT_EQ(E_OUTOFMEMORY, DecideBuffer(pPin, &cbBuffer));
    MovieTestAccess::SetConfigLength(*pPin->Track()->GetSampleDescription(), cbConfig);
}

// --- construction and identity ----------------------------------------------------

TEST_F(DemuxOutputPinTest, ExposesSeekingAndReportsTracksItCannotDeliver)
{
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("h263-amrnb.3gp"));
    CDemuxOutputPin* pVideo = play.OutputPin(0);
    CHECK_COM_IDENTITY(static_cast<IPin*>(pVideo), {IID_IUnknown, IID_IPin, IID_IQualityControl, IID_IMediaSeeking});
    // The pin's count is the filter's: the graph, the playback, the upstream
    // pin and the two sinks' pins hold it.
    EXPECT_REF(static_cast<IPin*>(pVideo), 5);
    IMediaSeeking* pSeeking = play.Seeking(1);
    EXPECT_REF(static_cast<IBaseFilter*>(play.Filter()), 6);
    pSeeking->Release();
    EXPECT_EQ(E_NOTIMPL, pVideo->Notify(play.Filter(), Quality()));

    CMovieTrack* pTrack = pVideo->Track();
    CMediaType* pTrackType = MovieTestAccess::MediaType(*pTrack->GetSampleDescription());
    const GUID subtype = pTrackType->subtype;
    CCritSec lock;
    auto construct = [&](HRESULT hrExpected) {
        HRESULT hr = S_OK;
        delete new CDemuxOutputPin(pTrack, play.Filter(), &lock, L"out", &hr);
        EXPECT_EQ(hrExpected, hr);
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

TEST_F(DemuxOutputPinTest, PassesEndOfStreamAndFlushesToTheConnectedPin)
{
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("h263-amrnb.3gp"));
    EXPECT_EQ(S_OK, play.OutputPin(0)->DeliverEndOfStream());
    EXPECT_EQ(1, play.OutputPin(0)->IsEndOfStreamSent());
    EXPECT_EQ(1, play.Sink(0)->EndOfStreamCount());
    EXPECT_EQ(0, play.Sink(1)->EndOfStreamCount());

    // A flush arriving at the input pin reaches every output's downstream.
    EXPECT_EQ(S_OK, play.Filter()->GetPin(0)->BeginFlush());
    EXPECT_EQ(S_OK, play.Filter()->GetPin(0)->EndFlush());
    for (size_t i = 0; i < 2; ++i) {
        std::vector<SinkEvent> events = play.Sink(i)->Events();
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(SinkEvent::BeginFlush, events[events.size() - 2].kind);
        EXPECT_EQ(SinkEvent::EndFlush, events.back().kind);
    }
}

// An unconnected pin starts no worker and passes nothing on; Stop ends the
// connected one's worker with one end-of-stream and no handle left.
TEST_F(DemuxOutputPinTest, PauseStartsAWorkerPerConnectedPinAndStopEndsItWithOneEndOfStream)
{
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("h263-amrnb.3gp"));
    ASSERT_EQ(S_OK, play.DisconnectOutput(1));
    CDemuxOutputPin* pVideo = play.OutputPin(0);
    CDemuxOutputPin* pAudio = play.OutputPin(1);
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pAudio->DeliverEndOfStream());
    EXPECT_EQ(0, pAudio->IsEndOfStreamSent());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pAudio->DeliverBeginFlush());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pAudio->DeliverEndFlush());
    const long lHandles = platformtest::LiveKernelHandles();
    ASSERT_EQ(S_OK, play.Graph()->Pause());
    EXPECT_TRUE(pVideo->ThreadExists());
    EXPECT_FALSE(pAudio->ThreadExists());
    ASSERT_EQ(S_OK, play.Graph()->Stop());
    EXPECT_FALSE(pVideo->ThreadExists());
    EXPECT_EQ(1, play.Sink(0)->EndOfStreamCount());
    EXPECT_EQ(0, pVideo->IsConfigSent());
    EXPECT_EQ(lHandles, platformtest::LiveKernelHandles());
}
