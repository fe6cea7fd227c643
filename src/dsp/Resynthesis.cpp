#include "dsp/Resynthesis.h"

#include "dsp/Windows.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace Tessarin {

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
    // Eight points run their recurrences side by side: each recurrence is a chain of dependent
    // multiply-adds, and eight independent chains keep the vector units busy. Unused lanes stay 0.
    constexpr std::size_t kLanes = 8;
    for (std::size_t first = 0; first < points; first += kLanes) {
        float previous[kLanes] = {};
        float current[kLanes] = {};
        float twoCos[kLanes] = {};
        const std::size_t lanes = std::min(kLanes, points - first);
        for (std::size_t l = 0; l < lanes; ++l) {
            const std::size_t p = first + l;
            // The factor 2 undoes the halving of a unit-sum analysis window.
            const float amplitude = 2.0f * std::pow(10.0f, levels[p] / 20.0f);
            const float omega = kTwoPiF * frequencies[p] / sampleRate;
            previous[l] = amplitude * std::cos(phases[p] - half * omega);
            current[l] = amplitude * std::cos(phases[p] + (1.0f - half) * omega);
            twoCos[l] = 2.0f * std::cos(omega);
        }
        float sum0 = 0.0f;
        float sum1 = 0.0f;
        for (std::size_t l = 0; l < kLanes; ++l) {
            sum0 += previous[l];
            sum1 += current[l];
        }
        block[0] += sum0;
        if (n == 1) {
            continue;
        }
        block[1] += sum1;
        for (std::size_t j = 2; j < n; ++j) {
            float sum = 0.0f;
            for (std::size_t l = 0; l < kLanes; ++l) {
                const float next = twoCos[l] * current[l] - previous[l];
                previous[l] = current[l];
                current[l] = next;
                sum += next;
            }
            block[j] += sum;
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
