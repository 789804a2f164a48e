// demux_wine_test: drives 3gpDemux.dll through Wine's DirectShow for
// tools/wine-test.sh.
//   demux_wine_test play FILE N T      the graph runs of graphplay.cpp
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "wineprogram.h"

namespace {

// A decimal argument; false for anything else.
bool ParseNumber(const WCHAR* psz, long long* pllValue)
{
    std::string text;
    for (; *psz; ++psz) text += *psz < 128 ? static_cast<char>(*psz) : '?';
    char* pEnd = nullptr;
    *pllValue = std::strtoll(text.c_str(), &pEnd, 10);
    return !text.empty() && *pEnd == 0;
}

int Usage()
{
    std::fputs("usage: demux_wine_test play FILE HOLD_SAMPLES SEEK_TIME\n", stderr);
    return 2;
}

}  // namespace

int wmain(int argc, WCHAR** argv)
{
    // Lines end in "\n" alone, as the Linux tool's do.
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2) return Usage();
    const WideString command = argv[1];
    if (command != L"play" || argc != 5) return Usage();

    long long llHold = 0, llSeek = 0;
    if (!ParseNumber(argv[3], &llHold) || !ParseNumber(argv[4], &llSeek) || llHold < 1 || llSeek < 0) return Usage();
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    int iResult = PlayThroughGraph(argv[2], static_cast<size_t>(llHold), llSeek);
    CoUninitialize();
    return iResult;
}
