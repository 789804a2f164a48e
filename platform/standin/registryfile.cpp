// The registry file: UTF-8 text in the manner of a .reg export, so that a
// person can read what a registration wrote.
//
//   [HKEY_CLASSES_ROOT\CLSID\{...}]      a key, by its full path
//   @="Orvane 3GPP Demux Filter"         the default value, REG_SZ
//   "ThreadingModel"="Both"              a named REG_SZ value
//   "Merit"=dword:00600000               REG_DWORD
//   "Other"=hex(3):01,02,ff              any other type or shape, as bytes
//
// A REG_SZ is written as text only when it is exactly one terminated string;
// in names and text, '\' and '"' are escaped with '\', and characters below
// 0x20 as \xHHHH. Lines starting with ';' are comments. The file is written
// to a neighbour and renamed over the old one, so a reader never sees half.
#include <stdio.h>

#include <fstream>
#include <sstream>

#include "registrystore.h"

#define ERROR_INVALID_DATA 13L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L

namespace standin {

namespace {

const char kHexDigits[] = "0123456789abcdef";

std::string Escape(const std::u16string& text)
{
    std::u16string escaped;
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"') {
            escaped.push_back(u'\\');
            escaped.push_back(c);
        } else if (c < 0x20) {
            escaped += u"\\x00";
            escaped.push_back(static_cast<char16_t>(kHexDigits[c >> 4]));
            escaped.push_back(static_cast<char16_t>(kHexDigits[c & 15]));
        } else {
            escaped.push_back(c);
        }
    }
    return Utf16ToUtf8(escaped);
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted, escaped string starting at line[*pPos] == '"'; leaves
// *pPos after the closing quote.
bool ParseQuoted(const std::string& line, size_t* pPos, std::u16string* pText)
{
    if (*pPos >= line.size() || line[*pPos] != '"') return false;
    std::string raw;
    std::u16string text;
    size_t pos = *pPos + 1;
    for (; pos < line.size() && line[pos] != '"'; ++pos) {
        if (line[pos] != '\\') {
            raw.push_back(line[pos]);
            continue;
        }
        if (++pos >= line.size()) return false;
        if (line[pos] == 'x') {
            if (pos + 4 >= line.size()) return false;
            unsigned code = 0;
            for (int i = 1; i <= 4; ++i) {
                int digit = HexValue(line[pos + i]);
                if (digit < 0) return false;
                code = code * 16 + static_cast<unsigned>(digit);
            }
            text += Utf8ToUtf16(raw);
            raw.clear();
            text.push_back(static_cast<char16_t>(code));
            pos += 4;
        } else {
            raw.push_back(line[pos]);
        }
    }
    if (pos >= line.size()) return false;
    *pText = text + Utf8ToUtf16(raw);
    *pPos = pos + 1;
    return true;
}

// A REG_SZ that is one terminated string with nothing after it.
bool IsPlainString(const RegValue& value, std::u16string* pText)
{
    if (value.dwType != REG_SZ || value.data.size() < 2 || value.data.size() % 2 != 0) return false;
    size_t cch = value.data.size() / 2;
    std::u16string text(cch, u'\0');
    for (size_t i = 0; i < cch; ++i) {
        text[i] = static_cast<char16_t>(value.data[2 * i] | (value.data[2 * i + 1] << 8));
    }
    if (text.back() != 0 || text.find(u'\0') != cch - 1) return false;
    text.pop_back();
    *pText = text;
    return true;
}

std::string FormatValue(const RegValue& value)
{
    std::string line = value.name.empty() ? "@=" : "\"" + Escape(value.name) + "\"=";
    std::u16string text;
    if (IsPlainString(value, &text)) return line + "\"" + Escape(text) + "\"";
    if (value.dwType == REG_DWORD && value.data.size() == 4) {
        char sz[16];
        snprintf(sz, sizeof(sz), "dword:%02x%02x%02x%02x", value.data[3], value.data[2], value.data[1],
                 value.data[0]);
        return line + sz;
    }
    line += "hex(" + std::to_string(value.dwType) + "):";
    for (size_t i = 0; i < value.data.size(); ++i) {
        if (i) line.push_back(',');
        line.push_back(kHexDigits[value.data[i] >> 4]);
        line.push_back(kHexDigits[value.data[i] & 15]);
    }
    return line;
}

// "dword:...", "hex(N):..." or a quoted string, from line[pos].
bool ParseData(const std::string& line, size_t pos, RegValue* pValue)
{
    std::string rest = line.substr(pos);
    if (!rest.empty() && rest[0] == '"') {
        std::u16string text;
        if (!ParseQuoted(line, &pos, &text) || pos != line.size()) return false;
        pValue->dwType = REG_SZ;
        text.push_back(0);
        pValue->data.clear();
        for (char16_t c : text) {
            pValue->data.push_back(static_cast<BYTE>(c & 0xFF));
            pValue->data.push_back(static_cast<BYTE>(c >> 8));
        }
        return true;
    }
    if (rest.compare(0, 6, "dword:") == 0 && rest.size() == 14) {
        DWORD dw = 0;
        for (size_t i = 6; i < 14; ++i) {
            int digit = HexValue(rest[i]);
            if (digit < 0) return false;
            dw = dw * 16 + static_cast<DWORD>(digit);
        }
        pValue->dwType = REG_DWORD;
        pValue->data.assign(reinterpret_cast<const BYTE*>(&dw), reinterpret_cast<const BYTE*>(&dw) + 4);
        return true;
    }
    unsigned long type = 0;
    int consumed = 0;
    if (sscanf(rest.c_str(), "hex(%lu):%n", &type, &consumed) != 1 || consumed == 0) return false;
    pValue->dwType = static_cast<DWORD>(type);
    pValue->data.clear();
    for (size_t i = static_cast<size_t>(consumed); i < rest.size(); i += 3) {
        if (i + 1 >= rest.size() || HexValue(rest[i]) < 0 || HexValue(rest[i + 1]) < 0) return false;
        if (i + 2 < rest.size() && rest[i + 2] != ',') return false;
        pValue->data.push_back(static_cast<BYTE>(HexValue(rest[i]) * 16 + HexValue(rest[i + 1])));
    }
    return true;
}

// "[HKEY_...\a\b]": creates the key and every key on its path.
bool ParseKeyLine(const std::string& line, RegKeyMap* pKeys, std::u16string* pPath)
{
    if (line.size() < 2 || line.back() != ']') return false;
    std::u16string full = Utf8ToUtf16(line.substr(1, line.size() - 2));
    size_t slash = full.find(u'\\');
    std::u16string path = RootFromDisplayName(full.substr(0, slash));
    if (path.empty() || slash == std::u16string::npos) return false;
    size_t start = slash + 1;
    while (start <= full.size()) {
        size_t end = full.find(u'\\', start);
        if (end == std::u16string::npos) end = full.size();
        if (end == start) return false;
        std::u16string part = full.substr(start, end - start);
        path += u"\\" + FoldCase(part);
        RegKey& key = (*pKeys)[path];
        if (key.name.empty()) key.name = part;
        start = end + 1;
    }
    *pPath = path;
    return true;
}

bool ParseValueLine(const std::string& line, RegKey* pKey)
{
    RegValue value;
    size_t pos = 0;
    if (line.compare(0, 1, "@") == 0) {
        pos = 1;
    } else if (!ParseQuoted(line, &pos, &value.name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=') return false;
    if (!ParseData(line, pos + 1, &value)) return false;
    pKey->values[FoldCase(value.name)] = value;
    return true;
}

// The display path of a folded path: the root's full name and each key's spelling.
std::string DisplayPath(const RegKeyMap& keys, const std::u16string& path)
{
    size_t slash = path.find(u'\\');
    std::u16string display = RootDisplayName(path.substr(0, slash));
    while (slash != std::u16string::npos) {
        size_t next = path.find(u'\\', slash + 1);
        auto key = keys.find(path.substr(0, next));
        display += u"\\" + (key != keys.end() ? key->second.name : path.substr(slash + 1, next - slash - 1));
        slash = next;
    }
    return Utf16ToUtf8(display);
}

}  // namespace

LONG LoadRegistryFile(const std::string& path, RegKeyMap* pKeys)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return ERROR_FILE_NOT_FOUND;
    RegKeyMap keys;
    RegKey* pCurrent = nullptr;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            std::u16string keyPath;
            if (!ParseKeyLine(line, &keys, &keyPath)) return ERROR_INVALID_DATA;
            pCurrent = &keys[keyPath];
        } else if (!pCurrent || !ParseValueLine(line, pCurrent)) {
            return ERROR_INVALID_DATA;
        }
    }
    if (in.bad()) return ERROR_READ_FAULT;
    pKeys->swap(keys);
    return ERROR_SUCCESS;
}

LONG SaveRegistryFile(const std::string& path, const RegKeyMap& keys)
{
    std::ostringstream text;
    text << "; Host registry of 3gpDemux: [key], then its values.\n";
    for (const auto& entry : keys) {
        text << "\n[" << DisplayPath(keys, entry.first) << "]\n";
        for (const auto& value : entry.second.values) text << FormatValue(value.second) << "\n";
    }
    std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) return ERROR_WRITE_FAULT;
        out << text.str();
        out.flush();
        if (!out) return ERROR_WRITE_FAULT;
    }
    if (rename(temporary.c_str(), path.c_str()) != 0) return ERROR_WRITE_FAULT;
    return ERROR_SUCCESS;
}

std::string Utf16ToUtf8(const std::u16string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned cp = s[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::u16string Utf8ToUtf16(const std::string& s)
{
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
        if (len == 0 || i + len > s.size()) {
            out.push_back(u'\xFFFD');
            ++i;
            continue;
        }
        unsigned cp = len == 1 ? c : c & (0xFF >> (len + 1));
        for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

}  // namespace standin
