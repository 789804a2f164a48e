#include "testsources.h"

#include <cstring>
#include <stdexcept>

namespace testsrc {

HRESULT InstrumentedSource::Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer)
{
    ++m_lReads;
    if (m_bRecord) m_reads.push_back(ReadRecord{llPosition, dwLength});
    if (m_lFailNth > 0 && --m_lFailNth == 0) return m_hrNth;
    if (m_lFailFrom > 0) {
        if (m_lFailFrom == 1) return m_hrFrom;
        --m_lFailFrom;
    }
    int64_t end = llPosition + static_cast<int64_t>(dwLength);
    for (const Fault& f : m_faults) {
        if (llPosition < f.to && end > f.from) {
            if (f.bThrow) throw std::runtime_error("injected read exception");
            return f.hr;
        }
    }
    return ReadRaw(llPosition, dwLength, pBuffer);
}

LONGLONG InstrumentedSource::Length()
{
    return m_bLengthOverridden ? m_llLength : RealLength();
}

void InstrumentedSource::FailReadsInRange(int64_t llFrom, int64_t llTo, HRESULT hr)
{
    m_faults.push_back(Fault{llFrom, llTo, hr, false});
}

void InstrumentedSource::FailNthRead(long n, HRESULT hr)
{
    m_lFailNth = n;
    m_hrNth = hr;
}

void InstrumentedSource::FailReadsFrom(long n, HRESULT hr)
{
    m_lFailFrom = n;
    m_hrFrom = hr;
}

void InstrumentedSource::ThrowOnReadsInRange(int64_t llFrom, int64_t llTo)
{
    m_faults.push_back(Fault{llFrom, llTo, E_FAIL, true});
}

void InstrumentedSource::OverrideLength(int64_t llLength)
{
    m_bLengthOverridden = true;
    m_llLength = llLength;
}

void InstrumentedSource::ClearFaults()
{
    m_faults.clear();
    m_lFailNth = 0;
    m_lFailFrom = 0;
    m_bLengthOverridden = false;
}

void InstrumentedSource::ResetCounters()
{
    m_lReads = 0;
    m_reads.clear();
}

HRESULT MemorySource::ReadRaw(int64_t position, uint32_t length, uint8_t* buffer)
{
    if (position < 0 || static_cast<uint64_t>(position) > m_data.size() ||
        m_data.size() - static_cast<uint64_t>(position) < length)
        return E_FAIL;
    if (length) std::memcpy(buffer, m_data.data() + position, length);
    return S_OK;
}

FileSource::FileSource(const std::string& path)
{
    m_file = std::fopen(path.c_str(), "rb");
    if (m_file && std::fseek(m_file, 0, SEEK_END) == 0) m_llSize = std::ftell(m_file);
}

FileSource::~FileSource()
{
    if (m_file) std::fclose(m_file);
}

HRESULT FileSource::ReadRaw(int64_t position, uint32_t length, uint8_t* buffer)
{
    if (!m_file || position < 0 || position > m_llSize || m_llSize - position < static_cast<int64_t>(length))
        return E_FAIL;
    if (std::fseek(m_file, static_cast<long>(position), SEEK_SET) != 0) return E_FAIL;
    if (length && std::fread(buffer, 1, length, m_file) != length) return E_FAIL;
    return S_OK;
}

HRESULT GeneratedSource::Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer)
{
    ++reads;
    for (DWORD i = 0; i < dwLength; ++i) pBuffer[i] = m_byteAt(llPosition + i);
    return llPosition + dwLength <= m_llLength ? S_OK : S_FALSE;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::vector<uint8_t> data;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return data;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
    std::fclose(f);
    return data;
}

}  // namespace testsrc
