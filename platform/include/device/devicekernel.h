// Kernel services the device has and the desktop SDK does not declare: the
// debug output, EventModify and the 256-level thread priorities. On desktop
// Windows platform/device/ implements them over their desktop equivalents.
#ifndef PLATFORM_DEVICE_DEVICEKERNEL_H
#define PLATFORM_DEVICE_DEVICEKERNEL_H

#include <windows.h>

// EventModify operations, as the device's kernel numbers them.
#define EVENT_PULSE 1
#define EVENT_RESET 2
#define EVENT_SET 3

extern "C" {
// Formats like the device's wide printf family (%s takes a wide string, %S a
// narrow one) and writes the text to the debug output.
void NKDbgPrintfW(LPCWSTR lpszFmt, ...);
BOOL WINAPI EventModify(HANDLE hEvent, DWORD func);
// The device's priorities: 0 highest, 255 lowest; 248..255 are the eight
// classes "Critical" to "Idle".
BOOL WINAPI CeSetThreadPriority(HANDLE hThread, int nPriority);
int WINAPI CeGetThreadPriority(HANDLE hThread);
}

#endif
