// Kernel services of the device that the module uses directly: page
// allocation, the debug output and code-page conversion.
#ifndef PLATFORM_STANDIN_KERNEL_H
#define PLATFORM_STANDIN_KERNEL_H

#include "basetypes.h"

#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_DECOMMIT 0x00004000
#define MEM_RELEASE 0x00008000
#define PAGE_NOACCESS 0x01
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04

#define CP_ACP 0
#define CP_UTF8 65001

extern "C" {

LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect);
BOOL WINAPI VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType);

// Formats like the wide printf family of the device (%s takes a wide
// string, %S a narrow one) and writes the text to the debug output.
void NKDbgPrintfW(LPCWSTR lpszFmt, ...);

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar);

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);
}

#endif
