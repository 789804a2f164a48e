// NKDbgPrintfW: the device's debug output. Here it goes to stderr as UTF-8,
// or to a sink a test installed.
#include <stdarg.h>
#include <stdio.h>

#include <mutex>
#include <vector>

#include "testhooks.h"
#include "wideformat.h"

namespace {
std::mutex g_sinkLock;
platformtest::DebugSink g_sink = nullptr;
void* g_sinkContext = nullptr;
}  // namespace

extern "C" void NKDbgPrintfW(LPCWSTR lpszFmt, ...)
{
    va_list args;
    va_start(args, lpszFmt);
    va_list again;
    va_copy(again, args);
    WCHAR small[512];
    size_t needed = standin::FormatWide(small, 512, lpszFmt, args);
    std::vector<WCHAR> large;
    const WCHAR* text = small;
    if (needed >= 512) {
        large.resize(needed + 1);
        standin::FormatWide(large.data(), large.size(), lpszFmt, again);
        text = large.data();
    }
    va_end(again);
    va_end(args);

    std::lock_guard<std::mutex> guard(g_sinkLock);
    if (g_sink) {
        g_sink(text, g_sinkContext);
        return;
    }
    std::vector<char> utf8(needed * 3 + 1);
    size_t used = 0;
    standin::AppendUtf8(text, needed, utf8.data(), utf8.size(), &used);
    fwrite(utf8.data(), 1, used, stderr);
}

namespace platformtest {
void SetDebugSink(DebugSink pfnSink, void* pContext)
{
    std::lock_guard<std::mutex> guard(g_sinkLock);
    g_sink = pfnSink;
    g_sinkContext = pContext;
}
}  // namespace platformtest
