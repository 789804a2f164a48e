#include "dllsetup.h"

#include "dllentry.h"

namespace {

const int kKeyChars = 260;

// "CLSID\{...}" for the class.
HRESULT ClassKeyPath(REFCLSID rclsid, WCHAR* pszPath)
{
    WCHAR szClsid[CHARS_IN_GUID];
    if (StringFromGUID2(rclsid, szClsid, CHARS_IN_GUID) == 0) return E_UNEXPECTED;
    return StringCchPrintfW(pszPath, kKeyChars, L"CLSID\\%ls", szClsid);
}

// A REG_SZ value; its length counts the terminating zero.
LONG SetString(HKEY hKey, LPCWSTR pszName, LPCWSTR pszValue)
{
    DWORD cb = static_cast<DWORD>((lstrlenW(pszValue) + 1) * sizeof(WCHAR));
    return RegSetValueExW(hKey, pszName, 0, REG_SZ, reinterpret_cast<const BYTE*>(pszValue), cb);
}

LONG CreateKey(HKEY hParent, LPCWSTR pszSubKey, HKEY* phKey)
{
    WCHAR szNoClass[1] = {0};
    DWORD dwDisposition = 0;
    return RegCreateKeyExW(hParent, pszSubKey, 0, szNoClass, 0, 0, NULL, phKey, &dwDisposition);
}

HRESULT WriteServerKeys(const CFactoryTemplate& entry, LPCWSTR pszModulePath)
{
    WCHAR szKey[kKeyChars];
    HRESULT hr = ClassKeyPath(*entry.m_ClsID, szKey);
    if (FAILED(hr)) return hr;
    HKEY hClass = NULL;
    LONG lResult = CreateKey(HKEY_CLASSES_ROOT, szKey, &hClass);
    if (lResult != ERROR_SUCCESS) return HRESULT_FROM_WIN32(lResult);
    lResult = SetString(hClass, NULL, entry.m_Name);
    HKEY hServer = NULL;
    if (lResult == ERROR_SUCCESS) lResult = CreateKey(hClass, L"InprocServer32", &hServer);
    if (lResult == ERROR_SUCCESS) {
        lResult = SetString(hServer, NULL, pszModulePath);
        if (lResult == ERROR_SUCCESS) lResult = SetString(hServer, L"ThreadingModel", L"Both");
        RegCloseKey(hServer);
    }
    RegCloseKey(hClass);
    return HRESULT_FROM_WIN32(lResult);
}

// Deletes hKey\pszSubKey depth first; absent keys are not an error.
void DeleteKeyTree(HKEY hKey, LPCWSTR pszSubKey)
{
    HKEY hSub = NULL;
    if (RegOpenKeyExW(hKey, pszSubKey, 0, KEY_ALL_ACCESS, &hSub) != ERROR_SUCCESS) return;
    WCHAR szChild[kKeyChars];
    DWORD cch = kKeyChars;
    while (RegEnumKeyExW(hSub, 0, szChild, &cch, NULL, NULL, NULL, NULL) == ERROR_SUCCESS) {
        DeleteKeyTree(hSub, szChild);
        // A subkey that survives its deletion would be enumerated forever.
        HKEY hCheck = NULL;
        if (RegOpenKeyExW(hSub, szChild, 0, KEY_READ, &hCheck) == ERROR_SUCCESS) {
            RegCloseKey(hCheck);
            break;
        }
        cch = kKeyChars;
    }
    RegCloseKey(hSub);
    RegDeleteKeyW(hKey, pszSubKey);
}

// Creates an object of the class and calls IAMovieSetup Unregister, and
// when that succeeds and bRegister is set, Register. A class that cannot
// be asked (no IAMovieSetup, or it needs an owner) has nothing to do.
HRESULT SetupThroughObject(REFCLSID rclsid, BOOL bRegister)
{
    HRESULT hrInit = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    IAMovieSetup* pSetup = NULL;
    HRESULT hr = CoCreateInstance(rclsid, NULL, CLSCTX_INPROC_SERVER, IID_IAMovieSetup,
                                  reinterpret_cast<void**>(&pSetup));
    if (SUCCEEDED(hr)) {
        hr = pSetup->Unregister();
        if (SUCCEEDED(hr) && bRegister) hr = pSetup->Register();
        pSetup->Release();
    } else if (hr == E_NOINTERFACE || hr == VFW_E_NEED_OWNER) {
        hr = S_OK;
    }
    CoFreeUnusedLibraries();
    if (SUCCEEDED(hrInit)) CoUninitialize();
    return hr;
}

}  // namespace

HRESULT ModuleRegisterServer(const CFactoryTemplate* pTemplates, int cTemplates)
{
    WCHAR szModulePath[MAX_PATH];
    if (GetModuleFileNameW(static_cast<HMODULE>(g_hInst), szModulePath, MAX_PATH) == 0) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    HRESULT hr = S_OK;
    for (int i = 0; i < cTemplates; ++i) {
        hr = WriteServerKeys(pTemplates[i], szModulePath);
        if (SUCCEEDED(hr) && pTemplates[i].m_pAMovieSetup_Filter != NULL) {
            hr = SetupThroughObject(*pTemplates[i].m_ClsID, TRUE);
        }
        if (FAILED(hr)) break;
    }
    return hr;
}

HRESULT ModuleUnregisterServer(const CFactoryTemplate* pTemplates, int cTemplates)
{
    HRESULT hr = S_OK;
    for (int i = cTemplates - 1; i >= 0; --i) {
        if (pTemplates[i].m_pAMovieSetup_Filter != NULL) {
            hr = SetupThroughObject(*pTemplates[i].m_ClsID, FALSE);
            if (FAILED(hr)) break;
        }
        WCHAR szKey[kKeyChars];
        if (SUCCEEDED(ClassKeyPath(*pTemplates[i].m_ClsID, szKey))) DeleteKeyTree(HKEY_CLASSES_ROOT, szKey);
        hr = S_OK;
    }
    return hr;
}
