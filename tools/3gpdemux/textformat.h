// How the tool writes values: GUIDs, byte strings, result codes, UTF-16
// text and MD5 digests, in the forms other tools parse.
#ifndef TOOLS_3GPDEMUX_TEXTFORMAT_H
#define TOOLS_3GPDEMUX_TEXTFORMAT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "win32.h"

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, upper case.
std::string GuidText(const GUID& guid);

// Lower-case hex, two digits a byte, nothing between.
std::string HexBytes(const uint8_t* pData, size_t cb);

// 0x%08X.
std::string HresultText(HRESULT hr);

// The symbolic name of a result code ("VFW_E_TYPE_NOT_ACCEPTED"), or "" when unknown.
std::string HresultName(HRESULT hr);

// "0x8004022A (VFW_E_TYPE_NOT_ACCEPTED)", or just the number when unnamed.
std::string HresultWithName(HRESULT hr);

// A zero-terminated UTF-16 string as UTF-8; "" for null.
std::string Utf8FromWide(LPCWSTR pwsz);

// MD5 of the bytes as lower-case hex (OpenSSL EVP).
std::string Md5Hex(const uint8_t* pData, size_t cb);

#endif
