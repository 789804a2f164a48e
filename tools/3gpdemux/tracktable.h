// The tool's own reading of a track's sample table (sizes and start
// times), through the parser over the file: what extract needs to split
// the filter's AAC packs back into access units.
#ifndef TOOLS_3GPDEMUX_TRACKTABLE_H
#define TOOLS_3GPDEMUX_TRACKTABLE_H

#include <string>
#include <vector>

#include "win32.h"

struct TrackSample {
    REFERENCE_TIME rtStart;  // with the track's start offset, as the filter stamps media times
    DWORD cbSize;
};

// The samples of usable track trackIndex (the movie's order), in decoding order.
bool ReadTrackTable(const std::string& path, DWORD trackIndex, std::vector<TrackSample>* pTable, std::string* pError);

#endif
