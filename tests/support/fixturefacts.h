// The facts recorded beside each real fixture (tests/fixtures/NAME.facts):
// what ffprobe and a walk of the file's own boxes say about its tracks, edit
// lists, samples and metadata. tests/fixtures/README.md describes the format.
#ifndef TESTS_FIXTUREFACTS_H
#define TESTS_FIXTUREFACTS_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

struct EditFacts {
    uint64_t segmentDuration = 0;  // movie time scale
    int64_t mediaTime = 0;         // -1: empty edit
    int16_t rateInteger = 0;
    int16_t rateFraction = 0;
};

struct PacketFacts {
    uint32_t sample = 0;  // 0-based, in the track's tables
    uint32_t size = 0;
    int64_t pos = 0;
    // ffprobe's times, after ffmpeg applied the edit lists; absent when ffprobe had none.
    std::optional<int64_t> dts;
    std::optional<int64_t> pts;
    std::optional<int64_t> duration;
    int64_t rawDts = 0;  // sum of the stts deltas before this sample
    int64_t ctts = 0;    // composition offset as stored, 0 without ctts
    bool key = false;
    std::string md5;  // of the bytes at pos..pos+size as stored
};

struct TrackFacts {
    int stream = 0;    // ffprobe stream index = order of the trak boxes
    std::string type;  // "video" or "audio"
    std::string codec;  // ffprobe codec_name
    std::string tag;    // sample-entry fourcc
    uint32_t trackId = 0;
    uint32_t timescale = 0;  // mdhd
    uint64_t durationTs = 0; // mdhd
    uint32_t samples = 0;      // in moov and in fragments
    uint32_t moovSamples = 0;  // in moov's tables; the fragments' follow them
    uint64_t endTs = 0;        // decoding time after the last sample
    std::optional<int> width;
    std::optional<int> height;
    std::optional<int> sampleRate;
    std::optional<int> channels;
    std::string profile;  // "" when ffprobe has none
    uint32_t extradataSize = 0;
    std::string extradataMd5;  // "" without extradata
    bool hasStss = false;
    bool hasCtts = false;
    std::vector<EditFacts> edits;
    std::vector<PacketFacts> packets;  // decode order

    // The mdhd duration or, where it says 0, the sum of the stts deltas: the
    // last sample's raw decode time plus its duration. A fragmented track
    // lasts to the end of its last sample when its header says less.
    uint64_t MediaDuration() const;
};

// A text found in moov/udta: a 3GPP asset box ("titl", "auth", ...) or an item
// of the item list ("ilst:\xA9nam").
struct UdtaFacts {
    std::string box;
    std::string lang;  // "" for item-list entries
    std::string text;  // UTF-8
};

struct FixtureFacts {
    std::string name;  // file name of the movie, e.g. "h263-amrnb.3gp"
    uint32_t movieTimescale = 0;
    uint64_t movieDuration = 0;
    std::vector<TrackFacts> tracks;
    std::map<std::string, std::string> meta;  // ffprobe format tags, UTF-8
    std::vector<UdtaFacts> udta;

    // The first track of that type ("video"/"audio"), or null.
    const TrackFacts* FirstTrack(const std::string& type) const;
    // The text of a udta box ("titl", "ilst:\xA9nam"), or nothing.
    std::optional<std::string> UdtaText(const std::string& box) const;
};

// Full path of a file in the fixtures directory.
std::string FixturePath(const std::string& name);

// Reads NAME's facts, where name is the movie's file name ("mjpeg.mov").
// Throws std::runtime_error naming the file and line when the facts are
// missing or malformed.
FixtureFacts LoadFixtureFacts(const std::string& name);

// File names of every fixture that has a .facts file, sorted.
std::vector<std::string> ListFixtures();

#endif
