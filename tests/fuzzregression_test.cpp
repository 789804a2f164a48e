// Replays, through the fuzz entries, every input fuzzing found a fault
// with (tests/fuzz/regressions/<entry>/) and the fixtures the fuzzers start
// from. A fault shows as a crash or a sanitizer report (ASan build); the
// filter entry also aborts on objects, allocators or handles left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "fuzzentries.h"
#include "testhooks.h"
#include "testsources.h"

namespace {

typedef int (*FuzzEntry)(const uint8_t*, size_t);

std::vector<std::string> FilesIn(const std::string& directory)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec))
        if (entry.is_regular_file()) files.push_back(entry.path().string());
    return files;
}

void Replay(FuzzEntry pfnEntry, const std::vector<std::string>& files)
{
    fuzzentry::SilenceDebugOutput();
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        const std::vector<uint8_t> bytes = testsrc::ReadWholeFile(file);
        EXPECT_EQ(0, pfnEntry(bytes.data(), bytes.size()));
    }
    platformtest::SetDebugSink(nullptr, nullptr);
}

std::vector<std::string> Regressions(const char* pszEntry)
{
    return FilesIn(std::string(DEMUX_FUZZ_REGRESSION_DIR) + "/" + pszEntry);
}

std::vector<std::string> Fixtures()
{
    std::vector<std::string> files;
    for (const std::string& file : FilesIn(DEMUX_FIXTURE_DIR)) {
        const std::string ext = std::filesystem::path(file).extension().string();
        if (ext != ".facts" && ext != ".md") files.push_back(file);
    }
    return files;
}

}  // namespace

TEST(FuzzRegression, EveryFoundInputThroughItsEntry)
{
    const std::pair<const char*, FuzzEntry> entries[] = {
        {"parser", fuzzentry::ParseMovie}, {"amrframer", fuzzentry::FrameAmr}, {"filter", fuzzentry::PlayFilter}};
    size_t nFiles = 0;
    for (const auto& entry : entries) {
        const std::vector<std::string> files = Regressions(entry.first);
        nFiles += files.size();
        Replay(entry.second, files);
    }
    EXPECT_GE(nFiles, 2u);
}

// The seeds: every entry must get through the real files, or fuzzing
// starts from a broken harness.
TEST(FuzzRegression, FixturesThroughEveryEntry)
{
    const std::vector<std::string> files = Fixtures();
    ASSERT_GE(files.size(), 10u);
    Replay(fuzzentry::ParseMovie, files);
    Replay(fuzzentry::FrameAmr, files);
    Replay(fuzzentry::PlayFilter, files);
}
