// The registry as an in-memory store: keys by full path (compared without
// case, as the registry does), each with its values. Handles returned by
// RegOpenKeyExW/RegCreateKeyExW are heap records naming a path; the
// predefined roots are their own names.
#include <algorithm>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "comtesthooks.h"

namespace {

struct Value {
    DWORD dwType = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::map<std::u16string, Value> values;  // by lower-cased name
};

struct OpenKey {
    std::u16string path;  // lower-cased, "root\sub\key"
};

std::mutex& StoreLock()
{
    static std::mutex m;
    return m;
}

std::map<std::u16string, Key>& Store()
{
    static std::map<std::u16string, Key> keys;
    return keys;
}

std::u16string Lower(LPCWSTR psz)
{
    std::u16string s;
    if (!psz) return s;
    for (; *psz; ++psz) {
        char16_t c = static_cast<char16_t>(*psz);
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        s.push_back(c);
    }
    return s;
}

bool RootName(HKEY hKey, std::u16string* pName)
{
    if (hKey == HKEY_CLASSES_ROOT) *pName = u"hkcr";
    else if (hKey == HKEY_CURRENT_USER) *pName = u"hkcu";
    else if (hKey == HKEY_LOCAL_MACHINE) *pName = u"hklm";
    else if (hKey == HKEY_USERS) *pName = u"hku";
    else return false;
    return true;
}

// The full path of hKey + subkey; false for a bad handle.
bool FullPath(HKEY hKey, LPCWSTR lpSubKey, std::u16string* pPath)
{
    if (!hKey) return false;
    if (!RootName(hKey, pPath)) *pPath = static_cast<OpenKey*>(hKey)->path;
    std::u16string sub = Lower(lpSubKey);
    size_t start = 0;
    while (start < sub.size()) {
        size_t end = sub.find(u'\\', start);
        if (end == std::u16string::npos) end = sub.size();
        if (end > start) *pPath += u"\\" + sub.substr(start, end - start);
        start = end + 1;
    }
    return true;
}

bool IsRootPath(const std::u16string& path)
{
    return path.find(u'\\') == std::u16string::npos;
}

}  // namespace

extern "C" LONG WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult)
{
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::u16string path;
    if (!FullPath(hKey, lpSubKey, &path)) return 6;  // ERROR_INVALID_HANDLE
    std::lock_guard<std::mutex> guard(StoreLock());
    if (!IsRootPath(path) && Store().find(path) == Store().end()) return ERROR_FILE_NOT_FOUND;
    *phkResult = new OpenKey{path};
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM,
                                       LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition)
{
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    std::u16string path;
    if (!FullPath(hKey, lpSubKey, &path)) return 6;
    std::lock_guard<std::mutex> guard(StoreLock());
    bool bExisted = IsRootPath(path) || Store().count(path) != 0;
    // Every key on the way is created too.
    for (size_t pos = path.find(u'\\'); pos != std::u16string::npos; pos = path.find(u'\\', pos + 1)) {
        Store()[path.substr(0, pos)];
    }
    if (!IsRootPath(path)) Store()[path];
    if (lpdwDisposition) *lpdwDisposition = bExisted ? REG_OPENED_EXISTING_KEY : REG_CREATED_NEW_KEY;
    *phkResult = new OpenKey{path};
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData,
                                        LPDWORD lpcbData)
{
    std::u16string path;
    if (!FullPath(hKey, nullptr, &path)) return 6;
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(StoreLock());
    auto key = Store().find(path);
    if (key == Store().end()) return ERROR_FILE_NOT_FOUND;
    auto value = key->second.values.find(Lower(lpValueName));
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
    if (!FullPath(hKey, nullptr, &path) || IsRootPath(path)) return 6;
    if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(StoreLock());
    auto key = Store().find(path);
    if (key == Store().end()) return ERROR_FILE_NOT_FOUND;
    Value& value = key->second.values[Lower(lpValueName)];
    value.dwType = dwType;
    value.data.assign(lpData, lpData + cbData);
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName)
{
    std::u16string path;
    if (!FullPath(hKey, nullptr, &path)) return 6;
    std::lock_guard<std::mutex> guard(StoreLock());
    auto key = Store().find(path);
    if (key == Store().end() || key->second.values.erase(Lower(lpValueName)) == 0) return ERROR_FILE_NOT_FOUND;
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey)
{
    std::u16string path;
    if (!FullPath(hKey, lpSubKey, &path) || IsRootPath(path)) return ERROR_INVALID_PARAMETER;
    std::lock_guard<std::mutex> guard(StoreLock());
    auto key = Store().find(path);
    if (key == Store().end()) return ERROR_FILE_NOT_FOUND;
    auto next = std::next(key);
    if (next != Store().end() && next->first.compare(0, path.size() + 1, path + u"\\") == 0) {
        return 5;  // ERROR_ACCESS_DENIED: the key still has subkeys
    }
    Store().erase(key);
    return ERROR_SUCCESS;
}

extern "C" LONG WINAPI RegCloseKey(HKEY hKey)
{
    std::u16string root;
    if (!hKey) return 6;
    if (!RootName(hKey, &root)) delete static_cast<OpenKey*>(hKey);
    return ERROR_SUCCESS;
}

namespace platformtest {
void ClearRegistry()
{
    std::lock_guard<std::mutex> guard(StoreLock());
    Store().clear();
}
}  // namespace platformtest
