#include "moviebox.h"

#include <new>
#include <string.h>

#include "moviebytes.h"

CBox::CBox(ByteSource* pSource, DWORD dwType, DWORD cbHeader, LONGLONG llSize, ULONGLONG llFileOffset)
    : m_pSource(pSource), m_dwType(dwType), m_llSize(llSize), m_cbHeader(cbHeader), m_llFileOffset(llFileOffset)
{
    InitContents();
}

CBox::CBox(const CBox& header)
    : m_pSource(header.m_pSource),
      m_dwType(header.m_dwType),
      m_llSize(header.m_llSize),
      m_cbHeader(header.m_cbHeader),
      m_llFileOffset(header.m_llFileOffset)
{
    InitContents();
}

// Everything but the header: nothing read, no children, no payload.
void CBox::InitContents()
{
    m_bVersion = 0;
    m_abFlags[0] = m_abFlags[1] = m_abFlags[2] = 0;
    m_pData = NULL;
    m_cbData = 0;
    m_ppChildren = NULL;
    m_dwChildCount = 0;
    m_dwChildCapacity = 0;
    m_bFullHeaderRead = false;
}

CBox::~CBox()
{
    for (DWORD i = 0; i < m_dwChildCount; ++i) {
        delete m_ppChildren[i];
    }
    ReleaseData();
    delete[] m_ppChildren;
    m_ppChildren = NULL;
    m_dwChildCount = 0;
    m_dwChildCapacity = 0;
}

HRESULT CBox::ReadAt(LONGLONG llOffset, DWORD cbLength, BYTE* pBuffer)
{
    if (m_pSource == NULL) {
        return E_FAIL;
    }
    ULONGLONG llPosition = m_llFileOffset + m_cbHeader + static_cast<ULONGLONG>(llOffset);
    // Not from a short read: a box that claims to reach past the end of the
    // file would otherwise yield children without end.
    return ReadWhole(m_pSource, static_cast<LONGLONG>(llPosition), cbLength, pBuffer);
}

HRESULT CBox::ReadFullBoxHeader()
{
    // Idempotent: a second call would otherwise take the first payload word
    // for the version and flags.
    if (m_bFullHeaderRead) {
        return S_OK;
    }
    // The word must lie inside the box; a box too short for it is not a full box.
    if (PayloadLength() < 4) {
        return E_FAIL;
    }
    BYTE abWord[4];
    if (FAILED(ReadAt(0, sizeof(abWord), abWord))) {
        return E_FAIL;
    }
    m_bVersion = abWord[0];
    m_abFlags[0] = abWord[1];
    m_abFlags[1] = abWord[2];
    m_abFlags[2] = abWord[3];
    // The payload starts right after the word, whatever the header before it
    // was: 12 for a compact header, 20 after a 64-bit size, 28 or more for a
    // "uuid" box. A fixed 12 would misplace the payload of the longer forms.
    m_cbHeader += 4;
    m_bFullHeaderRead = true;
    return S_OK;
}

HRESULT CBox::AllocData(DWORD cbLength)
{
    BYTE* pData;
    if (cbLength < MOVIE_LARGE_BLOCK_THRESHOLD) {
        pData = new (std::nothrow) BYTE[cbLength];
    } else {
        pData = static_cast<BYTE*>(VirtualAlloc(NULL, cbLength, MEM_COMMIT, PAGE_READWRITE));
    }
    if (pData == NULL) {
        return E_OUTOFMEMORY;
    }
    m_pData = pData;
    m_cbData = cbLength;
    return S_OK;
}

void CBox::ReleaseData()
{
    if (m_pData != NULL) {
        if (m_cbData < MOVIE_LARGE_BLOCK_THRESHOLD) {
            delete[] m_pData;
        } else {
            VirtualFree(m_pData, 0, MEM_RELEASE);
        }
    }
    m_pData = NULL;
    m_cbData = 0;
}

BYTE* CBox::GetData(LPCWSTR /*pwszLabel*/)
{
    if (m_pData != NULL) {
        return m_pData;
    }
    LONGLONG llPayload = PayloadLength();
    if (llPayload <= 0 || llPayload >= MOVIE_MAX_PAYLOAD) {
        return NULL;
    }
    DWORD cbPayload = static_cast<DWORD>(llPayload);
    if (FAILED(AllocData(cbPayload))) {
        return NULL;
    }
    if (FAILED(ReadAt(0, cbPayload, m_pData))) {
        ReleaseData();
        return NULL;
    }
    return m_pData;
}

bool CBox::AppendChild(CBox* pChild)
{
    if (m_dwChildCount == m_dwChildCapacity) {
        DWORD dwNewCapacity = m_dwChildCapacity == 0 ? 8 : m_dwChildCapacity * 2;
        if (dwNewCapacity <= m_dwChildCapacity) {
            return false;
        }
        CBox** ppNew = new (std::nothrow) CBox*[dwNewCapacity];
        if (ppNew == NULL) {
            return false;
        }
        for (DWORD i = 0; i < m_dwChildCount; ++i) {
            ppNew[i] = m_ppChildren[i];
        }
        delete[] m_ppChildren;
        m_ppChildren = ppNew;
        m_dwChildCapacity = dwNewCapacity;
    }
    m_ppChildren[m_dwChildCount++] = pChild;
    return true;
}

void CBox::EnumerateChildren(DWORD dwStart)
{
    const LONGLONG llPayload = PayloadLength();
    if (m_llSize < 0 || static_cast<LONGLONG>(dwStart) >= llPayload) {
        return;
    }
    LONGLONG llPos = dwStart;
    CChildHeader header;
    while (llPos < llPayload && ReadChildHeader(llPos, &header)) {
        CBox* pChild = new (std::nothrow) CBox(m_pSource, header.dwType, header.cbHeader, header.llSize, header.llFileOffset);
        // Out of memory ends the enumeration; the children found so far stay.
        // Nothing is reported here: the parse meets the missing box as in a
        // damaged file. Skipping the child instead could let a later box of
        // the same type stand in for it.
        if (pChild == NULL) {
            return;
        }
        if (!AppendChild(pChild)) {
            delete pChild;
            return;
        }
        llPos += header.llSize;
    }
}

bool CBox::ReadChildHeader(LONGLONG llPos, CChildHeader* pChild)
{
    const LONGLONG llPayload = PayloadLength();
    if (m_llSize < 0 || llPos < 0 || llPos >= llPayload) {
        return false;
    }
    BYTE abHeader[8];
    if (FAILED(ReadAt(llPos, sizeof(abHeader), abHeader))) {
        return false;
    }
    DWORD dwSize32 = ReadU32BE(abHeader);
    DWORD dwType = ReadU32BE(abHeader + 4);
    DWORD cbHeader = 8;
    LONGLONG llSize;
    if (dwSize32 == 1) {
        if (FAILED(ReadAt(llPos + 8, sizeof(abHeader), abHeader))) {
            return false;
        }
        llSize = static_cast<LONGLONG>(ReadU64BE(abHeader));
        cbHeader = 16;
        // A 64-bit size of 0 would never advance; it ends the enumeration
        // like any other child that cannot be placed.
        if (llSize == 0) {
            return false;
        }
    } else if (dwSize32 == 0) {
        llSize = llPayload - llPos;
    } else {
        // Sizes 2 to 7 are kept as they are: a child without payload, and
        // the next header is looked for that many bytes on.
        llSize = dwSize32;
    }
    if (dwType == BOX_UUID) {
        cbHeader += 16;
    }
    if (llSize < 0 || llSize > llPayload - llPos) {
        return false;
    }
    pChild->dwType = dwType;
    pChild->cbHeader = cbHeader;
    pChild->llSize = llSize;
    pChild->llFileOffset = m_llFileOffset + m_cbHeader + static_cast<ULONGLONG>(llPos);
    return true;
}

bool CBox::FindChildHeader(DWORD dwType, CChildHeader* pChild)
{
    for (LONGLONG llPos = 0; ReadChildHeader(llPos, pChild); llPos += pChild->llSize) {
        if (pChild->dwType == dwType) {
            return true;
        }
    }
    return false;
}

DWORD CBox::GetChildCount()
{
    if (m_dwChildCount == 0) {
        EnumerateChildren(0);
    }
    return m_dwChildCount;
}

CBox* CBox::GetChild(DWORD dwIndex)
{
    if (dwIndex >= GetChildCount()) {
        return NULL;
    }
    return m_ppChildren[dwIndex];
}

CBox* CBox::FindChild(DWORD dwType)
{
    DWORD dwCount = GetChildCount();
    for (DWORD i = 0; i < dwCount; ++i) {
        if (m_ppChildren[i]->m_dwType == dwType) {
            return m_ppChildren[i];
        }
    }
    return NULL;
}
