#include "enumpins.h"

#include "basefilter.h"
#include "basepin.h"

LONG CEnumPins::OwnerVersion(CBaseFilter* pFilter)
{
    return pFilter->GetPinVersion();
}

STDMETHODIMP CEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched)
{
    CheckPointer(ppPins, E_POINTER);
    // Without a count to report, only one item may be asked for.
    if (pcFetched == NULL && cPins != 1) return E_INVALIDARG;
    if (pcFetched) *pcFetched = 0;
    CAutoLock lock(m_pOwner->pStateLock());
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG cFetched = 0;
    while (cFetched < cPins && m_nPosition < m_pOwner->GetPinCount()) {
        CBasePin* pPin = m_pOwner->GetPin(m_nPosition);
        if (pPin == NULL) break;
        ++m_nPosition;
        ppPins[cFetched] = pPin;
        pPin->AddRef();
        ++cFetched;
    }
    if (pcFetched) *pcFetched = cFetched;
    return cFetched == cPins ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG cPins)
{
    CAutoLock lock(m_pOwner->pStateLock());
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG cLeft = static_cast<ULONG>(m_pOwner->GetPinCount() - m_nPosition);
    if (cPins > cLeft) {
        m_nPosition = m_pOwner->GetPinCount();
        return S_FALSE;
    }
    m_nPosition += static_cast<int>(cPins);
    return S_OK;
}
