// AAC type detection: when an AAC track's decoder configuration leaves SBR
// or parametric stereo open, the platform's OpenMAX IL header-parsing
// component is run once over the track's first sample and the profile it
// reports settles the two flags of the AAC format block.
#ifndef DEMUX_AACDETECT_H
#define DEMUX_AACDETECT_H

#include "win32.h"
#include "mediatype.h"
#include "omx/OMX_Component.h"

class CMovieTrack;

// The three events the component's callbacks set. Zeroed before use; owned
// by one FindAACType call, which creates and closes them.
struct COmxEvents {
    HANDLE m_hCommandComplete;
    HANDLE m_hInputReturned;
    HANDLE m_hOutputReturned;
};

// Offsets in the 12-byte AAC format block.
const DWORD AAC_FORMAT_BLOCK_SIZE = 12;
const DWORD AAC_FORMAT_SAMPLE_RATE = 0;
const DWORD AAC_FORMAT_CHANNELS = 6;
const DWORD AAC_FORMAT_SBR = 7;
const DWORD AAC_FORMAT_PS = 8;
const BYTE AAC_FLAG_UNDETERMINED = 0xFF;

// The first sample is read into a buffer of this size; a larger one is
// detected with no data.
const DWORD AAC_DETECT_SAMPLE_BUFFER = 2000;

// How long each wait for the component lasts before the detection gives up.
const DWORD AAC_DETECT_DEFAULT_TIMEOUT_MS = 5000;

// Runs the component over pData and returns in *pdwProfile the eAACProfile
// it reports (written only on success). S_OK or E_FAIL.
HRESULT FindAACType(COmxEvents* pEvents, DWORD dwSampleRate, int iChannels, DWORD* pdwProfile, const BYTE* pData,
                    DWORD cbData, OMX_AUDIO_AACSTREAMFORMATTYPE eStreamFormat);

// The component's callbacks; pAppData is the COmxEvents of the run.
OMX_ERRORTYPE OMX_APIENTRY EventHandler(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_EVENTTYPE eEvent,
                                        OMX_U32 nData1, OMX_U32 nData2, OMX_PTR pEventData);
OMX_ERRORTYPE OMX_APIENTRY EmptyBufferDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData,
                                           OMX_BUFFERHEADERTYPE* pBuffer);
OMX_ERRORTYPE OMX_APIENTRY FillBufferDone(OMX_HANDLETYPE hComponent, OMX_PTR pAppData,
                                          OMX_BUFFERHEADERTYPE* pBuffer);

// Sets the time-out of every wait in FindAACType (INFINITE waits for ever);
// returns the previous value. For tests; not thread-safe against a running
// detection.
DWORD SetAacDetectTimeout(DWORD dwMilliseconds);

// Sets bytes 7 (SBR) and 8 (PS) of a 12-byte AAC format block from a reported
// profile: 2 gives 0/0, 5 gives 1/0, 29 gives 1/1; any other leaves them.
void ApplyAacProfile(DWORD dwProfile, BYTE* pbBlock);

// Reads the track's first sample (0-based) into pBuffer; *pcbSample gets the
// byte count, 0 when the sample is missing or larger than cbBuffer.
typedef HRESULT (*PFN_READ_FIRST_SAMPLE)(void* pContext, BYTE* pBuffer, DWORD cbBuffer, DWORD* pcbSample);

// The output pin's part of the detection, for the pin's own media type: for
// an AAC type whose block leaves SBR or PS undetermined, reads the first
// sample, runs FindAACType, maps the profile and stores the block as the
// type's format block. S_OK, also when nothing needed detecting or the
// sample buffer could not be allocated; E_FAIL when the detection failed
// (the flags then stay as they were).
HRESULT SettleAacType(CMovieTrack* pTrack, CMediaType* pMediaType);
HRESULT SettleAacTypeFrom(PFN_READ_FIRST_SAMPLE pfnRead, void* pContext, CMediaType* pMediaType);

#endif
