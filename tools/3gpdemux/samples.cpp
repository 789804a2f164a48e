// "3gpdemux samples FILE [--start T] [--stop T] [--seek-at N:T]": plays the
// file to end-of-stream and prints, one JSON object a line, everything the
// sinks receive (segments, samples, end-of-stream, flushes) as it arrives,
// and the graph's events as the tool sees them.
#include <chrono>
#include <filesystem>
#include <memory>
#include <cstdio>
#include <mutex>
#include <optional>

#include "commands.h"
#include "session.h"
#include "pinfacts.h"
#include "progresswatchdog.h"
#include "samplejson.h"
#include "textformat.h"

namespace {

const char kUsage[] =
    "usage: 3gpdemux samples FILE [--start T] [--stop T] [--seek-at N:T]\n"
    "Plays FILE to end-of-stream through a recording sink on each output pin and prints one\n"
    "JSON object a line as each arrives (the graph's events within a few milliseconds):\n"
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
    "Exit status 1 when the graph does not run, 2 when the filter refuses the file, 3 when\n"
    "nothing arrives for 30 s (the pins still waiting are named on stderr).\n";

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

// One sink event as its JSON line; empty for those not shown (end of flush).
std::string EventLine(const std::string& pin, const SinkEvent& event, const SampleRecord* pSample, const BYTE* pData)
{
    const size_t cb = pSample && pSample->cbActual > 0 && pData ? static_cast<size_t>(pSample->cbActual) : 0;
    return SinkEventJsonLine(pin, event, pSample, pSample ? Md5Hex(pData, cb) : std::string());
}

std::string GraphEventLine(const CHostGraph::Event& event)
{
    if (event.lCode == EC_STREAM_ERROR_STOPPED) return ErrorJsonLine(event.lCode, static_cast<HRESULT>(event.lParam1));
    return GraphEventJsonLine(event.lCode, event.lParam1, event.lParam2);
}

// Writes each line as it comes, from the pins' threads and the graph's
// events: nothing is kept, so memory does not grow with the file.
class CLinePrinter {
public:
    void Print(std::string line)
    {
        if (line.empty()) return;
        line += '\n';
        std::lock_guard<std::mutex> guard(m_lock);
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    // The graph's events not printed yet.
    void PrintNewGraphEvents(const CHostGraph* pGraph)
    {
        std::vector<CHostGraph::Event> events = pGraph->Events();
        for (; m_nGraphEvents < events.size(); ++m_nGraphEvents) Print(GraphEventLine(events[m_nGraphEvents]));
    }

private:
    std::mutex m_lock;
    size_t m_nGraphEvents = 0;
};

HRESULT SetStartStop(const CToolSession& session, const Options& options)
{
    return session.Seek(0, options.start.value_or(0),
                        options.start ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning,
                        options.stop.value_or(0), options.stop ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning);
}

// Seeks from this (the control) thread once every pin holds its N-th sample
// or has ended, so the seek lands at the same point of the run however fast
// the machine is. The seek's flush releases the held samples.
void SeekWhenReached(const CToolSession& session, const Options& options)
{
    for (size_t i = 0; i < session.SinkCount(); ++i) {
        if (!session.Sink(i)->WaitForHeldOrEnded(60000)) {
            PrintError("a pin neither received " + std::to_string(*options.seekAfter) + " samples nor ended");
        }
    }
    const LONGLONG llTo = options.seekTo;
    HRESULT hr = session.Seek(0, llTo, AM_SEEKING_AbsolutePositioning, 0, AM_SEEKING_NoPositioning);
    if (FAILED(hr)) PrintError("the seek to " + std::to_string(llTo) + " failed: " + HresultWithName(hr));
}

// Without an event for this long, the play is taken for hung.
const std::chrono::seconds kWatchdogLimit(30);

// The watchdog counts every sample, end-of-stream and flush the sinks
// received and every graph event; if they stall, it names the pins that
// have not ended.
void WatchPlay(const CToolSession& session, CProgressWatchdog* pWatchdog)
{
    std::vector<std::string> kinds;
    for (size_t i = 0; i < session.SinkCount(); ++i) kinds.push_back(DescribePin(session, i).kind);
    auto progress = [&session]() {
        uint64_t n = session.Graph()->Events().size();
        for (size_t i = 0; i < session.SinkCount(); ++i) {
            const CRecordingSink* pSink = session.Sink(i);
            n += static_cast<uint64_t>(pSink->ReceiveCalls() + pSink->EndOfStreamCount() + pSink->FlushCount());
        }
        return n;
    };
    auto stuck = [&session, kinds]() {
        std::string text;
        for (size_t i = 0; i < session.SinkCount(); ++i) {
            const CRecordingSink* pSink = session.Sink(i);
            if (SinkEnded(pSink)) continue;
            text += (text.empty() ? "" : "; ") + kinds[i] + " pin stuck after " +
                    std::to_string(pSink->ReceiveCalls()) + " samples without end-of-stream";
            if (pSink->BlockedReceivers() > 0) text += ", a delivery blocked in its sink";
        }
        return text.empty() ? std::string("every pin ended, the graph did not stop") : text;
    };
    pWatchdog->Watch(progress, stuck);
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

    // Torn down under the watchdog at the end, so a teardown that hangs is caught too.
    auto pSession = std::make_unique<CToolSession>();
    CToolSession& session = *pSession;
    std::string error;
    if (FAILED(session.CreateFilter(&error))) {
        PrintError(error);
        return kExitUsage;
    }
    if (FAILED(session.OpenFile(options.path, &error))) {
        PrintError(error);
        return kExitRefused;
    }
    // The kinds are filled in once the pins are connected, before anything is delivered.
    CLinePrinter printer;
    std::vector<std::string> kinds;
    auto optionsFor = [&](size_t i) {
        SinkOptions sinkOptions;
        sinkOptions.onEvent = [&printer, &kinds, i](const SinkEvent& event, const SampleRecord* pSample,
                                                    const BYTE* pData) {
            printer.Print(EventLine(kinds[i], event, pSample, pData));
        };
        return sinkOptions;
    };
    if (FAILED(session.ConnectSinks(optionsFor, &error))) PrintError(error);
    for (size_t i = 0; i < session.SinkCount(); ++i) kinds.push_back(DescribePin(session, i).kind);
    const std::filesystem::path registryDir = std::filesystem::path(session.Server().RegistryPath()).parent_path();
    CProgressWatchdog watchdog(kWatchdogLimit, [registryDir]() {
        std::error_code ignored;
        std::filesystem::remove_all(registryDir, ignored);
    });
    WatchPlay(session, &watchdog);
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
    if (SUCCEEDED(hr) && !session.WaitForEndOfStreams(60000, [&] { printer.PrintNewGraphEvents(session.Graph()); }))
        PrintError("timed out waiting for end-of-stream");
    session.Graph()->Stop();
    printer.PrintNewGraphEvents(session.Graph());
    std::fflush(stdout);
    watchdog.Watch(nullptr, []() { return std::string("the graph did not tear down"); });
    pSession.reset();
    return SUCCEEDED(hr) ? kExitOk : kExitUsage;
}
