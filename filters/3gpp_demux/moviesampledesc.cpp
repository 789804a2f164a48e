// The sample description object: dispatch on the sample-entry type, the
// shared "esds" walk of MPEG-4 visual, and the H.264 start-code rewrite.
// The entry parsers are in moviesamplevideo.cpp and moviesampleaudio.cpp.
#include "moviesampledesc.h"

#include <new>
#include <stddef.h>
#include <string.h>

#include "moviebytes.h"

#if defined(__arm__)
// Decoders on the device read these blocks with their own build's layout
// (size -1 stops the build).
typedef char SampleDescFormatLayoutCheck
    [sizeof(VIDEOINFOHEADER) == 88 && offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == 40 &&
     offsetof(VIDEOINFOHEADER, bmiHeader) == 48 && sizeof(MPEG2VIDEOINFO) == 136 &&
     offsetof(MPEG2VIDEOINFO, hdr.bmiHeader) == 72 && offsetof(MPEG2VIDEOINFO, cbSequenceHeader) == 116 &&
     offsetof(MPEG2VIDEOINFO, dwProfile) == 120 && offsetof(MPEG2VIDEOINFO, dwLevel) == 124 &&
     offsetof(MPEG2VIDEOINFO, dwSequenceHeader) == 132 && sizeof(WAVEFORMATEX) == 18 ? 1 : -1];
#endif

const CSampleDescriptionBox::EntryHandler CSampleDescriptionBox::s_handlers[] = {
    {MOVIE_FOURCC('M', 'J', 'P', 'G'), &CSampleDescriptionBox::ParseVisualEntryMjpg},
    {MOVIE_FOURCC('m', 'j', 'p', 'g'), &CSampleDescriptionBox::ParseVisualEntryMjpg},
    {MOVIE_FOURCC('M', 'P', '4', 'V'), &CSampleDescriptionBox::ParseVisualEntryMp4v},
    {MOVIE_FOURCC('m', 'p', '4', 'v'), &CSampleDescriptionBox::ParseVisualEntryMp4v},
    {MOVIE_FOURCC('A', 'V', 'C', '1'), &CSampleDescriptionBox::ParseVisualEntryAvc},
    {MOVIE_FOURCC('a', 'v', 'c', '1'), &CSampleDescriptionBox::ParseVisualEntryAvc},
    {MOVIE_FOURCC('H', '2', '6', '3'), &CSampleDescriptionBox::ParseVisualEntryH263},
    {MOVIE_FOURCC('s', '2', '6', '3'), &CSampleDescriptionBox::ParseVisualEntryH263},
    {MOVIE_FOURCC('m', 'p', '4', 'a'), &CSampleDescriptionBox::ParseAudioEntryMp4a},
    {MOVIE_FOURCC('s', 'a', 'm', 'r'), &CSampleDescriptionBox::ParseAudioEntryAmr},
    {MOVIE_FOURCC('s', 'a', 'w', 'b'), &CSampleDescriptionBox::ParseAudioEntryAmr},
};

CSampleDescriptionBox::CSampleDescriptionBox(const CBox& header)
    : CBox(header),
      m_pMediaType(new (std::nothrow) CMediaType()),
      m_pConfig(NULL),
      m_cbConfig(0),
      m_dwStartCode(0)
{
}

CSampleDescriptionBox::~CSampleDescriptionBox()
{
    delete m_pMediaType;
    m_pMediaType = NULL;
    FreeConfig();
    ReleaseData();
}

void CSampleDescriptionBox::FreeConfig()
{
    delete[] m_pConfig;
    m_pConfig = NULL;
    m_cbConfig = 0;
}

HRESULT CSampleDescriptionBox::Parse()
{
    // The media type is allocated with the object; without it there is nothing to fill.
    if (m_pMediaType == NULL) {
        return E_OUTOFMEMORY;
    }
    BYTE abCount[4];
    if (FAILED(ReadFullBoxHeader()) || PayloadLength() < static_cast<LONGLONG>(sizeof(abCount)) ||
        FAILED(ReadAt(0, sizeof(abCount), abCount))) {
        return E_FAIL;
    }
    if (m_bVersion != 0 || ReadU32BE(abCount) != 1) {
        ReleaseData();
        return E_FAIL;
    }
    // Entries start after the entry count. An empty list must not fall back
    // to GetChild's enumeration from offset 0, which would take the count
    // for a box header.
    if (GetEnumeratedChildCount() == 0) {
        EnumerateChildren(4);
    }
    if (GetEnumeratedChildCount() == 0) {
        return E_FAIL;
    }
    CBox* pEntry = GetChild(0);

    m_pMediaType->InitMediaType();
    // A second Parse starts from scratch rather than leaking the first one's bytes.
    FreeConfig();
    m_dwStartCode = 0;

    for (size_t i = 0; i < sizeof(s_handlers) / sizeof(s_handlers[0]); ++i) {
        if (s_handlers[i].dwType == pEntry->GetType()) {
            return (this->*s_handlers[i].pfnParse)(pEntry);
        }
    }
    return E_FAIL;
}

HRESULT CSampleDescriptionBox::GetMediaType(CMediaType* pTarget)
{
    if (pTarget == NULL) {
        return E_POINTER;
    }
    if (m_pMediaType == NULL) {
        return E_OUTOFMEMORY;
    }
    // A copy that runs out of memory leaves the target empty; say so rather
    // than hand out a type without its format block.
    return pTarget->Set(*m_pMediaType);
}

HRESULT CSampleDescriptionBox::RewriteNalLengths(BYTE* pData, DWORD cbData)
{
    if (pData == NULL) {
        return S_OK;
    }
    // 64-bit position: a corrupt length near 4 GiB must end the walk, not wrap it.
    ULONGLONG llPos = 0;
    while (llPos < cbData && cbData - llPos >= 4) {
        BYTE* pPrefix = pData + static_cast<DWORD>(llPos);
        DWORD dwNalLength = ReadU32BE(pPrefix);
        WriteU32BE(pPrefix, m_dwStartCode);
        llPos += 4 + static_cast<ULONGLONG>(dwNalLength);
    }
    return S_OK;
}

DWORD FindEntryConfigType(const BYTE* pData, DWORD cbData, DWORD dwStart, DWORD dwType1, DWORD dwType2)
{
    if (pData == NULL || cbData <= 4) {
        return 0;
    }
    const DWORD dwLimit = cbData - 4;
    for (DWORD dwPos = dwStart; dwPos < dwLimit; ++dwPos) {
        DWORD dwValue = ReadU32BE(pData + dwPos);
        if (dwValue == dwType1 || dwValue == dwType2) {
            dwPos += 4;
            return dwPos < dwLimit ? dwPos : 0;
        }
    }
    return 0;
}

namespace {

// Descriptor lengths: a first byte from 0x80 to 0xFE opens a four-byte
// length of which only the last byte counts; anything else (0xFF included)
// is a one-byte length. Returns the position of the byte holding the value,
// or false when that byte is not inside the buffer.
bool DescriptorLengthAt(const BYTE* pData, DWORD cbData, DWORD dwPos, DWORD* pdwValuePos)
{
    if (dwPos >= cbData) {
        return false;
    }
    if (pData[dwPos] >= 0x80 && pData[dwPos] <= 0xFE) {
        dwPos += 3;
        if (dwPos >= cbData) {
            return false;
        }
    }
    *pdwValuePos = dwPos;
    return true;
}

bool ByteIs(const BYTE* pData, DWORD cbData, DWORD dwPos, BYTE bValue)
{
    return dwPos < cbData && pData[dwPos] == bValue;
}

}  // namespace

HRESULT CSampleDescriptionBox::CopyDecoderSpecificInfo(const BYTE* pEsds, int cbEsds)
{
    if (pEsds == NULL || cbEsds < 11) {
        return E_FAIL;
    }
    const DWORD cb = static_cast<DWORD>(cbEsds);
    DWORD dwEsLength;  // position of the ES descriptor's length value
    if (!ByteIs(pEsds, cb, 4, 3) || !DescriptorLengthAt(pEsds, cb, 5, &dwEsLength) ||
        pEsds[dwEsLength] > cb) {
        return E_FAIL;
    }
    // ES id (2 bytes) and flags byte, then the decoder configuration descriptor.
    DWORD dwConfigLength;
    if (!ByteIs(pEsds, cb, dwEsLength + 4, 4) ||
        !DescriptorLengthAt(pEsds, cb, dwEsLength + 5, &dwConfigLength)) {
        return E_FAIL;
    }
    // Object type, stream type, buffer size, maximum and average bit rates.
    const DWORD dwSpecificTag = dwConfigLength + 1 + 13;
    DWORD dwSpecificLength;
    if (!ByteIs(pEsds, cb, dwSpecificTag, 5) ||
        !DescriptorLengthAt(pEsds, cb, dwSpecificTag + 1, &dwSpecificLength)) {
        return E_FAIL;
    }
    const DWORD cbInfo = pEsds[dwSpecificLength];
    const DWORD dwInfo = dwSpecificLength + 1;
    if (cbInfo > cb - dwInfo) {
        return E_FAIL;
    }
    FreeConfig();
    // An empty decoder-specific information leaves no configuration bytes.
    if (cbInfo == 0) {
        return S_OK;
    }
    m_pConfig = new (std::nothrow) BYTE[cbInfo];
    if (m_pConfig == NULL) {
        return E_OUTOFMEMORY;
    }
    memcpy(m_pConfig, pEsds + dwInfo, cbInfo);
    m_cbConfig = cbInfo;
    return S_OK;
}

HRESULT CSampleDescriptionBox::AppendConfigToFormat(ULONG cbHeader)
{
    if (m_cbConfig == 0) {
        return S_OK;
    }
    BYTE* pFormat = m_pMediaType->ReallocFormatBuffer(cbHeader + m_cbConfig);
    if (pFormat == NULL) {
        return E_OUTOFMEMORY;
    }
    memcpy(pFormat + cbHeader, m_pConfig, m_cbConfig);
    return S_OK;
}
