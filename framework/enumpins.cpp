#include "enumpins.h"

#include <new>

#include "basefilter.h"
#include "basepin.h"

CEnumPins::CEnumPins(CBaseFilter* pFilter, const CEnumPins* pSource)
    : CUnknown(L"CEnumPins", NULL),
      m_pFilter(pFilter),
      m_nPosition(pSource ? pSource->m_nPosition : 0),
      m_lVersion(pSource ? pSource->m_lVersion : pFilter->GetPinVersion())
{
    m_pFilter->AddRef();
}

CEnumPins::~CEnumPins()
{
    m_pFilter->Release();
}

STDMETHODIMP CEnumPins::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IEnumPins)) return GetInterface(static_cast<IEnumPins*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

bool CEnumPins::OutOfSync()
{
    return m_pFilter->GetPinVersion() != m_lVersion;
}

STDMETHODIMP CEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched)
{
    CheckPointer(ppPins, E_POINTER);
    // Without a count to report, only one item may be asked for.
    if (pcFetched == NULL && cPins != 1) return E_INVALIDARG;
    if (pcFetched) *pcFetched = 0;
    CAutoLock lock(m_pFilter->pStateLock());
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG cFetched = 0;
    while (cFetched < cPins && m_nPosition < m_pFilter->GetPinCount()) {
        CBasePin* pPin = m_pFilter->GetPin(m_nPosition);
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
    CAutoLock lock(m_pFilter->pStateLock());
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG cLeft = static_cast<ULONG>(m_pFilter->GetPinCount() - m_nPosition);
    if (cPins > cLeft) {
        m_nPosition = m_pFilter->GetPinCount();
        return S_FALSE;
    }
    m_nPosition += static_cast<int>(cPins);
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset()
{
    m_lVersion = m_pFilter->GetPinVersion();
    m_nPosition = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** ppEnum)
{
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = NULL;
    if (OutOfSync()) return VFW_E_ENUM_OUT_OF_SYNC;
    CEnumPins* pEnum = new (std::nothrow) CEnumPins(m_pFilter, this);
    if (pEnum == NULL) return E_OUTOFMEMORY;
    pEnum->AddRef();
    *ppEnum = pEnum;
    return S_OK;
}
