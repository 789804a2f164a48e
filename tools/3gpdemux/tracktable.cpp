#include "tracktable.h"

#include "commands.h"
#include "movie.h"
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
    if (FAILED(m_pMovie->Parse()) || trackIndex >= m_pMovie->GetTracks().size()) {
        *pError = "cannot read the sample table of track " + std::to_string(trackIndex) + " of " + path;
        return false;
    }
    m_pTrack = m_pMovie->GetTracks()[trackIndex];
    m_dwCount = m_pTrack->GetSampleCount();
    return true;
}

TrackSample CTrackTable::At(DWORD i) const
{
    TrackSample sample = {0, m_pTrack->GetSampleSize(i)};
    REFERENCE_TIME rtDuration = 0;
    m_pTrack->GetSampleTime(i, &sample.rtStart, &rtDuration);
    return sample;
}

std::string UnplayableMovieReason(const CMovie* pMovie)
{
    if (!pMovie || pMovie->GetTracks().empty()) return "";
    for (DWORD i = 0; i < pMovie->GetTracks().size(); ++i) {
        if (pMovie->GetTracks()[i]->GetSampleCount() != 0) return "";
    }
    return kNoSamplesReason;
}
