// The demux filter and its input pin: which streams are accepted, which pins
// a connection builds, what a refused or broken connection leaves behind,
// and the movie's title and author.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comtest.h"
#include "debugcapture.h"
#include "demuxinputpin.h"
#include "demuxplayback.h"
#include "fixturefacts.h"
#include "movie.h"
#include "moviesampletables.h"
#include "moviebuilder.h"
#include "movietrack.h"
#include "testfilters.h"
#include "testhooks.h"
#include "testsources.h"

using namespace testmovie;

namespace {

// Each test's playback checks its objects and references; this adds the
// task memory and keeps the parser's lines off the console.
class DemuxFilterTest : public testing::Test {
protected:
    void SetUp() override { m_lTaskMemAtStart = platformtest::CoTaskMemLiveBlocks(); }
    void TearDown() override { EXPECT_EQ(m_lTaskMemAtStart, platformtest::CoTaskMemLiveBlocks()); }
    DebugCapture m_debug;
    long m_lTaskMemAtStart = 0;
};

IPin* Input(DemuxPlayback& play)
{
    return play.Filter()->GetPin(0);
}

// One connection attempt with the stream type, answered by the input pin
// itself: its result is exactly what opening the movie gave. Through the
// graph a failed attempt would be tried again with the next type.
HRESULT ReceiveFrom(DemuxPlayback& play, IPin* pUpstream)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Stream);
    mt.SetSubtype(&MEDIASUBTYPE_None);
    return Input(play)->ReceiveConnection(pUpstream, &mt);
}

// Joins a second source to the graph (which then owns it) and connects it.
HRESULT ConnectAnother(DemuxPlayback& play, CHostAsyncSource* pSource)
{
    play.Graph()->AddFilter(pSource, L"another source");
    pSource->Release();
    return play.Graph()->ConnectDirect(pSource->OutputPin(), Input(play), nullptr);
}

void ExpectNoOutputPins(DemuxPlayback& play)
{
    EXPECT_EQ(1, play.Filter()->GetPinCount());
    EXPECT_EQ(nullptr, play.Filter()->GetPin(1));
    EXPECT_EQ(nullptr, play.Filter()->GetMovie());
}

// A track of n samples: H.263 video, or AMR audio with one 12.2 kbit/s
// storage-format frame (header 0x3C and 31 bytes) to a sample.
TrackLayout Track(TrackLayout::Kind kind, size_t nSamples = 5)
{
    TrackLayout track;
    track.kind = kind;
    track.samples = PatternSamples(std::vector<uint32_t>(nSamples, 40));
    if (kind == TrackLayout::Audio) {
        track.timeScale = 8000;
        track.defaultDelta = 160;
        std::vector<uint8_t> frame(32, 0x55);
        frame[0] = 0x3C;
        track.samples.assign(nSamples, frame);
    }
    return track;
}

// The track with its samples gone but its duration kept, as in the "moov"
// of a fragmented file.
TrackLayout EmptyTrack(TrackLayout::Kind kind)
{
    TrackLayout track = Track(kind);
    track.mediaDuration = static_cast<uint64_t>(track.samples.size()) * track.defaultDelta;
    track.samples.clear();
    return track;
}

// A video track of a codec this filter does not deliver.
TrackLayout UnsupportedVideoTrack()
{
    testbox::Bytes payload;
    payload.zeros(6).u16(1).zeros(16).u16(64).u16(48).u32(0x00480000).u32(0x00480000).u32(0).u16(1).zeros(32)
        .u16(24).u16(0xFFFF);
    TrackLayout track = Track(TrackLayout::Video);
    track.sampleEntry = testbox::Box("hvc1", payload);
    return track;
}

std::vector<uint8_t> Movie(const std::vector<TrackLayout>& tracks)
{
    MovieLayout layout;
    layout.duration = 500;
    layout.tracks = tracks;
    return BuildMovie(layout).bytes;
}

}  // namespace

// --- creation and the pin set -------------------------------------------------

TEST_F(DemuxFilterTest, StartsWithTheInputPinOnlyAndObeysComIdentity)
{
    DemuxPlayback play;
    CDemuxFilter* pDemux = play.Filter();
    EXPECT_EQ(nullptr, pDemux->GetPin(-1));
    PIN_INFO info;
    ASSERT_EQ(S_OK, Input(play)->QueryPinInfo(&info));
    EXPECT_EQ("Input", ToUtf8(info.achName));
    EXPECT_EQ(PINDIR_INPUT, info.dir);
    info.pFilter->Release();

    EXPECT_EQ(0x47454E46u, pDemux->GetCreatorTag());
    // The position state before any movie: nothing to stop at yet.
    REFERENCE_TIME rtStart = 1, rtStop = 1;
    double dRate = 0;
    pDemux->ReadPositions(&rtStart, &rtStop, &dRate);
    EXPECT_EQ(0, rtStart);
    EXPECT_EQ(-1, rtStop);
    EXPECT_EQ(1.0, dRate);

    CHECK_COM_IDENTITY(static_cast<IBaseFilter*>(pDemux), {IID_IUnknown, IID_IBaseFilter, IID_IMediaFilter,
                                                           IID_IPersist, IID_IAMovieSetup, IID_IAMMediaContent});
    CHECK_COM_IDENTITY(Input(play), {IID_IUnknown, IID_IPin, IID_IQualityControl});
    // The graph holds one reference, the playback the other; the pin's count is the filter's.
    EXPECT_REF(static_cast<IBaseFilter*>(pDemux), 2);
    EXPECT_REF(Input(play), 2);
}

TEST_F(DemuxFilterTest, InputPinOffersAndAcceptsTheSixStreamTypes)
{
    DemuxPlayback play;
    auto* pInput = static_cast<CDemuxInputPin*>(Input(play));
    CMediaType mt;
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(S_OK, pInput->GetMediaType(i, &mt)) << i;
        EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Stream, mt.majortype));
        EXPECT_EQ(S_OK, pInput->CheckMediaType(&mt)) << i;
        // The format type is not looked at.
        mt.SetFormatType(&FORMAT_VideoInfo);
        EXPECT_EQ(S_OK, pInput->CheckMediaType(&mt)) << i;
    }
    EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_None, mt.subtype));  // the last row
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, pInput->GetMediaType(6, &mt));
    EXPECT_EQ(VFW_S_NO_MORE_ITEMS, pInput->GetMediaType(-1, &mt));

    mt.SetSubtype(&MEDIASUBTYPE_H264);
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pInput->CheckMediaType(&mt));
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&MEDIASUBTYPE_None);
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pInput->CheckMediaType(&mt));
}

// --- connecting real movies ------------------------------------------------------

TEST_F(DemuxFilterTest, ReconnectingToAnotherFileResetsPositionsAndKeepsTheRate)
{
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("h263-amrnb.3gp"));
    CDemuxFilter* pDemux = play.Filter();
    const REFERENCE_TIME rtFirst = pDemux->GetMovie()->GetDuration();
    pDemux->SetStopPosition(1234);
    pDemux->SetRateValue(2.0);
    ASSERT_EQ(S_OK, play.DisconnectInput());

    ASSERT_EQ(S_OK, ConnectAnother(play, CHostAsyncSource::CreateFromFile(FixturePath("mjpeg.mov"))));
    ASSERT_EQ(2, pDemux->GetPinCount());
    REFERENCE_TIME rtStart = -1, rtStop = -1;
    double dRate = 0;
    pDemux->ReadPositions(&rtStart, &rtStop, &dRate);
    EXPECT_EQ(0, rtStart);
    EXPECT_EQ(pDemux->GetMovie()->GetDuration(), rtStop);
    EXPECT_NE(rtFirst, rtStop);
    EXPECT_EQ(2.0, dRate);
}

// One pin for the first video track and one for the first audio track the
// filter can deliver, video first (every fixture: demuxoutputpin_test.cpp);
// a track without samples (a fragmented file's "moov") is passed over like
// one of an unsupported codec.
TEST_F(DemuxFilterTest, EachPinCarriesTheFirstDeliverableTrackOfItsKind)
{
    const TrackLayout::Kind V = TrackLayout::Video, A = TrackLayout::Audio;
    const struct {
        const char* what;
        std::vector<TrackLayout> tracks;
        DWORD video, audio;  // the sample counts that tell the two pins' tracks
    } cases[] = {
        {"unsupported video first", {UnsupportedVideoTrack(), Track(V, 6), EmptyTrack(A), Track(A, 7)}, 6, 7},
        {"empty video first", {EmptyTrack(V), Track(V, 6), EmptyTrack(A), Track(A, 7)}, 6, 7},
        {"two of each, audio first", {Track(A, 5), Track(V, 6), Track(A, 7), Track(V, 8)}, 6, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DemuxPlayback play;
        ASSERT_EQ(S_OK, play.OpenBytes(Movie(c.tracks)));
        ASSERT_EQ(3, play.Filter()->GetPinCount());
        EXPECT_TRUE(play.OutputPin(0)->Track()->IsVideo());
        EXPECT_EQ(c.video, play.OutputPin(0)->Track()->GetSampleSizeBox()->GetSampleCount());
        EXPECT_TRUE(play.OutputPin(1)->Track()->IsAudio());
        EXPECT_EQ(c.audio, play.OutputPin(1)->Track()->GetSampleSizeBox()->GetSampleCount());
    }
}

// --- refusals -------------------------------------------------------------------

TEST_F(DemuxFilterTest, ProbesWithOneReadOfTheLengthOrOf128Bytes)
{
    std::vector<uint8_t> shortStream(100, 0);
    const uint8_t header[] = {0, 0, 0, 20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'};
    std::copy(header, header + sizeof(header), shortStream.begin());
    for (bool bLong : {false, true}) {
        DemuxPlayback play;
        CHostAsyncSource* pSource = bLong ? CHostAsyncSource::CreateFromFile(FixturePath("h263-amrnb.3gp"))
                                          : CHostAsyncSource::CreateFromMemory(shortStream);
        if (bLong) pSource->OverrideLength(2147483648LL, 2147483648LL);
        play.OpenSource(pSource);
        std::vector<CHostAsyncSource::ReadRecord> reads = pSource->Reads();
        ASSERT_FALSE(reads.empty());
        EXPECT_EQ(0, reads[0].llPosition);
        EXPECT_EQ(bLong ? 128 : 100, reads[0].lLength);
    }
}

TEST_F(DemuxFilterTest, RefusesStreamsItCannotPlay)
{
    std::vector<uint8_t> movie = testsrc::ReadWholeFile(FixturePath("h263-amrnb.3gp"));
    // The same movie with its first box renamed: the stream must start with "ftyp".
    std::vector<uint8_t> noFtyp = movie;
    std::copy_n("moov", 4, noFtyp.begin() + 4);
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"no ftyp at bytes 4..7", noFtyp},
        {"eight bytes", std::vector<uint8_t>(movie.begin(), movie.begin() + 8)},
        {"no usable track", Movie({Track(TrackLayout::Other)})},
        {"only an unsupported video track", Movie({UnsupportedVideoTrack()})},
        {"tracks without samples", Movie({EmptyTrack(TrackLayout::Video), EmptyTrack(TrackLayout::Audio)})},
        {"no-mdat.mp4", testsrc::ReadWholeFile(FixturePath("no-mdat.mp4"))},
        {"truncated-moov.mp4", testsrc::ReadWholeFile(FixturePath("truncated-moov.mp4"))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DemuxPlayback play;
        // Through the graph: the connection fails and nothing stays.
        EXPECT_TRUE(FAILED(play.OpenBytes(c.bytes)));
        ExpectNoOutputPins(play);
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, ReceiveFrom(play, play.Source()->OutputPin()));
        ExpectNoOutputPins(play);
        IPin* pPeer = nullptr;
        EXPECT_EQ(VFW_E_NOT_CONNECTED, Input(play)->ConnectedTo(&pPeer));
    }
}

TEST_F(DemuxFilterTest, RefusesAnEmptyStreamAndAFailingProbe)
{
    DemuxPlayback play;
    CHostAsyncSource* pSource = CHostAsyncSource::CreateFromFile(FixturePath("h263-amrnb.3gp"));
    pSource->OverrideLength(0, 0);
    EXPECT_TRUE(FAILED(play.OpenSource(pSource)));
    EXPECT_EQ(0, pSource->ReadCount());
    ExpectNoOutputPins(play);

    pSource->ClearFaults();
    pSource->FailNthRead(1, E_FAIL);
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, ReceiveFrom(play, pSource->OutputPin()));
    EXPECT_EQ(1, pSource->ReadCount());
    ExpectNoOutputPins(play);

    // The same source connects once it reads again.
    EXPECT_EQ(S_OK, ReceiveFrom(play, pSource->OutputPin()));
    EXPECT_EQ(3, play.Filter()->GetPinCount());
    Input(play)->Disconnect();
}

// An upstream pin that cannot hand out its reader for a reason other than
// not having one.
class CBrokenReaderPin : public CLoggingPin {
public:
    CBrokenReaderPin(CBaseFilter* pFilter, CCritSec* pLock, std::vector<std::string>* pLog)
        : CLoggingPin(pFilter, pLock, "broken", PINDIR_OUTPUT, pLog)
    {
    }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IAsyncReader)) {
            *ppv = nullptr;
            return E_OUTOFMEMORY;
        }
        return CLoggingPin::NonDelegatingQueryInterface(riid, ppv);
    }
};

// A pin without a reader is an answer, not an error worth a report; a
// reader that cannot be had is reported.
TEST_F(DemuxFilterTest, RefusesAnUpstreamPinWithoutAReaderAndReportsOneThatFails)
{
    DemuxPlayback play;
    CLoggingFilter* pUpstream = CLoggingFilter::Create(1);
    CCritSec lock;
    std::vector<std::string> log;
    auto* pBroken = new CBrokenReaderPin(pUpstream, &lock, &log);
    for (IPin* pPin : {static_cast<IPin*>(pUpstream->GetPin(0)), static_cast<IPin*>(pBroken)}) {
        m_debug.Clear();
        EXPECT_EQ(E_NOINTERFACE, ReceiveFrom(play, pPin));
        ExpectNoOutputPins(play);
        std::vector<std::string> pieces = m_debug.Pieces();
        if (pPin != pBroken) {
            EXPECT_TRUE(pieces.empty()) << m_debug.Text();
            continue;
        }
        ASSERT_EQ(2u, pieces.size()) << m_debug.Text();
        EXPECT_EQ(0u, pieces[0].rfind("ERROR: source\\filters\\3gpp_demux\\movie line ", 0)) << pieces[0];
        EXPECT_EQ("ERROR[Parser] Caught unhandled COM exception.\r\n", pieces[1]);
    }
    delete pBroken;
    EXPECT_EQ(0u, pUpstream->Release());
}

TEST_F(DemuxFilterTest, ReadsThroughTheInputPinOnlyWhileConnected)
{
    DemuxPlayback play;
    auto* pInput = static_cast<CDemuxInputPin*>(Input(play));
    BYTE buffer[16];
    EXPECT_EQ(E_NOINTERFACE, pInput->Read(0, sizeof(buffer), buffer));
    EXPECT_EQ(0, pInput->Length());

    ASSERT_EQ(S_OK, play.OpenFixture("mjpeg.mov"));
    EXPECT_EQ(30139, pInput->Length());
    ASSERT_EQ(S_OK, pInput->Read(4, 4, buffer));
    EXPECT_EQ(0, memcmp(buffer, "ftyp", 4));
    play.Source()->FailNthRead(1, E_ABORT);
    EXPECT_EQ(E_ABORT, pInput->Read(0, 4, buffer));
}

// --- IAMMediaContent --------------------------------------------------------------

namespace {

// The text a getter gives, after checking its result.
std::string Text(DemuxPlayback& play, HRESULT (STDMETHODCALLTYPE IAMMediaContent::*get)(BSTR*),
                 HRESULT hrExpected = S_OK)
{
    IAMMediaContent* pContent = nullptr;
    EXPECT_EQ(S_OK, play.Filter()->QueryInterface(IID_IAMMediaContent, reinterpret_cast<void**>(&pContent)));
    BSTR bstr = nullptr;
    EXPECT_EQ(hrExpected, (pContent->*get)(&bstr));
    pContent->Release();
    std::string text = bstr ? ToUtf8(bstr) : "";
    SysFreeString(bstr);
    return text;
}

}  // namespace

TEST_F(DemuxFilterTest, TitleAndAuthorComeFromTheItemListOrTheAssets)
{
    FixtureFacts facts = LoadFixtureFacts("ilst-metadata.mp4");
    DemuxPlayback play;
    ASSERT_EQ(S_OK, play.OpenFixture("ilst-metadata.mp4"));
    EXPECT_EQ(facts.meta.at("title"), Text(play, &IAMMediaContent::get_Title));
    EXPECT_EQ(facts.meta.at("artist"), Text(play, &IAMMediaContent::get_AuthorName));
    // After disconnection the strings are gone with the movie.
    ASSERT_EQ(S_OK, play.DisconnectInput());
    Text(play, &IAMMediaContent::get_Title, VFW_E_NOT_FOUND);
    ASSERT_EQ(S_OK, ConnectAnother(play, CHostAsyncSource::CreateFromFile(FixturePath("3gpp-assets.3gp"))));
    EXPECT_EQ("Asset Title", Text(play, &IAMMediaContent::get_Title));
}

TEST_F(DemuxFilterTest, MissingStringsAreNotFound)
{
    DemuxPlayback play;
    // No movie yet, then one without strings.
    for (int i = 0; i < 2; ++i) {
        Text(play, &IAMMediaContent::get_Title, VFW_E_NOT_FOUND);
        Text(play, &IAMMediaContent::get_AuthorName, VFW_E_NOT_FOUND);
        if (i == 0) {
            ASSERT_EQ(S_OK, play.OpenFixture("mjpeg.mov"));
        }
    }
    Text(play, &IAMMediaContent::get_Rating, E_NOTIMPL);
}
