// Hooks of the host stand-ins that tests use to observe the platform:
// page allocations, COM task memory and the debug output, and to make the
// module's allocations fail. Host builds only.
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

// --- out-of-memory injection (allocfaults.cpp) ---
// Counted allocations are those made by code of one loaded image, from any
// thread: task memory, page memory, BSTRs, events and threads of these
// stand-ins, and the nothrow operator new and new[] of a program that links
// the platform_nothrownew object library. Allocations of other images
// (graph, sinks, stand-ins, run time) are never counted.

// Chooses the counted image: the program or shared module whose mapping
// holds pAddress (any of its functions). Call while disarmed and while no
// thread of the image allocates. False when no loaded image holds it.
bool CountAllocationsOf(const void* pAddress);
// Starts counting from zero; the n-th counted allocation (1 = the next),
// and only it, fails. 0 counts without failing.
void ArmAllocationFailure(long n);
// Stops counting and returns how many allocations were counted.
long DisarmAllocationFailure();
// Whether the armed failure has happened since ArmAllocationFailure, and
// the call that failed ("new", "CreateThread", ...; "" before it happens).
bool AllocationFailureHit();
const char* FailedAllocationKind();
// Asked by every counted allocation call with its caller's return address
// and its own name (a string that lives forever): true when this allocation
// is the one to fail.
bool AllocationShouldFail(const void* pCaller, const char* pszKind);

}  // namespace platformtest

#endif
