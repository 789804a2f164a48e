// CDemuxOutputPin: carries one track of the movie downstream. It offers the
// one media type built from the track's sample description, sizes the
// allocator for the track's largest sample, owns the worker thread that
// delivers the samples, and implements IMediaSeeking over the filter's
// shared position state.
//
// demuxoutputpin.cpp: the pin itself (types, allocator, state, flushes);
// demuxdelivery.cpp: the worker thread and its delivery loops;
// demuxseeking.cpp: IMediaSeeking.
#ifndef DEMUX_DEMUXOUTPUTPIN_H
#define DEMUX_DEMUXOUTPUTPIN_H

#include "win32.h"
#include "amthread.h"
#include "baseoutputpin.h"
#include "interlockedvalue.h"
#include "mediatype.h"

class CDemuxFilter;
class CMovieTrack;
struct DemuxRunRange;

// Requests between the pin, the filter and the pin's worker thread.
const DWORD REQUEST_IDLE = 0;  // leave the delivery loop and wait
const DWORD REQUEST_RUN = 1;   // deliver from the filter's current position
const DWORD REQUEST_EXIT = 2;  // end the thread (after end-of-stream, if not sent)

// Allocator request: this many buffers, aligned so.
const long DEMUX_OUTPUT_BUFFERS = 4;
const long DEMUX_OUTPUT_ALIGN = 128;

class CDemuxOutputPin : public CBaseOutputPin, public CAMThread, public IMediaSeeking {
public:
    // *phr receives S_OK, or why the track cannot be delivered (the filter
    // then discards the pin).
    CDemuxOutputPin(CMovieTrack* pTrack, CDemuxFilter* pFilter, CCritSec* pLock, LPCWSTR pName, HRESULT* phr);
    virtual ~CDemuxOutputPin();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv);

    // CBasePin / CBaseOutputPin
    HRESULT Active();
    HRESULT Inactive();
    // The first half of Inactive: releases a worker waiting for a buffer.
    HRESULT DecommitAllocator();
    HRESULT CheckMediaType(const CMediaType* pmt);
    HRESULT GetMediaType(int iPosition, CMediaType* pmt);
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest);
    HRESULT DeliverEndOfStream();
    HRESULT DeliverBeginFlush();
    HRESULT DeliverEndFlush();

    // IQualityControl: quality messages are not acted on.
    STDMETHODIMP Notify(IBaseFilter* pSender, Quality q);

    // IMediaSeeking (demuxseeking.cpp)
    STDMETHODIMP GetCapabilities(DWORD* pCapabilities);
    STDMETHODIMP CheckCapabilities(DWORD* pCapabilities);
    STDMETHODIMP IsFormatSupported(const GUID* pFormat);
    STDMETHODIMP QueryPreferredFormat(GUID* pFormat);
    STDMETHODIMP GetTimeFormat(GUID* pFormat);
    STDMETHODIMP IsUsingTimeFormat(const GUID* pFormat);
    STDMETHODIMP SetTimeFormat(const GUID* pFormat);
    STDMETHODIMP GetDuration(LONGLONG* pDuration);
    STDMETHODIMP GetStopPosition(LONGLONG* pStop);
    STDMETHODIMP GetCurrentPosition(LONGLONG* pCurrent);
    STDMETHODIMP ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,
                                   const GUID* pSourceFormat);
    STDMETHODIMP SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop, DWORD dwStopFlags);
    STDMETHODIMP GetPositions(LONGLONG* pCurrent, LONGLONG* pStop);
    STDMETHODIMP GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest);
    STDMETHODIMP SetRate(double dRate);
    STDMETHODIMP GetRate(double* pdRate);
    STDMETHODIMP GetPreroll(LONGLONG* pllPreroll);

    // Worker control (demuxdelivery.cpp), under the CAMThread access lock.
    // Creates the worker if needed and sends it a run request.
    HRESULT StartDelivery();
    // Parks the worker (idle request); S_FALSE without a worker.
    HRESULT StopDelivery();
    // Ends the worker and closes its thread; S_FALSE without a worker.
    HRESULT ExitWorker();

    const CMediaType& TrackMediaType() const { return m_mtTrack; }
    CMovieTrack* Track() const { return m_pTrack; }
    // Raised by the filter while it seeks; the worker polls it between samples.
    void SetSeeking(bool bSeeking) { m_bIsSeeking.Set(bSeeking ? 1 : 0); }
    bool IsEndOfStreamSent() const { return m_bEndOfStreamSent.Get() != 0; }
    bool IsConfigSent() const { return m_bConfigSent.Get() != 0; }

protected:
    // CAMThread: the worker's request loop.
    DWORD ThreadProc();

    // The delivery loops, chosen by the track's subtype, and their steps.
    HRESULT DeliverSamples();
    HRESULT DeliverPackedSamples();
    HRESULT DeliverAmrFrames();
    // Reads sample dwSample into pSample, behind the configuration bytes
    // when they have not been sent since the worker started.
    HRESULT FillSample(IMediaSample* pSample, DWORD dwSample);
    HRESULT DeliverSample(IMediaSample* pSample);

private:
    CDemuxOutputPin(const CDemuxOutputPin&);
    CDemuxOutputPin& operator=(const CDemuxOutputPin&);

    HRESULT InitTrackType();
    // Run start of every loop (demuxrun.cpp): reads the positions, clears
    // the end-of-stream flag, opens the segment at the filter's position,
    // finds the first and last samples, and sends end-of-stream for a run
    // with nothing to deliver. False when there is nothing to deliver (or no
    // connection or track).
    bool BeginRun(DemuxRunRange* pRange);
    // Posts the stream-error event for a failed read with its result code.
    void NotifyStreamError(HRESULT hr);
    void FindRunSamples(DemuxRunRange* pRange);

    // Own state, in this order after the base parts. The flags are written
    // and polled without a lock (each has one writer at a time), so every
    // access is interlocked: the worker tests m_bIsSeeking at each sample
    // boundary while the control thread raises it.
    CMediaType m_mtTrack;     // the only type offered and accepted
    CMovieTrack* m_pTrack;    // owned by the movie
    CDemuxFilter* m_pDemux;   // the owning filter; no reference held
    CInterlockedValue<BYTE> m_bConfigSent;       // configuration bytes sent since the worker started
    CInterlockedValue<BYTE> m_bEndOfStreamSent;  // end-of-stream delivered in this run
    CInterlockedValue<BYTE> m_bIsSeeking;        // raised by the filter while it seeks
};

#endif
