// The tool's own reading of a file through the parser: a track's sample
// table (sizes and start times), which extract needs to split the filter's
// AAC packs back into access units, and why a refused file has nothing to
// play. Entries are looked up as asked for; the parser reads the time tables
// through windows, so nothing here grows with the file beyond what the filter
// itself holds.
#ifndef TOOLS_3GPDEMUX_TRACKTABLE_H
#define TOOLS_3GPDEMUX_TRACKTABLE_H

#include <memory>
#include <string>

#include "win32.h"

class CMovie;
class CMovieTrack;
class FileByteSource;

struct TrackSample {
    REFERENCE_TIME rtStart;  // with the track's start offset, as the filter stamps media times
    DWORD cbSize;
};

class CTrackTable {
public:
    CTrackTable();
    ~CTrackTable();
    // Usable track trackIndex (the movie's order) of the file.
    bool Open(const std::string& path, DWORD trackIndex, std::string* pError);
    // Samples in decoding order.
    DWORD Count() const { return m_dwCount; }
    TrackSample At(DWORD i) const;

private:
    std::unique_ptr<FileByteSource> m_pSource;
    std::unique_ptr<CMovie> m_pMovie;
    CMovieTrack* m_pTrack = nullptr;
    DWORD m_dwCount = 0;
};

// Why the filter found nothing to play in a file it refused, when the tool's
// own parse (null when it failed) can tell: kNoSamplesReason for a movie whose tracks have no sample
// in moov nor in movie fragments. Empty otherwise.
inline constexpr char kNoSamplesReason[] = "no samples in moov nor in movie fragments";
std::string UnplayableMovieReason(const CMovie* pMovie);

#endif
