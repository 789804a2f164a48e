// CEnumMediaTypes: IEnumMediaTypes over a pin's offered types
// (CBasePin::GetMediaType at positions 0, 1, ... until it returns other
// than S_OK). Each type handed out is a copy in task memory for the caller
// to free with DeleteMediaType. VFW_E_ENUM_OUT_OF_SYNC once the pin's
// type version changes, until Reset. It holds a reference on the pin.
#ifndef FRAMEWORK_ENUMMEDIATYPES_H
#define FRAMEWORK_ENUMMEDIATYPES_H

#include "win32.h"
#include "enumbase.h"

class CBasePin;

class CEnumMediaTypes : public CEnumBase<CEnumMediaTypes, IEnumMediaTypes, CBasePin> {
public:
    CEnumMediaTypes(CBasePin* pPin, const CEnumMediaTypes* pSource) : CEnumBase(L"CEnumMediaTypes", pPin, pSource) {}

    static const IID& EnumIid() { return IID_IEnumMediaTypes; }
    static LONG OwnerVersion(CBasePin* pPin);

    STDMETHODIMP Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched);
    STDMETHODIMP Skip(ULONG cMediaTypes);
};

#endif
