// One unit's analysis at the pipeline's settings, on a synthetic sung vowel. The f0 stage is given
// the true pitch here, so the figures are those of every step after f0 estimation.

#include "engine/AnalysisPipeline.h"
#include "engine/ModelRenderer.h"

#include "support/SyntheticVoice.h"

#include <benchmark/benchmark.h>

using namespace TessarinEngineV6;

static void BM_AnalyseAfterF0(benchmark::State& state)
{
    lvtest::SungVowel v;
    v.f0Hz = double(state.range(0));
    v.seconds = double(state.range(1));
    const auto samples = lvtest::singVowel(v);
    const float pitch = float(v.f0Hz);
    const F0Stage known = [pitch](std::span<const float> s, bool, Tessarin::FastVector<float>& f0) {
        f0.assign(std::uint32_t(s.size() / 128 + 1), pitch);
    };
    for (auto _ : state) {
        TSVM_V0::TsVoiceModel model;
        AnalysisSettings settings;
        Tessarin::AnalysisRandom random(1);
        analyse(settings, samples, model, false, random, known);
        benchmark::DoNotOptimize(model.f0.data());
    }
    state.counters["ms_per_s"] = benchmark::Counter(1000.0 * v.seconds, benchmark::Counter::kIsIterationInvariantRate |
                                                                            benchmark::Counter::kInvert);
}
BENCHMARK(BM_AnalyseAfterF0)->Args({110, 1})->Args({220, 1})->Args({440, 1})->Args({220, 3})->Unit(benchmark::kMillisecond);

// The whole analysis of a unit, f0 estimation included.
static void BM_AnalyseUnit(benchmark::State& state)
{
    lvtest::SungVowel v;
    v.f0Hz = double(state.range(0));
    v.seconds = double(state.range(1));
    v.vibratoCents = 30.0;
    const auto samples = lvtest::singVowel(v);
    for (auto _ : state) {
        TSVM_V0::TsVoiceModel model;
        AnalysisSettings settings;
        Tessarin::AnalysisRandom random(1);
        analyse(settings, samples, model, false, random);
        benchmark::DoNotOptimize(model.f0.data());
    }
}
BENCHMARK(BM_AnalyseUnit)->Args({110, 1})->Args({220, 1})->Args({440, 1})->Args({110, 3})->Args({220, 3})->Args({440, 3})->Unit(benchmark::kMillisecond);
