// Win32 base types with the sizes Windows gives them (LLP64), whatever the
// host's own data model is.
#ifndef PLATFORM_STANDIN_BASETYPES_H
#define PLATFORM_STANDIN_BASETYPES_H

#include <stddef.h>

typedef unsigned int DWORD;
typedef int LONG;
typedef unsigned int ULONG;
typedef int INT;
typedef unsigned int UINT;
typedef short SHORT;
typedef unsigned short USHORT;
typedef unsigned short WORD;
typedef unsigned char BYTE;
typedef unsigned char UCHAR;
typedef char CHAR;
typedef int BOOL;
typedef long long LONGLONG;
typedef unsigned long long ULONGLONG;
typedef LONGLONG INT64;
typedef ULONGLONG UINT64;
typedef ULONGLONG DWORDLONG;
typedef float FLOAT;
typedef double DOUBLE;

// The whole build uses -fshort-wchar, so wchar_t and L"" are UTF-16.
typedef wchar_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
typedef WCHAR OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef char* LPSTR;
typedef const char* LPCSTR;

typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* PBYTE;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef LONG* LPLONG;
typedef BOOL* LPBOOL;

typedef size_t SIZE_T;
typedef ptrdiff_t SSIZE_T;
typedef ptrdiff_t LONG_PTR;
typedef size_t ULONG_PTR;
typedef size_t UINT_PTR;
typedef ptrdiff_t INT_PTR;
typedef size_t DWORD_PTR;

typedef void* HANDLE;
typedef HANDLE HINSTANCE;
typedef HANDLE HMODULE;
typedef HANDLE HKEY;

typedef LONG HRESULT;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#define WINAPI
#define STDAPICALLTYPE
#define STDMETHODCALLTYPE

#define INFINITE 0xFFFFFFFF

// Windows' sizes, which the module's record layouts rely on (C++03 has no
// static_assert: an array of size -1 stops the build). L"" must be UTF-16 too.
typedef char PlatformWcharIsUtf16Check[sizeof(WCHAR) == 2 && sizeof(L'x') == 2 ? 1 : -1];
typedef char PlatformDwordIs32BitCheck[sizeof(DWORD) == 4 ? 1 : -1];
typedef char PlatformLongIs32BitCheck[sizeof(LONG) == 4 ? 1 : -1];
typedef char PlatformLonglongIs64BitCheck[sizeof(LONGLONG) == 8 ? 1 : -1];

#endif
