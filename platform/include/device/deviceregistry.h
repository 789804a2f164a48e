// The device's registry ignores the access mask of RegCreateKeyExW (callers
// pass 0, as its documentation asks); desktop Windows grants exactly the
// mask, so a key created with 0 could not be written. Code written for the
// device gets the device's behaviour: a mask of 0 means full access.
#ifndef PLATFORM_DEVICE_DEVICEREGISTRY_H
#define PLATFORM_DEVICE_DEVICEREGISTRY_H

#include <windows.h>

inline LONG DeviceRegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD Reserved, LPWSTR lpClass, DWORD dwOptions,
                                  REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                  LPDWORD lpdwDisposition)
{
    return RegCreateKeyExW(hKey, lpSubKey, Reserved, lpClass, dwOptions, samDesired ? samDesired : KEY_ALL_ACCESS,
                           lpSecurityAttributes, phkResult, lpdwDisposition);
}
#undef RegCreateKeyExW
#define RegCreateKeyExW DeviceRegCreateKeyExW

#endif
