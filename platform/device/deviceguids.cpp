// Definitions of the GUIDs the desktop SDK's libraries do not hold: the
// device's media types and, missing from mingw-w64's strmiids,
// IID_IAMMediaContent.
#include <windows.h>
#include <initguid.h>
#include "device/devicemediatypes.h"

// {FA2AA8F4-8B62-11D0-A520-000000000000}
DEFINE_GUID(IID_IAMMediaContent, 0xFA2AA8F4, 0x8B62, 0x11D0, 0xA5, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00);
