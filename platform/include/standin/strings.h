// String helpers for 16-bit wide strings, named as the Windows SDK names
// them (lstr* from the kernel, StringCch* from strsafe.h). The C library's
// wcs* functions assume a 32-bit wchar_t on this host and must not be used.
#ifndef PLATFORM_STANDIN_STRINGS_H
#define PLATFORM_STANDIN_STRINGS_H

#include <stdarg.h>
#include "basetypes.h"
#include "winerror.h"

#define STRSAFE_MAX_CCH 2147483647

extern "C" {

int WINAPI lstrlenW(LPCWSTR lpString);
int WINAPI lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2);
int WINAPI lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2);
LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength);

HRESULT StringCchLengthW(LPCWSTR psz, size_t cchMax, size_t* pcchLength);
HRESULT StringCchCopyW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszSrc);
HRESULT StringCchCatW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszSrc);
HRESULT StringCchPrintfW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszFormat, ...);
HRESULT StringCchVPrintfW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszFormat, va_list argList);
HRESULT StringCchPrintfA(LPSTR pszDest, size_t cchDest, LPCSTR pszFormat, ...);
}

#endif
