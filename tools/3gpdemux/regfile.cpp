// "3gpdemux regfile [--dll-path PATH]": the registry entries DllRegisterServer
// writes (the COM server's keys and the filter mapper's: merit, pins, media
// types), taken from a real registration into an empty registry and printed
// as a .reg file for a device image. The module's own path in
// InprocServer32 becomes the path the image installs it at.
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "comserver.h"
#include "textformat.h"

namespace {

const char kUsage[] =
    "usage: 3gpdemux regfile [--dll-path PATH]\n"
    "Registers lib3gpDemux.so with its own DllRegisterServer into an empty registry and prints\n"
    "every key and value it wrote as a .reg file for a device image's registry (REG_SZ as text,\n"
    "REG_DWORD as dword:, REG_BINARY as hex:, other types as hex(N):). The InprocServer32 default\n"
    "value, the module's path, becomes PATH (default \\Windows\\3gpDemux.dll).\n";

const char kHexDigits[] = "0123456789abcdef";

std::string Quoted(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string WideText(const std::vector<uint8_t>& data)
{
    std::vector<WCHAR> text(data.size() / 2 + 1, 0);
    for (size_t i = 0; i + 1 < data.size(); i += 2) text[i / 2] = static_cast<WCHAR>(data[i] | (data[i + 1] << 8));
    return Utf8FromWide(text.data());
}

// A string stored with exactly one terminator, as regedit writes text.
bool IsPlainString(DWORD dwType, const std::vector<uint8_t>& data)
{
    if (dwType != REG_SZ || data.size() < 2 || data.size() % 2 != 0) return false;
    for (size_t i = 0; i + 2 < data.size(); i += 2) {
        if (data[i] == 0 && data[i + 1] == 0) return false;
    }
    return data[data.size() - 2] == 0 && data[data.size() - 1] == 0;
}

std::string ValueLine(const std::string& name, DWORD dwType, const std::vector<uint8_t>& data)
{
    std::string line = (name.empty() ? "@" : Quoted(name)) + "=";
    if (IsPlainString(dwType, data)) return line + Quoted(WideText(data));
    if (dwType == REG_DWORD && data.size() == 4) {
        char sz[16];
        std::snprintf(sz, sizeof(sz), "dword:%02x%02x%02x%02x", data[3], data[2], data[1], data[0]);
        return line + sz;
    }
    line += dwType == REG_BINARY ? "hex:" : "hex(" + std::to_string(dwType) + "):";
    for (size_t i = 0; i < data.size(); ++i) {
        if (i) line += ',';
        line += kHexDigits[data[i] >> 4];
        line += kHexDigits[data[i] & 15];
    }
    return line;
}

// Prints the key and everything under it: a key with values or without
// subkeys gets its own section (an importer creates the keys in between).
void PrintKey(HKEY hKey, const std::string& path, const std::string& dllPath, bool bInprocServer)
{
    std::vector<std::string> lines;
    for (DWORD i = 0;; ++i) {
        WCHAR wszName[256];
        DWORD cchName = 256, dwType = 0, cbData = 0;
        if (RegEnumValueW(hKey, i, wszName, &cchName, nullptr, &dwType, nullptr, &cbData) != ERROR_SUCCESS) break;
        std::vector<uint8_t> data(cbData);
        cchName = 256;
        if (RegEnumValueW(hKey, i, wszName, &cchName, nullptr, &dwType, data.data(), &cbData) != ERROR_SUCCESS) break;
        data.resize(cbData);
        const std::string name = Utf8FromWide(wszName);
        if (bInprocServer && name.empty() && dwType == REG_SZ) {
            lines.push_back("@=" + Quoted(dllPath));
        } else {
            lines.push_back(ValueLine(name, dwType, data));
        }
    }
    // Names with their terminators: WCHAR is 16-bit here, which the C
    // library's wide-string functions (and so std::basic_string) do not know.
    std::vector<std::vector<WCHAR>> subkeys;
    for (DWORD i = 0;; ++i) {
        WCHAR wszName[256];
        DWORD cchName = 256;
        if (RegEnumKeyExW(hKey, i, wszName, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subkeys.emplace_back(wszName, wszName + cchName + 1);
    }
    if (!lines.empty() || subkeys.empty()) {
        std::printf("\n[%s]\n", path.c_str());
        for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    }
    for (const std::vector<WCHAR>& subkey : subkeys) {
        HKEY hSubkey = nullptr;
        if (RegOpenKeyExW(hKey, subkey.data(), 0, KEY_READ, &hSubkey) != ERROR_SUCCESS) continue;
        const std::string name = Utf8FromWide(subkey.data());
        PrintKey(hSubkey, path + "\\" + name, dllPath, name == "InprocServer32");
        RegCloseKey(hSubkey);
    }
}

}  // namespace

int RunRegfile(const std::vector<std::string>& args)
{
    std::string dllPath = "\\Windows\\3gpDemux.dll";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args.size() == 1 && IsHelp(args[i])) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (args[i] == "--dll-path" && i + 1 < args.size()) {
            dllPath = args[++i];
        } else {
            PrintError("unexpected argument " + args[i]);
            std::fputs(kUsage, stderr);
            return kExitUsage;
        }
    }
    CToolComServer server;
    std::string error;
    if (FAILED(server.Register(&error))) {
        PrintError(error);
        return kExitUsage;
    }
    std::printf("; 3gpDemux: what DllRegisterServer writes, for the image's registry (3gpdemux regfile)\n");
    static const struct {
        HKEY hRoot;
        const char* pszName;
    } kRoots[] = {{HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
                  {HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
                  {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
                  {HKEY_USERS, "HKEY_USERS"}};
    for (const auto& root : kRoots) {
        for (DWORD i = 0;; ++i) {
            WCHAR wszName[256];
            DWORD cchName = 256;
            if (RegEnumKeyExW(root.hRoot, i, wszName, &cchName, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            HKEY hKey = nullptr;
            if (RegOpenKeyExW(root.hRoot, wszName, 0, KEY_READ, &hKey) != ERROR_SUCCESS) continue;
            PrintKey(hKey, std::string(root.pszName) + "\\" + Utf8FromWide(wszName), dllPath, false);
            RegCloseKey(hKey);
        }
    }
    return kExitOk;
}
