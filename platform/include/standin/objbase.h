// COM task memory, the allocator of media-type format blocks.
#ifndef PLATFORM_STANDIN_OBJBASE_H
#define PLATFORM_STANDIN_OBJBASE_H

#include "basetypes.h"

extern "C" {
LPVOID STDAPICALLTYPE CoTaskMemAlloc(SIZE_T cb);
LPVOID STDAPICALLTYPE CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void STDAPICALLTYPE CoTaskMemFree(LPVOID pv);
}

#endif
