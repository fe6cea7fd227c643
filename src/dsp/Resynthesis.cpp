#include "dsp/Resynthesis.h"

#include "dsp/Windows.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace Tessarin {

namespace {

// The compiler's generic four-float vector (lowered to what the target has).
typedef float FloatLanes __attribute__((vector_size(4 * sizeof(float))));

// Eight points per group, as the two halves of their lanes.
constexpr std::size_t kLanes = 8;

// 4 × 4 transpose: out[l] holds lane l of in[0], in[1], in[2], in[3].
inline void transpose(const FloatLanes* in, FloatLanes* out)
{
    const FloatLanes t0 = __builtin_shufflevector(in[0], in[1], 0, 4, 1, 5);
    const FloatLanes t1 = __builtin_shufflevector(in[2], in[3], 0, 4, 1, 5);
    const FloatLanes t2 = __builtin_shufflevector(in[0], in[1], 2, 6, 3, 7);
    const FloatLanes t3 = __builtin_shufflevector(in[2], in[3], 2, 6, 3, 7);
    out[0] = __builtin_shufflevector(t0, t1, 0, 1, 4, 5);
    out[1] = __builtin_shufflevector(t0, t1, 2, 3, 6, 7);
    out[2] = __builtin_shufflevector(t2, t3, 0, 1, 4, 5);
    out[3] = __builtin_shufflevector(t2, t3, 2, 3, 6, 7);
}

// The recurrences of one group of eight points (unused lanes 0): x[j + 1] = 2cos(ω)·x[j] − x[j − 1].
struct PointGroup {
    FloatLanes previous[2];
    FloatLanes current[2];
    FloatLanes twoCos[2];

    void advance(FloatLanes (&next)[2])
    {
        for (int h = 0; h < 2; ++h) {
            next[h] = twoCos[h] * current[h] - previous[h];
            previous[h] = current[h];
            current[h] = next[h];
        }
    }
};

// 0 + lane 0 + lane 1 + … + lane 7, in that order.
inline float sumLanes(const FloatLanes (&v)[2])
{
    float sum = 0.0f;
    for (int h = 0; h < 2; ++h) {
        for (int l = 0; l < 4; ++l) {
            sum += v[h][l];
        }
    }
    return sum;
}

// Samples 2 … n − 1 of G groups (G = 1 or 2), each group's sum added to the block after the
// previous group's, as when the groups run one after the other. Four samples at a time: the values
// of four steps are transposed so that the eight lanes are summed for four samples at once, each
// sum still 0 + lane 0 + … + lane 7.
template <int G>
void runGroups(PointGroup (&groups)[2], float* block, std::size_t n)
{
    std::size_t j = 2;
    for (; j + 4 <= n; j += 4) {
        FloatLanes steps[G][2][4];
        for (int s = 0; s < 4; ++s) {
            for (int g = 0; g < G; ++g) {
                FloatLanes next[2];
                groups[g].advance(next);
                steps[g][0][s] = next[0];
                steps[g][1][s] = next[1];
            }
        }
        FloatLanes out;
        std::memcpy(&out, block + j, sizeof out);
        for (int g = 0; g < G; ++g) {
            FloatLanes lanes[kLanes];
            transpose(steps[g][0], lanes);
            transpose(steps[g][1], lanes + 4);
            FloatLanes sum = {0.0f, 0.0f, 0.0f, 0.0f};
            for (std::size_t l = 0; l < kLanes; ++l) {
                sum += lanes[l];
            }
            out += sum;
        }
        std::memcpy(block + j, &out, sizeof out);
    }
    for (; j < n; ++j) {
        for (int g = 0; g < G; ++g) {
            FloatLanes next[2];
            groups[g].advance(next);
            block[j] += sumLanes(next);
        }
    }
}

} // namespace

void renderFrame(std::span<const float> phases, std::span<float> block, std::span<const float> levels,
                 std::span<const float> frequencies, float sampleRate)
{
    std::fill(block.begin(), block.end(), 0.0f);
    const std::size_t n = block.size();
    const std::size_t points = std::min({phases.size(), levels.size(), frequencies.size()});
    if (n == 0) {
        return;
    }
    const float half = float(n / 2);
    // Eight points run their recurrences side by side (each recurrence is a chain of dependent
    // multiply-adds), and two such groups at a time; unused lanes stay 0. Each sample gets the sum
    // of a group's eight lanes, group after group.
    for (std::size_t first = 0; first < points; first += 2 * kLanes) {
        const int count = points - first > kLanes ? 2 : 1;
        PointGroup groups[2] = {};
        float sum0[2] = {};
        float sum1[2] = {};
        for (int g = 0; g < count; ++g) {
            float previous[kLanes] = {};
            float current[kLanes] = {};
            float twoCos[kLanes] = {};
            const std::size_t start = first + std::size_t(g) * kLanes;
            const std::size_t lanes = std::min(kLanes, points - start);
            for (std::size_t l = 0; l < lanes; ++l) {
                const std::size_t p = start + l;
                // The factor 2 undoes the halving of a unit-sum analysis window.
                const float amplitude = 2.0f * std::pow(10.0f, levels[p] / 20.0f);
                const float omega = kTwoPiF * frequencies[p] / sampleRate;
                previous[l] = amplitude * std::cos(phases[p] - half * omega);
                current[l] = amplitude * std::cos(phases[p] + (1.0f - half) * omega);
                twoCos[l] = 2.0f * std::cos(omega);
            }
            for (std::size_t l = 0; l < kLanes; ++l) {
                sum0[g] += previous[l];
                sum1[g] += current[l];
            }
            static_assert(sizeof groups[g].previous == sizeof previous);
            std::memcpy(groups[g].previous, previous, sizeof previous);
            std::memcpy(groups[g].current, current, sizeof current);
            std::memcpy(groups[g].twoCos, twoCos, sizeof twoCos);
        }
        for (int g = 0; g < count; ++g) {
            block[0] += sum0[g];
        }
        if (n == 1) {
            continue;
        }
        for (int g = 0; g < count; ++g) {
            block[1] += sum1[g];
        }
        if (count == 2) {
            runGroups<2>(groups, block.data(), n);
        } else {
            runGroups<1>(groups, block.data(), n);
        }
    }
}

void resynthesise(const PeakTracks& tracks, int hop, float sampleRate, FastVector<float>& out)
{
    if (hop < 1) {
        throw std::invalid_argument("resynthesis needs a positive hop");
    }
    const std::size_t frames = tracks.frameCount();
    const std::uint64_t total = std::uint64_t(hop) * frames;
    if (total > UINT32_MAX) {
        throw std::length_error("resynthesis longer than 2^32 samples");
    }
    out.assign(static_cast<std::uint32_t>(total), 0.0f);

    const std::size_t n = 2 * std::size_t(hop);
    std::vector<float> window(n);
    hannWindow(window);
    std::vector<float> block(n);
    const auto length = static_cast<std::int64_t>(total);
    for (std::size_t e = 0; e < frames; ++e) {
        const HarmonicFrame& frame = *tracks.frames[e];
        if (frame.pointCount() == 0) {
            continue;
        }
        renderFrame(frame.phases.span(), block, frame.levels.span(), frame.frequencies.span(), sampleRate);
        const std::int64_t start = std::int64_t(e) * hop - hop;
        const std::int64_t first = std::max<std::int64_t>(0, -start);
        const std::int64_t last = std::min<std::int64_t>(std::int64_t(n), length - start);
        for (std::int64_t j = first; j < last; ++j) {
            out[std::uint32_t(start + j)] += block[std::size_t(j)] * window[std::size_t(j)];
        }
    }
}

} // namespace Tessarin
