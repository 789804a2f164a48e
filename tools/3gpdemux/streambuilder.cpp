#include "streambuilder.h"

#include <algorithm>
#include <cstring>

namespace {

bool StartsWith(const std::vector<uint8_t>& bytes, const std::vector<uint8_t>& prefix)
{
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// Video: one picture per media sample; the configuration bytes go first
// (the filter sends them in front of the first sample after a start).
bool BuildVideo(const PinFacts& pin, StreamCodec codec, const std::vector<SampleRecord>& samples, BuiltStream* pStream,
                std::string* pError)
{
    const DWORD cbLength = codec == StreamCodec::H264 ? H264LengthSize(pin.format) : 0;
    const bool bHasConfig = !samples.empty() && StartsWith(samples[0].bytes, pin.config);
    for (size_t n = 0; n < samples.size(); ++n) {
        const std::vector<uint8_t>& bytes = samples[n].bytes;
        size_t skip = 0;
        if (n == 0) {
            const std::vector<uint8_t>& config = pin.config;
            if (cbLength != 0) {
                if (!AppendAnnexB(config.data(), config.size(), cbLength, &pStream->bytes)) {
                    *pError = "the H.264 configuration bytes are not length-prefixed NAL units";
                    return false;
                }
                skip = bHasConfig ? config.size() : 0;
            } else if (!bHasConfig) {
                pStream->bytes.insert(pStream->bytes.end(), config.begin(), config.end());
            }
        }
        if (cbLength != 0) {
            if (!AppendAnnexB(bytes.data() + skip, bytes.size() - skip, cbLength, &pStream->bytes)) {
                *pError = "H.264 sample " + std::to_string(n) + " has a NAL length past its end";
                return false;
            }
        } else {
            pStream->bytes.insert(pStream->bytes.end(), bytes.begin() + skip, bytes.end());
        }
        ++pStream->frames;
    }
    return true;
}

// The first table entry at or after `from` that starts at rtStart.
size_t FindSampleAt(const std::vector<TrackSample>& table, size_t from, REFERENCE_TIME rtStart)
{
    for (size_t i = from; i < table.size(); ++i) {
        if (table[i].rtStart == rtStart) return i;
    }
    for (size_t i = 0; i < from && i < table.size(); ++i) {
        if (table[i].rtStart == rtStart) return i;
    }
    return table.size();
}

// AAC: each pack holds whole file samples back to back, starting with the
// sample its media start time names.
bool BuildAac(const PinFacts& pin, const std::vector<SampleRecord>& samples, const std::vector<TrackSample>& table,
              BuiltStream* pStream, std::string* pError)
{
    AacParameters params;
    if (!AacParametersFromFormat(pin.format, &params, pError)) return false;
    size_t next = 0;
    for (size_t n = 0; n < samples.size(); ++n) {
        const SampleRecord& pack = samples[n];
        if (FAILED(pack.hrMediaTime)) {
            *pError = "AAC pack " + std::to_string(n) + " has no media time to place it in the track";
            return false;
        }
        size_t i = FindSampleAt(table, next, pack.llMediaStart);
        size_t pos = 0;
        while (pos < pack.bytes.size() && i < table.size()) {
            const size_t cb = table[i].cbSize;
            if (cb > pack.bytes.size() - pos) break;
            if (cb > 0) {
                AppendAdtsHeader(params, cb, &pStream->bytes);
                pStream->bytes.insert(pStream->bytes.end(), pack.bytes.begin() + pos, pack.bytes.begin() + pos + cb);
                ++pStream->frames;
            }
            pos += cb;
            ++i;
        }
        if (pos != pack.bytes.size()) {
            *pError = "AAC pack " + std::to_string(n) + " (" + std::to_string(pack.bytes.size()) +
                      " bytes) does not split into the track's samples";
            return false;
        }
        next = i;
    }
    return true;
}

// Storage-format AMR frames: the header byte's frame type gives the size.
size_t CountAmrFrames(const std::vector<uint8_t>& bytes, bool bWide)
{
    static const uint8_t kNarrow[16] = {12, 13, 15, 17, 19, 20, 26, 31, 5, 0, 0, 0, 0, 0, 0, 0};
    static const uint8_t kWide[16] = {17, 23, 32, 36, 40, 46, 50, 58, 60, 5, 0, 0, 0, 0, 0, 0};
    // Through a pointer: g++ 12 with -fsanitize=undefined indexes
    // "(c ? a : b)[i]" as if i were 0.
    const uint8_t* pSizes = bWide ? kWide : kNarrow;
    size_t frames = 0;
    for (size_t pos = 0; pos < bytes.size(); ++frames) {
        const int type = (bytes[pos] >> 3) & 15;
        pos += 1 + pSizes[type];
    }
    return frames;
}

}  // namespace

bool BuildStream(const PinFacts& pin, StreamCodec codec, const std::vector<SampleRecord>& samples,
                 const std::vector<TrackSample>& table, BuiltStream* pStream, std::string* pError)
{
    switch (codec) {
    case StreamCodec::H264:
    case StreamCodec::Mpeg4Visual:
    case StreamCodec::H263:
    case StreamCodec::Mjpeg:
        return BuildVideo(pin, codec, samples, pStream, pError);
    case StreamCodec::Aac:
        return BuildAac(pin, samples, table, pStream, pError);
    case StreamCodec::AmrNb:
    case StreamCodec::AmrWb: {
        const char* pszMagic = codec == StreamCodec::AmrNb ? "#!AMR\n" : "#!AMR-WB\n";
        pStream->bytes.assign(pszMagic, pszMagic + std::strlen(pszMagic));
        std::vector<uint8_t> frames;
        for (const SampleRecord& sample : samples) frames.insert(frames.end(), sample.bytes.begin(), sample.bytes.end());
        pStream->frames = CountAmrFrames(frames, codec == StreamCodec::AmrWb);
        pStream->bytes.insert(pStream->bytes.end(), frames.begin(), frames.end());
        return true;
    }
    case StreamCodec::Unknown:
        break;
    }
    *pError = "no stream file for subtype";
    return false;
}
