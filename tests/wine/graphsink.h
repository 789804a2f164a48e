// The host's recording sink as Wine's filter graph wants a renderer: it says
// so through IAMFilterMiscFlags and passes IMediaSeeking to the pin it is
// connected to. It keeps what arrives as the JSON lines of
// "3gpdemux samples", with sample numbers from 0 since the last clear.
#ifndef TESTS_WINE_GRAPHSINK_H
#define TESTS_WINE_GRAPHSINK_H

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "recordingsink.h"

class CGraphSink : public CRecordingSink, public IMediaSeeking, public IAMFilterMiscFlags {
public:
    // The sink with one reference, or null.
    static CGraphSink* Create();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

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

    // "video" or "audio" from the connection's major type, for the lines;
    // called once connected.
    void NameFromConnection();
    std::vector<std::string> Lines() const;
    // Forgets the lines and the sink's records.
    void ClearLines();
    // Waits until end-of-stream has arrived since the last clear or flush.
    bool WaitEnded(DWORD dwMilliseconds);

private:
    explicit CGraphSink(HRESULT* phr);
    static SinkOptions RendererOptions(CGraphSink* pSink);
    void OnEvent(const SinkEvent& event, const SampleRecord* pSample, const BYTE* pData);
    IMediaSeeking* Upstream();

    mutable std::mutex m_lineLock;
    std::condition_variable m_ended;
    std::string m_kind;
    std::vector<std::string> m_lines;
    bool m_bEnded = false;
};

#endif
