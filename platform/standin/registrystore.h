// The host registry's store, shared by the registry functions
// (registry.cpp) and the file it is kept in (registryfile.cpp).
//
// Keys are held by their full path, folded to lower case for lookup as the
// registry compares names without case ("hkcr\clsid\{...}"); each key keeps
// the spelling it was created with. Every key on a path exists in the map;
// the roots themselves do not.
#ifndef PLATFORM_STANDIN_REGISTRYSTORE_H
#define PLATFORM_STANDIN_REGISTRYSTORE_H

#include <map>
#include <string>
#include <vector>

#include "win32.h"

namespace standin {

struct RegValue {
    std::u16string name;  // as set
    DWORD dwType = REG_NONE;
    std::vector<BYTE> data;
};

struct RegKey {
    std::u16string name;                        // last path component, as created
    std::map<std::u16string, RegValue> values;  // by folded name
};

typedef std::map<std::u16string, RegKey> RegKeyMap;  // by folded full path

std::u16string FoldCase(const std::u16string& s);

// The folded short name of a root ("hkcr") from its full name
// ("HKEY_CLASSES_ROOT", any case) and back; empty when unknown.
std::u16string RootFromDisplayName(const std::u16string& displayName);
std::u16string RootDisplayName(const std::u16string& root);

// UTF-16 and UTF-8; unpaired surrogates pass through as three-byte forms.
std::string Utf16ToUtf8(const std::u16string& s);
std::u16string Utf8ToUtf16(const std::string& s);

// The whole store to and from a text file. Load gives ERROR_FILE_NOT_FOUND
// when the file does not exist and leaves *pKeys alone on any error.
LONG LoadRegistryFile(const std::string& path, RegKeyMap* pKeys);
LONG SaveRegistryFile(const std::string& path, const RegKeyMap& keys);

}  // namespace standin

#endif
