// The demux filter and its input pin: which streams are accepted, which pins
// a connection builds, what a refused or broken connection leaves behind,
// and the movie's title and author.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comtest.h"
#include "debugcapture.h"
#include "demuxfilter.h"
#include "demuxinputpin.h"
#include "demuxoutputpin.h"
#include "fixturefacts.h"
#include "hostgraph.h"
#include "asyncsource.h"
#include "movie.h"
#include "moviesampletables.h"
#include "movietrack.h"
#include "moviebuilder.h"
#include "recordingsink.h"
#include "testfilters.h"
#include "testhooks.h"
#include "testsources.h"

using namespace testmovie;

namespace {

CMediaType StreamType(const GUID& subtype = MEDIASUBTYPE_None)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Stream);
    mt.SetSubtype(&subtype);
    return mt;
}

// A graph of a source, the demux and, on demand, sinks on the output pins.
// Everything it made is released at the end with exact counts.
class DemuxFilterTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_lObjectsAtStart = CBaseObject::ObjectsActive();
        m_lTaskMemAtStart = platformtest::CoTaskMemLiveBlocks();
        m_pGraph = CHostGraph::Create();
        ASSERT_NE(nullptr, m_pGraph);
        HRESULT hr = E_FAIL;
        m_pDemux = static_cast<CDemuxFilter*>(CDemuxFilter::CreateInstance(nullptr, &hr));
        ASSERT_EQ(S_OK, hr);
        ASSERT_NE(nullptr, m_pDemux);
        m_pDemux->AddRef();
        ASSERT_EQ(S_OK, m_pGraph->AddFilter(m_pDemux, L"demux"));
    }

    void TearDown() override
    {
        m_pGraph->Clear();
        if (m_pSource) {
            EXPECT_EQ(0u, m_pSource->Release());
        }
        for (CRecordingSink* pSink : m_sinks) EXPECT_EQ(0u, pSink->Release());
        EXPECT_EQ(0u, m_pDemux->Release());
        EXPECT_EQ(0u, m_pGraph->Release());
        EXPECT_EQ(m_lObjectsAtStart, CBaseObject::ObjectsActive());
        EXPECT_EQ(m_lTaskMemAtStart, platformtest::CoTaskMemLiveBlocks());
    }

    void UseSource(CHostAsyncSource* pSource)
    {
        ASSERT_NE(nullptr, pSource);
        if (m_pSource) {
            m_pGraph->RemoveFilter(m_pSource);
            EXPECT_EQ(0u, m_pSource->Release());
        }
        m_pSource = pSource;
        ASSERT_EQ(S_OK, m_pGraph->AddFilter(m_pSource, L"source"));
    }
    void UseFixture(const std::string& name) { UseSource(CHostAsyncSource::CreateFromFile(FixturePath(name))); }
    void UseBytes(std::vector<uint8_t> bytes) { UseSource(CHostAsyncSource::CreateFromMemory(std::move(bytes))); }

    IPin* Input() { return m_pDemux->GetPin(0); }

    // Through the graph, as a player connects: the pins negotiate the type.
    HRESULT Connect() { return m_pGraph->ConnectDirect(m_pSource->OutputPin(), Input(), nullptr); }

    // One connection attempt with the stream type, answered by the input
    // pin itself: its result is exactly what opening the movie gave.
    HRESULT ReceiveFrom(IPin* pUpstream)
    {
        CMediaType mt = StreamType();
        return Input()->ReceiveConnection(pUpstream, &mt);
    }

    CRecordingSink* ConnectSink(int iPin, const SinkOptions& options = SinkOptions())
    {
        CRecordingSink* pSink = CRecordingSink::Create(options);
        EXPECT_NE(nullptr, pSink);
        m_sinks.push_back(pSink);
        EXPECT_EQ(S_OK, m_pGraph->AddFilter(pSink, L"sink"));
        EXPECT_EQ(S_OK, m_pGraph->ConnectDirect(m_pDemux->GetPin(iPin), pSink->InputPin(), nullptr));
        return pSink;
    }

    void ExpectNoOutputPins()
    {
        EXPECT_EQ(1, m_pDemux->GetPinCount());
        EXPECT_EQ(nullptr, m_pDemux->GetPin(1));
        EXPECT_EQ(nullptr, m_pDemux->GetMovie());
    }

    DebugCapture m_debug;  // keeps the parser's and the AAC detection's lines off the console
    CHostGraph* m_pGraph = nullptr;
    CDemuxFilter* m_pDemux = nullptr;
    CHostAsyncSource* m_pSource = nullptr;
    std::vector<CRecordingSink*> m_sinks;
    long m_lObjectsAtStart = 0;
    long m_lTaskMemAtStart = 0;
};

std::vector<uint8_t> FtypHeaderThenZeros(size_t cbTotal)
{
    std::vector<uint8_t> bytes(cbTotal, 0);
    const uint8_t header[] = {0, 0, 0, 20, 'f', 't', 'y', 'p', 'i', 's', 'o', 'm'};
    std::copy(header, header + sizeof(header), bytes.begin());
    return bytes;
}

TrackLayout H263Track()
{
    TrackLayout track;
    track.samples = PatternSamples(std::vector<uint32_t>(5, 40));
    return track;
}

// The track with its samples gone but its duration kept, as in the "moov"
// of a fragmented file.
TrackLayout EmptyTrack(TrackLayout track)
{
    track.mediaDuration = static_cast<uint64_t>(track.samples.size()) * track.defaultDelta;
    track.samples.clear();
    return track;
}

TrackLayout AmrTrack()
{
    TrackLayout track;
    track.kind = TrackLayout::Audio;
    track.timeScale = 8000;
    track.defaultDelta = 160;
    // One 12.2 kbit/s storage-format frame per sample: header 0x3C and 31 bytes.
    std::vector<uint8_t> frame(32, 0x55);
    frame[0] = 0x3C;
    track.samples.assign(5, frame);
    return track;
}

// A visual sample entry of a codec this filter does not deliver.
testbox::Bytes UnsupportedVideoEntry()
{
    testbox::Bytes payload;
    payload.zeros(6).u16(1).zeros(16).u16(64).u16(48).u32(0x00480000).u32(0x00480000).u32(0).u16(1).zeros(32)
        .u16(24).u16(0xFFFF);
    return testbox::Box("hvc1", payload);
}

}  // namespace

// --- creation and the pin set -------------------------------------------------

TEST_F(DemuxFilterTest, StartsWithTheInputPinOnly)
{
    EXPECT_EQ(1, m_pDemux->GetPinCount());
    EXPECT_EQ(m_pDemux->GetPin(0), Input());
    EXPECT_EQ(nullptr, m_pDemux->GetPin(1));
    EXPECT_EQ(nullptr, m_pDemux->GetPin(-1));

    PIN_INFO info;
    ASSERT_EQ(S_OK, Input()->QueryPinInfo(&info));
    EXPECT_EQ("Input", ToUtf8(info.achName));
    EXPECT_EQ(PINDIR_INPUT, info.dir);
    info.pFilter->Release();

    CLSID clsid;
    ASSERT_EQ(S_OK, m_pDemux->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualGUID(CLSID_DemuxFilter, clsid));
    EXPECT_EQ(0x47454E46u, m_pDemux->GetCreatorTag());
    // The position state before any movie: nothing to stop at yet.
    REFERENCE_TIME rtStart = 1, rtStop = 1;
    double dRate = 0;
    m_pDemux->ReadPositions(&rtStart, &rtStop, &dRate);
    EXPECT_EQ(0, rtStart);
    EXPECT_EQ(-1, rtStop);
    EXPECT_EQ(1.0, dRate);
}

TEST_F(DemuxFilterTest, ExposesItsInterfacesWithCorrectIdentity)
{
    CHECK_COM_IDENTITY(static_cast<IBaseFilter*>(m_pDemux),
                       {IID_IUnknown, IID_IBaseFilter, IID_IMediaFilter, IID_IPersist, IID_IAMovieSetup,
                        IID_IAMMediaContent});
    CHECK_COM_IDENTITY(Input(), {IID_IUnknown, IID_IPin, IID_IQualityControl});
    // The graph holds one reference, this test the other; the pin's count is the filter's.
    EXPECT_REF(static_cast<IBaseFilter*>(m_pDemux), 2);
    EXPECT_REF(Input(), 2);
}

TEST_F(DemuxFilterTest, InputPinOffersAndAcceptsTheSixStreamTypes)
{
    auto* pInput = static_cast<CDemuxInputPin*>(m_pDemux->GetPin(0));
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

    CMediaType other = StreamType(MEDIASUBTYPE_H264);
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pInput->CheckMediaType(&other));
    other.SetType(&MEDIATYPE_Video);
    other.SetSubtype(&MEDIASUBTYPE_None);
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, pInput->CheckMediaType(&other));
}

// --- connecting real movies ------------------------------------------------------

TEST_F(DemuxFilterTest, EveryFixtureConnectsWithOnePinPerFirstVideoAndAudioTrack)
{
    for (const std::string& name : ListFixtures()) {
        SCOPED_TRACE(name);
        FixtureFacts facts = LoadFixtureFacts(name);
        UseFixture(name);
        ASSERT_EQ(S_OK, Connect());

        const bool bVideo = facts.FirstTrack("video") != nullptr;
        const bool bAudio = facts.FirstTrack("audio") != nullptr;
        ASSERT_EQ(1 + (bVideo ? 1 : 0) + (bAudio ? 1 : 0), m_pDemux->GetPinCount());
        for (int i = 1; i < m_pDemux->GetPinCount(); ++i) {
            PIN_INFO info;
            ASSERT_EQ(S_OK, m_pDemux->GetPin(i)->QueryPinInfo(&info));
            EXPECT_EQ("out", ToUtf8(info.achName));
            EXPECT_EQ(PINDIR_OUTPUT, info.dir);
            info.pFilter->Release();
        }
        // Video first, then audio.
        auto* pFirst = static_cast<CDemuxOutputPin*>(m_pDemux->GetPin(1));
        EXPECT_TRUE(IsEqualGUID(bVideo ? MEDIATYPE_Video : MEDIATYPE_Audio, pFirst->TrackMediaType().majortype));

        REFERENCE_TIME rtStart = -1, rtStop = -1;
        m_pDemux->ReadPositions(&rtStart, &rtStop, nullptr);
        EXPECT_EQ(0, rtStart);
        EXPECT_EQ(m_pDemux->GetMovie()->GetDuration(), rtStop);
        EXPECT_GT(rtStop, 0);

        ASSERT_EQ(S_OK, m_pGraph->DisconnectPair(Input()));
        ExpectNoOutputPins();
    }
}

TEST_F(DemuxFilterTest, ReconnectingToAnotherFileResetsPositionsAndKeepsTheRate)
{
    UseFixture("h263-amrnb.3gp");
    ASSERT_EQ(S_OK, Connect());
    const REFERENCE_TIME rtFirst = m_pDemux->GetMovie()->GetDuration();
    m_pDemux->SetStopPosition(1234);
    m_pDemux->SetRateValue(2.0);
    ASSERT_EQ(S_OK, m_pGraph->DisconnectPair(Input()));
    ExpectNoOutputPins();

    UseFixture("mjpeg.mov");
    ASSERT_EQ(S_OK, Connect());
    ASSERT_EQ(2, m_pDemux->GetPinCount());
    REFERENCE_TIME rtStart = -1, rtStop = -1;
    double dRate = 0;
    m_pDemux->ReadPositions(&rtStart, &rtStop, &dRate);
    EXPECT_EQ(0, rtStart);
    EXPECT_EQ(m_pDemux->GetMovie()->GetDuration(), rtStop);
    EXPECT_NE(rtFirst, rtStop);
    EXPECT_EQ(2.0, dRate);
}

TEST_F(DemuxFilterTest, DisconnectingTheInputFirstPartsTheOutputPinsFromTheirSinks)
{
    UseFixture("h263-amrnb.3gp");
    ASSERT_EQ(S_OK, Connect());
    CRecordingSink* pVideoSink = ConnectSink(1);
    CRecordingSink* pAudioSink = ConnectSink(2);
    ASSERT_EQ(S_OK, m_pGraph->DisconnectPair(Input()));
    ExpectNoOutputPins();
    IPin* pPeer = nullptr;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pVideoSink->InputPin()->ConnectedTo(&pPeer));
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pAudioSink->InputPin()->ConnectedTo(&pPeer));
}

// A track without samples (a fragmented file's "moov") is passed over like
// one of an unsupported codec.
TEST_F(DemuxFilterTest, SkipsAVideoTrackItCannotDeliverForTheNextOne)
{
    TrackLayout unsupported = H263Track();
    unsupported.sampleEntry = UnsupportedVideoEntry();
    for (const TrackLayout& skipped : {unsupported, EmptyTrack(H263Track())}) {
        MovieLayout layout;
        layout.duration = 500;
        layout.tracks = {skipped, H263Track(), EmptyTrack(AmrTrack()), AmrTrack()};
        UseBytes(BuildMovie(layout).bytes);
        ASSERT_EQ(S_OK, Connect());
        ASSERT_EQ(3, m_pDemux->GetPinCount());
        for (int iPin = 1; iPin <= 2; ++iPin) {
            CMovieTrack* pTrack = static_cast<CDemuxOutputPin*>(m_pDemux->GetPin(iPin))->Track();
            EXPECT_TRUE(iPin == 1 ? pTrack->IsVideo() : pTrack->IsAudio());
            EXPECT_EQ(5u, pTrack->GetSampleSizeBox()->GetSampleCount());
        }
        m_pGraph->DisconnectPair(Input());
    }
}

TEST_F(DemuxFilterTest, MakesAtMostOnePinOfEachKind)
{
    MovieLayout layout;
    layout.duration = 500;
    layout.tracks = {AmrTrack(), H263Track(), AmrTrack(), H263Track()};
    UseBytes(BuildMovie(layout).bytes);
    ASSERT_EQ(S_OK, Connect());
    ASSERT_EQ(3, m_pDemux->GetPinCount());
    // The video pin comes first whatever the track order; each pin carries
    // the first track of its kind.
    auto* pVideo = static_cast<CDemuxOutputPin*>(m_pDemux->GetPin(1));
    auto* pAudio = static_cast<CDemuxOutputPin*>(m_pDemux->GetPin(2));
    EXPECT_EQ(m_pDemux->GetMovie()->GetTracks()[1], pVideo->Track());
    EXPECT_EQ(m_pDemux->GetMovie()->GetTracks()[0], pAudio->Track());
}

// --- refusals -------------------------------------------------------------------

TEST_F(DemuxFilterTest, ProbesAShortStreamWithOneReadOfItsLength)
{
    UseBytes(FtypHeaderThenZeros(100));
    ReceiveFrom(m_pSource->OutputPin());  // nothing but the header: refused by the parser
    std::vector<CHostAsyncSource::ReadRecord> reads = m_pSource->Reads();
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(0, reads[0].llPosition);
    EXPECT_EQ(100, reads[0].lLength);
    ExpectNoOutputPins();
}

TEST_F(DemuxFilterTest, ProbesALongStreamWith128Bytes)
{
    UseFixture("h263-amrnb.3gp");
    m_pSource->OverrideLength(2147483648LL, 2147483648LL);
    ReceiveFrom(m_pSource->OutputPin());
    std::vector<CHostAsyncSource::ReadRecord> reads = m_pSource->Reads();
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(0, reads[0].llPosition);
    EXPECT_EQ(128, reads[0].lLength);
    Input()->Disconnect();
}

TEST_F(DemuxFilterTest, RefusesStreamsItCannotPlay)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<uint8_t> movie = testsrc::ReadWholeFile(FixturePath("h263-amrnb.3gp"));
    // The same movie with its first box renamed: the stream must start with "ftyp".
    std::vector<uint8_t> noFtyp = movie;
    std::copy_n("moov", 4, noFtyp.begin() + 4);
    MovieLayout otherOnly;
    otherOnly.duration = 500;
    TrackLayout other = H263Track();
    other.kind = TrackLayout::Other;
    otherOnly.tracks = {other};
    MovieLayout noSamples;
    noSamples.duration = 500;
    noSamples.tracks = {EmptyTrack(H263Track()), EmptyTrack(AmrTrack())};
    MovieLayout unsupportedOnly;
    unsupportedOnly.duration = 500;
    TrackLayout unsupported = H263Track();
    unsupported.sampleEntry = UnsupportedVideoEntry();
    unsupportedOnly.tracks = {unsupported};

    const Case cases[] = {
        {"no ftyp at bytes 4..7", noFtyp},
        {"eight bytes", std::vector<uint8_t>(movie.begin(), movie.begin() + 8)},
        {"no usable track", BuildMovie(otherOnly).bytes},
        {"only an unsupported video track", BuildMovie(unsupportedOnly).bytes},
        {"tracks without samples", BuildMovie(noSamples).bytes},
        {"no-mdat.mp4", testsrc::ReadWholeFile(FixturePath("no-mdat.mp4"))},
        {"truncated-moov.mp4", testsrc::ReadWholeFile(FixturePath("truncated-moov.mp4"))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        UseBytes(c.bytes);
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, ReceiveFrom(m_pSource->OutputPin()));
        ExpectNoOutputPins();
        IPin* pPeer = nullptr;
        EXPECT_EQ(VFW_E_NOT_CONNECTED, Input()->ConnectedTo(&pPeer));
        // Through the graph as well: the connection fails and nothing stays.
        EXPECT_TRUE(FAILED(Connect()));
        ExpectNoOutputPins();
    }
}

TEST_F(DemuxFilterTest, RefusesAnEmptyStreamAndAFailingProbe)
{
    UseFixture("h263-amrnb.3gp");
    m_pSource->OverrideLength(0, 0);
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, ReceiveFrom(m_pSource->OutputPin()));
    EXPECT_EQ(0, m_pSource->ReadCount());
    ExpectNoOutputPins();

    m_pSource->ClearFaults();
    m_pSource->FailNthRead(1, E_FAIL);
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, ReceiveFrom(m_pSource->OutputPin()));
    EXPECT_EQ(1, m_pSource->ReadCount());
    ExpectNoOutputPins();

    // The same source connects once it reads again.
    EXPECT_EQ(S_OK, ReceiveFrom(m_pSource->OutputPin()));
    EXPECT_EQ(3, m_pDemux->GetPinCount());
    Input()->Disconnect();
}

TEST_F(DemuxFilterTest, RefusesAnUpstreamPinWithoutAReader)
{
    CLoggingFilter* pUpstream = CLoggingFilter::Create(1);
    m_debug.Clear();
    EXPECT_EQ(E_NOINTERFACE, ReceiveFrom(pUpstream->GetPin(0)));
    // Its absence is an answer, not an error worth a report.
    EXPECT_EQ("", m_debug.Text());
    ExpectNoOutputPins();
    EXPECT_EQ(0u, pUpstream->Release());
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

TEST_F(DemuxFilterTest, ReportsAReaderThatCannotBeObtainedAndRefusesIt)
{
    CLoggingFilter* pUpstream = CLoggingFilter::Create(0);
    CCritSec lock;
    std::vector<std::string> log;
    auto* pPin = new CBrokenReaderPin(pUpstream, &lock, &log);
    m_debug.Clear();
    EXPECT_EQ(E_NOINTERFACE, ReceiveFrom(pPin));
    std::vector<std::string> pieces = m_debug.Pieces();
    ASSERT_EQ(2u, pieces.size()) << m_debug.Text();
    EXPECT_EQ(0u, pieces[0].rfind("ERROR: source\\filters\\3gpp_demux\\movie line ", 0)) << pieces[0];
    EXPECT_EQ("ERROR[Parser] Caught unhandled COM exception.\r\n", pieces[1]);
    ExpectNoOutputPins();
    delete pPin;
    EXPECT_EQ(0u, pUpstream->Release());
}

TEST_F(DemuxFilterTest, ReadsThroughTheInputPinOnlyWhileConnected)
{
    auto* pInput = static_cast<CDemuxInputPin*>(m_pDemux->GetPin(0));
    BYTE buffer[16];
    EXPECT_EQ(E_NOINTERFACE, pInput->Read(0, sizeof(buffer), buffer));
    EXPECT_EQ(0, pInput->Length());

    UseFixture("mjpeg.mov");
    ASSERT_EQ(S_OK, Connect());
    EXPECT_EQ(30139, pInput->Length());
    ASSERT_EQ(S_OK, pInput->Read(4, 4, buffer));
    EXPECT_EQ(0, memcmp(buffer, "ftyp", 4));
    m_pSource->FailNthRead(1, E_ABORT);
    EXPECT_EQ(E_ABORT, pInput->Read(0, 4, buffer));
}

// Cut anywhere, a movie is either refused with nothing left over or connects
// with a full pin set; the leak checks of TearDown cover every attempt.
TEST_F(DemuxFilterTest, TruncatedStreamsAreRefusedOrConnectedCleanly)
{
    const std::vector<uint8_t> movie = testsrc::ReadWholeFile(FixturePath("3gpp-assets.3gp"));
    for (size_t cb = 0; cb <= movie.size(); cb += movie.size() / 37 + 1) {
        SCOPED_TRACE(cb);
        UseBytes(std::vector<uint8_t>(movie.begin(), movie.begin() + static_cast<long>(cb)));
        HRESULT hr = Connect();
        if (FAILED(hr)) {
            ExpectNoOutputPins();
            continue;
        }
        EXPECT_GE(m_pDemux->GetPinCount(), 2);
        ASSERT_NE(nullptr, m_pDemux->GetMovie());
        ASSERT_EQ(S_OK, m_pGraph->DisconnectPair(Input()));
        ExpectNoOutputPins();
    }
}

// --- IAMMediaContent --------------------------------------------------------------

class DemuxContentTest : public DemuxFilterTest {
protected:
    IAMMediaContent* Content()
    {
        IAMMediaContent* p = nullptr;
        EXPECT_EQ(S_OK, m_pDemux->QueryInterface(IID_IAMMediaContent, reinterpret_cast<void**>(&p)));
        if (p) p->Release();  // the test's own reference keeps the filter alive
        return p;
    }
    std::string Text(HRESULT (STDMETHODCALLTYPE IAMMediaContent::*get)(BSTR*), HRESULT hrExpected = S_OK)
    {
        BSTR bstr = nullptr;
        EXPECT_EQ(hrExpected, (Content()->*get)(&bstr));
        std::string text = bstr ? ToUtf8(bstr) : "";
        SysFreeString(bstr);
        return text;
    }
};

TEST_F(DemuxContentTest, TitleAndAuthorComeFromTheItemList)
{
    UseFixture("ilst-metadata.mp4");
    ASSERT_EQ(S_OK, Connect());
    FixtureFacts facts = LoadFixtureFacts("ilst-metadata.mp4");
    EXPECT_EQ(facts.meta.at("title"), Text(&IAMMediaContent::get_Title));
    EXPECT_EQ(facts.meta.at("artist"), Text(&IAMMediaContent::get_AuthorName));
}

TEST_F(DemuxContentTest, MissingStringsAreNotFoundAndTheRestIsNotImplemented)
{
    // No movie yet.
    Text(&IAMMediaContent::get_Title, VFW_E_NOT_FOUND);
    Text(&IAMMediaContent::get_AuthorName, VFW_E_NOT_FOUND);
    UseFixture("mjpeg.mov");
    ASSERT_EQ(S_OK, Connect());
    Text(&IAMMediaContent::get_Title, VFW_E_NOT_FOUND);
    Text(&IAMMediaContent::get_AuthorName, VFW_E_NOT_FOUND);
    EXPECT_EQ(E_POINTER, Content()->get_Title(nullptr));

    for (auto get : {&IAMMediaContent::get_Rating, &IAMMediaContent::get_Description,
                     &IAMMediaContent::get_Copyright, &IAMMediaContent::get_BaseURL, &IAMMediaContent::get_LogoURL,
                     &IAMMediaContent::get_LogoIconURL, &IAMMediaContent::get_WatermarkURL,
                     &IAMMediaContent::get_MoreInfoURL, &IAMMediaContent::get_MoreInfoBannerImage,
                     &IAMMediaContent::get_MoreInfoBannerURL, &IAMMediaContent::get_MoreInfoText}) {
        Text(get, E_NOTIMPL);
    }
    UINT count = 0;
    EXPECT_EQ(E_NOTIMPL, Content()->GetTypeInfoCount(&count));
    EXPECT_EQ(E_NOTIMPL, Content()->GetTypeInfo(0, 0, nullptr));
    EXPECT_EQ(E_NOTIMPL, Content()->GetIDsOfNames(IID_IUnknown, nullptr, 0, 0, nullptr));
    EXPECT_EQ(E_NOTIMPL, Content()->Invoke(0, IID_IUnknown, 0, 0, nullptr, nullptr, nullptr, nullptr));

    // After disconnection the strings are gone with the movie.
    ASSERT_EQ(S_OK, m_pGraph->DisconnectPair(Input()));
    UseFixture("3gpp-assets.3gp");
    ASSERT_EQ(S_OK, Connect());
    EXPECT_EQ("Asset Title", Text(&IAMMediaContent::get_Title));
    ASSERT_EQ(S_OK, m_pGraph->DisconnectPair(Input()));
    Text(&IAMMediaContent::get_Title, VFW_E_NOT_FOUND);
}
