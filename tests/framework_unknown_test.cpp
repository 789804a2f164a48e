// CUnknown: the reference counting and QueryInterface rules every COM
// object of the module inherits, alone and aggregated.
#include <gtest/gtest.h>

#include "comtest.h"
#include "unknown.h"

namespace {

// {A1B2C3D4-0001-4000-8000-00000000AB01}
const IID IID_ITestThing = {0xA1B2C3D4, 0x0001, 0x4000, {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAB, 0x01}};

struct ITestThing : public IUnknown {
    STDMETHOD_(int, Value)() PURE;
};

class CThing : public CUnknown, public ITestThing {
public:
    explicit CThing(LPUNKNOWN pUnk, bool* pbDestroyed = nullptr)
        : CUnknown(L"CThing", pUnk), m_pbDestroyed(pbDestroyed)
    {
    }
    ~CThing() override
    {
        if (m_pbDestroyed) *m_pbDestroyed = true;
    }
    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_ITestThing)) return GetInterface(static_cast<ITestThing*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(int) Value() override { return 42; }

private:
    bool* m_pbDestroyed;
};

// An outer object that aggregates a CThing and exposes its ITestThing.
class COuter final : public IUnknown {
public:
    COuter() : m_pInner(new CThing(this))
    {
        m_pInner->NonDelegatingQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&m_pInnerUnknown));
    }
    ~COuter() { m_pInnerUnknown->Release(); }
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown)) {
            *ppv = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return m_pInnerUnknown->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG c = --m_cRef;
        if (c == 0) delete this;
        return c;
    }

    ULONG m_cRef = 1;
    CThing* m_pInner;
    IUnknown* m_pInnerUnknown = nullptr;
};

}  // namespace

TEST(Unknown, PassesTheComIdentityChecklist)
{
    CThing* pThing = new CThing(nullptr);
    pThing->NonDelegatingAddRef();
    CHECK_COM_IDENTITY(static_cast<ITestThing*>(pThing), {IID_ITestThing});
    EXPECT_REF(static_cast<ITestThing*>(pThing), 1);
    pThing->NonDelegatingRelease();
}

TEST(Unknown, QueryInterfaceForIUnknownGivesTheSamePointerFromEveryInterface)
{
    CThing* pThing = new CThing(nullptr);
    pThing->NonDelegatingAddRef();
    IUnknown* pA = nullptr;
    IUnknown* pB = nullptr;
    ASSERT_EQ(S_OK, pThing->NonDelegatingQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pA)));
    ASSERT_EQ(S_OK, static_cast<ITestThing*>(pThing)->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pB)));
    EXPECT_EQ(pA, pB);
    EXPECT_REF(pA, 3);
    pA->Release();
    pB->Release();
    EXPECT_REF(static_cast<ITestThing*>(pThing), 1);
    pThing->NonDelegatingRelease();
}

TEST(Unknown, UnknownInterfaceGivesNoInterfaceAndNull)
{
    CThing* pThing = new CThing(nullptr);
    pThing->NonDelegatingAddRef();
    void* pv = pThing;
    EXPECT_EQ(E_NOINTERFACE, pThing->NonDelegatingQueryInterface(IID_ITestNobodyImplements, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(E_POINTER, pThing->NonDelegatingQueryInterface(IID_ITestThing, nullptr));
    EXPECT_REF(static_cast<ITestThing*>(pThing), 1);
    pThing->NonDelegatingRelease();
}

TEST(Unknown, LastReleaseDestroysAndCountsTheObjectOut)
{
    LONG lBefore = CBaseObject::ObjectsActive();
    bool bDestroyed = false;
    CThing* pThing = new CThing(nullptr, &bDestroyed);
    EXPECT_EQ(lBefore + 1, CBaseObject::ObjectsActive());
    ITestThing* pInterface = pThing;
    EXPECT_EQ(1u, pInterface->AddRef());
    EXPECT_EQ(2u, pInterface->AddRef());
    EXPECT_EQ(1u, pInterface->Release());
    EXPECT_FALSE(bDestroyed);
    EXPECT_EQ(0u, pInterface->Release());
    EXPECT_TRUE(bDestroyed);
    EXPECT_EQ(lBefore, CBaseObject::ObjectsActive());
}

TEST(Unknown, AggregatedObjectForwardsToTheOuterUnknown)
{
    COuter* pOuter = new COuter;
    ITestThing* pThing = nullptr;
    ASSERT_EQ(S_OK, pOuter->QueryInterface(IID_ITestThing, reinterpret_cast<void**>(&pThing)));
    EXPECT_EQ(42, pThing->Value());
    // The inner interface's references are the outer object's.
    EXPECT_EQ(2u, pOuter->m_cRef);
    IUnknown* pIdentity = nullptr;
    ASSERT_EQ(S_OK, pThing->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pIdentity)));
    EXPECT_EQ(static_cast<IUnknown*>(pOuter), pIdentity);
    EXPECT_EQ(3u, pOuter->m_cRef);
    pIdentity->Release();
    pThing->Release();
    EXPECT_EQ(0u, pOuter->Release());
}

TEST(Unknown, InnerUnknownOfAnAggregateKeepsItsOwnCount)
{
    COuter* pOuter = new COuter;
    EXPECT_REF(pOuter->m_pInnerUnknown, 1);
    EXPECT_EQ(1u, pOuter->m_cRef);
    pOuter->Release();
}
