// The module's class object and unload decision: DllGetClassObject, the
// class factory's interfaces and creation rules (aggregation included), and
// DllCanUnloadNow with server locks and live objects.
#include <gtest/gtest.h>

#include "classfactory.h"
#include "comtest.h"
#include "demuxfilter.h"
#include "win32.h"

namespace {

// {5D1C3E7A-0B2F-4C6D-9E8A-7F6B5A4C3D2E}
const CLSID kOtherClsid = {0x5D1C3E7A, 0x0B2F, 0x4C6D, {0x9E, 0x8A, 0x7F, 0x6B, 0x5A, 0x4C, 0x3D, 0x2E}};

IClassFactory* GetFactory()
{
    IClassFactory* pFactory = nullptr;
    EXPECT_EQ(S_OK, DllGetClassObject(CLSID_DemuxFilter, IID_IClassFactory, reinterpret_cast<void**>(&pFactory)));
    return pFactory;
}

// An outer object that counts its own references and hands out nothing.
class COuterUnknown : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override
    {
        *ppv = nullptr;
        ++m_cQueries;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }

    ULONG m_cRef = 1;
    int m_cQueries = 0;
};

}  // namespace

TEST(DllGetClassObject, RefusesOtherInterfacesAndClasses)
{
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, DllGetClassObject(CLSID_DemuxFilter, IID_IPersist, &pv));
    EXPECT_EQ(E_NOINTERFACE, DllGetClassObject(CLSID_DemuxFilter, IID_IBaseFilter, &pv));
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(kOtherClsid, IID_IClassFactory, &pv));
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, DllGetClassObject(GUID_NULL, IID_IUnknown, &pv));
}

TEST(DllGetClassObject, HandsOutFactoryWithOneReferenceThatCountsAsLiveObject)
{
    LONG cBefore = CBaseObject::ObjectsActive();
    IUnknown* pUnk = nullptr;
    ASSERT_EQ(S_OK, DllGetClassObject(CLSID_DemuxFilter, IID_IUnknown, reinterpret_cast<void**>(&pUnk)));
    EXPECT_REF(pUnk, 1);
    EXPECT_EQ(cBefore + 1, CBaseObject::ObjectsActive());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow());
    EXPECT_EQ(0u, pUnk->Release());
    EXPECT_EQ(cBefore, CBaseObject::ObjectsActive());
}

TEST(ClassFactory, CreatesOneFilterOrNothingAtAll)
{
    IClassFactory* pFactory = GetFactory();
    ASSERT_NE(nullptr, pFactory);
    CHECK_COM_IDENTITY(pFactory, {IID_IUnknown, IID_IClassFactory});
    EXPECT_EQ(E_POINTER, pFactory->QueryInterface(IID_IClassFactory, nullptr));

    IBaseFilter* pFilter = nullptr;
    ASSERT_EQ(S_OK, pFactory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&pFilter)));
    EXPECT_REF(pFilter, 1);
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, pFilter->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_DemuxFilter, clsid));
    EXPECT_EQ(0u, pFilter->Release());

    const LONG cBefore = CBaseObject::ObjectsActive();
    EXPECT_EQ(E_POINTER, pFactory->CreateInstance(nullptr, IID_IBaseFilter, nullptr));
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, pFactory->CreateInstance(nullptr, IID_ITestNobodyImplements, &pv));
    EXPECT_EQ(nullptr, pv);
    // Aggregation asks for IUnknown or nothing.
    COuterUnknown outer;
    pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, pFactory->CreateInstance(&outer, IID_IBaseFilter, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(1u, outer.m_cRef);
    EXPECT_EQ(cBefore, CBaseObject::ObjectsActive()) << "a refused creation leaves no object behind";
    EXPECT_EQ(0u, pFactory->Release());
}

TEST(ClassFactory, AggregatesFilterUnderOuterUnknown)
{
    IClassFactory* pFactory = GetFactory();
    ASSERT_NE(nullptr, pFactory);
    COuterUnknown outer;
    IUnknown* pInner = nullptr;
    ASSERT_EQ(S_OK, pFactory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&pInner)));
    EXPECT_EQ(0u, pFactory->Release());
    EXPECT_REF(pInner, 1);
    EXPECT_EQ(1u, outer.m_cRef) << "the inner object must not hold its outer object";

    // The inner unknown hands out the filter; the filter's own IUnknown
    // methods then go to the outer object.
    IBaseFilter* pFilter = nullptr;
    ASSERT_EQ(S_OK, pInner->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&pFilter)));
    EXPECT_EQ(2u, outer.m_cRef);
    IUnknown* pAny = nullptr;
    EXPECT_EQ(E_NOINTERFACE, pFilter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pAny)));
    EXPECT_EQ(1, outer.m_cQueries);
    pFilter->Release();
    EXPECT_EQ(1u, outer.m_cRef);
    EXPECT_REF(pInner, 1);

    EXPECT_EQ(0u, pInner->Release());
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}

// The creation rules, over a template table whose creation function fails
// on demand.
namespace {

HRESULT g_hrCreate = S_OK;
bool g_bCreateObject = true;

class CPlainObject : public CUnknown {
public:
    CPlainObject(LPUNKNOWN pUnk) : CUnknown(L"Plain object", pUnk) {}
};

CUnknown* WINAPI CreatePlainObject(LPUNKNOWN pUnk, HRESULT* phr)
{
    *phr = g_hrCreate;
    return g_bCreateObject ? new CPlainObject(pUnk) : nullptr;
}

const CFactoryTemplate kPlainTemplates[] = {
    {L"Plain object", &kOtherClsid, CreatePlainObject, nullptr, nullptr},
};

HRESULT CreateThroughTemplate(HRESULT hrCreate, bool bCreateObject, void** ppv)
{
    g_hrCreate = hrCreate;
    g_bCreateObject = bCreateObject;
    IClassFactory* pFactory = nullptr;
    HRESULT hr = ModuleGetClassObject(kPlainTemplates, 1, kOtherClsid, IID_IClassFactory,
                                      reinterpret_cast<void**>(&pFactory));
    EXPECT_EQ(S_OK, hr);
    if (FAILED(hr)) return hr;
    hr = pFactory->CreateInstance(nullptr, IID_IUnknown, ppv);
    pFactory->Release();
    return hr;
}

}  // namespace

TEST(ClassFactory, CreationResultDecidesWhatCreateInstanceReturns)
{
    LONG cBefore = CBaseObject::ObjectsActive();
    void* pv = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_OUTOFMEMORY, CreateThroughTemplate(S_OK, false, &pv)) << "no object and no error";
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(E_FAIL, CreateThroughTemplate(E_FAIL, false, &pv));
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, CreateThroughTemplate(VFW_E_TYPE_NOT_ACCEPTED, true, &pv))
        << "an object that reports failure is deleted";
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(cBefore, CBaseObject::ObjectsActive());

    ASSERT_EQ(S_OK, CreateThroughTemplate(S_FALSE, true, &pv)) << "a success code other than S_OK still succeeds";
    EXPECT_EQ(0u, static_cast<IUnknown*>(pv)->Release());
    EXPECT_EQ(cBefore, CBaseObject::ObjectsActive());
}

TEST(DllCanUnloadNow, ServerLockKeepsModuleUntilMatchingUnlock)
{
    ASSERT_EQ(S_OK, DllCanUnloadNow()) << "an earlier test left an object alive";
    IClassFactory* pFactory = GetFactory();
    ASSERT_NE(nullptr, pFactory);
    EXPECT_EQ(S_OK, pFactory->LockServer(TRUE));
    EXPECT_EQ(S_OK, pFactory->LockServer(TRUE));
    EXPECT_EQ(0u, pFactory->Release());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "locked with no object alive";

    pFactory = GetFactory();
    ASSERT_NE(nullptr, pFactory);
    EXPECT_EQ(S_OK, pFactory->LockServer(FALSE));
    EXPECT_EQ(0u, pFactory->Release());
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "one lock still held";

    pFactory = GetFactory();
    ASSERT_NE(nullptr, pFactory);
    EXPECT_EQ(S_OK, pFactory->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, DllCanUnloadNow()) << "the factory itself is alive";
    EXPECT_EQ(0u, pFactory->Release());
    EXPECT_EQ(S_OK, DllCanUnloadNow());
}
