#include "tracktable.h"

#include "commands.h"
#include "movie.h"
#include "moviesampletables.h"
#include "movietrack.h"

CTrackTable::CTrackTable() = default;
CTrackTable::~CTrackTable() = default;

bool CTrackTable::Open(const std::string& path, DWORD trackIndex, std::string* pError)
{
    m_pSource.reset(new FileByteSource(path));
    if (!m_pSource->IsOpen()) {
        *pError = "cannot open " + path;
        return false;
    }
    m_pMovie.reset(new CMovie(m_pSource.get()));
    if (FAILED(m_pMovie->Parse()) || trackIndex >= m_pMovie->m_tracks.size()) {
        *pError = "cannot read the sample table of track " + std::to_string(trackIndex) + " of " + path;
        return false;
    }
    m_pTrack = m_pMovie->m_tracks[trackIndex];
    if (!m_pTrack->m_pSampleSize) {
        *pError = "track " + std::to_string(trackIndex) + " has no sample sizes";
        return false;
    }
    m_dwCount = m_pTrack->m_pSampleSize->m_dwSampleCount;
    return true;
}

TrackSample CTrackTable::At(DWORD i) const
{
    TrackSample sample = {0, m_pTrack->m_pSampleSize->GetSampleSize(i)};
    REFERENCE_TIME rtDuration = 0;
    m_pTrack->GetSampleTime(i, &sample.rtStart, &rtDuration);
    return sample;
}
