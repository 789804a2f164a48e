// Encodes raw 16-bit little-endian mono PCM into an AMR storage file, so the
// fixture script can make AMR tracks (the distribution's ffmpeg only decodes AMR).
//
//   amrenc nb <mode 0-7> <dtx 0|1> in.s16le out.amr     (8 kHz input, "#!AMR\n")
//   amrenc wb <mode 0-8> <dtx 0|1> in.s16le out.awb     (16 kHz input, "#!AMR-WB\n")
//
// Built by tools/make-fixtures.sh with g++ directly; not part of the CMake build.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <opencore-amrnb/interf_enc.h>
#include <vo-amrwbenc/enc_if.h>
}

namespace {

// One 20 ms frame: 160 samples at 8 kHz, 320 at 16 kHz.
const size_t kNarrowFrameSamples = 160;
const size_t kWideFrameSamples = 320;
// Largest encoded frame including its header byte is 61 bytes (AMR-WB 23.85);
// leave room for the encoders' own scratch writes.
const size_t kMaxFrameBytes = 128;

std::vector<int16_t> ReadPcm(const char* path)
{
    std::vector<int16_t> samples;
    FILE* in = std::fopen(path, "rb");
    if (!in) {
        return samples;
    }
    uint8_t bytes[2];
    while (std::fread(bytes, 1, 2, in) == 2) {
        samples.push_back(static_cast<int16_t>(bytes[0] | (bytes[1] << 8)));
    }
    std::fclose(in);
    return samples;
}

int Usage()
{
    std::fprintf(stderr, "usage: amrenc nb|wb <mode> <dtx 0|1> in.s16le out\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 6) {
        return Usage();
    }
    const std::string band = argv[1];
    const int mode = std::atoi(argv[2]);
    const int dtx = std::atoi(argv[3]) != 0 ? 1 : 0;
    const bool wide = band == "wb";
    if ((!wide && band != "nb") || mode < 0 || mode > (wide ? 8 : 7)) {
        return Usage();
    }

    std::vector<int16_t> pcm = ReadPcm(argv[4]);
    const size_t frameSamples = wide ? kWideFrameSamples : kNarrowFrameSamples;
    if (pcm.empty()) {
        std::fprintf(stderr, "amrenc: no input samples in %s\n", argv[4]);
        return 1;
    }
    // Pad the last partial frame with silence rather than dropping it.
    pcm.resize((pcm.size() + frameSamples - 1) / frameSamples * frameSamples, 0);

    FILE* out = std::fopen(argv[5], "wb");
    if (!out) {
        std::fprintf(stderr, "amrenc: cannot write %s\n", argv[5]);
        return 1;
    }
    const char* magic = wide ? "#!AMR-WB\n" : "#!AMR\n";
    std::fwrite(magic, 1, std::strlen(magic), out);

    void* state = wide ? E_IF_init() : Encoder_Interface_init(dtx);
    unsigned char frame[kMaxFrameBytes];
    size_t frames = 0;
    for (size_t at = 0; at < pcm.size(); at += frameSamples) {
        int cb = wide ? E_IF_encode(state, mode, &pcm[at], frame, dtx)
                      : Encoder_Interface_Encode(state, static_cast<Mode>(mode), &pcm[at], frame, 0);
        if (cb <= 0 || static_cast<size_t>(cb) > kMaxFrameBytes) {
            std::fprintf(stderr, "amrenc: encoder failed at frame %zu\n", frames);
            std::fclose(out);
            return 1;
        }
        std::fwrite(frame, 1, static_cast<size_t>(cb), out);
        ++frames;
    }
    if (wide) {
        E_IF_exit(state);
    } else {
        Encoder_Interface_exit(state);
    }
    std::fclose(out);
    std::fprintf(stderr, "amrenc: %zu frames\n", frames);
    return 0;
}
