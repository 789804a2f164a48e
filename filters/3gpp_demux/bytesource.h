// The random-access reader the parser reads the movie through. The input
// pin implements it over the upstream IAsyncReader.
#ifndef DEMUX_BYTESOURCE_H
#define DEMUX_BYTESOURCE_H

#include "win32.h"

class ByteSource {
public:
    // Reads dwLength bytes at llPosition into pBuffer; any negative result is a failure.
    virtual HRESULT Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer) = 0;
    // Total length of the stream in bytes; 0 when no reader is connected.
    virtual LONGLONG Length() = 0;

protected:
    virtual ~ByteSource() {}
};

// Read for bytes the parser interprets (box headers, tables): a reader
// answers S_FALSE when the stream ended before dwLength bytes and leaves the
// rest of the buffer unwritten, so that counts as a failure here.
inline HRESULT ReadWhole(ByteSource* pSource, LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer)
{
    HRESULT hr = pSource->Read(llPosition, dwLength, pBuffer);
    return hr == S_FALSE ? E_FAIL : hr;
}

#endif
