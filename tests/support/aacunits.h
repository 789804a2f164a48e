// Hand-assembled raw AAC access units (no encoder in reach can make SBR or
// parametric stereo): one silent mono single-channel element, optionally
// followed by a fill element carrying SBR data, itself optionally extended
// with parametric-stereo data. Decodable with an AAC-LC configuration of
// 22050 Hz mono; the SBR part then runs at 44100 Hz.
#ifndef TESTS_AACUNITS_H
#define TESTS_AACUNITS_H

#include <cstdint>
#include <vector>

enum class AacUnitKind { PlainLc, Sbr, SbrPs };

std::vector<uint8_t> SilentMonoAacUnit(AacUnitKind kind);

// The sampling rate and channel count the units are built for.
const uint32_t kAacUnitCoreRate = 22050;
const int kAacUnitChannels = 1;

#endif
