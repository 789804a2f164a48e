// Hooks of the host stand-ins that tests use to observe the platform:
// page allocations, COM task memory and the debug output. Host builds only.
#ifndef PLATFORM_TESTHOOKS_H
#define PLATFORM_TESTHOOKS_H

#include "win32.h"

namespace platformtest {

struct VirtualAllocStats {
    long allocCalls;
    long freeCalls;
    long liveBlocks;
};

VirtualAllocStats GetVirtualAllocStats();
void ResetVirtualAllocStats();

// Makes the n-th following VirtualAlloc call (1 = the next) fail; 0 disarms.
void FailVirtualAllocAfter(long n);

long CoTaskMemLiveBlocks();

// Event and thread handles created and not yet closed.
long LiveKernelHandles();

// Receives each piece of text written to the debug output, as UTF-16.
// A null sink restores the default: stderr, as UTF-8.
typedef void (*DebugSink)(const WCHAR* pwszText, void* pContext);
void SetDebugSink(DebugSink pfnSink, void* pContext);

}  // namespace platformtest

#endif
