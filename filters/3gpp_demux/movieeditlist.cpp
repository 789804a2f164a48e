// The track's start offset from its edit list. Only one pattern is
// recognised: two entries, the first an empty edit; its duration delays the
// track. Edits are not otherwise applied.
#include "movietrack.h"

#include "movie.h"
#include "moviebytes.h"
#include "moviereport.h"

namespace {

const LONGLONG EMPTY_EDIT = -1;

// The first entry's segment duration when the list delays the track, else 0.
// The second entry must start the media at its beginning (media time 0), as
// ffmpeg writes a delayed track: an empty edit, then the whole media from 0.
// Its whole media time field is compared, 32 bits in version 0 and 64 in
// version 1; its duration does not matter.
ULONGLONG DelayOfTwoEntries(const BYTE* pData, BYTE bVersion)
{
    if (bVersion == 0) {
        const LONGLONG llFirstMediaTime = static_cast<LONG>(ReadU32BE(pData + 8));
        const LONGLONG llSecondMediaTime = static_cast<LONG>(ReadU32BE(pData + 20));
        if (llFirstMediaTime == EMPTY_EDIT && llSecondMediaTime == 0) {
            return ReadU32BE(pData + 4);
        }
        return 0;
    }
    const LONGLONG llFirstMediaTime = static_cast<LONGLONG>(ReadU64BE(pData + 12));
    const LONGLONG llSecondMediaTime = static_cast<LONGLONG>(ReadU64BE(pData + 32));
    if (llFirstMediaTime == EMPTY_EDIT && llSecondMediaTime == 0) {
        return ReadU64BE(pData + 4);
    }
    return 0;
}

}  // namespace

HRESULT CMovieTrack::ParseEditList(CBox* pEdts)
{
    ULONGLONG llDelay = 0;
    CBox* pElst = pEdts->FindChild(BOX_ELST);
    if (pElst != NULL) {
        pElst->ReadFullBoxHeader();
        const BYTE* pData = pElst->GetData(L"Edit List");
        if (pData == NULL) {
            MOVIE_REPORT_ERROR(L"ERROR[Parser] Read Edit List Box into buffer failed.\r\n");
            return E_FAIL;
        }
        const DWORD cbData = pElst->GetDataLength();
        const BYTE bVersion = pElst->GetVersion();
        if (cbData >= 4 && ReadU32BE(pData) == 2) {
            if (bVersion != 0 && bVersion != 1) {
                MOVIE_REPORT_ERROR(L"ERROR[Parser] Unrecognized version in Edit List box.\r\n");
                pElst->ReleaseData();
                return E_FAIL;
            }
            // A list too short for its two entries is taken as no delay,
            // like any list of another shape.
            const DWORD cbNeeded = bVersion == 0 ? 4 + 2 * 12 : 4 + 2 * 20;
            if (cbData >= cbNeeded) {
                llDelay = DelayOfTwoEntries(pData, bVersion);
            }
        }
        pElst->ReleaseData();
    }
    // A movie time scale of 0 gives offset 0 rather than a division by it.
    m_llStartOffset = MovieUnitsToReferenceTime(llDelay, m_pMovie->GetTimeScale());
    return S_OK;
}
