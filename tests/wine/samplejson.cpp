#include "samplejson.h"

#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string Number(long long llValue)
{
    return std::to_string(llValue);
}

// The shortest text that reads back as the same double, with ".0" on whole
// numbers, as the Linux tool's JSON library writes doubles.
std::string Real(double dValue)
{
    char sz[40];
    for (int iPrecision = 1; iPrecision <= 17; ++iPrecision) {
        std::snprintf(sz, sizeof(sz), "%.*g", iPrecision, dValue);
        if (std::strtod(sz, nullptr) == dValue) break;
    }
    std::string text(sz);
    if (text.find_first_of(".eEni") == std::string::npos) text += ".0";
    return text;
}

std::string Bool(bool bValue)
{
    return bValue ? "true" : "false";
}

std::string Head(const std::string& pin, const char* pszEvent)
{
    return "{\"pin\":" + Quoted(pin) + ",\"event\":" + Quoted(pszEvent);
}

}  // namespace

std::string SampleLine(const std::string& pin, size_t n, IMediaSample* pSample)
{
    REFERENCE_TIME rtStart = 0, rtStop = 0;
    HRESULT hrTime = pSample->GetTime(&rtStart, &rtStop);
    LONGLONG llMediaStart = 0, llMediaStop = 0;
    HRESULT hrMediaTime = pSample->GetMediaTime(&llMediaStart, &llMediaStop);
    BYTE* pData = nullptr;
    LONG cbActual = pSample->GetActualDataLength();
    if (FAILED(pSample->GetPointer(&pData)) || cbActual < 0) cbActual = 0;

    std::string line = Head(pin, "sample") + ",\"n\":" + Number(static_cast<long long>(n));
    line += ",\"start\":" + (FAILED(hrTime) ? std::string("null") : Number(rtStart));
    line += ",\"stop\":" + (FAILED(hrTime) || hrTime == VFW_S_NO_STOP_TIME ? std::string("null") : Number(rtStop));
    line += ",\"mstart\":" + (FAILED(hrMediaTime) ? std::string("null") : Number(llMediaStart));
    line += ",\"mstop\":" + (FAILED(hrMediaTime) ? std::string("null") : Number(llMediaStop));
    line += ",\"sync\":" + Bool(pSample->IsSyncPoint() == S_OK);
    line += ",\"discontinuity\":" + Bool(pSample->IsDiscontinuity() == S_OK);
    line += ",\"preroll\":" + Bool(pSample->IsPreroll() == S_OK);
    line += ",\"size\":" + Number(cbActual);
    line += ",\"md5\":" + Quoted(Md5Hex(pData, static_cast<size_t>(cbActual))) + "}";
    return line;
}

std::string SegmentLine(const std::string& pin, REFERENCE_TIME rtStart, REFERENCE_TIME rtStop, double dRate)
{
    return Head(pin, "segment") + ",\"start\":" + Number(rtStart) + ",\"stop\":" + Number(rtStop) +
           ",\"rate\":" + Real(dRate) + "}";
}

std::string PinEventLine(const std::string& pin, const char* pszEvent)
{
    return Head(pin, pszEvent) + "}";
}

std::string Md5Hex(const BYTE* pData, size_t cb)
{
    // One provider for the process; CryptoAPI hashes are not shared between threads.
    static HCRYPTPROV s_hProvider = 0;
    static std::once_flag s_once;
    std::call_once(s_once, [] {
        if (!CryptAcquireContextW(&s_hProvider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) s_hProvider = 0;
    });
    if (!s_hProvider) return std::string();

    HCRYPTHASH hHash = 0;
    if (!CryptCreateHash(s_hProvider, CALG_MD5, 0, 0, &hHash)) return std::string();
    static const BYTE kEmpty = 0;
    BYTE digest[16];
    DWORD cbDigest = sizeof(digest);
    bool bOk = CryptHashData(hHash, cb ? pData : &kEmpty, static_cast<DWORD>(cb), 0) &&
               CryptGetHashParam(hHash, HP_HASHVAL, digest, &cbDigest, 0) && cbDigest == sizeof(digest);
    CryptDestroyHash(hHash);
    if (!bOk) return std::string();
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (DWORD i = 0; i < cbDigest; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 15];
    }
    return hex;
}
