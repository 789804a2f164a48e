// Captures the debug output (NKDbgPrintfW) while in scope, as UTF-8.
#ifndef TESTS_DEBUGCAPTURE_H
#define TESTS_DEBUGCAPTURE_H

#include <mutex>
#include <string>
#include <vector>

#include "win32.h"

class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    // Everything written so far, concatenated.
    std::string Text() const;
    // Each separate NKDbgPrintfW call's text, in order.
    std::vector<std::string> Pieces() const;
    void Clear();

private:
    static void Sink(const WCHAR* pwszText, void* pContext);
    mutable std::mutex m_lock;
    std::vector<std::string> m_pieces;
};

// UTF-16 (as WCHAR) to UTF-8; null gives "".
std::string ToUtf8(const WCHAR* pwsz);
std::string ToUtf8(const WCHAR* pwsz, size_t cch);
// UTF-8 to a zero-terminated UTF-16 buffer.
std::vector<WCHAR> ToWide(const std::string& text);

#endif
