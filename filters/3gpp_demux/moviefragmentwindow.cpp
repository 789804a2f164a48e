// Run entries read window by window: one buffer per track, refilled from the
// entry asked for, so that a walk in file order reads each window once.
#include "moviefragments.h"

#include <new>
#include <string.h>

#include "movietimetables.h"

DWORD FragmentEntrySize(DWORD dwRunFlags)
{
    DWORD cbEntry = 0;
    const DWORD adwFields[] = {TRUN_SAMPLE_DURATION, TRUN_SAMPLE_SIZE, TRUN_SAMPLE_FLAGS, TRUN_COMPOSITION_OFFSET};
    for (DWORD i = 0; i < sizeof(adwFields) / sizeof(adwFields[0]); ++i) {
        if ((dwRunFlags & adwFields[i]) != 0) {
            cbEntry += 4;
        }
    }
    return cbEntry;
}

CFragmentEntryWindow::CFragmentEntryWindow() : m_pBuffer(NULL), m_llStart(0), m_cbLoaded(0)
{
}

CFragmentEntryWindow::~CFragmentEntryWindow()
{
    delete[] m_pBuffer;
}

HRESULT CFragmentEntryWindow::Allocate()
{
    if (m_pBuffer == NULL) {
        m_pBuffer = new (std::nothrow) BYTE[MOVIE_TABLE_WINDOW];
    }
    return m_pBuffer != NULL ? S_OK : E_OUTOFMEMORY;
}

const BYTE* CFragmentEntryWindow::At(ByteSource* pSource, ULONGLONG llPosition, DWORD cbEntry, ULONGLONG llLimit)
{
    if (pSource == NULL || m_pBuffer == NULL || cbEntry == 0 || cbEntry > MOVIE_TABLE_WINDOW || llPosition > llLimit ||
        llLimit - llPosition < cbEntry) {
        return NULL;
    }
    if (m_cbLoaded != 0 && llPosition >= m_llStart && llPosition - m_llStart <= m_cbLoaded - cbEntry &&
        m_cbLoaded >= cbEntry) {
        return m_pBuffer + (llPosition - m_llStart);
    }
    const ULONGLONG llLeft = llLimit - llPosition;
    const DWORD cbRead = llLeft < MOVIE_TABLE_WINDOW ? static_cast<DWORD>(llLeft) : MOVIE_TABLE_WINDOW;
    // A failed read leaves nothing loaded, so no entry is taken from it and
    // the next lookup asks again.
    m_cbLoaded = 0;
    if (FAILED(ReadWhole(pSource, static_cast<LONGLONG>(llPosition), cbRead, m_pBuffer))) {
        return NULL;
    }
    m_llStart = llPosition;
    m_cbLoaded = cbRead;
    return m_pBuffer;
}

// --- the places of the fragments -------------------------------------------

CMovieFragmentList::CMovieFragmentList() : m_pItems(NULL), m_dwCount(0), m_dwCapacity(0)
{
}

CMovieFragmentList::~CMovieFragmentList()
{
    Clear();
}

void CMovieFragmentList::Clear()
{
    delete[] m_pItems;
    m_pItems = NULL;
    m_dwCount = 0;
    m_dwCapacity = 0;
}

HRESULT CMovieFragmentList::Add(ULONGLONG llOffset, LONGLONG llSize, DWORD cbHeader)
{
    if (m_dwCount >= MAX_MOVIE_FRAGMENTS) {
        return S_FALSE;
    }
    HRESULT hr = GrowRecords(&m_pItems, m_dwCount, &m_dwCapacity);
    if (FAILED(hr)) {
        return hr;
    }
    m_pItems[m_dwCount].llOffset = llOffset;
    m_pItems[m_dwCount].llSize = llSize;
    m_pItems[m_dwCount].cbHeader = cbHeader;
    ++m_dwCount;
    return S_OK;
}

// --- one fragment in memory while it is parsed ------------------------------

CSpanCache::CSpanCache(ByteSource* pSource) : m_pSource(pSource), m_pSpan(NULL), m_llStart(0), m_cbSpan(0)
{
}

CSpanCache::~CSpanCache()
{
    delete[] m_pSpan;
}

void CSpanCache::Load(ULONGLONG llStart, ULONGLONG cbSpan, DWORD cbMax)
{
    delete[] m_pSpan;
    m_pSpan = NULL;
    m_cbSpan = 0;
    if (m_pSource == NULL || cbSpan == 0 || cbSpan > cbMax) {
        return;
    }
    // Without the memory, or the bytes, the reads simply go to the file.
    m_pSpan = new (std::nothrow) BYTE[static_cast<DWORD>(cbSpan)];
    if (m_pSpan == NULL) {
        return;
    }
    if (FAILED(ReadWhole(m_pSource, static_cast<LONGLONG>(llStart), static_cast<DWORD>(cbSpan), m_pSpan))) {
        delete[] m_pSpan;
        m_pSpan = NULL;
        return;
    }
    m_llStart = llStart;
    m_cbSpan = static_cast<DWORD>(cbSpan);
}

HRESULT CSpanCache::Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer)
{
    if (m_pSpan != NULL && llPosition >= 0 && static_cast<ULONGLONG>(llPosition) >= m_llStart) {
        const ULONGLONG llAt = static_cast<ULONGLONG>(llPosition) - m_llStart;
        if (llAt <= m_cbSpan && dwLength <= m_cbSpan - llAt) {
            memcpy(pBuffer, m_pSpan + llAt, dwLength);
            return S_OK;
        }
    }
    return m_pSource != NULL ? m_pSource->Read(llPosition, dwLength, pBuffer) : E_FAIL;
}

LONGLONG CSpanCache::Length()
{
    return m_pSource != NULL ? m_pSource->Length() : 0;
}
