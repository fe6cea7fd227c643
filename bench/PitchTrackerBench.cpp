// The pitch tracker on a sung tone: 1 s and 5 s of a 220 Hz voice-like tone (eight harmonics,
// ±30 cents of vibrato at 5.5 Hz, a little breath noise). CPU time per second of audio is the
// time of Track/1, or a fifth of Track/5. DifferenceFrames is the difference function of a block of
// frames in each version the processor can run.

#include "core/FastVector.h"
#include "dsp/PitchTracker.h"
#include "dsp/Yin.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cmath>
#include <random>
#include <vector>

using namespace Tessarin;

namespace {

std::vector<float> sungTone(double seconds)
{
    constexpr double fs = 44100.0;
    std::mt19937 gen(3);
    std::uniform_real_distribution<double> breath(-0.01, 0.01);
    std::vector<float> x(std::size_t(seconds * fs));
    double cycles = 0.0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / fs;
        const double hz = 220.0 * std::pow(2.0, 0.3 / 12.0 * std::sin(2.0 * M_PI * 5.5 * t));
        double v = 0.0;
        for (int k = 1; k <= 8; ++k) {
            v += 0.4 / k * std::sin(2.0 * M_PI * k * cycles);
        }
        x[i] = float(v + breath(gen));
        cycles += hz / fs;
    }
    return x;
}

void BM_Track(benchmark::State& state)
{
    const double seconds = double(state.range(0));
    const std::vector<float> x = sungTone(seconds);
    PitchTracker tracker;
    FastVector<float> f0;
    for (auto _ : state) {
        tracker.Track(x, {}, f0);
        benchmark::DoNotOptimize(f0.data());
    }
}
BENCHMARK(BM_Track)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond);

// A ten-minute recording tracked once: the peak resident memory of the process afterwards (the
// source itself is 106 MB of floats). Run alone (--benchmark_filter=TrackTenMinutes) for a figure
// that belongs to it.
void BM_TrackTenMinutes(benchmark::State& state)
{
    const std::vector<float> x = sungTone(600.0);
    PitchTracker tracker;
    FastVector<float> f0;
    for (auto _ : state) {
        tracker.Track(x, {}, f0);
        benchmark::DoNotOptimize(f0.data());
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_mb"] = double(usage.ru_maxrss) / 1024.0;
    state.counters["back_pointer_bytes_per_frame"] = double(tracker.backPointerBytesPerFrame());
}
BENCHMARK(BM_TrackTenMinutes)->Iterations(1)->Unit(benchmark::kSecond);

// The difference functions of 64 consecutive frames (801 lags, window 1102, hop 128), as the
// tracker makes them; the item count is frames.
void BM_DifferenceFrames(benchmark::State& state)
{
    const auto isa = YinIsa(state.range(0));
    const char* names[] = {"portable", "avx2", "avx512"};
    state.SetLabel(names[state.range(0)]);
    if (!yinIsaSupported(isa)) {
        state.SkipWithError("not supported by this processor");
        return;
    }
    constexpr std::size_t kFrames = 64;
    constexpr std::size_t kLags = 801;
    const std::vector<float> tone = sungTone(0.5);
    const std::vector<double> x(tone.begin(), tone.end());
    std::vector<double> d(kFrames * kLags);
    std::vector<double> scratch;
    for (auto _ : state) {
        yinDifferenceFrames(isa, x, 2048, 128, 1102, kFrames, kLags, d, scratch);
        benchmark::DoNotOptimize(d.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(kFrames));
}
BENCHMARK(BM_DifferenceFrames)->Arg(int(YinIsa::Portable))->Arg(int(YinIsa::Avx2))->Arg(int(YinIsa::Avx512));

} // namespace
