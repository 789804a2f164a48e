// 3gpdemux: what the filter makes of a 3GPP/MP4 file, before it goes on a device.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"

namespace {
void Usage(FILE* out)
{
    std::fprintf(out,
                 "usage: 3gpdemux COMMAND FILE\n"
                 "commands:\n"
                 "  boxes FILE    print the file's box tree\n");
}
}  // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        Usage(stdout);
        return 0;
    }
    if (argc != 3) {
        Usage(stderr);
        return 1;
    }
    std::string command = argv[1];
    if (command == "boxes") return RunBoxes(argv[2]);
    std::fprintf(stderr, "3gpdemux: unknown command '%s'\n", command.c_str());
    Usage(stderr);
    return 1;
}
