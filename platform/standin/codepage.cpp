// MultiByteToWideChar / WideCharToMultiByte for UTF-8 (65001), with
// Windows' conventions: -1 means zero-terminated (terminator counted), a
// zero output size asks for the length, malformed bytes become U+FFFD
// unless MB_ERR_INVALID_CHARS is given.
#include <string.h>

#include <vector>

#include "testhooks.h"
#include "wideformat.h"

#define MB_ERR_INVALID_CHARS 0x00000008

namespace {

// Decodes one UTF-8 sequence; returns bytes consumed, cp = 0xFFFFFFFF when invalid.
size_t DecodeOne(const unsigned char* s, size_t n, unsigned* cp)
{
    unsigned c = s[0];
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    size_t len;
    unsigned min;
    if ((c & 0xE0) == 0xC0) {
        len = 2;
        c &= 0x1F;
        min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3;
        c &= 0x0F;
        min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4;
        c &= 0x07;
        min = 0x10000;
    } else {
        *cp = 0xFFFFFFFF;
        return 1;
    }
    for (size_t i = 1; i < len; ++i) {
        if (i >= n || (s[i] & 0xC0) != 0x80) {
            *cp = 0xFFFFFFFF;
            return i;
        }
        c = (c << 6) | (s[i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        *cp = 0xFFFFFFFF;
        return len;
    }
    *cp = c;
    return len;
}

}  // namespace

extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                          LPWSTR lpWideCharStr, int cchWideChar)
{
    if (!lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 || (CodePage != CP_UTF8 && CodePage != CP_ACP)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = cbMultiByte < 0 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
    std::vector<WCHAR> out;
    out.reserve(n);
    for (size_t i = 0; i < n;) {
        unsigned cp;
        size_t used;
        if (CodePage == CP_ACP) {
            cp = s[i];
            used = 1;
        } else {
            used = DecodeOne(s + i, n - i, &cp);
        }
        i += used;
        if (cp == 0xFFFFFFFF) {
            if (dwFlags & MB_ERR_INVALID_CHARS) {
                SetLastError(ERROR_NO_UNICODE_TRANSLATION);
                return 0;
            }
            cp = 0xFFFD;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<WCHAR>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<WCHAR>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<WCHAR>(cp));
        }
    }
    if (cchWideChar == 0) return static_cast<int>(out.size());
    if (!lpWideCharStr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (out.size() > static_cast<size_t>(cchWideChar)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (!out.empty()) memcpy(lpWideCharStr, out.data(), out.size() * sizeof(WCHAR));
    return static_cast<int>(out.size());
}

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD, LPCWSTR lpWideCharStr, int cchWideChar,
                                          LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR, LPBOOL lpUsedDefaultChar)
{
    if (!lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 || CodePage != CP_UTF8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (lpUsedDefaultChar) *lpUsedDefaultChar = FALSE;
    size_t n = cchWideChar < 0 ? static_cast<size_t>(lstrlenW(lpWideCharStr)) + 1 : static_cast<size_t>(cchWideChar);
    std::vector<char> out(n * 3 + 4);
    size_t used = 0;
    standin::AppendUtf8(lpWideCharStr, n, out.data(), out.size(), &used);
    if (cbMultiByte == 0) return static_cast<int>(used);
    if (!lpMultiByteStr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (used > static_cast<size_t>(cbMultiByte)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    memcpy(lpMultiByteStr, out.data(), used);
    return static_cast<int>(used);
}
