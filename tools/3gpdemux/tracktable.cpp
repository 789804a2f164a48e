#include "tracktable.h"

#include "commands.h"
#include "movie.h"
#include "moviesampletables.h"
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
    if (!pTrack->m_pSampleSize) {
        *pError = "track " + std::to_string(trackIndex) + " has no sample sizes";
        return false;
    }
    pTable->clear();
    const DWORD dwCount = pTrack->m_pSampleSize->m_dwSampleCount;
    pTable->reserve(dwCount);
    for (DWORD i = 0; i < dwCount; ++i) {
        TrackSample sample = {0, pTrack->m_pSampleSize->GetSampleSize(i)};
        REFERENCE_TIME rtDuration = 0;
        pTrack->GetSampleTime(i, &sample.rtStart, &rtDuration);
        pTable->push_back(sample);
    }
    return true;
}
