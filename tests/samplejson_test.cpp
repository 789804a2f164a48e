// The samples lines are written without a JSON library; whoever reads them
// with one must find them exactly as that library would have written them.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "samplejson.h"

namespace {

using Json = nlohmann::ordered_json;

TEST(SampleJson, RatesAreLaidOutAsAJsonLibraryWritesThem)
{
    for (double dRate : {1.0, 0.5, -2.0, -0.0, 1.0 / 3, 1e-4, 1.5e-5, 123456789012345.0, 1e15, 2.5e16, 1e300, 5e-324}) {
        Json expected{{"pin", "audio"}, {"event", "segment"}, {"start", -1}, {"stop", 9223372036854775807LL}, {"rate", dRate}};
        EXPECT_EQ(expected.dump(), SegmentJsonLine("audio", -1, 9223372036854775807LL, dRate)) << dRate;
    }
}

TEST(SampleJson, TimesThatFailedOrAreAbsentAreNull)
{
    struct Case {
        HRESULT hrTime;
        HRESULT hrMediaTime;
        bool bStart, bStop, bMedia;
    } cases[] = {
        {S_OK, S_OK, true, true, true},
        {VFW_S_NO_STOP_TIME, VFW_E_MEDIA_TIME_NOT_SET, true, false, false},
        {VFW_E_SAMPLE_TIME_NOT_SET, S_OK, false, false, true},
    };
    for (const Case& c : cases) {
        SampleJsonFields fields = {c.hrTime, 10, 20, c.hrMediaTime, 1, 2, true, false, true, 4096};
        Json expected{{"pin", "video"}, {"event", "sample"}, {"n", 7}};
        expected["start"] = c.bStart ? Json(10) : Json(nullptr);
        expected["stop"] = c.bStop ? Json(20) : Json(nullptr);
        expected["mstart"] = c.bMedia ? Json(1) : Json(nullptr);
        expected["mstop"] = c.bMedia ? Json(2) : Json(nullptr);
        expected.update(Json{{"sync", true}, {"discontinuity", false}, {"preroll", true}, {"size", 4096}, {"md5", "a\"b\\\n\x01"}});
        EXPECT_EQ(expected.dump(), SampleJsonLine("video", 7, fields, "a\"b\\\n\x01")) << std::hex << c.hrTime;
    }
}

}  // namespace
