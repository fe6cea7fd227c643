// Time of the marker estimator on a 2 s CV unit (a 0.3 s lead, "ka" with a 1.3 s vowel) and a 2 s
// VX unit, clean and hard.

#include "EstimatorVoices.h"
#include "engine/MarkerEstimator.h"

#include <benchmark/benchmark.h>

namespace {

lvbench::TestUnit twoSecondUnit(const std::string& kind)
{
    using lvdemo::Segment;
    lvbench::TestUnit u;
    u.voice = "bench";
    u.kind = kind;
    u.pitch = "A3";
    u.f0Hz = 220.0;
    if (kind == "CV") {
        u.symbol = "ka";
        u.plan = {"ka", "CV", {{Segment::Silence, "", 0.3}, {Segment::Silence, "", 0.05}, {Segment::Burst, "k", 0.03},
                                {Segment::Vowel, "a", 1.42}, {Segment::Silence, "", 0.2}}, {}};
    } else {
        u.symbol = "a_s";
        u.plan = {"a_s", "VX", {{Segment::Silence, "", 0.3}, {Segment::Vowel, "a", 1.3}, {Segment::Frication, "s", 0.2},
                                 {Segment::Silence, "", 0.2}}, {}};
    }
    return u;
}

void estimate(benchmark::State& state, const std::string& kind, bool hard)
{
    std::vector<float> x = lvbench::recordUnit(twoSecondUnit(kind), hard);
    x.resize(88200); // exactly 2 s
    for (auto _ : state) {
        auto m = TessarinEngineV6::estimateMarkers(x.data(), x.size(), 44100, kind);
        benchmark::DoNotOptimize(m);
    }
}

} // namespace

BENCHMARK_CAPTURE(estimate, cv_clean_2s, std::string("CV"), false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(estimate, cv_hard_2s, std::string("CV"), true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(estimate, vx_hard_2s, std::string("VX"), true)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
