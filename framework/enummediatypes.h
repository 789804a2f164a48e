// CEnumMediaTypes: IEnumMediaTypes over a pin's offered types
// (CBasePin::GetMediaType at positions 0, 1, ... until it returns other
// than S_OK). Each type handed out is a copy in task memory for the caller
// to free with DeleteMediaType. VFW_E_ENUM_OUT_OF_SYNC once the pin's
// type version changes, until Reset. It holds a reference on the pin.
#ifndef FRAMEWORK_ENUMMEDIATYPES_H
#define FRAMEWORK_ENUMMEDIATYPES_H

#include "win32.h"
#include "unknown.h"

class CBasePin;

class CEnumMediaTypes : public CUnknown, public IEnumMediaTypes {
public:
    CEnumMediaTypes(CBasePin* pPin, const CEnumMediaTypes* pSource);
    virtual ~CEnumMediaTypes();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv);

    STDMETHODIMP Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched);
    STDMETHODIMP Skip(ULONG cMediaTypes);
    STDMETHODIMP Reset();
    STDMETHODIMP Clone(IEnumMediaTypes** ppEnum);

private:
    bool OutOfSync();

    CBasePin* m_pPin;
    int m_nPosition;
    LONG m_lVersion;
};

#endif
