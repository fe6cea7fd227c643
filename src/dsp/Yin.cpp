#include "dsp/Yin.h"

#include <algorithm>

namespace Tessarin {

void yinDifference(std::span<const float> x, std::ptrdiff_t centre, int windowLength, std::span<double> d)
{
    const auto n = std::ptrdiff_t(x.size());
    const auto sample = [&](std::ptrdiff_t i) { return i >= 0 && i < n ? double(x[std::size_t(i)]) : 0.0; };
    for (std::size_t tau = 0; tau < d.size(); ++tau) {
        const std::ptrdiff_t start = centre - windowLength / 2 - std::ptrdiff_t(tau / 2);
        double sum = 0.0;
        for (std::ptrdiff_t j = 0; j < windowLength; ++j) {
            const double diff = sample(start + j) - sample(start + j + std::ptrdiff_t(tau));
            sum += diff * diff;
        }
        d[tau] = sum;
    }
}

void yinNormalise(std::span<const double> d, std::span<double> dn)
{
    if (d.empty()) {
        return;
    }
    // Silence gives a zero running sum; the floor turns 0 / 0 into 0.
    constexpr double kSumFloor = 1e-10;
    dn[0] = 1.0;
    double running = 0.0;
    for (std::size_t tau = 1; tau < d.size(); ++tau) {
        running += d[tau];
        dn[tau] = double(tau) * d[tau] / std::max(running, kSumFloor);
    }
}

int yinCandidates(std::span<const double> d, std::span<const double> dn, float sampleRateHz,
                  std::vector<YinCandidate>& candidates)
{
    candidates.clear();
    double best = 10.0;
    int global = -1;
    for (std::size_t tau = 1; tau + 1 < dn.size(); ++tau) {
        if (!(dn[tau] < 1.0 && dn[tau - 1] > dn[tau] && dn[tau + 1] > dn[tau])) {
            continue;
        }
        const double refined =
            double(tau) + 0.5 * (d[tau - 1] - d[tau + 1]) / (d[tau + 1] + d[tau - 1] - 2.0 * d[tau]);
        candidates.push_back({float(dn[tau]), float(double(sampleRateHz) / refined)});
        if (dn[tau] < best) {
            best = dn[tau];
            global = int(candidates.size()) - 1;
        }
    }
    return global;
}

float yinPlainEstimate(std::span<const YinCandidate> candidates, int globalIndex, float threshold)
{
    if (candidates.empty() || globalIndex < 0 || std::size_t(globalIndex) >= candidates.size()) {
        return 0.0f;
    }
    for (std::size_t i = 0; i <= std::size_t(globalIndex); ++i) {
        if (candidates[i].dip < threshold) {
            if (candidates[i].frequency != 0.0f) {
                return candidates[i].frequency;
            }
            break;
        }
    }
    return candidates[std::size_t(globalIndex)].frequency;
}

} // namespace Tessarin
