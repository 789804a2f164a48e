#include "streamformat.h"

#include "textformat.h"

namespace {

// {DDE9B29A-E534-4792-B69F-1E4694F277F8} and the AMR subtypes are this
// platform's own; the video subtypes are the four-character-code GUIDs.
const GUID kSubtypeH264 = {0x34363248, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID kSubtypeMp4v = {0x7634706D, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID kSubtypeH263 = {0x33363248, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID kSubtypeMjpg = {0x47504A4D, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
const GUID kSubtypeAmrNb = {0xD1A32254, 0x6671, 0x4EDB, {0x81, 0x81, 0xDC, 0xA3, 0x60, 0xF3, 0x89, 0x02}};
const GUID kSubtypeAmrWb = {0x609A9F1A, 0x77A1, 0x4013, {0x94, 0xB0, 0xEF, 0x4D, 0x40, 0x8A, 0x9C, 0x71}};
const GUID kSubtypeAac = {0xDDE9B29A, 0xE534, 0x4792, {0xB6, 0x9F, 0x1E, 0x46, 0x94, 0xF2, 0x77, 0xF8}};

const uint32_t kAacRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000, 22050, 16000, 12000, 11025, 8000, 7350};

// By the GUID, or by its text when pszSubtype is set.
StreamFile Lookup(const GUID& subtype, const char* pszSubtype)
{
    struct Entry {
        const GUID* pSubtype;
        StreamFile file;
    };
    static const Entry kEntries[] = {
        {&kSubtypeH264, {StreamCodec::H264, "video.h264", "H.264 Annex B", "h264"}},
        {&kSubtypeMp4v, {StreamCodec::Mpeg4Visual, "video.m4v", "MPEG-4 visual", "mpeg4"}},
        {&kSubtypeH263, {StreamCodec::H263, "video.263", "H.263", "h263"}},
        {&kSubtypeMjpg, {StreamCodec::Mjpeg, "video.mjpeg", "Motion JPEG", "mjpeg"}},
        {&kSubtypeAmrNb, {StreamCodec::AmrNb, "audio.amr", "AMR-NB", "amr_nb"}},
        {&kSubtypeAmrWb, {StreamCodec::AmrWb, "audio.awb", "AMR-WB", "amr_wb"}},
        {&kSubtypeAac, {StreamCodec::Aac, "audio.aac", "AAC ADTS", "aac"}},
    };
    for (const Entry& entry : kEntries) {
        if (IsEqualGUID(*entry.pSubtype, subtype) || (pszSubtype && GuidText(*entry.pSubtype) == pszSubtype))
            return entry.file;
    }
    return {StreamCodec::Unknown, "", "unknown", "other"};
}

}  // namespace

StreamFile StreamFileFor(const GUID& subtype)
{
    return Lookup(subtype, nullptr);
}

StreamFile StreamFileFor(const std::string& subtypeText)
{
    return Lookup(GUID_NULL, subtypeText.c_str());
}

bool AacParametersFromFormat(const std::vector<uint8_t>& format, AacParameters* pParams, std::string* pError)
{
    if (format.size() < 12) {
        *pError = "the AAC format block has " + std::to_string(format.size()) + " bytes, not 12";
        return false;
    }
    const uint32_t dwRate = format[0] | (format[1] << 8) | (format[2] << 16) | (static_cast<uint32_t>(format[3]) << 24);
    const int channels = format[6];
    const int objectType = format[9];
    // HE-AAC (5) and HE-AAC v2 (29) carry an AAC-LC core at the rate the
    // block names; ADTS describes that core.
    const int core = (objectType == 5 || objectType == 29) ? 2 : objectType;
    if (core < 1 || core > 4) {
        *pError = "AAC object type " + std::to_string(objectType) + " has no ADTS profile";
        return false;
    }
    pParams->profile = core - 1;
    pParams->frequencyIndex = -1;
    for (int i = 0; i < 13; ++i) {
        if (kAacRates[i] == dwRate) pParams->frequencyIndex = i;
    }
    if (pParams->frequencyIndex < 0) {
        *pError = "AAC sampling rate " + std::to_string(dwRate) + " Hz has no ADTS frequency index";
        return false;
    }
    // Channel configuration 7 is the 8-channel layout; anything else
    // unusual goes as 0 (layout in the stream).
    pParams->channelConfig = (channels >= 1 && channels <= 6) ? channels : (channels == 8 ? 7 : 0);
    return true;
}

void AppendAdtsHeader(const AacParameters& params, size_t cbPayload, std::vector<uint8_t>* pOut)
{
    const size_t cbFrame = cbPayload + 7;
    const uint8_t header[7] = {
        0xFF,
        0xF1,  // MPEG-4, layer 0, no CRC
        static_cast<uint8_t>((params.profile << 6) | (params.frequencyIndex << 2) | (params.channelConfig >> 2)),
        static_cast<uint8_t>(((params.channelConfig & 3) << 6) | ((cbFrame >> 11) & 3)),
        static_cast<uint8_t>((cbFrame >> 3) & 0xFF),
        static_cast<uint8_t>(((cbFrame & 7) << 5) | 0x1F),  // buffer fullness 0x7FF: variable rate
        0xFC,  // one raw data block
    };
    pOut->insert(pOut->end(), header, header + 7);
}

DWORD H264LengthSize(const std::vector<uint8_t>& format)
{
    if (format.size() < 120) return 0;
    return format[116] | (format[117] << 8) | (format[118] << 16) | (static_cast<DWORD>(format[119]) << 24);
}

bool AppendAnnexB(const uint8_t* pData, size_t cb, DWORD cbLength, std::vector<uint8_t>* pOut)
{
    static const uint8_t kStartCode[4] = {0, 0, 0, 1};
    size_t pos = 0;
    while (pos < cb) {
        if (cb - pos < cbLength) return false;
        size_t cbUnit = 0;
        for (DWORD k = 0; k < cbLength; ++k) cbUnit = (cbUnit << 8) | pData[pos + k];
        pos += cbLength;
        if (cbUnit > cb - pos) return false;
        pOut->insert(pOut->end(), kStartCode, kStartCode + 4);
        pOut->insert(pOut->end(), pData + pos, pData + pos + cbUnit);
        pos += cbUnit;
    }
    return true;
}
