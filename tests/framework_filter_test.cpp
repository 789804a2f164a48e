// CBaseFilter: state changes driving the pins' Active/Inactive/Run in pin
// order, and the IBaseFilter bookkeeping (graph, name, event sink, pins).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "comtest.h"
#include "debugcapture.h"
#include "hostgraph.h"
#include "recordingsink.h"
#include "testfilters.h"

namespace {

using Log = std::vector<std::string>;

class FilterStateTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_pFilter = CLoggingFilter::Create(3);
        m_pPeer = CRecordingSink::Create();
        m_pFilter->Pin(0)->FakeConnect(m_pPeer->InputPin());
        m_pFilter->Pin(2)->FakeConnect(m_pPeer->InputPin());
    }
    void TearDown() override
    {
        for (int i = 0; i < 3; ++i) m_pFilter->Pin(i)->FakeConnect(nullptr);
        EXPECT_EQ(0u, m_pFilter->Release());
        EXPECT_EQ(0u, m_pPeer->Release());
    }
    FILTER_STATE State()
    {
        FILTER_STATE state;
        EXPECT_EQ(S_OK, m_pFilter->GetState(0, &state));
        return state;
    }

    CLoggingFilter* m_pFilter = nullptr;
    CRecordingSink* m_pPeer = nullptr;
};

class CFixedClock : public CUnknown, public IReferenceClock {
public:
    CFixedClock() : CUnknown(L"CFixedClock", nullptr) {}
    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IReferenceClock)) return GetInterface(static_cast<IReferenceClock*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    STDMETHODIMP GetTime(REFERENCE_TIME* pTime) override
    {
        *pTime = 5000000;
        return S_OK;
    }
    STDMETHODIMP AdviseTime(REFERENCE_TIME, REFERENCE_TIME, HEVENT, DWORD_PTR*) override { return E_NOTIMPL; }
    STDMETHODIMP AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE, DWORD_PTR*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD_PTR) override { return E_NOTIMPL; }
};

}  // namespace

TEST_F(FilterStateTest, PauseFromStoppedActivatesConnectedPinsInPinOrderOnce)
{
    EXPECT_EQ(S_OK, m_pFilter->Pause());
    EXPECT_EQ((Log{"p0.Active", "p2.Active"}), m_pFilter->Log());
    EXPECT_EQ(State_Paused, State());
    m_pFilter->Log().clear();
    EXPECT_EQ(S_OK, m_pFilter->Pause());
    EXPECT_TRUE(m_pFilter->Log().empty());
}

// A Pause that fails half-way undoes what it did, and Stop deactivates every
// connected pin whatever the state, so nothing stays active on a stopped filter.
TEST_F(FilterStateTest, FailedPauseDeactivatesThePinsBeforeAndStopReachesEveryPin)
{
    m_pFilter->Pin(1)->FakeConnect(m_pPeer->InputPin());
    m_pFilter->Pin(1)->m_hrActive = E_OUTOFMEMORY;
    EXPECT_EQ(E_OUTOFMEMORY, m_pFilter->Pause());
    EXPECT_EQ((Log{"p0.Active", "p1.Active", "p0.Inactive"}), m_pFilter->Log());
    EXPECT_EQ(State_Stopped, State());
    m_pFilter->Log().clear();
    EXPECT_EQ(S_OK, m_pFilter->Stop());
    EXPECT_EQ((Log{"p0.Inactive", "p1.Inactive", "p2.Inactive"}), m_pFilter->Log());
    // Run pauses first, and a failure there is Run's.
    m_pFilter->Log().clear();
    EXPECT_EQ(E_OUTOFMEMORY, m_pFilter->Run(0));
    EXPECT_EQ(State_Stopped, State());
}

TEST_F(FilterStateTest, RunFromStoppedPausesFirstThenRunsEachConnectedPin)
{
    EXPECT_EQ(S_OK, m_pFilter->Run(1234));
    EXPECT_EQ((Log{"p0.Active", "p2.Active", "p0.Run(1234)", "p2.Run(1234)"}), m_pFilter->Log());
    EXPECT_EQ(State_Running, State());
}

TEST_F(FilterStateTest, StopDeactivatesEveryConnectedPinAndKeepsTheFirstError)
{
    ASSERT_EQ(S_OK, m_pFilter->Run(0));
    m_pFilter->Log().clear();
    m_pFilter->Pin(0)->m_hrInactive = E_UNEXPECTED;
    m_pFilter->Pin(2)->m_hrInactive = E_FAIL;
    EXPECT_EQ(E_UNEXPECTED, m_pFilter->Stop());
    EXPECT_EQ((Log{"p0.Inactive", "p2.Inactive"}), m_pFilter->Log());
    EXPECT_EQ(State_Stopped, State());
}

TEST_F(FilterStateTest, StreamTimeIsClockTimeLessTheRunStart)
{
    REFERENCE_TIME rt = 0;
    EXPECT_EQ(VFW_E_NO_CLOCK, m_pFilter->StreamTime(rt));
    CFixedClock* pClock = new CFixedClock;
    pClock->AddRef();
    ASSERT_EQ(S_OK, m_pFilter->SetSyncSource(pClock));
    EXPECT_REF(static_cast<IReferenceClock*>(pClock), 2);
    ASSERT_EQ(S_OK, m_pFilter->Run(2000000));
    EXPECT_EQ(S_OK, m_pFilter->StreamTime(rt));
    EXPECT_EQ(3000000, rt);
    IReferenceClock* pGot = nullptr;
    EXPECT_EQ(S_OK, m_pFilter->GetSyncSource(&pGot));
    EXPECT_EQ(static_cast<IReferenceClock*>(pClock), pGot);
    pGot->Release();
    ASSERT_EQ(S_OK, m_pFilter->SetSyncSource(nullptr));
    EXPECT_EQ(0u, pClock->Release());
}

TEST(BaseFilter, JoiningAGraphTakesItsNameAndEventSinkWithoutReferences)
{
    CHostGraph* pGraph = CHostGraph::Create();
    CLoggingFilter* pFilter = CLoggingFilter::Create(1);
    EXPECT_EQ(E_NOTIMPL, pFilter->NotifyEvent(EC_COMPLETE, 0, 0));

    ASSERT_EQ(S_OK, pGraph->AddFilter(pFilter, L"Logger"));
    EXPECT_REF(static_cast<IFilterGraph*>(pGraph), 1);
    FILTER_INFO info;
    ASSERT_EQ(S_OK, pFilter->QueryFilterInfo(&info));
    EXPECT_EQ("Logger", ToUtf8(info.achName));
    EXPECT_EQ(static_cast<IFilterGraph*>(pGraph), info.pGraph);
    info.pGraph->Release();

    EXPECT_EQ(S_OK, pFilter->NotifyEvent(EC_STREAM_ERROR_STOPPED, E_FAIL, 0));
    std::vector<CHostGraph::Event> events = pGraph->Events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(EC_STREAM_ERROR_STOPPED, events[0].lCode);
    EXPECT_EQ(static_cast<LONG_PTR>(E_FAIL), events[0].lParam1);

    ASSERT_EQ(S_OK, pGraph->RemoveFilter(pFilter));
    EXPECT_EQ(E_NOTIMPL, pFilter->NotifyEvent(EC_COMPLETE, 0, 0));
    ASSERT_EQ(S_OK, pFilter->QueryFilterInfo(&info));
    EXPECT_EQ(nullptr, info.pGraph);
    EXPECT_EQ(0u, pFilter->Release());
    EXPECT_EQ(0u, pGraph->Release());
}

TEST(BaseFilter, EnumPinsHandsOutEveryPinWithAReferenceAndFindPinMissesWithNull)
{
    CLoggingFilter* pFilter = CLoggingFilter::Create(3);
    IEnumPins* pEnum = nullptr;
    ASSERT_EQ(S_OK, pFilter->EnumPins(&pEnum));
    EXPECT_REF(static_cast<IBaseFilter*>(pFilter), 2);  // the enumerator holds the filter
    IPin* apPins[4] = {};
    ULONG cFetched = 0;
    EXPECT_EQ(S_FALSE, pEnum->Next(4, apPins, &cFetched));
    ASSERT_EQ(3u, cFetched);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(static_cast<IPin*>(pFilter->Pin(i)), apPins[i]);
    EXPECT_REF(static_cast<IBaseFilter*>(pFilter), 5);
    for (int i = 0; i < 3; ++i) apPins[i]->Release();

    EXPECT_EQ(S_OK, pEnum->Reset());
    EXPECT_EQ(S_OK, pEnum->Skip(2));
    EXPECT_EQ(S_FALSE, pEnum->Skip(2));
    EXPECT_EQ(E_INVALIDARG, pEnum->Next(2, apPins, nullptr));

    pFilter->IncrementPinVersion();
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, pEnum->Next(1, apPins, nullptr));
    EXPECT_EQ(S_OK, pEnum->Reset());
    EXPECT_EQ(S_OK, pEnum->Next(1, apPins, nullptr));
    apPins[0]->Release();
    apPins[0] = reinterpret_cast<IPin*>(1);
    EXPECT_EQ(VFW_E_NOT_FOUND, pFilter->FindPin(L"p3", &apPins[0]));
    EXPECT_EQ(nullptr, apPins[0]);
    EXPECT_EQ(0u, pEnum->Release());
    EXPECT_EQ(0u, pFilter->Release());
}
