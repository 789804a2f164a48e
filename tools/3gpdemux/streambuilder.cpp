#include "streambuilder.h"

#include <cstring>

namespace {

const size_t kWriteBuffer = 1 << 20;

// Storage-format AMR frames: the header byte's frame type gives the size.
size_t AmrFrameSize(uint8_t header, bool bWide)
{
    static const uint8_t kNarrow[16] = {12, 13, 15, 17, 19, 20, 26, 31, 5, 0, 0, 0, 0, 0, 0, 0};
    static const uint8_t kWide[16] = {17, 23, 32, 36, 40, 46, 50, 58, 60, 5, 0, 0, 0, 0, 0, 0};
    // Through a pointer: g++ 12 with -fsanitize=undefined indexes
    // "(c ? a : b)[i]" as if i were 0.
    const uint8_t* pSizes = bWide ? kWide : kNarrow;
    return 1 + pSizes[(header >> 3) & 15];
}

}  // namespace

CStreamWriter::CStreamWriter(const PinFacts& pin, StreamCodec codec) : m_pin(pin), m_codec(codec) {}

CStreamWriter::~CStreamWriter()
{
    if (m_file) std::fclose(m_file);
}

bool CStreamWriter::Open(const std::string& target, const std::string& mediaPath, std::string* pError)
{
    if (m_codec == StreamCodec::Unknown) {
        *pError = "no stream file for subtype";
        return false;
    }
    if (m_codec == StreamCodec::Aac &&
        (!AacParametersFromFormat(m_pin.format, &m_aac, pError) || !m_table.Open(mediaPath, m_pin.trackIndex, pError)))
        return false;
    if (m_codec == StreamCodec::H264) m_cbLength = H264LengthSize(m_pin.format);
    m_file = std::fopen(target.c_str(), "wb");
    if (!m_file) {
        *pError = "cannot write " + target;
        return false;
    }
    m_buffer.resize(kWriteBuffer);
    std::setvbuf(m_file, m_buffer.data(), _IOFBF, m_buffer.size());
    if (m_codec == StreamCodec::AmrNb || m_codec == StreamCodec::AmrWb) {
        const char* pszMagic = m_codec == StreamCodec::AmrNb ? "#!AMR\n" : "#!AMR-WB\n";
        Write(reinterpret_cast<const uint8_t*>(pszMagic), std::strlen(pszMagic));
    }
    return true;
}

void CStreamWriter::Write(const uint8_t* pData, size_t cb)
{
    if (cb && std::fwrite(pData, 1, cb, m_file) != cb && m_error.empty()) m_error = "a write failed";
    m_cbWritten += cb;
}

void CStreamWriter::Append(const SampleRecord& sample, const BYTE* pData)
{
    if (!m_file || !m_error.empty()) return;
    const size_t cb = sample.cbActual > 0 && pData ? static_cast<size_t>(sample.cbActual) : 0;
    switch (m_codec) {
    case StreamCodec::Aac:
        AppendAac(sample, pData, cb);
        break;
    case StreamCodec::AmrNb:
    case StreamCodec::AmrWb:
        AppendAmr(pData, cb);
        break;
    default:
        AppendVideo(pData, cb);
        break;
    }
    ++m_nSamples;
}

// Video: one picture per media sample; the configuration bytes go first
// (the filter sends them in front of the first sample after a start).
void CStreamWriter::AppendVideo(const BYTE* pData, size_t cb)
{
    size_t skip = 0;
    if (m_nSamples == 0) {
        const std::vector<uint8_t>& config = m_pin.config;
        const bool bHasConfig =
            config.empty() || (cb >= config.size() && std::memcmp(pData, config.data(), config.size()) == 0);
        m_scratch.clear();
        if (m_cbLength != 0) {
            if (!AppendAnnexB(config.data(), config.size(), m_cbLength, &m_scratch)) {
                m_error = "the H.264 configuration bytes are not length-prefixed NAL units";
                return;
            }
            Write(m_scratch.data(), m_scratch.size());
            skip = bHasConfig ? config.size() : 0;
        } else if (!bHasConfig) {
            Write(config.data(), config.size());
        }
    }
    if (m_cbLength != 0) {
        m_scratch.clear();
        if (!AppendAnnexB(pData + skip, cb - skip, m_cbLength, &m_scratch)) {
            m_error = "H.264 sample " + std::to_string(m_nSamples) + " has a NAL length past its end";
            return;
        }
        Write(m_scratch.data(), m_scratch.size());
    } else {
        Write(pData + skip, cb - skip);
    }
    ++m_frames;
}

namespace {

// The table entry that starts at rtStart: the first at or after dwFrom, else
// the first before it; table.Count() when none does.
DWORD FindSampleAt(const CTrackTable& table, DWORD dwFrom, REFERENCE_TIME rtStart)
{
    for (DWORD i = dwFrom; i < table.Count(); ++i) {
        if (table.At(i).rtStart == rtStart) return i;
    }
    for (DWORD i = 0; i < dwFrom && i < table.Count(); ++i) {
        if (table.At(i).rtStart == rtStart) return i;
    }
    return table.Count();
}

}  // namespace

// AAC: each pack holds whole file samples back to back, starting with the
// sample its media start time names (normally the one after the last pack's).
void CStreamWriter::AppendAac(const SampleRecord& pack, const BYTE* pData, size_t cb)
{
    if (FAILED(pack.hrMediaTime)) {
        m_error = "AAC pack " + std::to_string(m_nSamples) + " has no media time to place it in the track";
        return;
    }
    DWORD i = FindSampleAt(m_table, m_dwNext, pack.llMediaStart);
    size_t pos = 0;
    m_scratch.clear();
    for (; pos < cb && i < m_table.Count(); ++i) {
        const size_t cbSample = m_table.At(i).cbSize;
        if (cbSample > cb - pos) break;
        if (cbSample > 0) {
            AppendAdtsHeader(m_aac, cbSample, &m_scratch);
            m_scratch.insert(m_scratch.end(), pData + pos, pData + pos + cbSample);
            ++m_frames;
        }
        pos += cbSample;
    }
    if (pos != cb) {
        m_error = "AAC pack " + std::to_string(m_nSamples) + " (" + std::to_string(cb) +
                  " bytes) does not split into the track's samples";
        return;
    }
    Write(m_scratch.data(), m_scratch.size());
    m_dwNext = i;
}

void CStreamWriter::AppendAmr(const BYTE* pData, size_t cb)
{
    size_t pos = m_cbAmrCarry;
    for (; pos < cb; ++m_frames) pos += AmrFrameSize(pData[pos], m_codec == StreamCodec::AmrWb);
    m_cbAmrCarry = pos - cb;
    Write(pData, cb);
}

bool CStreamWriter::Close(std::string* pError)
{
    if (m_file && std::fclose(m_file) != 0 && m_error.empty()) m_error = "a write failed";
    m_file = nullptr;
    if (!m_error.empty()) *pError = m_error;
    return m_error.empty();
}
