#include "basepin.h"

#include <new>
#include <string.h>

#include "enummediatypes.h"

#if defined(__arm__)
// Records filled for the graph and peers built apart from this framework
// (size -1 stops the build).
typedef char BasePinLayoutCheck[sizeof(PIN_INFO) == 264 && sizeof(ALLOCATOR_PROPERTIES) == 16 ? 1 : -1];
#endif

namespace {

const REFERENCE_TIME kMaxTime = 0x7FFFFFFFFFFFFFFFLL;

// A type with a null major type or format type leaves the rest open.
bool IsPartiallySpecified(const CMediaType& mt)
{
    return IsEqualGUID(mt.majortype, GUID_NULL) || IsEqualGUID(mt.formattype, GUID_NULL);
}

// Whether a complete candidate type fits a partly given one: every field
// the partial type gives must be equal.
bool MatchesPartial(const CMediaType& candidate, const CMediaType& partial)
{
    if (!IsEqualGUID(partial.majortype, GUID_NULL) && !IsEqualGUID(partial.majortype, candidate.majortype)) {
        return false;
    }
    if (!IsEqualGUID(partial.subtype, GUID_NULL) && !IsEqualGUID(partial.subtype, candidate.subtype)) return false;
    if (!IsEqualGUID(partial.formattype, GUID_NULL)) {
        if (!IsEqualGUID(partial.formattype, candidate.formattype)) return false;
        if (partial.cbFormat != candidate.cbFormat) return false;
        if (partial.cbFormat && memcmp(partial.pbFormat, candidate.pbFormat, partial.cbFormat) != 0) return false;
    }
    return true;
}

bool IsTypeRefusal(HRESULT hr)
{
    return hr == VFW_E_TYPE_NOT_ACCEPTED || hr == VFW_E_NO_ACCEPTABLE_TYPES || hr == VFW_E_INVALIDMEDIATYPE;
}

// The one rule for the result of a negotiation that tried several types:
// a refusal of the type is replaced by any later failure, while any other
// failure (the peer or a hook could not do its part) is kept, because it
// says more about why the pins could not connect.
HRESULT MergeFailure(HRESULT hrSoFar, HRESULT hrNew)
{
    return IsTypeRefusal(hrSoFar) ? hrNew : hrSoFar;
}

// A refusal reported as a bare failure (or as a success other than S_OK)
// becomes the standard code for it.
HRESULT TypeRefusal(HRESULT hr)
{
    if (SUCCEEDED(hr) || hr == E_FAIL || hr == E_INVALIDARG) return VFW_E_TYPE_NOT_ACCEPTED;
    return hr;
}

}  // namespace

CBasePin::CBasePin(LPCWSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr, LPCWSTR pName,
                   PIN_DIRECTION dir)
    : CUnknown(pObjectName, NULL),
      m_pName(NULL),
      m_Connected(NULL),
      m_dir(dir),
      m_pLock(pLock),
      m_pFilter(pFilter),
      m_pQSink(NULL),
      m_TypeVersion(1),
      m_tStart(0),
      m_tStop(kMaxTime),
      m_dRate(1.0)
{
    if (pName) {
        int cch = lstrlenW(pName);
        m_pName = new (std::nothrow) WCHAR[cch + 1];
        if (m_pName) {
            lstrcpynW(m_pName, pName, cch + 1);
        } else if (phr) {
            *phr = E_OUTOFMEMORY;
        }
    }
}

CBasePin::~CBasePin()
{
    // The filter disconnects its pins before it lets them go; a pin
    // destroyed while connected still drops its peer.
    if (m_Connected) m_Connected->Release();
    delete[] m_pName;
}

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IPin)) return GetInterface(static_cast<IPin*>(this), ppv);
    if (IsEqualIID(riid, IID_IQualityControl)) return GetInterface(static_cast<IQualityControl*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingAddRef()
{
    return m_pFilter->AddRef();
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingRelease()
{
    return m_pFilter->Release();
}

LONG CBasePin::GetMediaTypeVersion()
{
    return InterlockedExchangeAdd(&m_TypeVersion, 0);
}

void CBasePin::IncrementTypeVersion()
{
    InterlockedIncrement(&m_TypeVersion);
}

HRESULT CBasePin::Active()
{
    return S_OK;
}

HRESULT CBasePin::Inactive()
{
    return S_OK;
}

HRESULT CBasePin::Run(REFERENCE_TIME)
{
    return S_OK;
}

HRESULT CBasePin::SetMediaType(const CMediaType* pmt)
{
    return m_mt.Set(*pmt);
}

HRESULT CBasePin::CheckConnect(IPin* pPin)
{
    PIN_DIRECTION dir;
    HRESULT hr = pPin->QueryDirection(&dir);
    if (FAILED(hr)) return hr;
    return dir == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect()
{
    return S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin*)
{
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int, CMediaType*)
{
    return E_UNEXPECTED;
}

BOOL CBasePin::IsStopped() const
{
    return m_pFilter->IsStopped();
}

void CBasePin::DropConnection()
{
    if (m_Connected) {
        m_Connected->Release();
        m_Connected = NULL;
    }
}

STDMETHODIMP CBasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt)
{
    CheckPointer(pReceivePin, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    if (pmt == NULL) return AgreeMediaType(pReceivePin, NULL);
    CMediaType mt;
    HRESULT hr = mt.Set(*pmt);
    if (FAILED(hr)) return hr;
    return AgreeMediaType(pReceivePin, &mt);
}

// A complete type is tried alone; otherwise the peer's types, then this
// pin's, each that fits the partial type.
HRESULT CBasePin::AgreeMediaType(IPin* pReceivePin, const CMediaType* pmtPartial)
{
    if (pmtPartial && !IsPartiallySpecified(*pmtPartial)) return AttemptConnection(pReceivePin, pmtPartial);
    HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int i = 0; i < 2; ++i) {
        IEnumMediaTypes* pEnum = NULL;
        HRESULT hr = i == 0 ? pReceivePin->EnumMediaTypes(&pEnum) : EnumMediaTypes(&pEnum);
        if (FAILED(hr) || pEnum == NULL) {
            // A pin that cannot list its types (out of memory) says why no type was agreed.
            if (FAILED(hr)) hrFailure = MergeFailure(hrFailure, hr);
            continue;
        }
        hr = TryMediaTypes(pReceivePin, pmtPartial, pEnum);
        pEnum->Release();
        if (SUCCEEDED(hr)) return S_OK;
        hrFailure = MergeFailure(hrFailure, hr);
    }
    return hrFailure;
}

HRESULT CBasePin::TryMediaTypes(IPin* pReceivePin, const CMediaType* pmtPartial, IEnumMediaTypes* pEnum)
{
    HRESULT hrFailure = VFW_E_NO_ACCEPTABLE_TYPES;
    pEnum->Reset();
    for (;;) {
        AM_MEDIA_TYPE* pType = NULL;
        ULONG cFetched = 0;
        HRESULT hrNext = pEnum->Next(1, &pType, &cFetched);
        if (FAILED(hrNext)) return MergeFailure(hrFailure, hrNext);
        if (hrNext != S_OK || cFetched != 1 || pType == NULL) break;
        CMediaType mt;
        HRESULT hr = mt.Set(*pType);
        DeleteMediaType(pType);
        if (FAILED(hr)) {
            hrFailure = MergeFailure(hrFailure, hr);
            continue;
        }
        if (pmtPartial && !MatchesPartial(mt, *pmtPartial)) continue;
        hr = AttemptConnection(pReceivePin, &mt);
        if (SUCCEEDED(hr)) return hr;
        hrFailure = MergeFailure(hrFailure, hr);
    }
    return hrFailure;
}

// Any failure undoes what was done: the peer is dropped and BreakConnect
// runs, so a hook never sees a half-made connection stay.
HRESULT CBasePin::AttemptConnection(IPin* pReceivePin, const CMediaType* pmt)
{
    HRESULT hr = CheckConnect(pReceivePin);
    if (SUCCEEDED(hr)) {
        hr = CheckMediaType(pmt);
        if (hr == S_OK) {
            m_Connected = pReceivePin;
            m_Connected->AddRef();
            hr = SetMediaType(pmt);
            if (SUCCEEDED(hr)) {
                hr = pReceivePin->ReceiveConnection(static_cast<IPin*>(this), pmt);
                if (SUCCEEDED(hr)) {
                    hr = CompleteConnect(pReceivePin);
                    if (SUCCEEDED(hr)) return hr;
                    pReceivePin->Disconnect();
                }
            }
        } else {
            hr = TypeRefusal(hr);
        }
    }
    DropConnection();
    BreakConnect();
    return hr;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt)
{
    CheckPointer(pConnector, E_POINTER);
    CheckPointer(pmt, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_Connected) return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    CMediaType mt;
    HRESULT hr = mt.Set(*pmt);
    if (FAILED(hr)) return hr;
    hr = CheckConnect(pConnector);
    if (SUCCEEDED(hr)) {
        hr = CheckMediaType(&mt);
        if (hr == S_OK) {
            m_Connected = pConnector;
            m_Connected->AddRef();
            hr = SetMediaType(&mt);
            if (SUCCEEDED(hr)) {
                hr = CompleteConnect(pConnector);
                if (SUCCEEDED(hr)) return S_OK;
            }
        } else {
            hr = TypeRefusal(hr);
        }
    }
    DropConnection();
    BreakConnect();
    return hr;
}

STDMETHODIMP CBasePin::Disconnect()
{
    CAutoLock lock(m_pLock);
    if (!IsStopped()) return VFW_E_NOT_STOPPED;
    if (m_Connected == NULL) return S_FALSE;
    HRESULT hr = BreakConnect();
    if (FAILED(hr)) return hr;
    DropConnection();
    m_mt.InitMediaType();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pPin)
{
    CheckPointer(pPin, E_POINTER);
    *pPin = m_Connected;
    if (m_Connected == NULL) return VFW_E_NOT_CONNECTED;
    m_Connected->AddRef();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt)
{
    CheckPointer(pmt, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_Connected == NULL) {
        // The caller's record is uninitialised: it is cleared, not freed.
        memset(pmt, 0, sizeof(*pmt));
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* pInfo)
{
    CheckPointer(pInfo, E_POINTER);
    pInfo->pFilter = m_pFilter;
    if (m_pFilter) m_pFilter->AddRef();
    pInfo->achName[0] = 0;
    if (m_pName) lstrcpynW(pInfo->achName, m_pName, MAX_PIN_NAME);
    pInfo->dir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* pPinDir)
{
    CheckPointer(pPinDir, E_POINTER);
    *pPinDir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* Id)
{
    CheckPointer(Id, E_POINTER);
    LPCWSTR pName = m_pName ? m_pName : L"";
    int cch = lstrlenW(pName) + 1;
    *Id = static_cast<LPWSTR>(CoTaskMemAlloc(cch * sizeof(WCHAR)));
    if (*Id == NULL) return E_OUTOFMEMORY;
    lstrcpynW(*Id, pName, cch);
    return S_OK;
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt)
{
    CheckPointer(pmt, E_POINTER);
    CMediaType mt;
    if (FAILED(mt.Set(*pmt))) return S_FALSE;
    HRESULT hr = CheckMediaType(&mt);
    return FAILED(hr) ? S_FALSE : hr;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum)
{
    return CEnumMediaTypes::Create(this, NULL, ppEnum);
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin**, ULONG*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    m_tStart = tStart;
    m_tStop = tStop;
    m_dRate = dRate;
    return S_OK;
}

STDMETHODIMP CBasePin::Notify(IBaseFilter*, Quality)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::SetSink(IQualityControl* piqc)
{
    CAutoLock lock(m_pLock);
    m_pQSink = piqc;
    return S_OK;
}
