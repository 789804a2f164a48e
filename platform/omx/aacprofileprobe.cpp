#include "aacprofileprobe.h"

#include <neaacdec.h>

#include <vector>

namespace omxplatform {
namespace {

const uint32_t kSampleRates[13] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                   22050, 16000, 12000, 11025, 8000,  7350};

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : m_out(out), m_used(0) {}
    void Put(uint32_t value, int bits)
    {
        for (int i = bits - 1; i >= 0; --i) {
            if (m_used % 8 == 0) m_out.push_back(0);
            if ((value >> i) & 1) m_out.back() |= static_cast<uint8_t>(0x80 >> (m_used % 8));
            ++m_used;
        }
    }

private:
    std::vector<uint8_t>& m_out;
    size_t m_used;
};

// Closes the decoder on every path.
class Decoder {
public:
    Decoder() : m_h(NeAACDecOpen()) {}
    ~Decoder()
    {
        if (m_h) NeAACDecClose(m_h);
    }
    NeAACDecHandle Get() const { return m_h; }

private:
    NeAACDecHandle m_h;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
};

}  // namespace

size_t BuildLcAudioSpecificConfig(uint32_t sampleRate, uint32_t channels, uint8_t* pOut, size_t cbOut)
{
    uint32_t channelConfig;
    if (channels >= 1 && channels <= 6) channelConfig = channels;
    else if (channels == 8) channelConfig = 7;
    else return 0;

    std::vector<uint8_t> bytes;
    BitWriter w(bytes);
    w.Put(OMX_AUDIO_AACObjectLC, 5);
    uint32_t index = 15;
    for (uint32_t i = 0; i < 13; ++i) {
        if (kSampleRates[i] == sampleRate) index = i;
    }
    w.Put(index, 4);
    if (index == 15) w.Put(sampleRate & 0xFFFFFF, 24);
    w.Put(channelConfig, 4);
    // GASpecificConfig: 1024-sample frames, no core coder, no extension.
    w.Put(0, 1);
    w.Put(0, 1);
    w.Put(0, 1);
    if (bytes.size() > cbOut) return 0;
    for (size_t i = 0; i < bytes.size(); ++i) pOut[i] = bytes[i];
    return bytes.size();
}

OMX_AUDIO_AACPROFILETYPE ProbeAacProfile(const uint8_t* pData, size_t cbData, uint32_t sampleRate,
                                         uint32_t channels, OMX_AUDIO_AACPROFILETYPE current)
{
    if (!pData || cbData == 0) return current;

    uint8_t asc[8];
    size_t cbAsc = BuildLcAudioSpecificConfig(sampleRate, channels, asc, sizeof(asc));
    if (cbAsc == 0) return current;

    Decoder decoder;
    if (!decoder.Get()) return current;
    NeAACDecConfigurationPtr config = NeAACDecGetCurrentConfiguration(decoder.Get());
    config->outputFormat = FAAD_FMT_16BIT;
    config->downMatrix = 0;
    NeAACDecSetConfiguration(decoder.Get(), config);

    unsigned long rate = 0;
    unsigned char outChannels = 0;
    // faad2 answers a plain char, which is unsigned on ARM: its -1 would
    // read as 255 there without the cast.
    const signed char init =
        static_cast<signed char>(NeAACDecInit2(decoder.Get(), asc, static_cast<unsigned long>(cbAsc), &rate, &outChannels));
    if (init < 0) return current;

    // The decoder reads from a buffer it does not modify but declares it
    // non-const; it also reads a little past short inputs' ends, so hand it
    // a padded copy.
    std::vector<uint8_t> input(pData, pData + cbData);
    input.resize(cbData + 64, 0);
    NeAACDecFrameInfo info = {};
    NeAACDecDecode(decoder.Get(), &info, input.data(), static_cast<unsigned long>(cbData));
    if (info.error != 0) return current;

    bool sbr = info.sbr == SBR_UPSAMPLED || info.sbr == SBR_DOWNSAMPLED;
    if (sbr && info.ps) return OMX_AUDIO_AACObjectHE_PS;
    if (sbr) return OMX_AUDIO_AACObjectHE;
    return OMX_AUDIO_AACObjectLC;
}

}  // namespace omxplatform
