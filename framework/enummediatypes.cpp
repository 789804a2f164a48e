#include "enummediatypes.h"

#include <new>

#include "basepin.h"

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pPin, const CEnumMediaTypes* pSource)
    : CUnknown(L"CEnumMediaTypes", NULL),
      m_pPin(pPin),
      m_nPosition(pSource ? pSource->m_nPosition : 0),
      m_lVersion(pSource ? pSource->m_lVersion : pPin->GetMediaTypeVersion())
{
    m_pPin->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes()
{
    m_pPin->Release();
}

STDMETHODIMP CEnumMediaTypes::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IEnumMediaTypes)) return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

bool CEnumMediaTypes::OutOfSync()
{
    return m_pPin->GetMediaTypeVersion() != m_lVersion;
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched)
{
    CheckPointer(ppMediaTypes, E_POINTER);
    if (pcFetched == NULL && cMediaTypes != 1) return E_INVALIDARG;
    if (pcFetched) *pcFetched = 0;
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG cFetched = 0;
    while (cFetched < cMediaTypes) {
        CMediaType mt;
        HRESULT hr = m_pPin->GetMediaType(m_nPosition, &mt);
        // A pin that could not copy its type says so; any other answer but
        // S_OK ends the list (a pin without types answers E_UNEXPECTED).
        if (hr == E_OUTOFMEMORY) {
            if (pcFetched) *pcFetched = cFetched;
            return E_OUTOFMEMORY;
        }
        if (hr != S_OK) break;
        AM_MEDIA_TYPE* pType = CreateMediaType(&mt);
        if (pType == NULL) {
            // What was handed out so far stays the caller's.
            if (pcFetched) *pcFetched = cFetched;
            return E_OUTOFMEMORY;
        }
        ++m_nPosition;
        ppMediaTypes[cFetched++] = pType;
    }
    if (pcFetched) *pcFetched = cFetched;
    return cFetched == cMediaTypes ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG cMediaTypes)
{
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    for (ULONG i = 0; i < cMediaTypes; ++i) {
        CMediaType mt;
        if (m_pPin->GetMediaType(m_nPosition, &mt) != S_OK) return S_FALSE;
        ++m_nPosition;
    }
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset()
{
    m_lVersion = m_pPin->GetMediaTypeVersion();
    m_nPosition = 0;
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum)
{
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = NULL;
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    CEnumMediaTypes* pEnum = new (std::nothrow) CEnumMediaTypes(m_pPin, this);
    if (pEnum == NULL) return E_OUTOFMEMORY;
    pEnum->AddRef();
    *ppEnum = pEnum;
    return S_OK;
}
