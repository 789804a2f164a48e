// "3gpdemux timeline FILE -o OUT.svg [--start T] [--stop T] [--seek-at N:T]":
// a picture of what each pin delivered on the presentation clock. The play
// is "3gpdemux samples" run as a child with the same options, so the
// picture shows exactly what the sinks recorded: each sample at its
// segment's start plus its stream time, whatever the filter stamps.
#include <sys/wait.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

#include "commands.h"
#include "streamformat.h"

namespace {

using Json = nlohmann::json;

const char kUsage[] =
    "usage: 3gpdemux timeline FILE -o OUT.svg [--start T] [--stop T] [--seek-at N:T]\n"
    "Plays FILE as samples does (same options) and draws what each pin delivered on the\n"
    "presentation clock (segment start + sample time) as an SVG: one lane per pin, each media\n"
    "sample a bar from start to stop (key frames marked above, preroll samples pale), the edit-list\n"
    "delay of the pin's track, segment starts, discontinuities and flushes. Bars under a pixel wide\n"
    "merge (data-count says how many samples a bar stands for). Exit status 2 when the filter\n"
    "refuses the file.\n";

const double kPlotWidth = 1200, kLeft = 130, kRight = 30, kTop = 40, kLaneHeight = 56, kLaneGap = 30;

struct Bar {
    double start, stop;  // seconds on the presentation clock
    long n;
    bool bSync, bPreroll, bDiscontinuity;
    int run;  // runs between flushes get rows of their own, so a seek back does not overdraw
};

struct Mark {
    double at;
    const char* pszClass;  // "segment" or "flush"
};

struct Lane {
    std::string kind, codec;
    double delay = 0;  // the track's edit-list delay, seconds
    double segment = 0;
    int runs = 1;
    int flushes = 0;
    std::vector<Bar> bars;
    std::vector<Mark> marks;
};

// Runs a command and hands each line of its output to take; its exit status.
int ReadLines(const std::string& command, const std::function<void(const std::string&)>& take)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    char* pszLine = nullptr;
    size_t cbLine = 0;
    for (ssize_t cch; (cch = getline(&pszLine, &cbLine, pipe)) > 0;) take(std::string(pszLine, static_cast<size_t>(cch)));
    std::free(pszLine);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Number(double value)
{
    char sz[32];
    std::snprintf(sz, sizeof(sz), "%.2f", value);
    return sz;
}

std::string Escaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '&') out += "&amp;";
        else if (c == '"') out += "&quot;";
        else out += c;
    }
    return out;
}

// A step of 1, 2 or 5 times a power of ten giving about ten ticks.
double TickStep(double span)
{
    double step = std::pow(10.0, std::floor(std::log10(std::max(span, 1e-3) / 10)));
    for (double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (span / (step * factor) <= 12) return step * factor;
    }
    return step * 10;
}

void WriteSvg(FILE* out, const std::string& file, const std::vector<Lane>& lanes)
{
    double tMin = 0, tMax = 0.001;
    for (const Lane& lane : lanes) {
        tMax = std::max(tMax, lane.delay);
        for (const Bar& bar : lane.bars) {
            tMin = std::min(tMin, bar.start);
            tMax = std::max(tMax, bar.stop);
        }
        for (const Mark& mark : lane.marks) tMax = std::max(tMax, mark.at);
    }
    const double scale = kPlotWidth / (tMax - tMin);
    auto x = [&](double t) { return kLeft + (t - tMin) * scale; };
    const double height = kTop + lanes.size() * (kLaneHeight + kLaneGap) + 40;
    std::fprintf(out,
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%s\" height=\"%s\" font-family=\"sans-serif\" "
                 "font-size=\"11\">\n<title>%s</title>\n<style>\n"
                 ".sample.video{fill:#4878a8}.sample.audio{fill:#6a9f58}.sample{stroke:#fff;stroke-width:0.3}\n"
                 ".preroll{fill-opacity:0.35}.key{fill:#c03030}.discontinuity{stroke:#c03030;stroke-width:1.5}\n"
                 ".segment{stroke:#000;stroke-dasharray:4 2}.flush{stroke:#e08000;stroke-width:2}\n"
                 ".delay{fill:#999;fill-opacity:0.25}.tick{stroke:#ccc}\n</style>\n",
                 Number(kLeft + kPlotWidth + kRight).c_str(), Number(height).c_str(), Escaped(file).c_str());
    // The time axis, seconds.
    const double step = TickStep(tMax - tMin);
    std::fprintf(out, "<g class=\"axis\">\n<text x=\"%s\" y=\"14\">%s: presentation time (s)</text>\n",
                 Number(kLeft).c_str(), Escaped(file).c_str());
    for (double t = std::ceil(tMin / step) * step; t <= tMax + step * 1e-6; t += step) {
        std::fprintf(out, "<line class=\"tick\" x1=\"%s\" x2=\"%s\" y1=\"%s\" y2=\"%s\"/><text x=\"%s\" y=\"%s\" "
                     "text-anchor=\"middle\">%g</text>\n", Number(x(t)).c_str(), Number(x(t)).c_str(),
                     Number(kTop - 8).c_str(), Number(height - 30).c_str(), Number(x(t)).c_str(),
                     Number(kTop - 12).c_str(), std::round(t / step) * step);
    }
    std::fprintf(out, "</g>\n");
    for (size_t i = 0; i < lanes.size(); ++i) {
        const Lane& lane = lanes[i];
        const double top = kTop + i * (kLaneHeight + kLaneGap), barTop = top + 14, barHeight = kLaneHeight - 20;
        const double rowHeight = barHeight / lane.runs;
        // Key frames are marked only where not every sample is one (audio is all key frames).
        const bool bMarkKeys = std::any_of(lane.bars.begin(), lane.bars.end(), [](const Bar& bar) { return !bar.bSync; });
        std::fprintf(out, "<g class=\"lane\" data-pin=\"%s\">\n<text x=\"8\" y=\"%s\">%s %s</text>\n",
                     lane.kind.c_str(), Number(barTop + barHeight / 2 + 4).c_str(), lane.kind.c_str(),
                     lane.codec.c_str());
        if (lane.delay > 0) {
            std::fprintf(out, "<rect class=\"delay\" x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\"><title>edit-list "
                         "delay %.3f s</title></rect><text x=\"%s\" y=\"%s\">edit-list delay %.3f s</text>\n",
                         Number(x(0)).c_str(), Number(barTop).c_str(), Number(lane.delay * scale).c_str(),
                         Number(barHeight).c_str(), lane.delay, Number(x(0) + 2).c_str(), Number(top + 10).c_str(),
                         lane.delay);
        }
        // Consecutive bars too thin to see become one, with the count they stand for.
        for (size_t b = 0; b < lane.bars.size();) {
            const Bar& first = lane.bars[b];
            size_t e = b + 1;
            while (e < lane.bars.size() && (lane.bars[e].stop - first.start) * scale < 1.0 &&
                   lane.bars[e].bPreroll == first.bPreroll && lane.bars[e].run == first.run)
                ++e;
            const double stop = lane.bars[e - 1].stop;
            std::fprintf(out, "<rect class=\"sample %s%s\" x=\"%s\" y=\"%s\" width=\"%s\" height=\"%s\" "
                         "data-n=\"%ld\" data-count=\"%zu\"><title>#%ld%s %.4f-%.4f s%s</title></rect>\n",
                         lane.kind.c_str(), first.bPreroll ? " preroll" : "", Number(x(first.start)).c_str(),
                         Number(barTop + first.run * rowHeight).c_str(),
                         Number(std::max(0.3, (stop - first.start) * scale)).c_str(), Number(rowHeight).c_str(), first.n,
                         e - b,
                         first.n, e - b > 1 ? ("-" + std::to_string(lane.bars[e - 1].n)).c_str() : "", first.start,
                         stop, first.bSync ? " key" : "");
            b = e;
        }
        for (const Bar& bar : lane.bars) {
            if (bar.bSync && bMarkKeys)
                std::fprintf(out, "<path class=\"key\" d=\"M%s %sl-3 -6h6z\"/>\n", Number(x(bar.start)).c_str(),
                             Number(barTop).c_str());
            if (bar.bDiscontinuity)
                std::fprintf(out, "<line class=\"discontinuity\" x1=\"%s\" x2=\"%s\" y1=\"%s\" y2=\"%s\"/>\n",
                             Number(x(bar.start)).c_str(), Number(x(bar.start)).c_str(),
                             Number(barTop + barHeight).c_str(), Number(barTop + barHeight + 6).c_str());
        }
        for (const Mark& mark : lane.marks) {
            std::fprintf(out, "<line class=\"%s\" x1=\"%s\" x2=\"%s\" y1=\"%s\" y2=\"%s\"><title>%s at %.4f s</title>"
                         "</line>\n", mark.pszClass, Number(x(mark.at)).c_str(), Number(x(mark.at)).c_str(),
                         Number(top + 2).c_str(), Number(top + kLaneHeight).c_str(), mark.pszClass, mark.at);
        }
        std::fprintf(out, "</g>\n");
    }
    std::fprintf(out, "<text x=\"%s\" y=\"%s\">bars: media samples (pale: preroll); red triangles: key frames; "
                 "red ticks below: discontinuities; dashed: segment starts; orange: flushes (the play after one is drawn "
                 "in a row below); grey: edit-list delay"
                 "</text>\n</svg>\n", Number(kLeft).c_str(), Number(height - 10).c_str());
}

}  // namespace

int RunTimeline(const std::vector<std::string>& args)
{
    if (args.size() == 1 && IsHelp(args[0])) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    std::string path, outPath;
    std::vector<std::string> passed;  // to samples
    for (size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "-o" || args[i] == "--start" || args[i] == "--stop" || args[i] == "--seek-at") &&
            i + 1 < args.size()) {
            if (args[i] == "-o") {
                outPath = args[++i];
            } else {
                passed.push_back(args[i]);
                passed.push_back(args[++i]);
            }
        } else if (!args[i].empty() && args[i][0] != '-' && path.empty()) {
            path = args[i];
        } else {
            PrintError("unexpected argument " + args[i]);
            path.clear();
            break;
        }
    }
    if (path.empty() || outPath.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (!CheckReadableFile(path)) return kExitUsage;
    const std::string self = ShellQuoted(SelfPath());

    // The pins' codecs and edit-list delays, as info reports them.
    std::string infoText;
    int status = ReadLines(self + " info " + ShellQuoted(path), [&](const std::string& line) { infoText += line; });
    Json info = Json::parse(infoText, nullptr, false);
    if (status != kExitOk || info.is_discarded()) return status == kExitRefused ? kExitRefused : kExitUsage;
    std::vector<Lane> lanes;
    std::map<std::string, size_t> laneOf;
    for (const Json& pin : info["pins"]) {
        Lane lane;
        lane.kind = pin.value("kind", "");
        lane.codec = StreamFileFor(pin.value("subtype", "")).pszCodec;
        lane.delay = pin.value("start_offset", 0LL) / 1e7;
        laneOf[lane.kind] = lanes.size();
        lanes.push_back(lane);
    }

    std::string command = self + " samples " + ShellQuoted(path);
    for (const std::string& arg : passed) command += " " + ShellQuoted(arg);
    status = ReadLines(command, [&](const std::string& text) {
        Json line = Json::parse(text, nullptr, false);
        if (line.is_discarded() || !line.contains("pin") || !laneOf.count(line["pin"])) return;
        Lane& lane = lanes[laneOf[line["pin"]]];
        const std::string event = line.value("event", "");
        if (event == "segment") {
            lane.segment = line.value("start", 0LL) / 1e7;
            lane.marks.push_back({lane.segment, "segment"});
        } else if (event == "flush") {
            lane.marks.push_back({lane.bars.empty() ? lane.segment : lane.bars.back().stop, "flush"});
            lane.flushes += 1;
        } else if (event == "sample") {
            // A sample without times sits where the last one ended; one without a stop is drawn thin.
            const double last = lane.bars.empty() ? lane.segment : lane.bars.back().stop;
            const double start = line["start"].is_number() ? lane.segment + line["start"].get<long long>() / 1e7 : last;
            const double stop = line["stop"].is_number() ? lane.segment + line["stop"].get<long long>() / 1e7 : start;
            lane.bars.push_back({start, stop, line.value("n", 0L), line.value("sync", false),
                                 line.value("preroll", false), line.value("discontinuity", false), lane.flushes});
            lane.runs = std::max(lane.runs, lane.flushes + 1);
        }
    });
    if (status != kExitOk) {
        PrintError("the play failed (samples exited with " + std::to_string(status) + ")");
        return status == kExitRefused ? kExitRefused : kExitUsage;
    }
    FILE* out = std::fopen(outPath.c_str(), "w");
    if (!out) {
        PrintError("cannot write " + outPath);
        return kExitUsage;
    }
    WriteSvg(out, path, lanes);
    if (std::fclose(out) != 0) {
        PrintError("cannot write " + outPath);
        return kExitUsage;
    }
    size_t bars = 0;
    for (const Lane& lane : lanes) bars += lane.bars.size();
    std::printf("3gpdemux: %s -> %s: %zu lanes, %zu samples\n", path.c_str(), outPath.c_str(), lanes.size(), bars);
    return kExitOk;
}
