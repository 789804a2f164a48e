// "3gpdemux extract FILE OUTDIR": plays the file through the filter and
// writes each output pin's stream to a file in OUTDIR that ffmpeg and
// common players read (streamformat.h names the files).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "commands.h"
#include "demuxsession.h"
#include "pinfacts.h"
#include "streambuilder.h"
#include "textformat.h"

namespace {

const char kUsage[] =
    "usage: 3gpdemux extract FILE OUTDIR\n"
    "Plays FILE through the filter and writes each output pin's stream to OUTDIR (created\n"
    "when missing): video.h264 (Annex B, parameter sets first), video.m4v (decoder\n"
    "configuration first), video.263, video.mjpeg, audio.amr (#!AMR), audio.awb (#!AMR-WB) or\n"
    "audio.aac (ADTS). Shows progress on stderr when it is a terminal and ends with a\n"
    "one-line summary. Exit status 2 when the filter refuses the file.\n";

// A bar on stderr, by media samples received against the tracks' sample
// counts (AAC and AMR packs make it reach 100% only at the end).
class CProgress {
public:
    CProgress(const CDemuxSession& session, const std::vector<PinFacts>& pins)
        : m_session(session), m_bShow(isatty(STDERR_FILENO) == 1)
    {
        for (const PinFacts& pin : pins) m_expected += pin.samples;
    }
    void Tick(bool bDone = false)
    {
        auto now = std::chrono::steady_clock::now();
        if (!m_bShow || (!bDone && now - m_last < std::chrono::milliseconds(100))) return;
        m_last = now;
        long received = 0;
        for (size_t i = 0; i < m_session.SinkCount(); ++i) received += m_session.Sink(i)->ReceiveCalls();
        int percent = bDone ? 100 : (m_expected ? static_cast<int>(std::min<long>(99, received * 100 / m_expected)) : 0);
        std::string bar(static_cast<size_t>(percent) * 30 / 100, '#');
        bar.resize(30, ' ');
        std::fprintf(stderr, "\r[%s] %3d%%%s", bar.c_str(), percent, bDone ? "\n" : "");
        std::fflush(stderr);
    }

private:
    const CDemuxSession& m_session;
    bool m_bShow;
    long m_expected = 0;
    std::chrono::steady_clock::time_point m_last;
};

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool bOk = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && bOk;
}

// Builds and writes pin i's file; appends its part of the summary.
bool ExtractPin(const CDemuxSession& session, const std::string& path, const std::string& outDir, size_t i,
                const PinFacts& pin, std::string* pSummary)
{
    StreamFile file = StreamFileFor(pin.subtype);
    std::string error;
    std::vector<TrackSample> table;
    if (file.codec == StreamCodec::Aac && !ReadTrackTable(path, pin.trackIndex, &table, &error)) {
        PrintError(error);
        return false;
    }
    BuiltStream stream;
    if (!BuildStream(pin, file.codec, session.Sink(i)->Samples(), table, &stream, &error)) {
        PrintError("pin " + std::to_string(pin.index) + " (" + GuidText(pin.subtype) + "): " + error);
        return false;
    }
    std::string target = (std::filesystem::path(outDir) / file.pszFileName).string();
    if (!WriteFile(target, stream.bytes)) {
        PrintError("cannot write " + target);
        return false;
    }
    if (!pSummary->empty()) *pSummary += ", ";
    *pSummary += std::string(file.pszFileName) + " (" + file.pszDescription + ", " + std::to_string(stream.frames) +
                 " frames, " + std::to_string(stream.bytes.size()) + " bytes)";
    return true;
}

}  // namespace

int RunExtract(const std::vector<std::string>& args)
{
    if (args.size() == 1 && IsHelp(args[0])) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (args.size() != 2) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string& path = args[0];
    const std::string& outDir = args[1];
    if (!CheckReadableFile(path)) return kExitUsage;
    std::error_code ec;
    std::filesystem::create_directories(outDir, ec);
    if (ec || !std::filesystem::is_directory(outDir)) {
        PrintError("cannot create the output directory " + outDir);
        return kExitUsage;
    }

    CDemuxSession session;
    std::string error;
    if (FAILED(session.CreateFilter(&error))) {
        PrintError(error);
        return kExitUsage;
    }
    if (FAILED(session.OpenFile(path, &error))) {
        PrintError(error);
        return kExitRefused;
    }
    if (FAILED(session.ConnectSinks(SinkOptions(), &error))) {
        PrintError(error);
        return kExitUsage;
    }
    std::vector<PinFacts> pins;
    for (size_t i = 0; i < session.PinCount(); ++i) pins.push_back(DescribePin(session, i));

    CProgress progress(session, pins);
    HRESULT hr = session.Play();
    bool bEnded = SUCCEEDED(hr) && session.WaitForEndOfStreams(120000, [&] { progress.Tick(); });
    progress.Tick(true);
    session.Graph()->Stop();
    if (!bEnded) {
        PrintError(FAILED(hr) ? "the graph did not run: " + HresultWithName(hr) : "timed out waiting for end-of-stream");
        return kExitUsage;
    }
    bool bOk = true;
    for (const CHostGraph::Event& event : session.Graph()->Events()) {
        if (event.lCode != EC_STREAM_ERROR_STOPPED) continue;
        PrintError("the filter stopped a stream: " + HresultWithName(static_cast<HRESULT>(event.lParam1)));
        bOk = false;
    }
    std::string summary;
    for (size_t i = 0; i < pins.size(); ++i) bOk = ExtractPin(session, path, outDir, i, pins[i], &summary) && bOk;
    std::printf("3gpdemux: %s -> %s: %s\n", path.c_str(), outDir.c_str(), summary.empty() ? "nothing written" : summary.c_str());
    return bOk ? kExitOk : kExitUsage;
}
