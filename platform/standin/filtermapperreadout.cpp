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

// The subkey names of hKey, in the registry's order.
std::vector<std::vector<WCHAR>> SubkeyNames(HKEY hKey)
{
    std::vector<std::vector<WCHAR>> names;
    WCHAR szName[MAX_PATH];
    DWORD cch = MAX_PATH;
    for (DWORD i = 0; RegEnumKeyExW(hKey, i, szName, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, cch = MAX_PATH) {
        names.emplace_back(szName, szName + cch + 1);
    }
    return names;
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
    HKEY hTypes = nullptr;
    if (RegOpenKeyExW(hPin, L"Types", 0, KEY_READ, &hTypes) != ERROR_SUCCESS) return types;
    for (const std::vector<WCHAR>& major : SubkeyNames(hTypes)) {
        HKEY hMajor = nullptr;
        if (RegOpenKeyExW(hTypes, major.data(), 0, KEY_READ, &hMajor) != ERROR_SUCCESS) continue;
        for (const std::vector<WCHAR>& sub : SubkeyNames(hMajor)) {
            platformhost::RegisteredPinType type = {};
            if (SUCCEEDED(CLSIDFromString(major.data(), &type.majorType)) &&
                SUCCEEDED(CLSIDFromString(sub.data(), &type.subType))) {
                types.push_back(type);
            }
        }
        RegCloseKey(hMajor);
    }
    RegCloseKey(hTypes);
    return types;
}

std::vector<platformhost::RegisteredPin> ReadPins(HKEY hClass)
{
    std::vector<platformhost::RegisteredPin> pins;
    HKEY hPins = nullptr;
    if (RegOpenKeyExW(hClass, L"Pins", 0, KEY_READ, &hPins) != ERROR_SUCCESS) return pins;
    for (const std::vector<WCHAR>& name : SubkeyNames(hPins)) {
        HKEY hPin = nullptr;
        if (RegOpenKeyExW(hPins, name.data(), 0, KEY_READ, &hPin) != ERROR_SUCCESS) continue;
        platformhost::RegisteredPin pin;
        pin.name = Utf8(name.data());
        pin.bRendered = QueryDword(hPin, L"IsRendered") != 0;
        pin.bOutput = QueryDword(hPin, L"Direction") != 0;
        pin.bZero = QueryDword(hPin, L"AllowedZero") != 0;
        pin.bMany = QueryDword(hPin, L"AllowedMany") != 0;
        pin.connectsToFilter = GUID_NULL;
        CLSIDFromString(QueryString(hPin, L"ConnectsToFilter").data(), &pin.connectsToFilter);
        pin.connectsToPin = Utf8(QueryString(hPin, L"ConnectsToPin").data());
        pin.types = ReadPinTypes(hPin);
        pins.push_back(pin);
        RegCloseKey(hPin);
    }
    RegCloseKey(hPins);
    return pins;
}

}  // namespace

namespace platformhost {

std::vector<RegisteredFilter> EnumRegisteredFilters()
{
    std::vector<RegisteredFilter> filters;
    HKEY hFilters = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Filter", 0, KEY_READ, &hFilters) != ERROR_SUCCESS) return filters;
    for (const std::vector<WCHAR>& clsidName : SubkeyNames(hFilters)) {
        RegisteredFilter filter;
        if (FAILED(CLSIDFromString(clsidName.data(), &filter.clsid))) continue;
        HKEY hFilter = nullptr;
        if (RegOpenKeyExW(hFilters, clsidName.data(), 0, KEY_READ, &hFilter) != ERROR_SUCCESS) continue;
        filter.name = Utf8(QueryString(hFilter, nullptr).data());
        RegCloseKey(hFilter);
        filter.dwMerit = 0;
        WCHAR szClass[64];
        StringCchPrintfW(szClass, 64, L"CLSID\\%s", clsidName.data());
        HKEY hClass = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, szClass, 0, KEY_READ, &hClass) == ERROR_SUCCESS) {
            filter.dwMerit = QueryDword(hClass, L"Merit");
            filter.pins = ReadPins(hClass);
            RegCloseKey(hClass);
        }
        filters.push_back(filter);
    }
    RegCloseKey(hFilters);
    return filters;
}

}  // namespace platformhost
