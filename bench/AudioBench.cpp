// Reading a recording as the editor does (whole file to floats) and cutting a builder region.

#include "audio/AudioReader.h"
#include "audio/CWavData.h"
#include "support/WavBytes.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace TessarinEditor;

namespace {

// A 10 s, 44100 Hz, 16-bit mono file in the temporary folder, written once.
const std::filesystem::path& recording()
{
    static const std::filesystem::path path = [] {
        const auto p = std::filesystem::temp_directory_path() / "lv_bench_recording.wav";
        const std::uint32_t n = 441000;
        std::vector<std::int16_t> samples(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            samples[i] = std::int16_t(12000.0 * std::sin(0.0627 * i));
        }
        const std::vector<std::uint8_t> bytes = lvtest::WavBytes::mono16(samples);
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        return p;
    }();
    return path;
}

} // namespace

static void BM_EditorLoad10s(benchmark::State& state)
{
    const auto& path = recording();
    CWavData data;
    for (auto _ : state) {
        loadForEditor(path, data);
        benchmark::DoNotOptimize(data.pcm.data());
    }
    state.SetItemsProcessed(state.iterations() * 441000);
}
BENCHMARK(BM_EditorLoad10s)->Unit(benchmark::kMillisecond);

static void BM_BuilderRegion1s(benchmark::State& state)
{
    CWavBuf wav;
    readAudioFile(recording(), wav);
    for (auto _ : state) {
        auto region = cutRegion(2.0, 3.0, wav);
        benchmark::DoNotOptimize(region.data());
    }
    state.SetItemsProcessed(state.iterations() * 44100);
}
BENCHMARK(BM_BuilderRegion1s)->Unit(benchmark::kMicrosecond);
