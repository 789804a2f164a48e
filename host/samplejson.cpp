#include "samplejson.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// One object under construction: fields are appended in the order they
// are named, which is the order the lines have always had.
class CJsonLine {
public:
    CJsonLine() : m_text("{") {}

    CJsonLine& Text(const char* pszName, const std::string& value)
    {
        Name(pszName);
        m_text += '"';
        for (size_t i = 0; i < value.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(value[i]);
            char cShort = 0;
            switch (c) {
            case '"': cShort = '"'; break;
            case '\\': cShort = '\\'; break;
            case '\b': cShort = 'b'; break;
            case '\f': cShort = 'f'; break;
            case '\n': cShort = 'n'; break;
            case '\r': cShort = 'r'; break;
            case '\t': cShort = 't'; break;
            }
            if (cShort) {
                m_text += '\\';
                m_text += cShort;
            } else if (c < 0x20) {
                char sz[8];
                std::snprintf(sz, sizeof(sz), "\\u%04x", c);
                m_text += sz;
            } else {
                m_text += static_cast<char>(c);
            }
        }
        m_text += '"';
        return *this;
    }
    CJsonLine& Integer(const char* pszName, long long llValue)
    {
        char sz[24];
        std::snprintf(sz, sizeof(sz), "%lld", llValue);
        return Raw(pszName, sz);
    }
    CJsonLine& Unsigned(const char* pszName, unsigned long long ullValue)
    {
        char sz[24];
        std::snprintf(sz, sizeof(sz), "%llu", ullValue);
        return Raw(pszName, sz);
    }
    // Absent values are null.
    CJsonLine& IntegerOrNull(const char* pszName, bool bPresent, long long llValue)
    {
        return bPresent ? Integer(pszName, llValue) : Raw(pszName, "null");
    }
    CJsonLine& Bool(const char* pszName, bool bValue) { return Raw(pszName, bValue ? "true" : "false"); }
    CJsonLine& Real(const char* pszName, double dValue) { return Raw(pszName, RealText(dValue).c_str()); }

    std::string Line() const { return m_text + "}"; }

private:
    void Name(const char* pszName)
    {
        if (m_text.size() > 1) m_text += ',';
        m_text += '"';
        m_text += pszName;
        m_text += "\":";
    }
    CJsonLine& Raw(const char* pszName, const char* pszValue)
    {
        Name(pszName);
        m_text += pszValue;
        return *this;
    }

    // The shortest digits that read back as the same double, laid out as the
    // tool's JSON library lays them out (and so as any reader of the lines
    // has seen them): plain decimals with at least one digit after the point
    // while the point falls within 15 places of the first digit and no more
    // than 4 zeros after it, otherwise d.ddde+XX with a two-digit exponent at
    // least.
    static std::string RealText(double dValue)
    {
        if (!(dValue - dValue == 0)) return "null";  // NaN and infinities
        std::string text;
        if (std::signbit(dValue)) {
            text = "-";
            dValue = -dValue;
        }
        if (dValue == 0) return text + "0.0";

        char sz[40];
        for (int iPrecision = 0; iPrecision <= 16; ++iPrecision) {
            std::snprintf(sz, sizeof(sz), "%.*e", iPrecision, dValue);
            if (std::strtod(sz, NULL) == dValue) break;
        }
        // sz is d[.ddd]e±XX: the digits without the point, and where the
        // point falls (after n digits).
        std::string digits;
        const char* p = sz;
        for (; *p != 'e'; ++p) {
            if (*p != '.') digits += *p;
        }
        const int n = std::atoi(p + 1) + 1;
        while (digits.size() > 1 && digits[digits.size() - 1] == '0') digits.erase(digits.size() - 1);
        const int k = static_cast<int>(digits.size());

        if (k <= n && n <= 15) return text + digits + std::string(static_cast<size_t>(n - k), '0') + ".0";
        if (0 < n && n <= 15) return text + digits.substr(0, static_cast<size_t>(n)) + "." + digits.substr(static_cast<size_t>(n));
        if (-4 < n && n <= 0) return text + "0." + std::string(static_cast<size_t>(-n), '0') + digits;
        text += digits.substr(0, 1);
        if (k > 1) text += "." + digits.substr(1);
        const int iExponent = n - 1;
        std::snprintf(sz, sizeof(sz), "e%c%02d", iExponent < 0 ? '-' : '+', iExponent < 0 ? -iExponent : iExponent);
        return text + sz;
    }

    std::string m_text;
};

CJsonLine PinLine(const std::string& pin, const char* pszEvent)
{
    CJsonLine line;
    line.Text("pin", pin).Text("event", pszEvent);
    return line;
}

}  // namespace

std::string SampleJsonLine(const std::string& pin, size_t n, const SampleJsonFields& sample, const std::string& md5)
{
    const bool bTime = SUCCEEDED(sample.hrTime);
    const bool bMediaTime = SUCCEEDED(sample.hrMediaTime);
    return PinLine(pin, "sample")
        .Unsigned("n", n)
        .IntegerOrNull("start", bTime, sample.rtStart)
        .IntegerOrNull("stop", bTime && sample.hrTime != VFW_S_NO_STOP_TIME, sample.rtStop)
        .IntegerOrNull("mstart", bMediaTime, sample.llMediaStart)
        .IntegerOrNull("mstop", bMediaTime, sample.llMediaStop)
        .Bool("sync", sample.bSyncPoint)
        .Bool("discontinuity", sample.bDiscontinuity)
        .Bool("preroll", sample.bPreroll)
        .Integer("size", sample.cbActual)
        .Text("md5", md5)
        .Line();
}

std::string SegmentJsonLine(const std::string& pin, REFERENCE_TIME rtStart, REFERENCE_TIME rtStop, double dRate)
{
    return PinLine(pin, "segment").Integer("start", rtStart).Integer("stop", rtStop).Real("rate", dRate).Line();
}

std::string PinEventJsonLine(const std::string& pin, const char* pszEvent)
{
    return PinLine(pin, pszEvent).Line();
}

std::string ErrorJsonLine(long lCode, HRESULT hr)
{
    char sz[16];
    std::snprintf(sz, sizeof(sz), "0x%08X", static_cast<unsigned>(hr));
    return CJsonLine().Text("event", "error").Integer("code", lCode).Text("hr", sz).Line();
}

std::string GraphEventJsonLine(long lCode, LONG_PTR lParam1, LONG_PTR lParam2)
{
    return CJsonLine().Text("event", "graph").Integer("code", lCode).Integer("param1", lParam1).Integer("param2", lParam2).Line();
}
