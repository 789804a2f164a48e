// "demux_wine_test registry MODULE": what DllRegisterServer left in the
// registry, read back as Wine's registry and filter mapper keep it: the COM
// server keys, and the mapper's filter, merit, pin and pin-type entries.
#include "wineprogram.h"

#include <cstdio>
#include <string>
#include <vector>

#include "3gpDemux.h"

namespace {

const WCHAR kName[] = L"Orvane 3GPP Demux Filter";

class CChecks {
public:
    void Check(bool bOk, const std::string& what)
    {
        std::printf("%s: %s\n", bOk ? "ok" : "FAILED", what.c_str());
        if (!bOk) ++m_nFailed;
    }
    int Failed() const { return m_nFailed; }

private:
    int m_nFailed = 0;
};

std::string Narrow(const WideString& text)
{
    std::string out;
    for (WCHAR ch : text) out += ch < 128 ? static_cast<char>(ch) : '?';
    return out;
}

WideString GuidText(REFGUID guid)
{
    WCHAR sz[40];
    return StringFromGUID2(guid, sz, 40) ? WideString(sz) : WideString();
}

bool ReadString(const WideString& key, const WCHAR* pszValue, WideString* pText)
{
    WCHAR sz[520];
    DWORD cb = sizeof(sz);
    DWORD dwType = 0;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), pszValue, RRF_RT_REG_SZ, &dwType, sz, &cb) != ERROR_SUCCESS) {
        return false;
    }
    *pText = sz;
    return true;
}

bool ReadDword(const WideString& key, const WCHAR* pszValue, DWORD* pdw)
{
    DWORD cb = sizeof(*pdw);
    return RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), pszValue, RRF_RT_REG_DWORD, nullptr, pdw, &cb) == ERROR_SUCCESS;
}

bool KeyExists(const WideString& key)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return false;
    RegCloseKey(hKey);
    return true;
}

std::vector<WideString> Subkeys(const WideString& key)
{
    std::vector<WideString> names;
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) return names;
    WCHAR sz[260];
    for (DWORD i = 0;; ++i) {
        DWORD cch = 260;
        if (RegEnumKeyExW(hKey, i, sz, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.push_back(sz);
    }
    RegCloseKey(hKey);
    return names;
}

void CheckString(CChecks* pChecks, const WideString& key, const WCHAR* pszValue, const WideString& expected)
{
    WideString text;
    bool bRead = ReadString(key, pszValue, &text);
    std::string what = "HKCR\\" + Narrow(key) + " " + (pszValue ? Narrow(pszValue) : std::string("(default)")) +
                       " is \"" + Narrow(expected) + "\"";
    if (bRead && text != expected) what += " (found \"" + Narrow(text) + "\")";
    pChecks->Check(bRead && text == expected, what);
}

void CheckDword(CChecks* pChecks, const WideString& key, const WCHAR* pszValue, DWORD dwExpected)
{
    DWORD dw = 0;
    bool bRead = ReadDword(key, pszValue, &dw);
    char sz[64];
    std::snprintf(sz, sizeof(sz), " is 0x%08lX", static_cast<unsigned long>(dwExpected));
    std::string what = "HKCR\\" + Narrow(key) + " " + Narrow(pszValue) + sz;
    if (bRead && dw != dwExpected) {
        std::snprintf(sz, sizeof(sz), " (found 0x%08lX)", static_cast<unsigned long>(dw));
        what += sz;
    }
    pChecks->Check(bRead && dw == dwExpected, what);
}

struct PinEntry {
    const WCHAR* pszName;
    DWORD dwOutput;
    DWORD dwZero;
    const WCHAR* pszMajor;
    std::vector<WideString> subtypes;
};

}  // namespace

int CheckRegistration(const WideString& module)
{
    CChecks checks;
    const WideString clsid = GuidText(CLSID_DemuxFilter);
    const WideString clsidKey = L"CLSID\\" + clsid;
    CheckString(&checks, clsidKey, nullptr, kName);
    CheckString(&checks, clsidKey + L"\\InprocServer32", nullptr, module);
    CheckString(&checks, clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Both");
    CheckString(&checks, L"Filter\\" + clsid, nullptr, kName);
    CheckDword(&checks, clsidKey, L"Merit", 0x00600000);

    std::vector<WideString> inputSubtypes;
    for (const GUID& subtype : MEDIASUBTYPE_DemuxStream) inputSubtypes.push_back(GuidText(subtype));
    inputSubtypes.push_back(L"{E436EB8E-524F-11CE-9F53-0020AF0BA770}");
    const PinEntry pins[] = {
        {L"Input", 0, 0, L"{E436EB83-524F-11CE-9F53-0020AF0BA770}", inputSubtypes},
        {L"Video Output", 1, 1, L"{73646976-0000-0010-8000-00AA00389B71}", {L"{00000000-0000-0000-0000-000000000000}"}},
        {L"Audio Output", 1, 1, L"{73647561-0000-0010-8000-00AA00389B71}", {L"{00000000-0000-0000-0000-000000000000}"}},
    };
    std::vector<WideString> registered = Subkeys(clsidKey + L"\\Pins");
    checks.Check(registered.size() == 3, "three pins registered (found " + std::to_string(registered.size()) + ")");
    for (const PinEntry& pin : pins) {
        const WideString pinKey = clsidKey + L"\\Pins\\" + pin.pszName;
        checks.Check(KeyExists(pinKey), "pin \"" + Narrow(pin.pszName) + "\" registered");
        CheckDword(&checks, pinKey, L"Direction", pin.dwOutput);
        CheckDword(&checks, pinKey, L"AllowedZero", pin.dwZero);
        CheckDword(&checks, pinKey, L"AllowedMany", 0);
        CheckDword(&checks, pinKey, L"IsRendered", 0);
        std::vector<WideString> majors = Subkeys(pinKey + L"\\Types");
        checks.Check(majors.size() == 1, "pin \"" + Narrow(pin.pszName) + "\" has one major type");
        std::vector<WideString> subtypes = Subkeys(pinKey + L"\\Types\\" + pin.pszMajor);
        bool bAll = subtypes.size() == pin.subtypes.size();
        for (const WideString& subtype : pin.subtypes) {
            bool bFound = false;
            for (const WideString& name : subtypes) bFound = bFound || lstrcmpiW(name.c_str(), subtype.c_str()) == 0;
            bAll = bAll && bFound;
        }
        checks.Check(bAll, "pin \"" + Narrow(pin.pszName) + "\" media types: " + Narrow(pin.pszMajor) + " with " +
                               std::to_string(pin.subtypes.size()) + " subtype(s)");
    }
    return checks.Failed() == 0 ? 0 : 1;
}
