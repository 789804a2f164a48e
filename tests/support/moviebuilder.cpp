#include "moviebuilder.h"

#include <algorithm>
#include <stdexcept>

namespace testmovie {

using testbox::Box;
using testbox::Bytes;
using testbox::FullBox;

namespace {

bool Omitted(const TrackLayout& track, const char* type)
{
    return std::find(track.omit.begin(), track.omit.end(), std::string(type)) != track.omit.end();
}

// Adds the box unless the track leaves that type out.
void Add(Bytes& parent, const TrackLayout& track, const char* type, const Bytes& box)
{
    if (!Omitted(track, type)) parent.append(box);
}

// How many samples each chunk holds, following the sample-to-chunk runs the
// way the demultiplexer reads them (chunks before the first run use it too).
std::vector<uint32_t> ChunkSampleCounts(const TrackLayout& track)
{
    std::vector<ChunkRun> runs = track.chunkRuns;
    if (runs.empty()) runs.push_back({1, track.samplesPerChunk});
    std::vector<uint32_t> counts;
    size_t remaining = track.samples.size();
    size_t run = 0;
    for (uint32_t chunk = 1; remaining > 0; ++chunk) {
        while (run + 1 < runs.size() && runs[run + 1].firstChunk <= chunk) ++run;
        uint32_t perChunk = runs[run].samplesPerChunk;
        if (perChunk == 0 && run + 1 == runs.size()) break;  // the rest cannot be placed
        uint32_t take = static_cast<uint32_t>(std::min<size_t>(perChunk, remaining));
        counts.push_back(take);
        remaining -= take;
        if (counts.size() > 50000000) throw std::runtime_error("chunk layout does not end");
    }
    return counts;
}

std::vector<TimeRun> DecodingRuns(const TrackLayout& track)
{
    if (!track.stts.empty()) return track.stts;
    if (track.samples.empty()) return {};
    return {{static_cast<uint32_t>(track.samples.size()), track.defaultDelta}};
}

Bytes DefaultEntry(const TrackLayout& track)
{
    if (!track.sampleEntry.data().empty()) return track.sampleEntry;
    if (track.kind == TrackLayout::Video) return H263Entry();
    if (track.kind == TrackLayout::Audio) return AmrEntry();
    return Box("text", Bytes().zeros(8));
}

Bytes StblBox(const TrackLayout& track, const std::vector<uint32_t>& chunkCounts, const std::vector<uint64_t>& chunkOffsets)
{
    Bytes stbl;
    Add(stbl, track, "stsd", FullBox("stsd", 0, 0, Bytes().u32(1).append(DefaultEntry(track))));
    Add(stbl, track, "stts", SttsBox(DecodingRuns(track)));
    if (!track.ctts.empty()) Add(stbl, track, "ctts", CttsBox(track.ctts));
    if (track.stss) Add(stbl, track, "stss", StssBox(*track.stss));
    std::vector<ChunkRun> runs = track.chunkRuns;
    if (runs.empty() && !chunkCounts.empty()) runs.push_back({1, track.samplesPerChunk});
    Add(stbl, track, "stsc", StscBox(runs));
    std::vector<uint32_t> sizes;
    for (const auto& sample : track.samples) sizes.push_back(static_cast<uint32_t>(sample.size()));
    Add(stbl, track, "stsz", StszBox(track.constantSampleSize, sizes));
    Add(stbl, track, track.co64 ? "co64" : "stco", StcoBox(chunkOffsets, track.co64));
    stbl.append(track.extraStblChildren);
    return Box("stbl", stbl);
}

uint64_t MediaDuration(const TrackLayout& track)
{
    if (track.mediaDuration) return *track.mediaDuration;
    uint64_t total = 0;
    for (const TimeRun& run : DecodingRuns(track)) total += static_cast<uint64_t>(run.count) * run.value;
    return total;
}

Bytes TrakBox(const TrackLayout& track, const std::vector<uint32_t>& chunkCounts, const std::vector<uint64_t>& chunkOffsets)
{
    Bytes trak;
    Add(trak, track, "tkhd", FullBox("tkhd", 0, track.trackFlags, Bytes().zeros(80)));
    if (track.elst) Add(trak, track, "edts", Box("edts", *track.elst));

    Bytes mdhdPayload;
    uint64_t duration = MediaDuration(track);
    if (track.mdhdVersion == 1) {
        mdhdPayload.u64(0).u64(0).u32(track.timeScale).u64(duration).u16(0x55C4).u16(0);
    } else {
        mdhdPayload.u32(0).u32(0).u32(track.timeScale).u32(static_cast<uint32_t>(duration)).u16(0x55C4).u16(0);
    }
    Bytes minf;
    if (track.kind == TrackLayout::Video) Add(minf, track, "vmhd", FullBox("vmhd", 0, 1, Bytes().zeros(8)));
    if (track.kind == TrackLayout::Audio) Add(minf, track, "smhd", FullBox("smhd", 0, 0, Bytes().zeros(4)));
    if (track.kind == TrackLayout::Other) Add(minf, track, "nmhd", FullBox("nmhd", 0, 0));
    minf.append(track.extraMinfChildren);
    Add(minf, track, "stbl", StblBox(track, chunkCounts, chunkOffsets));

    Bytes mdia;
    Add(mdia, track, "mdhd", FullBox("mdhd", track.mdhdVersion, 0, mdhdPayload));
    Add(mdia, track, "minf", Box("minf", minf));
    Add(trak, track, "mdia", Box("mdia", mdia));
    return Box("trak", trak);
}

Bytes MoovBox(const MovieLayout& layout, const std::vector<std::vector<uint32_t>>& chunkCounts,
              const std::vector<std::vector<uint64_t>>& chunkOffsets)
{
    Bytes mvhd;
    if (layout.mvhdVersion == 1) {
        mvhd.u64(0).u64(0).u32(layout.timeScale).u64(layout.duration);
    } else {
        mvhd.u32(0).u32(0).u32(layout.timeScale).u32(static_cast<uint32_t>(layout.duration));
    }
    mvhd.u32(0x00010000).u16(0x0100).zeros(10).zeros(36).zeros(24).u32(static_cast<uint32_t>(layout.tracks.size() + 1));
    Bytes moov = FullBox("mvhd", layout.mvhdVersion, 0, mvhd);
    for (size_t i = 0; i < layout.tracks.size(); ++i) moov.append(TrakBox(layout.tracks[i], chunkCounts[i], chunkOffsets[i]));
    moov.append(layout.extraMoovChildren);
    return Box("moov", moov);
}

}  // namespace

BuiltMovie BuildMovie(const MovieLayout& layout)
{
    std::vector<std::vector<uint32_t>> chunkCounts;
    std::vector<std::vector<uint64_t>> chunkOffsets;
    for (const TrackLayout& track : layout.tracks) {
        chunkCounts.push_back(ChunkSampleCounts(track));
        chunkOffsets.emplace_back(chunkCounts.back().size(), 0);
    }
    Bytes ftyp = Box("ftyp", Bytes().fourcc("3gp6").u32(0x100).fourcc("isom").fourcc("3gp6"));
    // Chunk offsets do not change the movie box's size, so one sizing pass
    // gives the media data's position.
    size_t moovSize = MoovBox(layout, chunkCounts, chunkOffsets).size();
    BuiltMovie built;
    built.mdatOffset = layout.mdatBeforeMoov ? ftyp.size() : ftyp.size() + moovSize;
    built.moovOffset = layout.mdatBeforeMoov ? 0 : ftyp.size();

    Bytes media;
    uint64_t mediaStart = built.mdatOffset + 8;
    for (size_t t = 0; t < layout.tracks.size(); ++t) {
        const TrackLayout& track = layout.tracks[t];
        BuiltTrack out;
        size_t sample = 0;
        for (size_t c = 0; c < chunkCounts[t].size(); ++c) {
            chunkOffsets[t][c] = mediaStart + media.size();
            for (uint32_t k = 0; k < chunkCounts[t][c]; ++k, ++sample) {
                out.sampleOffsets.push_back(mediaStart + media.size());
                media.append(track.samples[sample]);
            }
        }
        out.chunkOffsets = chunkOffsets[t];
        built.tracks.push_back(out);
    }
    Bytes mdat = Box("mdat", media);
    Bytes moov = MoovBox(layout, chunkCounts, chunkOffsets);
    Bytes file = ftyp;
    if (layout.mdatBeforeMoov) {
        file.append(mdat).append(moov);
        built.moovOffset = ftyp.size() + mdat.size();
    } else {
        file.append(moov).append(mdat);
    }
    built.bytes = file.data();
    return built;
}

std::vector<std::vector<uint8_t>> PatternSamples(const std::vector<uint32_t>& sizes, uint32_t seed)
{
    std::vector<std::vector<uint8_t>> samples;
    for (size_t n = 0; n < sizes.size(); ++n) {
        std::vector<uint8_t> sample(sizes[n]);
        for (size_t i = 0; i < sample.size(); ++i) sample[i] = static_cast<uint8_t>(n * 31 + i * 7 + seed);
        samples.push_back(std::move(sample));
    }
    return samples;
}

SyntheticTimes MakeSyntheticTimes(uint32_t samples)
{
    SyntheticTimes t;
    for (uint32_t n = 0, i = 0; n < samples; ++i) {
        uint32_t count = std::min<uint32_t>(1 + i % 3, samples - n);
        t.stts.push_back({count, 100 + i % 7});
        n += count;
    }
    for (uint32_t n = 0; n < samples; ++n) t.ctts.push_back({1, (n % 5) * 10});
    for (uint32_t n = 0; n < samples; n += 30) t.stss.push_back(n + 1);
    return t;
}

Bytes H263Entry(uint16_t width, uint16_t height)
{
    Bytes payload;
    payload.zeros(6).u16(1).zeros(16).u16(width).u16(height).u32(0x00480000).u32(0x00480000).u32(0).u16(1).zeros(32).u16(24).u16(0xFFFF);
    payload.append(Box("d263", Bytes().fourcc("FFMP").u8(0).u8(10).u8(0)));
    return Box("s263", payload);
}

Bytes AmrEntry(const char* type)
{
    Bytes payload;
    payload.zeros(6).u16(1).zeros(8).u16(2).u16(16).u16(0).u16(0).u32(8000u << 16);
    payload.append(Box("damr", Bytes().fourcc("FFMP").u8(0).u16(0x81FF).u8(0).u8(1)));
    return Box(type, payload);
}

Bytes AvcEntry(const std::vector<uint8_t>& sps, const std::vector<uint8_t>& pps, int nalLengthSize)
{
    Bytes avcc;
    avcc.u8(1).u8(sps.size() > 1 ? sps[1] : 66).u8(0).u8(sps.size() > 3 ? sps[3] : 30);
    avcc.u8(0xFC | static_cast<uint8_t>(nalLengthSize - 1)).u8(0xE1).u16(static_cast<uint32_t>(sps.size())).append(sps);
    avcc.u8(1).u16(static_cast<uint32_t>(pps.size())).append(pps);
    Bytes payload;
    payload.zeros(6).u16(1).zeros(16).u16(320).u16(240).u32(0x00480000).u32(0x00480000).u32(0).u16(1).zeros(32).u16(24).u16(0xFFFF);
    payload.append(Box("avcC", avcc));
    return Box("avc1", payload);
}

Bytes TwoEntryEditList(uint8_t version, uint64_t emptyDuration, int64_t secondMediaTime, uint64_t secondDuration)
{
    Bytes payload;
    payload.u32(2);
    if (version == 1) {
        payload.u64(emptyDuration).i64(-1).u32(0x00010000);
        payload.u64(secondDuration).i64(secondMediaTime).u32(0x00010000);
    } else {
        payload.u32(static_cast<uint32_t>(emptyDuration)).i32(-1).u32(0x00010000);
        payload.u32(static_cast<uint32_t>(secondDuration)).i32(static_cast<int32_t>(secondMediaTime)).u32(0x00010000);
    }
    return FullBox("elst", version, 0, payload);
}

namespace {
Bytes TimeTable(const char* type, const std::vector<TimeRun>& runs)
{
    Bytes payload;
    payload.u32(static_cast<uint32_t>(runs.size()));
    for (const TimeRun& run : runs) payload.u32(run.count).u32(run.value);
    return FullBox(type, 0, 0, payload);
}
}  // namespace

Bytes SttsBox(const std::vector<TimeRun>& runs) { return TimeTable("stts", runs); }
Bytes CttsBox(const std::vector<TimeRun>& runs) { return TimeTable("ctts", runs); }

Bytes StssBox(const std::vector<uint32_t>& samples)
{
    Bytes payload;
    payload.u32(static_cast<uint32_t>(samples.size()));
    for (uint32_t sample : samples) payload.u32(sample);
    return FullBox("stss", 0, 0, payload);
}

Bytes StszBox(uint32_t constantSize, const std::vector<uint32_t>& sizes)
{
    Bytes payload;
    payload.u32(constantSize).u32(static_cast<uint32_t>(sizes.size()));
    if (constantSize == 0) for (uint32_t size : sizes) payload.u32(size);
    return FullBox("stsz", 0, 0, payload);
}

Bytes StscBox(const std::vector<ChunkRun>& runs)
{
    Bytes payload;
    payload.u32(static_cast<uint32_t>(runs.size()));
    for (const ChunkRun& run : runs) payload.u32(run.firstChunk).u32(run.samplesPerChunk).u32(1);
    return FullBox("stsc", 0, 0, payload);
}

Bytes StcoBox(const std::vector<uint64_t>& offsets, bool b64)
{
    Bytes payload;
    payload.u32(static_cast<uint32_t>(offsets.size()));
    for (uint64_t offset : offsets) {
        if (b64) payload.u64(offset);
        else payload.u32(static_cast<uint32_t>(offset));
    }
    return FullBox(b64 ? "co64" : "stco", 0, 0, payload);
}

}  // namespace testmovie
