#include "aacunits.h"

#include <cstddef>
#include <initializer_list>
#include <utility>

namespace {

class Bits {
public:
    void Put(uint32_t value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            if (m_used % 8 == 0) m_bytes.push_back(0);
            if ((value >> i) & 1) m_bytes.back() |= static_cast<uint8_t>(0x80 >> (m_used % 8));
            ++m_used;
        }
    }
    // (value, bit count) fields, most significant first.
    void Put(std::initializer_list<std::pair<uint32_t, int>> fields)
    {
        for (const auto& field : fields) Put(field.first, field.second);
    }
    void Repeat(int times, uint32_t value, int count)
    {
        for (int i = 0; i < times; ++i) Put(value, count);
    }
    void Align()
    {
        while (m_used % 8 != 0) Put(0, 1);
    }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_used = 0;
};

// A long-window channel stream with no scale-factor bands: silence.
// global_gain 100, ics_reserved_bit, window_sequence ONLY_LONG, window_shape,
// max_sfb 0 (no sections, scale factors or spectra), then no predictor,
// pulse, TNS or gain-control data.
void SilentChannelStream(Bits& b)
{
    b.Put({{100, 8}, {0, 1}, {0, 2}, {0, 1}, {0, 6}, {0, 1}, {0, 1}, {0, 1}, {0, 1}});
}

// SBR for one channel at 44100 Hz: start 5 and stop 8 with a linear master
// table (freq_scale 0, alter_scale 0) put k0 = 14 and k2 = 43, 28 master
// bands, 14 low-resolution envelope bands and 3 noise bands (2 noise bands
// per octave). One FIXFIX envelope, everything coded as zero deltas.
std::vector<uint8_t> SbrPayload(bool withPs)
{
    const int kEnvelopeBands = 14;
    const int kNoiseBands = 3;
    Bits s;
    // Extension type EXT_SBR_DATA, bs_header_flag, bs_amp_res, bs_start_freq,
    // bs_stop_freq, bs_xover_band, reserved.
    s.Put({{13, 4}, {1, 1}, {0, 1}, {5, 4}, {8, 4}, {0, 3}, {0, 2}});
    // bs_header_extra_1 set, bs_header_extra_2 clear, then bs_freq_scale,
    // bs_alter_scale and bs_noise_bands.
    s.Put({{1, 1}, {0, 1}, {0, 2}, {0, 1}, {2, 2}});
    // bs_data_extra, frame class FIXFIX, one envelope, low frequency
    // resolution, envelope and noise deltas in the frequency direction.
    s.Put({{0, 1}, {0, 2}, {0, 2}, {0, 1}, {0, 1}, {0, 1}});
    s.Repeat(kNoiseBands, 0, 2);  // bs_invf_mode
    // First envelope value (1.5 dB steps), then deltas of 0 in
    // f_huffman_env_1_5dB; first noise value, then deltas of 0 in
    // f_huffman_env_3_0dB; no added harmonics.
    s.Put(0, 7);
    s.Repeat(kEnvelopeBands - 1, 0, 2);
    s.Put(0, 5);
    s.Repeat(kNoiseBands - 1, 0, 1);
    s.Put(0, 1);
    if (withPs) {
        // bs_extended_data with two bytes of extension, EXTENSION_ID_PS, a PS
        // header with no IID, no ICC and no PS extension, frame_class, the
        // num_env index, then fill to the extension's end.
        s.Put({{1, 1}, {2, 4}, {2, 2}, {1, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 2}, {0, 7}});
    } else {
        s.Put(0, 1);  // bs_extended_data
    }
    s.Align();
    return s.Bytes();
}

}  // namespace

std::vector<uint8_t> SilentMonoAacUnit(AacUnitKind kind)
{
    Bits b;
    b.Put({{0, 3}, {0, 4}});  // ID_SCE, element_instance_tag
    SilentChannelStream(b);
    if (kind != AacUnitKind::PlainLc) {
        std::vector<uint8_t> sbr = SbrPayload(kind == AacUnitKind::SbrPs);
        b.Put(6, 3);  // ID_FIL
        if (sbr.size() < 15) {
            b.Put(static_cast<uint32_t>(sbr.size()), 4);
        } else {
            b.Put({{15, 4}, {static_cast<uint32_t>(sbr.size() - 14), 8}});
        }
        for (uint8_t byte : sbr) b.Put(byte, 8);
    }
    b.Put(7, 3);  // ID_END
    b.Align();
    return b.Bytes();
}
