// "3gpdemux info FILE": the filter's verdict on the file and, when it takes
// it, every output pin with its media type, track and negotiated allocator,
// as one JSON object.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>

#include "commands.h"
#include "movie.h"
#include "pinfacts.h"
#include "session.h"
#include "textformat.h"

namespace {

using Json = nlohmann::ordered_json;

const char kUsage[] =
    "usage: 3gpdemux info FILE\n"
    "Connects the filter to FILE and a recording sink to each output pin, and prints one JSON\n"
    "object: file, accepted, hr (the connection's result), duration (100-ns units), title,\n"
    "album, author, genre (null when absent) and pins, each with index, name, kind, majortype,\n"
    "subtype, formattype, format and config (hex), samples, max_sample_size, fragmented (the\n"
    "movie has fragments), fragments (how many gave the track samples), timescale,\n"
    "track_duration, start_offset and the allocator (buffers, size, align, prefix).\n"
    "Exit status 2 when the filter refuses the file.\n";

Json MetaText(LPCWSTR pwsz)
{
    return pwsz ? Json(Utf8FromWide(pwsz)) : Json(nullptr);
}

Json PinJson(const PinFacts& pin)
{
    Json json;
    json["index"] = pin.index;
    json["name"] = pin.name;
    json["kind"] = pin.kind;
    json["majortype"] = GuidText(pin.majortype);
    json["subtype"] = GuidText(pin.subtype);
    json["formattype"] = GuidText(pin.formattype);
    json["format"] = HexBytes(pin.format.data(), pin.format.size());
    json["config"] = HexBytes(pin.config.data(), pin.config.size());
    json["samples"] = pin.samples;
    json["max_sample_size"] = pin.maxSampleSize;
    json["fragmented"] = pin.bFragmented;
    json["fragments"] = pin.fragments;
    json["timescale"] = pin.timescale;
    json["track_duration"] = pin.trackDuration;
    json["start_offset"] = pin.startOffset;
    if (pin.bAllocator) {
        json["allocator"] = Json{{"buffers", pin.allocator.cBuffers},
                                 {"size", pin.allocator.cbBuffer},
                                 {"align", pin.allocator.cbAlign},
                                 {"prefix", pin.allocator.cbPrefix}};
    } else {
        json["allocator"] = nullptr;
    }
    return json;
}

}  // namespace

int RunInfo(const std::vector<std::string>& args)
{
    if (args.size() == 1 && IsHelp(args[0])) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (args.size() != 1) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    const std::string& path = args[0];
    if (!CheckReadableFile(path)) return kExitUsage;

    CToolSession session;
    std::string error;
    if (FAILED(session.CreateFilter(&error))) {
        PrintError(error);
        return kExitUsage;
    }
    HRESULT hr = session.OpenFile(path, &error);
    Json json;
    json["file"] = path;
    json["accepted"] = SUCCEEDED(hr);
    json["hr"] = HresultText(hr);
    json["duration"] = nullptr;
    // In the order of the movie's metadata strings.
    const char* const metaKeys[] = {"title", "album", "author", "genre"};
    for (const char* pszKey : metaKeys) json[pszKey] = nullptr;
    json["pins"] = Json::array();
    if (SUCCEEDED(hr) && FAILED(session.ConnectSinks(SinkOptions(), &error))) PrintError(error);
    if (SUCCEEDED(hr)) {
        if (IMediaSeeking* pSeeking = session.Seeking(0)) {
            LONGLONG llDuration = 0;
            if (SUCCEEDED(pSeeking->GetDuration(&llDuration))) json["duration"] = llDuration;
            pSeeking->Release();
        }
        if (const CMovie* pMovie = session.Movie()) {
            for (DWORD i = 0; i < 4; ++i) json[metaKeys[i]] = MetaText(pMovie->GetMetaString(i));
        }
        for (size_t i = 0; i < session.OutputPinCount(); ++i) json["pins"].push_back(PinJson(DescribePin(session, i)));
    }
    std::cout << json.dump(2) << std::endl;
    if (FAILED(hr)) {
        PrintError(error);
        return kExitRefused;
    }
    return kExitOk;
}
