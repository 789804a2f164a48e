#include "classfactory.h"

#include <new>

volatile LONG CClassFactory::m_cLocked = 0;

CClassFactory::CClassFactory(const CFactoryTemplate* pTemplate)
    : CBaseObject(L"Class factory"), m_cRef(0), m_pTemplate(pTemplate)
{
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CClassFactory::Release()
{
    LONG lRef = InterlockedDecrement(&m_cRef);
    if (lRef == 0) {
        delete this;
        return 0;
    }
    return static_cast<ULONG>(lRef);
}

STDMETHODIMP CClassFactory::CreateInstance(LPUNKNOWN pUnkOuter, REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    *ppv = NULL;
    // An aggregated object can hand its outer object nothing but its inner unknown.
    if (pUnkOuter != NULL && !IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;

    HRESULT hr = S_OK;
    CUnknown* pObject = m_pTemplate->m_lpfnNew(pUnkOuter, &hr);
    if (pObject == NULL) return SUCCEEDED(hr) ? E_OUTOFMEMORY : hr;
    if (FAILED(hr)) {
        delete pObject;
        return hr;
    }
    // The temporary reference keeps the object alive through the query and
    // deletes it when the query fails.
    pObject->NonDelegatingAddRef();
    hr = pObject->NonDelegatingQueryInterface(riid, ppv);
    pObject->NonDelegatingRelease();
    return hr;
}

STDMETHODIMP CClassFactory::LockServer(BOOL fLock)
{
    if (fLock) {
        InterlockedIncrement(&m_cLocked);
    } else {
        InterlockedDecrement(&m_cLocked);
    }
    return S_OK;
}

BOOL CClassFactory::IsLocked()
{
    return InterlockedExchangeAdd(&m_cLocked, 0) > 0 ? TRUE : FALSE;
}

HRESULT ModuleGetClassObject(const CFactoryTemplate* pTemplates, int cTemplates, REFCLSID rclsid, REFIID riid,
                             void** ppv)
{
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    for (int i = 0; i < cTemplates; ++i) {
        if (!pTemplates[i].IsClassID(rclsid)) continue;
        CheckPointer(ppv, E_POINTER);
        CClassFactory* pFactory = new (std::nothrow) CClassFactory(&pTemplates[i]);
        if (pFactory == NULL) {
            *ppv = NULL;
            return E_OUTOFMEMORY;
        }
        *ppv = static_cast<IClassFactory*>(pFactory);
        pFactory->AddRef();
        return S_OK;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT ModuleCanUnloadNow()
{
    return CClassFactory::IsLocked() || CBaseObject::ObjectsActive() > 0 ? S_FALSE : S_OK;
}
