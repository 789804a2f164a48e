// A track's fragment runs: the fixed record of each, and the lookups by
// sample number and by time, which find their run by a binary search over
// the records and then walk its entries (from the last sample decoded when
// the walk goes on in order).
#include "moviefragments.h"

#include "moviebytes.h"
#include "moviereport.h"

namespace {

bool IsSync(DWORD dwFlags)
{
    return (dwFlags & SAMPLE_FLAG_NON_SYNC) == 0;
}

// Sample numbers stop short of FRAGMENT_NO_SAMPLE, and of the value before
// it so that a count minus one never wraps.
const DWORD MAX_TRACK_SAMPLES = 0xFFFFFFFE;

}  // namespace

CTrackFragments::CTrackFragments(ByteSource* pSource, DWORD dwFirstSample, ULONGLONG llFirstTime, DWORD dwSyncBefore)
    : m_bHasDefaults(false),
      m_dwFragmentCount(0),
      m_bOutOfMemory(false),
      m_pSource(pSource),
      m_pRuns(NULL),
      m_dwRunCount(0),
      m_dwRunCapacity(0),
      m_dwFirstSample(dwFirstSample),
      m_dwNextSample(dwFirstSample),
      m_llEndTime(llFirstTime),
      m_dwSyncBefore(dwSyncBefore),
      m_cbMaxSample(0),
      m_bRunsCapped(false),
      m_dwCursorRun(FRAGMENT_NO_SAMPLE),
      m_dwCursorIndex(0),
      m_llCursorOffset(0),
      m_llCursorTime(0)
{
    m_trexDefaults.dwDuration = 0;
    m_trexDefaults.dwSize = 0;
    m_trexDefaults.dwFlags = 0;
}

CTrackFragments::~CTrackFragments()
{
    delete[] m_pRuns;
}

ULONGLONG CTrackFragments::LastRunTime() const
{
    return m_dwRunCount != 0 ? m_pRuns[m_dwRunCount - 1].llBaseTime : 0;
}

HRESULT CTrackFragments::ReadEntry(const CFragmentRun& run, DWORD dwIndex, DWORD* pdwDuration, DWORD* pdwSize,
                                   DWORD* pdwFlags, ByteSource* pSource)
{
    *pdwDuration = run.defaults.dwDuration;
    *pdwSize = run.defaults.dwSize;
    *pdwFlags = (dwIndex == 0 && (run.dwRunFlags & TRUN_FIRST_SAMPLE_FLAGS) != 0) ? run.dwFirstFlags
                                                                                   : run.defaults.dwFlags;
    const DWORD cbEntry = FragmentEntrySize(run.dwRunFlags);
    if (cbEntry == 0) {
        return S_OK;
    }
    const ULONGLONG llLimit = run.llEntries + static_cast<ULONGLONG>(run.dwCount) * cbEntry;
    const BYTE* pEntry = m_window.At(pSource, run.llEntries + static_cast<ULONGLONG>(dwIndex) * cbEntry, cbEntry, llLimit);
    if (pEntry == NULL) {
        return E_FAIL;
    }
    // The fields come in this order; each is there only when its flag is set.
    if ((run.dwRunFlags & TRUN_SAMPLE_DURATION) != 0) {
        *pdwDuration = ReadU32BE(pEntry);
        pEntry += 4;
    }
    if ((run.dwRunFlags & TRUN_SAMPLE_SIZE) != 0) {
        *pdwSize = ReadU32BE(pEntry);
        pEntry += 4;
    }
    if ((run.dwRunFlags & TRUN_SAMPLE_FLAGS) != 0) {
        *pdwFlags = ReadU32BE(pEntry);
    }
    return S_OK;
}

HRESULT CTrackFragments::Append(const CFragmentRun& run)
{
    HRESULT hr = GrowRecords(&m_pRuns, m_dwRunCount, &m_dwRunCapacity);
    if (FAILED(hr)) {
        return hr;
    }
    m_pRuns[m_dwRunCount++] = run;
    return S_OK;
}

HRESULT CTrackFragments::AddRun(CFragmentRun* pRun, ULONGLONG* pllBytes, ByteSource* pParseSource)
{
    *pllBytes = 0;
    CFragmentRun& run = *pRun;
    run.dwFirstSample = m_dwNextSample;
    run.llDuration = 0;
    if (run.dwCount > MAX_TRACK_SAMPLES - m_dwNextSample) {
        run.dwCount = MAX_TRACK_SAMPLES - m_dwNextSample;
    }
    const LONGLONG llLength = m_pSource != NULL ? m_pSource->Length() : 0;
    const ULONGLONG llRoom =
        (llLength > 0 && run.llData < static_cast<ULONGLONG>(llLength)) ? static_cast<ULONGLONG>(llLength) - run.llData : 0;
    const DWORD dwDeclared = run.dwCount;
    DWORD dwLastSync = FRAGMENT_NO_SAMPLE;
    DWORD cbMax = 0;
    if (FragmentEntrySize(run.dwRunFlags) == 0) {
        // Every sample takes the defaults: nothing to read. Each sample is
        // counted as at least one byte, so a count no file could hold is cut
        // even for empty samples.
        const ULONGLONG llPerSample = run.defaults.dwSize != 0 ? run.defaults.dwSize : 1;
        if (run.dwCount > llRoom / llPerSample) {
            run.dwCount = static_cast<DWORD>(llRoom / llPerSample);
        }
        run.llDuration = static_cast<ULONGLONG>(run.dwCount) * run.defaults.dwDuration;
        *pllBytes = static_cast<ULONGLONG>(run.dwCount) * run.defaults.dwSize;
        cbMax = run.dwCount != 0 ? run.defaults.dwSize : 0;
        if (run.dwCount != 0 && IsSync(run.defaults.dwFlags)) {
            dwLastSync = run.dwCount - 1;
        } else if (run.dwCount != 0 && (run.dwRunFlags & TRUN_FIRST_SAMPLE_FLAGS) != 0 && IsSync(run.dwFirstFlags)) {
            dwLastSync = 0;
        }
    } else {
        ULONGLONG llBytes = 0;
        DWORD i = 0;
        for (; i < run.dwCount; ++i) {
            DWORD dwDuration, cbSize, dwFlags;
            if (FAILED(ReadEntry(run, i, &dwDuration, &cbSize, &dwFlags, pParseSource)) || cbSize > llRoom - llBytes) {
                break;
            }
            llBytes += cbSize;
            run.llDuration += dwDuration;
            if (cbSize > cbMax) {
                cbMax = cbSize;
            }
            if (IsSync(dwFlags)) {
                dwLastSync = i;
            }
        }
        run.dwCount = i;
        *pllBytes = llBytes;
    }
    if (run.dwCount != dwDeclared) {
        MOVIE_REPORT_ERROR(L"ERROR[Parser] Track run cut to the samples the file holds.\r\n");
    }
    if (run.dwCount == 0) {
        return S_FALSE;
    }
    if (m_dwRunCount >= MAX_FRAGMENT_RUNS) {
        if (!m_bRunsCapped) {
            MOVIE_REPORT_ERROR(L"ERROR[Parser] Too many track runs; the later ones are ignored.\r\n");
        }
        m_bRunsCapped = true;
        *pllBytes = 0;
        return S_FALSE;
    }
    const DWORD dwSyncBefore = m_dwRunCount != 0 ? m_pRuns[m_dwRunCount - 1].dwSyncAtEnd : m_dwSyncBefore;
    run.dwSyncAtEnd = dwLastSync != FRAGMENT_NO_SAMPLE ? run.dwFirstSample + dwLastSync : dwSyncBefore;
    HRESULT hr = Append(run);
    if (FAILED(hr)) {
        *pllBytes = 0;
        m_bOutOfMemory = true;
        return hr;
    }
    m_dwNextSample += run.dwCount;
    m_llEndTime = run.llBaseTime + run.llDuration;
    if (cbMax > m_cbMaxSample) {
        m_cbMaxSample = cbMax;
    }
    return S_OK;
}

// The last run whose field is at or below the value, by bisection: both
// keys (first sample, base time) grow with the run's number. At least one
// run, and the first run's key at or below the value.
template <typename T>
DWORD CTrackFragments::LastRunAtOrBefore(T CFragmentRun::*pKey, T value) const
{
    DWORD dwLow = 0;
    DWORD dwHigh = m_dwRunCount - 1;
    while (dwLow < dwHigh) {
        const DWORD dwMiddle = dwLow + (dwHigh - dwLow + 1) / 2;
        if (m_pRuns[dwMiddle].*pKey <= value) {
            dwLow = dwMiddle;
        } else {
            dwHigh = dwMiddle - 1;
        }
    }
    return dwLow;
}

DWORD CTrackFragments::FindRun(DWORD dwSample) const
{
    if (m_dwRunCount == 0 || dwSample < m_pRuns[0].dwFirstSample || dwSample >= m_dwNextSample) {
        return FRAGMENT_NO_SAMPLE;
    }
    // Runs are numbered in order.
    return LastRunAtOrBefore(&CFragmentRun::dwFirstSample, dwSample);
}

HRESULT CTrackFragments::GetSample(DWORD dwSample, CFragmentSample* pSample)
{
    pSample->llPosition = 0;
    pSample->llTime = 0;
    pSample->dwSize = 0;
    pSample->dwDuration = 0;
    pSample->dwFlags = 0;
    const DWORD dwRun = FindRun(dwSample);
    if (dwRun == FRAGMENT_NO_SAMPLE) {
        return S_FALSE;
    }
    const CFragmentRun& run = m_pRuns[dwRun];
    const DWORD dwIndex = dwSample - run.dwFirstSample;
    ULONGLONG llOffset = static_cast<ULONGLONG>(dwIndex) * run.defaults.dwSize;
    ULONGLONG llTime = static_cast<ULONGLONG>(dwIndex) * run.defaults.dwDuration;
    if (FragmentEntrySize(run.dwRunFlags) != 0) {
        if (dwRun != m_dwCursorRun || dwIndex < m_dwCursorIndex) {
            m_dwCursorRun = dwRun;
            m_dwCursorIndex = 0;
            m_llCursorOffset = 0;
            m_llCursorTime = 0;
        }
        while (m_dwCursorIndex < dwIndex) {
            DWORD dwDuration, cbSize, dwFlags;
            if (FAILED(ReadEntry(run, m_dwCursorIndex, &dwDuration, &cbSize, &dwFlags, m_pSource))) {
                return E_FAIL;
            }
            m_llCursorOffset += cbSize;
            m_llCursorTime += dwDuration;
            ++m_dwCursorIndex;
        }
        llOffset = m_llCursorOffset;
        llTime = m_llCursorTime;
    }
    DWORD dwDuration, cbSize, dwFlags;
    if (FAILED(ReadEntry(run, dwIndex, &dwDuration, &cbSize, &dwFlags, m_pSource))) {
        return E_FAIL;
    }
    pSample->llPosition = run.llData + llOffset;
    pSample->llTime = run.llBaseTime + llTime;
    pSample->dwSize = cbSize;
    pSample->dwDuration = dwDuration;
    pSample->dwFlags = dwFlags;
    return S_OK;
}

DWORD CTrackFragments::GetSampleAtTime(ULONGLONG llTime)
{
    if (m_dwRunCount == 0 || llTime < m_pRuns[0].llBaseTime || llTime >= m_llEndTime) {
        return FRAGMENT_NO_SAMPLE;
    }
    const DWORD dwLow = LastRunAtOrBefore(&CFragmentRun::llBaseTime, llTime);
    const CFragmentRun& run = m_pRuns[dwLow];
    const ULONGLONG llSince = llTime - run.llBaseTime;
    // A time in a gap before the next run belongs to the run's last sample.
    if (llSince >= run.llDuration) {
        return run.dwFirstSample + run.dwCount - 1;
    }
    if ((run.dwRunFlags & TRUN_SAMPLE_DURATION) == 0) {
        return run.dwFirstSample + static_cast<DWORD>(llSince / run.defaults.dwDuration);
    }
    ULONGLONG llRunTime = 0;
    for (DWORD i = 0; i < run.dwCount; ++i) {
        DWORD dwDuration, cbSize, dwFlags;
        if (FAILED(ReadEntry(run, i, &dwDuration, &cbSize, &dwFlags, m_pSource))) {
            return FRAGMENT_NO_SAMPLE;
        }
        llRunTime += dwDuration;
        if (llSince < llRunTime) {
            return run.dwFirstSample + i;
        }
    }
    return run.dwFirstSample + run.dwCount - 1;
}

DWORD CTrackFragments::GetSyncAtOrBefore(DWORD dwSample)
{
    if (dwSample < m_dwFirstSample) {
        return FRAGMENT_NO_SAMPLE;
    }
    const DWORD dwRun = FindRun(dwSample);
    if (dwRun == FRAGMENT_NO_SAMPLE) {
        return m_dwRunCount != 0 && dwSample >= m_dwNextSample ? m_pRuns[m_dwRunCount - 1].dwSyncAtEnd : m_dwSyncBefore;
    }
    const CFragmentRun& run = m_pRuns[dwRun];
    const DWORD dwIndex = dwSample - run.dwFirstSample;
    DWORD dwFound = FRAGMENT_NO_SAMPLE;
    if ((run.dwRunFlags & TRUN_SAMPLE_FLAGS) == 0) {
        // Only the first sample's flags can differ from the others'.
        const DWORD dwFirstFlags =
            (run.dwRunFlags & TRUN_FIRST_SAMPLE_FLAGS) != 0 ? run.dwFirstFlags : run.defaults.dwFlags;
        if (dwIndex > 0 && IsSync(run.defaults.dwFlags)) {
            dwFound = dwIndex;
        } else if (IsSync(dwFirstFlags)) {
            dwFound = 0;
        }
    } else {
        for (DWORD i = 0; i <= dwIndex; ++i) {
            DWORD dwDuration, cbSize, dwFlags;
            if (FAILED(ReadEntry(run, i, &dwDuration, &cbSize, &dwFlags, m_pSource))) {
                break;
            }
            if (IsSync(dwFlags)) {
                dwFound = i;
            }
        }
    }
    if (dwFound != FRAGMENT_NO_SAMPLE) {
        return run.dwFirstSample + dwFound;
    }
    return dwRun != 0 ? m_pRuns[dwRun - 1].dwSyncAtEnd : m_dwSyncBefore;
}
