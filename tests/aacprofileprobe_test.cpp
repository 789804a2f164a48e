// The component's detector over faad2: hand-assembled units with and without
// SBR and parametric stereo, a real AAC-LC first sample, and input it must
// leave alone.
#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "../platform/omx/aacprofileprobe.h"
#include "aacunits.h"

using omxplatform::ProbeAacProfile;

namespace {

std::vector<uint8_t> FileBytes(const std::string& path, size_t offset, size_t count)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(count);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    if (!in) bytes.clear();
    return bytes;
}

OMX_AUDIO_AACPROFILETYPE Probe(const std::vector<uint8_t>& unit, OMX_AUDIO_AACPROFILETYPE current)
{
    return ProbeAacProfile(unit.data(), unit.size(), kAacUnitCoreRate, kAacUnitChannels, current);
}

TEST(AacProfileProbe, TellsPlainSbrAndParametricStereoUnitsApart)
{
    EXPECT_EQ(OMX_AUDIO_AACObjectLC, Probe(SilentMonoAacUnit(AacUnitKind::PlainLc), OMX_AUDIO_AACObjectLC));
    EXPECT_EQ(OMX_AUDIO_AACObjectHE, Probe(SilentMonoAacUnit(AacUnitKind::Sbr), OMX_AUDIO_AACObjectLC));
    EXPECT_EQ(OMX_AUDIO_AACObjectHE_PS, Probe(SilentMonoAacUnit(AacUnitKind::SbrPs), OMX_AUDIO_AACObjectLC));
}

TEST(AacProfileProbe, ReportsLcForTheFirstSampleOfAnLcFile)
{
    // aac-stereo.m4a: 48 kHz stereo AAC-LC; sample 0 is 156 bytes at offset 44.
    std::vector<uint8_t> sample = FileBytes(DEMUX_FIXTURE_DIR "/aac-stereo.m4a", 44, 156);
    ASSERT_EQ(156u, sample.size());
    EXPECT_EQ(OMX_AUDIO_AACObjectLC,
              ProbeAacProfile(sample.data(), sample.size(), 48000, 2, OMX_AUDIO_AACObjectMain));
}

TEST(AacProfileProbe, KeepsTheGivenProfileForEmptyOrUndecodableInput)
{
    std::vector<uint8_t> garbage(64, 0xFF);
    EXPECT_EQ(OMX_AUDIO_AACObjectMain, Probe(garbage, OMX_AUDIO_AACObjectMain));
    EXPECT_EQ(OMX_AUDIO_AACObjectLC, ProbeAacProfile(nullptr, 0, 44100, 2, OMX_AUDIO_AACObjectLC));
    std::vector<uint8_t> truncated = SilentMonoAacUnit(AacUnitKind::Sbr);
    truncated.resize(3);
    EXPECT_EQ(OMX_AUDIO_AACObjectLC, Probe(truncated, OMX_AUDIO_AACObjectLC));
    // No AAC channel configuration has seven channels.
    EXPECT_EQ(OMX_AUDIO_AACObjectLC, ProbeAacProfile(garbage.data(), garbage.size(), 44100, 7, OMX_AUDIO_AACObjectLC));
}

}  // namespace
