// Container costs on the engine's hot paths: collecting per-frame values one at a time, and
// serialising a model-sized FrameSeries.

#include "core/FastVector.h"
#include "core/FrameSeries.h"
#include "core/MemoryStream.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace Tessarin;

static void BM_PushBackFloats(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        FastVector<float> v;
        for (std::uint32_t i = 0; i < n; ++i) {
            v.push_back(float(i));
        }
        benchmark::DoNotOptimize(v.data());
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_PushBackFloats)->Arg(1000)->Arg(100000);

static void BM_ConsumeAndRefill(benchmark::State& state)
{
    FIFOSampleBufferTemplate<float> fifo(512, 1);
    std::vector<float> block(256, 1.0f);
    std::vector<float> out(128);
    for (auto _ : state) {
        fifo.append(block.data(), 256);
        while (fifo.size() >= 128) {
            fifo.take(out.data(), 128);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * 256);
}
BENCHMARK(BM_ConsumeAndRefill);

// A two-second unit: 690 frames of a 256-value envelope.
static FrameSeries modelSizedSeries()
{
    FrameSeries s;
    std::vector<float> frame(256, 0.25f);
    for (int i = 0; i < 690; ++i) {
        s.appendFrame(frame);
    }
    return s;
}

static void BM_WriteFrameSeries(benchmark::State& state)
{
    const FrameSeries s = modelSizedSeries();
    for (auto _ : state) {
        CMemoryBuffer buffer;
        CMemoryStream stream(&buffer);
        writeFrameSeries(stream, s);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * s.values.size() * 4);
}
BENCHMARK(BM_WriteFrameSeries);

static void BM_ReadFrameSeries(benchmark::State& state)
{
    CMemoryBuffer buffer;
    CMemoryStream writer(&buffer);
    writeFrameSeries(writer, modelSizedSeries());
    FrameSeries back;
    for (auto _ : state) {
        CMemoryStream reader(&buffer);
        readFrameSeries(reader, back);
        benchmark::DoNotOptimize(back.values.data());
    }
    state.SetBytesProcessed(state.iterations() * buffer.size());
}
BENCHMARK(BM_ReadFrameSeries);
