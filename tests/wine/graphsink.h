// A renderer-like sink for a real filter graph: one input pin "In" that
// takes any media type and records what arrives (samples, new segments,
// end-of-stream, flushes) as the JSON lines of "3gpdemux samples". To the
// graph it is a renderer: it says so through IAMFilterMiscFlags, signals
// EC_COMPLETE for end-of-stream once running, and passes IMediaSeeking
// calls to the pin it is connected to, as renderers do. Receive can be
// held after a number of samples until the next flush, to seek at a known
// point.
#ifndef TESTS_WINE_GRAPHSINK_H
#define TESTS_WINE_GRAPHSINK_H

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include "basefilter.h"
#include "sinkinputpin.h"

class CGraphSink;

class CGraphSinkPin : public CSinkInputPin {
public:
    CGraphSinkPin(CGraphSink* pSink, CCritSec* pLock, HRESULT* phr);

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Inactive() override;
    IPin* Connected() const { return m_Connected; }

    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

protected:
    // Wine's memory allocator, with the buffer sizes Windows' would give
    // (roundingallocator.h).
    HRESULT CreateOwnAllocator(IMemAllocator** ppAllocator) override;
    HRESULT ReceiveSample(IMediaSample* pSample) override;

private:
    CGraphSink* m_pSink;
};

class CGraphSink : public CBaseFilter, public IMediaSeeking, public IAMFilterMiscFlags {
public:
    // The sink with one reference, or null.
    static CGraphSink* Create();
    ~CGraphSink() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    IPin* InputPin() { return &m_pin; }

    STDMETHODIMP Stop() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;

    // IAMFilterMiscFlags
    STDMETHODIMP_(ULONG) GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

    // IMediaSeeking, each call passed upstream (E_NOTIMPL while unconnected).
    STDMETHODIMP GetCapabilities(DWORD* pCapabilities) override;
    STDMETHODIMP CheckCapabilities(DWORD* pCapabilities) override;
    STDMETHODIMP IsFormatSupported(const GUID* pFormat) override;
    STDMETHODIMP QueryPreferredFormat(GUID* pFormat) override;
    STDMETHODIMP GetTimeFormat(GUID* pFormat) override;
    STDMETHODIMP IsUsingTimeFormat(const GUID* pFormat) override;
    STDMETHODIMP SetTimeFormat(const GUID* pFormat) override;
    STDMETHODIMP GetDuration(LONGLONG* pDuration) override;
    STDMETHODIMP GetStopPosition(LONGLONG* pStop) override;
    STDMETHODIMP GetCurrentPosition(LONGLONG* pCurrent) override;
    STDMETHODIMP ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                   const GUID* pSourceFormat) override;
    STDMETHODIMP SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop, DWORD dwStopFlags) override;
    STDMETHODIMP GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) override;
    STDMETHODIMP GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) override;
    STDMETHODIMP SetRate(double dRate) override;
    STDMETHODIMP GetRate(double* pdRate) override;
    STDMETHODIMP GetPreroll(LONGLONG* pllPreroll) override;

    // "video" or "audio", from the connection's major type; "" unconnected.
    std::string Kind() const;
    // The records since the last clear, as JSON lines; sample numbers restart at 0.
    std::vector<std::string> Lines() const;
    void ClearLines();
    // Holds Receive once nSamples samples are recorded since the last clear,
    // until a flush (or Stop) releases it; the held sample is not recorded.
    void HoldAfter(size_t nSamples);
    // Waits until Receive is held or end-of-stream has arrived since the
    // last clear or flush; false on time-out.
    bool WaitHeldOrEnded(DWORD dwMilliseconds);
    // Waits until end-of-stream has arrived since the last clear or flush.
    bool WaitEnded(DWORD dwMilliseconds);
    // Whether a flush arrived since the last clear.
    bool Flushed() const;

private:
    friend class CGraphSinkPin;
    CGraphSink(HRESULT* phr);
    IMediaSeeking* Upstream();
    void Record(const std::string& line);
    void SetKind(const std::string& kind);
    HRESULT ReceiveSample(IMediaSample* pSample);
    void OnEndOfStream();
    void OnBeginFlush();
    void OnEndFlush();
    void ReleaseHeld();

    CCritSec m_csFilter;
    CGraphSinkPin m_pin;

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::string m_kind;
    std::vector<std::string> m_lines;
    size_t m_nSamples = 0;
    size_t m_nHoldAfter = static_cast<size_t>(-1);
    bool m_bHeld = false;
    bool m_bFlushing = false;
    bool m_bFlushed = false;
    bool m_bEnded = false;
    bool m_bCompletePending = false;  // end-of-stream seen while not running
};

#endif
