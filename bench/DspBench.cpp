// The analysis building blocks at the sizes the pipeline uses them.

#include "dsp/BandPass.h"
#include "dsp/HarmonicPeaks.h"
#include "dsp/LfModel.h"
#include "dsp/NoiseFilterBank.h"
#include "dsp/Resynthesis.h"
#include "dsp/SpectralEnvelope.h"
#include "dsp/Spectrum.h"
#include "dsp/Windows.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

using namespace Tessarin;

namespace {

std::vector<float> sungTone(std::size_t n)
{
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = double(i) / 44100.0;
        v[i] = float(0.3 * std::sin(2 * 3.14159265 * 220.0 * t) + 0.1 * std::sin(2 * 3.14159265 * 660.0 * t));
    }
    return v;
}

} // namespace

// One frame of the short-time spectrum: cut, zero-phase load, forward transform, levels and phases.
static void BM_Spectrum512(benchmark::State& state)
{
    const auto source = sungTone(44100);
    std::vector<float> window(512);
    blackmanHarrisWindow(window);
    normaliseToUnitSum(window);
    std::vector<float> frame(512);
    FreqMagAndPhaseBox box(512);
    std::int64_t centre = 0;
    for (auto _ : state) {
        cutFrame(centre, source, frame);
        box.loadZeroPhase(frame, window);
        box.forward();
        box.computeLevelAndPhase();
        benchmark::DoNotOptimize(box.level.data());
        centre = (centre + 128) % 44100;
    }
}
BENCHMARK(BM_Spectrum512);

static void BM_BandPass1s(benchmark::State& state)
{
    const auto source = sungTone(44100);
    for (auto _ : state) {
        auto out = bandPass(source, 2.0f * 1000.0f / 44100.0f, 2.0f * 2000.0f / 44100.0f);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_BandPass1s)->Unit(benchmark::kMillisecond);

static void BM_NoiseFilterBankLevels(benchmark::State& state)
{
    const NoiseFilterBank bank;
    FreqBox box(512);
    const auto source = sungTone(512);
    std::vector<float> window(512, 1.0f);
    box.loadZeroPhase(source, window);
    box.forward();
    std::vector<float> levels(128);
    for (auto _ : state) {
        bank.levels(box, levels);
        benchmark::DoNotOptimize(levels.data());
    }
}
BENCHMARK(BM_NoiseFilterBankLevels);

// 1 s at 220 Hz: 345 frames of 100 harmonics.
static void BM_Resynthesis1s220Hz(benchmark::State& state)
{
    PeakTracks tracks;
    for (int e = 0; e < 345; ++e) {
        HarmonicFrame& f = tracks.addFrame();
        for (int k = 1; k <= 100; ++k) {
            PeakTracks::appendPoint(f, 220.0f * float(k), -20.0f - 0.3f * float(k), 0.1f * float(k));
        }
    }
    FastVector<float> out;
    for (auto _ : state) {
        resynthesise(tracks, 128, 44100.0f, out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Resynthesis1s220Hz)->Unit(benchmark::kMillisecond);

// The glottal template tables computed, as every analysing process once did before its first unit.
static void BM_LfTemplateTablesComputed(benchmark::State& state)
{
    for (auto _ : state) {
        auto tables = buildLfTemplateTables();
        benchmark::DoNotOptimize(tables.levels.data());
    }
}
BENCHMARK(BM_LfTemplateTablesComputed)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same tables read from the copy compiled into the library: every row and every instant of
// excitation through the accessors the analysis uses. (A new process also takes the page faults of
// the first read of the 432 KB, which a repeated loop does not show.)
static void BM_LfTemplateTablesEmbedded(benchmark::State& state)
{
    FastVector<float> row;
    for (auto _ : state) {
        double sum = 0.0;
        for (int i = 0; i < kLfTemplateCount; ++i) {
            lfTemplateLevels(i, row);
            sum += double(row[0]) + lfMainExcitation(i);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_LfTemplateTablesEmbedded)->Unit(benchmark::kMicrosecond);

// Harmonic measurement of 1 s of a steady tone: 345 frames.
static void BM_HarmonicBuild1s(benchmark::State& state)
{
    const float f0 = float(state.range(0));
    std::vector<float> source(44100);
    for (std::size_t i = 0; i < source.size(); ++i) {
        double s = 0;
        for (int k = 1; k * f0 < 20000.0f && k <= 40; ++k) {
            s += 0.3 / k * std::sin(2 * 3.14159265 * f0 * k * double(i) / 44100.0);
        }
        source[i] = float(s);
    }
    const std::vector<float> track(345, f0);
    HarmonicAnalyser analyser;
    PeakTracks tracks;
    for (auto _ : state) {
        analyser.build(source, track, tracks);
        benchmark::DoNotOptimize(tracks.frames.data());
    }
}
BENCHMARK(BM_HarmonicBuild1s)->Arg(110)->Arg(440)->Unit(benchmark::kMillisecond);

static void BM_CompactEnvelope(benchmark::State& state)
{
    const float f0 = float(state.range(0));
    const int h = int(22050.0f / f0);
    std::vector<float> levels(static_cast<std::size_t>(h));
    for (int k = 0; k < h; ++k) {
        levels[std::size_t(k)] = -20.0f - 0.002f * f0 * float(k) + 3.0f * std::sin(float(k));
    }
    SpectralEnvelope envelope;
    FrameMags out;
    for (auto _ : state) {
        envelope.compact(out, f0, levels, h);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_CompactEnvelope)->Arg(60)->Arg(150)->Arg(300)->Unit(benchmark::kMicrosecond);
