#include "demuxsetup.h"

#include "demuxfilter.h"

namespace {

// Byte-stream subtypes that upstream readers of the device give 3GPP and MP4
// files; the filter only compares them.
const GUID kStreamSubtype0 = {0xEC91B78B, 0x4B17, 0x46BF, {0xBA, 0x8F, 0x83, 0x28, 0x28, 0x85, 0xDA, 0x87}};
const GUID kStreamSubtype1 = {0x14AB389E, 0xF244, 0x4241, {0xBC, 0x65, 0x5D, 0x3B, 0x82, 0x42, 0xA0, 0x0C}};
const GUID kStreamSubtype2 = {0x05F62D9A, 0x8580, 0x42CC, {0xBC, 0x08, 0x3B, 0xAD, 0x80, 0x1E, 0x7F, 0xA1}};
const GUID kStreamSubtype3 = {0x7C860DBA, 0xF86F, 0x4C1C, {0x8A, 0xAA, 0xAC, 0x5D, 0x6D, 0x9E, 0xFA, 0x9E}};
const GUID kStreamSubtype4 = {0x3B914512, 0xFF69, 0x4C87, {0x95, 0x24, 0xCD, 0x0F, 0x5D, 0x85, 0x85, 0xD3}};

// The output pins' media types are known only once a file is open, so they
// are registered by major type alone.
const AMOVIESETUP_MEDIATYPE kVideoOutputTypes[] = {
    {&MEDIATYPE_Video, &GUID_NULL},
};
const AMOVIESETUP_MEDIATYPE kAudioOutputTypes[] = {
    {&MEDIATYPE_Audio, &GUID_NULL},
};

WCHAR kInputPinName[] = L"Input";
WCHAR kVideoOutputPinName[] = L"Video Output";
WCHAR kAudioOutputPinName[] = L"Audio Output";

}  // namespace

const AMOVIESETUP_MEDIATYPE g_sudDemuxInputTypes[] = {
    {&MEDIATYPE_Stream, &kStreamSubtype0}, {&MEDIATYPE_Stream, &kStreamSubtype1},
    {&MEDIATYPE_Stream, &kStreamSubtype2}, {&MEDIATYPE_Stream, &kStreamSubtype3},
    {&MEDIATYPE_Stream, &kStreamSubtype4}, {&MEDIATYPE_Stream, &MEDIASUBTYPE_None},
};
const UINT g_cDemuxInputTypes = sizeof(g_sudDemuxInputTypes) / sizeof(g_sudDemuxInputTypes[0]);

namespace {

// Fields: name, rendered, output, zero instances allowed, many instances,
// connects-to filter, connects-to pin, media type count, media types.
const AMOVIESETUP_PIN kPins[] = {
    {kInputPinName, FALSE, FALSE, FALSE, FALSE, &GUID_NULL, NULL, sizeof(g_sudDemuxInputTypes) / sizeof(g_sudDemuxInputTypes[0]), g_sudDemuxInputTypes},
    {kVideoOutputPinName, FALSE, TRUE, TRUE, FALSE, &GUID_NULL, NULL, 1, kVideoOutputTypes},
    {kAudioOutputPinName, FALSE, TRUE, TRUE, FALSE, &GUID_NULL, NULL, 1, kAudioOutputTypes},
};

}  // namespace

const AMOVIESETUP_FILTER g_sudDemuxFilter = {
    &CLSID_DemuxFilter, L"Orvane 3GPP Demux Filter", MERIT_NORMAL, sizeof(kPins) / sizeof(kPins[0]), kPins,
};
