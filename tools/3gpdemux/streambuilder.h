// Turns what one output pin delivered into the bytes of its stream file
// (streamformat.h): configuration first where the decoder needs it, H.264
// NAL units behind start codes, AAC packs split into ADTS frames, AMR
// frames behind the storage-format magic.
#ifndef TOOLS_3GPDEMUX_STREAMBUILDER_H
#define TOOLS_3GPDEMUX_STREAMBUILDER_H

#include <string>
#include <vector>

#include "pinfacts.h"
#include "recordingsink.h"
#include "streamformat.h"
#include "tracktable.h"

struct BuiltStream {
    std::vector<uint8_t> bytes;
    size_t frames = 0;  // pictures, AAC access units or AMR frames
};

// table: the pin's track as the file stores it, needed for AAC only (the
// packs hold whole samples in order, so the sizes split them).
bool BuildStream(const PinFacts& pin, StreamCodec codec, const std::vector<SampleRecord>& samples,
                 const std::vector<TrackSample>& table, BuiltStream* pStream, std::string* pError);

#endif
