// Window-by-window reading of the long time tables: at most one window of
// each table is in memory, and a forward walk reads every window once.
#include "moviebox.h"

CWindowedTableBox::CWindowedTableBox(const CBox& header, DWORD cbWindow, DWORD cbEntry)
    : CBox(header),
      m_dwEntryCount(0),
      m_dwCursor(0),
      m_dwCursorSample(0),
      m_dwWindowsLoaded(0),
      m_llTableBytes(0),
      m_cbPrefix(4),
      m_cbWindow(cbWindow),
      m_cbEntry(cbEntry),
      m_bWholeTableLoaded(false)
{
}

BYTE* CWindowedTableBox::LoadTablePrefix()
{
    if (m_pData != NULL) {
        return m_pData;
    }
    if (m_llSize <= static_cast<LONGLONG>(m_cbHeader)) {
        return NULL;
    }
    if (FAILED(AllocData(m_cbPrefix))) {
        return NULL;
    }
    if (FAILED(ReadAt(0, m_cbPrefix, m_pData))) {
        ReleaseData();
        return NULL;
    }
    return m_pData;
}

BYTE* CWindowedTableBox::LoadNextWindow()
{
    if (m_pData == NULL || m_llTableBytes < 0) {
        return NULL;
    }
    const LONGLONG llTable = m_llTableBytes;
    const LONGLONG llWindow = m_cbWindow;
    if (llTable > llWindow) {
        if (m_cbData != m_cbWindow) {
            ReleaseData();
            if (FAILED(AllocData(m_cbWindow))) {
                return NULL;
            }
        }
        LONGLONG llStart = static_cast<LONGLONG>(m_dwWindowsLoaded) * llWindow;
        if (llTable <= llStart) {
            return m_pData;
        }
        // The last window reads only what is left of the table: a table that
        // ends near the end of the file ("moov" written last) would
        // otherwise be read past the stream's end, and that read fails.
        const LONGLONG llLeft = llTable - llStart;
        const DWORD cbRead = llLeft < llWindow ? static_cast<DWORD>(llLeft) : m_cbWindow;
        if (FAILED(ReadAt(m_cbPrefix + llStart, cbRead, m_pData))) {
            // A failed window is not counted; the next step asks for it again.
            return NULL;
        }
        ++m_dwWindowsLoaded;
        return m_pData;
    }
    if (!m_bWholeTableLoaded) {
        ReleaseData();
        DWORD cbTable = static_cast<DWORD>(llTable);
        if (FAILED(AllocData(cbTable))) {
            return NULL;
        }
        if (FAILED(ReadAt(m_cbPrefix, cbTable, m_pData))) {
            // The buffer stays allocated but is not marked loaded, so it is
            // read again on the next step and never looked at before that.
            return NULL;
        }
        m_bWholeTableLoaded = true;
    }
    ++m_dwWindowsLoaded;
    return m_pData;
}

const BYTE* CWindowedTableBox::EntryAt(DWORD dwIndex)
{
    if (m_llTableBytes < 0 || m_cbWindow == 0) {
        return NULL;
    }
    const ULONGLONG llPos = static_cast<ULONGLONG>(dwIndex) * m_cbEntry;
    if (llPos + m_cbEntry > static_cast<ULONGLONG>(m_llTableBytes)) {
        return NULL;
    }
    const ULONGLONG llWindow = llPos / m_cbWindow;
    ULONGLONG llInBuffer;
    if (m_llTableBytes > static_cast<LONGLONG>(m_cbWindow)) {
        // The buffer holds window m_dwWindowsLoaded - 1. In an ordered walk
        // the entry is in that window or the next one; after a failed read
        // the window of the cursor's own entry may have to be read again, so
        // the window to read is set from the entry rather than assumed.
        if (m_dwWindowsLoaded != llWindow + 1 || m_cbData != m_cbWindow) {
            m_dwWindowsLoaded = static_cast<DWORD>(llWindow);
            if (LoadNextWindow() == NULL || m_dwWindowsLoaded != llWindow + 1) {
                return NULL;
            }
        }
        llInBuffer = llPos % m_cbWindow;
    } else {
        if (m_dwWindowsLoaded <= llWindow) {
            LoadNextWindow();
        }
        if (!m_bWholeTableLoaded) {
            return NULL;
        }
        llInBuffer = llPos;
    }
    // Never read outside the bytes actually loaded, whatever happened before.
    if (m_pData == NULL || llInBuffer + m_cbEntry > m_cbData) {
        return NULL;
    }
    return m_pData + llInBuffer;
}

void CWindowedTableBox::ResetWindows()
{
    m_dwCursor = 0;
    m_dwCursorSample = 0;
    m_dwWindowsLoaded = 0;
}
