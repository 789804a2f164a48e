// "3gpdemux samples FILE [--start T] [--stop T] [--seek-at N:T]": plays the
// file to end-of-stream and prints, one JSON object a line, everything the
// sinks received (segments, samples, end-of-stream, flushes) and the
// graph's events, in the order they arrived.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>

#include "commands.h"
#include "demuxsession.h"
#include "pinfacts.h"
#include "textformat.h"

namespace {

using Json = nlohmann::ordered_json;

const char kUsage[] =
    "usage: 3gpdemux samples FILE [--start T] [--stop T] [--seek-at N:T]\n"
    "Plays FILE to end-of-stream through a recording sink on each output pin and prints one\n"
    "JSON object a line, in arrival order:\n"
    "  {\"pin\":P,\"event\":\"segment\",\"start\":..,\"stop\":..,\"rate\":..}\n"
    "  {\"pin\":P,\"event\":\"sample\",\"n\":..,\"start\":..,\"stop\":..,\"mstart\":..,\"mstop\":..,\n"
    "   \"sync\":..,\"discontinuity\":..,\"preroll\":..,\"size\":..,\"md5\":..}\n"
    "  {\"pin\":P,\"event\":\"eos\"}   {\"pin\":P,\"event\":\"flush\"}\n"
    "  {\"event\":\"error\",\"code\":6,\"hr\":..}   (other graph events: \"event\":\"graph\")\n"
    "P is the pin's kind (\"video\" or \"audio\"); n counts each pin's samples from 0; times are\n"
    "100-ns units, null when the sample carries none.\n"
    "  --start T, --stop T  positions set with SetPositions before the graph is paused\n"
    "  --seek-at N:T        each pin holds its N-th sample (as a paused renderer does) until\n"
    "                       the seek to T (absolute) is made, once every pin holds or has ended\n"
    "Exit status 2 when the filter refuses the file.\n";

struct Options {
    std::string path;
    std::optional<REFERENCE_TIME> start;
    std::optional<REFERENCE_TIME> stop;
    std::optional<size_t> seekAfter;
    REFERENCE_TIME seekTo = 0;
};

// False, with the problem on stderr, for arguments that do not fit.
bool ParseOptions(const std::vector<std::string>& args, Options* pOptions)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--start" || arg == "--stop" || arg == "--seek-at") {
            if (i + 1 >= args.size()) {
                PrintError(arg + " needs a value");
                return false;
            }
            const std::string& value = args[++i];
            long long llValue = 0;
            if (arg == "--seek-at") {
                size_t colon = value.find(':');
                long long llCount = 0;
                if (colon == std::string::npos || !ParseInteger(value.substr(0, colon), &llCount) || llCount < 1 ||
                    !ParseInteger(value.substr(colon + 1), &llValue)) {
                    PrintError("--seek-at wants N:T, a sample count from 1 and a time, not '" + value + "'");
                    return false;
                }
                pOptions->seekAfter = static_cast<size_t>(llCount);
                pOptions->seekTo = llValue;
            } else if (!ParseInteger(value, &llValue)) {
                PrintError(arg + " wants a time in 100-ns units, not '" + value + "'");
                return false;
            } else {
                (arg == "--start" ? pOptions->start : pOptions->stop) = llValue;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            PrintError("unknown option " + arg);
            return false;
        } else if (pOptions->path.empty()) {
            pOptions->path = arg;
        } else {
            PrintError("one FILE only");
            return false;
        }
    }
    if (pOptions->path.empty()) PrintError("no FILE given");
    return !pOptions->path.empty();
}

Json SampleJson(const std::string& pin, size_t n, const SampleRecord& sample)
{
    Json json{{"pin", pin}, {"event", "sample"}, {"n", n}};
    json["start"] = FAILED(sample.hrTime) ? Json(nullptr) : Json(sample.rtStart);
    json["stop"] = FAILED(sample.hrTime) || sample.hrTime == VFW_S_NO_STOP_TIME ? Json(nullptr) : Json(sample.rtStop);
    json["mstart"] = FAILED(sample.hrMediaTime) ? Json(nullptr) : Json(sample.llMediaStart);
    json["mstop"] = FAILED(sample.hrMediaTime) ? Json(nullptr) : Json(sample.llMediaStop);
    json["sync"] = sample.bSyncPoint;
    json["discontinuity"] = sample.bDiscontinuity;
    json["preroll"] = sample.bPreroll;
    json["size"] = sample.cbActual;
    json["md5"] = Md5Hex(sample.bytes.data(), sample.bytes.size());
    return json;
}

// Every record of the sinks and the graph as JSON lines, by arrival.
std::vector<std::pair<uint64_t, Json>> CollectRecords(const CDemuxSession& session)
{
    std::vector<std::pair<uint64_t, Json>> lines;
    for (size_t i = 0; i < session.SinkCount(); ++i) {
        const std::string pin = DescribePin(session, i).kind;
        std::vector<SampleRecord> samples = session.Sink(i)->Samples();
        for (const SinkEvent& event : session.Sink(i)->Events()) {
            Json json;
            switch (event.kind) {
            case SinkEvent::Sample:
                json = SampleJson(pin, event.nSample, samples[event.nSample]);
                break;
            case SinkEvent::NewSegment:
                json = Json{{"pin", pin}, {"event", "segment"}, {"start", event.rtStart}, {"stop", event.rtStop},
                            {"rate", event.dRate}};
                break;
            case SinkEvent::EndOfStream:
                json = Json{{"pin", pin}, {"event", "eos"}};
                break;
            case SinkEvent::BeginFlush:
                json = Json{{"pin", pin}, {"event", "flush"}};
                break;
            case SinkEvent::EndFlush:
                continue;
            }
            lines.emplace_back(event.nSequence, std::move(json));
        }
    }
    for (const CHostGraph::Event& event : session.Graph()->Events()) {
        Json json;
        if (event.lCode == EC_STREAM_ERROR_STOPPED) {
            json = Json{{"event", "error"}, {"code", event.lCode}, {"hr", HresultText(static_cast<HRESULT>(event.lParam1))}};
        } else {
            json = Json{{"event", "graph"}, {"code", event.lCode}, {"param1", event.lParam1}, {"param2", event.lParam2}};
        }
        lines.emplace_back(event.nSequence, std::move(json));
    }
    std::sort(lines.begin(), lines.end(),
              [](const std::pair<uint64_t, Json>& a, const std::pair<uint64_t, Json>& b) { return a.first < b.first; });
    return lines;
}

HRESULT SetStartStop(const CDemuxSession& session, const Options& options)
{
    IMediaSeeking* pSeeking = session.Seeking(0);
    if (!pSeeking) return E_NOINTERFACE;
    LONGLONG llStart = options.start.value_or(0);
    LONGLONG llStop = options.stop.value_or(0);
    HRESULT hr = pSeeking->SetPositions(&llStart, options.start ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning,
                                        &llStop, options.stop ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning);
    pSeeking->Release();
    return hr;
}

// Seeks from this (the control) thread once every pin holds its N-th sample
// or has ended, so the seek lands at the same point of the run however fast
// the machine is. The seek's flush releases the held samples.
void SeekWhenReached(const CDemuxSession& session, const Options& options)
{
    for (size_t i = 0; i < session.SinkCount(); ++i) {
        if (!session.Sink(i)->WaitForHeldOrEnded(60000)) {
            PrintError("a pin neither received " + std::to_string(*options.seekAfter) + " samples nor ended");
        }
    }
    IMediaSeeking* pSeeking = session.Seeking(0);
    LONGLONG llTo = options.seekTo;
    HRESULT hr = pSeeking ? pSeeking->SetPositions(&llTo, AM_SEEKING_AbsolutePositioning, nullptr,
                                                   AM_SEEKING_NoPositioning)
                          : E_NOINTERFACE;
    if (pSeeking) pSeeking->Release();
    if (FAILED(hr)) PrintError("the seek to " + std::to_string(llTo) + " failed: " + HresultWithName(hr));
}

}  // namespace

int RunSamples(const std::vector<std::string>& args)
{
    if (args.size() == 1 && IsHelp(args[0])) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    Options options;
    if (!ParseOptions(args, &options)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (!CheckReadableFile(options.path)) return kExitUsage;

    CDemuxSession session;
    std::string error;
    if (FAILED(session.CreateFilter(&error))) {
        PrintError(error);
        return kExitUsage;
    }
    if (FAILED(session.OpenFile(options.path, &error))) {
        PrintError(error);
        return kExitRefused;
    }
    SinkOptions sinkOptions;
    if (FAILED(session.ConnectSinks(sinkOptions, &error))) PrintError(error);
    if (options.start || options.stop) {
        HRESULT hr = SetStartStop(session, options);
        if (FAILED(hr)) PrintError("SetPositions failed: " + HresultWithName(hr));
    }
    if (options.seekAfter) {
        const long lHold = static_cast<long>(*options.seekAfter);
        for (size_t i = 0; i < session.SinkCount(); ++i) session.Sink(i)->HoldNthSample(lHold);
    }
    HRESULT hr = session.Play();
    if (FAILED(hr)) PrintError("the graph did not run: " + HresultWithName(hr));
    if (SUCCEEDED(hr) && options.seekAfter && session.SinkCount() > 0) SeekWhenReached(session, options);
    if (SUCCEEDED(hr) && !session.WaitForEndOfStreams(60000)) PrintError("timed out waiting for end-of-stream");
    session.Graph()->Stop();

    for (const auto& line : CollectRecords(session)) std::cout << line.second.dump() << '\n';
    std::cout.flush();
    return kExitOk;
}
