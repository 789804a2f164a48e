#include "asyncsource.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>

// --- output pin --------------------------------------------------------------

CHostAsyncSourcePin::CHostAsyncSourcePin(CHostAsyncSource* pFilter, CCritSec* pLock, HRESULT* phr)
    : CBasePin(L"CHostAsyncSourcePin", pFilter, pLock, phr, L"Output", PINDIR_OUTPUT),
      m_pSource(pFilter),
      m_reader(this)
{
}

STDMETHODIMP CHostAsyncSourcePin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (IsEqualIID(riid, IID_IAsyncReader)) return GetInterface(&m_reader, ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CHostAsyncSourcePin::CheckMediaType(const CMediaType* pmt)
{
    if (IsEqualGUID(pmt->majortype, MEDIATYPE_Stream) && IsEqualGUID(pmt->subtype, m_pSource->Subtype())) {
        return S_OK;
    }
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CHostAsyncSourcePin::GetMediaType(int iPosition, CMediaType* pmt)
{
    if (iPosition < 0) return E_INVALIDARG;
    if (iPosition > 0) return VFW_S_NO_MORE_ITEMS;
    pmt->InitMediaType();
    pmt->SetType(&MEDIATYPE_Stream);
    pmt->SetSubtype(&m_pSource->Subtype());
    return S_OK;
}

STDMETHODIMP CHostAsyncSourcePin::CReader::QueryInterface(REFIID riid, void** ppv)
{
    return m_pPin->QueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CHostAsyncSourcePin::CReader::AddRef()
{
    return m_pPin->AddRef();
}

STDMETHODIMP_(ULONG) CHostAsyncSourcePin::CReader::Release()
{
    return m_pPin->Release();
}

STDMETHODIMP CHostAsyncSourcePin::CReader::RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*, IMemAllocator**)
{
    return E_NOTIMPL;
}

STDMETHODIMP CHostAsyncSourcePin::CReader::Request(IMediaSample*, DWORD_PTR)
{
    return E_NOTIMPL;
}

STDMETHODIMP CHostAsyncSourcePin::CReader::WaitForNext(DWORD, IMediaSample** ppSample, DWORD_PTR*)
{
    if (ppSample) *ppSample = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CHostAsyncSourcePin::CReader::SyncReadAligned(IMediaSample*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CHostAsyncSourcePin::CReader::SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer)
{
    return m_pPin->m_pSource->SyncRead(llPosition, lLength, pBuffer);
}

STDMETHODIMP CHostAsyncSourcePin::CReader::Length(LONGLONG* pTotal, LONGLONG* pAvailable)
{
    return m_pPin->m_pSource->Length(pTotal, pAvailable);
}

// --- filter --------------------------------------------------------------------

CHostAsyncSource::CHostAsyncSource(const GUID& subtype, HRESULT* phr)
    : CBaseFilter(L"CHostAsyncSource", nullptr, &m_csFilter, CLSID_AsyncReader), m_pin(this, &m_csFilter, phr),
      m_subtype(subtype)
{
}

CHostAsyncSource::~CHostAsyncSource()
{
    if (m_pFile) fclose(m_pFile);
}

CHostAsyncSource* CHostAsyncSource::CreateFromMemory(std::vector<uint8_t> data, const GUID& subtype)
{
    HRESULT hr = S_OK;
    CHostAsyncSource* pSource = new (std::nothrow) CHostAsyncSource(subtype, &hr);
    if (!pSource) return nullptr;
    pSource->AddRef();
    if (FAILED(hr)) {
        pSource->Release();
        return nullptr;
    }
    pSource->m_data = std::move(data);
    return pSource;
}

CHostAsyncSource* CHostAsyncSource::CreateFromFile(const std::string& path, const GUID& subtype)
{
    FILE* pFile = fopen(path.c_str(), "rb");
    if (!pFile) return nullptr;
    CHostAsyncSource* pSource = CreateFromMemory({}, subtype);
    if (!pSource) {
        fclose(pFile);
        return nullptr;
    }
    pSource->m_pFile = pFile;
    fseeko(pFile, 0, SEEK_END);
    pSource->m_llFileSize = ftello(pFile);
    return pSource;
}

LONGLONG CHostAsyncSource::RealLength() const
{
    return m_pFile ? m_llFileSize : static_cast<LONGLONG>(m_data.size());
}

HRESULT CHostAsyncSource::ReadRaw(LONGLONG llPosition, LONG lLength, BYTE* pBuffer, LONG* pcbRead)
{
    *pcbRead = 0;
    LONGLONG llEnd = RealLength();
    if (llPosition >= llEnd) return S_OK;
    LONG cb = static_cast<LONG>(std::min<LONGLONG>(lLength, llEnd - llPosition));
    if (m_pFile) {
        if (fseeko(m_pFile, llPosition, SEEK_SET) != 0) return E_FAIL;
        *pcbRead = static_cast<LONG>(fread(pBuffer, 1, static_cast<size_t>(cb), m_pFile));
        return *pcbRead == cb ? S_OK : E_FAIL;
    }
    memcpy(pBuffer, m_data.data() + llPosition, static_cast<size_t>(cb));
    *pcbRead = cb;
    return S_OK;
}

HRESULT CHostAsyncSource::SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer)
{
    if (!pBuffer) return E_POINTER;
    if (llPosition < 0 || lLength < 0) return E_INVALIDARG;
    HRESULT hrFault = S_OK;
    LONG cbLimit = -1;  // no limit
    DWORD dwDelay = 0;
    {
        std::lock_guard<std::mutex> guard(m_stateLock);
        m_lMaxInside = std::max(m_lMaxInside, ++m_lInside);
        ++m_lReads;
        if (m_bLogReads) m_reads.push_back({llPosition, lLength});
        if (m_lFailNth > 0 && --m_lFailNth == 0) hrFault = m_hrFailNth;
        if (m_lFailFrom > 0 && --m_lFailFrom <= 0) {
            m_lFailFrom = 1;  // stays armed
            hrFault = m_hrFailFrom;
        }
        for (const RangeFault& fault : m_rangeFaults) {
            if (llPosition < fault.llTo && llPosition + lLength > fault.llFrom) hrFault = fault.hr;
        }
        if (m_cbReadLimit > 0) cbLimit = m_cbReadLimit;
        dwDelay = m_dwDelay;
        auto chosen = m_readFaults.find(m_lReads);
        if (chosen != m_readFaults.end()) {
            const ReadFault& fault = chosen->second;
            dwDelay += fault.dwDelay;
            if (FAILED(fault.hr)) hrFault = fault.hr;
            if (fault.cbMax >= 0) cbLimit = cbLimit >= 0 ? std::min(cbLimit, fault.cbMax) : fault.cbMax;
            m_readFaults.erase(chosen);
        }
    }
    if (dwDelay) std::this_thread::sleep_for(std::chrono::milliseconds(dwDelay));
    HRESULT hr = hrFault;
    if (SUCCEEDED(hr)) {
        std::lock_guard<std::mutex> guard(m_readLock);
        LONG cbWanted = cbLimit >= 0 ? std::min(lLength, cbLimit) : lLength;
        LONG cbRead = 0;
        hr = ReadRaw(llPosition, cbWanted, pBuffer, &cbRead);
        // A read that delivers less than asked reports S_FALSE, as a file reader does at the end.
        if (hr == S_OK && cbRead < lLength) hr = S_FALSE;
    }
    std::lock_guard<std::mutex> guard(m_stateLock);
    --m_lInside;
    return hr;
}

HRESULT CHostAsyncSource::Length(LONGLONG* pTotal, LONGLONG* pAvailable)
{
    if (!pTotal || !pAvailable) return E_POINTER;
    std::lock_guard<std::mutex> guard(m_stateLock);
    ++m_lLengthCalls;
    *pTotal = m_llTotalOverride >= 0 ? m_llTotalOverride : RealLength();
    *pAvailable = m_llAvailableOverride >= 0 ? m_llAvailableOverride : *pTotal;
    return S_OK;
}

void CHostAsyncSource::FailNthRead(long n, HRESULT hr)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_lFailNth = n;
    m_hrFailNth = hr;
}

void CHostAsyncSource::FailReadsFrom(long n, HRESULT hr)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_lFailFrom = n;
    m_hrFailFrom = hr;
}

void CHostAsyncSource::FailReadsInRange(LONGLONG llFrom, LONGLONG llTo, HRESULT hr)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_rangeFaults.push_back({llFrom, llTo, hr});
}

void CHostAsyncSource::LimitReadSize(LONG cb)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_cbReadLimit = cb;
}

void CHostAsyncSource::SetReadDelay(DWORD dwMilliseconds)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_dwDelay = dwMilliseconds;
}

void CHostAsyncSource::InjectAtRead(long n, const ReadFault& fault)
{
    if (n <= 0) return;
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_readFaults[m_lReads + n] = fault;
}

void CHostAsyncSource::OverrideLength(LONGLONG llTotal, LONGLONG llAvailable)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_llTotalOverride = llTotal;
    m_llAvailableOverride = llAvailable;
}

void CHostAsyncSource::ClearFaults()
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_lFailNth = m_lFailFrom = 0;
    m_rangeFaults.clear();
    m_readFaults.clear();
    m_cbReadLimit = 0;
    m_dwDelay = 0;
    m_llTotalOverride = m_llAvailableOverride = -1;
}

long CHostAsyncSource::ReadCount() const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return m_lReads;
}

std::vector<CHostAsyncSource::ReadRecord> CHostAsyncSource::Reads() const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return m_reads;
}

void CHostAsyncSource::LogReads(bool bLog)
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    m_bLogReads = bLog;
}

long CHostAsyncSource::LengthCalls() const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return m_lLengthCalls;
}

long CHostAsyncSource::MaxConcurrentReads() const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return m_lMaxInside;
}

long CHostAsyncSource::ReadsInProgress() const
{
    std::lock_guard<std::mutex> guard(m_stateLock);
    return m_lInside;
}
