// The COM run time a client of the module meets on the host: GUID text, the
// registry and its file, class lookup and server loading, the filter mapper,
// and the whole path through lib3gpDemux.so: registered by one process,
// created, played and unloaded by another, unregistered again.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "3gpDemux.h"
#include "comtest.h"
#include "comtesthooks.h"
#include "debugcapture.h"
#include "hostregistry.h"
#include "win32.h"

namespace {

// Every hex digit once, and the four fields' byte orders all show.
const GUID kSomeGuid = {0x0123ABCD, 0x4567, 0x89EF, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
const HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// A scratch directory, removed with what it holds.
class TempDir {
public:
    TempDir()
    {
        char sz[] = "/tmp/demux-comruntime-XXXXXX";
        m_path = mkdtemp(sz);
    }
    ~TempDir() { EXPECT_EQ(0, system(("rm -rf '" + m_path + "'").c_str())); }
    std::string File(const char* pszName) const { return m_path + "/" + pszName; }

private:
    std::string m_path;
};

// Every test starts and ends with an empty registry in memory.
class HostRegistry : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ERROR_SUCCESS, platformhost::UseRegistryFile("")); }
    void TearDown() override { platformhost::UseRegistryFile(""); }

    static HKEY Create(LPCWSTR pszPath)
    {
        HKEY hKey = nullptr;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_CLASSES_ROOT, pszPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey, nullptr));
        return hKey;
    }
    static void SetBytes(HKEY hKey, LPCWSTR pszName, DWORD dwType, const void* pData, DWORD cb)
    {
        EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(hKey, pszName, 0, dwType, static_cast<const BYTE*>(pData), cb));
    }
    static std::vector<BYTE> Query(LPCWSTR pszPath, LPCWSTR pszName, DWORD* pdwType)
    {
        HKEY hKey = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, pszPath, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return {};
        BYTE ab[256];
        DWORD cb = sizeof(ab);
        LONG lResult = RegQueryValueExW(hKey, pszName, nullptr, pdwType, ab, &cb);
        RegCloseKey(hKey);
        return lResult == ERROR_SUCCESS ? std::vector<BYTE>(ab, ab + cb) : std::vector<BYTE>();
    }
};

// A registry path with the filter's class identifier between two parts.
std::vector<WCHAR> DemuxKey(const std::string& before, const std::string& after = "")
{
    WCHAR sz[CHARS_IN_GUID];
    StringFromGUID2(CLSID_DemuxFilter, sz, CHARS_IN_GUID);
    return ToWide(before + ToUtf8(sz) + after);
}

std::string SubkeyName(HKEY hKey, DWORD dwIndex)
{
    WCHAR sz[MAX_PATH];
    DWORD cch = MAX_PATH;
    LONG lResult = RegEnumKeyExW(hKey, dwIndex, sz, &cch, nullptr, nullptr, nullptr, nullptr);
    return lResult == ERROR_SUCCESS ? ToUtf8(sz, cch) : "<" + std::to_string(lResult) + ">";
}

}  // namespace

TEST(GuidString, WritesBracedUpperCaseHex)
{
    WCHAR sz[CHARS_IN_GUID];
    EXPECT_EQ(39, StringFromGUID2(kSomeGuid, sz, CHARS_IN_GUID));
    EXPECT_EQ("{0123ABCD-4567-89EF-FEDC-BA9876543210}", ToUtf8(sz));
    EXPECT_EQ(0, StringFromGUID2(kSomeGuid, sz, CHARS_IN_GUID - 1));
}

TEST(GuidString, ReadsBracedFormInAnyCaseOnly)
{
    CLSID clsid = GUID_NULL;
    EXPECT_EQ(S_OK, CLSIDFromString(ToWide("{0123abcd-4567-89ef-fedc-ba9876543210}").data(), &clsid));
    EXPECT_TRUE(IsEqualCLSID(kSomeGuid, clsid));
    for (const char* psz : {"0123ABCD-4567-89EF-FEDC-BA9876543210", "{0123ABCD-4567-89EF-FEDC-BA987654321}",
                            "{0123ABCD-4567-89EF-FEDCBA9876543210A}", "{0123ABCD-4567-89EF-FEDC-BA987654321G}", ""}) {
        EXPECT_EQ(CO_E_CLASSSTRING, CLSIDFromString(ToWide(psz).data(), &clsid)) << psz;
    }
}

TEST_F(HostRegistry, KeepsTheSpellingOfKeysAndFindsThemWithoutCase)
{
    HKEY hKey = Create(L"CLSID\\{ABC}\\InprocServer32");
    RegCloseKey(hKey);
    HKEY hOpened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, L"clsid\\{abc}", 0, KEY_READ, &hOpened));
    EXPECT_EQ("InprocServer32", SubkeyName(hOpened, 0));
    EXPECT_EQ("<259>", SubkeyName(hOpened, 1)) << "ERROR_NO_MORE_ITEMS past the end";
    RegCloseKey(hOpened);
}

TEST_F(HostRegistry, EnumeratesSubkeysByNameAndAsksForRoomForTheTerminator)
{
    for (LPCWSTR psz : {L"Parent\\video", L"Parent\\Audio", L"Parent\\Input\\Types", L"Parent\\input2"}) {
        RegCloseKey(Create(psz));
    }
    HKEY hParent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Parent", 0, KEY_READ, &hParent));
    std::vector<std::string> names;
    for (DWORD i = 0; i < 4; ++i) names.push_back(SubkeyName(hParent, i));
    EXPECT_EQ(std::vector<std::string>({"Audio", "Input", "input2", "video"}), names);
    WCHAR sz[5];
    DWORD cch = 5;
    EXPECT_EQ(ERROR_MORE_DATA, RegEnumKeyExW(hParent, 0, sz, &cch, nullptr, nullptr, nullptr, nullptr));
    cch = 6;
    WCHAR szFits[6];
    EXPECT_EQ(ERROR_SUCCESS, RegEnumKeyExW(hParent, 0, szFits, &cch, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(5u, cch);
    EXPECT_EQ(ERROR_ACCESS_DENIED, RegDeleteKeyW(HKEY_CLASSES_ROOT, L"Parent\\Input")) << "it has a subkey";
    RegCloseKey(hParent);
}

// The module writes plain text; what else a caller may store must survive too.
TEST_F(HostRegistry, FileKeepsQuotesBackslashesAndControlCharacters)
{
    TempDir dir;
    std::string file = dir.File("registry.reg");
    ASSERT_EQ(ERROR_SUCCESS, platformhost::UseRegistryFile(file));
    const WCHAR szText[] = L"a \"b\" \\c\r\nd";
    HKEY hKey = Create(L"Key \"q\"");
    SetBytes(hKey, L"Name \"q\"\n", REG_SZ, szText, sizeof(szText));
    BYTE abShort[2];
    DWORD cb = sizeof(abShort);
    EXPECT_EQ(ERROR_MORE_DATA, RegQueryValueExW(hKey, L"Name \"q\"\n", nullptr, nullptr, abShort, &cb));
    EXPECT_EQ(sizeof(szText), cb) << "the size it needs";
    RegCloseKey(hKey);
    ASSERT_EQ(ERROR_SUCCESS, platformhost::UseRegistryFile(file));
    DWORD dwType = REG_NONE;
    const BYTE* pb = reinterpret_cast<const BYTE*>(szText);
    EXPECT_EQ(std::vector<BYTE>(pb, pb + sizeof(szText)), Query(L"key \"Q\"", L"NAME \"q\"\n", &dwType));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), dwType);
}

TEST_F(HostRegistry, CorruptFileIsRefusedAndRegistryKept)
{
    TempDir dir;
    std::string file = dir.File("corrupt.reg");
    std::ofstream(file) << "[HKEY_CLASSES_ROOT\\A]\n\"v\"=dword:12\n";
    RegCloseKey(Create(L"Kept"));
    EXPECT_EQ(13, platformhost::UseRegistryFile(file)) << "ERROR_INVALID_DATA";
    EXPECT_EQ("", platformhost::RegistryFile());
    HKEY hKey = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, L"Kept", 0, KEY_READ, &hKey));
    RegCloseKey(hKey);
}

TEST_F(HostRegistry, MissingServerModuleIsReportedAndNotKept)
{
    HKEY hKey = Create(DemuxKey("CLSID\\", "\\InprocServer32").data());
    const WCHAR szPath[] = L"/nonexistent/lib3gpDemux.so";
    SetBytes(hKey, nullptr, REG_SZ, szPath, sizeof(szPath));
    RegCloseKey(hKey);
    void* pv = nullptr;
    EXPECT_EQ(CO_E_DLLNOTFOUND, CoCreateInstance(CLSID_DemuxFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pv));
    EXPECT_EQ(0, platformtest::LoadedComServers());
}

namespace {

// A class object that makes nothing, to see what the run time holds of it.
class CNullFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_cRef; }
    STDMETHODIMP_(ULONG) Release() override { return --m_cRef; }
    STDMETHODIMP CreateInstance(IUnknown*, REFIID, void** ppv) override
    {
        *ppv = nullptr;
        ++m_cCreated;
        return E_NOTIMPL;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

    ULONG m_cRef = 1;
    int m_cCreated = 0;
};

}  // namespace

TEST_F(HostRegistry, RegisteredClassObjectServesCreationUntilRevoked)
{
    CNullFactory factory;
    DWORD dwCookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_DemuxFilter, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &dwCookie));
    EXPECT_EQ(2u, factory.m_cRef);
    void* pv = nullptr;
    EXPECT_EQ(E_NOTIMPL, CoCreateInstance(CLSID_DemuxFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pv));
    EXPECT_EQ(1, factory.m_cCreated);
    EXPECT_EQ(2u, factory.m_cRef) << "the factory is released after creation";
    EXPECT_EQ(S_OK, CoRevokeClassObject(dwCookie));
    EXPECT_EQ(1u, factory.m_cRef);
    EXPECT_EQ(CO_E_OBJNOTREG, CoRevokeClassObject(dwCookie));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(CLSID_DemuxFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &pv));
}

TEST_F(HostRegistry, FilterMapperAnswersFileNotFoundForWhatItDoesNotKnow)
{
    IFilterMapper* pMapper = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                                     reinterpret_cast<void**>(&pMapper)));
    EXPECT_REF(pMapper, 1);
    EXPECT_EQ(kNotFound, pMapper->UnregisterFilter(CLSID_DemuxFilter));
    EXPECT_EQ(kNotFound, pMapper->RegisterPin(CLSID_DemuxFilter, L"Input", FALSE, FALSE, FALSE, FALSE, GUID_NULL, nullptr))
        << "a pin needs its filter registered first";
    EXPECT_EQ(S_OK, pMapper->RegisterFilter(CLSID_DemuxFilter, L"Filter", 0x00600000));
    EXPECT_EQ(kNotFound, pMapper->RegisterPinType(CLSID_DemuxFilter, L"Input", MEDIATYPE_Stream, GUID_NULL));
    EXPECT_EQ(kNotFound, pMapper->UnregisterPin(CLSID_DemuxFilter, L"Input"));
    EXPECT_EQ(S_OK, pMapper->UnregisterFilter(CLSID_DemuxFilter));
    EXPECT_TRUE(platformhost::EnumRegisteredFilters().empty());
    EXPECT_EQ(0u, pMapper->Release());
}

TEST(ModuleFileName, CutsTheNameToTheBufferAndTerminatesIt)
{
    WCHAR szFull[MAX_PATH];
    DWORD cchFull = GetModuleFileNameW(nullptr, szFull, MAX_PATH);
    ASSERT_GT(cchFull, 4u);
    EXPECT_EQ('/', szFull[0]);
    WCHAR szShort[4];
    EXPECT_EQ(4u, GetModuleFileNameW(nullptr, szShort, 4));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(ToUtf8(szFull, 3), ToUtf8(szShort));
}

// --- the shared module ------------------------------------------------------------

namespace {

std::string RunAndCapture(const std::string& command, int* pStatus)
{
    std::string output;
    FILE* pPipe = popen((command + " 2>&1").c_str(), "r");
    if (!pPipe) {
        *pStatus = -1;
        return output;
    }
    char sz[256];
    while (fgets(sz, sizeof(sz), pPipe)) output += sz;
    int status = pclose(pPipe);
    *pStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

template <class PFN>
PFN Export(void* pModule, const char* pszName)
{
    return reinterpret_cast<PFN>(dlsym(pModule, pszName));
}

typedef HRESULT(STDAPICALLTYPE* PFNDLLENTRY)();

}  // namespace

TEST(SharedModule, ExportsOnlyTheFourEntryPoints)
{
    int status = 0;
    std::string output = RunAndCapture(std::string("nm -D --defined-only '") + DEMUX_MODULE_PATH + "'", &status);
    if (status != 0) GTEST_SKIP() << "nm is not available: " << output;
    std::set<std::string> names;
    std::istringstream lines(output);
    std::string address, type, name;
    while (lines >> address >> type >> name) names.insert(name);
    EXPECT_EQ(std::set<std::string>({"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"}),
              names);
}

TEST_F(HostRegistry, ModuleRoundTripThroughRegistryFileAndFreshProcess)
{
    TempDir dir;
    std::string file = dir.File("registry.reg");
    ASSERT_EQ(ERROR_SUCCESS, platformhost::UseRegistryFile(file));
    void* pModule = dlopen(DEMUX_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(nullptr, pModule) << dlerror();
    PFNDLLENTRY pfnRegister = Export<PFNDLLENTRY>(pModule, "DllRegisterServer");
    PFNDLLENTRY pfnUnregister = Export<PFNDLLENTRY>(pModule, "DllUnregisterServer");
    PFNDLLENTRY pfnCanUnloadNow = Export<PFNDLLENTRY>(pModule, "DllCanUnloadNow");
    ASSERT_TRUE(pfnRegister && pfnUnregister && pfnCanUnloadNow);

    ASSERT_EQ(S_OK, pfnRegister());
    EXPECT_EQ(0, platformtest::LoadedComServers()) << "registration must free the module it loaded";
    EXPECT_EQ(S_OK, pfnCanUnloadNow());
    char* pszReal = realpath(DEMUX_MODULE_PATH, nullptr);
    std::string modulePath = pszReal ? pszReal : "";
    free(pszReal);
    DWORD dwType = REG_NONE;
    std::vector<BYTE> path = Query(DemuxKey("CLSID\\", "\\InprocServer32").data(), nullptr, &dwType);
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(modulePath, ToUtf8(reinterpret_cast<const WCHAR*>(path.data())));
    ASSERT_EQ(1u, platformhost::EnumRegisteredFilters().size());
    // The file gives back what the module wrote: merit, name and pins.
    const platformhost::RegisteredFilter written = platformhost::EnumRegisteredFilters()[0];
    ASSERT_EQ(ERROR_SUCCESS, platformhost::UseRegistryFile(file));
    ASSERT_EQ(1u, platformhost::EnumRegisteredFilters().size());
    const platformhost::RegisteredFilter read = platformhost::EnumRegisteredFilters()[0];
    EXPECT_EQ(0x00600000u, read.dwMerit);
    EXPECT_EQ(written.name, read.name);
    EXPECT_EQ(written.pins.size(), read.pins.size());

    // Other processes find the registration in the file, named on their
    // command line or by the environment, and load the module themselves.
    int status = -1;
    std::string output = RunAndCapture(std::string("'") + DEMUX_COMCLIENT_PATH + "' '" + file + "'", &status);
    EXPECT_EQ(0, status) << output;
    output = RunAndCapture("DEMUX_REGISTRY_FILE='" + file + "' '" + DEMUX_COMCLIENT_PATH + "' -", &status);
    EXPECT_EQ(0, status) << output;

    ASSERT_EQ(S_OK, pfnUnregister());
    EXPECT_EQ(S_OK, pfnCanUnloadNow());
    EXPECT_TRUE(platformhost::EnumRegisteredFilters().empty());
    ASSERT_EQ(ERROR_SUCCESS, platformhost::UseRegistryFile(file));  // what the file holds now
    HKEY hKey = nullptr;
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_CLASSES_ROOT, DemuxKey("CLSID\\").data(), 0, KEY_READ, &hKey));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, RegOpenKeyExW(HKEY_CLASSES_ROOT, DemuxKey("Filter\\").data(), 0, KEY_READ, &hKey));
    EXPECT_EQ(0, dlclose(pModule));
}
