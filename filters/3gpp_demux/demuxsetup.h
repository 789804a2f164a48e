// The filter's registration record: what the filter mapper is told about
// the filter, its pins and their media types.
#ifndef DEMUX_DEMUXSETUP_H
#define DEMUX_DEMUXSETUP_H

#include "win32.h"

// "Orvane 3GPP Demux Filter", merit MERIT_NORMAL, pins "Input", "Video
// Output" and "Audio Output".
extern const AMOVIESETUP_FILTER g_sudDemuxFilter;

// The input pin's registered media types: MEDIATYPE_Stream with the same
// six subtypes, in the same order, that the input pin accepts.
extern const AMOVIESETUP_MEDIATYPE g_sudDemuxInputTypes[];
extern const UINT g_cDemuxInputTypes;

#endif
