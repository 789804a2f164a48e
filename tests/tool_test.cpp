// The 3gpdemux tool, run as a separate process on every fixture: info
// agrees with the recorded facts, samples carries the file's bytes, every
// extracted stream decodes with ffmpeg, and the exit codes tell usage
// errors from refused files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "amrframes.h"
#include "demuxplayback.h"
#include "fixturefacts.h"
#include "md5.h"
#include "moviebuilder.h"
#include "../tools/3gpdemux/progresswatchdog.h"

namespace {

using nlohmann::json;

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& arg)
{
    std::string quoted = "'";
    for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// Runs a shell command line; stdout and stderr captured apart.
ToolRun RunCommand(const std::string& command)
{
    char errPath[] = "/tmp/tool_test_err.XXXXXX";
    int fd = mkstemp(errPath);
    close(fd);
    ToolRun run;
    FILE* pipe = popen((command + " 2>" + errPath).c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t cb;
    while ((cb = fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.out.append(buffer, cb);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errPath);
    run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    std::remove(errPath);
    return run;
}

// Under a time limit: a tool that hangs fails its test (status 124) instead
// of stalling the suite.
ToolRun RunTool(const std::vector<std::string>& args)
{
    std::string command = "timeout 120 " + Quote(DEMUX_TOOL_PATH);
    for (const std::string& arg : args) command += " " + Quote(arg);
    return RunCommand(command);
}

std::vector<uint8_t> FileBytes(const std::string& path, int64_t pos, size_t cb)
{
    std::ifstream file(path, std::ios::binary);
    file.seekg(pos);
    std::vector<uint8_t> bytes(cb);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(cb));
    return bytes;
}

std::vector<uint8_t> FromHex(const std::string& hex)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// The subtype each ffprobe codec must come out as.
std::string SubtypeOfCodec(const std::string& codec)
{
    static const std::map<std::string, std::string> kSubtypes = {
        {"h264", "{34363248-0000-0010-8000-00AA00389B71}"},  {"mpeg4", "{7634706D-0000-0010-8000-00AA00389B71}"},
        {"h263", "{33363248-0000-0010-8000-00AA00389B71}"},  {"mjpeg", "{47504A4D-0000-0010-8000-00AA00389B71}"},
        {"amr_nb", "{D1A32254-6671-4EDB-8181-DCA360F38902}"}, {"amr_wb", "{609A9F1A-77A1-4013-94B0-EF4D408A9C71}"},
        {"aac", "{DDE9B29A-E534-4792-B69F-1E4694F277F8}"},
    };
    auto it = kSubtypes.find(codec);
    return it == kSubtypes.end() ? "?" : it->second;
}

bool IsAmr(const std::string& codec)
{
    return codec == "amr_nb" || codec == "amr_wb";
}

// The units a pin's media samples must be made of, in order: one per video
// sample (H.264 in start-code form, the first behind the configuration
// bytes), one per AAC sample, one per AMR frame.
std::vector<std::vector<uint8_t>> ExpectedUnits(const FixtureFacts& facts, const TrackFacts& track, const json& pin)
{
    const std::string path = FixturePath(facts.name);
    std::vector<std::vector<uint8_t>> units;
    for (const PacketFacts& packet : track.packets) {
        std::vector<uint8_t> bytes = FileBytes(path, packet.pos, packet.size);
        if (track.codec == "h264") bytes = LengthsToStartCodes(bytes);
        if (IsAmr(track.codec)) {
            for (auto& frame : AmrFrames(bytes, track.codec == "amr_wb")) units.push_back(frame);
        } else {
            units.push_back(bytes);
        }
    }
    if (track.type == "video" && !units.empty()) {
        std::vector<uint8_t> first = FromHex(pin["config"]);
        first.insert(first.end(), units[0].begin(), units[0].end());
        units[0] = first;
    }
    return units;
}

json Info(const std::string& fixture)
{
    ToolRun run = RunTool({"info", FixturePath(fixture)});
    EXPECT_EQ(0, run.status) << run.err;
    return json::parse(run.out, nullptr, false);
}

std::vector<json> JsonLines(const std::string& text)
{
    std::vector<json> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(json::parse(line, nullptr, false));
    return lines;
}

// A path in the temporary folder of this run's own: test runs of other
// checkouts may share the folder.
std::string TempPath(const std::string& name)
{
    return (std::filesystem::temp_directory_path() / ("tool_test_" + std::to_string(getpid()) + "_" + name)).string();
}

const TrackFacts& TrackOfPin(const FixtureFacts& facts, const json& pin)
{
    return *facts.FirstTrack(pin["kind"].get<std::string>());
}

}  // namespace

TEST(ToolInfo, AgreesWithTheFactsOfEveryFixture)
{
    for (const std::string& name : ListFixtures()) {
        SCOPED_TRACE(name);
        FixtureFacts facts = LoadFixtureFacts(name);
        json info = Info(name);
        ASSERT_FALSE(info.is_discarded());
        EXPECT_TRUE(info["accepted"].get<bool>());
        EXPECT_EQ("0x00000000", info["hr"]);
        size_t expectedPins = (facts.FirstTrack("video") ? 1 : 0) + (facts.FirstTrack("audio") ? 1 : 0);
        ASSERT_EQ(expectedPins, info["pins"].size());
        int64_t longest = 0;
        for (const json& pin : info["pins"]) {
            const TrackFacts& track = TrackOfPin(facts, pin);
            SCOPED_TRACE(track.codec);
            EXPECT_EQ(SubtypeOfCodec(track.codec), pin["subtype"]);
            // The tool's own parse, matched to the pin: the filter does not report these.
            EXPECT_EQ(track.samples, pin["samples"].get<uint32_t>());
            EXPECT_EQ(track.timescale, pin["timescale"].get<uint32_t>());
            EXPECT_EQ(track.samples != track.moovSamples, pin["fragments"].get<uint32_t>() != 0);
            int64_t duration = static_cast<int64_t>(track.MediaDuration() * 10000000ULL / track.timescale);
            EXPECT_EQ(duration, pin["track_duration"].get<int64_t>());
            longest = std::max(longest, duration);
            uint32_t largest = 0;
            for (const PacketFacts& packet : track.packets) largest = std::max(largest, packet.size);
            EXPECT_EQ(largest, pin["max_sample_size"].get<uint32_t>());
            // Formats and dimensions: DemuxOutputPin compares them with the same facts.
            std::vector<uint8_t> config = FromHex(pin["config"]);
            if (track.codec == "mpeg4") { EXPECT_EQ(track.extradataMd5, Md5Hex(config.data(), config.size())); }
            if (track.codec == "h264") {
                EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 1}), std::vector<uint8_t>(config.begin(), config.begin() + 4));
            }
            const json& allocator = pin["allocator"];
            EXPECT_EQ(4, allocator["buffers"]);
            EXPECT_EQ(128, allocator["align"]);
            EXPECT_GE(allocator["size"].get<size_t>(), largest + config.size());
        }
        EXPECT_EQ(longest, info["duration"].get<int64_t>());
    }
}

TEST(ToolSamples, EachPinCarriesTheFileSamplesInOrder)
{
    for (const std::string& name : ListFixtures()) {
        SCOPED_TRACE(name);
        FixtureFacts facts = LoadFixtureFacts(name);
        json info = Info(name);
        ToolRun run = RunTool({"samples", FixturePath(name)});
        ASSERT_EQ(0, run.status) << run.err;
        std::map<std::string, std::vector<json>> byPin;
        for (const json& line : JsonLines(run.out)) {
            ASSERT_FALSE(line.is_discarded());
            EXPECT_NE("error", line["event"]) << line.dump();
            if (line.contains("pin")) byPin[line["pin"]].push_back(line);
        }
        for (const json& pin : info["pins"]) {
            const TrackFacts& track = TrackOfPin(facts, pin);
            SCOPED_TRACE(track.codec);
            const std::vector<json>& records = byPin[pin["kind"]];
            ASSERT_GE(records.size(), 2u);
            EXPECT_EQ("segment", records.front()["event"]);
            EXPECT_EQ("eos", records.back()["event"]);
            // Each media sample is a run of whole units; together they are all of them.
            std::vector<std::vector<uint8_t>> units = ExpectedUnits(facts, track, pin);
            size_t next = 0;
            size_t n = 0;
            for (const json& record : records) {
                if (record["event"] != "sample") continue;
                EXPECT_EQ(n++, record["n"].get<size_t>());
                std::vector<uint8_t> expected;
                while (next < units.size() && expected.size() < record["size"].get<size_t>()) {
                    expected.insert(expected.end(), units[next].begin(), units[next].end());
                    ++next;
                }
                ASSERT_EQ(record["size"].get<size_t>(), expected.size()) << "sample " << record["n"];
                EXPECT_EQ(Md5Hex(expected.data(), expected.size()), record["md5"]) << "sample " << record["n"];
            }
            EXPECT_EQ(units.size(), next) << "units never delivered";
            if (track.type == "video") { EXPECT_EQ(track.samples, n); }
        }
    }
}

// The seek lands at the same point whatever the machine's speed: each pin
// holds its fifth sample until the seek. The run it starts opens its segment
// at the seek position with the last key sample at or before it (from the
// facts: in moov, in a fragment found among several, and in the first
// fragment after the moov samples) as preroll, and ends with one
// end-of-stream per pin.
TEST(ToolSamples, SeekAtHoldsTheNthSampleAndRestartsFromTheSyncSampleBefore)
{
    for (const char* name : {"h264-aac-bframes.mp4", "frag-keyframe-empty-moov.mp4", "moov-and-fragments.3gp"}) {
        SCOPED_TRACE(name);
        const REFERENCE_TIME rtSeek = 15000000;
        const FixtureFacts facts = LoadFixtureFacts(name);
        const TrackFacts& video = *facts.FirstTrack("video");
        REFERENCE_TIME rtKey = 0;
        for (const PacketFacts& packet : video.packets) {
            const REFERENCE_TIME rt = packet.rawDts * 10000000 / video.timescale;
            if (packet.key && rt <= rtSeek) rtKey = rt;
        }
        ToolRun run = RunTool({"samples", FixturePath(name), "--seek-at", "5:" + std::to_string(rtSeek)});
        ASSERT_EQ(0, run.status) << run.err;
        std::vector<json> lines = JsonLines(run.out);
        auto isVideo = [](const json& l, const char* event) { return l.value("pin", "") == "video" && l["event"] == event; };
        auto flush = std::find_if(lines.begin(), lines.end(), [&](const json& l) { return isVideo(l, "flush"); });
        ASSERT_NE(lines.end(), flush);
        EXPECT_EQ(5, std::count_if(lines.begin(), flush, [&](const json& l) { return isVideo(l, "sample"); }));
        auto segment = std::find_if(flush, lines.end(), [&](const json& l) { return isVideo(l, "segment"); });
        ASSERT_NE(lines.end(), segment);
        EXPECT_EQ(rtSeek, (*segment)["start"]);
        auto first = std::find_if(segment, lines.end(), [&](const json& l) { return isVideo(l, "sample"); });
        ASSERT_NE(lines.end(), first);
        EXPECT_EQ(rtKey - rtSeek, (*first)["start"]) << "the sync sample before the target";
        EXPECT_TRUE((*first)["discontinuity"].get<bool>());
        EXPECT_TRUE((*first)["sync"].get<bool>());
        EXPECT_EQ(rtKey < rtSeek, (*first)["preroll"].get<bool>());
        for (const char* pin : {"video", "audio"}) {
            auto isPin = [&](const json& l, const char* event) { return l.value("pin", "") == pin && l["event"] == event; };
            auto lastFlush = std::find_if(lines.rbegin(), lines.rend(), [&](const json& l) { return isPin(l, "flush"); });
            EXPECT_EQ(1, std::count_if(lines.rbegin(), lastFlush, [&](const json& l) { return isPin(l, "eos"); })) << pin;
        }
    }
}

namespace {

struct ProbeResult {
    bool bOk = false;
    json stream;
};

// ffprobe's decoded frame and packet counts of a file's first stream.
ProbeResult Probe(const std::string& path)
{
    ProbeResult result;
    ToolRun run = RunCommand("ffprobe -v error -count_frames -count_packets -select_streams 0 -show_entries "
                             "stream=nb_read_frames,nb_read_packets,sample_rate,channels,width,height -of json " +
                             Quote(path));
    json parsed = json::parse(run.out, nullptr, false);
    if (run.status != 0 || parsed.is_discarded() || parsed["streams"].empty()) return result;
    result.bOk = true;
    result.stream = parsed["streams"][0];
    return result;
}

int ProbeCount(const json& stream, const char* key)
{
    return stream.contains(key) ? std::stoi(stream[key].get<std::string>()) : -1;
}

}  // namespace

TEST(ToolExtract, EveryStreamDecodesWithFfmpeg)
{
    if (RunCommand("ffmpeg -version").status != 0 || RunCommand("ffprobe -version").status != 0)
        GTEST_SKIP() << "ffmpeg/ffprobe not installed: the extracted streams cannot be decoded here";
    static const std::map<std::string, std::string> kFiles = {
        {"h264", "video.h264"}, {"mpeg4", "video.m4v"}, {"h263", "video.263"}, {"mjpeg", "video.mjpeg"},
        {"amr_nb", "audio.amr"}, {"amr_wb", "audio.awb"}, {"aac", "audio.aac"}};
    for (const std::string& name : ListFixtures()) {
        SCOPED_TRACE(name);
        FixtureFacts facts = LoadFixtureFacts(name);
        const std::filesystem::path dir = TempPath("extract");
        std::filesystem::remove_all(dir);
        ToolRun run = RunTool({"extract", FixturePath(name), dir.string()});
        ASSERT_EQ(0, run.status) << run.err;
        EXPECT_NE(std::string::npos, run.out.find(dir.string())) << "the summary names where the files went";
        for (const std::string type : {"video", "audio"}) {
            const TrackFacts* pTrack = facts.FirstTrack(type);
            if (!pTrack) continue;
            SCOPED_TRACE(pTrack->codec);
            std::string file = (dir / kFiles.at(pTrack->codec)).string();
            ASSERT_TRUE(std::filesystem::exists(file));
            EXPECT_EQ(0, RunCommand("ffmpeg -nostdin -v error -i " + Quote(file) + " -f null -").status);
            ProbeResult probe = Probe(file);
            ASSERT_TRUE(probe.bOk) << "ffprobe cannot read " << file;
            if (!IsAmr(pTrack->codec)) {
                EXPECT_EQ(int(pTrack->samples), ProbeCount(probe.stream, "nb_read_frames"));
            } else {
                // One packet per storage frame; ffmpeg decodes every speech frame
                // (it cannot decode SID frames, and skips NO_DATA frames or not by decoder).
                std::vector<std::vector<uint8_t>> frames;
                for (const PacketFacts& packet : pTrack->packets) {
                    for (auto& frame : AmrFrames(FileBytes(FixturePath(name), packet.pos, packet.size),
                                                 pTrack->codec == "amr_wb"))
                        frames.push_back(frame);
                }
                int speech = std::count_if(frames.begin(), frames.end(), [&](const std::vector<uint8_t>& f) {
                    return ((f[0] >> 3) & 15) < (pTrack->codec == "amr_wb" ? 9 : 8);
                });
                EXPECT_EQ(int(frames.size()), ProbeCount(probe.stream, "nb_read_packets"));
                EXPECT_GE(ProbeCount(probe.stream, "nb_read_frames"), speech);
            }
            if (pTrack->width) { EXPECT_EQ(*pTrack->width, probe.stream.value("width", 0)); }
            if (pTrack->codec == "aac") {
                EXPECT_EQ(std::to_string(*pTrack->sampleRate), probe.stream.value("sample_rate", ""));
                EXPECT_EQ(*pTrack->channels, probe.stream.value("channels", 0));
            }
        }
        std::filesystem::remove_all(dir);
    }
}

TEST(ToolExitStatus, UsageErrorsAndUnreadableFilesGiveOne)
{
    const std::string missing = "/nonexistent/clip.mp4";
    for (const std::string command : {"boxes", "info", "samples", "extract", "timeline"}) {
        SCOPED_TRACE(command);
        std::vector<std::string> args = {command, missing};
        if (command == "extract") args.push_back(std::filesystem::temp_directory_path() / "tool_test_never");
        if (command == "timeline") args.insert(args.end(), {"-o", std::filesystem::temp_directory_path() / "never.svg"});
        ToolRun run = RunTool(args);
        EXPECT_EQ(1, run.status);
        EXPECT_NE(std::string::npos, run.err.find(missing)) << run.err;
        EXPECT_EQ(0, RunTool({command, "--help"}).status);
        EXPECT_EQ(1, RunTool({command}).status);
    }
    EXPECT_EQ(1, RunTool({}).status);
    EXPECT_EQ(1, RunTool({"frobnicate", FixturePath("mjpeg.mov")}).status);
    EXPECT_EQ(1, RunTool({"samples", FixturePath("mjpeg.mov"), "--seek-at", "5"}).status);
}

// A movie whose tracks list no sample (a fragmented file's "moov") is
// refused at once, with the reason.
TEST(ToolExitStatus, RefusedFileGivesTwoAndSaysWhy)
{
    testmovie::MovieLayout noSamples;
    noSamples.duration = 3000;
    for (auto kind : {testmovie::TrackLayout::Video, testmovie::TrackLayout::Audio}) {
        testmovie::TrackLayout track;
        track.kind = kind;
        track.mediaDuration = 3000;
        noSamples.tracks.push_back(track);
    }
    const std::string emptyPath = TempPath("no_samples.3gp");
    std::vector<uint8_t> bytes = testmovie::BuildMovie(noSamples).bytes;
    std::ofstream(emptyPath, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
    const struct {
        std::string path;
        bool bNoSamples;
    } cases[] = {{FixturePath("no-mdat.mp4"), false}, {emptyPath, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ToolRun info = RunTool({"info", c.path});
        EXPECT_EQ(2, info.status);
        json parsed = json::parse(info.out, nullptr, false);
        ASSERT_FALSE(parsed.is_discarded()) << info.out;
        EXPECT_FALSE(parsed["accepted"].get<bool>());
        EXPECT_EQ("0x8004022A", parsed["hr"]);
        EXPECT_TRUE(parsed["pins"].empty());
        for (const std::string command : {"info", "samples", "extract"}) {
            std::vector<std::string> args = {command, c.path};
            if (command == "extract") args.push_back(TempPath("refused"));
            ToolRun run = command == "info" ? info : RunTool(args);
            EXPECT_EQ(2, run.status) << command;
            EXPECT_NE(std::string::npos, run.err.find("0x8004022A (VFW_E_TYPE_NOT_ACCEPTED)")) << run.err;
            EXPECT_EQ(c.bNoSamples, run.err.find("(no samples in moov nor in movie fragments)") != std::string::npos)
                << run.err;
        }
    }
    std::filesystem::remove(emptyPath);
    std::filesystem::remove_all(TempPath("refused"));
}

// A play whose counts stop moving ends the tool with status 3, the stuck
// pins named and the temporary files removed; one that keeps moving runs on.
TEST(ToolWatchdog, AStalledPlayEndsWithThreeAndSaysWhatIsStuck)
{
    using namespace std::chrono_literals;
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            CProgressWatchdog watchdog(200ms, []() { std::fputs("cleaned up\n", stderr); });
            watchdog.Watch([]() { return uint64_t(7); }, []() { return std::string("video pin stuck"); });
            std::this_thread::sleep_for(10s);
            std::_Exit(0);
        },
        testing::ExitedWithCode(kExitHung), "nothing happened for 0 s, giving up: video pin stuck\ncleaned up");
    std::atomic<uint64_t> progress{0};
    CProgressWatchdog watchdog(200ms, nullptr);
    watchdog.Watch([&progress]() { return progress.load(); }, nullptr);
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(50ms);
        ++progress;
    }
}

TEST(ToolScan, VerdictsOfTheFixturesAndOfChildrenThatHangOrCrash)
{
    // Every fixture with facts is a good file; the two without are damaged.
    // ffprobe counts the same samples and durations on every accepted one.
    ToolRun run = RunTool({"scan", "-j", "2", "--ffprobe", std::string(DEMUX_FIXTURE_DIR)});
    EXPECT_EQ(2, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("not accepted: 2")) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("ffprobe disagrees: 0")) << run.err;
    std::map<std::string, std::string> verdicts;
    for (const json& line : JsonLines(run.out))
        verdicts[std::filesystem::path(line.value("path", "")).filename().string()] = line.value("verdict", "");
    std::map<std::string, std::string> expected = {{"no-mdat.mp4", "refused"}, {"truncated-moov.mp4", "refused"}};
    for (const std::string& name : ListFixtures()) expected[name] = "accepted";
    EXPECT_EQ(expected, verdicts);

    // One child hangs (the host source made slow), one is killed by a signal: each is
    // reported as such, on time, and the scan goes on.
    const std::string faults = "DEMUX_SCAN_TEST_FAULT=hang:mjpeg.mov,crash:h263-amrnb.3gp ";
    run = RunCommand(faults + Quote(DEMUX_TOOL_PATH) + " scan --timeout 2 " + Quote(FixturePath("mjpeg.mov")) + " " +
                     Quote(FixturePath("h263-amrnb.3gp")) + " " + Quote(FixturePath("aac-stereo.m4a")));
    EXPECT_EQ(3, run.status) << run.err;
    verdicts.clear();
    for (const json& line : JsonLines(run.out)) {
        verdicts[std::filesystem::path(line.value("path", "")).filename().string()] = line.value("verdict", "");
        EXPECT_LT(line.value("seconds", 99.0), 4.0) << line.dump();
    }
    EXPECT_EQ((std::map<std::string, std::string>{
                  {"mjpeg.mov", "hung"}, {"h263-amrnb.3gp", "crashed"}, {"aac-stereo.m4a", "accepted"}}),
              verdicts);
}

TEST(ToolTimeline, IsSvgWithOneBarPerDeliveredSample)
{
    // A real XML parser reads the picture; each lane's bars stand for as many samples as the pin delivered.
    const std::string svg = TempPath("timeline.svg");
    const char kCount[] =
        "import sys, json, xml.etree.ElementTree as E\n"
        "ns = '{http://www.w3.org/2000/svg}'\n"
        "root = E.parse(sys.argv[1]).getroot()\n"
        "assert root.tag == ns + 'svg'\n"
        "print(json.dumps({g.get('data-pin'): sum(int(r.get('data-count')) for r in g.iter(ns + 'rect')\n"
        "                  if 'sample' in r.get('class', '').split())\n"
        "                  for g in root.iter(ns + 'g') if g.get('class') == 'lane'}))\n";
    for (const std::string name : {"late-video-edit.mp4", "h264-aac-bframes.mp4"}) {
        SCOPED_TRACE(name);
        std::map<std::string, int> delivered;
        for (const json& line : JsonLines(RunTool({"samples", FixturePath(name)}).out)) {
            if (line.value("event", "") == "sample") ++delivered[line["pin"]];
        }
        ToolRun run = RunTool({"timeline", FixturePath(name), "-o", svg});
        ASSERT_EQ(0, run.status) << run.err;
        ToolRun parsed = RunCommand("python3 -c " + Quote(kCount) + " " + Quote(svg));
        ASSERT_EQ(0, parsed.status) << parsed.err;
        EXPECT_EQ(json(delivered), json::parse(parsed.out, nullptr, false));
    }
    std::remove(svg.c_str());
}

TEST(ToolBoxes, CountsFragmentsAfterTheFirstUnlessAskedForAll)
{
    const std::string path = FixturePath("amrnb-fragmented.3gp");
    for (bool bAll : {false, true}) {
        ToolRun run = bAll ? RunTool({"boxes", "--all", path}) : RunTool({"boxes", path});
        ASSERT_EQ(0, run.status) << run.err;
        size_t moofs = 0;
        for (size_t at = run.out.find("\nmoof "); at != std::string::npos; at = run.out.find("\nmoof ", at + 1)) ++moofs;
        EXPECT_EQ(bAll ? 3u : 1u, moofs);
        EXPECT_EQ(!bAll, run.out.find("... 2 more moof boxes") != std::string::npos);
        EXPECT_NE(std::string::npos, run.out.find("\nmfra ")) << "boxes after the fragments are listed";
    }
}
