// Marker audition latency: from a clip request to the first audio callback that carries the clip,
// with the callbacks driven by a simulated device clock (256-frame buffers at 44100 Hz, one every
// 5.805 ms). The counters give that latency in device time; the benchmark's own time is the CPU
// cost of the request and the callbacks up to that one. What the listener hears comes one output
// latency of the device after the callback.

#include "audio/CToolBoxWavClipPlayer.h"
#include "audio/PortAudioLibrary.h"
#include "core/MillisecondClock.h"
#include "support/SimulatedAudioDevice.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

using namespace TessarinEditor;

namespace {

constexpr double kRate = 44100.0;
constexpr double kPeriod = CCommonMutex::kFramesPerBuffer / kRate; // [s] one buffer, 5.805 ms
constexpr int kRegion = 2000;                                        // [samples] per distinct clip
constexpr int kRegions = 200;

// A recording whose region k holds 88·(k + 1): a buffer that starts clip k has 0, k + 1,
// 2·(k + 1) in its first three frames (the fade-in), which no other buffer has.
std::vector<std::int16_t> markedRecording()
{
    std::vector<std::int16_t> data(std::size_t(kRegions) * kRegion);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = std::int16_t(88 * (i / kRegion + 1));
    }
    return data;
}

bool startsClip(std::span<const std::int16_t> stereo, int region)
{
    return stereo[0] == 0 && stereo[2] == region + 1 && stereo[4] == 2 * (region + 1);
}

struct Rig {
    Tessarin::ManualMillisecondClock clock{0};
    Tessarin::ScopedProcessClock useClock{clock};
    lvtest::SimulatedAudioDevice device;
    PortAudioLibrary library{device};
    CToolBoxWavClipPlayer player{library};
    std::vector<std::int16_t> data = markedRecording();

    Rig() { device.record = false; }

    void request(double atSec, int region)
    {
        clock.set(std::uint64_t(atSec * 1000.0));
        player.playClip(data.data(), std::int32_t(data.size()), region * kRegion / kRate);
    }
    // Runs buffers until one starts the clip; its device time, or a negative value after limit.
    double runUntilClip(int region, int limit)
    {
        for (int i = 0; i < limit; ++i) {
            const double at = device.time();
            device.runBuffer();
            if (startsClip(device.lastBuffer(player.stream()), region)) {
                return at;
            }
        }
        return -1.0;
    }
};

// Requests fall at every phase of the buffer period (golden-ratio steps), one per iteration.
double phaseOf(std::int64_t i)
{
    const double x = double(i) * 0.6180339887498949;
    return (x - std::floor(x)) * kPeriod;
}

void report(benchmark::State& state, const std::vector<double>& latencies)
{
    if (latencies.empty()) {
        return;
    }
    double sum = 0.0;
    for (double l : latencies) {
        sum += l;
    }
    state.counters["latency_mean_ms"] = 1000.0 * sum / double(latencies.size());
    state.counters["latency_max_ms"] = 1000.0 * *std::max_element(latencies.begin(), latencies.end());
    // Nearest rank: the smallest latency that at least 95 % of the clips do not exceed.
    std::vector<double> sorted = latencies;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t rank = std::size_t(std::ceil(0.95 * double(sorted.size())));
    state.counters["latency_p95_ms"] = 1000.0 * sorted[std::max<std::size_t>(rank, 1) - 1];
}

// The player is active and its stream idle (the last clip has ended): the next buffer takes the clip.
void BM_ClipRequestOnIdleStream(benchmark::State& state)
{
    Rig rig;
    rig.request(0.0, 0);
    rig.device.runBuffers(8);
    std::vector<double> latencies;
    std::int64_t i = 0;
    int region = 0;
    for (auto _ : state) {
        region = (region + 1) % kRegions;
        const double requestAt = rig.device.time() - kPeriod + phaseOf(++i);
        const auto start = std::chrono::steady_clock::now();
        rig.request(requestAt, region);
        const double carriedAt = rig.runUntilClip(region, 10);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (carriedAt < 0.0) {
            state.SkipWithError("clip never played");
            break;
        }
        latencies.push_back(carriedAt - requestAt);
        rig.device.runBuffers(8); // the clip plays out; the stream is idle again
    }
    report(state, latencies);
}
BENCHMARK(BM_ClipRequestOnIdleStream)->UseManualTime();

// The player is stopped (as after Space): the request starts the stream.
void BM_ClipRequestOnStoppedPlayer(benchmark::State& state)
{
    Rig rig;
    std::vector<double> latencies;
    std::int64_t i = 0;
    int region = 0;
    for (auto _ : state) {
        region = (region + 1) % kRegions;
        rig.player.stop();
        rig.device.runBuffers(8); // advances the clock past the throttle
        const double requestAt = rig.device.time() - kPeriod + phaseOf(++i);
        const auto start = std::chrono::steady_clock::now();
        rig.request(requestAt, region);
        const double carriedAt = rig.runUntilClip(region, 10);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (carriedAt < 0.0) {
            state.SkipWithError("clip never played");
            break;
        }
        latencies.push_back(carriedAt - requestAt);
    }
    report(state, latencies);
}
BENCHMARK(BM_ClipRequestOnStoppedPlayer)->UseManualTime();

// A marker dragged without pause for 3 s, one request every range(0) ms: the clips (6 buffers,
// 34.8 ms each) play one after another; a request waits at most for the clip playing to end, and
// one overtaken by a newer request before it started is dropped. Counters: latency from request to
// the first buffer carrying the clip, over the clips heard (mean, 95th percentile, max), and how
// many requests were dropped.
void BM_ClipLatencyDuringSustainedDrag(benchmark::State& state)
{
    const double interval = double(state.range(0)) / 1000.0;
    std::vector<double> latencies;
    int dropped = 0;
    for (auto _ : state) {
        Rig rig;
        rig.device.setTime(1.0);
        const int requests = int(3.0 / interval);
        std::vector<double> requestedAt(std::size_t(requests), -1.0);
        int next = 0;
        double nextRequest = 1.0 + 0.5 * kPeriod;
        latencies.clear();
        // Every buffer: first the requests that fell since the last one, then the callback.
        for (int buffer = 0; buffer < int(4.5 / kPeriod); ++buffer) {
            const double now = rig.device.time();
            while (next < requests && nextRequest <= now) {
                rig.request(nextRequest, next);
                requestedAt[std::size_t(next)] = nextRequest;
                ++next;
                nextRequest += interval;
            }
            rig.device.runBuffer();
            const auto stereo = rig.device.lastBuffer(rig.player.stream());
            if (stereo[0] == 0 && stereo[2] > 0 && stereo[4] == 2 * stereo[2]) {
                const int region = stereo[2] - 1;
                latencies.push_back(now - requestedAt[std::size_t(region)]);
            }
        }
        dropped = next - int(latencies.size());
    }
    report(state, latencies);
    state.counters["clips_heard"] = double(latencies.size());
    state.counters["requests_dropped"] = dropped;
}
BENCHMARK(BM_ClipLatencyDuringSustainedDrag)->Arg(25)->Arg(40)->Unit(benchmark::kMillisecond);

} // namespace
