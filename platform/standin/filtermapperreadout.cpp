// Reads back what the filter mapper stored (filtermapper.cpp lists the
// layout), through the registry functions, for tests and the tool.
#include <string>
#include <vector>

#include "hostregistry.h"

namespace {

std::string Utf8(const WCHAR* psz)
{
    char sz[1024];
    if (WideCharToMultiByte(CP_UTF8, 0, psz, -1, sz, sizeof(sz), nullptr, nullptr) <= 0) return std::string();
    return sz;
}

// Calls fn(name, hSubkey) for every subkey of hParent's subkey pszKey, in
// the registry's order; a subkey that cannot be opened is passed over.
template <class Fn>
void ForEachSubkey(HKEY hParent, LPCWSTR pszKey, Fn fn)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(hParent, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return;
    WCHAR szName[MAX_PATH];
    DWORD cch = MAX_PATH;
    for (DWORD i = 0; RegEnumKeyExW(hKey, i, szName, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, cch = MAX_PATH) {
        HKEY hSubkey = nullptr;
        if (RegOpenKeyExW(hKey, szName, 0, KEY_READ, &hSubkey) != ERROR_SUCCESS) continue;
        fn(static_cast<const WCHAR*>(szName), hSubkey);
        RegCloseKey(hSubkey);
    }
    RegCloseKey(hKey);
}

DWORD QueryDword(HKEY hKey, LPCWSTR pszName)
{
    DWORD dwValue = 0;
    DWORD cb = sizeof(dwValue);
    DWORD dwType = REG_NONE;
    if (RegQueryValueExW(hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(&dwValue), &cb) != ERROR_SUCCESS ||
        dwType != REG_DWORD) {
        return 0;
    }
    return dwValue;
}

std::vector<WCHAR> QueryString(HKEY hKey, LPCWSTR pszName)
{
    std::vector<WCHAR> text(1, 0);
    DWORD cb = 0;
    DWORD dwType = REG_NONE;
    if (RegQueryValueExW(hKey, pszName, nullptr, &dwType, nullptr, &cb) != ERROR_SUCCESS || dwType != REG_SZ) {
        return text;
    }
    text.assign(cb / sizeof(WCHAR) + 1, 0);
    RegQueryValueExW(hKey, pszName, nullptr, &dwType, reinterpret_cast<BYTE*>(text.data()), &cb);
    return text;
}

std::vector<platformhost::RegisteredPinType> ReadPinTypes(HKEY hPin)
{
    std::vector<platformhost::RegisteredPinType> types;
    ForEachSubkey(hPin, L"Types", [&](const WCHAR* pszMajor, HKEY hMajor) {
        ForEachSubkey(hMajor, nullptr, [&](const WCHAR* pszSub, HKEY) {
            platformhost::RegisteredPinType type = {};
            if (SUCCEEDED(CLSIDFromString(pszMajor, &type.majorType)) &&
                SUCCEEDED(CLSIDFromString(pszSub, &type.subType))) {
                types.push_back(type);
            }
        });
    });
    return types;
}

std::vector<platformhost::RegisteredPin> ReadPins(HKEY hClass)
{
    std::vector<platformhost::RegisteredPin> pins;
    ForEachSubkey(hClass, L"Pins", [&](const WCHAR* pszName, HKEY hPin) {
        platformhost::RegisteredPin pin;
        pin.name = Utf8(pszName);
        pin.bRendered = QueryDword(hPin, L"IsRendered") != 0;
        pin.bOutput = QueryDword(hPin, L"Direction") != 0;
        pin.bZero = QueryDword(hPin, L"AllowedZero") != 0;
        pin.bMany = QueryDword(hPin, L"AllowedMany") != 0;
        pin.connectsToFilter = GUID_NULL;
        CLSIDFromString(QueryString(hPin, L"ConnectsToFilter").data(), &pin.connectsToFilter);
        pin.connectsToPin = Utf8(QueryString(hPin, L"ConnectsToPin").data());
        pin.types = ReadPinTypes(hPin);
        pins.push_back(pin);
    });
    return pins;
}

}  // namespace

namespace platformhost {

std::vector<RegisteredFilter> EnumRegisteredFilters()
{
    std::vector<RegisteredFilter> filters;
    ForEachSubkey(HKEY_CLASSES_ROOT, L"Filter", [&](const WCHAR* pszClsid, HKEY hFilter) {
        RegisteredFilter filter;
        if (FAILED(CLSIDFromString(pszClsid, &filter.clsid))) return;
        filter.name = Utf8(QueryString(hFilter, nullptr).data());
        filter.dwMerit = 0;
        WCHAR szClass[64];
        StringCchPrintfW(szClass, 64, L"CLSID\\%s", pszClsid);
        HKEY hClass = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, szClass, 0, KEY_READ, &hClass) == ERROR_SUCCESS) {
            filter.dwMerit = QueryDword(hClass, L"Merit");
            filter.pins = ReadPins(hClass);
            RegCloseKey(hClass);
        }
        filters.push_back(filter);
    });
    return filters;
}

}  // namespace platformhost
