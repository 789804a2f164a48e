// Audio sample entries: AMR narrow-band and wide-band, and MPEG-4 audio
// whose "esds" carries an AAC AudioSpecificConfig. Offsets are into the
// entry's payload: channel count at 16, child boxes from 28.
#include "moviesampledesc.h"

#include <string.h>

#include "moviebytes.h"

namespace {

const DWORD AUDIO_FIXED_FIELDS = 28;
const DWORD ENTRY_SAWB = MOVIE_FOURCC('s', 'a', 'w', 'b');
const DWORD BOX_ESDS = MOVIE_FOURCC('e', 's', 'd', 's');

// The AAC format block the device's decoder takes.
const ULONG AAC_FORMAT_LENGTH = 12;
const BYTE AAC_UNDETERMINED = 0xFF;

// samplingFrequencyIndex 0-12 of ISO/IEC 14496-3; 13 and 14 are reserved.
const DWORD s_adwSampleRates[15] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050,
                                    16000, 12000, 11025, 8000,  7350,  0,     0};
// channelConfiguration 1-7; 8-15 are reserved and give all ones.
const DWORD s_adwChannels[16] = {0, 1, 2, 3, 4, 5, 6, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The AudioSpecificConfig is read from a private copy padded with zeros:
// its length byte is not checked against the entry (the configuration is
// never rejected), and reads past the entry's bytes see zeros instead of
// whatever follows the buffer. 32 bytes cover the longest path through the
// fields read here (under 180 bits).
const DWORD ASC_WINDOW = 32;

bool IsLongLengthByte(BYTE b)
{
    return b >= 0x80 && b <= 0xFE;
}

struct AacSummary {
    DWORD dwRate;
    DWORD dwChannels;
    DWORD dwObjectType;
    BYTE bSbr;
    BYTE bPs;
};

class CAscReader {
public:
    CAscReader(const BYTE* pBits, DWORD cbConfig) : m_pBits(pBits), m_cbConfig(cbConfig), m_dwByte(0), m_dwBit(0) {}
    DWORD Read(int iCount) { return ReadBits(m_pBits, iCount, &m_dwByte, &m_dwBit); }
    // Bits of the stated configuration length not yet read; negative once past it.
    LONGLONG BitsLeft() const
    {
        return (static_cast<LONGLONG>(m_cbConfig) - m_dwByte) * 8 - m_dwBit;
    }
    DWORD ReadObjectType()
    {
        DWORD dwType = Read(5);
        return dwType == 31 ? 32 + Read(6) : dwType;
    }
    void SkipFrequency()
    {
        if (Read(4) == 15) {
            Read(24);
        }
    }

private:
    const BYTE* m_pBits;
    DWORD m_cbConfig;
    DWORD m_dwByte;
    DWORD m_dwBit;
};

void ParseAudioSpecificConfig(const BYTE* pBits, DWORD cbConfig, AacSummary* pSummary)
{
    CAscReader reader(pBits, cbConfig);
    const DWORD dwType = reader.ReadObjectType();
    const DWORD dwFrequency = reader.Read(4);
    pSummary->dwRate = (dwFrequency == 15) ? reader.Read(24) : s_adwSampleRates[dwFrequency];
    const DWORD dwChannelConfig = reader.Read(4);
    if (dwChannelConfig != 0) {
        pSummary->dwChannels = s_adwChannels[dwChannelConfig];
    }
    BYTE bSbr = AAC_UNDETERMINED;
    BYTE bPs = AAC_UNDETERMINED;
    DWORD dwInner = 0;
    if (dwType == 5 || dwType == 29) {
        bSbr = 1;
        if (dwType == 29) {
            bPs = 1;
        }
        reader.SkipFrequency();
        dwInner = reader.ReadObjectType();
    }
    if (dwType == 1 || dwType == 2 || dwType == 3 || dwType == 4 || dwType == 6) {
        reader.Read(1);  // frame length flag
        if (reader.Read(1)) {
            reader.Read(14);  // core coder delay
        }
        if (reader.Read(1)) {
            reader.Read(1);
        }
    }
    if (dwInner == 5 || reader.BitsLeft() < 16) {
        bSbr = AAC_UNDETERMINED;
        bPs = AAC_UNDETERMINED;
    } else if (reader.Read(11) == 0x2B7) {
        if (reader.ReadObjectType() == 5) {
            bSbr = static_cast<BYTE>(reader.Read(1));
            if (bSbr == 1) {
                reader.SkipFrequency();
                if (reader.BitsLeft() >= 12 && reader.Read(11) == 0x548) {
                    bPs = static_cast<BYTE>(reader.Read(1));
                }
            }
        }
    }
    if (dwType == 4) {
        bSbr = 0;
        bPs = 0;
    }
    pSummary->dwObjectType = dwType;
    pSummary->bSbr = bSbr;
    pSummary->bPs = bPs;
}

// Finds the AudioSpecificConfig behind the "esds" payload at dwEsds. On
// success *pdwConfig is its position and *pcbConfig its stated length (0 in
// the layout without the ES flags byte, where no length is taken).
bool FindAudioSpecificConfig(const BYTE* b, DWORD cb, DWORD dwEsds, DWORD* pdwConfig, DWORD* pcbConfig)
{
    // Every position below stays within dwEsds + 30 or so; the checks against
    // cb keep each read inside the entry.
    DWORD q = dwEsds + 5;
    if (q >= cb || b[dwEsds + 4] != 3) {
        return false;
    }
    if (IsLongLengthByte(b[q])) {
        q += 3;
    }
    if (q + 4 >= cb || b[q] > cb) {
        return false;
    }
    bool bFullLayout;
    DWORD r;
    if (b[q + 4] == 4) {
        bFullLayout = true;
        r = q + 5;
    } else if (b[q + 3] == 4) {
        // No flags byte before the decoder configuration descriptor; the byte
        // after its tag is then taken as the object type.
        bFullLayout = false;
        r = q + 4;
    } else {
        return false;
    }
    // The descriptor's length byte may be the entry's last byte or past it.
    if (r >= cb) {
        return false;
    }
    if (IsLongLengthByte(b[r])) {
        r += 3;
    }
    if (bFullLayout) {
        r += 1;
    }
    if (r >= cb) {
        return false;
    }
    const BYTE bObjectType = b[r];
    if (bObjectType != 0x40 && bObjectType != 0x66 && bObjectType != 0x67 && bObjectType != 0x68) {
        return false;
    }
    r += 13;
    DWORD s = r + 1;
    if (s >= cb || b[r] != 5) {
        return false;
    }
    if (IsLongLengthByte(b[s])) {
        s += 3;
    }
    if (s >= cb) {
        return false;
    }
    *pcbConfig = 0;
    if (bFullLayout) {
        *pcbConfig = b[s];
        s += 1;
    }
    *pdwConfig = s;
    return true;
}

void WriteLe16(BYTE* p, DWORD dwValue)
{
    p[0] = static_cast<BYTE>(dwValue);
    p[1] = static_cast<BYTE>(dwValue >> 8);
}

void WriteLe32(BYTE* p, DWORD dwValue)
{
    WriteLe16(p, dwValue);
    WriteLe16(p + 2, dwValue >> 16);
}

}  // namespace

DWORD ReadBits(const BYTE* pBase, int iCount, DWORD* pdwBytePos, DWORD* pdwBitPos)
{
    DWORD dwValue = 0;
    for (int i = 0; i < iCount; ++i) {
        const DWORD dwBit = (pBase[*pdwBytePos] >> (7 - *pdwBitPos)) & 1;
        dwValue = (dwValue << 1) | dwBit;
        if (++*pdwBitPos == 8) {
            *pdwBitPos = 0;
            ++*pdwBytePos;
        }
    }
    return dwValue;
}

HRESULT CSampleDescriptionBox::ParseAudioEntryAmr(CBox* pEntry)
{
    const BYTE* pData = pEntry->GetData(L"AMR Sample Entry");
    if (pData == NULL) {
        return E_FAIL;
    }
    if (pEntry->GetDataLength() < AUDIO_FIXED_FIELDS) {
        pEntry->ReleaseData();
        return E_FAIL;
    }
    const bool bWide = (pEntry->GetType() == ENTRY_SAWB);
    m_pMediaType->SetType(&MEDIATYPE_Audio);
    m_pMediaType->SetSubtype(bWide ? &MEDIASUBTYPE_AMR_WB : &MEDIASUBTYPE_AMR_NB);
    m_pMediaType->SetFormatType(bWide ? &FORMAT_AMR_WB : &FORMAT_AMR_NB);
    // The AMR decoders take the 16-bit value 3, little-endian. Running out of
    // memory here leaves the type without a block and is not reported.
    const BYTE abFormat[2] = {3, 0};
    m_pMediaType->SetFormat(abFormat, sizeof(abFormat));
    pEntry->ReleaseData();
    return S_OK;
}

HRESULT CSampleDescriptionBox::ParseAudioEntryMp4a(CBox* pEntry)
{
    const BYTE* b = pEntry->GetData(L"MP4 Audio Sample Entry");
    if (b == NULL) {
        return E_FAIL;
    }
    const DWORD cb = pEntry->GetDataLength();
    if (cb < AUDIO_FIXED_FIELDS) {
        pEntry->ReleaseData();
        return E_FAIL;
    }
    AacSummary summary;
    memset(&summary, 0, sizeof(summary));
    summary.dwChannels = ReadU16BE(b + 16);

    // "esds" is looked for only at multiples of four, as in the entries
    // written by 3GPP muxers (child boxes at 28).
    DWORD p = 0;
    DWORD dwValue;
    do {
        dwValue = ReadU32BE(b + p);
        p += 4;
    } while (dwValue != BOX_ESDS && p < cb - 4);

    DWORD dwConfig = 0;
    DWORD cbConfig = 0;
    if (p >= cb - 4 || !FindAudioSpecificConfig(b, cb, p, &dwConfig, &cbConfig)) {
        pEntry->ReleaseData();
        return E_FAIL;
    }
    BYTE abConfig[ASC_WINDOW];
    memset(abConfig, 0, sizeof(abConfig));
    memcpy(abConfig, b + dwConfig, (cb - dwConfig < ASC_WINDOW) ? cb - dwConfig : ASC_WINDOW);
    pEntry->ReleaseData();
    ParseAudioSpecificConfig(abConfig, cbConfig, &summary);

    m_pMediaType->SetType(&MEDIATYPE_Audio);
    m_pMediaType->SetSubtype(&MEDIASUBTYPE_MPEG4_AAC);
    m_pMediaType->SetFormatType(&FORMAT_MPEG4_AAC);
    BYTE* pFormat = m_pMediaType->AllocFormatBuffer(AAC_FORMAT_LENGTH);
    if (pFormat == NULL) {
        return E_OUTOFMEMORY;
    }
    memset(pFormat, 0, AAC_FORMAT_LENGTH);
    WriteLe32(pFormat, summary.dwRate);
    WriteLe16(pFormat + 4, 2);
    pFormat[6] = static_cast<BYTE>(summary.dwChannels);
    pFormat[7] = summary.bSbr;
    pFormat[8] = summary.bPs;
    pFormat[9] = static_cast<BYTE>(summary.dwObjectType);
    return S_OK;
}
