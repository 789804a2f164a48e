// BSTR allocation: a 32-bit byte count, the characters, a zero character.
#include <stdlib.h>
#include <string.h>

#include "testhooks.h"
#include "win32.h"

namespace {
const size_t kPrefix = sizeof(DWORD);

BSTR AllocBstr(const OLECHAR* pch, UINT cch)
{
    size_t cb = static_cast<size_t>(cch) * sizeof(OLECHAR);
    if (cb > 0x7FFFFFF0u) return nullptr;
    BYTE* p = static_cast<BYTE*>(malloc(kPrefix + cb + sizeof(OLECHAR)));
    if (!p) return nullptr;
    DWORD dwBytes = static_cast<DWORD>(cb);
    memcpy(p, &dwBytes, kPrefix);
    BSTR bstr = reinterpret_cast<BSTR>(p + kPrefix);
    if (pch) {
        memcpy(bstr, pch, cb);
    } else {
        memset(bstr, 0, cb);
    }
    bstr[cch] = 0;
    return bstr;
}
}  // namespace

extern "C" BSTR WINAPI SysAllocStringLen(const OLECHAR* pch, UINT cch)
{
    if (platformtest::AllocationShouldFail(__builtin_return_address(0), "SysAllocStringLen")) return nullptr;
    return AllocBstr(pch, cch);
}

extern "C" BSTR WINAPI SysAllocString(const OLECHAR* psz)
{
    if (!psz) return nullptr;
    if (platformtest::AllocationShouldFail(__builtin_return_address(0), "SysAllocString")) return nullptr;
    return AllocBstr(psz, static_cast<UINT>(lstrlenW(psz)));
}

extern "C" void WINAPI SysFreeString(BSTR bstr)
{
    if (bstr) free(reinterpret_cast<BYTE*>(bstr) - kPrefix);
}

extern "C" UINT WINAPI SysStringByteLen(BSTR bstr)
{
    if (!bstr) return 0;
    DWORD dwBytes;
    memcpy(&dwBytes, reinterpret_cast<BYTE*>(bstr) - kPrefix, kPrefix);
    return dwBytes;
}

extern "C" UINT WINAPI SysStringLen(BSTR bstr)
{
    return SysStringByteLen(bstr) / sizeof(OLECHAR);
}
