// The JSON lines of "3gpdemux samples", written without a JSON library so
// that the Windows test program prints byte for byte what the Linux tool
// prints for the same records.
#ifndef TESTS_WINE_SAMPLEJSON_H
#define TESTS_WINE_SAMPLEJSON_H

#include <cstddef>
#include <string>

#include "win32.h"

std::string SampleLine(const std::string& pin, size_t n, IMediaSample* pSample);
std::string SegmentLine(const std::string& pin, REFERENCE_TIME rtStart, REFERENCE_TIME rtStop, double dRate);
std::string PinEventLine(const std::string& pin, const char* pszEvent);
// MD5 of a byte range as lower-case hex; empty when the hash is unavailable.
std::string Md5Hex(const BYTE* pData, size_t cb);

#endif
