#include "aacunits.h"

#include <cstddef>

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
void SilentChannelStream(Bits& b)
{
    b.Put(100, 8);  // global_gain
    b.Put(0, 1);    // ics_reserved_bit
    b.Put(0, 2);    // window_sequence ONLY_LONG
    b.Put(0, 1);    // window_shape
    b.Put(0, 6);    // max_sfb 0: no sections, scale factors or spectra
    b.Put(0, 1);    // predictor_data_present
    b.Put(0, 1);    // pulse_data_present
    b.Put(0, 1);    // tns_data_present
    b.Put(0, 1);    // gain_control_data_present
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
    s.Put(13, 4);  // extension type EXT_SBR_DATA
    s.Put(1, 1);   // bs_header_flag
    s.Put(0, 1);   // bs_amp_res
    s.Put(5, 4);   // bs_start_freq
    s.Put(8, 4);   // bs_stop_freq
    s.Put(0, 3);   // bs_xover_band
    s.Put(0, 2);   // reserved
    s.Put(1, 1);   // bs_header_extra_1
    s.Put(0, 1);   // bs_header_extra_2
    s.Put(0, 2);   // bs_freq_scale
    s.Put(0, 1);   // bs_alter_scale
    s.Put(2, 2);   // bs_noise_bands
    s.Put(0, 1);   // bs_data_extra
    s.Put(0, 2);   // bs_frame_class FIXFIX
    s.Put(0, 2);   // one envelope
    s.Put(0, 1);   // low frequency resolution
    s.Put(0, 1);   // bs_df_env: frequency direction
    s.Put(0, 1);   // bs_df_noise: frequency direction
    for (int i = 0; i < kNoiseBands; ++i) s.Put(0, 2);  // bs_invf_mode
    s.Put(0, 7);                                         // first envelope value (1.5 dB steps)
    for (int i = 1; i < kEnvelopeBands; ++i) s.Put(0, 2);  // delta 0 in f_huffman_env_1_5dB
    s.Put(0, 5);                                         // first noise value
    for (int i = 1; i < kNoiseBands; ++i) s.Put(0, 1);  // delta 0 in f_huffman_env_3_0dB
    s.Put(0, 1);                                         // bs_add_harmonic_flag
    if (withPs) {
        s.Put(1, 1);  // bs_extended_data
        s.Put(2, 4);  // two bytes of extension
        s.Put(2, 2);  // EXTENSION_ID_PS
        s.Put(1, 1);  // PS header follows
        s.Put(0, 1);  // no IID
        s.Put(0, 1);  // no ICC
        s.Put(0, 1);  // no PS extension
        s.Put(0, 1);  // frame_class
        s.Put(0, 2);  // num_env index
        s.Put(0, 7);  // fill to the extension's end
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
    b.Put(0, 3);  // ID_SCE
    b.Put(0, 4);  // element_instance_tag
    SilentChannelStream(b);
    if (kind != AacUnitKind::PlainLc) {
        std::vector<uint8_t> sbr = SbrPayload(kind == AacUnitKind::SbrPs);
        b.Put(6, 3);  // ID_FIL
        if (sbr.size() < 15) {
            b.Put(static_cast<uint32_t>(sbr.size()), 4);
        } else {
            b.Put(15, 4);
            b.Put(static_cast<uint32_t>(sbr.size() - 14), 8);
        }
        for (uint8_t byte : sbr) b.Put(byte, 8);
    }
    b.Put(7, 3);  // ID_END
    b.Align();
    return b.Bytes();
}
