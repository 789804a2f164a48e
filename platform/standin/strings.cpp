// Wide-string helpers with the SDK's contracts (lstr* and strsafe.h).
#include <stdarg.h>
#include <stdio.h>

#include "win32.h"
#include "wideformat.h"

extern "C" int WINAPI lstrlenW(LPCWSTR s)
{
    if (!s) return 0;
    int n = 0;
    while (s[n]) ++n;
    return n;
}

extern "C" int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b)
{
    static const WCHAR kEmpty[] = {0};
    if (!a) a = kEmpty;
    if (!b) b = kEmpty;
    while (*a && *a == *b) {
        ++a;
        ++b;
    }
    int d = static_cast<int>(static_cast<unsigned short>(*a)) - static_cast<int>(static_cast<unsigned short>(*b));
    return d < 0 ? -1 : d > 0 ? 1 : 0;
}

extern "C" int WINAPI lstrcmpiW(LPCWSTR a, LPCWSTR b)
{
    static const WCHAR kEmpty[] = {0};
    if (!a) a = kEmpty;
    if (!b) b = kEmpty;
    for (;; ++a, ++b) {
        unsigned ca = static_cast<unsigned short>(*a), cb = static_cast<unsigned short>(*b);
        if (ca >= 'A' && ca <= 'Z') ca += 32;
        if (cb >= 'A' && cb <= 'Z') cb += 32;
        if (ca != cb) return ca < cb ? -1 : 1;
        if (!ca) return 0;
    }
}

extern "C" LPWSTR WINAPI lstrcpynW(LPWSTR dst, LPCWSTR src, int iMaxLength)
{
    if (!dst || !src || iMaxLength <= 0) return dst;
    int i = 0;
    for (; i + 1 < iMaxLength && src[i]; ++i) dst[i] = src[i];
    dst[i] = 0;
    return dst;
}

extern "C" HRESULT StringCchLengthW(LPCWSTR psz, size_t cchMax, size_t* pcchLength)
{
    if (!psz || cchMax > STRSAFE_MAX_CCH) {
        if (pcchLength) *pcchLength = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    size_t n = 0;
    while (n < cchMax && psz[n]) ++n;
    if (n == cchMax) {
        if (pcchLength) *pcchLength = 0;
        return STRSAFE_E_INVALID_PARAMETER;
    }
    if (pcchLength) *pcchLength = n;
    return S_OK;
}

extern "C" HRESULT StringCchCopyW(LPWSTR dst, size_t cchDest, LPCWSTR src)
{
    if (!dst || cchDest == 0 || cchDest > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    size_t i = 0;
    for (; src && src[i]; ++i) {
        if (i + 1 == cchDest) {
            dst[i] = 0;
            return STRSAFE_E_INSUFFICIENT_BUFFER;
        }
        dst[i] = src[i];
    }
    dst[i] = 0;
    return S_OK;
}

extern "C" HRESULT StringCchCatW(LPWSTR dst, size_t cchDest, LPCWSTR src)
{
    size_t len;
    HRESULT hr = StringCchLengthW(dst, cchDest, &len);
    if (FAILED(hr)) return hr;
    return StringCchCopyW(dst + len, cchDest - len, src);
}

extern "C" HRESULT StringCchVPrintfW(LPWSTR dst, size_t cchDest, LPCWSTR fmt, va_list args)
{
    if (!dst || cchDest == 0 || cchDest > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    size_t needed = standin::FormatWide(dst, cchDest, fmt, args);
    return needed >= cchDest ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

extern "C" HRESULT StringCchPrintfW(LPWSTR dst, size_t cchDest, LPCWSTR fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    HRESULT hr = StringCchVPrintfW(dst, cchDest, fmt, args);
    va_end(args);
    return hr;
}

extern "C" HRESULT StringCchPrintfA(LPSTR dst, size_t cchDest, LPCSTR fmt, ...)
{
    if (!dst || cchDest == 0 || cchDest > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
    va_list args;
    va_start(args, fmt);
    int n = vsnprintf(dst, cchDest, fmt, args);
    va_end(args);
    return (n < 0 || static_cast<size_t>(n) >= cchDest) ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}
