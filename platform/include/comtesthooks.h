// Hooks of the COM and registry stand-ins that tests use: emptying the
// in-memory registry, counting the memory allocator's live objects and
// making its GetBuffer or Commit fail.
// Host builds only.
#ifndef PLATFORM_COMTESTHOOKS_H
#define PLATFORM_COMTESTHOOKS_H

#include "win32.h"

namespace platformtest {

// Removes every key and value from the in-memory registry.
void ClearRegistry();

// Memory allocators alive (created and not yet destroyed).
long LiveMemAllocators();

// Makes the n-th GetBuffer call from now (1 = the next) on pAllocator fail
// with hr; 0 disarms. False when pAllocator is not a memory allocator of
// these stand-ins that is alive.
bool FailGetBufferOf(IMemAllocator* pAllocator, long n, HRESULT hr);
// Makes every Commit on pAllocator fail with hr until S_OK is given; false
// as for FailGetBufferOf.
bool FailCommitOf(IMemAllocator* pAllocator, HRESULT hr);

// Threads that called CoInitializeEx and not yet CoUninitialize.
long ComInitializedThreads();

// In-process servers CoCreateInstance/CoGetClassObject loaded and
// CoFreeUnusedLibraries has not unloaded yet.
long LoadedComServers();

}  // namespace platformtest

#endif
