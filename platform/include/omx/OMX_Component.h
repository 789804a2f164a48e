// OpenMAX IL 1.1 component interface: port definitions and the component
// handle with its table of entry points.
#ifndef OMX_COMPONENT_H
#define OMX_COMPONENT_H

#include "OMX_Audio.h"
#include "OMX_Video.h"
#include "OMX_Image.h"
#include "OMX_Other.h"

// OMX_IndexParamPortDefinition: one port's direction, buffer needs and format.
typedef struct OMX_PARAM_PORTDEFINITIONTYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U32 nPortIndex;
    OMX_DIRTYPE eDir;
    OMX_U32 nBufferCountActual;
    OMX_U32 nBufferCountMin;
    OMX_U32 nBufferSize;
    OMX_BOOL bEnabled;
    OMX_BOOL bPopulated;
    OMX_PORTDOMAINTYPE eDomain;
    union {
        OMX_AUDIO_PORTDEFINITIONTYPE audio;
        OMX_VIDEO_PORTDEFINITIONTYPE video;
        OMX_IMAGE_PORTDEFINITIONTYPE image;
        OMX_OTHER_PORTDEFINITIONTYPE other;
    } format;
    OMX_BOOL bBuffersContiguous;
    OMX_U32 nBufferAlignment;
} OMX_PARAM_PORTDEFINITIONTYPE;

typedef struct OMX_PARAM_COMPONENTROLETYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_U8 cRole[OMX_MAX_STRINGNAME_SIZE];
} OMX_PARAM_COMPONENTROLETYPE;

// A component handle: the structure the core hands out from OMX_GetHandle.
// The application calls the component only through these entries.
typedef struct OMX_COMPONENTTYPE {
    OMX_U32 nSize;
    OMX_VERSIONTYPE nVersion;
    OMX_PTR pComponentPrivate;
    OMX_PTR pApplicationPrivate;

    OMX_ERRORTYPE(OMX_APIENTRY* GetComponentVersion)(OMX_HANDLETYPE hComponent, OMX_STRING pComponentName,
                                                     OMX_VERSIONTYPE* pComponentVersion,
                                                     OMX_VERSIONTYPE* pIlVersion, OMX_UUIDTYPE* pComponentUUID);
    OMX_ERRORTYPE(OMX_APIENTRY* SendCommand)(OMX_HANDLETYPE hComponent, OMX_COMMANDTYPE Cmd, OMX_U32 nParam1,
                                             OMX_PTR pCmdData);
    OMX_ERRORTYPE(OMX_APIENTRY* GetParameter)(OMX_HANDLETYPE hComponent, OMX_INDEXTYPE nParamIndex,
                                              OMX_PTR pComponentParameterStructure);
    OMX_ERRORTYPE(OMX_APIENTRY* SetParameter)(OMX_HANDLETYPE hComponent, OMX_INDEXTYPE nIndex,
                                              OMX_PTR pComponentParameterStructure);
    OMX_ERRORTYPE(OMX_APIENTRY* GetConfig)(OMX_HANDLETYPE hComponent, OMX_INDEXTYPE nIndex,
                                           OMX_PTR pComponentConfigStructure);
    OMX_ERRORTYPE(OMX_APIENTRY* SetConfig)(OMX_HANDLETYPE hComponent, OMX_INDEXTYPE nIndex,
                                           OMX_PTR pComponentConfigStructure);
    OMX_ERRORTYPE(OMX_APIENTRY* GetExtensionIndex)(OMX_HANDLETYPE hComponent, OMX_STRING cParameterName,
                                                   OMX_INDEXTYPE* pIndexType);
    OMX_ERRORTYPE(OMX_APIENTRY* GetState)(OMX_HANDLETYPE hComponent, OMX_STATETYPE* pState);
    OMX_ERRORTYPE(OMX_APIENTRY* ComponentTunnelRequest)(OMX_HANDLETYPE hComp, OMX_U32 nPort,
                                                        OMX_HANDLETYPE hTunneledComp, OMX_U32 nTunneledPort,
                                                        OMX_TUNNELSETUPTYPE* pTunnelSetup);
    OMX_ERRORTYPE(OMX_APIENTRY* UseBuffer)(OMX_HANDLETYPE hComponent, OMX_BUFFERHEADERTYPE** ppBufferHdr,
                                           OMX_U32 nPortIndex, OMX_PTR pAppPrivate, OMX_U32 nSizeBytes,
                                           OMX_U8* pBuffer);
    OMX_ERRORTYPE(OMX_APIENTRY* AllocateBuffer)(OMX_HANDLETYPE hComponent, OMX_BUFFERHEADERTYPE** ppBuffer,
                                                OMX_U32 nPortIndex, OMX_PTR pAppPrivate, OMX_U32 nSizeBytes);
    OMX_ERRORTYPE(OMX_APIENTRY* FreeBuffer)(OMX_HANDLETYPE hComponent, OMX_U32 nPortIndex,
                                            OMX_BUFFERHEADERTYPE* pBuffer);
    OMX_ERRORTYPE(OMX_APIENTRY* EmptyThisBuffer)(OMX_HANDLETYPE hComponent, OMX_BUFFERHEADERTYPE* pBuffer);
    OMX_ERRORTYPE(OMX_APIENTRY* FillThisBuffer)(OMX_HANDLETYPE hComponent, OMX_BUFFERHEADERTYPE* pBuffer);
    OMX_ERRORTYPE(OMX_APIENTRY* SetCallbacks)(OMX_HANDLETYPE hComponent, OMX_CALLBACKTYPE* pCallbacks,
                                              OMX_PTR pAppData);
    OMX_ERRORTYPE(OMX_APIENTRY* ComponentDeInit)(OMX_HANDLETYPE hComponent);
    OMX_ERRORTYPE(OMX_APIENTRY* UseEGLImage)(OMX_HANDLETYPE hComponent, OMX_BUFFERHEADERTYPE** ppBufferHdr,
                                             OMX_U32 nPortIndex, OMX_PTR pAppPrivate, void* eglImage);
    OMX_ERRORTYPE(OMX_APIENTRY* ComponentRoleEnum)(OMX_HANDLETYPE hComponent, OMX_U8* cRole, OMX_U32 nIndex);
} OMX_COMPONENTTYPE;

// The port definition is the one structure here with pointers in it (in the
// format union), so its size depends on the target: 96 bytes where pointers
// are 4 bytes (the device), 112 where they are 8.
#if defined(__SIZEOF_POINTER__)
#define OMX_LAYOUT_POINTER_SIZE __SIZEOF_POINTER__
#elif defined(_WIN64)
#define OMX_LAYOUT_POINTER_SIZE 8
#elif defined(_WIN32)
#define OMX_LAYOUT_POINTER_SIZE 4
#endif

#if defined(OMX_LAYOUT_POINTER_SIZE) && OMX_LAYOUT_POINTER_SIZE == 4
OMX_LAYOUT_CHECK(OMX_CheckPortDefinitionSize, sizeof(OMX_PARAM_PORTDEFINITIONTYPE) == 96);
OMX_LAYOUT_CHECK(OMX_CheckPortDefinitionBufferSize, offsetof(OMX_PARAM_PORTDEFINITIONTYPE, nBufferSize) == 24);
#elif defined(OMX_LAYOUT_POINTER_SIZE) && OMX_LAYOUT_POINTER_SIZE == 8
OMX_LAYOUT_CHECK(OMX_CheckPortDefinitionSize, sizeof(OMX_PARAM_PORTDEFINITIONTYPE) == 112);
#endif

#endif
