// GUIDs as text, "{0123ABCD-4567-89EF-FEDC-BA9876543210}": upper-case hex
// with braces, as ole32 writes them.
#include "win32.h"

namespace {

const int kGuidChars = 38;  // without the terminator

int HexValue(OLECHAR c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads cDigits hex digits at psz; false on anything else.
bool ReadHex(LPCOLESTR psz, int cDigits, unsigned long long* pValue)
{
    unsigned long long value = 0;
    for (int i = 0; i < cDigits; ++i) {
        int digit = HexValue(psz[i]);
        if (digit < 0) return false;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    *pValue = value;
    return true;
}

}  // namespace

extern "C" int STDAPICALLTYPE StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax)
{
    if (!lpsz || cchMax < kGuidChars + 1) return 0;
    static const char kDigits[] = "0123456789ABCDEF";
    int pos = 0;
    auto put = [&](unsigned long long value, int cDigits) {
        for (int i = cDigits - 1; i >= 0; --i) lpsz[pos++] = kDigits[(value >> (4 * i)) & 15];
    };
    lpsz[pos++] = '{';
    put(rguid.Data1, 8);
    lpsz[pos++] = '-';
    put(rguid.Data2, 4);
    lpsz[pos++] = '-';
    put(rguid.Data3, 4);
    lpsz[pos++] = '-';
    put(rguid.Data4[0], 2);
    put(rguid.Data4[1], 2);
    lpsz[pos++] = '-';
    for (int i = 2; i < 8; ++i) put(rguid.Data4[i], 2);
    lpsz[pos++] = '}';
    lpsz[pos++] = 0;
    return pos;
}

extern "C" HRESULT STDAPICALLTYPE CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid)
{
    if (!pclsid) return E_INVALIDARG;
    if (!lpsz || lstrlenW(lpsz) != kGuidChars || lpsz[0] != '{' || lpsz[9] != '-' || lpsz[14] != '-' ||
        lpsz[19] != '-' || lpsz[24] != '-' || lpsz[37] != '}') {
        return CO_E_CLASSSTRING;
    }
    GUID guid;
    unsigned long long value = 0;
    if (!ReadHex(lpsz + 1, 8, &value)) return CO_E_CLASSSTRING;
    guid.Data1 = static_cast<DWORD>(value);
    if (!ReadHex(lpsz + 10, 4, &value)) return CO_E_CLASSSTRING;
    guid.Data2 = static_cast<WORD>(value);
    if (!ReadHex(lpsz + 15, 4, &value)) return CO_E_CLASSSTRING;
    guid.Data3 = static_cast<WORD>(value);
    static const int kByteOffsets[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(lpsz + kByteOffsets[i], 2, &value)) return CO_E_CLASSSTRING;
        guid.Data4[i] = static_cast<BYTE>(value);
    }
    *pclsid = guid;
    return S_OK;
}
