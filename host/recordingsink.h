// A sink filter for tests: one input pin "In" that accepts any media type
// or a chosen one, offers its own allocator or none, states allocator
// requirements or none, and records everything it receives: samples (times,
// media times, flags, sizes, the bytes and a hash), new segments,
// end-of-stream and flushes, in arrival order. Receive can be made to block
// until released (a flush or Stop also releases it) or to fail.
//
// For long plays the sink can instead only count (benchmarks: it reads every
// byte of each sample once, as a consumer would) or hand each event to a
// callback as it arrives (the tool streams to its output): either way it
// keeps totals but no per-sample record, so its memory does not grow with
// the play.
#ifndef HOST_RECORDINGSINK_H
#define HOST_RECORDINGSINK_H

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "basefilter.h"
#include "samplejson.h"
#include "sinkinputpin.h"

struct SampleRecord;
struct SinkEvent;

struct SinkOptions {
    // GUID_NULL accepts any major type / subtype.
    GUID majortype = GUID_NULL;
    GUID subtype = GUID_NULL;
    // GetAllocator hands out the sink's own memory allocator; otherwise VFW_E_NO_ALLOCATOR.
    bool bProvideAllocator = false;
    // Set: makes that allocator instead of the framework's (a graph whose own
    // allocator sizes buffers differently).
    HRESULT (*pfnCreateAllocator)(IMemAllocator** ppAllocator) = nullptr;
    // GetAllocatorRequirements reports these; otherwise E_NOTIMPL.
    bool bHasRequirements = false;
    ALLOCATOR_PROPERTIES requirements = {0, 0, 0, 0};
    HRESULT hrNotifyAllocator = S_OK;
    bool bKeepBytes = true;
    // Off: samples are counted and their bytes read, but not recorded.
    bool bRecordSamples = true;
    // Set: called with every event as it arrives, on the delivering thread and
    // outside the sink's lock; for a sample with its record (no bytes, hash 0)
    // and its data, valid for the call. Samples are then counted, not recorded.
    std::function<void(const SinkEvent& event, const SampleRecord* pSample, const BYTE* pData)> onEvent;
    // As a renderer: EC_COMPLETE (S_OK, the sink) for each end-of-stream
    // outside a flush, once the sink runs.
    bool bNotifyComplete = false;
    // Buffers of this many bytes: NotifyAllocator sets the allocator's before
    // it is committed. 0 leaves them as the peer chose.
    long cbBuffer = 0;
};

// What the sample's JSON line prints, and what only the record keeps.
struct SampleRecord : SampleJsonFields {
    LONG cbBuffer;
    uint64_t hash;  // FNV-1a over the actual data
    std::vector<uint8_t> bytes;
};

struct SinkEvent {
    enum Kind { Sample, NewSegment, EndOfStream, BeginFlush, EndFlush } kind;
    size_t nSample;  // index into Samples() for a Sample
    REFERENCE_TIME rtStart;
    REFERENCE_TIME rtStop;
    double dRate;
    // Arrival order across sinks and graph events (hostsequence.h).
    uint64_t nSequence = 0;
};

// The event's line in "3gpdemux samples" (samplejson.h); empty for an end
// of flush. md5 is the hash of a sample's data.
std::string SinkEventJsonLine(const std::string& pin, const SinkEvent& event, const SampleRecord* pSample,
                              const std::string& md5);

class CRecordingSink;

class CRecordingInputPin : public CSinkInputPin {
public:
    CRecordingInputPin(CRecordingSink* pSink, CCritSec* pLock, HRESULT* phr);
    ~CRecordingInputPin() override;

    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT Inactive() override;

    STDMETHODIMP EndOfStream() override;
    STDMETHODIMP BeginFlush() override;
    STDMETHODIMP EndFlush() override;
    STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

    STDMETHODIMP NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
    STDMETHODIMP GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;

protected:
    HRESULT CreateOwnAllocator(IMemAllocator** ppAllocator) override;
    HRESULT ReceiveSample(IMediaSample* pSample) override;

private:
    CRecordingSink* m_pSink;
};

class CRecordingSink : public CBaseFilter {
public:
    // The sink with one reference, or null.
    static CRecordingSink* Create(const SinkOptions& options = SinkOptions());
    ~CRecordingSink() override;

    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }
    IPin* InputPin() { return &m_pin; }
    // Also releases a blocked Receive, connected or not.
    STDMETHODIMP Stop() override;
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;

    // --- fault injection ---
    // While set, Receive waits (until cleared, a flush or Stop).
    void BlockReceive(bool bBlock);
    // Receive returns hr for every sample from now on (S_OK restores);
    // a failing sample is counted but not recorded.
    void SetReceiveResult(HRESULT hr);
    // Only the n-th Receive from now (1 = the next) returns hr; 0 disarms.
    // A failure is counted but not recorded; a success code (S_FALSE) is recorded.
    void FailNthReceive(long n, HRESULT hr);
    // The n-th Receive from now and every later one wait as BlockReceive(true) makes them.
    void BlockFromNthReceive(long n);

    // The n-th Receive from now (1 = the next) records its sample, then holds
    // it, as a paused renderer does, until a flush or Stop.
    void HoldNthSample(long n);
    // Waits until a sample is held or end-of-stream has arrived; false on time-out.
    bool WaitForHeldOrEnded(DWORD dwMilliseconds);

    // --- observation ---
    std::vector<SinkEvent> Events() const;
    std::vector<SampleRecord> Samples() const;
    long EndOfStreamCount() const;
    long FlushCount() const;
    long ReceiveCalls() const;
    long BlockedReceivers() const;
    // Waits until end-of-stream has arrived n times in all; false on time-out.
    bool WaitForEndOfStream(long n, DWORD dwMilliseconds);
    // Waits until at least n samples were taken (recorded or not); false on time-out.
    bool WaitForSamples(size_t n, DWORD dwMilliseconds);
    // Waits until a caller is blocked in Receive; false on time-out.
    bool WaitForBlockedReceive(DWORD dwMilliseconds);
    // Samples accepted and their bytes, recorded or not.
    uint64_t SamplesReceived() const;
    uint64_t BytesReceived() const;
    // The first sample that arrived outside a flush since the last end of
    // flush (or since the sink was created): when it arrived, noted before
    // any blocking, and its media start time (0 without one). Waits for it;
    // false on time-out.
    bool WaitForFirstAfterFlush(DWORD dwMilliseconds, std::chrono::steady_clock::time_point* pArrival,
                                LONGLONG* pllMediaStart);
    void ClearRecords();

    // The allocator given to NotifyAllocator (no reference added), and
    // whether it is the sink's own.
    IMemAllocator* NotifiedAllocator() const { return m_pin.NotifiedAllocator(); }
    bool NotifiedOwnAllocator() const { return m_pin.NotifiedOwnAllocator(); }
    const SinkOptions& Options() const { return m_options; }

protected:
    // For a subclass that adds interfaces; Create makes the plain sink.
    CRecordingSink(const SinkOptions& options, HRESULT* phr);

private:
    friend class CRecordingInputPin;
    void Record(const SinkEvent& event);
    HRESULT ReceiveSample(IMediaSample* pSample);
    // Holds Receive call lCall, when HoldNthSample chose it, until a release.
    void HoldIfChosen(std::unique_lock<std::mutex>& guard, long lCall);
    void ReleaseBlocked();
    void OnEndOfStream();

    CCritSec m_csFilter;
    CRecordingInputPin m_pin;
    SinkOptions m_options;

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<SinkEvent> m_events;
    std::vector<SampleRecord> m_samples;
    bool m_bBlock = false;
    bool m_bFlushing = false;
    long m_lReleaseGeneration = 0;  // bumped to release blocked callers
    HRESULT m_hrReceive = S_OK;
    long m_lFailAtCall = 0;  // absolute Receive call number; 0 = none
    HRESULT m_hrFailAt = S_OK;
    long m_lBlockFromCall = 0;
    long m_lHoldAtCall = 0;
    bool m_bHolding = false;
    bool m_bCompletePending = false;
    long m_lReceiveCalls = 0;
    long m_lBlocked = 0;
    long m_lEndOfStream = 0;
    long m_lFlushes = 0;
    uint64_t m_nAccepted = 0;
    uint64_t m_cbAccepted = 0;
    uint64_t m_nByteSum = 0;  // keeps the byte reads of counted samples from being optimised away
    bool m_bFirstSeen = false;
    std::chrono::steady_clock::time_point m_tFirstArrival;
    LONGLONG m_llFirstMediaStart = 0;
};

#endif
