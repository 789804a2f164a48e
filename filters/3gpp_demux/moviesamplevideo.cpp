// Video sample entries: Motion JPEG, MPEG-4 visual, H.264/AVC and H.263.
// Offsets are into the entry's payload: width at 24, height at 26, child
// boxes from 78.
#include "moviesampledesc.h"

#include <new>
#include <string.h>

#include "moviebytes.h"

namespace {

const DWORD VISUAL_FIXED_FIELDS = 28;       // through width and height
const DWORD MP4V_MIN_PAYLOAD = 86;          // fixed fields and the first child's type
const DWORD MP4V_FIRST_CHILD_TYPE = 82;
const DWORD AVC_MIN_PAYLOAD = 93;           // fixed fields, "avcC" header, 7 record bytes
const DWORD CONFIG_SEARCH_START = 28;
const DWORD AVC_RECORD_FIXED = 6;           // version .. SPS count

const DWORD BOX_ESDS = MOVIE_FOURCC('e', 's', 'd', 's');
const DWORD BOX_M4DS = MOVIE_FOURCC('m', '4', 'd', 's');
const DWORD BOX_PASP = MOVIE_FOURCC('p', 'a', 's', 'p');
const DWORD BOX_AVCC = MOVIE_FOURCC('a', 'v', 'c', 'C');
const DWORD BOX_AVCC_UPPER = MOVIE_FOURCC('A', 'V', 'C', 'C');

// Bytes of one 24-bit RGB frame, rows padded to 32 bits. Width and height are
// 16-bit, so the product can pass 32 bits; it is then held at the largest
// value rather than wrapped to a small size a decoder might allocate.
DWORD ImageSize(DWORD dwWidth, DWORD dwHeight)
{
    ULONGLONG llStride = ((static_cast<ULONGLONG>(dwWidth) * 24 + 31) / 32) * 4;
    ULONGLONG llSize = llStride * dwHeight;
    return llSize > 0xFFFFFFFFULL ? 0xFFFFFFFFUL : static_cast<DWORD>(llSize);
}

void FillBitmapHeader(BITMAPINFOHEADER& bmi, DWORD cbStruct, DWORD dwWidth, DWORD dwHeight,
                      const char* pszCompression)
{
    bmi.biSize = cbStruct;
    bmi.biWidth = static_cast<LONG>(dwWidth);
    bmi.biHeight = static_cast<LONG>(dwHeight);
    bmi.biPlanes = 1;
    bmi.biBitCount = 24;
    // The code's bytes in file order, whatever the host's byte order.
    memcpy(&bmi.biCompression, pszCompression, 4);
    bmi.biSizeImage = ImageSize(dwWidth, dwHeight);
}

// Loads the entry's payload; null (and the payload released) when it is
// missing or shorter than cbMin.
const BYTE* LoadEntry(CBox* pEntry, LPCWSTR pwszLabel, DWORD cbMin)
{
    const BYTE* pData = pEntry->GetData(pwszLabel);
    if (pData != NULL && pEntry->GetDataLength() < cbMin) {
        pEntry->ReleaseData();
        return NULL;
    }
    return pData;
}

}  // namespace

HRESULT CSampleDescriptionBox::SetVideoInfoType(const GUID& subtype, const char* pszCompression,
                                                const BYTE* pPayload)
{
    const DWORD dwWidth = ReadU16BE(pPayload + 24);
    const DWORD dwHeight = ReadU16BE(pPayload + 26);
    VIDEOINFOHEADER vih;
    memset(&vih, 0, sizeof(vih));
    vih.rcSource.right = static_cast<LONG>(dwWidth);
    vih.rcSource.bottom = static_cast<LONG>(dwHeight);
    FillBitmapHeader(vih.bmiHeader, sizeof(BITMAPINFOHEADER), dwWidth, dwHeight, pszCompression);

    m_pMediaType->SetType(&MEDIATYPE_Video);
    m_pMediaType->SetSubtype(&subtype);
    m_pMediaType->SetFormatType(&FORMAT_VideoInfo);
    // A type without its format block would be offered as if complete.
    return m_pMediaType->SetFormat(reinterpret_cast<const BYTE*>(&vih), sizeof(vih));
}

// An entry whose fixed visual fields are all the type needs.
HRESULT CSampleDescriptionBox::ParsePlainVisualEntry(CBox* pEntry, LPCWSTR pwszLabel, const GUID& subtype,
                                                     const char* pszCompression)
{
    const BYTE* pData = LoadEntry(pEntry, pwszLabel, VISUAL_FIXED_FIELDS);
    if (pData == NULL) {
        return E_FAIL;
    }
    HRESULT hr = SetVideoInfoType(subtype, pszCompression, pData);
    pEntry->ReleaseData();
    return hr;
}

HRESULT CSampleDescriptionBox::ParseVisualEntryMjpg(CBox* pEntry)
{
    return ParsePlainVisualEntry(pEntry, L"MP4 Visual Sample Entry", MEDIASUBTYPE_MJPG, "MJPG");
}

HRESULT CSampleDescriptionBox::ParseVisualEntryH263(CBox* pEntry)
{
    return ParsePlainVisualEntry(pEntry, L"H263 Sample Entry", MEDIASUBTYPE_H263, "H263");
}

HRESULT CSampleDescriptionBox::ParseVisualEntryMp4v(CBox* pEntry)
{
    const BYTE* pData = LoadEntry(pEntry, L"MP4 Visual Sample Entry", MP4V_MIN_PAYLOAD);
    if (pData == NULL) {
        return E_FAIL;
    }
    const DWORD cbData = pEntry->GetDataLength();
    HRESULT hr = SetVideoInfoType(MEDIASUBTYPE_MP4V, "MP4V", pData);
    if (SUCCEEDED(hr)) {
        const DWORD dwFirstChild = ReadU32BE(pData + MP4V_FIRST_CHILD_TYPE);
        if (dwFirstChild != BOX_ESDS && dwFirstChild != BOX_M4DS && dwFirstChild != BOX_PASP) {
            hr = E_FAIL;
        }
    }
    if (SUCCEEDED(hr)) {
        const DWORD dwEsds = FindEntryConfigType(pData, cbData, CONFIG_SEARCH_START, BOX_ESDS, BOX_M4DS);
        // The descriptor walk gets the bytes that remain after the type, not
        // the whole payload length, so no descriptor can lead it past the entry.
        hr = (dwEsds == 0) ? E_FAIL
                           : CopyDecoderSpecificInfo(pData + dwEsds, static_cast<int>(cbData - dwEsds));
    }
    if (SUCCEEDED(hr)) {
        hr = AppendConfigToFormat(sizeof(VIDEOINFOHEADER));
    }
    pEntry->ReleaseData();
    return hr;
}

namespace {

// Walks nCount parameter sets (16-bit length, then the bytes) from *pdwPos,
// adding length + cbPrefix for each to *pcbTotal; when pOut is set, also
// writes each set behind its prefix there. False when a set runs past cbData.
bool WalkParameterSets(const BYTE* pData, DWORD cbData, DWORD* pdwPos, DWORD nCount, DWORD cbPrefix,
                       DWORD dwStartCode, BYTE* pOut, DWORD* pcbTotal)
{
    DWORD dwPos = *pdwPos;
    for (DWORD i = 0; i < nCount; ++i) {
        if (cbData - dwPos < 2) {
            return false;
        }
        const DWORD cbSet = ReadU16BE(pData + dwPos);
        dwPos += 2;
        if (cbData - dwPos < cbSet) {
            return false;
        }
        if (pOut != NULL) {
            BYTE* pDest = pOut + *pcbTotal;
            if (cbPrefix == 1) {
                pDest[0] = static_cast<BYTE>(cbSet);
            } else if (cbPrefix == 2) {
                pDest[0] = static_cast<BYTE>(cbSet >> 8);
                pDest[1] = static_cast<BYTE>(cbSet);
            } else {
                WriteU32BE(pDest, dwStartCode);
            }
            memcpy(pDest + cbPrefix, pData + dwPos, cbSet);
        }
        // At most 31 + 255 sets of at most 65535 + 4 bytes: no overflow.
        *pcbTotal += cbSet + cbPrefix;
        dwPos += cbSet;
    }
    *pdwPos = dwPos;
    return true;
}

// Walks the SPS list and then the PPS list of an AVC decoder configuration
// record starting at dwRecord (sizing when pOut is null, copying otherwise).
bool WalkAvcParameterSets(const BYTE* pData, DWORD cbData, DWORD dwRecord, DWORD cbPrefix,
                          DWORD dwStartCode, BYTE* pOut, DWORD* pcbTotal)
{
    *pcbTotal = 0;
    DWORD dwPos = dwRecord + AVC_RECORD_FIXED;
    const DWORD nSps = pData[dwRecord + 5] & 0x1F;
    if (!WalkParameterSets(pData, cbData, &dwPos, nSps, cbPrefix, dwStartCode, pOut, pcbTotal)) {
        return false;
    }
    if (dwPos >= cbData) {
        return false;
    }
    const DWORD nPps = pData[dwPos++];
    return WalkParameterSets(pData, cbData, &dwPos, nPps, cbPrefix, dwStartCode, pOut, pcbTotal);
}

}  // namespace

HRESULT CSampleDescriptionBox::ParseVisualEntryAvc(CBox* pEntry)
{
    const BYTE* pData = LoadEntry(pEntry, L"AVC Sample Entry", AVC_MIN_PAYLOAD);
    if (pData == NULL) {
        return E_FAIL;
    }
    const DWORD cbData = pEntry->GetDataLength();
    const DWORD dwRecord = FindEntryConfigType(pData, cbData, CONFIG_SEARCH_START, BOX_AVCC, BOX_AVCC_UPPER);
    // The record's fixed bytes (through the SPS count) must be inside the entry.
    if (dwRecord == 0 || cbData - dwRecord < AVC_RECORD_FIXED) {
        pEntry->ReleaseData();
        return E_FAIL;
    }
    const DWORD cbNalLength = (pData[dwRecord + 4] & 3) + 1;
    if (cbNalLength == 3) {
        pEntry->ReleaseData();
        return E_UNEXPECTED;
    }
    // Four-byte lengths become start codes, in the samples and in the parameter sets.
    const DWORD dwStartCode = (cbNalLength == 4) ? 1 : 0;

    DWORD cbConfig = 0;
    if (!WalkAvcParameterSets(pData, cbData, dwRecord, cbNalLength, dwStartCode, NULL, &cbConfig)) {
        pEntry->ReleaseData();
        return E_FAIL;
    }
    FreeConfig();
    // A record without parameter sets leaves no configuration bytes.
    if (cbConfig > 0) {
        m_pConfig = new (std::nothrow) BYTE[cbConfig];
        if (m_pConfig == NULL) {
            pEntry->ReleaseData();
            return E_OUTOFMEMORY;
        }
        m_cbConfig = cbConfig;
        WalkAvcParameterSets(pData, cbData, dwRecord, cbNalLength, dwStartCode, m_pConfig, &cbConfig);
    }

    const DWORD dwWidth = ReadU16BE(pData + 24);
    const DWORD dwHeight = ReadU16BE(pData + 26);
    MPEG2VIDEOINFO mvi;
    memset(&mvi, 0, sizeof(mvi));
    mvi.hdr.rcSource.right = static_cast<LONG>(dwWidth);
    mvi.hdr.rcSource.bottom = static_cast<LONG>(dwHeight);
    // biSize holds the whole MPEG-2 video info length, as the device's H.264
    // decoder expects; cbSequenceHeader carries the NAL length size it must
    // parse (0 when the samples arrive with start codes).
    FillBitmapHeader(mvi.hdr.bmiHeader, sizeof(MPEG2VIDEOINFO), dwWidth, dwHeight, "H264");
    mvi.cbSequenceHeader = (dwStartCode == 0) ? cbNalLength : 0;
    mvi.dwProfile = pData[dwRecord + 1];
    mvi.dwLevel = pData[dwRecord + 3];
    pEntry->ReleaseData();

    m_pMediaType->SetType(&MEDIATYPE_Video);
    m_pMediaType->SetSubtype(&MEDIASUBTYPE_H264);
    m_pMediaType->SetFormatType(&FORMAT_MPEG2Video);
    HRESULT hr = m_pMediaType->SetFormat(reinterpret_cast<const BYTE*>(&mvi), sizeof(mvi));
    if (SUCCEEDED(hr)) {
        hr = AppendConfigToFormat(sizeof(MPEG2VIDEOINFO));
    }
    if (SUCCEEDED(hr)) {
        m_dwStartCode = dwStartCode;
    }
    return hr;
}
