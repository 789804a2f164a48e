// One file of "3gpdemux scan", in a child process of its own: the filter's
// verdict as info gives it, a play to end-of-stream as samples makes it
// (sinks that count), and, asked for, ffprobe's view of the same tracks.
// Prints one JSON object; the parent adds what only it can see (time-outs,
// signals).
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "commands.h"
#include "session.h"
#include "pinfacts.h"
#include "scan.h"
#include "streamformat.h"
#include "textformat.h"

namespace {

using Json = nlohmann::ordered_json;

uint64_t BigEndian(const BYTE* p, int cb)
{
    uint64_t value = 0;
    for (int i = 0; i < cb; ++i) value = value << 8 | p[i];
    return value;
}

// Why a file the filter refused cannot be played, from its top-level boxes;
// "" when they are whole and complete.
std::string ExplainRefusal(const std::string& path)
{
    FileByteSource source(path);
    const LONGLONG llLength = source.Length();
    bool bMovie = false, bData = false;
    for (LONGLONG llPos = 0; llPos + 8 <= llLength;) {
        BYTE header[16];
        if (source.Read(llPos, 8, header) != S_OK) break;
        uint64_t cbBox = BigEndian(header, 4);
        const std::string type(reinterpret_cast<const char*>(header) + 4, 4);
        uint64_t cbHeader = 8;
        if (cbBox == 1) {
            if (llPos + 16 > llLength || source.Read(llPos + 8, 8, header + 8) != S_OK) break;
            cbBox = BigEndian(header + 8, 8);
            cbHeader = 16;
        } else if (cbBox == 0) {
            cbBox = static_cast<uint64_t>(llLength - llPos);
        }
        if (cbBox < cbHeader)
            return "the top-level box at offset " + std::to_string(llPos) + " declares an impossible size";
        if (cbBox > static_cast<uint64_t>(llLength - llPos))
            return "the file is cut short: its '" + type + "' box at offset " + std::to_string(llPos) + " declares " +
                   std::to_string(cbBox) + " bytes, " + std::to_string(llLength - llPos) + " are there";
        bMovie = bMovie || type == "moov";
        bData = bData || type == "mdat";
        llPos += static_cast<LONGLONG>(cbBox);
    }
    if (!bMovie) return "there is no movie box ('moov')";
    if (!bData) return "there is no media data box ('mdat'): the samples lie outside the file";
    return "";
}

// ffprobe's sample count and duration of the first stream of each kind, set
// against the pins'; null when ffprobe is not installed or cannot read the file.
// Edit lists are ignored: the pins report the track's whole media, as stored.
Json CompareWithFfprobe(const std::string& path, const Json& pins)
{
    // The packets ffprobe reads, not the frame count of the stream's header,
    // which leaves out a fragmented file's movie fragments.
    std::string command = "ffprobe -v error -ignore_editlist 1 -count_packets -show_entries "
                          "stream=codec_type,codec_name,nb_read_packets,duration_ts,time_base "
                          "-of json " + ShellQuoted(path) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return nullptr;
    std::string out;
    char buffer[4096];
    for (size_t cb; (cb = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;) out.append(buffer, cb);
    if (pclose(pipe) != 0) return nullptr;
    Json probe = Json::parse(out, nullptr, false);
    if (probe.is_discarded() || !probe.contains("streams")) return nullptr;
    Json disagreements = Json::array();
    for (const Json& pin : pins) {
        const Json* pStream = nullptr;
        for (const Json& stream : probe["streams"]) {
            if (stream.value("codec_type", "") == pin["kind"]) {
                pStream = &stream;
                break;
            }
        }
        const std::string kind = pin["kind"];
        if (!pStream) {
            disagreements.push_back(kind + ": ffprobe sees no such stream");
            continue;
        }
        const long long llFrames = std::atoll(pStream->value("nb_read_packets", "-1").c_str());
        if (llFrames != pin["samples"].get<long long>())
            disagreements.push_back(kind + ": " + std::to_string(pin["samples"].get<long long>()) +
                                    " samples, ffprobe " + std::to_string(llFrames));
        long long llNum = 0, llDen = 0;
        const std::string timeBase = pStream->value("time_base", "");
        const long long llTicks = pStream->value("duration_ts", -1LL);
        // A duration of 0 is a header that does not say (the filter then sums the samples').
        if (std::sscanf(timeBase.c_str(), "%lld/%lld", &llNum, &llDen) == 2 && llDen > 0 && llTicks > 0) {
            const long long llDuration = static_cast<long long>(static_cast<double>(llTicks) * llNum * 1e7 / llDen);
            const long long llOurs = pin["duration"].get<long long>();
            if (std::llabs(llDuration - llOurs) > 10000)  // 1 ms: rounding of either side
                disagreements.push_back(kind + ": duration " + std::to_string(llOurs) + ", ffprobe " +
                                        std::to_string(llDuration) + " (100-ns units)");
        }
    }
    return disagreements;
}

// Test-only faults, DEMUX_SCAN_TEST_FAULT=KIND:NAME[,KIND:NAME...]: the file
// whose path ends in NAME crashes its child (crash) or is read so slowly,
// through the host source's read delay, that it hangs (hang).
std::string TestFault(const std::string& path)
{
    const char* pszFaults = std::getenv("DEMUX_SCAN_TEST_FAULT");
    for (std::string faults = pszFaults ? pszFaults : ""; !faults.empty();) {
        const size_t comma = std::min(faults.find(','), faults.size());
        const std::string fault = faults.substr(0, comma);
        faults.erase(0, comma + 1);
        const size_t colon = fault.find(':');
        const std::string name = colon == std::string::npos ? "" : fault.substr(colon + 1);
        if (!name.empty() && path.size() >= name.size() &&
            path.compare(path.size() - name.size(), name.size(), name) == 0)
            return fault.substr(0, colon);
    }
    return "";
}

}  // namespace

int RunScanFile(const std::string& path, bool bFfprobe)
{
    const auto tStart = std::chrono::steady_clock::now();
    const std::string fault = TestFault(path);
    if (fault == "crash") std::raise(SIGSEGV);
    Json result{{"path", path}, {"verdict", "failed"}, {"hr", nullptr}, {"hr_name", nullptr}, {"reason", ""},
                {"seconds", 0.0}, {"pins", Json::array()}, {"stream_errors", Json::array()}};
    auto finish = [&](const char* pszVerdict, HRESULT hr, const std::string& reason) {
        result["verdict"] = pszVerdict;
        result["hr"] = HresultText(hr);
        result["hr_name"] = HresultName(hr);
        result["reason"] = reason;
        result["seconds"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
        std::printf("%s\n", result.dump().c_str());
        return kExitOk;
    };
    if (!CheckReadableFile(path)) return finish("failed", E_ACCESSDENIED, "the file cannot be read");
    CToolSession session;
    std::string error;
    HRESULT hr = session.CreateFilter(&error);
    if (FAILED(hr)) return finish("failed", hr, error);
    hr = session.OpenFile(path, &error);
    if (FAILED(hr)) {
        std::string why = ExplainRefusal(path);
        return finish("refused", hr, "the filter refused the file (" + HresultName(hr) + "): " +
                                         (why.empty() ? "no track it plays, or a table it cannot use" : why));
    }
    SinkOptions options;
    options.bRecordSamples = false;
    hr = session.ConnectSinks(options, &error);
    if (FAILED(hr)) return finish("failed", hr, error);
    if (fault == "hang") session.Source()->SetReadDelay(3600 * 1000);
    hr = session.Play();
    if (FAILED(hr)) return finish("failed", hr, "the graph did not run");
    // The parent's time-out bounds the wait.
    const bool bEnded = session.WaitForEndOfStreams(24 * 3600 * 1000);
    session.Graph()->Stop();
    for (size_t i = 0; i < session.OutputPinCount(); ++i) {
        PinFacts pin = DescribePin(session, i);
        result["pins"].push_back(Json{{"kind", pin.kind},
                                      {"codec", StreamFileFor(pin.subtype).pszCodec},
                                      {"samples", pin.samples},
                                      {"duration", pin.trackDuration},
                                      {"media_samples", session.Sink(i)->SamplesReceived()},
                                      {"bytes", session.Sink(i)->BytesReceived()}});
    }
    HRESULT hrFirst = S_OK;
    for (const CHostGraph::Event& event : session.Graph()->Events()) {
        if (event.lCode != EC_STREAM_ERROR_STOPPED) continue;
        const HRESULT hrStream = static_cast<HRESULT>(event.lParam1);
        if (SUCCEEDED(hrFirst)) hrFirst = hrStream;
        result["stream_errors"].push_back(HresultWithName(hrStream));
    }
    if (bFfprobe) result["ffprobe"] = CompareWithFfprobe(path, result["pins"]);
    if (!bEnded) return finish("failed", E_FAIL, "no end-of-stream");
    if (FAILED(hrFirst))
        return finish("failed", hrFirst, "the filter stopped a stream while playing (" + HresultName(hrFirst) + ")");
    return finish("accepted", S_OK, "played to end-of-stream");
}
