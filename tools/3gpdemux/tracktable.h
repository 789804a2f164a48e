// The tool's own reading of a file through the parser: a track's sample
// table (sizes and start times), which extract needs to split the filter's
// AAC packs back into access units, and why a refused file has nothing to play.
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

// Why the filter found nothing to play in a file it refused, when the
// parser can tell: "no samples in moov; movie fragments are not read" for a
// movie whose tracks list no sample, or that has none and holds movie
// fragments. Empty otherwise.
std::string UnplayableMovieReason(const std::string& path);

#endif
