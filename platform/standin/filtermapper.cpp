// The filter mapper (CLSID_FilterMapper, IFilterMapper) and the read-out of
// what it stored. Filters, pins and pin types live in the registry where
// DirectShow's first mapper keeps them:
//
//   HKCR\Filter\{clsid}                       default value: the filter's name
//   HKCR\CLSID\{clsid}                        "Merit" (DWORD)
//   HKCR\CLSID\{clsid}\Pins\<pin>             "Direction" (0 in, 1 out), "IsRendered",
//                                             "AllowedZero", "AllowedMany" (DWORDs),
//                                             "ConnectsToFilter", "ConnectsToPin" (REG_SZ)
//   HKCR\CLSID\{clsid}\Pins\<pin>\Types\{major}\{subtype}
//
// UnregisterFilter answers HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a
// filter that was not registered, after clearing whatever else it finds.
#include <atomic>
#include <new>

#include "hostregistry.h"
#include "singleinterface.h"
#include "standinclasses.h"

namespace {

HRESULT FromWin32(LONG lResult)
{
    return HRESULT_FROM_WIN32(lResult);
}

void KeyPath(LPCWSTR pszFormat, REFCLSID clsid, WCHAR* pszPath, size_t cch)
{
    WCHAR szClsid[CHARS_IN_GUID];
    StringFromGUID2(clsid, szClsid, CHARS_IN_GUID);
    StringCchPrintfW(pszPath, cch, pszFormat, szClsid);
}

LONG SetDword(HKEY hKey, LPCWSTR pszName, DWORD dwValue)
{
    return RegSetValueExW(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dwValue), sizeof(dwValue));
}

LONG SetString(HKEY hKey, LPCWSTR pszName, LPCWSTR pszValue)
{
    DWORD cb = static_cast<DWORD>((lstrlenW(pszValue) + 1) * sizeof(WCHAR));
    return RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszValue), cb);
}

// Deletes hKey\pszSubKey and everything below it.
LONG DeleteTree(HKEY hKey, LPCWSTR pszSubKey)
{
    HKEY hSub = nullptr;
    LONG lResult = RegOpenKeyExW(hKey, pszSubKey, 0, KEY_ALL_ACCESS, &hSub);
    if (lResult != ERROR_SUCCESS) return lResult;
    WCHAR szChild[MAX_PATH];
    DWORD cch = MAX_PATH;
    while (RegEnumKeyExW(hSub, 0, szChild, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        lResult = DeleteTree(hSub, szChild);
        if (lResult != ERROR_SUCCESS) break;
        cch = MAX_PATH;
    }
    RegCloseKey(hSub);
    return lResult == ERROR_SUCCESS ? RegDeleteKeyW(hKey, pszSubKey) : lResult;
}

class CStandinFilterMapper : public IFilterMapper {
public:
    CStandinFilterMapper() : m_cRef(1) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return QuerySingleInterface(static_cast<IFilterMapper*>(this), IID_IFilterMapper, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG cRef = --m_cRef;
        if (cRef == 0) delete this;
        return cRef;
    }

    STDMETHODIMP RegisterFilter(CLSID clsid, LPCWSTR Name, DWORD dwMerit) override
    {
        if (!Name) return E_POINTER;
        WCHAR szPath[64];
        HKEY hKey = nullptr;
        KeyPath(L"Filter\\%s", clsid, szPath, 64);
        LONG lResult = RegCreateKeyExW(HKEY_CLASSES_ROOT, szPath, 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr);
        if (lResult != ERROR_SUCCESS) return FromWin32(lResult);
        lResult = SetString(hKey, nullptr, Name);
        RegCloseKey(hKey);
        if (lResult != ERROR_SUCCESS) return FromWin32(lResult);
        KeyPath(L"CLSID\\%s", clsid, szPath, 64);
        lResult = RegCreateKeyExW(HKEY_CLASSES_ROOT, szPath, 0, nullptr, 0, KEY_WRITE, nullptr, &hKey, nullptr);
        if (lResult != ERROR_SUCCESS) return FromWin32(lResult);
        lResult = SetDword(hKey, L"Merit", dwMerit);
        RegCloseKey(hKey);
        return FromWin32(lResult);
    }

    STDMETHODIMP RegisterFilterInstance(CLSID, LPCWSTR, CLSID*) override { return E_NOTIMPL; }

    STDMETHODIMP RegisterPin(CLSID Filter, LPCWSTR Name, BOOL bRendered, BOOL bOutput, BOOL bZero, BOOL bMany,
                             CLSID ConnectsToFilter, LPCWSTR ConnectsToPin) override
    {
        if (!Name) return E_POINTER;
        WCHAR szPath[64];
        WCHAR szPinKey[MAX_PIN_NAME + 8];
        HKEY hFilter = nullptr;
        HKEY hPin = nullptr;
        if (FAILED(StringCchPrintfW(szPinKey, MAX_PIN_NAME + 8, L"Pins\\%s", Name))) return E_INVALIDARG;
        // The filter's class key must exist: RegisterFilter made it.
        KeyPath(L"CLSID\\%s", Filter, szPath, 64);
        LONG lResult = RegOpenKeyExW(HKEY_CLASSES_ROOT, szPath, 0, KEY_WRITE, &hFilter);
        if (lResult != ERROR_SUCCESS) return FromWin32(lResult);
        lResult = RegCreateKeyExW(hFilter, szPinKey, 0, nullptr, 0, KEY_WRITE, nullptr, &hPin, nullptr);
        RegCloseKey(hFilter);
        if (lResult != ERROR_SUCCESS) return FromWin32(lResult);
        WCHAR szConnectsTo[CHARS_IN_GUID];
        StringFromGUID2(ConnectsToFilter, szConnectsTo, CHARS_IN_GUID);
        static const WCHAR kEmpty[] = {0};
        if (lResult == ERROR_SUCCESS) lResult = SetDword(hPin, L"AllowedMany", bMany ? 1 : 0);
        if (lResult == ERROR_SUCCESS) lResult = SetDword(hPin, L"AllowedZero", bZero ? 1 : 0);
        if (lResult == ERROR_SUCCESS) lResult = SetString(hPin, L"ConnectsToFilter", szConnectsTo);
        if (lResult == ERROR_SUCCESS) lResult = SetString(hPin, L"ConnectsToPin", ConnectsToPin ? ConnectsToPin : kEmpty);
        if (lResult == ERROR_SUCCESS) lResult = SetDword(hPin, L"Direction", bOutput ? 1 : 0);
        if (lResult == ERROR_SUCCESS) lResult = SetDword(hPin, L"IsRendered", bRendered ? 1 : 0);
        if (lResult == ERROR_SUCCESS) {
            HKEY hTypes = nullptr;
            lResult = RegCreateKeyExW(hPin, L"Types", 0, nullptr, 0, KEY_WRITE, nullptr, &hTypes, nullptr);
            if (lResult == ERROR_SUCCESS) RegCloseKey(hTypes);
        }
        RegCloseKey(hPin);
        return FromWin32(lResult);
    }

    STDMETHODIMP RegisterPinType(CLSID clsFilter, LPCWSTR strName, CLSID clsMajorType, CLSID clsSubType) override
    {
        if (!strName) return E_POINTER;
        WCHAR szPath[64];
        HKEY hTypes = nullptr;
        KeyPath(L"CLSID\\%s\\Pins", clsFilter, szPath, 64);
        HKEY hPins = nullptr;
        LONG lResult = RegOpenKeyExW(HKEY_CLASSES_ROOT, szPath, 0, KEY_READ, &hPins);
        if (lResult != ERROR_SUCCESS) return FromWin32(lResult);
        HKEY hPin = nullptr;
        lResult = RegOpenKeyExW(hPins, strName, 0, KEY_READ, &hPin);
        RegCloseKey(hPins);
        if (lResult != ERROR_SUCCESS) return FromWin32(lResult);
        lResult = RegOpenKeyExW(hPin, L"Types", 0, KEY_CREATE_SUB_KEY, &hTypes);
        RegCloseKey(hPin);
        if (lResult != ERROR_SUCCESS) return FromWin32(lResult);
        WCHAR szMajor[CHARS_IN_GUID];
        WCHAR szSub[CHARS_IN_GUID];
        WCHAR szType[2 * CHARS_IN_GUID];
        StringFromGUID2(clsMajorType, szMajor, CHARS_IN_GUID);
        StringFromGUID2(clsSubType, szSub, CHARS_IN_GUID);
        StringCchPrintfW(szType, 2 * CHARS_IN_GUID, L"%s\\%s", szMajor, szSub);
        HKEY hType = nullptr;
        lResult = RegCreateKeyExW(hTypes, szType, 0, nullptr, 0, KEY_WRITE, nullptr, &hType, nullptr);
        if (lResult == ERROR_SUCCESS) RegCloseKey(hType);
        RegCloseKey(hTypes);
        return FromWin32(lResult);
    }

    STDMETHODIMP UnregisterFilter(CLSID Filter) override
    {
        WCHAR szPath[64];
        KeyPath(L"Filter\\%s", Filter, szPath, 64);
        LONG lResult = DeleteTree(HKEY_CLASSES_ROOT, szPath);
        HKEY hKey = nullptr;
        KeyPath(L"CLSID\\%s", Filter, szPath, 64);
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, szPath, 0, KEY_WRITE, &hKey) == ERROR_SUCCESS) {
            RegDeleteValueW(hKey, L"Merit");
            DeleteTree(hKey, L"Pins");
            RegCloseKey(hKey);
        }
        return FromWin32(lResult);
    }

    STDMETHODIMP UnregisterFilterInstance(CLSID) override { return E_NOTIMPL; }

    STDMETHODIMP UnregisterPin(CLSID Filter, LPCWSTR Name) override
    {
        if (!Name) return E_INVALIDARG;
        WCHAR szPath[64];
        HKEY hPins = nullptr;
        KeyPath(L"CLSID\\%s\\Pins", Filter, szPath, 64);
        LONG lResult = RegOpenKeyExW(HKEY_CLASSES_ROOT, szPath, 0, KEY_WRITE, &hPins);
        if (lResult != ERROR_SUCCESS) return FromWin32(lResult);
        lResult = DeleteTree(hPins, Name);
        RegCloseKey(hPins);
        return FromWin32(lResult);
    }

    // Graph building is not part of the host; nothing enumerates by type here.
    STDMETHODIMP EnumMatchingFilters(IEnumRegFilters**, DWORD, BOOL, CLSID, CLSID, BOOL, BOOL, CLSID, CLSID) override
    {
        return E_NOTIMPL;
    }

private:
    virtual ~CStandinFilterMapper() = default;

    std::atomic<ULONG> m_cRef;
};

}  // namespace

HRESULT CreateStandinFilterMapper(IUnknown* pUnkOuter, REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    CStandinFilterMapper* pMapper = new (std::nothrow) CStandinFilterMapper();
    if (!pMapper) return E_OUTOFMEMORY;
    HRESULT hr = pMapper->QueryInterface(riid, ppv);
    pMapper->Release();
    return hr;
}
