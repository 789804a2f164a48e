#include "unknown.h"

volatile LONG CBaseObject::m_cObjects = 0;

CBaseObject::CBaseObject(LPCWSTR pObjectName) : m_pObjectName(pObjectName)
{
    InterlockedIncrement(&m_cObjects);
}

CBaseObject::~CBaseObject()
{
    InterlockedDecrement(&m_cObjects);
}

LONG CBaseObject::ObjectsActive()
{
    return InterlockedExchangeAdd(&m_cObjects, 0);
}

CUnknown::CUnknown(LPCWSTR pObjectName, LPUNKNOWN pUnk)
    : CBaseObject(pObjectName), m_cRef(0), m_innerUnknown(this), m_pUnknown(pUnk ? pUnk : &m_innerUnknown)
{
}

CUnknown::~CUnknown()
{
}

STDMETHODIMP CUnknown::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IUnknown)) {
        return GetInterface(&m_innerUnknown, ppv);
    }
    *ppv = NULL;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingAddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_cRef));
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingRelease()
{
    LONG lRef = InterlockedDecrement(&m_cRef);
    if (lRef == 0) {
        // A reference taken and dropped again by the destructor must not
        // bring the count back to zero and delete the object twice.
        m_cRef = 1;
        delete this;
        return 0;
    }
    return static_cast<ULONG>(lRef);
}

STDMETHODIMP CUnknown::CInnerUnknown::QueryInterface(REFIID riid, void** ppv)
{
    return m_pOwner->NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CUnknown::CInnerUnknown::AddRef()
{
    return m_pOwner->NonDelegatingAddRef();
}

STDMETHODIMP_(ULONG) CUnknown::CInnerUnknown::Release()
{
    return m_pOwner->NonDelegatingRelease();
}

HRESULT GetInterface(LPUNKNOWN pUnk, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    *ppv = pUnk;
    pUnk->AddRef();
    return S_OK;
}
