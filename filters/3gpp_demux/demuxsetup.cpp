#include "demuxsetup.h"

#include "demuxfilter.h"

namespace {

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
    {&MEDIATYPE_Stream, &MEDIASUBTYPE_DemuxStream[0]}, {&MEDIATYPE_Stream, &MEDIASUBTYPE_DemuxStream[1]},
    {&MEDIATYPE_Stream, &MEDIASUBTYPE_DemuxStream[2]}, {&MEDIATYPE_Stream, &MEDIASUBTYPE_DemuxStream[3]},
    {&MEDIATYPE_Stream, &MEDIASUBTYPE_DemuxStream[4]}, {&MEDIATYPE_Stream, &MEDIASUBTYPE_None},
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
