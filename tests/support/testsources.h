// ByteSource implementations for tests: over memory and over a file, with
// read counting and injected failures, short streams and exceptions.
#ifndef TESTS_TESTSOURCES_H
#define TESTS_TESTSOURCES_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "bytesource.h"

namespace testsrc {

struct ReadRecord {
    int64_t position;
    uint32_t length;
};

// Counts and records reads; a test can make chosen reads fail or throw.
class InstrumentedSource : public ByteSource {
public:
    HRESULT Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer) override;
    LONGLONG Length() override;

    // Reads touching [llFrom, llTo) fail with hr.
    void FailReadsInRange(int64_t llFrom, int64_t llTo, HRESULT hr = E_FAIL);
    // The n-th read from now (1 = the next) fails with hr; later reads succeed.
    void FailNthRead(long n, HRESULT hr = E_FAIL);
    // Every read from the n-th from now on fails.
    void FailReadsFrom(long n, HRESULT hr = E_FAIL);
    // Reads touching [llFrom, llTo) throw an exception out of Read.
    void ThrowOnReadsInRange(int64_t llFrom, int64_t llTo);
    // Length() reports this value instead of the real one.
    void OverrideLength(int64_t llLength);
    void ClearFaults();

    long ReadCount() const { return m_lReads; }
    const std::vector<ReadRecord>& Reads() const { return m_reads; }
    void ResetCounters();
    void SetRecording(bool bRecord) { m_bRecord = bRecord; }

protected:
    virtual HRESULT ReadRaw(int64_t position, uint32_t length, uint8_t* buffer) = 0;
    virtual int64_t RealLength() = 0;

private:
    struct Fault {
        int64_t from;
        int64_t to;
        HRESULT hr;
        bool bThrow;
    };
    std::vector<Fault> m_faults;
    long m_lFailNth = 0;
    long m_lFailFrom = 0;
    HRESULT m_hrNth = E_FAIL;
    HRESULT m_hrFrom = E_FAIL;
    bool m_bLengthOverridden = false;
    int64_t m_llLength = 0;
    long m_lReads = 0;
    bool m_bRecord = true;
    std::vector<ReadRecord> m_reads;
};

// Reads past the end fail (like a reader asked for bytes it does not have).
class MemorySource : public InstrumentedSource {
public:
    MemorySource() = default;
    explicit MemorySource(std::vector<uint8_t> data) : m_data(std::move(data)) {}
    std::vector<uint8_t>& Data() { return m_data; }

protected:
    HRESULT ReadRaw(int64_t position, uint32_t length, uint8_t* buffer) override;
    int64_t RealLength() override { return static_cast<int64_t>(m_data.size()); }

private:
    std::vector<uint8_t> m_data;
};

class FileSource : public InstrumentedSource {
public:
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    bool IsOpen() const { return m_file != nullptr; }

protected:
    HRESULT ReadRaw(int64_t position, uint32_t length, uint8_t* buffer) override;
    int64_t RealLength() override { return m_llSize; }

private:
    FILE* m_file = nullptr;
    int64_t m_llSize = 0;
};

// Bytes made on demand, like a file reader at its end: a read reaching past
// the length still fills the buffer from byteAt but answers S_FALSE.
class GeneratedSource : public ByteSource {
public:
    GeneratedSource(LONGLONG llLength, std::function<BYTE(LONGLONG)> byteAt)
        : m_llLength(llLength), m_byteAt(std::move(byteAt)) {}
    HRESULT Read(LONGLONG llPosition, DWORD dwLength, BYTE* pBuffer) override;
    LONGLONG Length() override { return m_llLength; }
    long reads = 0;

private:
    LONGLONG m_llLength;
    std::function<BYTE(LONGLONG)> m_byteAt;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);

}  // namespace testsrc

#endif
