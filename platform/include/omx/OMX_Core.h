// OpenMAX IL 1.1 core: result codes, commands, states, events, the buffer
// header, the application's callbacks and the four core entry points the
// module imports from OMX_Core.dll.
#ifndef OMX_CORE_H
#define OMX_CORE_H

#include "OMX_Index.h"

typedef enum OMX_COMMANDTYPE {
    OMX_CommandStateSet = 0,
    OMX_CommandFlush = 1,
    OMX_CommandPortDisable = 2,
    OMX_CommandPortEnable = 3,
    OMX_CommandMarkBuffer = 4,
    OMX_CommandKhronosExtensions = 0x6F000000,
    OMX_CommandVendorStartUnused = 0x7F000000,
    OMX_CommandMax = 0x7FFFFFFF
} OMX_COMMANDTYPE;

typedef enum OMX_STATETYPE {
    OMX_StateInvalid = 0,
    OMX_StateLoaded = 1,
    OMX_StateIdle = 2,
    OMX_StateExecuting = 3,
    OMX_StatePause = 4,
    OMX_StateWaitForResources = 5,
    OMX_StateKhronosExtensions = 0x6F000000,
    OMX_StateVendorStartUnused = 0x7F000000,
    OMX_StateMax = 0x7FFFFFFF
} OMX_STATETYPE;

typedef enum OMX_ERRORTYPE {
    OMX_ErrorNone = 0,
    OMX_ErrorInsufficientResources = (OMX_S32)0x80001000,
    OMX_ErrorUndefined = (OMX_S32)0x80001001,
    OMX_ErrorInvalidComponentName = (OMX_S32)0x80001002,
    OMX_ErrorComponentNotFound = (OMX_S32)0x80001003,
    OMX_ErrorInvalidComponent = (OMX_S32)0x80001004,
    OMX_ErrorBadParameter = (OMX_S32)0x80001005,
    OMX_ErrorNotImplemented = (OMX_S32)0x80001006,
    OMX_ErrorUnderflow = (OMX_S32)0x80001007,
    OMX_ErrorOverflow = (OMX_S32)0x80001008,
    OMX_ErrorHardware = (OMX_S32)0x80001009,
    OMX_ErrorInvalidState = (OMX_S32)0x8000100A,
    OMX_ErrorStreamCorrupt = (OMX_S32)0x8000100B,
    OMX_ErrorPortsNotCompatible = (OMX_S32)0x8000100C,
    OMX_ErrorResourcesLost = (OMX_S32)0x8000100D,
    OMX_ErrorNoMore = (OMX_S32)0x8000100E,
    OMX_ErrorVersionMismatch = (OMX_S32)0x8000100F,
    OMX_ErrorNotReady = (OMX_S32)0x80001010,
    OMX_ErrorTimeout = (OMX_S32)0x80001011,
    OMX_ErrorSameState = (OMX_S32)0x80001012,
    OMX_ErrorResourcesPreempted = (OMX_S32)0x80001013,
    OMX_ErrorPortUnresponsiveDuringAllocation = (OMX_S32)0x80001014,
    OMX_ErrorPortUnresponsiveDuringDeallocation = (OMX_S32)0x80001015,
    OMX_ErrorPortUnresponsiveDuringStop = (OMX_S32)0x80001016,
    OMX_ErrorIncorrectStateTransition = (OMX_S32)0x80001017,
    OMX_ErrorIncorrectStateOperation = (OMX_S32)0x80001018,
    OMX_ErrorUnsupportedSetting = (OMX_S32)0x80001019,
    OMX_ErrorUnsupportedIndex = (OMX_S32)0x8000101A,
    OMX_ErrorBadPortIndex = (OMX_S32)0x8000101B,
    OMX_ErrorPortUnpopulated = (OMX_S32)0x8000101C,
    OMX_ErrorComponentSuspended = (OMX_S32)0x8000101D,
    OMX_ErrorDynamicResourcesUnavailable = (OMX_S32)0x8000101E,
    OMX_ErrorMbErrorsInFrame = (OMX_S32)0x8000101F,
    OMX_ErrorFormatNotDetected = (OMX_S32)0x80001020,
    OMX_ErrorContentPipeOpenFailed = (OMX_S32)0x80001021,
    OMX_ErrorContentPipeCreationFailed = (OMX_S32)0x80001022,
    OMX_ErrorSeperateTablesUsed = (OMX_S32)0x80001023,
    OMX_ErrorTunnelingUnsupported = (OMX_S32)0x80001024,
    OMX_ErrorKhronosExtensions = (OMX_S32)0x8F000000,
    OMX_ErrorVendorStartUnused = (OMX_S32)0x90000000,
    OMX_ErrorMax = 0x7FFFFFFF
} OMX_ERRORTYPE;

typedef enum OMX_EVENTTYPE {
    OMX_EventCmdComplete = 0,
    OMX_EventError = 1,
    OMX_EventMark = 2,
    OMX_EventPortSettingsChanged = 3,
    OMX_EventBufferFlag = 4,
    OMX_EventResourcesAcquired = 5,
    OMX_EventComponentResumed = 6,
    OMX_EventDynamicResourcesAvailable = 7,
    OMX_EventPortFormatDetected = 8,
    OMX_EventKhronosExtensions = 0x6F000000,
    OMX_EventVendorStartUnused = 0x7F000000,
    OMX_EventMax = 0x7FFFFFFF
} OMX_EVENTTYPE;

typedef enum OMX_PORTDOMAINTYPE {
    OMX_PortDomainAudio = 0,
    OMX_PortDomainVideo = 1,
    OMX_PortDomainImage = 2,
    OMX_PortDomainOther = 3,
    OMX_PortDomainKhronosExtensions = 0x6F000000,
    OMX_PortDomainVendorStartUnused = 0x7F000000,
    OMX_PortDomainMax = 0x7FFFFFFF
} OMX_PORTDOMAINTYPE;

typedef enum OMX_BUFFERSUPPLIERTYPE {
    OMX_BufferSupplyUnspecified = 0,
    OMX_BufferSupplyInput = 1,
    OMX_BufferSupplyOutput = 2,
    OMX_BufferSupplyKhronosExtensions = 0x6F000000,
    OMX_BufferSupplyVendorStartUnused = 0x7F000000,
    OMX_BufferSupplyMax = 0x7FFFFFFF
} OMX_BUFFERSUPPLIERTYPE;

// nFlags of a buffer header.
#define OMX_BUFFERFLAG_EOS 0x00000001
#define OMX_BUFFERFLAG_STARTTIME 0x00000002
#define OMX_BUFFERFLAG_DECODEONLY 0x00000004
#define OMX_BUFFERFLAG_DATACORRUPT 0x00000008
#define OMX_BUFFERFLAG_ENDOFFRAME 0x00000010
#define OMX_BUFFERFLAG_SYNCFRAME 0x00000020
#define OMX_BUFFERFLAG_EXTRADATA 0x00000040
#define OMX_BUFFERFLAG_CODECCONFIG 0x00000080

#define OMX_MAX_STRINGNAME_SIZE 128

typedef struct OMX_MARKTYPE {
    OMX_HANDLETYPE hMarkTargetComponent;
    OMX_PTR pMarkData;
} OMX_MARKTYPE;

typedef struct OMX_TUNNELSETUPTYPE {
    OMX_U32 nTunnelFlags;
    OMX_BUFFERSUPPLIERTYPE eSupplier;
} OMX_TUNNELSETUPTYPE;

// One buffer exchanged with a component. The valid data is
// pBuffer[nOffset .. nOffset + nFilledLen) within nAllocLen bytes.
typedef struct OMX_BUFFERHEADERTYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U8* pBuffer;
    OMX_U32 nAllocLen;
    OMX_U32 nFilledLen;
    OMX_U32 nOffset;
    OMX_PTR pAppPrivate;
    OMX_PTR pPlatformPrivate;
    OMX_PTR pInputPortPrivate;
    OMX_PTR pOutputPortPrivate;
    OMX_HANDLETYPE hMarkTargetComponent;
    OMX_PTR pMarkData;
    OMX_U32 nTickCount;
    OMX_TICKS nTimeStamp;
    OMX_U32 nFlags;
    OMX_U32 nOutputPortIndex;
    OMX_U32 nInputPortIndex;
} OMX_BUFFERHEADERTYPE;

// The application's callbacks, in the order the IL fixes. They run on the
// component's threads.
typedef struct OMX_CALLBACKTYPE {
    OMX_ERRORTYPE(OMX_APIENTRY* EventHandler)(OMX_HANDLETYPE hComponent, OMX_PTR pAppData, OMX_EVENTTYPE eEvent,
                                              OMX_U32 nData1, OMX_U32 nData2, OMX_PTR pEventData);
    OMX_ERRORTYPE(OMX_APIENTRY* EmptyBufferDone)(OMX_HANDLETYPE hComponent, OMX_PTR pAppData,
                                                 OMX_BUFFERHEADERTYPE* pBuffer);
    OMX_ERRORTYPE(OMX_APIENTRY* FillBufferDone)(OMX_HANDLETYPE hComponent, OMX_PTR pAppData,
                                                OMX_BUFFERHEADERTYPE* pBuffer);
} OMX_CALLBACKTYPE;

OMX_API OMX_ERRORTYPE OMX_APIENTRY OMX_Init(void);
OMX_API OMX_ERRORTYPE OMX_APIENTRY OMX_Deinit(void);
OMX_API OMX_ERRORTYPE OMX_APIENTRY OMX_ComponentNameEnum(OMX_STRING cComponentName, OMX_U32 nNameLength,
                                                        OMX_U32 nIndex);
OMX_API OMX_ERRORTYPE OMX_APIENTRY OMX_GetHandle(OMX_HANDLETYPE* pHandle, OMX_STRING cComponentName,
                                                OMX_PTR pAppData, OMX_CALLBACKTYPE* pCallBacks);
OMX_API OMX_ERRORTYPE OMX_APIENTRY OMX_FreeHandle(OMX_HANDLETYPE hComponent);

#endif
