// An allocator for the sinks that rounds each buffer up to a multiple of its
// alignment, as Windows' memory allocator (and the Linux host's) does and
// Wine's does not; everything else is Wine's own memory allocator, to which
// every call is passed. The demultiplexer packs AAC access units by the
// buffer's size, so without the rounding the same file would be cut into
// different media samples under Wine than on Windows or Linux.
#ifndef TESTS_WINE_ROUNDINGALLOCATOR_H
#define TESTS_WINE_ROUNDINGALLOCATOR_H

#include "win32.h"

// A new allocator with one reference over a new CLSID_MemoryAllocator.
HRESULT CreateRoundingAllocator(IMemAllocator** ppAllocator);

#endif
