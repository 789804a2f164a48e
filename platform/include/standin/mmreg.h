// The audio format block of FORMAT_WaveFormatEx, byte-packed as on Windows.
#ifndef PLATFORM_STANDIN_MMREG_H
#define PLATFORM_STANDIN_MMREG_H

#include "basetypes.h"

#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign;
    WORD wBitsPerSample;
    WORD cbSize;
} WAVEFORMATEX;
#pragma pack(pop)

#define WAVE_FORMAT_PCM 1

typedef char PlatformWaveFormatExIs18BytesCheck[sizeof(WAVEFORMATEX) == 18 ? 1 : -1];

#endif
