// How the platform's memory allocator sizes its buffers: each buffer grows so
// that its prefix and itself together fill whole units of the alignment.
// The Linux stand-in allocator does this, and the Windows test program's
// allocator does it for Wine's, which does not.
#ifndef PLATFORM_ALLOCATORROUNDING_H
#define PLATFORM_ALLOCATORROUNDING_H

#include "win32.h"

// The buffer size given for cbBuffer bytes after a prefix of cbPrefix, with
// alignment cbAlign (at least 1). False, leaving *pcbRounded alone, for a
// negative size or alignment and for a result a LONG cannot hold.
inline bool RoundBufferSize(LONG cbBuffer, LONG cbPrefix, LONG cbAlign, LONG* pcbRounded)
{
    if (cbBuffer < 0 || cbPrefix < 0 || cbAlign < 1) return false;
    LONGLONG cbTotal = static_cast<LONGLONG>(cbBuffer) + cbPrefix;
    cbTotal = (cbTotal + cbAlign - 1) / cbAlign * cbAlign;
    if (cbTotal > 0x7FFFFFFF) return false;
    *pcbRounded = static_cast<LONG>(cbTotal - cbPrefix);
    return true;
}

#endif
