// CDemuxFilter: the demultiplexer filter. It owns the input pin, the output
// pins (at most one video pin followed by at most one audio pin), the parsed
// movie and the position state that every output pin's IMediaSeeking acts
// on. Connecting the input pin opens the movie and builds the output pins;
// breaking that connection destroys them again.
//
// Locks, never nested: m_csFilter (the base filter's state lock and every
// pin's lock), m_csPosition (seeking owner, stop and rate), each output pin's
// worker access lock, and the input pin's read lock.
#ifndef DEMUX_DEMUXFILTER_H
#define DEMUX_DEMUXFILTER_H

#include "win32.h"
#include "3gpDemux.h"
#include "basefilter.h"
#include "critsec.h"
#include "movieptrarray.h"

class CBasePin;
class CDemuxInputPin;
class CDemuxOutputPin;
class CMovie;

class CDemuxFilter : public CBaseFilter, public IAMMediaContent {
public:
    // The class factory's create function: the new filter with no reference
    // held, or null with *phr set (E_OUTOFMEMORY when the filter or its input
    // pin could not be allocated).
    static CUnknown* WINAPI CreateInstance(LPUNKNOWN pUnk, HRESULT* phr);

    CDemuxFilter(LPUNKNOWN pUnk, HRESULT* phr);
    virtual ~CDemuxFilter();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv);

    // IMediaFilter: every output pin's allocator is decommitted before the
    // base Stop deactivates the pins one by one and waits for their workers.
    STDMETHODIMP Stop();

    // CBaseFilter. Pin 0 is the input pin, pins 1.. the output pins.
    int GetPinCount();
    CBasePin* GetPin(int n);
    const AMOVIESETUP_FILTER* GetSetupData();

    // IDispatch: not implemented.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo);
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo);
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId);
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr);

    // IAMMediaContent: the author and title of the movie's user data;
    // everything else is not implemented.
    STDMETHODIMP get_AuthorName(BSTR* pbstrAuthorName);
    STDMETHODIMP get_Title(BSTR* pbstrTitle);
    STDMETHODIMP get_Rating(BSTR* pbstrRating);
    STDMETHODIMP get_Description(BSTR* pbstrDescription);
    STDMETHODIMP get_Copyright(BSTR* pbstrCopyright);
    STDMETHODIMP get_BaseURL(BSTR* pbstrBaseURL);
    STDMETHODIMP get_LogoURL(BSTR* pbstrLogoURL);
    STDMETHODIMP get_LogoIconURL(BSTR* pbstrLogoURL);
    STDMETHODIMP get_WatermarkURL(BSTR* pbstrWatermarkURL);
    STDMETHODIMP get_MoreInfoURL(BSTR* pbstrMoreInfoURL);
    STDMETHODIMP get_MoreInfoBannerImage(BSTR* pbstrMoreInfoBannerImage);
    STDMETHODIMP get_MoreInfoBannerURL(BSTR* pbstrMoreInfoBannerURL);
    STDMETHODIMP get_MoreInfoText(BSTR* pbstrMoreInfoText);

    // Connection of the input pin: probe the stream, parse the movie, build
    // the output pins. VFW_E_TYPE_NOT_ACCEPTED for a stream this filter
    // cannot play, E_NOINTERFACE for an upstream pin without IAsyncReader.
    HRESULT OpenMovie(IPin* pReceivePin);
    // Destroys the output pins and the movie; S_OK.
    HRESULT CloseMovie();
    // Passed to every output pin's downstream; S_OK.
    HRESULT BeginFlush();
    HRESULT EndFlush();

    // Position state shared by the output pins (seeking and delivery).
    // TRUE when pPin owns seeking, taking ownership when nobody has it.
    bool ClaimSeeking(CDemuxOutputPin* pPin);
    void ReleaseSeeking(CDemuxOutputPin* pPin);
    // Copies the positions to each non-null pointer, under the position lock.
    void ReadPositions(REFERENCE_TIME* prtStart, REFERENCE_TIME* prtStop, double* pdRate);
    HRESULT SetStopPosition(REFERENCE_TIME rtStop);
    HRESULT SetRateValue(double dRate);
    HRESULT SetPinsSeeking();
    HRESULT ClearPinsSeeking();
    // Flushes, parks the workers, stores the positions and restarts delivery.
    HRESULT Seek(REFERENCE_TIME rtStart, REFERENCE_TIME rtStop, double dRate);

    // The open movie, or null.
    CMovie* GetMovie() const { return m_pMovie; }
    DWORD GetOutputPinCount() const { return m_outputPins.size(); }
    CDemuxOutputPin* GetOutputPin(DWORD dwIndex) const
    {
        return dwIndex < m_outputPins.size() ? m_outputPins[dwIndex] : NULL;
    }

private:
    CDemuxFilter(const CDemuxFilter&);
    CDemuxFilter& operator=(const CDemuxFilter&);

    HRESULT ProbeStream(IAsyncReader* pReader);
    void CreateOutputPins();
    bool AddOutputPin(DWORD dwTrack);
    void DestroyOutputPins();
    void DecommitOutputPins();
    HRESULT GetMetaBstr(DWORD dwIndex, BSTR* pbstr);

    CCritSec m_csFilter;
    CDemuxInputPin* m_pInputPin;
    CPtrArray<CDemuxOutputPin> m_outputPins;
    CCritSec m_csPosition;
    REFERENCE_TIME m_rtStart;
    REFERENCE_TIME m_rtStop;
    double m_dRate;
    CDemuxOutputPin* m_pSeekingPin;
    CMovie* m_pMovie;
};

#endif
