// The elementary-stream files extract writes, one per pin: which file a
// subtype goes to, and the framing each needs so that ffmpeg and common
// players read it (Annex B for H.264, ADTS headers for AAC, the AMR
// storage-format magic).
#ifndef TOOLS_3GPDEMUX_STREAMFORMAT_H
#define TOOLS_3GPDEMUX_STREAMFORMAT_H

#include <cstdint>
#include <string>
#include <vector>

#include "win32.h"

enum class StreamCodec { H264, Mpeg4Visual, H263, Mjpeg, AmrNb, AmrWb, Aac, Unknown };

struct StreamFile {
    StreamCodec codec;
    const char* pszFileName;     // "video.h264"
    const char* pszDescription;  // "H.264 Annex B"
    const char* pszCodec;        // ffprobe's name: "h264"; "other" for Unknown
};

// The file for a pin's subtype; codec Unknown (and no name) for others.
StreamFile StreamFileFor(const GUID& subtype);
// The same by the subtype as GuidText writes it (info's JSON).
StreamFile StreamFileFor(const std::string& subtypeText);

// What an ADTS header needs, from the filter's 12-byte AAC format block
// (rate u32 LE at 0, channels at 6, audio object type at 9).
struct AacParameters {
    int profile;         // ADTS profile: object type − 1
    int frequencyIndex;  // ISO/IEC 14496-3 sampling frequency index
    int channelConfig;
};
bool AacParametersFromFormat(const std::vector<uint8_t>& format, AacParameters* pParams, std::string* pError);

// The 7-byte ADTS header (no CRC) for one access unit of cbPayload bytes.
void AppendAdtsHeader(const AacParameters& params, size_t cbPayload, std::vector<uint8_t>* pOut);

// The H.264 NAL length size the filter left in the samples: the value at
// offset 116 of its MPEG-2 video format block, 0 when it rewrote the
// lengths into start codes.
DWORD H264LengthSize(const std::vector<uint8_t>& format);

// Length-prefixed NAL units (cbLength 1, 2 or 4 bytes, big-endian) as
// Annex B; false when a length runs past the end.
bool AppendAnnexB(const uint8_t* pData, size_t cb, DWORD cbLength, std::vector<uint8_t>* pOut);

#endif
