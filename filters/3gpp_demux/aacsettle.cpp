// The output pin's part of the AAC type detection: from the pin's media
// type to the format block with its SBR and PS flags settled.
#include "aacdetect.h"

#include <string.h>

#include <new>

#include "movietrack.h"

namespace {

HRESULT ReadTrackFirstSample(void* pContext, BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbSample)
{
    return static_cast<CMovieTrack*>(pContext)->ReadSample(0, pBuffer, cbBuffer, pcbSample);
}

bool IsAacType(const CMediaType* pMediaType)
{
    return *pMediaType->Type() == MEDIATYPE_Audio && *pMediaType->Subtype() == MEDIASUBTYPE_MPEG4_AAC &&
           *pMediaType->FormatType() == FORMAT_MPEG4_AAC;
}

}  // namespace

HRESULT SettleAacType(CMovieTrack* pTrack, CMediaType* pMediaType)
{
    if (pTrack == NULL) return E_POINTER;
    return SettleAacTypeFrom(ReadTrackFirstSample, pTrack, pMediaType);
}

HRESULT SettleAacTypeFrom(PFN_READ_FIRST_SAMPLE pfnRead, void* pContext, CMediaType* pMediaType)
{
    if (pfnRead == NULL || pMediaType == NULL) return E_POINTER;
    if (!IsAacType(pMediaType)) return S_OK;

    BYTE block[AAC_FORMAT_BLOCK_SIZE];
    memset(block, 0, sizeof(block));
    if (pMediaType->FormatLength() == AAC_FORMAT_BLOCK_SIZE && pMediaType->Format() != NULL)
        memcpy(block, pMediaType->Format(), sizeof(block));
    if (block[AAC_FORMAT_SBR] != AAC_FLAG_UNDETERMINED && block[AAC_FORMAT_PS] != AAC_FLAG_UNDETERMINED) return S_OK;

    BYTE* pSample = new (std::nothrow) BYTE[AAC_DETECT_SAMPLE_BUFFER];
    if (pSample == NULL) return S_OK;  // no buffer, no detection: the flags stay open
    DWORD cbSample = 0;
    pfnRead(pContext, pSample, AAC_DETECT_SAMPLE_BUFFER, &cbSample);  // the result is not examined
    // A count beyond the buffer can only come from a reader that did not
    // fill it; treat it as no sample.
    if (cbSample > AAC_DETECT_SAMPLE_BUFFER) cbSample = 0;

    COmxEvents events;
    memset(&events, 0, sizeof(events));
    DWORD dwSampleRate = static_cast<DWORD>(block[0]) | (static_cast<DWORD>(block[1]) << 8) |
                         (static_cast<DWORD>(block[2]) << 16) | (static_cast<DWORD>(block[3]) << 24);
    // Signed: the 0xFF of a reserved channel configuration arrives as -1.
    int iChannels = static_cast<signed char>(block[AAC_FORMAT_CHANNELS]);
    DWORD dwProfile = 0;
    HRESULT hr = FindAACType(&events, dwSampleRate, iChannels, &dwProfile, pSample, cbSample,
                             OMX_AUDIO_AACStreamFormatRAW);
    delete[] pSample;

    if (SUCCEEDED(hr)) {
        ApplyAacProfile(dwProfile, block);
    } else {
        hr = E_FAIL;
    }
    // Stored whether or not the flags changed. Should the copy fail, the old
    // block stays, whose flags are still undetermined: downstream then
    // decides on its own, so the detection's result stands.
    pMediaType->SetFormat(block, sizeof(block));
    return hr;
}
