// The one place the GUIDs declared by the platform headers are defined.
#define INITGUID
#include "win32.h"
