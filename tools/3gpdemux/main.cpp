// 3gpdemux: what the filter makes of a 3GPP/MP4 file, before it goes on a device.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"

namespace {

void Usage(FILE* out)
{
    std::fprintf(out,
                 "usage: 3gpdemux COMMAND [ARGS]   (3gpdemux COMMAND --help for each)\n"
                 "commands:\n"
                 "  boxes [--all] FILE  print the file's box tree (fragments counted unless --all)\n"
                 "  info FILE           the filter's verdict, pins, media types and allocators, as JSON\n"
                 "  samples FILE [--start T] [--stop T] [--seek-at N:T]\n"
                 "                      play to the end; one JSON line per sample, segment, flush,\n"
                 "                      end-of-stream and graph event\n"
                 "  extract FILE OUTDIR write each pin's stream to a file ffmpeg and players read\n"
                 "  scan [--ext LIST] [-j N] [--timeout S] [--ffprobe] PATH...\n"
                 "                      check and play every clip under the PATHs, each in a child\n"
                 "                      process; a JSON line a file, then a summary\n"
                 "  timeline FILE -o OUT.svg [--start T] [--stop T] [--seek-at N:T]\n"
                 "                      what each pin delivered on the presentation clock, as SVG\n"
                 "  regfile [--dll-path PATH]\n"
                 "                      the registry entries DllRegisterServer writes, as a .reg file\n"
                 "Times are 100-ns units. The filter is created through COM from lib3gpDemux.so\n"
                 "(beside this program, or DEMUX_MODULE_PATH), registered into a registry file\n"
                 "in a temporary directory that is removed on exit.\n"
                 "Exit status: 0 success, 1 usage error, unreadable file or a graph that did not run,\n"
                 "2 file refused, 3 a play that stopped moving (samples). scan: 2 when any file was\n"
                 "refused or failed, 3 when any hung or crashed.\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        Usage(stderr);
        return kExitUsage;
    }
    std::string command = argv[1];
    if (IsHelp(command)) {
        Usage(stdout);
        return kExitOk;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "boxes") return RunBoxes(args);
    if (command == "info") return RunInfo(args);
    if (command == "samples") return RunSamples(args);
    if (command == "extract") return RunExtract(args);
    if (command == "regfile") return RunRegfile(args);
    if (command == "scan") return RunScan(args);
    if (command == "timeline") return RunTimeline(args);
    PrintError("unknown command '" + command + "'");
    Usage(stderr);
    return kExitUsage;
}
