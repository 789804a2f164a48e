// Out of memory at every allocation of the module. For a fixture, the
// module's allocations (lib3gpDemux.so loaded as a device loads it) are
// counted over one cycle: class object, filter, joining a graph, the input
// and output connections, a whole play and Stop. The cycle is then repeated
// once for every n with the n-th of those allocations failing. Each run must
// end in a result the filter promises, never a crash, hang or leak:
// - creation or connection refused (E_OUTOFMEMORY, or VFW_E_TYPE_NOT_ACCEPTED
//   for a movie that could not be built);
// - a connection with fewer output pins (a track that could not be built is
//   skipped), each offering the type the pin offers with memory to spare;
// - on each connected pin, the samples of the clean play with at most one
//   stretch left out, then one end-of-stream by Stop at the latest; no event
//   but EC_STREAM_ERROR_STOPPED with E_OUTOFMEMORY; a pin whose worker thread
//   was reported as not created delivers nothing at all.
// Afterwards the module can unload and every stand-in count (task memory,
// page memory, kernel handles, allocators) is back where it was; the ASan
// build adds its leak and use-after-free checks.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "3gpDemux.h"
#include "comtesthooks.h"
#include "debugcapture.h"
#include "fixturefacts.h"
#include "onegap.h"
#include "demuxgraph.h"
#include "mediatype.h"
#include "testhooks.h"

namespace {

const char kThreadNotCreated[] = "ERROR[Demux] Failed to create work thread.";

// The source's type given in full, so that the connection is tried once: a
// partly given type would let the graph try again with the next candidate,
// and a second parse would hide the first one's failure.
const AM_MEDIA_TYPE& StreamType()
{
    static const GUID kFormatNone = {0x0F6417D6, 0xC318, 0x11D0, {0xA4, 0x3F, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
    static AM_MEDIA_TYPE mt = {MEDIATYPE_Stream, MEDIASUBTYPE_None, TRUE, FALSE, 1, kFormatNone, nullptr, 0, nullptr};
    return mt;
}

// The module as a device loads it. Never unloaded: the leak checker needs
// its symbols to name what it finds at exit.
class LoadedModule {
public:
    static LoadedModule& Get()
    {
        static LoadedModule module;
        return module;
    }
    bool Loaded() const { return m_pfnGetClassObject && m_pfnCanUnloadNow; }
    HRESULT GetClassObject(IClassFactory** ppFactory)
    {
        return m_pfnGetClassObject(CLSID_DemuxFilter, IID_IClassFactory, reinterpret_cast<void**>(ppFactory));
    }
    HRESULT CanUnloadNow() { return m_pfnCanUnloadNow(); }
    const void* AnyCode() const { return reinterpret_cast<const void*>(m_pfnGetClassObject); }

private:
    typedef HRESULT(STDAPICALLTYPE* PFNGETCLASSOBJECT)(REFCLSID, REFIID, void**);
    typedef HRESULT(STDAPICALLTYPE* PFNCANUNLOADNOW)();
    LoadedModule()
    {
        void* pModule = dlopen(DEMUX_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        if (!pModule) return;
        m_pfnGetClassObject = reinterpret_cast<PFNGETCLASSOBJECT>(dlsym(pModule, "DllGetClassObject"));
        m_pfnCanUnloadNow = reinterpret_cast<PFNCANUNLOADNOW>(dlsym(pModule, "DllCanUnloadNow"));
    }
    PFNGETCLASSOBJECT m_pfnGetClassObject = nullptr;
    PFNCANUNLOADNOW m_pfnCanUnloadNow = nullptr;
};

struct PinResult {
    GUID majortype = GUID_NULL;
    GUID subtype = GUID_NULL;
    std::vector<uint8_t> format;
    HRESULT hrConnect = E_FAIL;
    std::vector<uint64_t> hashes;
    long lEndOfStreams = 0;
};

// The steps before the output connections, in order; each runs only if the
// one before it succeeded.
enum Step { kClassObject, kCreate, kJoin, kConnect, kEnumPins, kSteps };

struct CycleResult {
    HRESULT hrSteps[kSteps] = {E_FAIL, E_FAIL, E_FAIL, E_FAIL, E_FAIL};
    HRESULT hrPause = E_FAIL;
    std::vector<PinResult> pins;
    // get_Title and get_AuthorName: result and text.
    HRESULT hrStrings[2] = {E_FAIL, E_FAIL};
    std::string strings[2];
    long lOutOfMemoryEvents = 0;
    long lOtherEvents = 0;
    long lThreadsNotCreated = 0;
    long lCounted = 0;
    bool bFailureHit = false;
    std::string failedKind;
};

long Occurrences(const std::string& text, const char* pszNeedle)
{
    long n = 0;
    for (size_t pos = text.find(pszNeedle); pos != std::string::npos; pos = text.find(pszNeedle, pos + 1)) ++n;
    return n;
}

// Whether every connected pin has ended its stream or has a reason not to.
bool Settled(const std::vector<CRecordingSink*>& sinks, CHostGraph* pGraph, const DebugCapture& capture)
{
    long lPending = 0;
    for (CRecordingSink* pSink : sinks) {
        if (pSink->EndOfStreamCount() == 0) ++lPending;
    }
    long lExplained = 0;
    for (const CHostGraph::Event& e : pGraph->Events()) {
        if (e.lCode == EC_STREAM_ERROR_STOPPED) ++lExplained;
    }
    return lPending <= lExplained + Occurrences(capture.Text(), kThreadNotCreated);
}

void ReadStrings(IBaseFilter* pDemux, CycleResult* pResult)
{
    IAMMediaContent* pContent = nullptr;
    if (FAILED(pDemux->QueryInterface(IID_IAMMediaContent, reinterpret_cast<void**>(&pContent)))) return;
    for (int i = 0; i < 2; ++i) {
        BSTR bstr = nullptr;
        pResult->hrStrings[i] = i == 0 ? pContent->get_Title(&bstr) : pContent->get_AuthorName(&bstr);
        if (SUCCEEDED(pResult->hrStrings[i])) pResult->strings[i] = ToUtf8(bstr);
        SysFreeString(bstr);
    }
    pContent->Release();
}

// The steps before the output connections, up to the pins' enumeration.
void OpenUpToPins(CHostDemuxGraph& graph, CHostAsyncSource* pSource, CycleResult* pResult)
{
    IClassFactory* pFactory = nullptr;
    HRESULT* hr = pResult->hrSteps;
    hr[kClassObject] = LoadedModule::Get().GetClassObject(&pFactory);
    if (FAILED(hr[kClassObject])) return;
    IBaseFilter* pDemux = nullptr;
    hr[kCreate] = pFactory->CreateInstance(nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&pDemux));
    pFactory->Release();
    if (FAILED(hr[kCreate])) return;
    hr[kJoin] = graph.SetFilter(pDemux);
    pDemux->Release();
    if (FAILED(hr[kJoin])) return;
    // The source is added here rather than by the driver, to connect it with its type given in full.
    graph.Graph()->AddFilter(pSource, L"source");
    IPin* pInput = nullptr;
    pDemux->FindPin(L"Input", &pInput);
    hr[kConnect] = graph.Graph()->ConnectDirect(pSource->OutputPin(), pInput, &StreamType());
    pInput->Release();
    if (FAILED(hr[kConnect])) return;
    ReadStrings(pDemux, pResult);
    IEnumPins* pEnum = nullptr;
    hr[kEnumPins] = pDemux->EnumPins(&pEnum);
    if (SUCCEEDED(hr[kEnumPins])) pEnum->Release();
}

// One cycle with the n-th counted allocation failing (0: none fails).
// Everything up to Stop runs armed; the teardown runs disarmed, so that it
// can always take the graph apart and the counts can be checked.
CycleResult RunCycle(const std::string& fixture, long nFail)
{
    CycleResult result;
    DebugCapture capture;
    CHostAsyncSource* pSource = CHostAsyncSource::CreateFromFile(FixturePath(fixture));
    CHostDemuxGraph graph;

    platformtest::ArmAllocationFailure(nFail);
    OpenUpToPins(graph, pSource, &result);
    HRESULT hrSinks = S_OK;
    if (SUCCEEDED(result.hrSteps[kEnumPins])) hrSinks = graph.ConnectSinks();
    // The driver stops at the first pin that does not connect; the pins before it are connected.
    std::vector<CRecordingSink*> sinks;
    for (size_t i = 0; i < graph.SinkCount(); ++i) {
        PinResult pin;
        pin.hrConnect = i + 1 == graph.SinkCount() ? hrSinks : S_OK;
        if (SUCCEEDED(pin.hrConnect)) {
            CRecordingSink* pSink = graph.Sink(i);
            AM_MEDIA_TYPE mt;
            pSink->InputPin()->ConnectionMediaType(&mt);
            pin.majortype = mt.majortype;
            pin.subtype = mt.subtype;
            pin.format.assign(mt.pbFormat, mt.pbFormat + mt.cbFormat);
            FreeMediaType(mt);
            sinks.push_back(pSink);
        }
        result.pins.push_back(pin);
    }
    if (!sinks.empty()) {
        // Downstream first, as a graph does; driven here so that the order
        // never depends on the module's pin enumeration, which may fail.
        IBaseFilter* pDemux = graph.Filter();
        for (CRecordingSink* pSink : sinks) pSink->Pause();
        result.hrPause = pDemux->Pause();
        for (CRecordingSink* pSink : sinks) pSink->Run(0);
        if (SUCCEEDED(result.hrPause)) pDemux->Run(0);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!Settled(sinks, graph.Graph(), capture) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        for (CRecordingSink* pSink : sinks) pSink->Stop();
        pDemux->Stop();
    }
    result.lCounted = platformtest::DisarmAllocationFailure();
    result.bFailureHit = platformtest::AllocationFailureHit();
    result.failedKind = platformtest::FailedAllocationKind();

    for (size_t i = 0; i < sinks.size(); ++i) {
        PinResult& pin = result.pins[i];
        for (const SampleRecord& s : sinks[i]->Samples()) pin.hashes.push_back(s.hash);
        pin.lEndOfStreams = sinks[i]->EndOfStreamCount();
    }
    if (graph.Graph()) {
        for (const CHostGraph::Event& e : graph.Graph()->Events()) {
            if (e.lCode == EC_STREAM_ERROR_STOPPED && e.lParam1 == static_cast<LONG_PTR>(E_OUTOFMEMORY)) {
                ++result.lOutOfMemoryEvents;
            } else {
                ++result.lOtherEvents;
            }
        }
    }
    result.lThreadsNotCreated = Occurrences(capture.Text(), kThreadNotCreated);

    EXPECT_TRUE(graph.TearDown()) << "an object of the graph kept a reference";
    EXPECT_EQ(0u, pSource->Release());
    return result;
}

// A type the pin offers when memory runs short must be the type it offers
// otherwise, with two exceptions the filter allows itself: an AAC type whose
// detection could not run keeps its flags open (0xFF), and an AMR type whose
// two-byte block could not be stored goes without it.
bool SameTypeOrDegradedAsAllowed(const PinResult& got, const PinResult& clean)
{
    if (got.majortype != clean.majortype || got.subtype != clean.subtype) return false;
    if (got.format.empty() && (got.subtype == MEDIASUBTYPE_AMR_NB || got.subtype == MEDIASUBTYPE_AMR_WB)) return true;
    if (got.subtype != MEDIASUBTYPE_MPEG4_AAC) return got.format == clean.format;
    if (got.format.size() != clean.format.size()) return false;
    for (size_t i = 0; i < got.format.size(); ++i) {
        if (got.format[i] != clean.format[i] && got.format[i] != 0xFF) return false;
    }
    return true;
}

const PinResult* CleanPinOfType(const CycleResult& clean, const PinResult& pin)
{
    for (const PinResult& c : clean.pins) {
        if (c.majortype == pin.majortype) return &c;
    }
    return nullptr;
}

struct Baseline {
    long lTaskMem = platformtest::CoTaskMemLiveBlocks();
    long lHandles = platformtest::LiveKernelHandles();
    long lPages = platformtest::GetVirtualAllocStats().liveBlocks;
    long lAllocators = platformtest::LiveMemAllocators();
};

// Every count is back where it was: nothing the module made is still alive.
void ExpectNothingLeft(const Baseline& before, const std::string& where)
{
    EXPECT_EQ(S_OK, LoadedModule::Get().CanUnloadNow()) << where << ": a module object is still alive";
    EXPECT_EQ(before.lTaskMem, platformtest::CoTaskMemLiveBlocks()) << where;
    EXPECT_EQ(before.lHandles, platformtest::LiveKernelHandles()) << where;
    EXPECT_EQ(before.lPages, platformtest::GetVirtualAllocStats().liveBlocks) << where;
    EXPECT_EQ(before.lAllocators, platformtest::LiveMemAllocators()) << where;
}

void CheckFailedCycle(const CycleResult& run, const CycleResult& clean, const std::string& where)
{
    EXPECT_EQ(0, run.lOtherEvents) << where << ": only out-of-memory is reported";
    // A step fails only for want of memory, or refuses a movie that could
    // not be built; the steps after it do not run.
    for (int i = 0; i < kSteps; ++i) {
        const HRESULT hr = run.hrSteps[i];
        if (FAILED(hr)) {
            EXPECT_TRUE(hr == E_OUTOFMEMORY || (i == kConnect && hr == VFW_E_TYPE_NOT_ACCEPTED))
                << where << " step " << i << std::hex << ": 0x" << hr;
            return;
        }
    }
    // A string is the clean play's, or missing (its metadata could not be
    // kept), or could not be handed out.
    for (int i = 0; i < 2; ++i) {
        if (run.hrStrings[i] == S_OK) {
            EXPECT_EQ(clean.strings[i], run.strings[i]) << where;
        } else {
            EXPECT_TRUE(run.hrStrings[i] == VFW_E_NOT_FOUND || run.hrStrings[i] == E_OUTOFMEMORY) << where;
        }
    }
    // A pin is offered only with what its worker needs; only the thread
    // itself, made at Pause, can still be missing.
    if (run.lThreadsNotCreated > 0) {
        EXPECT_EQ("CreateThread", run.failedKind) << where;
    }
    ASSERT_LE(run.pins.size(), clean.pins.size()) << where;
    bool bAnyConnected = false;
    for (const PinResult& pin : run.pins) bAnyConnected = bAnyConnected || SUCCEEDED(pin.hrConnect);
    // A worker that cannot start does not fail the pause.
    if (bAnyConnected) {
        EXPECT_EQ(S_OK, run.hrPause) << where;
    }
    for (const PinResult& pin : run.pins) {
        if (FAILED(pin.hrConnect)) {
            // VFW_E_NOT_FOUND: the driver's look-up found no pin, its enumerator having had no memory.
            EXPECT_TRUE(pin.hrConnect == E_OUTOFMEMORY || pin.hrConnect == VFW_E_NOT_FOUND) << where;
            continue;
        }
        const PinResult* pClean = CleanPinOfType(clean, pin);
        ASSERT_NE(nullptr, pClean) << where << ": a pin the clean run does not have";
        EXPECT_TRUE(SameTypeOrDegradedAsAllowed(pin, *pClean)) << where << ": the pin's type changed";
        // One end-of-stream by Stop at the latest, unless no worker could be made.
        if (run.lThreadsNotCreated == 0) {
            EXPECT_EQ(1, pin.lEndOfStreams) << where;
        }
        EXPECT_LE(pin.lEndOfStreams, 1) << where;
        EXPECT_TRUE(IsCleanWithOneGap(pin.hashes, pClean->hashes))
            << where << ": the samples delivered are the clean play's, at most one stretch left out";
        if (pin.lEndOfStreams == 0) {
            EXPECT_TRUE(pin.hashes.empty()) << where;
        }
    }
}

void FailEveryAllocation(const std::string& fixture)
{
    LoadedModule& module = LoadedModule::Get();
    ASSERT_TRUE(module.Loaded()) << DEMUX_MODULE_PATH;
    ASSERT_TRUE(platformtest::CountAllocationsOf(module.AnyCode()));
    Baseline before;

    CycleResult clean = RunCycle(fixture, 0);
    ASSERT_EQ(S_OK, clean.hrSteps[kConnect]);
    ASSERT_FALSE(clean.pins.empty());
    for (const PinResult& pin : clean.pins) {
        ASSERT_EQ(S_OK, pin.hrConnect);
        ASSERT_FALSE(pin.hashes.empty());
        ASSERT_EQ(1, pin.lEndOfStreams);
    }
    ASSERT_EQ(0, clean.lOutOfMemoryEvents + clean.lOtherEvents);
    ExpectNothingLeft(before, fixture + " clean");
    const long nAllocations = clean.lCounted;
    ASSERT_GT(nAllocations, 10) << "the module's allocations were not counted";

    long nHit = 0;
    long nRefused = 0, nPinsLost = 0, nStreamErrors = 0, nNoWorker = 0;
    for (long n = 1; n <= nAllocations; ++n) {
        std::ostringstream where;
        CycleResult run = RunCycle(fixture, n);
        where << fixture << " allocation " << n << " of " << nAllocations << " (" << run.failedKind << ")";
        if (run.bFailureHit) ++nHit;
        if (std::any_of(run.hrSteps, run.hrSteps + kSteps, [](HRESULT hr) { return FAILED(hr); })) {
            ++nRefused;
        } else {
            long nConnected = 0;
            for (const PinResult& pin : run.pins) nConnected += SUCCEEDED(pin.hrConnect) ? 1 : 0;
            if (nConnected < static_cast<long>(clean.pins.size())) ++nPinsLost;
        }
        if (run.lOutOfMemoryEvents > 0) ++nStreamErrors;
        if (run.lThreadsNotCreated > 0) ++nNoWorker;
        CheckFailedCycle(run, clean, where.str());
        ExpectNothingLeft(before, where.str());
        if (testing::Test::HasFailure()) break;
    }
    // The cycle allocates the same way each time: every n found its allocation.
    EXPECT_EQ(nAllocations, nHit) << fixture;
    std::printf("%s: %ld allocations; refused %ld, a pin lost %ld, stream error %ld, no worker %ld\n",
                fixture.c_str(), nAllocations, nRefused, nPinsLost, nStreamErrors, nNoWorker);
}

}  // namespace

// Every fixture: the three delivery loops, AAC type detection, the item
// list and 3GPP asset metadata, edit lists and both time-table layouts.
TEST(DemuxOutOfMemory, EveryAllocationOfEachFixturesConnectionAndPlay)
{
    for (const std::string& fixture : ListFixtures()) {
        SCOPED_TRACE(fixture);
        FailEveryAllocation(fixture);
        if (HasFailure()) return;
    }
}
