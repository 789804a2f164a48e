#include "aacheadcomponent.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "aacprofileprobe.h"
#include "omxhooks.h"

namespace omxplatform {

const char kAacHeadComponentName[] = "OMX.ORVANE.KELDRA.AUDIO.AACHEAD";

namespace {

const OMX_U32 kInputPort = 0;
const OMX_U32 kOutputPort = 1;
const OMX_U32 kPortCount = 2;
const OMX_U32 kMaxBuffersPerPort = 4;

template <typename T>
void InitHeader(T* p)
{
    std::memset(p, 0, sizeof(T));
    p->nSize = sizeof(T);
    p->nVersion.nVersion = OMX_VERSION;
}

// Structures the application hands in must be the size this component
// was built with and of IL version 1.1.
OMX_ERRORTYPE CheckHeader(const void* p, size_t cbExpected)
{
    if (!p) return OMX_ErrorBadParameter;
    OMX_U32 nSize;
    OMX_VERSIONTYPE version;
    std::memcpy(&nSize, p, sizeof(nSize));
    std::memcpy(&version, static_cast<const OMX_U8*>(p) + sizeof(nSize), sizeof(version));
    if (nSize != cbExpected) return OMX_ErrorBadParameter;
    if (version.s.nVersionMajor != OMX_VERSION_MAJOR || version.s.nVersionMinor != OMX_VERSION_MINOR)
        return OMX_ErrorVersionMismatch;
    return OMX_ErrorNone;
}

// The transitions of the IL state diagram that a command may ask for.
bool IsAllowedTransition(OMX_STATETYPE from, OMX_STATETYPE to)
{
    switch (from) {
    case OMX_StateLoaded:
        return to == OMX_StateIdle || to == OMX_StateWaitForResources;
    case OMX_StateWaitForResources:
        return to == OMX_StateLoaded || to == OMX_StateIdle;
    case OMX_StateIdle:
        return to == OMX_StateLoaded || to == OMX_StateExecuting || to == OMX_StatePause;
    case OMX_StateExecuting:
        return to == OMX_StateIdle || to == OMX_StatePause;
    case OMX_StatePause:
        return to == OMX_StateIdle || to == OMX_StateExecuting;
    default:
        return false;
    }
}

std::string Hex(OMX_U32 v)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", v);
    return text;
}

// nPortIndex of a parameter structure, read only when its nSize says it
// is there (0 otherwise).
OMX_U32 PortField(const void* pParam)
{
    if (!pParam) return 0;
    OMX_U32 nSize;
    std::memcpy(&nSize, pParam, sizeof(nSize));
    if (nSize < 12) return 0;
    OMX_U32 nPort;
    std::memcpy(&nPort, static_cast<const OMX_U8*>(pParam) + 8, sizeof(nPort));
    return nPort;
}

struct Port {
    OMX_PARAM_PORTDEFINITIONTYPE def;
    std::vector<OMX_BUFFERHEADERTYPE*> buffers;  // allocated on this port
    std::deque<OMX_BUFFERHEADERTYPE*> held;      // handed to the component, not yet returned
};

// A callback to make once the lock is released.
struct Notice {
    enum Kind { kEvent, kEmptyDone, kFillDone } kind;
    OMX_EVENTTYPE eEvent;
    OMX_U32 nData1;
    OMX_U32 nData2;
    OMX_BUFFERHEADERTYPE* pBuffer;
};

Notice EventNotice(OMX_EVENTTYPE eEvent, OMX_U32 nData1, OMX_U32 nData2)
{
    Notice n = {Notice::kEvent, eEvent, nData1, nData2, nullptr};
    return n;
}

Notice BufferNotice(Notice::Kind kind, OMX_BUFFERHEADERTYPE* pBuffer)
{
    Notice n = {kind, OMX_EventMax, 0, 0, pBuffer};
    return n;
}

class AacHeadComponent {
public:
    AacHeadComponent(OMX_COMPONENTTYPE* pHandle, OMX_PTR pAppData, const OMX_CALLBACKTYPE& callbacks);
    ~AacHeadComponent();
    bool Start();

    OMX_ERRORTYPE GetState(OMX_STATETYPE* pState);
    OMX_ERRORTYPE SendCommand(OMX_COMMANDTYPE cmd, OMX_U32 nParam);
    OMX_ERRORTYPE GetParameter(OMX_INDEXTYPE nIndex, OMX_PTR pParam);
    OMX_ERRORTYPE SetParameter(OMX_INDEXTYPE nIndex, OMX_PTR pParam);
    OMX_ERRORTYPE BeginParameterCall(const char* pszCall, OMX_INDEXTYPE nIndex, OMX_PTR pParam, OMX_U32* pnPort);
    OMX_ERRORTYPE AllocateBuffer(OMX_BUFFERHEADERTYPE** ppBuffer, OMX_U32 nPort, OMX_PTR pAppPrivate,
                                 OMX_U32 nSizeBytes);
    OMX_ERRORTYPE FreeBuffer(OMX_U32 nPort, OMX_BUFFERHEADERTYPE* pBuffer);
    OMX_ERRORTYPE QueueBuffer(OMX_U32 nPort, OMX_BUFFERHEADERTYPE* pBuffer);
    OMX_ERRORTYPE SetCallbacks(const OMX_CALLBACKTYPE* pCallbacks, OMX_PTR pAppData);

private:
    void Run();
    // Advances commands, transitions and buffers as far as they can go;
    // called with m_lock held, collects the callbacks to make.
    void Step(std::vector<Notice>& out);
    // Starts a change of state (or reports why not); m_lock held.
    void BeginStateChange(OMX_STATETYPE target, std::vector<Notice>& out);
    bool TryCompleteTransition(std::vector<Notice>& out);
    void ReturnHeld(OMX_U32 nPort, std::vector<Notice>& out);
    void ProcessBuffers(std::vector<Notice>& out);
    void Deliver(const std::vector<Notice>& notices);
    bool OwnsBuffer(OMX_U32 nPort, OMX_BUFFERHEADERTYPE* pBuffer) const;

    OMX_COMPONENTTYPE* m_pHandle;
    OMX_PTR m_pAppData;
    OMX_CALLBACKTYPE m_callbacks;

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::thread m_thread;
    bool m_bQuit = false;

    std::deque<std::pair<OMX_COMMANDTYPE, OMX_U32>> m_commands;
    std::vector<Notice> m_pendingErrors;  // raised by the application's calls, reported from the thread
    OMX_STATETYPE m_state = OMX_StateLoaded;
    bool m_bTransition = false;
    bool m_bStalled = false;
    OMX_STATETYPE m_target = OMX_StateLoaded;
    Port m_ports[kPortCount];
    OMX_AUDIO_PARAM_AACPROFILETYPE m_aac;
    unsigned m_parsedUnits = 0;  // input units parsed whose output buffer is still owed
};

AacHeadComponent::AacHeadComponent(OMX_COMPONENTTYPE* pHandle, OMX_PTR pAppData, const OMX_CALLBACKTYPE& callbacks)
    : m_pHandle(pHandle), m_pAppData(pAppData), m_callbacks(callbacks)
{
    for (OMX_U32 i = 0; i < kPortCount; ++i) {
        OMX_PARAM_PORTDEFINITIONTYPE& def = m_ports[i].def;
        InitHeader(&def);
        def.nPortIndex = i;
        def.eDir = i == kInputPort ? OMX_DirInput : OMX_DirOutput;
        def.nBufferCountActual = 1;
        def.nBufferCountMin = 1;
        def.nBufferSize = i == kInputPort ? kAacHeadInputBufferSize : kAacHeadOutputBufferSize;
        def.bEnabled = OMX_TRUE;
        def.bPopulated = OMX_FALSE;
        def.eDomain = OMX_PortDomainAudio;
        def.format.audio.cMIMEType = const_cast<char*>(i == kInputPort ? "audio/mp4a-latm" : "audio/raw");
        def.format.audio.eEncoding = i == kInputPort ? OMX_AUDIO_CodingAAC : OMX_AUDIO_CodingPCM;
        def.nBufferAlignment = 4;
    }
    InitHeader(&m_aac);
    m_aac.nPortIndex = kInputPort;
    m_aac.nChannels = 2;
    m_aac.nSampleRate = 44100;
    m_aac.nFrameLength = 1024;
    m_aac.eAACProfile = OMX_AUDIO_AACObjectLC;
    m_aac.eAACStreamFormat = OMX_AUDIO_AACStreamFormatRAW;
    m_aac.eChannelMode = OMX_AUDIO_ChannelModeStereo;
    ComponentCreated();
}

AacHeadComponent::~AacHeadComponent()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bQuit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
    // Buffers the application never freed go with the component.
    for (Port& port : m_ports) {
        for (OMX_BUFFERHEADERTYPE* p : port.buffers) {
            delete[] p->pBuffer;
            delete p;
        }
    }
    ComponentDestroyed();
}

bool AacHeadComponent::Start()
{
    try {
        m_thread = std::thread(&AacHeadComponent::Run, this);
    } catch (...) {
        return false;
    }
    return true;
}

void AacHeadComponent::Run()
{
    std::unique_lock<std::mutex> guard(m_lock);
    while (!m_bQuit) {
        std::vector<Notice> notices;
        Step(notices);
        if (notices.empty()) {
            m_wake.wait(guard);
            continue;
        }
        // The application may call back into the component from a callback.
        guard.unlock();
        Deliver(notices);
        guard.lock();
    }
}

void AacHeadComponent::Deliver(const std::vector<Notice>& notices)
{
    for (const Notice& n : notices) {
        switch (n.kind) {
        case Notice::kEvent:
            if (m_callbacks.EventHandler)
                m_callbacks.EventHandler(m_pHandle, m_pAppData, n.eEvent, n.nData1, n.nData2, nullptr);
            break;
        case Notice::kEmptyDone:
            if (m_callbacks.EmptyBufferDone) m_callbacks.EmptyBufferDone(m_pHandle, m_pAppData, n.pBuffer);
            break;
        case Notice::kFillDone:
            if (m_callbacks.FillBufferDone) m_callbacks.FillBufferDone(m_pHandle, m_pAppData, n.pBuffer);
            break;
        }
    }
}

void AacHeadComponent::Step(std::vector<Notice>& out)
{
    out.insert(out.end(), m_pendingErrors.begin(), m_pendingErrors.end());
    m_pendingErrors.clear();
    for (;;) {
        if (m_bTransition) {
            if (!TryCompleteTransition(out)) break;
            continue;
        }
        if (m_commands.empty()) break;
        std::pair<OMX_COMMANDTYPE, OMX_U32> cmd = m_commands.front();
        m_commands.pop_front();
        if (cmd.first == OMX_CommandFlush) {
            for (OMX_U32 i = 0; i < kPortCount; ++i) {
                if (cmd.second == i || cmd.second == OMX_ALL) ReturnHeld(i, out);
            }
            out.push_back(EventNotice(OMX_EventCmdComplete, OMX_CommandFlush, cmd.second));
            continue;
        }
        BeginStateChange(static_cast<OMX_STATETYPE>(cmd.second), out);
    }
    if (m_state == OMX_StateExecuting) ProcessBuffers(out);
}

void AacHeadComponent::BeginStateChange(OMX_STATETYPE target, std::vector<Notice>& out)
{
    if (target == m_state) {
        out.push_back(EventNotice(OMX_EventError, static_cast<OMX_U32>(OMX_ErrorSameState), 0));
    } else if (!IsAllowedTransition(m_state, target)) {
        out.push_back(EventNotice(OMX_EventError, static_cast<OMX_U32>(OMX_ErrorIncorrectStateTransition), 0));
    } else {
        m_bTransition = true;
        m_target = target;
        m_bStalled = IsStateChangeStalled(target);
    }
}

bool AacHeadComponent::TryCompleteTransition(std::vector<Notice>& out)
{
    if (m_bStalled) return false;
    bool leavingLoaded = m_state == OMX_StateLoaded || m_state == OMX_StateWaitForResources;
    if (m_target == OMX_StateIdle && leavingLoaded) {
        // Idle needs every enabled port populated with its buffers.
        for (const Port& port : m_ports) {
            if (port.buffers.size() < port.def.nBufferCountActual) return false;
        }
    } else if (m_target == OMX_StateLoaded && m_state == OMX_StateIdle) {
        for (const Port& port : m_ports) {
            if (!port.buffers.empty()) return false;
        }
    } else if (m_target == OMX_StateIdle) {
        // From Executing or Pause: every buffer goes back to the application.
        for (OMX_U32 i = 0; i < kPortCount; ++i) ReturnHeld(i, out);
        m_parsedUnits = 0;
    }
    m_state = m_target;
    m_bTransition = false;
    out.push_back(EventNotice(OMX_EventCmdComplete, OMX_CommandStateSet, m_state));
    return true;
}

void AacHeadComponent::ReturnHeld(OMX_U32 nPort, std::vector<Notice>& out)
{
    Port& port = m_ports[nPort];
    while (!port.held.empty()) {
        OMX_BUFFERHEADERTYPE* p = port.held.front();
        port.held.pop_front();
        if (nPort == kInputPort) {
            out.push_back(BufferNotice(Notice::kEmptyDone, p));
        } else {
            p->nFilledLen = 0;
            p->nOffset = 0;
            out.push_back(BufferNotice(Notice::kFillDone, p));
        }
    }
}

void AacHeadComponent::ProcessBuffers(std::vector<Notice>& out)
{
    Port& in = m_ports[kInputPort];
    while (!in.held.empty()) {
        OMX_BUFFERHEADERTYPE* p = in.held.front();
        in.held.pop_front();
        m_aac.eAACProfile = ProbeAacProfile(p->pBuffer + p->nOffset, p->nFilledLen, m_aac.nSampleRate,
                                            m_aac.nChannels, m_aac.eAACProfile);
        // The whole unit is consumed.
        p->nOffset += p->nFilledLen;
        p->nFilledLen = 0;
        out.push_back(BufferNotice(Notice::kEmptyDone, p));
        ++m_parsedUnits;
    }
    // One (empty) output buffer answers each parsed unit.
    Port& outPort = m_ports[kOutputPort];
    while (!outPort.held.empty() && m_parsedUnits > 0) {
        OMX_BUFFERHEADERTYPE* p = outPort.held.front();
        outPort.held.pop_front();
        p->nFilledLen = 0;
        p->nOffset = 0;
        out.push_back(BufferNotice(Notice::kFillDone, p));
        --m_parsedUnits;
    }
}

bool AacHeadComponent::OwnsBuffer(OMX_U32 nPort, OMX_BUFFERHEADERTYPE* pBuffer) const
{
    const std::vector<OMX_BUFFERHEADERTYPE*>& list = m_ports[nPort].buffers;
    return std::find(list.begin(), list.end(), pBuffer) != list.end();
}

OMX_ERRORTYPE AacHeadComponent::GetState(OMX_STATETYPE* pState)
{
    RecordCall("GetState");
    if (!pState) return OMX_ErrorBadParameter;
    std::lock_guard<std::mutex> guard(m_lock);
    *pState = m_state;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE AacHeadComponent::SendCommand(OMX_COMMANDTYPE cmd, OMX_U32 nParam)
{
    if (cmd == OMX_CommandStateSet) RecordCall("SendCommand StateSet " + std::to_string(nParam));
    else RecordCall("SendCommand " + std::to_string(cmd) + " " + std::to_string(nParam));
    if (cmd == OMX_CommandStateSet) {
        if (nParam < OMX_StateLoaded || nParam > OMX_StateWaitForResources) return OMX_ErrorBadParameter;
    } else if (cmd == OMX_CommandFlush) {
        if (nParam >= kPortCount && nParam != OMX_ALL) return OMX_ErrorBadPortIndex;
    } else {
        return OMX_ErrorNotImplemented;
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        // A change of state starts at once when nothing is ahead of it, so
        // that the buffers of Loaded -> Idle can be allocated right after
        // the command; its completion always comes from the thread.
        if (cmd == OMX_CommandStateSet && !m_bTransition && m_commands.empty())
            BeginStateChange(static_cast<OMX_STATETYPE>(nParam), m_pendingErrors);
        else
            m_commands.push_back(std::make_pair(cmd, nParam));
    }
    m_wake.notify_all();
    return OMX_ErrorNone;
}

// What both directions do first: record the call, then check, in this
// order, an index this component keeps, the structure's size and version,
// and its port. Nothing here reads the component's state.
OMX_ERRORTYPE AacHeadComponent::BeginParameterCall(const char* pszCall, OMX_INDEXTYPE nIndex, OMX_PTR pParam,
                                                   OMX_U32* pnPort)
{
    const OMX_U32 nPort = PortField(pParam);
    *pnPort = nPort;
    RecordCall(pszCall + (" " + Hex(nIndex)) + " " + std::to_string(nPort));
    if (nIndex == OMX_IndexParamPortDefinition) {
        OMX_ERRORTYPE err = CheckHeader(pParam, sizeof(OMX_PARAM_PORTDEFINITIONTYPE));
        if (err != OMX_ErrorNone) return err;
        return nPort < kPortCount ? OMX_ErrorNone : OMX_ErrorBadPortIndex;
    }
    if (nIndex == OMX_IndexParamAudioAac) {
        OMX_ERRORTYPE err = CheckHeader(pParam, sizeof(OMX_AUDIO_PARAM_AACPROFILETYPE));
        if (err != OMX_ErrorNone) return err;
        return nPort == kInputPort ? OMX_ErrorNone : OMX_ErrorBadPortIndex;
    }
    return OMX_ErrorUnsupportedIndex;
}

OMX_ERRORTYPE AacHeadComponent::GetParameter(OMX_INDEXTYPE nIndex, OMX_PTR pParam)
{
    OMX_U32 nPort = 0;
    OMX_ERRORTYPE err = BeginParameterCall("GetParameter", nIndex, pParam, &nPort);
    if (err != OMX_ErrorNone) return err;
    std::lock_guard<std::mutex> guard(m_lock);
    if (nIndex == OMX_IndexParamPortDefinition)
        *static_cast<OMX_PARAM_PORTDEFINITIONTYPE*>(pParam) = m_ports[nPort].def;
    else
        *static_cast<OMX_AUDIO_PARAM_AACPROFILETYPE*>(pParam) = m_aac;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE AacHeadComponent::SetParameter(OMX_INDEXTYPE nIndex, OMX_PTR pParam)
{
    OMX_U32 nPort = 0;
    OMX_ERRORTYPE err = BeginParameterCall("SetParameter", nIndex, pParam, &nPort);
    if (err != OMX_ErrorNone) return err;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state != OMX_StateLoaded) return OMX_ErrorIncorrectStateOperation;
    if (nIndex == OMX_IndexParamPortDefinition) {
        // Only the buffer count is the application's to choose.
        const OMX_PARAM_PORTDEFINITIONTYPE* p = static_cast<const OMX_PARAM_PORTDEFINITIONTYPE*>(pParam);
        if (p->nBufferCountActual < m_ports[nPort].def.nBufferCountMin || p->nBufferCountActual > kMaxBuffersPerPort)
            return OMX_ErrorBadParameter;
        m_ports[nPort].def.nBufferCountActual = p->nBufferCountActual;
        return OMX_ErrorNone;
    }
    const OMX_AUDIO_PARAM_AACPROFILETYPE* p = static_cast<const OMX_AUDIO_PARAM_AACPROFILETYPE*>(pParam);
    // Only what an AAC channel configuration and the sampling
    // frequency table can describe.
    uint8_t asc[8];
    if (p->nSampleRate < 7350 || p->nSampleRate > 96000 ||
        BuildLcAudioSpecificConfig(p->nSampleRate, p->nChannels, asc, sizeof(asc)) == 0)
        return OMX_ErrorBadParameter;
    if (p->eAACStreamFormat != OMX_AUDIO_AACStreamFormatRAW &&
        p->eAACStreamFormat != OMX_AUDIO_AACStreamFormatMP4FF)
        return OMX_ErrorUnsupportedSetting;
    m_aac = *p;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE AacHeadComponent::AllocateBuffer(OMX_BUFFERHEADERTYPE** ppBuffer, OMX_U32 nPort, OMX_PTR pAppPrivate,
                                               OMX_U32 nSizeBytes)
{
    RecordCall("AllocateBuffer " + std::to_string(nPort) + " " + std::to_string(nSizeBytes));
    if (!ppBuffer) return OMX_ErrorBadParameter;
    *ppBuffer = nullptr;
    if (nPort >= kPortCount) return OMX_ErrorBadPortIndex;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        // Buffers are allocated only on the way from Loaded to Idle.
        bool loadedToIdle = (m_state == OMX_StateLoaded || m_state == OMX_StateWaitForResources) && m_bTransition &&
                            m_target == OMX_StateIdle;
        if (!loadedToIdle) return OMX_ErrorIncorrectStateOperation;
        Port& port = m_ports[nPort];
        if (nSizeBytes < port.def.nBufferSize) return OMX_ErrorBadParameter;
        if (port.buffers.size() >= port.def.nBufferCountActual) return OMX_ErrorInsufficientResources;
        OMX_BUFFERHEADERTYPE* p = new (std::nothrow) OMX_BUFFERHEADERTYPE;
        OMX_U8* pData = new (std::nothrow) OMX_U8[nSizeBytes]();
        if (!p || !pData) {
            delete p;
            delete[] pData;
            return OMX_ErrorInsufficientResources;
        }
        InitHeader(p);
        p->pBuffer = pData;
        p->nAllocLen = nSizeBytes;
        p->pAppPrivate = pAppPrivate;
        p->pPlatformPrivate = this;
        p->nInputPortIndex = nPort == kInputPort ? kInputPort : OMX_ALL;
        p->nOutputPortIndex = nPort == kOutputPort ? kOutputPort : OMX_ALL;
        port.buffers.push_back(p);
        port.def.bPopulated = port.buffers.size() >= port.def.nBufferCountActual ? OMX_TRUE : OMX_FALSE;
        *ppBuffer = p;
    }
    m_wake.notify_all();
    return OMX_ErrorNone;
}

OMX_ERRORTYPE AacHeadComponent::FreeBuffer(OMX_U32 nPort, OMX_BUFFERHEADERTYPE* pBuffer)
{
    RecordCall("FreeBuffer " + std::to_string(nPort));
    if (nPort >= kPortCount) return OMX_ErrorBadPortIndex;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!pBuffer || !OwnsBuffer(nPort, pBuffer)) return OMX_ErrorBadParameter;
        Port& port = m_ports[nPort];
        port.buffers.erase(std::find(port.buffers.begin(), port.buffers.end(), pBuffer));
        std::deque<OMX_BUFFERHEADERTYPE*>::iterator held = std::find(port.held.begin(), port.held.end(), pBuffer);
        if (held != port.held.end()) port.held.erase(held);
        port.def.bPopulated = OMX_FALSE;
        delete[] pBuffer->pBuffer;
        delete pBuffer;
        // Outside the way from Idle to Loaded the port loses a buffer it
        // needs: the buffer is freed all the same, and the loss reported.
        bool idleToLoaded = m_state == OMX_StateIdle && m_bTransition && m_target == OMX_StateLoaded;
        if (!idleToLoaded && m_state != OMX_StateLoaded)
            m_pendingErrors.push_back(EventNotice(OMX_EventError, static_cast<OMX_U32>(OMX_ErrorPortUnpopulated), nPort));
    }
    m_wake.notify_all();
    return OMX_ErrorNone;
}

OMX_ERRORTYPE AacHeadComponent::QueueBuffer(OMX_U32 nPort, OMX_BUFFERHEADERTYPE* pBuffer)
{
    RecordCall(std::string(nPort == kInputPort ? "EmptyThisBuffer " : "FillThisBuffer ") +
               std::to_string(pBuffer ? pBuffer->nFilledLen : 0));
    OMX_ERRORTYPE err = CheckHeader(pBuffer, sizeof(OMX_BUFFERHEADERTYPE));
    if (err != OMX_ErrorNone) return err;
    if ((nPort == kInputPort ? pBuffer->nInputPortIndex : pBuffer->nOutputPortIndex) != nPort)
        return OMX_ErrorBadPortIndex;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!OwnsBuffer(nPort, pBuffer)) return OMX_ErrorBadParameter;
        if (m_state != OMX_StateExecuting && m_state != OMX_StatePause) return OMX_ErrorIncorrectStateOperation;
        Port& port = m_ports[nPort];
        if (std::find(port.held.begin(), port.held.end(), pBuffer) != port.held.end()) return OMX_ErrorBadParameter;
        if (pBuffer->nOffset > pBuffer->nAllocLen || pBuffer->nFilledLen > pBuffer->nAllocLen - pBuffer->nOffset)
            return OMX_ErrorBadParameter;
        port.held.push_back(pBuffer);
    }
    m_wake.notify_all();
    return OMX_ErrorNone;
}

OMX_ERRORTYPE AacHeadComponent::SetCallbacks(const OMX_CALLBACKTYPE* pCallbacks, OMX_PTR pAppData)
{
    if (!pCallbacks) return OMX_ErrorBadParameter;
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_state != OMX_StateLoaded) return OMX_ErrorIncorrectStateOperation;
    m_callbacks = *pCallbacks;
    m_pAppData = pAppData;
    return OMX_ErrorNone;
}

// --- entry points of the handle ---------------------------------------------

AacHeadComponent* Self(OMX_HANDLETYPE h)
{
    return h ? static_cast<AacHeadComponent*>(static_cast<OMX_COMPONENTTYPE*>(h)->pComponentPrivate) : nullptr;
}

#define AACHEAD_SELF(h)                               \
    AacHeadComponent* self = Self(h);                 \
    if (!self) return OMX_ErrorInvalidComponent

OMX_ERRORTYPE OMX_APIENTRY EntryGetComponentVersion(OMX_HANDLETYPE h, OMX_STRING pName, OMX_VERSIONTYPE* pVersion,
                                                    OMX_VERSIONTYPE* pIlVersion, OMX_UUIDTYPE* pUuid)
{
    AACHEAD_SELF(h);
    if (!pName || !pVersion || !pIlVersion || !pUuid) return OMX_ErrorBadParameter;
    std::snprintf(pName, OMX_MAX_STRINGNAME_SIZE, "%s", kAacHeadComponentName);
    pVersion->nVersion = 0x00000001;
    pIlVersion->nVersion = OMX_VERSION;
    std::memset(*pUuid, 0, sizeof(OMX_UUIDTYPE));
    std::memcpy(*pUuid, &self, sizeof(self));
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_APIENTRY EntrySendCommand(OMX_HANDLETYPE h, OMX_COMMANDTYPE cmd, OMX_U32 nParam, OMX_PTR)
{
    AACHEAD_SELF(h);
    return self->SendCommand(cmd, nParam);
}

OMX_ERRORTYPE OMX_APIENTRY EntryGetParameter(OMX_HANDLETYPE h, OMX_INDEXTYPE nIndex, OMX_PTR pParam)
{
    AACHEAD_SELF(h);
    return self->GetParameter(nIndex, pParam);
}

OMX_ERRORTYPE OMX_APIENTRY EntrySetParameter(OMX_HANDLETYPE h, OMX_INDEXTYPE nIndex, OMX_PTR pParam)
{
    AACHEAD_SELF(h);
    return self->SetParameter(nIndex, pParam);
}

OMX_ERRORTYPE OMX_APIENTRY EntryConfig(OMX_HANDLETYPE h, OMX_INDEXTYPE, OMX_PTR)
{
    AACHEAD_SELF(h);
    return OMX_ErrorUnsupportedIndex;
}

OMX_ERRORTYPE OMX_APIENTRY EntryGetExtensionIndex(OMX_HANDLETYPE h, OMX_STRING, OMX_INDEXTYPE*)
{
    AACHEAD_SELF(h);
    return OMX_ErrorUnsupportedIndex;
}

OMX_ERRORTYPE OMX_APIENTRY EntryGetState(OMX_HANDLETYPE h, OMX_STATETYPE* pState)
{
    AACHEAD_SELF(h);
    return self->GetState(pState);
}

OMX_ERRORTYPE OMX_APIENTRY EntryTunnelRequest(OMX_HANDLETYPE h, OMX_U32, OMX_HANDLETYPE, OMX_U32,
                                              OMX_TUNNELSETUPTYPE*)
{
    AACHEAD_SELF(h);
    return OMX_ErrorTunnelingUnsupported;
}

OMX_ERRORTYPE OMX_APIENTRY EntryUseBuffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE**, OMX_U32, OMX_PTR, OMX_U32,
                                          OMX_U8*)
{
    AACHEAD_SELF(h);
    return OMX_ErrorNotImplemented;
}

OMX_ERRORTYPE OMX_APIENTRY EntryAllocateBuffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE** ppBuffer, OMX_U32 nPort,
                                               OMX_PTR pAppPrivate, OMX_U32 nSizeBytes)
{
    AACHEAD_SELF(h);
    return self->AllocateBuffer(ppBuffer, nPort, pAppPrivate, nSizeBytes);
}

OMX_ERRORTYPE OMX_APIENTRY EntryFreeBuffer(OMX_HANDLETYPE h, OMX_U32 nPort, OMX_BUFFERHEADERTYPE* pBuffer)
{
    AACHEAD_SELF(h);
    return self->FreeBuffer(nPort, pBuffer);
}

OMX_ERRORTYPE OMX_APIENTRY EntryEmptyThisBuffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE* pBuffer)
{
    AACHEAD_SELF(h);
    return self->QueueBuffer(kInputPort, pBuffer);
}

OMX_ERRORTYPE OMX_APIENTRY EntryFillThisBuffer(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE* pBuffer)
{
    AACHEAD_SELF(h);
    return self->QueueBuffer(kOutputPort, pBuffer);
}

OMX_ERRORTYPE OMX_APIENTRY EntrySetCallbacks(OMX_HANDLETYPE h, OMX_CALLBACKTYPE* pCallbacks, OMX_PTR pAppData)
{
    AACHEAD_SELF(h);
    return self->SetCallbacks(pCallbacks, pAppData);
}

OMX_ERRORTYPE OMX_APIENTRY EntryComponentDeInit(OMX_HANDLETYPE h)
{
    AACHEAD_SELF(h);
    delete self;
    static_cast<OMX_COMPONENTTYPE*>(h)->pComponentPrivate = nullptr;
    return OMX_ErrorNone;
}

OMX_ERRORTYPE OMX_APIENTRY EntryUseEGLImage(OMX_HANDLETYPE h, OMX_BUFFERHEADERTYPE**, OMX_U32, OMX_PTR, void*)
{
    AACHEAD_SELF(h);
    return OMX_ErrorNotImplemented;
}

OMX_ERRORTYPE OMX_APIENTRY EntryComponentRoleEnum(OMX_HANDLETYPE h, OMX_U8* cRole, OMX_U32 nIndex)
{
    AACHEAD_SELF(h);
    if (!cRole) return OMX_ErrorBadParameter;
    if (nIndex != 0) return OMX_ErrorNoMore;
    std::snprintf(reinterpret_cast<char*>(cRole), OMX_MAX_STRINGNAME_SIZE, "%s", "audio_parser.aac");
    return OMX_ErrorNone;
}

}  // namespace

OMX_ERRORTYPE CreateAacHeadComponent(OMX_COMPONENTTYPE* pHandle, OMX_PTR pAppData, const OMX_CALLBACKTYPE* pCallbacks)
{
    if (!pHandle || !pCallbacks) return OMX_ErrorBadParameter;
    AacHeadComponent* self = new (std::nothrow) AacHeadComponent(pHandle, pAppData, *pCallbacks);
    if (!self) return OMX_ErrorInsufficientResources;
    pHandle->pComponentPrivate = self;
    pHandle->GetComponentVersion = EntryGetComponentVersion;
    pHandle->SendCommand = EntrySendCommand;
    pHandle->GetParameter = EntryGetParameter;
    pHandle->SetParameter = EntrySetParameter;
    pHandle->GetConfig = EntryConfig;
    pHandle->SetConfig = EntryConfig;
    pHandle->GetExtensionIndex = EntryGetExtensionIndex;
    pHandle->GetState = EntryGetState;
    pHandle->ComponentTunnelRequest = EntryTunnelRequest;
    pHandle->UseBuffer = EntryUseBuffer;
    pHandle->AllocateBuffer = EntryAllocateBuffer;
    pHandle->FreeBuffer = EntryFreeBuffer;
    pHandle->EmptyThisBuffer = EntryEmptyThisBuffer;
    pHandle->FillThisBuffer = EntryFillThisBuffer;
    pHandle->SetCallbacks = EntrySetCallbacks;
    pHandle->ComponentDeInit = EntryComponentDeInit;
    pHandle->UseEGLImage = EntryUseEGLImage;
    pHandle->ComponentRoleEnum = EntryComponentRoleEnum;
    if (!self->Start()) {
        delete self;
        pHandle->pComponentPrivate = nullptr;
        return OMX_ErrorInsufficientResources;
    }
    return OMX_ErrorNone;
}

}  // namespace omxplatform
