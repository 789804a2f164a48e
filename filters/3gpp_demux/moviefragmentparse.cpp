// Reading the movie fragments once the "moov" tracks are known: "mvex" with
// "mehd" and each track's "trex", then every "moof" the top-level scan met,
// in file order, with its "mfhd" and per track its "traf" ("tfhd", "tfdt",
// "trun"). Only the fixed fields of these boxes are read here; a run's
// entries are read by the track (moviefragmentruns.cpp). Damage costs the
// samples it touches, with a line on the debug output, never the movie.
// A fragment's boxes are found by their headers alone, without box objects
// on the heap: a fragment is never read in part for want of memory.
#include "movie.h"

#include "moviebytes.h"
#include "moviefragments.h"
#include "moviereport.h"
#include "movietrack.h"

namespace {

// The version and flags of a small full box, then up to cbMax bytes of what
// follows them (never past the box); *pcbRead says how many.
HRESULT ReadSmallFullBox(CBox* pBox, BYTE* pBuffer, DWORD cbMax, DWORD* pcbRead)
{
    *pcbRead = 0;
    if (FAILED(pBox->ReadFullBoxHeader())) {
        return E_FAIL;
    }
    const LONGLONG llPayload = pBox->PayloadLength();
    const DWORD cbRead = llPayload < static_cast<LONGLONG>(cbMax) ? static_cast<DWORD>(llPayload) : cbMax;
    if (cbRead != 0 && FAILED(pBox->ReadAt(0, cbRead, pBuffer))) {
        return E_FAIL;
    }
    *pcbRead = cbRead;
    return S_OK;
}

// Takes the next 32-bit field when its flag is set; false when the box
// ended before it.
bool TakeOptional(DWORD dwFlags, DWORD dwFlag, const BYTE* pData, DWORD cbData, DWORD* pcbAt, DWORD* pdwValue)
{
    if ((dwFlags & dwFlag) == 0) {
        return true;
    }
    if (cbData - *pcbAt < 4) {
        return false;
    }
    *pdwValue = ReadU32BE(pData + *pcbAt);
    *pcbAt += 4;
    return true;
}

// The fields of one "trun" before its entries.
struct CRunHeader {
    DWORD dwFlags;
    DWORD dwCount;
    DWORD dwDataOffset;
    DWORD dwFirstFlags;
    ULONGLONG llEntries;
    ULONGLONG cbEntriesRoom;
};

HRESULT ReadRunHeader(CBox* pTrun, CRunHeader* pHeader)
{
    BYTE abFixed[12];
    DWORD cbFixed = 0;
    if (FAILED(ReadSmallFullBox(pTrun, abFixed, sizeof(abFixed), &cbFixed)) || cbFixed < 4) {
        return E_FAIL;
    }
    pHeader->dwFlags = pTrun->GetFlags();
    pHeader->dwCount = ReadU32BE(abFixed);
    pHeader->dwDataOffset = 0;
    pHeader->dwFirstFlags = 0;
    DWORD cbAt = 4;
    if (!TakeOptional(pHeader->dwFlags, TRUN_DATA_OFFSET, abFixed, cbFixed, &cbAt, &pHeader->dwDataOffset) ||
        !TakeOptional(pHeader->dwFlags, TRUN_FIRST_SAMPLE_FLAGS, abFixed, cbFixed, &cbAt, &pHeader->dwFirstFlags)) {
        return E_FAIL;
    }
    pHeader->llEntries = pTrun->GetFileOffset() + pTrun->GetHeaderLength() + cbAt;
    pHeader->cbEntriesRoom = static_cast<ULONGLONG>(pTrun->PayloadLength()) - cbAt;
    return S_OK;
}

}  // namespace

void CMovie::ParseFragments(CBox* pMoov)
{
    CChildHeader child;
    // "moof" boxes without "mvex" do not belong to this movie's tracks.
    if (pMoov->FindChildHeader(BOX_MVEX, &child)) {
        CBox mvex(m_pSource, child.dwType, child.cbHeader, child.llSize, child.llFileOffset);
        ParseMovieExtends(&mvex);
        DWORD dwSequence = 0;
        for (DWORD i = 0; i < m_moofs.Count(); ++i) {
            ParseMovieFragment(i, &dwSequence);
        }
        DropUnplayableFragmentedTracks();
    }
    m_moofs.Clear();
}

void CMovie::ParseMovieExtends(CBox* pMvex)
{
    for (DWORD i = 0; i < m_tracks.size(); ++i) {
        m_tracks[i]->BeginFragments();
    }
    CChildHeader header;
    for (LONGLONG llPos = 0; pMvex->ReadChildHeader(llPos, &header); llPos += header.llSize) {
        CBox child(m_pSource, header.dwType, header.cbHeader, header.llSize, header.llFileOffset);
        CBox* pChild = &child;
        BYTE abFields[20];
        DWORD cbFields = 0;
        if (pChild->GetType() == BOX_MEHD && SUCCEEDED(ReadSmallFullBox(pChild, abFields, 8, &cbFields))) {
            if (pChild->GetVersion() == 1 && cbFields >= 8) {
                m_llFragmentDuration = ReadU64BE(abFields);
            } else if (pChild->GetVersion() != 1 && cbFields >= 4) {
                m_llFragmentDuration = ReadU32BE(abFields);
            }
        } else if (pChild->GetType() == BOX_TREX && SUCCEEDED(ReadSmallFullBox(pChild, abFields, 20, &cbFields)) &&
                   cbFields >= 20) {
            // Track ID, sample description index, then the three defaults.
            CMovieTrack* pTrack = FindFragmentTrack(ReadU32BE(abFields));
            if (pTrack != NULL) {
                CSampleDefaults defaults;
                defaults.dwDuration = ReadU32BE(abFields + 8);
                defaults.dwSize = ReadU32BE(abFields + 12);
                defaults.dwFlags = ReadU32BE(abFields + 16);
                pTrack->m_pFragments->SetTrexDefaults(defaults);
            }
        }
    }
}

CMovieTrack* CMovie::FindFragmentTrack(DWORD dwTrackId)
{
    for (DWORD i = 0; i < m_tracks.size(); ++i) {
        if (m_tracks[i]->m_dwTrackId == dwTrackId && m_tracks[i]->m_pFragments != NULL) {
            return m_tracks[i];
        }
    }
    return NULL;
}

// A track still without duration has no samples anywhere; one that lost
// fragments for want of memory would play with a hole, and one without its
// "trex" would take made-up defaults: all go, as a track goes whose tables
// cannot be had.
void CMovie::DropUnplayableFragmentedTracks()
{
    for (DWORD i = m_tracks.size(); i > 0; --i) {
        const CMovieTrack* pTrack = m_tracks[i - 1];
        if (m_bMoofsLost || pTrack->m_pFragments == NULL || pTrack->m_pFragments->LostRuns() ||
            !pTrack->m_pFragments->HasDefaults() ||
            m_tracks[i - 1]->GetDuration() == 0) {
            delete m_tracks[i - 1];
            m_tracks.erase(i - 1);
        }
    }
}

void CMovie::ParseMovieFragment(DWORD dwIndex, DWORD* pdwSequence)
{
    const ULONGLONG llOffset = m_moofs.Offset(dwIndex);
    const LONGLONG llSize = m_moofs.Size(dwIndex);
    const LONGLONG llLength = m_pSource->Length();
    if (llSize < static_cast<LONGLONG>(m_moofs.HeaderLength(dwIndex)) || llLength <= 0 ||
        llOffset > static_cast<ULONGLONG>(llLength) || static_cast<ULONGLONG>(llSize) > llLength - llOffset) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Movie fragment cut by the end of the file, ignored.\r\n");
        return;
    }
    CSpanCache cache(m_pSource);
    cache.Load(llOffset, static_cast<ULONGLONG>(llSize), MAX_CACHED_FRAGMENT);
    CBox moof(&cache, BOX_MOOF, m_moofs.HeaderLength(dwIndex), llSize, llOffset);
    CChildHeader child;
    if (moof.FindChildHeader(BOX_MFHD, &child)) {
        CBox mfhd(&cache, child.dwType, child.cbHeader, child.llSize, child.llFileOffset);
        BYTE abSequence[4];
        DWORD cbSequence = 0;
        // Sequence numbers rise through the file; one that goes back marks a
        // fragment out of order, whose samples would break the track's time line.
        if (SUCCEEDED(ReadSmallFullBox(&mfhd, abSequence, 4, &cbSequence)) && cbSequence == 4) {
            const DWORD dwSequence = ReadU32BE(abSequence);
            if (dwSequence < *pdwSequence) {
                MOVIE_REPORT_ERROR(L"ERROR[Parser] Movie fragment out of order, ignored.\r\n");
                return;
            }
            *pdwSequence = dwSequence;
        }
    }
    // Without an explicit base, the first track fragment's data starts at the
    // "moof" and each later one's where the previous one's data ended.
    ULONGLONG llDataEnd = llOffset;
    for (LONGLONG llPos = 0; moof.ReadChildHeader(llPos, &child); llPos += child.llSize) {
        if (child.dwType == BOX_TRAF) {
            CBox traf(&cache, child.dwType, child.cbHeader, child.llSize, child.llFileOffset);
            ParseTrackFragment(&traf, llOffset, &llDataEnd);
        }
    }
}

void CMovie::ParseTrackFragment(CBox* pTraf, ULONGLONG llMoof, ULONGLONG* pllDataEnd)
{
    CChildHeader child;
    const bool bHeader = pTraf->FindChildHeader(BOX_TFHD, &child);
    ByteSource* pSource = pTraf->GetSource();
    CBox tfhd(pSource, child.dwType, child.cbHeader, bHeader ? child.llSize : 0, child.llFileOffset);
    CBox* pTfhd = &tfhd;
    BYTE abHeader[28];
    DWORD cbHeader = 0;
    if (!bHeader || FAILED(ReadSmallFullBox(pTfhd, abHeader, sizeof(abHeader), &cbHeader)) || cbHeader < 4) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Track fragment without a usable header, ignored.\r\n");
        return;
    }
    CMovieTrack* pTrack = FindFragmentTrack(ReadU32BE(abHeader));
    if (pTrack == NULL) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Track fragment for an unknown track, ignored.\r\n");
        return;
    }
    CTrackFragments* pFragments = pTrack->m_pFragments;
    const DWORD dwFlags = pTfhd->GetFlags();
    DWORD cbAt = 4;
    DWORD dwBaseHigh = 0;
    DWORD dwBaseLow = 0;
    DWORD dwDescription = 0;
    CSampleDefaults defaults = pFragments->TrexDefaults();
    if (!TakeOptional(dwFlags, TFHD_BASE_DATA_OFFSET, abHeader, cbHeader, &cbAt, &dwBaseHigh) ||
        !TakeOptional(dwFlags, TFHD_BASE_DATA_OFFSET, abHeader, cbHeader, &cbAt, &dwBaseLow) ||
        !TakeOptional(dwFlags, TFHD_DESCRIPTION_INDEX, abHeader, cbHeader, &cbAt, &dwDescription) ||
        !TakeOptional(dwFlags, TFHD_DEFAULT_DURATION, abHeader, cbHeader, &cbAt, &defaults.dwDuration) ||
        !TakeOptional(dwFlags, TFHD_DEFAULT_SIZE, abHeader, cbHeader, &cbAt, &defaults.dwSize) ||
        !TakeOptional(dwFlags, TFHD_DEFAULT_FLAGS, abHeader, cbHeader, &cbAt, &defaults.dwFlags)) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Track fragment without a usable header, ignored.\r\n");
        return;
    }
    ULONGLONG llBase = *pllDataEnd;
    if ((dwFlags & TFHD_BASE_DATA_OFFSET) != 0) {
        llBase = (static_cast<ULONGLONG>(dwBaseHigh) << 32) | dwBaseLow;
    } else if ((dwFlags & TFHD_BASE_IS_MOOF) != 0) {
        llBase = llMoof;
    }
    if ((dwFlags & TFHD_DURATION_IS_EMPTY) != 0) {
        return;
    }

    ULONGLONG llTime = pFragments->EndTime();
    BYTE abTime[8];
    DWORD cbTime = 0;
    if (pTraf->FindChildHeader(BOX_TFDT, &child)) {
        CBox tfdt(pSource, child.dwType, child.cbHeader, child.llSize, child.llFileOffset);
        ReadSmallFullBox(&tfdt, abTime, sizeof(abTime), &cbTime);
        if (tfdt.GetVersion() == 1 && cbTime >= 8) {
            llTime = ReadU64BE(abTime);
        } else if (tfdt.GetVersion() != 1 && cbTime >= 4) {
            llTime = ReadU32BE(abTime);
        }
        // The runs are searched by time, so they must not go back in it.
        if (llTime < pFragments->LastRunTime()) {
            MOVIE_REPORT_ERROR(L"ERROR[Parser] Track fragment out of order, ignored.\r\n");
            return;
        }
    }

    const LONGLONG llLength = m_pSource->Length();
    ULONGLONG llNextData = llBase;
    bool bSamples = false;
    for (LONGLONG llPos = 0; pTraf->ReadChildHeader(llPos, &child); llPos += child.llSize) {
        if (child.dwType != BOX_TRUN) {
            continue;
        }
        CBox trun(pSource, child.dwType, child.cbHeader, child.llSize, child.llFileOffset);
        CRunHeader header;
        if (FAILED(ReadRunHeader(&trun, &header))) {
            MOVIE_REPORT_ERROR(L"ERROR[Parser] Track run header cut short, run ignored.\r\n");
            continue;
        }
        CFragmentRun run;
        run.llEntries = header.llEntries;
        run.dwCount = header.dwCount;
        run.dwRunFlags = header.dwFlags;
        run.dwFirstFlags = header.dwFirstFlags;
        run.defaults = defaults;
        run.llBaseTime = llTime;
        const DWORD cbEntry = FragmentEntrySize(header.dwFlags);
        if (cbEntry != 0 && run.dwCount > header.cbEntriesRoom / cbEntry) {
            MOVIE_REPORT_ERROR(L"ERROR[Parser] Track run claims more entries than its box holds, cut.\r\n");
            run.dwCount = static_cast<DWORD>(header.cbEntriesRoom / cbEntry);
        }
        // The data offset is signed and counts from the base.
        run.llData = llNextData;
        if ((header.dwFlags & TRUN_DATA_OFFSET) != 0) {
            run.llData = llBase + static_cast<ULONGLONG>(static_cast<LONGLONG>(static_cast<LONG>(header.dwDataOffset)));
        }
        if (llLength <= 0 || run.llData >= static_cast<ULONGLONG>(llLength)) {
            if (run.dwCount != 0) {
                MOVIE_REPORT_ERROR(L"ERROR[Parser] Track run data outside the file, samples dropped.\r\n");
            }
            llNextData = run.llData;
            continue;
        }
        ULONGLONG llBytes = 0;
        if (pFragments->AddRun(&run, &llBytes, pSource) == S_OK) {
            bSamples = true;
            llTime = run.llBaseTime + run.llDuration;
        }
        llNextData = run.llData + llBytes;
    }
    if (bSamples) {
        pFragments->CountFragment();
    }
    *pllDataEnd = llNextData;
}
