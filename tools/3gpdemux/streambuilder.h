// Turns what one output pin delivers into its stream file (streamformat.h)
// as the samples arrive: configuration first where the decoder needs it,
// H.264 NAL units behind start codes, AAC packs split into ADTS frames, AMR
// frames behind the storage-format magic. Writes are buffered; nothing is
// kept per sample.
#ifndef TOOLS_3GPDEMUX_STREAMBUILDER_H
#define TOOLS_3GPDEMUX_STREAMBUILDER_H

#include <cstdio>
#include <string>
#include <vector>

#include "pinfacts.h"
#include "recordingsink.h"
#include "streamformat.h"
#include "tracktable.h"

class CStreamWriter {
public:
    CStreamWriter(const PinFacts& pin, StreamCodec codec);
    ~CStreamWriter();
    CStreamWriter(const CStreamWriter&) = delete;
    CStreamWriter& operator=(const CStreamWriter&) = delete;

    // Creates target. mediaPath: the file played, whose sample table splits AAC packs.
    bool Open(const std::string& target, const std::string& mediaPath, std::string* pError);
    // One media sample as the sink received it, on the pin's thread. After a
    // failure the rest is ignored; Close reports the first.
    void Append(const SampleRecord& sample, const BYTE* pData);
    // Flushes and closes; false with the first failure.
    bool Close(std::string* pError);

    size_t Frames() const { return m_frames; }  // pictures, AAC access units or AMR frames
    uint64_t Bytes() const { return m_cbWritten; }

private:
    void Write(const uint8_t* pData, size_t cb);
    void AppendVideo(const BYTE* pData, size_t cb);
    void AppendAac(const SampleRecord& sample, const BYTE* pData, size_t cb);
    void AppendAmr(const BYTE* pData, size_t cb);

    PinFacts m_pin;
    StreamCodec m_codec;
    FILE* m_file = nullptr;
    std::vector<char> m_buffer;       // the FILE's
    std::vector<uint8_t> m_scratch;   // one converted sample
    std::string m_error;
    DWORD m_cbLength = 0;             // H.264 NAL length size left in the samples
    AacParameters m_aac = {0, 0, 0};
    CTrackTable m_table;
    DWORD m_dwNext = 0;               // the next table entry an AAC pack is expected to start at
    size_t m_cbAmrCarry = 0;          // bytes of an AMR frame that ran into the next sample
    size_t m_nSamples = 0;
    size_t m_frames = 0;
    uint64_t m_cbWritten = 0;
};

#endif
