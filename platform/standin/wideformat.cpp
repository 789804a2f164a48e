#include "wideformat.h"

#include <string.h>

#include <type_traits>

namespace standin {
namespace {

class Writer {
public:
    Writer(WCHAR* out, size_t cch) : m_out(out), m_cch(cch), m_len(0) {}
    void Put(WCHAR c)
    {
        if (m_cch != 0 && m_len + 1 < m_cch) m_out[m_len] = c;
        ++m_len;
    }
    void Finish()
    {
        if (m_cch == 0) return;
        m_out[m_len < m_cch ? m_len : m_cch - 1] = 0;
    }
    size_t Length() const { return m_len; }

private:
    WCHAR* m_out;
    size_t m_cch;
    size_t m_len;
};

struct Conversion {
    bool left = false, zero = false, plus = false, space = false, alt = false;
    int width = 0;
    int precision = -1;
    int size = 0;  // 0 int, 1 short, 2 64-bit, 3 pointer-sized, 4 long (32-bit, as on Windows)
    bool narrow = false;
    bool wide = false;
};

void Pad(Writer& w, int n, WCHAR c)
{
    for (int i = 0; i < n; ++i) w.Put(c);
}

void PutNumber(Writer& w, const Conversion& s, unsigned long long v, bool negative, unsigned base, bool upper)
{
    char digits[72];
    int n = 0;
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    if (v == 0 && s.precision != 0) digits[n++] = '0';
    while (v != 0) {
        digits[n++] = set[v % base];
        v /= base;
    }
    int zeros = s.precision > n ? s.precision - n : 0;
    char sign = 0;
    if (negative) sign = '-';
    else if (s.plus && base == 10) sign = '+';
    else if (s.space && base == 10) sign = ' ';
    const char* prefix = "";
    if (s.alt && base == 16 && n && !(n == 1 && digits[0] == '0')) prefix = upper ? "0X" : "0x";
    if (s.alt && base == 8 && zeros == 0 && digits[n - 1] != '0') prefix = "0";
    int body = n + zeros + (sign ? 1 : 0) + static_cast<int>(strlen(prefix));
    int padding = s.width > body ? s.width - body : 0;
    if (!s.left && !(s.zero && s.precision < 0)) Pad(w, padding, ' ');
    if (sign) w.Put(static_cast<WCHAR>(sign));
    for (const char* p = prefix; *p; ++p) w.Put(static_cast<WCHAR>(*p));
    if (!s.left && s.zero && s.precision < 0) Pad(w, padding, '0');
    Pad(w, zeros, '0');
    while (n > 0) w.Put(static_cast<WCHAR>(digits[--n]));
    if (s.left) Pad(w, padding, ' ');
}

template <typename Char>
void PutString(Writer& w, const Conversion& s, const Char* str)
{
    static const Char kNull[] = {'(', 'n', 'u', 'l', 'l', ')', 0};
    if (!str) str = kNull;
    int len = 0;
    while (str[len] && (s.precision < 0 || len < s.precision)) ++len;
    int padding = s.width > len ? s.width - len : 0;
    if (!s.left) Pad(w, padding, ' ');
    for (int i = 0; i < len; ++i) w.Put(static_cast<WCHAR>(static_cast<typename std::make_unsigned<Char>::type>(str[i])));
    if (s.left) Pad(w, padding, ' ');
}

}  // namespace

size_t FormatWide(WCHAR* out, size_t cchOut, const WCHAR* fmt, va_list args)
{
    Writer w(out, cchOut);
    for (const WCHAR* p = fmt; p && *p; ++p) {
        if (*p != '%') {
            w.Put(*p);
            continue;
        }
        const WCHAR* start = p;
        ++p;
        Conversion s;
        for (;; ++p) {
            if (*p == '-') s.left = true;
            else if (*p == '0') s.zero = true;
            else if (*p == '+') s.plus = true;
            else if (*p == ' ') s.space = true;
            else if (*p == '#') s.alt = true;
            else break;
        }
        if (*p == '*') {
            s.width = va_arg(args, int);
            if (s.width < 0) {
                s.left = true;
                s.width = -s.width;
            }
            ++p;
        } else {
            while (*p >= '0' && *p <= '9') s.width = s.width * 10 + (*p++ - '0');
        }
        if (*p == '.') {
            ++p;
            s.precision = 0;
            if (*p == '*') {
                s.precision = va_arg(args, int);
                ++p;
            } else {
                while (*p >= '0' && *p <= '9') s.precision = s.precision * 10 + (*p++ - '0');
            }
        }
        // Size modifiers with Windows' meanings: l is 32-bit, ll and I64 are 64-bit.
        if (*p == 'h') {
            s.size = 1;
            s.narrow = true;
            ++p;
        } else if (*p == 'l' && p[1] == 'l') {
            s.size = 2;
            p += 2;
        } else if (*p == 'l' || *p == 'w') {
            s.size = 4;
            s.wide = true;
            ++p;
        } else if (*p == 'I' && p[1] == '6' && p[2] == '4') {
            s.size = 2;
            p += 3;
        } else if (*p == 'I' && p[1] == '3' && p[2] == '2') {
            s.size = 0;
            p += 3;
        } else if (*p == 'I' || *p == 'z') {
            s.size = 3;
            ++p;
        }
        WCHAR conv = *p;
        switch (conv) {
        case 'd':
        case 'i': {
            long long v;
            if (s.size == 2) v = va_arg(args, long long);
            else if (s.size == 3) v = va_arg(args, ptrdiff_t);
            else v = va_arg(args, int);
            if (s.size == 1) v = static_cast<short>(v);
            unsigned long long mag = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
            PutNumber(w, s, mag, v < 0, 10, false);
            break;
        }
        case 'u':
        case 'x':
        case 'X':
        case 'o': {
            unsigned long long v;
            if (s.size == 2) v = va_arg(args, unsigned long long);
            else if (s.size == 3) v = va_arg(args, size_t);
            else v = va_arg(args, unsigned int);
            if (s.size == 1) v = static_cast<unsigned short>(v);
            unsigned base = conv == 'u' ? 10 : conv == 'o' ? 8 : 16;
            PutNumber(w, s, v, false, base, conv == 'X');
            break;
        }
        case 'p': {
            Conversion ps = s;
            ps.precision = static_cast<int>(sizeof(void*) * 2);
            PutNumber(w, ps, reinterpret_cast<size_t>(va_arg(args, void*)), false, 16, true);
            break;
        }
        case 'c':
        case 'C': {
            int c = va_arg(args, int);
            bool narrow = (conv == 'c') ? s.narrow : !s.wide;
            WCHAR ch = narrow ? static_cast<WCHAR>(static_cast<unsigned char>(c)) : static_cast<WCHAR>(c);
            Conversion cs = s;
            cs.precision = -1;
            WCHAR one[2] = {ch, 0};
            PutString(w, cs, one);
            break;
        }
        case 's':
        case 'S': {
            // In the wide family %s is a wide string and %S a narrow one; h and l force either.
            bool narrow = (conv == 's') ? s.narrow : !s.wide;
            if (narrow) PutString(w, s, va_arg(args, const char*));
            else PutString(w, s, va_arg(args, const WCHAR*));
            break;
        }
        case '%':
            w.Put('%');
            break;
        default:
            // Unknown conversion: copy it through as text.
            for (const WCHAR* q = start; q <= p && *q; ++q) w.Put(*q);
            if (!*p) --p;
            break;
        }
    }
    w.Finish();
    return w.Length();
}

void AppendUtf8(const WCHAR* pwsz, size_t cch, char* pOut, size_t cbOut, size_t* pcbUsed)
{
    size_t used = *pcbUsed;
    for (size_t i = 0; i < cch; ++i) {
        unsigned cp = static_cast<unsigned short>(pwsz[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < cch) {
            unsigned lo = static_cast<unsigned short>(pwsz[i + 1]);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                ++i;
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) cp = 0xFFFD;
        unsigned char buf[4];
        size_t n;
        if (cp < 0x80) {
            buf[0] = static_cast<unsigned char>(cp);
            n = 1;
        } else if (cp < 0x800) {
            buf[0] = static_cast<unsigned char>(0xC0 | (cp >> 6));
            buf[1] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            n = 2;
        } else if (cp < 0x10000) {
            buf[0] = static_cast<unsigned char>(0xE0 | (cp >> 12));
            buf[1] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            buf[2] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            n = 3;
        } else {
            buf[0] = static_cast<unsigned char>(0xF0 | (cp >> 18));
            buf[1] = static_cast<unsigned char>(0x80 | ((cp >> 12) & 0x3F));
            buf[2] = static_cast<unsigned char>(0x80 | ((cp >> 6) & 0x3F));
            buf[3] = static_cast<unsigned char>(0x80 | (cp & 0x3F));
            n = 4;
        }
        if (used + n > cbOut) break;
        memcpy(pOut + used, buf, n);
        used += n;
    }
    *pcbUsed = used;
}

}  // namespace standin
