// DllRegisterServer and DllUnregisterServer of the module linked into this
// test: the COM server keys, word for word, and the filter mapper's entries.
// The filter is reached through CoCreateInstance as in a real registration;
// here its class object is registered in-process, since the module is this
// program and not a loadable file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "3gpDemux.h"
#include "comtest.h"
#include "debugcapture.h"
#include "demuxfilter.h"
#include "demuxsetup.h"
#include "hostregistry.h"
#include "mediatype.h"
#include "win32.h"

namespace {

std::string GuidText(REFGUID guid)
{
    WCHAR sz[CHARS_IN_GUID];
    StringFromGUID2(guid, sz, CHARS_IN_GUID);
    return ToUtf8(sz);
}

const std::string kClsidText = GuidText(CLSID_DemuxFilter);
const std::vector<WCHAR> kClassKey = ToWide("CLSID\\" + kClsidText);
const std::vector<WCHAR> kServerKey = ToWide("CLSID\\" + kClsidText + "\\InprocServer32");

// A REG_SZ value as UTF-8, with its stored byte count; "" and 0 when absent.
std::string QueryString(LPCWSTR pszKey, LPCWSTR pszValue, DWORD* pcb = nullptr)
{
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return std::string();
    WCHAR sz[1024] = {0};
    DWORD cb = sizeof(sz) - sizeof(WCHAR);
    DWORD dwType = REG_NONE;
    LONG lResult = RegQueryValueExW(hKey, pszValue, nullptr, &dwType, reinterpret_cast<BYTE*>(sz), &cb);
    RegCloseKey(hKey);
    if (lResult != ERROR_SUCCESS || dwType != REG_SZ) return std::string();
    if (pcb) *pcb = cb;
    return ToUtf8(sz);
}

std::vector<std::string> SubkeyNames(HKEY hRoot, LPCWSTR pszKey)
{
    std::vector<std::string> names;
    HKEY hKey = nullptr;
    if (RegOpenKeyExW(hRoot, pszKey, 0, KEY_READ, &hKey) != ERROR_SUCCESS) return names;
    WCHAR sz[MAX_PATH];
    DWORD cch = MAX_PATH;
    for (DWORD i = 0; RegEnumKeyExW(hKey, i, sz, &cch, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++i, cch = MAX_PATH) {
        names.push_back(ToUtf8(sz));
    }
    RegCloseKey(hKey);
    return names;
}

// Every key path under HKEY_CLASSES_ROOT, as UTF-8.
void CollectKeys(const std::string& path, std::vector<std::string>* pKeys)
{
    for (const std::string& name : SubkeyNames(HKEY_CLASSES_ROOT, ToWide(path).data())) {
        std::string child = path.empty() ? name : path + "\\" + name;
        pKeys->push_back(child);
        CollectKeys(child, pKeys);
    }
}

std::string ProgramPath()
{
    WCHAR sz[MAX_PATH];
    EXPECT_NE(0u, GetModuleFileNameW(nullptr, sz, MAX_PATH));
    return ToUtf8(sz);
}

class Registration : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(ERROR_SUCCESS, platformhost::UseRegistryFile(""));
        IUnknown* pFactory = nullptr;
        ASSERT_EQ(S_OK, DllGetClassObject(CLSID_DemuxFilter, IID_IUnknown, reinterpret_cast<void**>(&pFactory)));
        ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_DemuxFilter, pFactory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                              &m_dwCookie));
        EXPECT_REF(pFactory, 2);
        pFactory->Release();
    }

    void TearDown() override
    {
        EXPECT_EQ(S_OK, CoRevokeClassObject(m_dwCookie));
        platformhost::UseRegistryFile("");
        EXPECT_EQ(S_OK, DllCanUnloadNow()) << "registration left an object of the module alive";
    }

    DWORD m_dwCookie = 0;
};

}  // namespace

TEST_F(Registration, WritesServerKeysWithExactText)
{
    ASSERT_EQ(S_OK, DllRegisterServer());

    EXPECT_EQ(std::vector<std::string>{kClsidText},
              SubkeyNames(HKEY_CLASSES_ROOT, L"CLSID"));
    DWORD cb = 0;
    EXPECT_EQ("Orvane 3GPP Demux Filter", QueryString(kClassKey.data(), nullptr, &cb));
    EXPECT_EQ((24u + 1u) * sizeof(WCHAR), cb) << "REG_SZ lengths count the terminating zero";
    EXPECT_EQ(std::vector<std::string>({"InprocServer32", "Pins"}), SubkeyNames(HKEY_CLASSES_ROOT, kClassKey.data()));

    // The module is this program here; through lib3gpDemux.so it is the
    // library's path (ModuleRoundTrip tests that).
    std::string path = QueryString(kServerKey.data(), nullptr, &cb);
    EXPECT_EQ(ProgramPath(), path);
    EXPECT_EQ((ToWide(path).size()) * sizeof(WCHAR), cb);
    EXPECT_EQ("Both", QueryString(kServerKey.data(), L"ThreadingModel", &cb));
    EXPECT_EQ(5u * sizeof(WCHAR), cb);
}

// Registered over a pin left from an older registration, and twice.
TEST_F(Registration, ListsFilterWithItsPinsAndTypesInTheMapperOnceOnly)
{
    IFilterMapper* pMapper = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                                     reinterpret_cast<void**>(&pMapper)));
    ASSERT_EQ(S_OK, pMapper->RegisterFilter(CLSID_DemuxFilter, L"Old name", 0x00200000));
    ASSERT_EQ(S_OK, pMapper->RegisterPin(CLSID_DemuxFilter, L"Old Pin", FALSE, TRUE, FALSE, FALSE, GUID_NULL, nullptr));
    EXPECT_EQ(0u, pMapper->Release());
    ASSERT_EQ(S_OK, DllRegisterServer());
    ASSERT_EQ(S_OK, DllRegisterServer());

    std::vector<platformhost::RegisteredFilter> filters = platformhost::EnumRegisteredFilters();
    ASSERT_EQ(1u, filters.size());
    const platformhost::RegisteredFilter& filter = filters[0];
    EXPECT_TRUE(IsEqualCLSID(CLSID_DemuxFilter, filter.clsid));
    EXPECT_EQ("Orvane 3GPP Demux Filter", filter.name);
    EXPECT_EQ(0x00600000u, filter.dwMerit);
    ASSERT_EQ(3u, filter.pins.size());

    // The registry lists the pins by name. The input takes every stream
    // subtype the filter reads; each output may be left unconnected.
    const struct {
        const char* name;
        bool bOutput;
        GUID major;
    } pins[] = {{"Audio Output", true, MEDIATYPE_Audio}, {"Input", false, MEDIATYPE_Stream},
                {"Video Output", true, MEDIATYPE_Video}};
    std::set<std::string> expected;
    for (const GUID& subtype : MEDIASUBTYPE_DemuxStream) expected.insert(GuidText(subtype));
    expected.insert(GuidText(MEDIASUBTYPE_None));
    for (size_t i = 0; i < 3; ++i) {
        const platformhost::RegisteredPin& pin = filter.pins[i];
        SCOPED_TRACE(pins[i].name);
        EXPECT_EQ(pins[i].name, pin.name);
        EXPECT_EQ(pins[i].bOutput, pin.bOutput);
        EXPECT_EQ(pins[i].bOutput, pin.bZero);
        EXPECT_FALSE(pin.bMany);
        EXPECT_FALSE(pin.bRendered);
        EXPECT_TRUE(IsEqualCLSID(GUID_NULL, pin.connectsToFilter));
        EXPECT_EQ("", pin.connectsToPin);
        std::set<std::string> subtypes;
        for (const platformhost::RegisteredPinType& type : pin.types) {
            EXPECT_TRUE(IsEqualGUID(pins[i].major, type.majorType));
            subtypes.insert(GuidText(type.subType));
        }
        EXPECT_EQ(pin.bOutput ? std::set<std::string>{GuidText(GUID_NULL)} : expected, subtypes);
        EXPECT_EQ(subtypes.size(), pin.types.size());
    }
}

TEST_F(Registration, UnregisteringRemovesEveryKeyAndMapperEntry)
{
    std::vector<std::string> keys;
    EXPECT_EQ(S_OK, DllUnregisterServer()) << "never registered";
    CollectKeys("", &keys);
    EXPECT_TRUE(keys.empty()) << "unregistering wrote " << keys.front();

    ASSERT_EQ(S_OK, DllRegisterServer());
    ASSERT_EQ(S_OK, DllUnregisterServer());
    EXPECT_TRUE(platformhost::EnumRegisteredFilters().empty());
    CollectKeys("", &keys);
    for (const std::string& key : keys) {
        std::string upper = key;
        std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
        EXPECT_EQ(std::string::npos, upper.find(kClsidText.substr(1, 8))) << key;
    }
    // Only the shared parents stay.
    EXPECT_EQ(std::vector<std::string>({"CLSID", "Filter"}), keys);
}

namespace {

// A registry file in a directory that then disappears: every later change
// fails to be written.
class RegistryFileGone {
public:
    RegistryFileGone()
    {
        char szDir[] = "/tmp/demux-registry-XXXXXX";
        m_dir = mkdtemp(szDir);
        m_file = m_dir + "/registry.reg";
    }
    ~RegistryFileGone()
    {
        platformhost::UseRegistryFile("");
        unlink(m_file.c_str());
        rmdir(m_dir.c_str());
    }
    void Attach() { EXPECT_EQ(ERROR_SUCCESS, platformhost::UseRegistryFile(m_file)); }
    void RemoveDirectory()
    {
        unlink(m_file.c_str());
        EXPECT_EQ(0, rmdir(m_dir.c_str()));
    }

private:
    std::string m_dir;
    std::string m_file;
};

const HRESULT kWriteFault = HRESULT_FROM_WIN32(29);  // ERROR_WRITE_FAULT

}  // namespace

TEST_F(Registration, ReportsRegistryErrorAsItsHresult)
{
    RegistryFileGone file;
    file.Attach();
    file.RemoveDirectory();
    EXPECT_EQ(kWriteFault, DllRegisterServer());
}

TEST_F(Registration, FilterRegisterSucceedsWhateverTheMapperAnswers)
{
    RegistryFileGone file;
    file.Attach();
    ASSERT_EQ(S_OK, DllRegisterServer());
    file.RemoveDirectory();

    IAMovieSetup* pSetup = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DemuxFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IAMovieSetup,
                                     reinterpret_cast<void**>(&pSetup)));
    EXPECT_EQ(S_OK, pSetup->Register()) << "the mapper's failures are not the filter's";
    EXPECT_EQ(kWriteFault, pSetup->Unregister());
    EXPECT_EQ(0u, pSetup->Release());
}
