// A COM client that knows the demultiplexer only by its class identifier:
// it attaches the registry file given on the command line ("-": the one the
// environment names in DEMUX_REGISTRY_FILE), creates the
// filter with CoCreateInstance (which loads the module the registry names),
// looks at it, releases it and lets CoFreeUnusedLibraries unload the module.
// Given a movie and the samples each kind of output pin should deliver
// ("video=N", "audio=N"), it first plays the movie through the host graph:
// a file source into the filter, a recording sink on every output pin.
// Prints one line per step; exit status 0 when every step went as expected.
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "3gpDemux.h"
#include "comtesthooks.h"
#include "demuxgraph.h"
#include "hostregistry.h"
#include "mediatype.h"
#include "win32.h"

namespace {

bool Check(bool bOk, const char* pszStep, HRESULT hr = S_OK)
{
    printf("%s %s (0x%08X)\n", bOk ? "ok" : "FAILED", pszStep, static_cast<unsigned>(hr));
    return bOk;
}

std::string ModulePath()
{
    WCHAR szKey[64] = L"CLSID\\";
    StringFromGUID2(CLSID_DemuxFilter, szKey + 6, CHARS_IN_GUID);
    StringCchCatW(szKey, 64, L"\\InprocServer32");
    HKEY hKey = nullptr;
    WCHAR szPath[1024] = {0};
    DWORD cb = sizeof(szPath) - sizeof(WCHAR);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, szKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
        return std::string();
    }
    RegQueryValueExW(hKey, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(szPath), &cb);
    RegCloseKey(hKey);
    char szUtf8[4096];
    WideCharToMultiByte(CP_UTF8, 0, szPath, -1, szUtf8, sizeof(szUtf8), nullptr, nullptr);
    return szUtf8;
}

bool IsMapped(const std::string& path)
{
    void* pHandle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (pHandle) dlclose(pHandle);
    return pHandle != nullptr;
}

bool UseFilter(IBaseFilter* pFilter)
{
    CLSID clsid = GUID_NULL;
    HRESULT hr = pFilter->GetClassID(&clsid);
    bool bOk = Check(SUCCEEDED(hr) && IsEqualCLSID(clsid, CLSID_DemuxFilter), "GetClassID", hr);
    IPin* pPin = nullptr;
    hr = pFilter->FindPin(L"Input", &pPin);
    bOk = Check(hr == S_OK && pPin, "FindPin Input", hr) && bOk;
    if (pPin) pPin->Release();
    return bOk;
}

// Samples expected per kind of output pin.
typedef std::map<std::string, long> PinCounts;

bool ParseCounts(int argc, char** argv, PinCounts* pCounts)
{
    for (int i = 0; i < argc; ++i) {
        std::string arg = argv[i];
        size_t equals = arg.find('=');
        char* pszEnd = nullptr;
        long lCount = equals == std::string::npos ? -1 : strtol(arg.c_str() + equals + 1, &pszEnd, 10);
        if (lCount < 0 || *pszEnd != '\0') return false;
        (*pCounts)[arg.substr(0, equals)] = lCount;
    }
    return true;
}

// Plays the movie to end-of-stream on every output pin and compares what
// each sink received with the expected counts; the graph holds the filter
// only while it plays.
bool PlayMovie(IBaseFilter* pFilter, const char* pszPath, const PinCounts& expected)
{
    CHostDemuxGraph graph;
    HRESULT hr = graph.SetFilter(pFilter);
    bool bOk = Check(SUCCEEDED(hr), "graph", hr);
    if (bOk) {
        hr = graph.OpenFile(pszPath);
        bOk = Check(SUCCEEDED(hr), "connect the movie to the filter", hr);
    }
    if (bOk) {
        hr = graph.ConnectSinks();
        bOk = Check(SUCCEEDED(hr), "connect a sink to each output pin", hr);
    }
    std::vector<std::string> kinds;
    for (size_t i = 0; i < graph.SinkCount(); ++i) {
        CMediaType mt;
        graph.OutputPin(i)->ConnectionMediaType(&mt);
        kinds.push_back(IsEqualGUID(mt.majortype, MEDIATYPE_Video) ? "video" : "audio");
    }
    if (bOk) {
        hr = graph.Play();
        bOk = Check(SUCCEEDED(hr), "Pause and Run", hr);
        for (size_t i = 0; bOk && i < kinds.size(); ++i) {
            bOk = Check(graph.Sink(i)->WaitForEndOfStream(1, 30000), ("end-of-stream on the " + kinds[i] + " pin").c_str());
        }
        hr = graph.Stop();
        bOk = Check(SUCCEEDED(hr), "Stop", hr) && bOk;
    }
    PinCounts received;
    for (size_t i = 0; i < kinds.size(); ++i) {
        const CRecordingSink* pSink = graph.Sink(i);
        long lSamples = static_cast<long>(pSink->SamplesReceived());
        printf("%s pin: %ld samples, %ld end-of-stream\n", kinds[i].c_str(), lSamples, pSink->EndOfStreamCount());
        bOk = Check(pSink->EndOfStreamCount() == 1, "one end-of-stream") && bOk;
        received[kinds[i]] = lSamples;
    }
    for (PinCounts::const_iterator it = expected.begin(); it != expected.end(); ++it) {
        printf("expected on the %s pin: %ld samples\n", it->first.c_str(), it->second);
    }
    bOk = Check(kinds.size() == expected.size() && received == expected, "each pin delivered the expected samples") &&
          bOk;
    // The filter stays: the caller holds it.
    graph.TearDown();
    return bOk;
}

}  // namespace

int main(int argc, char** argv)
{
    PinCounts expected;
    if (argc < 2 || argc == 3 || (argc > 3 && !ParseCounts(argc - 3, argv + 3, &expected))) {
        fprintf(stderr, "usage: %s REGISTRY-FILE|- [MOVIE KIND=SAMPLES...]\n", argv[0]);
        return 2;
    }
    if (std::string(argv[1]) != "-") {
        if (!Check(platformhost::UseRegistryFile(argv[1]) == ERROR_SUCCESS, "registry file")) return 1;
    }
    std::string modulePath = ModulePath();
    if (!Check(!modulePath.empty(), "module registered")) return 1;
    bool bOk = Check(!IsMapped(modulePath), "module not loaded before creation");

    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bOk = Check(hr == S_OK, "CoInitializeEx", hr) && bOk;
    IBaseFilter* pFilter = nullptr;
    hr = CoCreateInstance(CLSID_DemuxFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          reinterpret_cast<void**>(&pFilter));
    if (!Check(hr == S_OK && pFilter, "CoCreateInstance", hr)) return 1;
    bOk = Check(IsMapped(modulePath) && platformtest::LoadedComServers() == 1, "module loaded") && bOk;
    bOk = UseFilter(pFilter) && bOk;
    if (argc > 2) bOk = PlayMovie(pFilter, argv[2], expected) && bOk;

    // Still in use: the module must stay.
    CoFreeUnusedLibraries();
    bOk = Check(platformtest::LoadedComServers() == 1, "module kept while the filter lives") && bOk;
    ULONG cRef = pFilter->Release();
    bOk = Check(cRef == 0, "last Release returns 0", static_cast<HRESULT>(cRef)) && bOk;
    CoFreeUnusedLibraries();
    bOk = Check(platformtest::LoadedComServers() == 0 && !IsMapped(modulePath), "module unloaded") && bOk;
    CoUninitialize();
    return bOk ? 0 : 1;
}
