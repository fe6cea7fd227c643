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
    const float half = float(n / 2);
    for (std::size_t p = 0; p < points; ++p) {
        // The factor 2 undoes the halving of a unit-sum analysis window.
        const float amplitude = 2.0f * std::pow(10.0f, levels[p] / 20.0f);
        const float omega = kTwoPiF * frequencies[p] / sampleRate;
        const float phi = phases[p];
        if (n == 0) {
            continue;
        }
        float previous = amplitude * std::cos(phi - half * omega);
        block[0] += previous;
        if (n == 1) {
            continue;
        }
        float current = amplitude * std::cos(phi + (1.0f - half) * omega);
        block[1] += current;
        const float twoCos = 2.0f * std::cos(omega);
        for (std::size_t j = 2; j < n; ++j) {
            const float next = twoCos * current - previous;
            block[j] += next;
            previous = current;
            current = next;
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
