// What the tool reports about one output pin: its media type as connected,
// the track behind it and the allocator it negotiated.
#ifndef TOOLS_3GPDEMUX_PINFACTS_H
#define TOOLS_3GPDEMUX_PINFACTS_H

#include <cstdint>
#include <string>
#include <vector>

#include "win32.h"

class CToolSession;

struct PinFacts {
    int index = 0;      // as the filter's GetPin numbers it (0 is the input)
    std::string name;   // UTF-8
    std::string kind;   // "video" or "audio"
    GUID majortype = GUID_NULL;
    GUID subtype = GUID_NULL;
    GUID formattype = GUID_NULL;
    std::vector<uint8_t> format;
    std::vector<uint8_t> config;
    DWORD samples = 0;
    DWORD maxSampleSize = 0;
    bool bFragmented = false;  // the movie has fragments ("mvex")
    DWORD fragments = 0;       // track fragments that gave this track samples
    DWORD timescale = 0;
    REFERENCE_TIME trackDuration = 0;
    REFERENCE_TIME startOffset = 0;
    bool bAllocator = false;
    ALLOCATOR_PROPERTIES allocator = {0, 0, 0, 0};
    DWORD trackIndex = 0;  // among the movie's usable tracks
};

// Output pin i of a session whose sinks are connected. The track facts come
// from the session's parse of the file, the track picked as the filter picks
// it: the first offered track of the pin's kind whose media type is the pin's.
PinFacts DescribePin(const CToolSession& session, size_t i);

#endif
