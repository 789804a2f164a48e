// The benchmark's graph driver (bench_play), run as a process on a fixture:
// its figures are only worth reporting if the play it times delivered the
// whole file, the read log it writes replays the same bytes, and its seeks
// land where they should.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <numeric>
#include <string>

#include "fixturefacts.h"

namespace {

using nlohmann::json;

const char kFixture[] = "h264-aac-bframes.mp4";

// The driver's one JSON object, or null when it failed or printed none.
json RunDriver(const std::string& args)
{
#ifdef DEMUX_BENCH_PLAY_PATH
    std::string command = std::string(DEMUX_BENCH_PLAY_PATH) + " " + args + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return nullptr;
    std::string out;
    char buffer[4096];
    size_t cb;
    while ((cb = fread(buffer, 1, sizeof(buffer), pipe)) > 0) out.append(buffer, cb);
    if (pclose(pipe) != 0) return nullptr;
    return json::parse(out, nullptr, false);
#else
    (void)args;
    return nullptr;
#endif
}

uint64_t SampleBytes(const TrackFacts& track)
{
    return std::accumulate(track.packets.begin(), track.packets.end(), uint64_t(0),
                           [](uint64_t sum, const PacketFacts& p) { return sum + p.size; });
}

class BenchPlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
#ifndef DEMUX_BENCH_PLAY_PATH
        GTEST_SKIP() << "bench_play is built only with the benchmarks";
#endif
        m_facts = LoadFixtureFacts(kFixture);
        m_path = FixturePath(kFixture);
    }
    FixtureFacts m_facts;
    std::string m_path;
};

}  // namespace

TEST_F(BenchPlayTest, PlayDeliversEveryByteAndItsReadLogReplaysThem)
{
    std::string log = testing::TempDir() + "bench_play_reads.txt";
    json play = RunDriver("play " + m_path + " " + log);
    ASSERT_TRUE(play.is_object());
    EXPECT_TRUE(play["stream_errors"].empty());
    EXPECT_GT(play["play_s"].get<double>(), 0);
    const TrackFacts* pVideo = m_facts.FirstTrack("video");
    const TrackFacts* pAudio = m_facts.FirstTrack("audio");
    ASSERT_TRUE(pVideo && pAudio);
    ASSERT_EQ(2u, play["pins"].size());
    const json& video = play["pins"][0];
    const json& audio = play["pins"][1];
    EXPECT_EQ("video", video["kind"]);
    EXPECT_EQ(pVideo->samples, video["file_samples"]);
    EXPECT_EQ(pVideo->samples, video["media_samples"]);
    // Start codes replace the length fields one for one; the configuration bytes come in front.
    EXPECT_GT(video["bytes"].get<uint64_t>(), SampleBytes(*pVideo));
    EXPECT_LE(video["bytes"].get<uint64_t>(), SampleBytes(*pVideo) + 256);
    EXPECT_EQ(SampleBytes(*pAudio), audio["bytes"]);
    EXPECT_EQ(play["pins"], RunDriver("play-noread " + m_path)["pins"]) << "sinks that do not read take the same";

    json replay = RunDriver("replay " + m_path + " " + log + " 2");
    std::remove(log.c_str());
    ASSERT_TRUE(replay.is_object());
    EXPECT_EQ(play["reads"], replay["reads"]);
    EXPECT_EQ(2u, replay["runs_s"].size());
    EXPECT_GE(replay["bytes"].get<uint64_t>(), SampleBytes(*pVideo) + SampleBytes(*pAudio))
        << "the log holds the samples' reads and the parser's";
}

TEST_F(BenchPlayTest, OpenReportsTheMovieAndSeeksLandInsideIt)
{
    json open = RunDriver("open " + m_path);
    ASSERT_TRUE(open.is_object());
    int64_t llDuration = 0;  // the longest track's
    for (const TrackFacts& track : m_facts.tracks)
        llDuration = std::max<int64_t>(llDuration, int64_t(track.durationTs) * 10000000 / track.timescale);
    EXPECT_EQ(llDuration, open["duration"]);
    EXPECT_GT(open["open_s"].get<double>(), 0);

    json seek = RunDriver("seek " + m_path + " 2");
    ASSERT_TRUE(seek.is_object());
    ASSERT_EQ(6u, seek["cases"].size());
    for (const json& seekCase : seek["cases"]) {
        SCOPED_TRACE(seekCase["case"].get<std::string>());
        EXPECT_GE(seekCase["to"].get<int64_t>(), 0);
        EXPECT_LE(seekCase["landed"].get<int64_t>(), seekCase["to"].get<int64_t>())
            << "video starts at the key frame at or before the position";
        ASSERT_EQ(2u, seekCase["median_s"].size());
        for (const json& seconds : seekCase["median_s"]) EXPECT_GT(seconds.get<double>(), 0);
    }
    EXPECT_EQ(json(nullptr), RunDriver("open " + m_path + ".missing"));
}
