// AAC type detection: FindAACType against the platform's real component
// (its calls, log lines and clean-up), the callbacks, the profile mapping
// and the output pin's part that settles the format block.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "aacdetect.h"
#include "aacunits.h"
#include "debugcapture.h"
#include "moviesampledesc.h"
#include "omx/omxtesthooks.h"
#include "testhooks.h"

namespace {

// The whole run as the log shows it. Lines with pointers are patterns; the
// two buffer-returned lines come from the component's thread at a moment
// the caller does not fix, so they are checked apart.
const char* const kRunLog[] = {
    "\\[OMX\\]FindAACType:FREQ=22050 CHANNEL=1, FRMSIZE=(\\d+)",
    "\\[OMX\\]OMX_INIT",
    "\\[OMX\\]OMX_GetHandle OMX\\.ORVANE\\.KELDRA\\.AUDIO\\.AACHEAD",
    "\\[OMX\\]OMX_GetParameter OMX_IndexParamPortDefinition OMX_PORTINDEX_INPUT",
    "\\[OMX\\]OMX_GetParameter OMX_IndexParamPortDefinition OMX_PORTINDEX_OUTPUT",
    "\\[OMX\\]OMX_GetParameter OMX_IndexParamAudioAac OMX_PORTINDEX_INPUT",
    "\\[OMX\\]OMX_SetParameter OMX_IndexParamAudioAac OMX_PORTINDEX_INPUT",
    "\\[OMX\\]OMX_SendCommand OMX_CommandStateSet OMX_StateIdle",
    "\\[OMX\\]OMX_AllocateBuffer OMX_PORTINDEX_INPUT 6144",
    "\\[OMX\\]OMX_AllocateBuffer OMX_PORTINDEX_OUTPUT 4096",
    "\\[OMX\\]OMX_EventCmdComplete:0",
    "\\[OMX\\]OMX_SendCommand OMX_CommandStateSet OMX_StateExecuting",
    "\\[OMX\\]OMX_EventCmdComplete:0",
    "\\[OMX\\]OMX_EmptyThisBuffer [0-9A-F]+ [0-9A-F]+ (\\d+) ",
    "\\[OMX\\]OMX_FillThisBuffer [0-9A-F]+ [0-9A-F]+ 4096 ",
    "\\[OMX\\]OMX_SendCommand OMX_CommandStateSet OMX_StatePause",
    "\\[OMX\\]OMX_EventCmdComplete:0",
    "\\[OMX\\]OMX_SendCommand OMX_CommandStateSet OMX_StateIdle",
    "\\[OMX\\]OMX_EventCmdComplete:0",
    "\\[OMX\\]OMX_SendCommand OMX_CommandStateSet OMX_StateLoaded",
    "\\[OMX\\]OMX_FreeBuffer OMX_PORTINDEX_INPUT [0-9A-F]+",
    "\\[OMX\\]OMX_FreeBuffer OMX_PORTINDEX_OUTPUT [0-9A-F]+",
    "\\[OMX\\]OMX_EventCmdComplete:0",
    "AAC INFO: Channel Count = 1",
    "AAC INFO: Sampling Freq = 22050",
    "AAC INFO: AAC PROFILE = (\\d+)",
};

bool IsBufferReturned(const std::string& line)
{
    return line.rfind("[OMX]EmptyBufferDone:", 0) == 0 || line.rfind("[OMX]FillBufferDone:", 0) == 0;
}

// Snapshot of what a detection must give back.
struct Resources {
    long handles = platformtest::LiveKernelHandles();
    long components = omxtest::LiveComponents();
    long coreInits = omxtest::CoreInitCount();
};

void ExpectAllReleased(const Resources& before)
{
    EXPECT_EQ(before.handles, platformtest::LiveKernelHandles());
    EXPECT_EQ(before.components, omxtest::LiveComponents());
    EXPECT_EQ(before.coreInits, omxtest::CoreInitCount());
}

class AacDetect : public ::testing::Test {
protected:
    void SetUp() override { omxtest::ResetHooks(); }
    void TearDown() override
    {
        omxtest::ResetHooks();
        SetAacDetectTimeout(AAC_DETECT_DEFAULT_TIMEOUT_MS);
    }

    HRESULT Find(const std::vector<uint8_t>& data, DWORD* pdwProfile, int iChannels = kAacUnitChannels)
    {
        COmxEvents events;
        std::memset(&events, 0, sizeof(events));
        HRESULT hr = FindAACType(&events, kAacUnitCoreRate, iChannels, pdwProfile, data.data(),
                                 static_cast<DWORD>(data.size()), OMX_AUDIO_AACStreamFormatRAW);
        EXPECT_EQ(nullptr, events.m_hCommandComplete);
        EXPECT_EQ(nullptr, events.m_hInputReturned);
        EXPECT_EQ(nullptr, events.m_hOutputReturned);
        return hr;
    }
};

TEST_F(AacDetect, RunsTheComponentThroughEveryStepInOrder)
{
    std::vector<uint8_t> unit = SilentMonoAacUnit(AacUnitKind::SbrPs);
    Resources before;
    DebugCapture capture;
    DWORD dwProfile = 0;
    ASSERT_EQ(S_OK, Find(unit, &dwProfile));
    EXPECT_EQ(29u, dwProfile);
    ExpectAllReleased(before);

    std::vector<std::string> lines;
    std::vector<size_t> returnedAt;
    for (const std::string& line : capture.Pieces()) {
        if (IsBufferReturned(line)) returnedAt.push_back(lines.size());
        else lines.push_back(line);
    }
    ASSERT_EQ(sizeof(kRunLog) / sizeof(kRunLog[0]), lines.size());
    for (size_t i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(kRunLog[i]))) << i << ": " << lines[i];
    EXPECT_NE(std::string::npos, lines[0].find("FRMSIZE=" + std::to_string(unit.size())));
    EXPECT_EQ("AAC INFO: AAC PROFILE = 29", lines.back());

    // Both buffers came back between the hand-over and the pause.
    ASSERT_EQ(2u, returnedAt.size());
    for (size_t at : returnedAt) {
        EXPECT_GE(at, 14u);
        EXPECT_LE(at, 15u);
    }

    const std::vector<std::string> expectedCalls = {
        "OMX_Init", "OMX_GetHandle OMX.ORVANE.KELDRA.AUDIO.AACHEAD", "GetState",
        "GetParameter 0x2000001 0", "GetParameter 0x2000001 1", "GetParameter 0x4000003 0",
        "SetParameter 0x4000003 0", "SendCommand StateSet 2", "GetParameter 0x2000001 0", "AllocateBuffer 0 6144",
        "GetParameter 0x2000001 1", "AllocateBuffer 1 4096", "SendCommand StateSet 3",
        "EmptyThisBuffer " + std::to_string(unit.size()), "FillThisBuffer 0", "SendCommand StateSet 4",
        "SendCommand StateSet 2", "SendCommand StateSet 1", "FreeBuffer 0", "FreeBuffer 1",
        "GetParameter 0x4000003 0", "OMX_FreeHandle", "OMX_Deinit"};
    EXPECT_EQ(expectedCalls, omxtest::ComponentCalls());
}

TEST_F(AacDetect, SendsAUnitLargerThanTheInputBufferEmpty)
{
    // Bigger than the component's 6144-byte input buffer: not copied, the
    // component keeps the profile it was given.
    std::vector<uint8_t> unit = SilentMonoAacUnit(AacUnitKind::SbrPs);
    unit.resize(7000, 0);
    DebugCapture capture;
    DWORD dwProfile = 0;
    ASSERT_EQ(S_OK, Find(unit, &dwProfile));
    EXPECT_EQ(2u, dwProfile);
    EXPECT_NE(std::string::npos, capture.Text().find("FRMSIZE=7000"));
    EXPECT_TRUE(std::regex_search(capture.Text(), std::regex("OMX_EmptyThisBuffer [0-9A-F]+ [0-9A-F]+ 0 ")));
    EXPECT_NE(std::string::npos, capture.Text().find("EmptyThisBuffer"));
}

TEST_F(AacDetect, FailsCleanlyWhenTheComponentCannotBeCreated)
{
    Resources before;
    omxtest::FailNextGetHandle(OMX_ErrorInsufficientResources);
    DebugCapture capture;
    DWORD dwProfile = 1234;
    EXPECT_EQ(E_FAIL, Find(SilentMonoAacUnit(AacUnitKind::Sbr), &dwProfile));
    EXPECT_EQ(1234u, dwProfile);  // written only on success
    ExpectAllReleased(before);
    std::vector<std::string> lines = capture.Pieces();
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("[OMX]OMX_GetHandle OMX.ORVANE.KELDRA.AUDIO.AACHEAD FAILED!!!", lines[3]);
    std::vector<std::string> calls = omxtest::ComponentCalls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ("OMX_Deinit", calls.back());  // initialised, so de-initialised
}

TEST_F(AacDetect, GivesUpOnAComponentThatNeverCompletesAStateChange)
{
    SetAacDetectTimeout(200);
    const OMX_STATETYPE stalls[] = {OMX_StateIdle, OMX_StateExecuting, OMX_StatePause, OMX_StateLoaded};
    for (OMX_STATETYPE stall : stalls) {
        Resources before;
        omxtest::StallStateChange(stall);
        DebugCapture capture;
        DWORD dwProfile = 0;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(E_FAIL, Find(SilentMonoAacUnit(AacUnitKind::Sbr), &dwProfile)) << stall;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << stall;
        ExpectAllReleased(before);
        EXPECT_EQ(std::string::npos, capture.Text().find("AAC INFO")) << stall;
    }
}

TEST_F(AacDetect, FailsWhenTheComponentRefusesTheParameters)
{
    Resources before;
    DebugCapture capture;
    DWORD dwProfile = 0;
    EXPECT_EQ(E_FAIL, Find(SilentMonoAacUnit(AacUnitKind::Sbr), &dwProfile, -1));
    ExpectAllReleased(before);
    std::vector<std::string> lines = capture.Pieces();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("[OMX]FindAACType:FREQ=22050 CHANNEL=-1, FRMSIZE=16", lines.front());
    EXPECT_EQ("[OMX]OMX_SetParameter OMX_IndexParamAudioAac OMX_PORTINDEX_INPUT : FAILED", lines.back());
}

TEST(AacDetectCallbacks, SetOnlyTheirOwnEventAndLogEveryEvent)
{
    COmxEvents events;
    events.m_hCommandComplete = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    events.m_hInputReturned = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    events.m_hOutputReturned = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    DebugCapture capture;

    EXPECT_EQ(OMX_ErrorNone, EventHandler(nullptr, &events, OMX_EventCmdComplete, OMX_CommandFlush, 0, nullptr));
    EXPECT_EQ(OMX_ErrorNone, EventHandler(nullptr, &events, OMX_EventError, 0x80001017, 0, nullptr));
    EXPECT_EQ(OMX_ErrorNone, EventHandler(nullptr, &events, OMX_EventPortSettingsChanged, 1, 0, nullptr));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(events.m_hCommandComplete, 0));
    EXPECT_EQ(OMX_ErrorNone, EventHandler(nullptr, &events, OMX_EventCmdComplete, OMX_CommandStateSet, 2, nullptr));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(events.m_hCommandComplete, 0));

    OMX_BUFFERHEADERTYPE header;
    std::memset(&header, 0, sizeof(header));
    header.nFilledLen = 12;
    header.nOffset = 3;
    EXPECT_EQ(OMX_ErrorNone, EmptyBufferDone(nullptr, &events, &header));
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(events.m_hOutputReturned, 0));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(events.m_hInputReturned, 0));
    EXPECT_EQ(OMX_ErrorNone, FillBufferDone(nullptr, &events, &header));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(events.m_hOutputReturned, 0));

    std::vector<std::string> lines = capture.Pieces();
    ASSERT_EQ(6u, lines.size());
    EXPECT_EQ("[OMX]OMX_EventCmdComplete:1", lines[0]);
    EXPECT_EQ("[OMX]OMX_EventError:80001017", lines[1]);
    EXPECT_EQ("[OMX]EventHandler:3,1", lines[2]);
    EXPECT_EQ("[OMX]OMX_EventCmdComplete:0", lines[3]);
    EXPECT_TRUE(std::regex_match(lines[4], std::regex("\\[OMX\\]EmptyBufferDone:HDR=[0-9A-F]+ BUF=0+ FILLEDLEN=12 OFFSET=3")))
        << lines[4];
    EXPECT_EQ(0u, lines[5].rfind("[OMX]FillBufferDone:HDR=", 0));
    CloseHandle(events.m_hCommandComplete);
    CloseHandle(events.m_hInputReturned);
    CloseHandle(events.m_hOutputReturned);
}

TEST(AacProfileFlags, MapsTheThreeKnownProfilesAndLeavesOthers)
{
    struct Case {
        DWORD dwProfile;
        BYTE sbr;
        BYTE ps;
    } cases[] = {{2, 0, 0}, {5, 1, 0}, {29, 1, 1}, {1, 0xFF, 0xFF}, {4, 0xFF, 0xFF}, {0, 0xFF, 0xFF}, {30, 0xFF, 0xFF}};
    for (const Case& c : cases) {
        BYTE block[12] = {0x44, 0xAC, 0, 0, 2, 0, 2, 0xFF, 0xFF, 2, 0, 0};
        ApplyAacProfile(c.dwProfile, block);
        EXPECT_EQ(c.sbr, block[7]) << c.dwProfile;
        EXPECT_EQ(c.ps, block[8]) << c.dwProfile;
        EXPECT_EQ(2, block[6]);  // nothing else touched
        EXPECT_EQ(2, block[9]);
    }
}

// --- the output pin's part --------------------------------------------------

struct FakeTrack {
    std::vector<uint8_t> sample;  // the first sample
    int reads = 0;
    DWORD cbBufferSeen = 0;
    DWORD cbReported = 0;         // what the read claims when it does not fit
    static HRESULT Read(void* pContext, BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbSample)
    {
        FakeTrack* self = static_cast<FakeTrack*>(pContext);
        ++self->reads;
        self->cbBufferSeen = cbBuffer;
        if (self->sample.size() > cbBuffer) {
            *pcbSample = self->cbReported;
            return VFW_E_BUFFER_OVERFLOW;
        }
        if (!self->sample.empty()) std::memcpy(pBuffer, self->sample.data(), self->sample.size());
        *pcbSample = static_cast<DWORD>(self->sample.size());
        return self->sample.empty() ? S_FALSE : S_OK;
    }
};

CMediaType AacType(const std::vector<BYTE>& block)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Audio);
    mt.SetSubtype(&MEDIASUBTYPE_MPEG4_AAC);
    mt.SetFormatType(&FORMAT_MPEG4_AAC);
    mt.SetFormat(block.data(), static_cast<ULONG>(block.size()));
    return mt;
}

std::vector<BYTE> Block(BYTE sbr, BYTE ps, BYTE channels = 1, DWORD rate = kAacUnitCoreRate)
{
    return {static_cast<BYTE>(rate), static_cast<BYTE>(rate >> 8), static_cast<BYTE>(rate >> 16),
            static_cast<BYTE>(rate >> 24), 2, 0, channels, sbr, ps, 2, 0, 0};
}

std::vector<BYTE> FormatOf(const CMediaType& mt)
{
    return std::vector<BYTE>(mt.Format(), mt.Format() + mt.FormatLength());
}

// Each row: the flags the configuration gave, the first sample, and the
// flags after settling. One open flag runs the detection; none, no read.
TEST(AacSettle, SettlesOpenFlagsFromTheFirstSample)
{
    const BYTE kOpen = 0xFF;
    const struct {
        BYTE sbr, ps;
        AacUnitKind kind;
        BYTE settledSbr, settledPs;
    } cases[] = {
        {kOpen, kOpen, AacUnitKind::PlainLc, 0, 0}, {kOpen, kOpen, AacUnitKind::Sbr, 1, 0},
        {kOpen, kOpen, AacUnitKind::SbrPs, 1, 1},   {0, kOpen, AacUnitKind::SbrPs, 1, 1},
        {0, 0, AacUnitKind::SbrPs, 0, 0},           {1, 0, AacUnitKind::SbrPs, 1, 0},
        {1, 1, AacUnitKind::PlainLc, 1, 1},         {0, 1, AacUnitKind::SbrPs, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.sbr) << "/" << int(c.ps) << " kind " << int(c.kind));
        FakeTrack track;
        track.sample = SilentMonoAacUnit(c.kind);
        CMediaType mt = AacType(Block(c.sbr, c.ps));
        DebugCapture capture;
        ASSERT_EQ(S_OK, SettleAacTypeFrom(&FakeTrack::Read, &track, &mt));
        const bool bOpen = c.sbr == kOpen || c.ps == kOpen;
        EXPECT_EQ(bOpen ? 1 : 0, track.reads);
        if (bOpen) { EXPECT_EQ(2000u, track.cbBufferSeen); }
        EXPECT_EQ(bOpen, !capture.Pieces().empty());
        EXPECT_EQ(Block(c.settledSbr, c.settledPs), FormatOf(mt));
    }
}

TEST(AacSettle, LeavesOtherTypesAndOddBlocksAlone)
{
    FakeTrack track;
    track.sample = SilentMonoAacUnit(AacUnitKind::Sbr);
    // Not 12 bytes: treated as twelve zero bytes, whose flags are settled.
    CMediaType shortBlock = AacType({0x22, 0x56, 0, 0, 2});
    EXPECT_EQ(S_OK, SettleAacTypeFrom(&FakeTrack::Read, &track, &shortBlock));
    EXPECT_EQ(5u, shortBlock.FormatLength());
    CMediaType amr;
    amr.SetType(&MEDIATYPE_Audio);
    amr.SetSubtype(&MEDIASUBTYPE_MPEG4_AAC);  // right subtype, wrong format type
    EXPECT_EQ(S_OK, SettleAacTypeFrom(&FakeTrack::Read, &track, &amr));
    EXPECT_EQ(0, track.reads);
}

TEST(AacSettle, KeepsLcWhenTheFirstSampleIsMissingTooLargeOrUndecodable)
{
    FakeTrack missing;
    FakeTrack large;
    large.sample.assign(2001, 0);
    FakeTrack lying;  // claims more bytes than the buffer holds
    lying.sample.assign(2500, 0);
    lying.cbReported = 2500;
    FakeTrack garbage;
    garbage.sample.assign(64, 0xFF);
    for (FakeTrack* track : {&missing, &large, &lying, &garbage}) {
        CMediaType mt = AacType(Block(0xFF, 0xFF));
        DebugCapture capture;
        EXPECT_EQ(S_OK, SettleAacTypeFrom(&FakeTrack::Read, track, &mt));
        ASSERT_FALSE(capture.Pieces().empty());
        EXPECT_EQ(std::string("[OMX]FindAACType:FREQ=22050 CHANNEL=1, FRMSIZE=") + (track == &garbage ? "64" : "0"),
                  capture.Pieces().front());
        // Nothing the decoder can parse: the component keeps AAC-LC.
        EXPECT_EQ(Block(0, 0), FormatOf(mt));
    }
}

TEST(AacSettle, FailsAndKeepsTheFlagsWhenDetectionFails)
{
    omxtest::ResetHooks();
    FakeTrack track;
    track.sample = SilentMonoAacUnit(AacUnitKind::Sbr);
    CMediaType mt = AacType(Block(0xFF, 0xFF));
    omxtest::FailNextGetHandle(OMX_ErrorInsufficientResources);
    EXPECT_EQ(E_FAIL, SettleAacTypeFrom(&FakeTrack::Read, &track, &mt));
    EXPECT_EQ(Block(0xFF, 0xFF), FormatOf(mt));

    // A reserved channel configuration (0xFF) reaches the component as -1,
    // which it refuses.
    CMediaType reserved = AacType(Block(0xFF, 0xFF, 0xFF));
    DebugCapture capture;
    EXPECT_EQ(E_FAIL, SettleAacTypeFrom(&FakeTrack::Read, &track, &reserved));
    EXPECT_NE(std::string::npos, capture.Text().find("CHANNEL=-1,"));
    EXPECT_EQ(Block(0xFF, 0xFF, 0xFF), FormatOf(reserved));
    omxtest::ResetHooks();
}

}  // namespace
