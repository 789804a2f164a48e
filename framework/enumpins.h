// CEnumPins: IEnumPins over a filter's pins (CBaseFilter::GetPin). It
// reports VFW_E_ENUM_OUT_OF_SYNC once the filter's pin version changes,
// until Reset. It holds a reference on the filter.
#ifndef FRAMEWORK_ENUMPINS_H
#define FRAMEWORK_ENUMPINS_H

#include "win32.h"
#include "enumbase.h"

class CBaseFilter;

class CEnumPins : public CEnumBase<CEnumPins, IEnumPins, CBaseFilter> {
public:
    // pSource, when given, is the enumerator being cloned: its position is copied.
    CEnumPins(CBaseFilter* pFilter, const CEnumPins* pSource) : CEnumBase(L"CEnumPins", pFilter, pSource) {}

    static const IID& EnumIid() { return IID_IEnumPins; }
    static LONG OwnerVersion(CBaseFilter* pFilter);

    STDMETHODIMP Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched);
    STDMETHODIMP Skip(ULONG cPins);
};

#endif
