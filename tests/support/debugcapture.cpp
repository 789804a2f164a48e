#include "debugcapture.h"

#include "testhooks.h"

DebugCapture::DebugCapture()
{
    platformtest::SetDebugSink(&DebugCapture::Sink, this);
}

DebugCapture::~DebugCapture()
{
    platformtest::SetDebugSink(nullptr, nullptr);
}

void DebugCapture::Sink(const WCHAR* pwszText, void* pContext)
{
    DebugCapture* self = static_cast<DebugCapture*>(pContext);
    std::lock_guard<std::mutex> guard(self->m_lock);
    self->m_pieces.push_back(ToUtf8(pwszText));
}

std::string DebugCapture::Text() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    std::string all;
    for (const std::string& piece : m_pieces) all += piece;
    return all;
}

std::vector<std::string> DebugCapture::Pieces() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pieces;
}

void DebugCapture::Clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_pieces.clear();
}

std::string ToUtf8(const WCHAR* pwsz)
{
    if (!pwsz) return std::string();
    return ToUtf8(pwsz, static_cast<size_t>(lstrlenW(pwsz)));
}

std::string ToUtf8(const WCHAR* pwsz, size_t cch)
{
    if (!pwsz || cch == 0) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, pwsz, static_cast<int>(cch), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, pwsz, static_cast<int>(cch), &out[0], n, nullptr, nullptr);
    return out;
}

std::vector<WCHAR> ToWide(const std::string& text)
{
    std::vector<WCHAR> out(text.size() + 1, 0);
    if (!text.empty()) {
        int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                    static_cast<int>(out.size()));
        out.resize(static_cast<size_t>(n) + 1);
        out[static_cast<size_t>(n)] = 0;
    }
    return out;
}
