// Where the host's registry lives, and a read-out of the filter mapper's
// entries. Host builds only (tests, the command-line tool).
//
// The registry is kept in memory. Attached to a file, it is loaded from the
// file and every change is written back at once, so that what one process
// registers another one finds. Without UseRegistryFile, the environment
// variable DEMUX_REGISTRY_FILE names the file when the registry is first
// used. One process at a time should change a given file.
#ifndef PLATFORM_HOSTREGISTRY_H
#define PLATFORM_HOSTREGISTRY_H

#include <string>
#include <vector>

#include "win32.h"

namespace platformhost {

// Replaces the registry's keys with the file's (none when the file does not
// exist yet) and keeps the file up to date from now on. An empty path
// detaches the file and leaves the registry empty, in memory only.
// ERROR_SUCCESS, or the Win32 error of a file that cannot be read or parsed
// (the registry is then left as it was).
LONG UseRegistryFile(const std::string& path);

// The file the registry is kept in, or "" when it is in memory only.
std::string RegistryFile();

// One filter registered through IFilterMapper, as the mapper stored it.
struct RegisteredPinType {
    GUID majorType;
    GUID subType;
};

struct RegisteredPin {
    std::string name;  // UTF-8
    bool bRendered;
    bool bOutput;
    bool bZero;
    bool bMany;
    GUID connectsToFilter;
    std::string connectsToPin;
    std::vector<RegisteredPinType> types;  // in the registry's order
};

struct RegisteredFilter {
    CLSID clsid;
    std::string name;
    DWORD dwMerit;
    std::vector<RegisteredPin> pins;  // in the registry's order (by name)
};

// Every filter under HKEY_CLASSES_ROOT\Filter, in the registry's order.
std::vector<RegisteredFilter> EnumRegisteredFilters();

}  // namespace platformhost

#endif
