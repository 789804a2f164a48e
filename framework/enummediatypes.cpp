#include "enummediatypes.h"

#include "basepin.h"

LONG CEnumMediaTypes::OwnerVersion(CBasePin* pPin)
{
    return pPin->GetMediaTypeVersion();
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
        HRESULT hr = m_pOwner->GetMediaType(m_nPosition, &mt);
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
        if (m_pOwner->GetMediaType(m_nPosition, &mt) != S_OK) return S_FALSE;
        ++m_nPosition;
    }
    return S_OK;
}
