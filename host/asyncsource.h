// A file source filter for running filters off the device: one output pin
// "Output" offering MEDIATYPE_Stream with a chosen subtype and IAsyncReader
// (SyncRead, Length) over a file or a memory buffer. Reads are serialised.
// Tests can make reads fail, come up short or take time, and can see how
// many callers were inside SyncRead at once.
#ifndef HOST_ASYNCSOURCE_H
#define HOST_ASYNCSOURCE_H

#include <cstdint>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "basefilter.h"
#include "basepin.h"

class CHostAsyncSource;

class CHostAsyncSourcePin : public CBasePin {
public:
    CHostAsyncSourcePin(CHostAsyncSource* pFilter, CCritSec* pLock, HRESULT* phr);

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pmt) override;

private:
    // The IAsyncReader part; its IUnknown methods are the pin's. A separate
    // object because IPin and IAsyncReader both have BeginFlush/EndFlush.
    class CReader : public IAsyncReader {
    public:
        explicit CReader(CHostAsyncSourcePin* pPin) : m_pPin(pPin) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;
        STDMETHODIMP RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*, IMemAllocator**) override;
        STDMETHODIMP Request(IMediaSample*, DWORD_PTR) override;
        STDMETHODIMP WaitForNext(DWORD, IMediaSample**, DWORD_PTR*) override;
        STDMETHODIMP SyncReadAligned(IMediaSample*) override;
        STDMETHODIMP SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer) override;
        STDMETHODIMP Length(LONGLONG* pTotal, LONGLONG* pAvailable) override;
        STDMETHODIMP BeginFlush() override { return S_OK; }
        STDMETHODIMP EndFlush() override { return S_OK; }

    private:
        CHostAsyncSourcePin* m_pPin;
    };

    CHostAsyncSource* m_pSource;
    CReader m_reader;
};

class CHostAsyncSource : public CBaseFilter {
public:
    // Both return the filter with one reference, or null.
    static CHostAsyncSource* CreateFromMemory(std::vector<uint8_t> data, const GUID& subtype = MEDIASUBTYPE_None);
    static CHostAsyncSource* CreateFromFile(const std::string& path, const GUID& subtype = MEDIASUBTYPE_None);
    ~CHostAsyncSource() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    IPin* OutputPin() { return &m_pin; }
    const GUID& Subtype() const { return m_subtype; }

    struct ReadRecord {
        LONGLONG llPosition;
        LONG lLength;
    };

    // --- fault injection (any thread) ---
    // The n-th SyncRead from now (1 = the next) fails with hr; 0 disarms.
    void FailNthRead(long n, HRESULT hr = E_FAIL);
    // Every SyncRead from the n-th from now on fails with hr; 0 disarms.
    void FailReadsFrom(long n, HRESULT hr = E_FAIL);
    // Reads touching [llFrom, llTo) fail with hr.
    void FailReadsInRange(LONGLONG llFrom, LONGLONG llTo, HRESULT hr = E_FAIL);
    // Each read delivers at most cb bytes and returns S_FALSE when cut; 0 disarms.
    void LimitReadSize(LONG cb);
    // Each read waits this long before reading.
    void SetReadDelay(DWORD dwMilliseconds);
    // One read chosen by its number: the n-th SyncRead from now (1 = the
    // next) waits dwDelay ms, then fails with hr, or, when hr succeeds,
    // delivers at most cbMax bytes (S_FALSE when cut; a negative cbMax
    // leaves the length alone). Several reads can be chosen at once.
    struct ReadFault {
        HRESULT hr = S_OK;
        LONG cbMax = -1;
        DWORD dwDelay = 0;
    };
    void InjectAtRead(long n, const ReadFault& fault);
    // Length reports these instead of the real size; a negative value disarms.
    void OverrideLength(LONGLONG llTotal, LONGLONG llAvailable);
    void ClearFaults();

    // --- observation ---
    long ReadCount() const;
    // Every read since creation, in order, unless logging was turned off.
    std::vector<ReadRecord> Reads() const;
    // Off: reads are counted but not logged, so long plays do not grow the log.
    void LogReads(bool bLog);
    long LengthCalls() const;
    // The largest number of callers inside SyncRead at the same time.
    long MaxConcurrentReads() const;
    // Callers inside SyncRead now (waiting out a delay included).
    long ReadsInProgress() const;

private:
    friend class CHostAsyncSourcePin;
    CHostAsyncSource(const GUID& subtype, HRESULT* phr);
    HRESULT SyncRead(LONGLONG llPosition, LONG lLength, BYTE* pBuffer);
    HRESULT Length(LONGLONG* pTotal, LONGLONG* pAvailable);
    LONGLONG RealLength() const;
    HRESULT ReadRaw(LONGLONG llPosition, LONG lLength, BYTE* pBuffer, LONG* pcbRead);

    CCritSec m_csFilter;
    CHostAsyncSourcePin m_pin;
    GUID m_subtype;
    std::vector<uint8_t> m_data;
    FILE* m_pFile = nullptr;
    LONGLONG m_llFileSize = 0;

    std::mutex m_readLock;  // serialises reads
    mutable std::mutex m_stateLock;  // guards counters and faults
    long m_lReads = 0;
    long m_lFailNth = 0;
    HRESULT m_hrFailNth = E_FAIL;
    long m_lFailFrom = 0;
    HRESULT m_hrFailFrom = E_FAIL;
    struct RangeFault {
        LONGLONG llFrom;
        LONGLONG llTo;
        HRESULT hr;
    };
    std::vector<RangeFault> m_rangeFaults;
    std::map<long, ReadFault> m_readFaults;  // by absolute read number
    LONG m_cbReadLimit = 0;
    DWORD m_dwDelay = 0;
    LONGLONG m_llTotalOverride = -1;
    LONGLONG m_llAvailableOverride = -1;
    std::vector<ReadRecord> m_reads;
    bool m_bLogReads = true;
    long m_lLengthCalls = 0;
    long m_lInside = 0;
    long m_lMaxInside = 0;
};

#endif
