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

std::string UnplayableMovieReason(const std::string& path)
{
    FileByteSource source(path);
    if (!source.IsOpen()) return "";
    bool bFragments = false;
    {
        // The whole file as one parent, so that the top-level boxes are its children.
        CBox file(&source, 0x66696C65 /* "file" */, 0, source.Length(), 0);
        file.EnumerateChildren(0);
        for (DWORD i = 0; i < file.m_dwChildCount; ++i) {
            if (file.m_ppChildren[i]->m_dwType == 0x6D6F6F66 /* "moof" */) bFragments = true;
        }
    }
    CMovie movie(&source);
    const bool bParsed = SUCCEEDED(movie.Parse());
    for (DWORD i = 0; bParsed && i < movie.m_tracks.size(); ++i) {
        const CSampleSizeBox* pSizes = movie.m_tracks[i]->m_pSampleSize;
        if (pSizes != nullptr && pSizes->m_dwSampleCount != 0) return "";
    }
    if ((bParsed && !movie.m_tracks.empty()) || bFragments) return "no samples in moov; movie fragments are not read";
    return "";
}
