#include "movietimetables.h"

#include "moviebytes.h"
#include "moviesampletables.h"

// A window that cannot be read (or allocated) ends a lookup as if the table
// ended there: the answers are those for a sample or time past the table.
// The cursor stays where it was, so a later lookup asks for the window again.

HRESULT CWindowedTableBox::ParseTable()
{
    if (FAILED(ReadFullBoxHeader())) {
        return E_FAIL;
    }
    const BYTE* pPrefix = LoadTablePrefix();
    if (pPrefix == NULL) {
        return E_FAIL;
    }
    const DWORD dwCount = ReadU32BE(pPrefix);
    const LONGLONG llPayload = PayloadLength();
    if (llPayload < 0 || !MoviePayloadHolds(static_cast<ULONGLONG>(llPayload), m_cbPrefix, dwCount, m_cbEntry)) {
        ReleaseData();
        return E_FAIL;
    }
    m_dwEntryCount = dwCount;
    m_llTableBytes = llPayload - m_cbPrefix;
    return S_OK;
}

// --- composition offsets --------------------------------------------------

CCompositionTimeToSampleBox::CCompositionTimeToSampleBox(const CBox& header)
    : CWindowedTableBox(header, MOVIE_TABLE_WINDOW, 8)
{
}

DWORD CCompositionTimeToSampleBox::GetCompositionOffset(DWORD dwSample)
{
    if (dwSample < m_dwCursorSample) {
        ResetWindows();
    }
    while (m_dwCursor < m_dwEntryCount) {
        const BYTE* pEntry = EntryAt(m_dwCursor);
        if (pEntry == NULL) {
            return 0;
        }
        const DWORD dwCount = ReadU32BE(pEntry);
        if (dwSample < m_dwCursorSample + dwCount) {
            return ReadU32BE(pEntry + 4);
        }
        m_dwCursorSample += dwCount;
        ++m_dwCursor;
    }
    return 0;
}

// --- decoding times -------------------------------------------------------

CDecodingTimeToSampleBox::CDecodingTimeToSampleBox(const CBox& header)
    : CWindowedTableBox(header, MOVIE_TABLE_WINDOW, 8),
      m_dwRunStartTime(0),
      m_pCompositionTime(NULL)
{
}

void CDecodingTimeToSampleBox::Reset()
{
    ResetWindows();
    m_dwRunStartTime = 0;
}

HRESULT CDecodingTimeToSampleBox::GetSampleTimeAndDelta(DWORD dwSample, DWORD* pdwTime, DWORD* pdwDelta)
{
    *pdwTime = 0;
    *pdwDelta = 0;
    if (dwSample < m_dwCursorSample) {
        Reset();
    }
    while (m_dwCursor < m_dwEntryCount) {
        const BYTE* pEntry = EntryAt(m_dwCursor);
        if (pEntry == NULL) {
            return S_FALSE;
        }
        const DWORD dwCount = ReadU32BE(pEntry);
        const DWORD dwDelta = ReadU32BE(pEntry + 4);
        if (dwSample < m_dwCursorSample + dwCount) {
            *pdwTime = m_dwRunStartTime + (dwSample - m_dwCursorSample) * dwDelta;
            *pdwDelta = dwDelta;
            return S_OK;
        }
        m_dwCursorSample += dwCount;
        m_dwRunStartTime += dwDelta * dwCount;
        ++m_dwCursor;
    }
    return S_FALSE;
}

DWORD CDecodingTimeToSampleBox::GetSampleAtMediaTime(DWORD dwMediaTime)
{
    if (dwMediaTime < m_dwRunStartTime) {
        Reset();
    }
    while (m_dwCursor < m_dwEntryCount) {
        const BYTE* pEntry = EntryAt(m_dwCursor);
        if (pEntry == NULL) {
            return 0;
        }
        const DWORD dwCount = ReadU32BE(pEntry);
        const DWORD dwDelta = ReadU32BE(pEntry + 4);
        const DWORD dwRunEnd = m_dwRunStartTime + dwDelta * dwCount;
        const DWORD dwOffset =
            m_pCompositionTime != NULL ? m_pCompositionTime->GetCompositionOffset(m_dwCursorSample + dwCount) : 0;
        if (dwMediaTime < dwRunEnd + dwOffset) {
            // Every sample of a run with delta 0 has the run's start time;
            // the first of them is the answer.
            if (dwDelta == 0) {
                return m_dwCursorSample;
            }
            return m_dwCursorSample + (dwMediaTime - m_dwRunStartTime) / dwDelta;
        }
        m_dwRunStartTime = dwRunEnd;
        m_dwCursorSample += dwCount;
        ++m_dwCursor;
    }
    return 0;
}

ULONGLONG CDecodingTimeToSampleBox::GetTotalDuration()
{
    Reset();
    ULONGLONG ullTotal = 0;
    for (; m_dwCursor < m_dwEntryCount; ++m_dwCursor) {
        const BYTE* pEntry = EntryAt(m_dwCursor);
        if (pEntry == NULL) {
            break;
        }
        ullTotal += static_cast<ULONGLONG>(ReadU32BE(pEntry)) * ReadU32BE(pEntry + 4);
    }
    Reset();
    return ullTotal;
}

// --- sync samples ---------------------------------------------------------

CSyncSampleBox::CSyncSampleBox(const CBox& header)
    : CWindowedTableBox(header, MOVIE_TABLE_WINDOW, 4)
{
}

DWORD CSyncSampleBox::GetSyncSampleAtOrBefore(DWORD dwSample)
{
    if (m_dwCursorSample > dwSample) {
        ResetWindows();
    }
    while (m_dwCursor < m_dwEntryCount) {
        const BYTE* pEntry = EntryAt(m_dwCursor);
        if (pEntry == NULL) {
            break;
        }
        const DWORD dwSync = ReadU32BE(pEntry) - 1;  // stored 1-based
        if (dwSample < dwSync) {
            break;
        }
        m_dwCursorSample = dwSync;
        ++m_dwCursor;
    }
    return m_dwCursorSample;
}
