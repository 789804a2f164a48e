#include "fixturefacts.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

class FactsError : public std::runtime_error {
public:
    FactsError(const std::string& file, int line, const std::string& what)
        : std::runtime_error(file + ":" + std::to_string(line) + ": " + what) {}
};

// One line cut into its leading words and its key=value fields.
struct Line {
    std::vector<std::string> words;
    std::map<std::string, std::string> fields;
};

Line Split(const std::string& text)
{
    Line line;
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        size_t eq = token.find('=');
        if (eq == std::string::npos) {
            line.words.push_back(token);
        } else {
            line.fields[token.substr(0, eq)] = token.substr(eq + 1);
        }
    }
    return line;
}

// Undoes the %XX quoting of text values; the result is UTF-8 (or raw bytes for fourccs).
std::string PercentDecode(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(uint8_t(text[i + 1])) &&
            std::isxdigit(uint8_t(text[i + 2]))) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Reads the fields of one line, reporting the file and line on any fault.
class FieldReader {
public:
    FieldReader(const std::string& file, int lineNo, const Line& line)
        : m_file(file), m_lineNo(lineNo), m_line(line) {}

    const std::string& Raw(const std::string& key) const
    {
        auto it = m_line.fields.find(key);
        if (it == m_line.fields.end()) throw FactsError(m_file, m_lineNo, "missing field " + key);
        return it->second;
    }
    int64_t Int(const std::string& key) const { return Number(Raw(key), key); }
    std::optional<int64_t> OptionalInt(const std::string& key) const
    {
        const std::string& raw = Raw(key);
        return raw == "-" ? std::nullopt : std::optional<int64_t>(Number(raw, key));
    }
    std::string Text(const std::string& key) const
    {
        const std::string& raw = Raw(key);
        return raw == "-" ? std::string() : PercentDecode(raw);
    }
    int64_t Word(size_t index) const
    {
        if (index >= m_line.words.size()) throw FactsError(m_file, m_lineNo, "too few words");
        return Number(m_line.words[index], "word " + std::to_string(index));
    }

private:
    int64_t Number(const std::string& raw, const std::string& what) const
    {
        int64_t value = 0;
        auto result = std::from_chars(raw.data(), raw.data() + raw.size(), value);
        if (result.ec != std::errc() || result.ptr != raw.data() + raw.size()) {
            throw FactsError(m_file, m_lineNo, "bad number in " + what + ": " + raw);
        }
        return value;
    }

    const std::string& m_file;
    int m_lineNo;
    const Line& m_line;
};

std::optional<int> Narrow(std::optional<int64_t> value)
{
    return value ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
}

TrackFacts ReadTrack(const Line& line, const FieldReader& f)
{
    TrackFacts track;
    track.stream = static_cast<int>(f.Word(1));
    track.type = line.words.size() > 2 ? line.words[2] : "";
    track.codec = f.Text("codec");
    track.tag = f.Text("tag");
    track.trackId = static_cast<uint32_t>(f.Int("track_id"));
    track.timescale = static_cast<uint32_t>(f.Int("timescale"));
    track.durationTs = static_cast<uint64_t>(f.Int("duration_ts"));
    track.samples = static_cast<uint32_t>(f.Int("samples"));
    track.moovSamples = static_cast<uint32_t>(f.Int("moov_samples"));
    track.endTs = static_cast<uint64_t>(f.Int("end_ts"));
    track.width = Narrow(f.OptionalInt("width"));
    track.height = Narrow(f.OptionalInt("height"));
    track.sampleRate = Narrow(f.OptionalInt("sample_rate"));
    track.channels = Narrow(f.OptionalInt("channels"));
    track.profile = f.Text("profile");
    track.extradataSize = static_cast<uint32_t>(f.Int("extradata_size"));
    track.extradataMd5 = f.Text("extradata_md5");
    track.hasStss = f.Int("stss") != 0;
    track.hasCtts = f.Int("ctts") != 0;
    return track;
}

EditFacts ReadEdit(const FieldReader& f)
{
    EditFacts edit;
    edit.segmentDuration = static_cast<uint64_t>(f.Int("segment_duration"));
    edit.mediaTime = f.Int("media_time");
    edit.rateInteger = static_cast<int16_t>(f.Int("rate_integer"));
    edit.rateFraction = static_cast<int16_t>(f.Int("rate_fraction"));
    return edit;
}

PacketFacts ReadPacket(const FieldReader& f)
{
    PacketFacts packet;
    packet.sample = static_cast<uint32_t>(f.Int("sample"));
    packet.size = static_cast<uint32_t>(f.Int("size"));
    packet.pos = f.Int("pos");
    packet.dts = f.OptionalInt("dts");
    packet.pts = f.OptionalInt("pts");
    packet.duration = f.OptionalInt("duration");
    packet.rawDts = f.Int("rawdts");
    packet.ctts = f.Int("ctts");
    packet.key = f.Int("key") != 0;
    packet.md5 = f.Text("md5");
    return packet;
}

TrackFacts& TrackForStream(FixtureFacts& facts, int64_t stream, const std::string& file, int lineNo)
{
    for (TrackFacts& track : facts.tracks) if (track.stream == stream) return track;
    throw FactsError(file, lineNo, "no track line for stream " + std::to_string(stream));
}

void ReadLine(FixtureFacts& facts, const std::string& file, int lineNo, const std::string& text)
{
    Line line = Split(text);
    if (line.words.empty()) return;
    FieldReader f(file, lineNo, line);
    const std::string& kind = line.words[0];
    if (kind == "movie") {
        facts.movieTimescale = static_cast<uint32_t>(f.Int("timescale"));
        facts.movieDuration = static_cast<uint64_t>(f.Int("duration"));
    } else if (kind == "track") {
        facts.tracks.push_back(ReadTrack(line, f));
    } else if (kind == "edit") {
        TrackForStream(facts, f.Word(1), file, lineNo).edits.push_back(ReadEdit(f));
    } else if (kind == "packet") {
        TrackForStream(facts, f.Word(1), file, lineNo).packets.push_back(ReadPacket(f));
    } else if (kind == "meta") {
        for (const auto& [key, value] : line.fields) facts.meta[key] = PercentDecode(value);
    } else if (kind == "udta" && line.words.size() == 2) {
        std::string lang = f.Raw("lang");
        facts.udta.push_back({PercentDecode(line.words[1]), lang == "-" ? "" : lang, f.Text("text")});
    } else {
        throw FactsError(file, lineNo, "unknown record: " + kind);
    }
}

std::string FixtureDir()
{
    return DEMUX_FIXTURE_DIR;
}

}  // namespace

uint64_t TrackFacts::MediaDuration() const
{
    if (samples != moovSamples) return std::max(durationTs, endTs);
    if (durationTs != 0 || packets.empty()) return durationTs;
    return uint64_t(packets.back().rawDts + packets.back().duration.value_or(0));
}

const TrackFacts* FixtureFacts::FirstTrack(const std::string& type) const
{
    for (const TrackFacts& track : tracks) {
        if (track.type == type) return &track;
    }
    return nullptr;
}

std::optional<std::string> FixtureFacts::UdtaText(const std::string& box) const
{
    for (const UdtaFacts& entry : udta) {
        if (entry.box == box) return entry.text;
    }
    return std::nullopt;
}

std::string FixturePath(const std::string& name)
{
    return (fs::path(FixtureDir()) / name).string();
}

FixtureFacts LoadFixtureFacts(const std::string& name)
{
    const std::string file = (fs::path(FixtureDir()) / fs::path(name).stem()).string() + ".facts";
    std::ifstream in(file);
    if (!in) throw FactsError(file, 0, "cannot open");
    FixtureFacts facts;
    facts.name = name;
    std::string text;
    int lineNo = 0;
    while (std::getline(in, text)) ReadLine(facts, file, ++lineNo, text);
    if (facts.tracks.empty()) throw FactsError(file, lineNo, "no tracks");
    return facts;
}

std::vector<std::string> ListFixtures()
{
    std::map<std::string, std::string> movieByStem;
    std::vector<std::string> factStems;
    for (const auto& entry : fs::directory_iterator(FixtureDir())) {
        const fs::path& path = entry.path();
        const std::string ext = path.extension().string();
        if (ext == ".facts") {
            factStems.push_back(path.stem().string());
        } else if (ext != ".md" && entry.is_regular_file()) {
            movieByStem[path.stem().string()] = path.filename().string();
        }
    }
    std::vector<std::string> names;
    for (const std::string& stem : factStems) {
        auto it = movieByStem.find(stem);
        if (it == movieByStem.end()) throw FactsError(stem + ".facts", 0, "no movie file beside it");
        names.push_back(it->second);
    }
    std::sort(names.begin(), names.end());
    return names;
}
