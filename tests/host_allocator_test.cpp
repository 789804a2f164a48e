// The platform memory allocator: properties, commit, blocking GetBuffer,
// Decommit releasing blocked callers, and the media samples it hands out.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "baseoutputpin.h"
#include "comtest.h"
#include "comtesthooks.h"

namespace {

class AllocatorTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(S_OK, CreateMemoryAllocator(&m_pAlloc)); }
    void TearDown() override
    {
        if (m_pAlloc) {
            EXPECT_EQ(0u, m_pAlloc->Release());
        }
        EXPECT_EQ(0, platformtest::LiveMemAllocators());
    }
    void Configure(LONG cBuffers, LONG cbBuffer, LONG cbAlign = 1, LONG cbPrefix = 0)
    {
        ALLOCATOR_PROPERTIES request = {cBuffers, cbBuffer, cbAlign, cbPrefix};
        ASSERT_EQ(S_OK, m_pAlloc->SetProperties(&request, &m_actual));
    }

    IMemAllocator* m_pAlloc = nullptr;
    ALLOCATOR_PROPERTIES m_actual = {};
};

}  // namespace

TEST_F(AllocatorTest, SetPropertiesGrowsTheBufferToWholeAlignmentUnits)
{
    Configure(4, 1000, 128, 0);
    EXPECT_EQ(4, m_actual.cBuffers);
    EXPECT_EQ(1024, m_actual.cbBuffer);
    EXPECT_EQ(128, m_actual.cbAlign);
    Configure(4, 1000, 128, 8);
    EXPECT_EQ(1016, m_actual.cbBuffer) << "prefix and buffer together fill whole units";
    EXPECT_EQ(8, m_actual.cbPrefix);
    ASSERT_EQ(S_OK, m_pAlloc->Commit());
    IMediaSample* pSample = nullptr;
    ASSERT_EQ(S_OK, m_pAlloc->GetBuffer(&pSample, nullptr, nullptr, 0));
    BYTE* pData = nullptr;
    ASSERT_EQ(S_OK, pSample->GetPointer(&pData));
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(pData) % 128) << "the buffer start is aligned";
    EXPECT_EQ(1016, pSample->GetSize());
    pSample->Release();
    EXPECT_EQ(S_OK, m_pAlloc->Decommit());
}

TEST_F(AllocatorTest, RefusesBadAlignmentUnsetSizeAndChangesWhileCommitted)
{
    ALLOCATOR_PROPERTIES request = {1, 100, 0, 0};
    EXPECT_EQ(VFW_E_BADALIGN, m_pAlloc->SetProperties(&request, &m_actual));
    request.cbAlign = 3;
    EXPECT_EQ(VFW_E_BADALIGN, m_pAlloc->SetProperties(&request, &m_actual));
    EXPECT_EQ(VFW_E_SIZENOTSET, m_pAlloc->Commit());
    Configure(1, 100);
    ASSERT_EQ(S_OK, m_pAlloc->Commit());
    request.cbAlign = 1;
    EXPECT_EQ(VFW_E_ALREADY_COMMITTED, m_pAlloc->SetProperties(&request, &m_actual));
    EXPECT_EQ(S_OK, m_pAlloc->Decommit());
}

TEST_F(AllocatorTest, GetBufferBlocksUntilASampleComesBack)
{
    Configure(1, 100);
    ASSERT_EQ(S_OK, m_pAlloc->Commit());
    IMediaSample* pFirst = nullptr;
    ASSERT_EQ(S_OK, m_pAlloc->GetBuffer(&pFirst, nullptr, nullptr, 0));
    IMediaSample* pNone = nullptr;
    EXPECT_EQ(VFW_E_TIMEOUT, m_pAlloc->GetBuffer(&pNone, nullptr, nullptr, AM_GBF_NOWAIT));

    std::atomic<bool> bDone{false};
    IMediaSample* pSecond = nullptr;
    HRESULT hrSecond = E_FAIL;
    std::thread waiter([&] {
        hrSecond = m_pAlloc->GetBuffer(&pSecond, nullptr, nullptr, 0);
        bDone = true;
    });
    Sleep(50);
    EXPECT_FALSE(bDone.load()) << "GetBuffer must wait while every sample is out";
    pFirst->Release();
    waiter.join();
    EXPECT_EQ(S_OK, hrSecond);
    EXPECT_EQ(pFirst, pSecond) << "the one buffer came back and went out again";
    pSecond->Release();
    EXPECT_EQ(S_OK, m_pAlloc->Decommit());
}

TEST_F(AllocatorTest, DecommitReleasesABlockedCaller)
{
    Configure(1, 100);
    ASSERT_EQ(S_OK, m_pAlloc->Commit());
    IMediaSample* pHeld = nullptr;
    ASSERT_EQ(S_OK, m_pAlloc->GetBuffer(&pHeld, nullptr, nullptr, 0));
    HRESULT hrBlocked = S_OK;
    IMediaSample* pBlocked = reinterpret_cast<IMediaSample*>(1);
    std::thread waiter([&] { hrBlocked = m_pAlloc->GetBuffer(&pBlocked, nullptr, nullptr, 0); });
    Sleep(30);
    EXPECT_EQ(S_OK, m_pAlloc->Decommit());
    waiter.join();
    EXPECT_EQ(VFW_E_NOT_COMMITTED, hrBlocked);
    EXPECT_EQ(nullptr, pBlocked);
    pHeld->Release();
}

TEST_F(AllocatorTest, OutstandingSampleKeepsTheAllocatorAlive)
{
    Configure(2, 100);
    ASSERT_EQ(S_OK, m_pAlloc->Commit());
    IMediaSample* pSample = nullptr;
    ASSERT_EQ(S_OK, m_pAlloc->GetBuffer(&pSample, nullptr, nullptr, 0));
    EXPECT_REF(m_pAlloc, 2);
    m_pAlloc->Decommit();
    EXPECT_EQ(1u, m_pAlloc->Release());
    m_pAlloc = nullptr;
    EXPECT_EQ(1, platformtest::LiveMemAllocators());
    EXPECT_EQ(0u, pSample->Release());
    EXPECT_EQ(0, platformtest::LiveMemAllocators());
}

TEST_F(AllocatorTest, SampleKeepsWhatItIsGivenUntilItGoesBack)
{
    Configure(1, 64);
    ASSERT_EQ(S_OK, m_pAlloc->Commit());
    IMediaSample* pSample = nullptr;
    ASSERT_EQ(S_OK, m_pAlloc->GetBuffer(&pSample, nullptr, nullptr, 0));
    CHECK_COM_IDENTITY(pSample, {IID_IMediaSample});

    EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, pSample->SetActualDataLength(65));
    EXPECT_EQ(S_OK, pSample->SetActualDataLength(64));
    EXPECT_EQ(64, pSample->GetActualDataLength());

    REFERENCE_TIME rtStart = 0, rtStop = 0;
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, pSample->GetTime(&rtStart, &rtStop));
    REFERENCE_TIME t0 = 10, t1 = 20;
    pSample->SetTime(&t0, nullptr);
    EXPECT_EQ(VFW_S_NO_STOP_TIME, pSample->GetTime(&rtStart, &rtStop));
    EXPECT_EQ(10, rtStart);
    pSample->SetTime(&t0, &t1);
    EXPECT_EQ(S_OK, pSample->GetTime(&rtStart, &rtStop));
    EXPECT_EQ(20, rtStop);
    LONGLONG m0 = 5, m1 = 6;
    EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, pSample->GetMediaTime(&m0, &m1));
    m0 = 5;
    pSample->SetMediaTime(&m0, &m1);
    LONGLONG g0 = 0, g1 = 0;
    EXPECT_EQ(S_OK, pSample->GetMediaTime(&g0, &g1));
    EXPECT_EQ(5, g0);
    EXPECT_EQ(6, g1);

    EXPECT_EQ(S_FALSE, pSample->IsSyncPoint());
    pSample->SetSyncPoint(TRUE);
    pSample->SetPreroll(TRUE);
    pSample->SetDiscontinuity(TRUE);
    EXPECT_EQ(S_OK, pSample->IsSyncPoint());
    EXPECT_EQ(S_OK, pSample->IsPreroll());
    EXPECT_EQ(S_OK, pSample->IsDiscontinuity());

    AM_MEDIA_TYPE* pType = nullptr;
    EXPECT_EQ(S_FALSE, pSample->GetMediaType(&pType));
    BYTE format[3] = {1, 2, 3};
    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Audio;
    mt.cbFormat = 3;
    mt.pbFormat = format;
    EXPECT_EQ(S_OK, pSample->SetMediaType(&mt));
    ASSERT_EQ(S_OK, pSample->GetMediaType(&pType));
    EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Audio, pType->majortype));
    ASSERT_EQ(3u, pType->cbFormat);
    EXPECT_EQ(3, pType->pbFormat[2]);
    DeleteMediaType(pType);

    // Back in the pool and out again: nothing of the last user is left.
    pSample->Release();
    ASSERT_EQ(S_OK, m_pAlloc->GetBuffer(&pSample, nullptr, nullptr, 0));
    EXPECT_EQ(S_FALSE, pSample->IsSyncPoint());
    EXPECT_EQ(S_FALSE, pSample->IsDiscontinuity());
    EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, pSample->GetTime(&rtStart, &rtStop));
    EXPECT_EQ(S_FALSE, pSample->GetMediaType(&pType));
    pSample->Release();
    m_pAlloc->Decommit();
}
