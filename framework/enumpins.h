// CEnumPins: IEnumPins over a filter's pins (CBaseFilter::GetPin). It
// reports VFW_E_ENUM_OUT_OF_SYNC once the filter's pin version changes,
// until Reset. It holds a reference on the filter.
#ifndef FRAMEWORK_ENUMPINS_H
#define FRAMEWORK_ENUMPINS_H

#include "win32.h"
#include "unknown.h"

class CBaseFilter;

class CEnumPins : public CUnknown, public IEnumPins {
public:
    // pSource, when given, is the enumerator being cloned: its position is copied.
    CEnumPins(CBaseFilter* pFilter, const CEnumPins* pSource);
    virtual ~CEnumPins();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv);

    STDMETHODIMP Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched);
    STDMETHODIMP Skip(ULONG cPins);
    STDMETHODIMP Reset();
    STDMETHODIMP Clone(IEnumPins** ppEnum);

private:
    bool OutOfSync();

    CBaseFilter* m_pFilter;
    int m_nPosition;
    LONG m_lVersion;
};

#endif
