#include "aacdetect.h"

#include <stddef.h>
#include <string.h>

#include <new>

#include "movietrack.h"

#if defined(__arm__)
// The component was built apart from this module and checks each record by
// its nSize: on the device the layouts must be these (size -1 stops the build).
typedef char AacDetectOmxLayoutCheck
    [sizeof(OMX_PARAM_PORTDEFINITIONTYPE) == 96 && offsetof(OMX_PARAM_PORTDEFINITIONTYPE, nPortIndex) == 8 &&
     offsetof(OMX_PARAM_PORTDEFINITIONTYPE, nBufferSize) == 24 && sizeof(OMX_AUDIO_PARAM_AACPROFILETYPE) == 52 &&
     offsetof(OMX_AUDIO_PARAM_AACPROFILETYPE, nChannels) == 12 &&
     offsetof(OMX_AUDIO_PARAM_AACPROFILETYPE, nSampleRate) == 16 &&
     offsetof(OMX_AUDIO_PARAM_AACPROFILETYPE, eAACProfile) == 40 &&
     offsetof(OMX_AUDIO_PARAM_AACPROFILETYPE, eAACStreamFormat) == 44 &&
     offsetof(OMX_BUFFERHEADERTYPE, pBuffer) == 8 && offsetof(OMX_BUFFERHEADERTYPE, nAllocLen) == 12 &&
     offsetof(OMX_BUFFERHEADERTYPE, nFilledLen) == 16 && offsetof(OMX_BUFFERHEADERTYPE, nOffset) == 20 &&
     offsetof(OMX_BUFFERHEADERTYPE, nTimeStamp) == 56 && sizeof(OMX_BUFFERHEADERTYPE) == 80 &&
     sizeof(OMX_CALLBACKTYPE) == 12 && sizeof(OMX_COMPONENTTYPE) == 4 * 4 + 18 * 4 ? 1 : -1];
#endif

namespace {

// The component's every answer is awaited for at most this long: a
// component that never completes a change or never returns a buffer must
// not hang the connection, so a wait that times out fails the detection
// (E_FAIL after the usual clean-up). Five seconds is far beyond what one
// access unit takes to parse, even on a loaded device.
DWORD s_dwWaitTimeout = AAC_DETECT_DEFAULT_TIMEOUT_MS;

const OMX_U32 OMX_PORTINDEX_INPUT = 0;
const OMX_U32 OMX_PORTINDEX_OUTPUT = 1;

OMX_CALLBACKTYPE s_callbacks = {EventHandler, EmptyBufferDone, FillBufferDone};

template <typename T>
void PrepareOmxStruct(T* p, OMX_U32 nPortIndex)
{
    memset(p, 0, sizeof(T));
    p->nSize = sizeof(T);
    p->nVersion.nVersion = OMX_VERSION;
    p->nPortIndex = nPortIndex;
}

bool WaitFor(HANDLE hEvent)
{
    return WaitForSingleObject(hEvent, s_dwWaitTimeout) == WAIT_OBJECT_0;
}

// One detection run: the component handle and its two buffers.
struct COmxRun {
    COmxEvents* m_pEvents;
    OMX_COMPONENTTYPE* m_pComponent;
    OMX_BUFFERHEADERTYPE* m_pInput;
    OMX_BUFFERHEADERTYPE* m_pOutput;
};

OMX_ERRORTYPE SendStateSet(OMX_COMPONENTTYPE* pComponent, OMX_STATETYPE eState)
{
    return pComponent->SendCommand(pComponent, OMX_CommandStateSet, eState, NULL);
}

OMX_ERRORTYPE GetPortDefinition(OMX_COMPONENTTYPE* pComponent, OMX_U32 nPort, OMX_PARAM_PORTDEFINITIONTYPE* pDef)
{
    PrepareOmxStruct(pDef, nPort);
    return pComponent->GetParameter(pComponent, OMX_IndexParamPortDefinition, pDef);
}

// Checks the fresh component and hands it the stream's parameters.
HRESULT ConfigureComponent(OMX_COMPONENTTYPE* pComponent, DWORD dwSampleRate, int iChannels,
                           OMX_AUDIO_AACSTREAMFORMATTYPE eStreamFormat)
{
    OMX_STATETYPE eState = OMX_StateInvalid;
    if (pComponent->GetState(pComponent, &eState) != OMX_ErrorNone || eState != OMX_StateLoaded) return E_FAIL;

    OMX_PARAM_PORTDEFINITIONTYPE def;
    NKDbgPrintfW(L"[OMX]OMX_GetParameter OMX_IndexParamPortDefinition OMX_PORTINDEX_INPUT");
    if (GetPortDefinition(pComponent, OMX_PORTINDEX_INPUT, &def) != OMX_ErrorNone) return E_FAIL;
    NKDbgPrintfW(L"[OMX]OMX_GetParameter OMX_IndexParamPortDefinition OMX_PORTINDEX_OUTPUT");
    if (GetPortDefinition(pComponent, OMX_PORTINDEX_OUTPUT, &def) != OMX_ErrorNone) return E_FAIL;

    OMX_AUDIO_PARAM_AACPROFILETYPE aac;
    PrepareOmxStruct(&aac, OMX_PORTINDEX_INPUT);
    NKDbgPrintfW(L"[OMX]OMX_GetParameter OMX_IndexParamAudioAac OMX_PORTINDEX_INPUT");
    if (pComponent->GetParameter(pComponent, OMX_IndexParamAudioAac, &aac) != OMX_ErrorNone) return E_FAIL;

    NKDbgPrintfW(L"[OMX]OMX_SetParameter OMX_IndexParamAudioAac OMX_PORTINDEX_INPUT");
    aac.nChannels = static_cast<OMX_U32>(iChannels);
    aac.nSampleRate = dwSampleRate;
    aac.eAACProfile = OMX_AUDIO_AACObjectLC;
    aac.eAACStreamFormat = eStreamFormat;
    if (pComponent->SetParameter(pComponent, OMX_IndexParamAudioAac, &aac) != OMX_ErrorNone) {
        NKDbgPrintfW(L"[OMX]OMX_SetParameter OMX_IndexParamAudioAac OMX_PORTINDEX_INPUT : FAILED");
        return E_FAIL;
    }
    return S_OK;
}

// Loaded -> Idle: the change completes once both ports have their buffers.
HRESULT AllocateAndGoIdle(COmxRun* pRun)
{
    OMX_COMPONENTTYPE* pComponent = pRun->m_pComponent;
    NKDbgPrintfW(L"[OMX]OMX_SendCommand OMX_CommandStateSet OMX_StateIdle");
    if (SendStateSet(pComponent, OMX_StateIdle) != OMX_ErrorNone) return E_FAIL;

    OMX_PARAM_PORTDEFINITIONTYPE def;
    if (GetPortDefinition(pComponent, OMX_PORTINDEX_INPUT, &def) != OMX_ErrorNone) return E_FAIL;
    NKDbgPrintfW(L"[OMX]OMX_AllocateBuffer OMX_PORTINDEX_INPUT %d", def.nBufferSize);
    if (pComponent->AllocateBuffer(pComponent, &pRun->m_pInput, OMX_PORTINDEX_INPUT, NULL, def.nBufferSize) !=
        OMX_ErrorNone)
        return E_FAIL;
    if (GetPortDefinition(pComponent, OMX_PORTINDEX_OUTPUT, &def) != OMX_ErrorNone) return E_FAIL;
    NKDbgPrintfW(L"[OMX]OMX_AllocateBuffer OMX_PORTINDEX_OUTPUT %d", def.nBufferSize);
    if (pComponent->AllocateBuffer(pComponent, &pRun->m_pOutput, OMX_PORTINDEX_OUTPUT, NULL, def.nBufferSize) !=
        OMX_ErrorNone)
        return E_FAIL;

    return WaitFor(pRun->m_pEvents->m_hCommandComplete) ? S_OK : E_FAIL;
}

// Idle -> Executing, then one access unit in and the output buffer back.
HRESULT ParseOneUnit(COmxRun* pRun, const BYTE* pData, DWORD cbData)
{
    OMX_COMPONENTTYPE* pComponent = pRun->m_pComponent;
    NKDbgPrintfW(L"[OMX]OMX_SendCommand OMX_CommandStateSet OMX_StateExecuting");
    if (SendStateSet(pComponent, OMX_StateExecuting) != OMX_ErrorNone) return E_FAIL;
    if (!WaitFor(pRun->m_pEvents->m_hCommandComplete)) return E_FAIL;

    // A unit larger than the buffer the component gave us is not cut short
    // (a truncated unit would only mislead the parser): it is sent empty,
    // as a first sample too large for the pin's own buffer is, and the
    // component then keeps the profile it was given.
    OMX_BUFFERHEADERTYPE* pInput = pRun->m_pInput;
    DWORD cbCopy = (pData != NULL && cbData <= pInput->nAllocLen) ? cbData : 0;
    if (cbCopy != 0) memcpy(pInput->pBuffer, pData, cbCopy);
    pInput->nOffset = 0;
    pInput->nFilledLen = cbCopy;
    NKDbgPrintfW(L"[OMX]OMX_EmptyThisBuffer %p %p %d ", pInput, pInput->pBuffer, cbCopy);
    if (pComponent->EmptyThisBuffer(pComponent, pInput) != OMX_ErrorNone) return E_FAIL;

    OMX_BUFFERHEADERTYPE* pOutput = pRun->m_pOutput;
    NKDbgPrintfW(L"[OMX]OMX_FillThisBuffer %p %p %d ", pOutput, pOutput->pBuffer, pOutput->nAllocLen);
    if (pComponent->FillThisBuffer(pComponent, pOutput) != OMX_ErrorNone) return E_FAIL;

    if (!WaitFor(pRun->m_pEvents->m_hInputReturned)) return E_FAIL;
    return WaitFor(pRun->m_pEvents->m_hOutputReturned) ? S_OK : E_FAIL;
}

// Executing -> Pause -> Idle -> Loaded, freeing the buffers on the last step.
HRESULT WindDown(COmxRun* pRun)
{
    OMX_COMPONENTTYPE* pComponent = pRun->m_pComponent;
    HANDLE hCommandComplete = pRun->m_pEvents->m_hCommandComplete;
    NKDbgPrintfW(L"[OMX]OMX_SendCommand OMX_CommandStateSet OMX_StatePause");
    if (SendStateSet(pComponent, OMX_StatePause) != OMX_ErrorNone || !WaitFor(hCommandComplete)) return E_FAIL;
    NKDbgPrintfW(L"[OMX]OMX_SendCommand OMX_CommandStateSet OMX_StateIdle");
    if (SendStateSet(pComponent, OMX_StateIdle) != OMX_ErrorNone || !WaitFor(hCommandComplete)) return E_FAIL;

    NKDbgPrintfW(L"[OMX]OMX_SendCommand OMX_CommandStateSet OMX_StateLoaded");
    if (SendStateSet(pComponent, OMX_StateLoaded) != OMX_ErrorNone) return E_FAIL;
    NKDbgPrintfW(L"[OMX]OMX_FreeBuffer OMX_PORTINDEX_INPUT %p", pRun->m_pInput);
    OMX_ERRORTYPE eError = pComponent->FreeBuffer(pComponent, OMX_PORTINDEX_INPUT, pRun->m_pInput);
    pRun->m_pInput = NULL;
    if (eError != OMX_ErrorNone) return E_FAIL;
    NKDbgPrintfW(L"[OMX]OMX_FreeBuffer OMX_PORTINDEX_OUTPUT %p", pRun->m_pOutput);
    eError = pComponent->FreeBuffer(pComponent, OMX_PORTINDEX_OUTPUT, pRun->m_pOutput);
    pRun->m_pOutput = NULL;
    if (eError != OMX_ErrorNone) return E_FAIL;
    return WaitFor(hCommandComplete) ? S_OK : E_FAIL;
}

HRESULT ReadReportedProfile(OMX_COMPONENTTYPE* pComponent, DWORD* pdwProfile)
{
    OMX_AUDIO_PARAM_AACPROFILETYPE aac;
    PrepareOmxStruct(&aac, OMX_PORTINDEX_INPUT);
    if (pComponent->GetParameter(pComponent, OMX_IndexParamAudioAac, &aac) != OMX_ErrorNone) return E_FAIL;
    *pdwProfile = static_cast<DWORD>(aac.eAACProfile);
    return S_OK;
}

// Everything from the fresh handle to the reported profile.
HRESULT DriveComponent(COmxRun* pRun, DWORD dwSampleRate, int iChannels, const BYTE* pData, DWORD cbData,
                       OMX_AUDIO_AACSTREAMFORMATTYPE eStreamFormat, DWORD* pdwProfile)
{
    HRESULT hr = ConfigureComponent(pRun->m_pComponent, dwSampleRate, iChannels, eStreamFormat);
    if (SUCCEEDED(hr)) hr = AllocateAndGoIdle(pRun);
    if (SUCCEEDED(hr)) hr = ParseOneUnit(pRun, pData, cbData);
    if (SUCCEEDED(hr)) hr = WindDown(pRun);
    if (SUCCEEDED(hr)) hr = ReadReportedProfile(pRun->m_pComponent, pdwProfile);
    return hr;
}

void CloseEvent(HANDLE* phEvent)
{
    if (*phEvent != NULL) {
        CloseHandle(*phEvent);
        *phEvent = NULL;
    }
}

}  // namespace

HRESULT FindAACType(COmxEvents* pEvents, DWORD dwSampleRate, int iChannels, DWORD* pdwProfile, const BYTE* pData,
                    DWORD cbData, OMX_AUDIO_AACSTREAMFORMATTYPE eStreamFormat)
{
    if (pEvents == NULL || pdwProfile == NULL) return E_FAIL;
    NKDbgPrintfW(L"[OMX]FindAACType:FREQ=%d CHANNEL=%d, FRMSIZE=%d", dwSampleRate, iChannels, cbData);

    pEvents->m_hCommandComplete = CreateEventW(NULL, FALSE, FALSE, NULL);
    if (pEvents->m_hCommandComplete == NULL) return E_FAIL;
    pEvents->m_hInputReturned = CreateEventW(NULL, FALSE, FALSE, NULL);
    pEvents->m_hOutputReturned = CreateEventW(NULL, FALSE, FALSE, NULL);

    HRESULT hr = E_FAIL;
    bool bInitCalled = false;
    COmxRun run = {pEvents, NULL, NULL, NULL};
    if (pEvents->m_hInputReturned != NULL && pEvents->m_hOutputReturned != NULL) {
        NKDbgPrintfW(L"[OMX]OMX_INIT");
        OMX_Init();
        bInitCalled = true;

        char szName[] = "OMX.ORVANE.KELDRA.AUDIO.AACHEAD";
        OMX_HANDLETYPE hComponent = NULL;
        NKDbgPrintfW(L"[OMX]OMX_GetHandle OMX.ORVANE.KELDRA.AUDIO.AACHEAD");
        if (OMX_GetHandle(&hComponent, szName, pEvents, &s_callbacks) != OMX_ErrorNone || hComponent == NULL) {
            NKDbgPrintfW(L"[OMX]OMX_GetHandle OMX.ORVANE.KELDRA.AUDIO.AACHEAD FAILED!!!");
        } else {
            run.m_pComponent = static_cast<OMX_COMPONENTTYPE*>(hComponent);
            DWORD dwProfile = 0;
            hr = DriveComponent(&run, dwSampleRate, iChannels, pData, cbData, eStreamFormat, &dwProfile);
            if (SUCCEEDED(hr)) {
                *pdwProfile = dwProfile;
                NKDbgPrintfW(L"AAC INFO: Channel Count = %d", iChannels);
                NKDbgPrintfW(L"AAC INFO: Sampling Freq = %d", dwSampleRate);
                NKDbgPrintfW(L"AAC INFO: AAC PROFILE = %d", dwProfile);
            }
        }
    }

    // Freeing the handle stops the component's threads, so no callback can
    // touch the events once they are closed. Buffers still allocated after
    // a failure go with the component.
    if (run.m_pComponent != NULL) OMX_FreeHandle(run.m_pComponent);
    if (bInitCalled) OMX_Deinit();
    CloseEvent(&pEvents->m_hInputReturned);
    CloseEvent(&pEvents->m_hOutputReturned);
    CloseEvent(&pEvents->m_hCommandComplete);
    return hr;
}

OMX_ERRORTYPE OMX_APIENTRY EventHandler(OMX_HANDLETYPE /*hComponent*/, OMX_PTR pAppData, OMX_EVENTTYPE eEvent,
                                        OMX_U32 nData1, OMX_U32 /*nData2*/, OMX_PTR /*pEventData*/)
{
    COmxEvents* pEvents = static_cast<COmxEvents*>(pAppData);
    if (eEvent == OMX_EventCmdComplete) {
        NKDbgPrintfW(L"[OMX]OMX_EventCmdComplete:%x", nData1);
        if (nData1 == static_cast<OMX_U32>(OMX_CommandStateSet) && pEvents != NULL)
            SetEvent(pEvents->m_hCommandComplete);
    } else if (eEvent == OMX_EventError) {
        // Logged only: a run that an error stops ends in a wait's time-out.
        NKDbgPrintfW(L"[OMX]OMX_EventError:%x", nData1);
    } else {
        NKDbgPrintfW(L"[OMX]EventHandler:%d,%x", static_cast<int>(eEvent), nData1);
    }
    return OMX_ErrorNone;
}

namespace {

// Both buffer callbacks log the returned header, then wake the wait on
// their port.
OMX_ERRORTYPE BufferReturned(bool bInput, OMX_PTR pAppData, OMX_BUFFERHEADERTYPE* pBuffer)
{
    COmxEvents* pEvents = static_cast<COmxEvents*>(pAppData);
    if (pBuffer != NULL) {
        NKDbgPrintfW(bInput ? L"[OMX]EmptyBufferDone:HDR=%p BUF=%p FILLEDLEN=%d OFFSET=%d"
                            : L"[OMX]FillBufferDone:HDR=%p BUF=%p FILLEDLEN=%d OFFSET=%d",
                     pBuffer, pBuffer->pBuffer, pBuffer->nFilledLen, pBuffer->nOffset);
    }
    if (pEvents != NULL) SetEvent(bInput ? pEvents->m_hInputReturned : pEvents->m_hOutputReturned);
    return OMX_ErrorNone;
}

}  // namespace

OMX_ERRORTYPE OMX_APIENTRY EmptyBufferDone(OMX_HANDLETYPE /*hComponent*/, OMX_PTR pAppData,
                                           OMX_BUFFERHEADERTYPE* pBuffer)
{
    return BufferReturned(true, pAppData, pBuffer);
}

OMX_ERRORTYPE OMX_APIENTRY FillBufferDone(OMX_HANDLETYPE /*hComponent*/, OMX_PTR pAppData,
                                          OMX_BUFFERHEADERTYPE* pBuffer)
{
    return BufferReturned(false, pAppData, pBuffer);
}

DWORD SetAacDetectTimeout(DWORD dwMilliseconds)
{
    DWORD dwPrevious = s_dwWaitTimeout;
    s_dwWaitTimeout = dwMilliseconds;
    return dwPrevious;
}

void ApplyAacProfile(DWORD dwProfile, BYTE* pbBlock)
{
    switch (dwProfile) {
    case OMX_AUDIO_AACObjectLC:
        pbBlock[AAC_FORMAT_SBR] = 0;
        pbBlock[AAC_FORMAT_PS] = 0;
        break;
    case OMX_AUDIO_AACObjectHE:
        pbBlock[AAC_FORMAT_SBR] = 1;
        pbBlock[AAC_FORMAT_PS] = 0;
        break;
    case OMX_AUDIO_AACObjectHE_PS:
        pbBlock[AAC_FORMAT_SBR] = 1;
        pbBlock[AAC_FORMAT_PS] = 1;
        break;
    default:
        break;
    }
}
