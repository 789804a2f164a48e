// The per-sample lookups a delivery thread makes, over every sample of a
// synthetic track of 10,000 and of 1,000,000 samples held in memory:
// size, chunk of the sample, chunk offset, start time and the sync sample at
// or before it. Reported as time per sample.
#include <benchmark/benchmark.h>

#include <memory>

#include "movie.h"
#include "moviebuilder.h"
#include "moviesampletables.h"
#include "movietimetables.h"
#include "movietrack.h"
#include "movietestaccess.h"
#include "testsources.h"

using namespace testmovie;

namespace {

struct SyntheticTrack {
    explicit SyntheticTrack(uint32_t samples) : movie(&source), track(&movie)
    {
        std::vector<uint32_t> sizes(samples);
        for (uint32_t n = 0; n < samples; ++n) sizes[n] = 200 + (n * 37) % 900;
        std::vector<ChunkRun> chunkRuns = {{1, 5}, {3, 4}};
        uint32_t chunks = 2 + (samples - 10 + 3) / 4;
        std::vector<uint64_t> offsets(chunks);
        for (uint32_t c = 0; c < chunks; ++c) offsets[c] = 4096 + uint64_t(c) * 4000;
        const SyntheticTimes times = MakeSyntheticTimes(samples);
        const testbox::Bytes boxes[] = {StszBox(0, sizes),     StscBox(chunkRuns),   StcoBox(offsets, false),
                                        CttsBox(times.ctts), SttsBox(times.stts), StssBox(times.stss)};
        testbox::Bytes all;
        std::vector<CBox> headers;
        for (const testbox::Bytes& box : boxes) {
            headers.emplace_back(&source, testbox::FourCC(reinterpret_cast<const char*>(box.data().data() + 4)), 8,
                                 static_cast<LONGLONG>(box.size()), all.size());
            all.append(box);
        }
        all.zeros(8192);
        source.Data() = all.data();
        source.SetRecording(false);
        MovieTestAccess::SetLocationTables(track, new CSampleSizeBox(headers[0]), new CSampleToChunkBox(headers[1]),
                                           new CChunkOffsetBox(headers[2], false));
        MovieTestAccess::SetTimeTables(track, 1000, 0, new CDecodingTimeToSampleBox(headers[4]),
                                       new CCompositionTimeToSampleBox(headers[3]), new CSyncSampleBox(headers[5]));
        bOk = SUCCEEDED(track.GetSampleSizeBox()->Parse()) && SUCCEEDED(track.GetSampleToChunkBox()->Parse()) &&
              SUCCEEDED(track.GetChunkOffsetBox()->Parse()) && SUCCEEDED(track.GetCompositionTimeBox()->ParseTable()) &&
              SUCCEEDED(track.GetDecodingTimeBox()->ParseTable()) && SUCCEEDED(track.GetSyncSampleBox()->ParseTable());
    }
    testsrc::MemorySource source;
    CMovie movie;
    CMovieTrack track;
    bool bOk = false;
};

void BM_WalkEverySample(benchmark::State& state)
{
    const uint32_t samples = static_cast<uint32_t>(state.range(0));
    SyntheticTrack synthetic(samples);
    if (!synthetic.bOk) {
        state.SkipWithError("table parse failed");
        return;
    }
    CMovieTrack& track = synthetic.track;
    for (auto _ : state) {
        uint64_t checksum = 0;
        for (DWORD n = 0; n < samples; ++n) {
            DWORD chunk = 0, index = 0;
            checksum += track.GetSampleSizeBox()->GetSampleSize(n);
            track.GetSampleToChunkBox()->GetChunkOfSample(n, &chunk, &index);
            checksum += track.GetChunkOffsetBox()->GetChunkOffset(chunk) + index;
            REFERENCE_TIME start, duration;
            track.GetSampleTime(n, &start, &duration);
            checksum += static_cast<uint64_t>(start) + track.GetSyncSampleBox()->GetSyncSampleAtOrBefore(n);
        }
        benchmark::DoNotOptimize(checksum);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * samples);
    // Seconds per sample, printed with an SI prefix ("25n" = 25 ns).
    state.counters["per_sample"] = benchmark::Counter(double(state.iterations()) * samples,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace

BENCHMARK(BM_WalkEverySample)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
