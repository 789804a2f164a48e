// Assembles a complete, valid movie file in memory (ftyp, moov with one box
// tree per track, mdat) from a short description, and reports where every
// sample landed. Tests change one thing at a time from the valid default.
#ifndef TESTS_MOVIEBUILDER_H
#define TESTS_MOVIEBUILDER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "boxbuilder.h"

namespace testmovie {

struct ChunkRun {
    uint32_t firstChunk;
    uint32_t samplesPerChunk;
};

// A run of a time table: count samples with one delta (stts) or offset (ctts).
struct TimeRun {
    uint32_t count;
    uint32_t value;
};

struct TrackLayout {
    enum Kind { Video, Audio, Other };
    Kind kind = Video;
    uint32_t trackFlags = 1;       // tkhd flags; bit 0 = enabled
    uint32_t timeScale = 1000;     // mdhd
    std::optional<uint64_t> mediaDuration;  // default: the sum of the stts
    uint8_t mdhdVersion = 0;

    // The whole sample entry box put in "stsd"; empty: "s263" for video,
    // "samr" for audio, "text" otherwise.
    testbox::Bytes sampleEntry;

    // The sample bytes; the sizes come from them.
    std::vector<std::vector<uint8_t>> samples;
    // Non-zero: "stsz" gives this shared size instead of a list (every sample must have it).
    uint32_t constantSampleSize = 0;

    // Chunking: samplesPerChunk for every chunk unless runs are given.
    uint32_t samplesPerChunk = 1;
    std::vector<ChunkRun> chunkRuns;
    bool co64 = false;

    // Empty: one run of every sample with defaultDelta.
    std::vector<TimeRun> stts;
    uint32_t defaultDelta = 100;
    std::vector<TimeRun> ctts;                 // empty: no "ctts"
    std::optional<std::vector<uint32_t>> stss;  // 1-based sample numbers; none: no "stss"
    std::optional<testbox::Bytes> elst;        // the whole "elst" box, put in an "edts"

    // Box types left out wherever they would be ("stts", "mdhd", "vmhd", ...).
    std::vector<std::string> omit;
    testbox::Bytes extraStblChildren;
    testbox::Bytes extraMinfChildren;  // after the media header
};

struct MovieLayout {
    uint32_t timeScale = 1000;
    uint64_t duration = 0;
    uint8_t mvhdVersion = 0;
    std::vector<TrackLayout> tracks;
    testbox::Bytes extraMoovChildren;  // "udta" and the like
    bool mdatBeforeMoov = false;
};

struct BuiltTrack {
    std::vector<uint64_t> sampleOffsets;  // file position of each sample
    std::vector<uint64_t> chunkOffsets;
};

struct BuiltMovie {
    std::vector<uint8_t> bytes;
    std::vector<BuiltTrack> tracks;
    uint64_t moovOffset = 0;
    uint64_t mdatOffset = 0;
};

BuiltMovie BuildMovie(const MovieLayout& layout);

// Samples of the given sizes whose bytes depend on the sample number and position.
std::vector<std::vector<uint8_t>> PatternSamples(const std::vector<uint32_t>& sizes, uint32_t seed = 0);

// Time tables of a long synthetic track: deltas 100..106 ms varying run by
// run (runs of 1 to 3 samples), composition offsets 0..40 sample by sample,
// a sync sample every 30.
struct SyntheticTimes {
    std::vector<TimeRun> stts, ctts;
    std::vector<uint32_t> stss;
};
SyntheticTimes MakeSyntheticTimes(uint32_t samples);

// Sample entries.
testbox::Bytes H263Entry(uint16_t width = 176, uint16_t height = 144);
testbox::Bytes AmrEntry(const char* type = "samr");
// "avc1" with an "avcC" of one SPS and one PPS and the given NAL length size (1, 2 or 4).
testbox::Bytes AvcEntry(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps, int nalLengthSize = 4);

// "elst" of two entries: an empty edit of emptyDuration, then media from
// secondMediaTime for secondDuration (movie units).
testbox::Bytes TwoEntryEditList(uint8_t version, uint64_t emptyDuration, int64_t secondMediaTime = 0,
                                uint64_t secondDuration = 1000);

// Single tables, full boxes with version 0.
testbox::Bytes SttsBox(const std::vector<TimeRun>& runs);
testbox::Bytes CttsBox(const std::vector<TimeRun>& runs);
testbox::Bytes StssBox(const std::vector<uint32_t>& samples);
testbox::Bytes StszBox(uint32_t constantSize, const std::vector<uint32_t>& sizes);
testbox::Bytes StscBox(const std::vector<ChunkRun>& runs);
testbox::Bytes StcoBox(const std::vector<uint64_t>& offsets, bool b64);

}  // namespace testmovie

#endif
