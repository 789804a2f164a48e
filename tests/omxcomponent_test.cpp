// The platform's OpenMAX IL core and its AAC header-parsing component,
// driven directly: strictness towards callers, the state machine, and the
// profile detection itself.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <mutex>
#include <vector>

#include "aacunits.h"
#include "omx/OMX_Component.h"
#include "omx/omxtesthooks.h"

namespace {

const char kName[] = "OMX.ORVANE.KELDRA.AUDIO.AACHEAD";

// Collects what the component reports through its callbacks.
struct Observer {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<OMX_EVENTTYPE, OMX_U32>> events;
    int emptied = 0;
    int filled = 0;

    // Runs one change under the lock and wakes the waiters.
    template <typename Change>
    static OMX_ERRORTYPE Note(OMX_PTR pApp, Change change)
    {
        Observer* self = static_cast<Observer*>(pApp);
        std::lock_guard<std::mutex> guard(self->lock);
        change(self);
        self->changed.notify_all();
        return OMX_ErrorNone;
    }
    static OMX_ERRORTYPE OnEvent(OMX_HANDLETYPE, OMX_PTR pApp, OMX_EVENTTYPE e, OMX_U32 d1, OMX_U32, OMX_PTR)
    {
        return Note(pApp, [&](Observer* self) { self->events.emplace_back(e, d1); });
    }
    static OMX_ERRORTYPE OnEmpty(OMX_HANDLETYPE, OMX_PTR pApp, OMX_BUFFERHEADERTYPE*)
    {
        return Note(pApp, [](Observer* self) { ++self->emptied; });
    }
    static OMX_ERRORTYPE OnFill(OMX_HANDLETYPE, OMX_PTR pApp, OMX_BUFFERHEADERTYPE*)
    {
        return Note(pApp, [](Observer* self) { ++self->filled; });
    }
    // Waits until `count` events have arrived; false after two seconds.
    bool WaitForEvents(size_t count)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(2), [&] { return events.size() >= count; });
    }
    bool WaitForBuffers(int count)
    {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, std::chrono::seconds(2), [&] { return emptied + filled >= count; });
    }
};

template <typename T>
void Prepare(T* p, OMX_U32 nPort)
{
    std::memset(p, 0, sizeof(T));
    p->nSize = sizeof(T);
    p->nVersion.nVersion = OMX_VERSION;
    p->nPortIndex = nPort;
}

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        omxtest::ResetHooks();
        ASSERT_EQ(OMX_ErrorNone, OMX_Init());
        OMX_CALLBACKTYPE callbacks = {&Observer::OnEvent, &Observer::OnEmpty, &Observer::OnFill};
        OMX_HANDLETYPE h = nullptr;
        ASSERT_EQ(OMX_ErrorNone, OMX_GetHandle(&h, const_cast<char*>(kName), &m_observer, &callbacks));
        m_pComponent = static_cast<OMX_COMPONENTTYPE*>(h);
    }
    void TearDown() override
    {
        if (m_pComponent) { EXPECT_EQ(OMX_ErrorNone, OMX_FreeHandle(m_pComponent)); }
        EXPECT_EQ(OMX_ErrorNone, OMX_Deinit());
        EXPECT_EQ(0, omxtest::LiveComponents());
        omxtest::ResetHooks();
    }
    OMX_ERRORTYPE SetState(OMX_STATETYPE s)
    {
        return m_pComponent->SendCommand(m_pComponent, OMX_CommandStateSet, s, nullptr);
    }
    OMX_STATETYPE State()
    {
        OMX_STATETYPE s = OMX_StateInvalid;
        m_pComponent->GetState(m_pComponent, &s);
        return s;
    }

    Observer m_observer;
    OMX_COMPONENTTYPE* m_pComponent = nullptr;
};

TEST(OmxCore, GetHandleNeedsInitAndAKnownName)
{
    omxtest::ResetHooks();
    OMX_CALLBACKTYPE callbacks = {&Observer::OnEvent, &Observer::OnEmpty, &Observer::OnFill};
    Observer observer;
    OMX_HANDLETYPE h = reinterpret_cast<OMX_HANDLETYPE>(1);
    EXPECT_EQ(OMX_ErrorNotReady, OMX_GetHandle(&h, const_cast<char*>(kName), &observer, &callbacks));
    EXPECT_EQ(nullptr, h);

    ASSERT_EQ(OMX_ErrorNone, OMX_Init());
    EXPECT_EQ(OMX_ErrorComponentNotFound,
              OMX_GetHandle(&h, const_cast<char*>("OMX.ORVANE.KELDRA.AUDIO.MP3"), &observer, &callbacks));
    omxtest::FailNextGetHandle(OMX_ErrorInsufficientResources);
    EXPECT_EQ(OMX_ErrorInsufficientResources, OMX_GetHandle(&h, const_cast<char*>(kName), &observer, &callbacks));
    // The hook fires once.
    ASSERT_EQ(OMX_ErrorNone, OMX_GetHandle(&h, const_cast<char*>(kName), &observer, &callbacks));
    EXPECT_EQ(1, omxtest::LiveComponents());
    EXPECT_EQ(OMX_ErrorNone, OMX_FreeHandle(h));
    EXPECT_EQ(OMX_ErrorBadParameter, OMX_FreeHandle(h));  // not a live handle any more
    EXPECT_EQ(OMX_ErrorNone, OMX_Deinit());
    EXPECT_EQ(OMX_ErrorNotReady, OMX_Deinit());
    EXPECT_EQ(0, omxtest::CoreInitCount());
}

TEST_F(ComponentTest, RejectsWrongSizeVersionAndPortIndex)
{
    OMX_PARAM_PORTDEFINITIONTYPE def;
    Prepare(&def, 0);
    ASSERT_EQ(OMX_ErrorNone, m_pComponent->GetParameter(m_pComponent, OMX_IndexParamPortDefinition, &def));
    EXPECT_EQ(OMX_DirInput, def.eDir);
    EXPECT_EQ(6144u, def.nBufferSize);

    Prepare(&def, 0);
    def.nSize -= 4;
    EXPECT_EQ(OMX_ErrorBadParameter, m_pComponent->GetParameter(m_pComponent, OMX_IndexParamPortDefinition, &def));
    Prepare(&def, 0);
    def.nVersion.s.nVersionMinor = 0;
    EXPECT_EQ(OMX_ErrorVersionMismatch,
              m_pComponent->GetParameter(m_pComponent, OMX_IndexParamPortDefinition, &def));
    Prepare(&def, 2);
    EXPECT_EQ(OMX_ErrorBadPortIndex, m_pComponent->GetParameter(m_pComponent, OMX_IndexParamPortDefinition, &def));

    OMX_AUDIO_PARAM_AACPROFILETYPE aac;
    Prepare(&aac, 1);  // the AAC parameters belong to the input port only
    EXPECT_EQ(OMX_ErrorBadPortIndex, m_pComponent->GetParameter(m_pComponent, OMX_IndexParamAudioAac, &aac));
    Prepare(&aac, 0);
    EXPECT_EQ(OMX_ErrorUnsupportedIndex, m_pComponent->GetParameter(m_pComponent, OMX_IndexParamAudioPcm, &aac));
}

TEST_F(ComponentTest, RefusesAacParametersNoConfigurationCanDescribe)
{
    OMX_AUDIO_PARAM_AACPROFILETYPE aac;
    Prepare(&aac, 0);
    ASSERT_EQ(OMX_ErrorNone, m_pComponent->GetParameter(m_pComponent, OMX_IndexParamAudioAac, &aac));
    aac.nSampleRate = 48000;
    aac.nChannels = 0xFFFFFFFF;  // a reserved channel configuration passed on as -1
    EXPECT_EQ(OMX_ErrorBadParameter, m_pComponent->SetParameter(m_pComponent, OMX_IndexParamAudioAac, &aac));
    aac.nChannels = 2;
    aac.nSampleRate = 0;
    EXPECT_EQ(OMX_ErrorBadParameter, m_pComponent->SetParameter(m_pComponent, OMX_IndexParamAudioAac, &aac));
    aac.nSampleRate = 48000;
    aac.eAACStreamFormat = OMX_AUDIO_AACStreamFormatMP2ADTS;
    EXPECT_EQ(OMX_ErrorUnsupportedSetting, m_pComponent->SetParameter(m_pComponent, OMX_IndexParamAudioAac, &aac));
    aac.eAACStreamFormat = OMX_AUDIO_AACStreamFormatRAW;
    EXPECT_EQ(OMX_ErrorNone, m_pComponent->SetParameter(m_pComponent, OMX_IndexParamAudioAac, &aac));
}

TEST_F(ComponentTest, ReportsForbiddenTransitionsAsErrorEvents)
{
    ASSERT_EQ(OMX_ErrorNone, SetState(OMX_StateExecuting));  // Loaded -> Executing skips Idle
    ASSERT_EQ(OMX_ErrorNone, SetState(OMX_StateLoaded));     // already there
    ASSERT_TRUE(m_observer.WaitForEvents(2));
    EXPECT_EQ(OMX_EventError, m_observer.events[0].first);
    EXPECT_EQ(static_cast<OMX_U32>(OMX_ErrorIncorrectStateTransition), m_observer.events[0].second);
    EXPECT_EQ(OMX_EventError, m_observer.events[1].first);
    EXPECT_EQ(static_cast<OMX_U32>(OMX_ErrorSameState), m_observer.events[1].second);
    EXPECT_EQ(OMX_StateLoaded, State());
    EXPECT_EQ(OMX_ErrorBadParameter, SetState(static_cast<OMX_STATETYPE>(9)));
}

TEST_F(ComponentTest, HandsOutBuffersOnlyOnTheWayToIdle)
{
    OMX_BUFFERHEADERTYPE* pIn = nullptr;
    OMX_BUFFERHEADERTYPE* pOut = nullptr;
    EXPECT_EQ(OMX_ErrorIncorrectStateOperation, m_pComponent->AllocateBuffer(m_pComponent, &pIn, 0, nullptr, 6144));

    ASSERT_EQ(OMX_ErrorNone, SetState(OMX_StateIdle));
    EXPECT_EQ(OMX_ErrorBadParameter, m_pComponent->AllocateBuffer(m_pComponent, &pIn, 0, nullptr, 100));
    EXPECT_EQ(OMX_ErrorBadPortIndex, m_pComponent->AllocateBuffer(m_pComponent, &pIn, 2, nullptr, 6144));
    ASSERT_EQ(OMX_ErrorNone, m_pComponent->AllocateBuffer(m_pComponent, &pIn, 0, nullptr, 6144));
    EXPECT_EQ(OMX_StateLoaded, State());  // the output port is not populated yet
    ASSERT_EQ(OMX_ErrorNone, m_pComponent->AllocateBuffer(m_pComponent, &pOut, 1, nullptr, 4096));
    ASSERT_TRUE(m_observer.WaitForEvents(1));
    EXPECT_EQ(OMX_EventCmdComplete, m_observer.events[0].first);
    EXPECT_EQ(OMX_StateIdle, State());

    // Buffers go to the component only while it executes or pauses.
    EXPECT_EQ(OMX_ErrorIncorrectStateOperation, m_pComponent->EmptyThisBuffer(m_pComponent, pIn));
    // A buffer of one port given to the other.
    EXPECT_EQ(OMX_ErrorBadPortIndex, m_pComponent->FillThisBuffer(m_pComponent, pIn));

    // Freeing outside Idle -> Loaded loses the port's buffer: freed, and reported.
    EXPECT_EQ(OMX_ErrorNone, m_pComponent->FreeBuffer(m_pComponent, 0, pIn));
    ASSERT_TRUE(m_observer.WaitForEvents(2));
    EXPECT_EQ(OMX_EventError, m_observer.events[1].first);
    EXPECT_EQ(static_cast<OMX_U32>(OMX_ErrorPortUnpopulated), m_observer.events[1].second);
    // The output buffer is left for the component's end to reclaim.
}

TEST_F(ComponentTest, ParsesOneUnitAndReturnsBothBuffers)
{
    OMX_AUDIO_PARAM_AACPROFILETYPE aac;
    Prepare(&aac, 0);
    ASSERT_EQ(OMX_ErrorNone, m_pComponent->GetParameter(m_pComponent, OMX_IndexParamAudioAac, &aac));
    aac.nSampleRate = kAacUnitCoreRate;
    aac.nChannels = kAacUnitChannels;
    ASSERT_EQ(OMX_ErrorNone, m_pComponent->SetParameter(m_pComponent, OMX_IndexParamAudioAac, &aac));

    OMX_BUFFERHEADERTYPE* pIn = nullptr;
    OMX_BUFFERHEADERTYPE* pOut = nullptr;
    ASSERT_EQ(OMX_ErrorNone, SetState(OMX_StateIdle));
    ASSERT_EQ(OMX_ErrorNone, m_pComponent->AllocateBuffer(m_pComponent, &pIn, 0, nullptr, 6144));
    ASSERT_EQ(OMX_ErrorNone, m_pComponent->AllocateBuffer(m_pComponent, &pOut, 1, nullptr, 4096));
    ASSERT_EQ(OMX_ErrorNone, SetState(OMX_StateExecuting));
    ASSERT_TRUE(m_observer.WaitForEvents(2));

    std::vector<uint8_t> unit = SilentMonoAacUnit(AacUnitKind::SbrPs);
    std::memcpy(pIn->pBuffer, unit.data(), unit.size());
    pIn->nFilledLen = static_cast<OMX_U32>(unit.size());
    pIn->nOffset = pIn->nAllocLen;  // data would run past the buffer
    EXPECT_EQ(OMX_ErrorBadParameter, m_pComponent->EmptyThisBuffer(m_pComponent, pIn));
    pIn->nOffset = 0;
    ASSERT_EQ(OMX_ErrorNone, m_pComponent->EmptyThisBuffer(m_pComponent, pIn));
    ASSERT_EQ(OMX_ErrorNone, m_pComponent->FillThisBuffer(m_pComponent, pOut));
    ASSERT_TRUE(m_observer.WaitForBuffers(2));
    EXPECT_EQ(0u, pOut->nFilledLen);

    Prepare(&aac, 0);
    ASSERT_EQ(OMX_ErrorNone, m_pComponent->GetParameter(m_pComponent, OMX_IndexParamAudioAac, &aac));
    EXPECT_EQ(OMX_AUDIO_AACObjectHE_PS, aac.eAACProfile);
}

}  // namespace
