#include "textformat.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>
#include <vector>

std::string GuidText(const GUID& guid)
{
    char sz[40];
    std::snprintf(sz, sizeof(sz), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                  guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return sz;
}

std::string HexBytes(const uint8_t* pData, size_t cb)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(cb * 2);
    for (size_t i = 0; i < cb; ++i) {
        text += kDigits[pData[i] >> 4];
        text += kDigits[pData[i] & 15];
    }
    return text;
}

std::string HresultText(HRESULT hr)
{
    char sz[16];
    std::snprintf(sz, sizeof(sz), "0x%08X", static_cast<unsigned>(hr));
    return sz;
}

std::string HresultName(HRESULT hr)
{
    struct Name {
        HRESULT hr;
        const char* psz;
    };
    // The codes this filter, the COM run time and the host graph return.
    static const Name kNames[] = {
        {S_OK, "S_OK"},
        {S_FALSE, "S_FALSE"},
        {E_NOTIMPL, "E_NOTIMPL"},
        {E_NOINTERFACE, "E_NOINTERFACE"},
        {E_POINTER, "E_POINTER"},
        {E_ABORT, "E_ABORT"},
        {E_FAIL, "E_FAIL"},
        {E_UNEXPECTED, "E_UNEXPECTED"},
        {E_ACCESSDENIED, "E_ACCESSDENIED"},
        {E_HANDLE, "E_HANDLE"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {REGDB_E_CLASSNOTREG, "REGDB_E_CLASSNOTREG"},
        {REGDB_E_READREGDB, "REGDB_E_READREGDB"},
        {CO_E_DLLNOTFOUND, "CO_E_DLLNOTFOUND"},
        {CO_E_ERRORINDLL, "CO_E_ERRORINDLL"},
        {VFW_S_NO_MORE_ITEMS, "VFW_S_NO_MORE_ITEMS"},
        {VFW_E_INVALIDMEDIATYPE, "VFW_E_INVALIDMEDIATYPE"},
        {VFW_E_INVALIDSUBTYPE, "VFW_E_INVALIDSUBTYPE"},
        {VFW_E_ALREADY_CONNECTED, "VFW_E_ALREADY_CONNECTED"},
        {VFW_E_NO_ACCEPTABLE_TYPES, "VFW_E_NO_ACCEPTABLE_TYPES"},
        {VFW_E_NOT_CONNECTED, "VFW_E_NOT_CONNECTED"},
        {VFW_E_NO_ALLOCATOR, "VFW_E_NO_ALLOCATOR"},
        {VFW_E_BUFFER_OVERFLOW, "VFW_E_BUFFER_OVERFLOW"},
        {VFW_E_NOT_COMMITTED, "VFW_E_NOT_COMMITTED"},
        {VFW_E_NOT_FOUND, "VFW_E_NOT_FOUND"},
        {VFW_E_CANNOT_CONNECT, "VFW_E_CANNOT_CONNECT"},
        {VFW_E_NOT_STOPPED, "VFW_E_NOT_STOPPED"},
        {VFW_E_WRONG_STATE, "VFW_E_WRONG_STATE"},
        {VFW_E_START_TIME_AFTER_END, "VFW_E_START_TIME_AFTER_END"},
        {VFW_E_TYPE_NOT_ACCEPTED, "VFW_E_TYPE_NOT_ACCEPTED"},
        {VFW_E_TIMEOUT, "VFW_E_TIMEOUT"},
    };
    for (const Name& name : kNames) {
        if (name.hr == hr) return name.psz;
    }
    return std::string();
}

std::string HresultWithName(HRESULT hr)
{
    std::string name = HresultName(hr);
    return name.empty() ? HresultText(hr) : HresultText(hr) + " (" + name + ")";
}

std::string Utf8FromWide(LPCWSTR pwsz)
{
    if (!pwsz) return std::string();
    int cb = WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, nullptr, 0, nullptr, nullptr);
    if (cb <= 1) return std::string();
    std::vector<char> buffer(static_cast<size_t>(cb));
    WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, buffer.data(), cb, nullptr, nullptr);
    return std::string(buffer.data());
}

std::string Md5Hex(const uint8_t* pData, size_t cb)
{
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int cbDigest = 0;
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), pData, cb) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest, &cbDigest) != 1) {
        return std::string();
    }
    return HexBytes(digest, cbDigest);
}
