// Tells plain AAC-LC from HE-AAC (SBR) and HE-AAC v2 (SBR + parametric
// stereo) by decoding one raw access unit.
#ifndef PLATFORM_OMX_AACPROFILEPROBE_H
#define PLATFORM_OMX_AACPROFILEPROBE_H

#include <cstddef>
#include <cstdint>

#include "omx/OMX_Audio.h"

namespace omxplatform {

// The profile the access unit shows: LC, HE or HE_PS. An empty access unit,
// one that does not decode, or a configuration the decoder refuses gives
// `current` back unchanged: the probe only ever upgrades a known answer.
OMX_AUDIO_AACPROFILETYPE ProbeAacProfile(const uint8_t* pData, size_t cbData, uint32_t sampleRate,
                                         uint32_t channels, OMX_AUDIO_AACPROFILETYPE current);

// The two- or five-byte AudioSpecificConfig of AAC-LC at this rate and
// channel count (rates outside the index table are written explicitly).
// Returns its length, 0 when the channel count has no configuration.
size_t BuildLcAudioSpecificConfig(uint32_t sampleRate, uint32_t channels, uint8_t* pOut, size_t cbOut);

}  // namespace omxplatform

#endif
