#include "tracktable.h"

#include "commands.h"
#include "movie.h"
#include "movietrack.h"

bool ReadTrackTable(const std::string& path, DWORD trackIndex, std::vector<TrackSample>* pTable, std::string* pError)
{
    FileByteSource source(path);
    if (!source.IsOpen()) {
        *pError = "cannot open " + path;
        return false;
    }
    CMovie movie(&source);
    if (FAILED(movie.Parse()) || trackIndex >= movie.m_tracks.size()) {
        *pError = "cannot read the sample table of track " + std::to_string(trackIndex) + " of " + path;
        return false;
    }
    CMovieTrack* pTrack = movie.m_tracks[trackIndex];
    pTable->clear();
    const DWORD dwCount = pTrack->GetSampleCount();
    pTable->reserve(dwCount);
    for (DWORD i = 0; i < dwCount; ++i) {
        TrackSample sample = {0, pTrack->GetSampleSize(i)};
        REFERENCE_TIME rtDuration = 0;
        pTrack->GetSampleTime(i, &sample.rtStart, &rtDuration);
        pTable->push_back(sample);
    }
    return true;
}
