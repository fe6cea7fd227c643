// Harvest at the pipeline's settings (55 … 1000 Hz, one frame per 128 samples) on 1 s and 5 s of a
// sung tone. The counter "compute/audio" is seconds of CPU time per second of audio; it should not
// grow with the clip's length.

#include "SungTone.h"
#include "dsp/Harvest.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace Tessarin;

static void BM_HarvestSungTone(benchmark::State& state)
{
    const double seconds = double(state.range(0));
    const std::vector<double> x = lvbench::sungTone(seconds);
    const HarvestOptions options; // the pipeline's: 55 Hz, 1000 Hz, 128 / 44100 · 1000 ms
    for (auto _ : state) {
        HarvestTrack track = harvest(x, 44100, options);
        benchmark::DoNotOptimize(track.f0.data());
    }
    state.counters["compute/audio"] =
        benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HarvestSungTone)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);
