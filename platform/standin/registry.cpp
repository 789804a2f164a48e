// The registry functions over the store of registrystore.h. Handles returned
// by RegOpenKeyExW/RegCreateKeyExW are heap records naming a folded path;
// the predefined roots are their own names. When a file is attached, every
// change is written to it before the call returns.
#include <stdlib.h>

#include <algorithm>
#include <mutex>
#include <new>

#include "comtesthooks.h"
#include "hostregistry.h"
#include "registrystore.h"

using standin::FoldCase;
using standin::RegKey;
using standin::RegKeyMap;
using standin::RegValue;

namespace {

struct OpenKey {
    std::u16string path;  // folded, "root\sub\key"
};

struct Registry {
    std::mutex lock;
    RegKeyMap keys;
    std::string file;  // "" when in memory only
    bool bStarted = false;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

// Takes the lock; on first use attaches the file the environment names.
class RegistryAccess {
public:
    RegistryAccess() : m_reg(TheRegistry()), m_guard(m_reg.lock)
    {
        if (m_reg.bStarted) return;
        m_reg.bStarted = true;
        const char* pszFile = getenv("DEMUX_REGISTRY_FILE");
        if (!pszFile || !*pszFile) return;
        LONG lResult = standin::LoadRegistryFile(pszFile, &m_reg.keys);
        if (lResult == ERROR_SUCCESS || lResult == ERROR_FILE_NOT_FOUND) m_reg.file = pszFile;
    }
    RegKeyMap& Keys() { return m_reg.keys; }
    // Writes the store to the attached file after a change.
    LONG Changed() { return m_reg.file.empty() ? ERROR_SUCCESS : standin::SaveRegistryFile(m_reg.file, m_reg.keys); }
    Registry& Reg() { return m_reg; }

private:
    Registry& m_reg;
    std::lock_guard<std::mutex> m_guard;
};

const std::u16string kRoots[][2] = {
    {u"hkcr", u"HKEY_CLASSES_ROOT"},
    {u"hkcu", u"HKEY_CURRENT_USER"},
    {u"hklm", u"HKEY_LOCAL_MACHINE"},
    {u"hku", u"HKEY_USERS"},
};

bool RootName(HKEY hKey, std::u16string* pName)
{
    if (hKey == HKEY_CLASSES_ROOT) *pName = u"hkcr";
    else if (hKey == HKEY_CURRENT_USER) *pName = u"hkcu";
    else if (hKey == HKEY_LOCAL_MACHINE) *pName = u"hklm";
    else if (hKey == HKEY_USERS) *pName = u"hku";
    else return false;
    return true;
}

std::u16string ToU16(LPCWSTR psz)
{
    std::u16string s;
    for (; psz && *psz; ++psz) s.push_back(static_cast<char16_t>(*psz));
    return s;
}

// The components of a subkey path, empty ones (doubled or outer '\') dropped.
std::vector<std::u16string> SplitSubKey(LPCWSTR lpSubKey)
{
    std::vector<std::u16string> parts;
    std::u16string sub = ToU16(lpSubKey);
    size_t start = 0;
    while (start < sub.size()) {
        size_t end = sub.find(u'\\', start);
        if (end == std::u16string::npos) end = sub.size();
        if (end > start) parts.push_back(sub.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

// The folded path of hKey; false for a bad handle.
bool BasePath(HKEY hKey, std::u16string* pPath)
{
    if (!hKey) return false;
    if (!RootName(hKey, pPath)) *pPath = static_cast<OpenKey*>(hKey)->path;
    return true;
}

bool FullPath(HKEY hKey, LPCWSTR lpSubKey, std::u16string* pPath)
{
    if (!BasePath(hKey, pPath)) return false;
    for (const std::u16string& part : SplitSubKey(lpSubKey)) *pPath += u"\\" + FoldCase(part);
    return true;
}

bool IsRootPath(const std::u16string& path)
{
    return path.find(u'\\') == std::u16string::npos;
}

bool IsDirectChild(const std::u16string& parent, const std::u16string& path)
{
    return path.size() > parent.size() + 1 && path.compare(0, parent.size(), parent) == 0 &&
           path[parent.size()] == u'\\' && path.find(u'\\', parent.size() + 1) == std::u16string::npos;
}

// Copies text and its terminator into a buffer of *pcch characters; on
// return *pcch is the length without the terminator.
LONG CopyName(const std::u16string& text, LPWSTR lpName, LPDWORD lpcch)
{
    if (!lpName || !lpcch) return ERROR_INVALID_PARAMETER;
    if (*lpcch <= text.size()) return ERROR_MORE_DATA;
    std::copy(text.begin(), text.end(), lpName);
    lpName[text.size()] = 0;
    *lpcch = static_cast<DWORD>(text.size());
    return ERROR_SUCCESS;
}

}  // namespace

namespace standin {

std::u16string FoldCase(const std::u16string& s)
{
    std::u16string folded(s);
    for (char16_t& c : folded) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return folded;
}

std::u16string RootFromDisplayName(const std::u16string& displayName)
{
    std::u16string folded = FoldCase(displayName);
    for (const auto& root : kRoots) {
        if (FoldCase(root[1]) == folded) return root[0];
    }
    return std::u16string();
}

std::u16string RootDisplayName(const std::u16string& root)
{
    for (const auto& entry : kRoots) {
        if (entry[0] == root) return entry[1];
    }
    return std::u16string();
}

}  // namespace standin

extern "C" LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult)
{
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::u16string path;
    if (!FullPath(hKey, lpSubKey, &path)) return ERROR_INVALID_HANDLE;
    RegistryAccess access;
    if (!IsRootPath(path) && access.Keys().find(path) == access.Keys().end()) return ERROR_FILE_NOT_FOUND;
    OpenKey* pKey = new (std::nothrow) OpenKey{path};
    if (!pKey) return 14;  // ERROR_OUTOFMEMORY
    *phkResult = pKey;
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM,
                                       LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::u16string path;
    if (!BasePath(hKey, &path)) return ERROR_INVALID_HANDLE;
    std::vector<std::u16string> parts = SplitSubKey(lpSubKey);
    for (const std::u16string& part : parts) {
        // The registry file is line-based; such names are not worth escaping.
        for (char16_t c : part) {
            if (c < 0x20) return ERROR_INVALID_PARAMETER;
        }
    }
    RegistryAccess access;
    if (!IsRootPath(path) && access.Keys().find(path) == access.Keys().end()) return ERROR_FILE_NOT_FOUND;
    bool bCreated = false;
    // Every key on the way is created too.
    for (const std::u16string& part : parts) {
        path += u"\\" + FoldCase(part);
        auto found = access.Keys().find(path);
        if (found == access.Keys().end()) {
            access.Keys()[path].name = part;
            bCreated = true;
        }
    }
    OpenKey* pKey = new (std::nothrow) OpenKey{path};
    if (!pKey) return 14;
    LONG lResult = bCreated ? access.Changed() : ERROR_SUCCESS;
    if (lResult != ERROR_SUCCESS) {
        delete pKey;
        return lResult;
    }
    if (lpdwDisposition) *lpdwDisposition = bCreated ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = pKey;
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                        LPDWORD lpcbData)
{
    std::u16string path;
    if (!BasePath(hKey, &path)) return ERROR_INVALID_HANDLE;
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    RegistryAccess access;
    auto key = access.Keys().find(path);
    if (key == access.Keys().end()) return ERROR_FILE_NOT_FOUND;
    auto value = key->second.values.find(FoldCase(ToU16(lpValueName)));
    if (value == key->second.values.end()) return ERROR_FILE_NOT_FOUND;
    DWORD cb = static_cast<DWORD>(value->second.data.size());
    if (lpType) *lpType = value->second.dwType;
    if (lpData && *lpcbData < cb) {
        *lpcbData = cb;
        return ERROR_MORE_DATA;
    }
    if (lpData) std::copy(value->second.data.begin(), value->second.data.end(), lpData);
    if (lpcbData) *lpcbData = cb;
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData,
                                      DWORD cbData)
{
    std::u16string path;
    if (!BasePath(hKey, &path) || IsRootPath(path)) return ERROR_INVALID_HANDLE;
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    std::u16string name = ToU16(lpValueName);
    RegistryAccess access;
    auto key = access.Keys().find(path);
    if (key == access.Keys().end()) return ERROR_FILE_NOT_FOUND;
    RegValue& value = key->second.values[FoldCase(name)];
    value.name = name;
    value.dwType = dwType;
    value.data.assign(lpData, lpData + cbData);
    return access.Changed();
}

extern "C" LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
{
    std::u16string path;
    if (!BasePath(hKey, &path)) return ERROR_INVALID_HANDLE;
    RegistryAccess access;
    auto key = access.Keys().find(path);
    if (key == access.Keys().end() || key->second.values.erase(FoldCase(ToU16(lpValueName))) == 0) {
        return ERROR_FILE_NOT_FOUND;
    }
    return access.Changed();
}

extern "C" LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
{
    std::u16string path;
    if (!FullPath(hKey, lpSubKey, &path) || IsRootPath(path)) return ERROR_INVALID_PARAMETER;
    RegistryAccess access;
    auto key = access.Keys().find(path);
    if (key == access.Keys().end()) return ERROR_FILE_NOT_FOUND;
    // Not the key's successor: "a\b2" sorts between "a\b" and "a\b\c".
    auto child = access.Keys().lower_bound(path + u"\\");
    if (child != access.Keys().end() && child->first.compare(0, path.size() + 1, path + u"\\") == 0) {
        return ERROR_ACCESS_DENIED;  // the key still has subkeys
    }
    access.Keys().erase(key);
    return access.Changed();
}

extern "C" LONG WINAPI RegCloseKey(HKEY hKey)
{
    std::u16string root;
    if (!hKey) return ERROR_INVALID_HANDLE;
    if (!RootName(hKey, &root)) delete static_cast<OpenKey*>(hKey);
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD,
                                     LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime)
{
    std::u16string path;
    if (!BasePath(hKey, &path)) return ERROR_INVALID_HANDLE;
    RegistryAccess access;
    if (!IsRootPath(path) && access.Keys().find(path) == access.Keys().end()) return ERROR_FILE_NOT_FOUND;
    // The map is ordered by folded path, so a key's children follow it in name order.
    DWORD dwSeen = 0;
    for (auto it = access.Keys().lower_bound(path + u"\\");
         it != access.Keys().end() && it->first.compare(0, path.size() + 1, path + u"\\") == 0; ++it) {
        if (!IsDirectChild(path, it->first)) continue;
        if (dwSeen++ != dwIndex) continue;
        if (lpClass && lpcchClass && *lpcchClass > 0) {
            lpClass[0] = 0;
            *lpcchClass = 0;
        }
        if (lpftLastWriteTime) {
            lpftLastWriteTime->dwLowDateTime = 0;
            lpftLastWriteTime->dwHighDateTime = 0;
        }
        return CopyName(it->second.name, lpName, lpcchName);
    }
    return ERROR_NO_MORE_ITEMS;
}

extern "C" LONG WINAPI RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName,
                                     LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData)
{
    std::u16string path;
    if (!BasePath(hKey, &path)) return ERROR_INVALID_HANDLE;
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    RegistryAccess access;
    auto key = access.Keys().find(path);
    if (key == access.Keys().end()) return IsRootPath(path) ? ERROR_NO_MORE_ITEMS : ERROR_FILE_NOT_FOUND;
    if (dwIndex >= key->second.values.size()) return ERROR_NO_MORE_ITEMS;
    const RegValue& value = std::next(key->second.values.begin(), dwIndex)->second;
    LONG lResult = CopyName(value.name, lpValueName, lpcchValueName);
    if (lResult != ERROR_SUCCESS) return lResult;
    DWORD cb = static_cast<DWORD>(value.data.size());
    if (lpType) *lpType = value.dwType;
    if (lpData && *lpcbData < cb) {
        *lpcbData = cb;
        return ERROR_MORE_DATA;
    }
    if (lpData) std::copy(value.data.begin(), value.data.end(), lpData);
    if (lpcbData) *lpcbData = cb;
    return ERROR_SUCCESS;
}

namespace platformhost {

LONG UseRegistryFile(const std::string& path)
{
    RegistryAccess access;
    if (path.empty()) {
        access.Reg().file.clear();
        access.Keys().clear();
        return ERROR_SUCCESS;
    }
    RegKeyMap keys;
    LONG lResult = standin::LoadRegistryFile(path, &keys);
    if (lResult != ERROR_SUCCESS && lResult != ERROR_FILE_NOT_FOUND) return lResult;
    access.Keys().swap(keys);
    access.Reg().file = path;
    return ERROR_SUCCESS;
}

std::string RegistryFile()
{
    RegistryAccess access;
    return access.Reg().file;
}

}  // namespace platformhost

namespace platformtest {
void ClearRegistry()
{
    RegistryAccess access;
    access.Keys().clear();
    access.Changed();
}
}  // namespace platformtest
