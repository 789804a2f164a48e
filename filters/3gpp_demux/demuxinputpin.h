// CDemuxInputPin: the filter's input pin. It takes a byte stream from an
// upstream pin offering IAsyncReader and is the ByteSource through which the
// parser and the delivery threads read the file.
#ifndef DEMUX_DEMUXINPUTPIN_H
#define DEMUX_DEMUXINPUTPIN_H

#include "win32.h"
#include "basepin.h"
#include "bytesource.h"
#include "critsec.h"

class CDemuxFilter;

class CDemuxInputPin : public CBasePin, public ByteSource {
public:
    CDemuxInputPin(CDemuxFilter* pFilter, CCritSec* pLock, HRESULT* phr);
    virtual ~CDemuxInputPin();

    // CBasePin
    HRESULT CheckMediaType(const CMediaType* pmt);
    HRESULT GetMediaType(int iPosition, CMediaType* pmt);
    HRESULT CompleteConnect(IPin* pReceivePin);
    HRESULT BreakConnect();

    // IPin: flushes go to the filter's output pins.
    STDMETHODIMP BeginFlush();
    STDMETHODIMP EndFlush();

    // ByteSource, over the connected pin's IAsyncReader. Reads are
    // serialised: the parser and both delivery threads share this pin.
    HRESULT Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer);
    LONGLONG Length();

    // pPin's IAsyncReader (a reference the caller releases), or null. A
    // failure other than E_NOINTERFACE is reported on the debug output.
    static IAsyncReader* GetReader(IPin* pPin);

private:
    CDemuxInputPin(const CDemuxInputPin&);
    CDemuxInputPin& operator=(const CDemuxInputPin&);

    CDemuxFilter* m_pDemux;
    CCritSec m_csRead;
};

#endif
