// "3gpdemux extract FILE OUTDIR": plays the file through the filter and
// writes each output pin's stream to a file in OUTDIR that ffmpeg and
// common players read (streamformat.h names the files).
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "commands.h"
#include "session.h"
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
    CProgress(const CToolSession& session, const std::vector<PinFacts>& pins)
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
    const CToolSession& m_session;
    bool m_bShow;
    long m_expected = 0;
    std::chrono::steady_clock::time_point m_last;
};

// Opens pin i's stream file in outDir; null, with the reason on stderr, when it cannot.
std::unique_ptr<CStreamWriter> OpenWriter(const std::string& path, const std::string& outDir, const PinFacts& pin)
{
    StreamFile file = StreamFileFor(pin.subtype);
    std::unique_ptr<CStreamWriter> pWriter(new CStreamWriter(pin, file.codec));
    std::string error;
    std::string target = file.pszFileName ? (std::filesystem::path(outDir) / file.pszFileName).string() : "";
    if (!pWriter->Open(target, path, &error)) {
        PrintError("pin " + std::to_string(pin.index) + " (" + GuidText(pin.subtype) + "): " + error);
        return nullptr;
    }
    return pWriter;
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

    CToolSession session;
    std::string error;
    if (FAILED(session.CreateFilter(&error))) {
        PrintError(error);
        return kExitUsage;
    }
    if (FAILED(session.OpenFile(path, &error))) {
        PrintError(error);
        return kExitRefused;
    }
    // The pins' facts come from the connected pins; each sink writes its
    // pin's file as the samples arrive, on the pin's thread.
    std::vector<PinFacts> pins;
    std::vector<std::unique_ptr<CStreamWriter>> writers;
    auto optionsFor = [&writers](size_t i) {
        SinkOptions options;
        options.onEvent = [&writers, i](const SinkEvent&, const SampleRecord* pSample, const BYTE* pData) {
            if (pSample && writers[i]) writers[i]->Append(*pSample, pData);
        };
        return options;
    };
    if (FAILED(session.ConnectSinks(optionsFor, &error))) {
        PrintError(error);
        return kExitUsage;
    }
    bool bOk = true;
    for (size_t i = 0; i < session.OutputPinCount(); ++i) {
        pins.push_back(DescribePin(session, i));
        writers.push_back(OpenWriter(path, outDir, pins.back()));
        bOk = writers.back() && bOk;
    }

    CProgress progress(session, pins);
    HRESULT hr = session.Play();
    bool bEnded = SUCCEEDED(hr) && session.WaitForEndOfStreams(120000, [&] { progress.Tick(); });
    progress.Tick(true);
    session.Graph()->Stop();
    if (!bEnded) {
        PrintError(FAILED(hr) ? "the graph did not run: " + HresultWithName(hr) : "timed out waiting for end-of-stream");
        return kExitUsage;
    }
    for (const CHostGraph::Event& event : session.Graph()->Events()) {
        if (event.lCode != EC_STREAM_ERROR_STOPPED) continue;
        PrintError("the filter stopped a stream: " + HresultWithName(static_cast<HRESULT>(event.lParam1)));
        bOk = false;
    }
    std::string summary;
    for (size_t i = 0; i < pins.size(); ++i) {
        if (!writers[i]) continue;
        const StreamFile file = StreamFileFor(pins[i].subtype);
        if (!writers[i]->Close(&error)) {
            PrintError("pin " + std::to_string(pins[i].index) + " (" + GuidText(pins[i].subtype) + "): " + error);
            bOk = false;
            continue;
        }
        if (!summary.empty()) summary += ", ";
        summary += std::string(file.pszFileName) + " (" + file.pszDescription + ", " +
                   std::to_string(writers[i]->Frames()) + " frames, " + std::to_string(writers[i]->Bytes()) + " bytes)";
    }
    std::printf("3gpdemux: %s -> %s: %s\n", path.c_str(), outDir.c_str(), summary.empty() ? "nothing written" : summary.c_str());
    return bOk ? kExitOk : kExitUsage;
}
