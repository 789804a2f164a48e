// The lines "3gpdemux samples" prints, one JSON object each, for what a
// recording sink receives and for the graph's events. The Linux tool and
// the Windows test program both write them here, so that the Wine stage can
// compare the two byte for byte. C++03 and no JSON library: the Windows
// test program has neither's run time.
#ifndef HOST_SAMPLEJSON_H
#define HOST_SAMPLEJSON_H

#include <cstddef>
#include <string>

#include "win32.h"

// A sample as IMediaSample reports it. Failed times print as null, and so
// does the stop time when GetTime returned VFW_S_NO_STOP_TIME.
struct SampleJsonFields {
    HRESULT hrTime;
    REFERENCE_TIME rtStart;
    REFERENCE_TIME rtStop;
    HRESULT hrMediaTime;
    LONGLONG llMediaStart;
    LONGLONG llMediaStop;
    bool bSyncPoint;
    bool bDiscontinuity;
    bool bPreroll;
    LONG cbActual;
};

// n counts the pin's samples from 0; md5 is the data's hash as lower-case hex.
std::string SampleJsonLine(const std::string& pin, size_t n, const SampleJsonFields& sample, const std::string& md5);
std::string SegmentJsonLine(const std::string& pin, REFERENCE_TIME rtStart, REFERENCE_TIME rtStop, double dRate);
// pszEvent: "eos" or "flush".
std::string PinEventJsonLine(const std::string& pin, const char* pszEvent);
// EC_STREAM_ERROR_STOPPED and the like: the code and the HRESULT it carries.
std::string ErrorJsonLine(long lCode, HRESULT hr);
// Any other event of the graph.
std::string GraphEventJsonLine(long lCode, LONG_PTR lParam1, LONG_PTR lParam2);

#endif
