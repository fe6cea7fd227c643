// The spectrogram's speed: how soon the coarse picture of a 10-minute recording is ready after the
// request, how long a 10 s view takes to refine fully, and how many columns one core computes per
// second. The requests run through the builder's real threads; times are wall-clock.

#include "SungTone.h"
#include "ui/spectrogram/CSpecBuilder.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

using namespace TessarinEditor;

namespace {

constexpr double kRate = 44100.0;

// seconds of the sung tone as the editor holds a recording (16-bit), tiled from one second of it
// (synthesising ten minutes outright is slow).
const std::vector<std::int16_t>& recording(int seconds)
{
    static std::vector<std::int16_t> tile;
    static std::vector<std::int16_t> cache;
    static int cached = 0;
    if (tile.empty()) {
        for (const float v : lvbench::sungTone(1.0)) {
            tile.push_back(std::int16_t(std::lround(std::clamp(v, -1.0f, 1.0f) * 32767.0f)));
        }
    }
    if (cached != seconds) {
        cache.clear();
        for (int s = 0; s < seconds; ++s) {
            cache.insert(cache.end(), tile.begin(), tile.end());
        }
        cached = seconds;
    }
    return cache;
}

// Counts pictures; a waiter can block until the next one.
class PictureCounter : public CSpecBuildingListener {
public:
    void onSpecRenderingReady() override
    {
        const std::lock_guard lock(m_mutex);
        ++m_pictures;
        m_ready.notify_all();
    }
    int pictures()
    {
        const std::lock_guard lock(m_mutex);
        return m_pictures;
    }
    void waitBeyond(int n)
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [&] { return m_pictures > n; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    int m_pictures = 0;
};

} // namespace

// From the first request after a load (the store is reset inside it) to the coarse picture of the
// whole 10-minute file on a 1000-pixel view.
static void BM_SpecCoarsePictureTenMinutes(benchmark::State& state)
{
    const auto& samples = recording(600);
    PictureCounter counter;
    CSpecBuilder builder(&counter);
    for (auto _ : state) {
        state.PauseTiming();
        builder.stop();
        const int before = counter.pictures();
        state.ResumeTiming();
        builder.request(samples.data(), std::int64_t(samples.size()), kRate, 0.0, 600.0, QRect(0, 0, 1000, 300));
        counter.waitBeyond(before);
    }
    state.counters["columns"] = double(builder.stats().columnCount);
}
BENCHMARK(BM_SpecCoarsePictureTenMinutes)->Unit(benchmark::kMillisecond)->UseRealTime();

// A 10 s file on a 1000-pixel view, from the request to the last refinement (2003 columns), the
// background filling off so that only the request's work counts.
static void BM_SpecFullRefinementTenSeconds(benchmark::State& state)
{
    const auto& samples = recording(10);
    PictureCounter counter;
    CSpecBuilder builder(&counter, CSpecBuilder::Params{false});
    for (auto _ : state) {
        state.PauseTiming();
        builder.stop();
        state.ResumeTiming();
        builder.request(samples.data(), std::int64_t(samples.size()), kRate, 0.0, 10.0, QRect(0, 0, 1000, 300));
        builder.waitUntilIdle(std::chrono::minutes(1));
    }
    state.counters["columns"] = double(builder.stats().computations);
}
BENCHMARK(BM_SpecFullRefinementTenSeconds)->Unit(benchmark::kMillisecond)->UseRealTime();

// Column computation alone on the calling thread: frame, window, FFT, levels and colours.
static void BM_SpecColumnsOneCore(benchmark::State& state)
{
    const auto& samples = recording(10);
    SpecColumnComputer computer;
    std::vector<SpecColourIndex> column(SpecColumnStore::kColumnBytes / sizeof(SpecColourIndex));
    std::int64_t i = 0;
    for (auto _ : state) {
        computer.compute(samples.data(), std::int64_t(samples.size()), kRate, i, column.data());
        benchmark::DoNotOptimize(column.data());
        i = (i + 1) % 2000;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SpecColumnsOneCore);
