// "3gpdemux boxes FILE": the file's box tree as the parser's box reader sees
// it, for checking a file's structure before it goes on a device.
#include <cstdio>
#include <string>

#include "commands.h"
#include "moviebox.h"

namespace {

// Containers whose children are listed; "stsd" and "meta" start after a
// 4-byte count or version word.
bool IsContainer(DWORD dwType, DWORD* pdwChildStart)
{
    static const char* const kContainers[] = {"moov", "trak", "mdia", "minf", "stbl", "edts", "udta",
                                              "dinf", "ilst", "mvex", "moof", "traf", "stsd", "meta"};
    char name[5] = {static_cast<char>(dwType >> 24), static_cast<char>(dwType >> 16),
                    static_cast<char>(dwType >> 8), static_cast<char>(dwType), 0};
    for (const char* c : kContainers) {
        if (std::string(c) == name) {
            *pdwChildStart = (std::string(name) == "stsd" || std::string(name) == "meta") ? 4 : 0;
            return true;
        }
    }
    return false;
}

std::string FourCCText(DWORD dwType)
{
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((dwType >> shift) & 0xFF);
        s += (c >= 32 && c < 127) ? c : '.';
    }
    return s;
}

void PrintBox(CBox* pBox, int depth)
{
    std::printf("%*s%s offset=%llu size=%lld header=%u\n", depth * 2, "", FourCCText(pBox->GetType()).c_str(),
                static_cast<unsigned long long>(pBox->GetFileOffset()), static_cast<long long>(pBox->GetSize()),
                pBox->GetHeaderLength());
    DWORD dwStart = 0;
    if (depth > 32 || !IsContainer(pBox->GetType(), &dwStart)) return;
    // "stsd" starts with its version and flags, then the entry count; "meta"
    // only with its version and flags, which the start offset skips.
    if (pBox->GetType() == 0x73747364 /* "stsd" */ && FAILED(pBox->ReadFullBoxHeader())) return;
    pBox->EnumerateChildren(dwStart);
    for (DWORD i = 0; i < pBox->GetEnumeratedChildCount(); ++i) PrintBox(pBox->GetChild(i), depth + 1);
}

// Prints the top-level boxes. A fragmented file holds a "moof" and an "mdat"
// for every second or so of media: after the first fragment, the others are
// counted on one line unless every box is asked for.
void PrintTopLevel(CBox& file, bool bAll)
{
    const DWORD dwMoof = 0x6D6F6F66;
    const DWORD dwMdat = 0x6D646174;
    bool bFragmentShown = false;
    bool bInSkipped = false;
    unsigned long long first = 0, last = 0;
    DWORD dwSkipped = 0;
    auto flush = [&]() {
        if (dwSkipped != 0)
            std::printf("... %u more moof boxes with their mdat (offsets %llu to %llu); boxes --all lists them\n",
                        dwSkipped, first, last);
        dwSkipped = 0;
    };
    for (DWORD i = 0; i < file.GetEnumeratedChildCount(); ++i) {
        CBox* pBox = file.GetChild(i);
        const bool bMoof = pBox->GetType() == dwMoof;
        if (!bAll && bMoof && bFragmentShown) {
            if (dwSkipped++ == 0) first = pBox->GetFileOffset();
            last = pBox->GetFileOffset();
            bInSkipped = true;
            continue;
        }
        if (bInSkipped && pBox->GetType() == dwMdat) continue;
        bInSkipped = false;
        flush();
        bFragmentShown = bFragmentShown || bMoof;
        PrintBox(pBox, 0);
    }
    flush();
}

}  // namespace

int RunBoxes(const std::vector<std::string>& args)
{
    if (args.size() == 1 && IsHelp(args[0])) {
        std::printf("usage: 3gpdemux boxes [--all] FILE\n"
                    "Prints the file's box tree: type, file offset, size and header length of each box.\n"
                    "Of a fragmented file only the first moof is listed and the others counted;\n"
                    "--all lists every one.\n");
        return kExitOk;
    }
    const bool bAll = args.size() == 2 && args[0] == "--all";
    if (args.size() != (bAll ? 2u : 1u)) {
        PrintError("usage: 3gpdemux boxes [--all] FILE");
        return kExitUsage;
    }
    const std::string& path = args.back();
    if (!CheckReadableFile(path)) return kExitUsage;
    FileByteSource source(path);
    if (!source.IsOpen()) {
        PrintError("cannot open " + path);
        return kExitUsage;
    }
    LONGLONG llLength = source.Length();
    // The whole file as one parent, so top-level boxes are enumerated like children.
    CBox file(&source, 0x66696C65 /* "file" */, 0, llLength, 0);
    file.EnumerateChildren(0);
    PrintTopLevel(file, bAll);
    return 0;
}
