#include "dsp/PitchTracker.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace Tessarin {

PitchTracker::PitchTracker() = default;

int PitchTracker::largestLag() const
{
    return int(m_params.sampleRate / m_params.minimumF0);
}

void PitchTracker::buildTables()
{
    buildStateTables();
    const Parameters& p = m_params;
    const int n = m_stateCount;

    // Row = from-state, column = to-state. A jump of c states weighs (D + 1 − c) / (D + 1)², and
    // changing between voiced and unvoiced costs the switch probability.
    const int width = p.transitionWidth;
    const double norm = double(width + 1) * double(width + 1);
    const double change = double(p.voicingSwitchProbability);
    m_transition.resize(2 * n, 2 * n);
    for (int i = 0; i < n; ++i) {
        for (int j = std::max(0, i - width); j <= std::min(n - 1, i + width); ++j) {
            const double w = double(width + 1 - std::abs(i - j)) / norm;
            m_transition.at(i, j) = w * (1.0 - change);
            m_transition.at(i, n + j) = w * change;
            m_transition.at(n + i, j) = w * change;
            m_transition.at(n + i, n + j) = w * (1.0 - change);
        }
    }
}

void PitchTracker::setBandedTransitions()
{
    // The non-zero entries of the matrix buildTables makes, column by column in ascending
    // from-state (the voiced states, then their unvoiced twins), with the same values.
    const Parameters& p = m_params;
    const int n = m_stateCount;
    const int width = p.transitionWidth;
    const double norm = double(width + 1) * double(width + 1);
    const double change = double(p.voicingSwitchProbability);
    std::vector<std::size_t> columnStart(std::size_t(2 * n) + 1, 0);
    std::vector<int> from;
    std::vector<double> weight;
    from.reserve(std::size_t(2 * n) * std::size_t(2 * (2 * width + 1)));
    weight.reserve(from.capacity());
    for (int c = 0; c < 2 * n; ++c) {
        const int j = c % n;
        const bool toVoiced = c < n;
        for (int twin = 0; twin < 2; ++twin) {
            const bool fromVoiced = twin == 0;
            for (int i = std::max(0, j - width); i <= std::min(n - 1, j + width); ++i) {
                const double w = double(width + 1 - std::abs(i - j)) / norm;
                const double value = fromVoiced == toVoiced ? w * (1.0 - change) : w * change;
                if (value > 0.0) { // as the decoder keeps of a matrix
                    from.push_back(fromVoiced ? i : n + i);
                    weight.push_back(value);
                }
            }
        }
        columnStart[std::size_t(c) + 1] = from.size();
    }
    m_decoder.setTransitions(std::move(columnStart), std::move(from), std::move(weight));
}

void PitchTracker::buildStateTables()
{
    const Parameters& p = m_params;

    // The grid spans minimum … maximum in 0.1-semitone steps, all in single precision.
    const float steps = 12.0f * std::log(p.maximumF0 / p.minimumF0) / kLn2 / kGridStepSemitones;
    m_stateCount = int(std::ceil(steps));
    const int n = m_stateCount;
    m_grid.resize(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        m_grid[std::size_t(i)] = p.minimumF0 * std::exp(float(i) * kLn2 * kGridStepSemitones / 12.0f);
    }

    m_thresholds.resize(kThresholdCount);
    m_prior.resize(kThresholdCount);
    double priorSum = 0.0;
    for (int k = 0; k < kThresholdCount; ++k) {
        const float t = float(k + 1) * 0.01f;
        m_thresholds[std::size_t(k)] = t;
        const double td = t;
        const double v = std::pow(td, double(p.priorAlpha) - 1.0) * std::pow(1.0 - td, double(p.priorBeta) - 1.0);
        m_prior[std::size_t(k)] = v;
        priorSum += v;
    }
    for (double& v : m_prior) {
        v /= priorSum;
    }

    // Every track starts unvoiced, at no particular pitch.
    m_initial.assign(std::size_t(2 * n), 0.0);
    for (int i = n; i < 2 * n; ++i) {
        m_initial[std::size_t(i)] = 1.0 / double(n);
    }
}

int PitchTracker::nearestPitchState(float f) const
{
    const auto above = std::upper_bound(m_grid.begin(), m_grid.end(), f);
    if (above == m_grid.end()) {
        return m_stateCount - 1;
    }
    const auto upper = int(above - m_grid.begin());
    if (upper == 0) {
        return 0;
    }
    const float lowerHz = m_grid[std::size_t(upper - 1)];
    const float upperHz = *above;
    return f - lowerHz <= upperHz - f ? upper - 1 : upper;
}

void PitchTracker::observe(std::span<const YinCandidate> candidates, int globalIndex, float hintHz,
                           std::span<double> obs)
{
    const int n = m_stateCount;
    if (obs.size() != std::size_t(2 * n)) {
        throw std::invalid_argument("PitchTracker::observe: one value per state expected");
    }
    const double trust = double(m_params.yinTrust);
    std::fill(obs.begin(), obs.end(), 0.0);
    const auto unvoicedOnly = [&] {
        for (int i = n; i < 2 * n; ++i) {
            obs[std::size_t(i)] = 1.0 - trust;
        }
    };
    const bool validGlobal = globalIndex >= 0 && std::size_t(globalIndex) < candidates.size();
    if (!validGlobal || hintHz == 0.0f) {
        unvoicedOnly();
        return;
    }

    if (m_mass.size() != std::size_t(n)) {
        m_mass.assign(std::size_t(n), 0.0);
        m_hasMass.assign(std::size_t(n), 0);
        m_massStates.clear();
        m_massStates.reserve(kThresholdCount);
    }
    for (const int s : m_massStates) {
        m_mass[std::size_t(s)] = 0.0;
        m_hasMass[std::size_t(s)] = 0;
    }
    m_massStates.clear();

    const float globalDip = candidates[std::size_t(globalIndex)].dip;
    double total = 0.0;
    for (int k = 0; k < kThresholdCount; ++k) {
        const float t = m_thresholds[std::size_t(k)];
        const float f = yinPlainEstimate(candidates, globalIndex, t);
        if (!(f > 0.0f && f < m_params.maximumF0)) {
            continue;
        }
        const int q = nearestPitchState(f);
        const double weight = globalDip > t ? double(m_params.fallbackWeight) : 1.0;
        const double add = m_prior[std::size_t(k)] * weight;
        if (!m_hasMass[std::size_t(q)]) {
            m_hasMass[std::size_t(q)] = 1;
            m_massStates.push_back(q);
        }
        m_mass[std::size_t(q)] += add;
        total += add;
    }
    if (m_massStates.empty()) {
        unvoicedOnly();
        return;
    }
    std::sort(m_massStates.begin(), m_massStates.end());

    if (hintHz > 0.0f) {
        const int hinted = nearestPitchState(hintHz);
        int closest = -1;
        int closestDistance = std::numeric_limits<int>::max();
        for (const int s : m_massStates) {
            const int distance = std::abs(s - hinted);
            if (distance < closestDistance) {
                closestDistance = distance;
                closest = s;
            }
        }
        if (closestDistance < kHintPullStates) {
            for (const int s : m_massStates) {
                double& m = m_mass[std::size_t(s)];
                m = (s == closest ? m + kHintPullMass : m) / (total + kHintPullMass) * total;
            }
        }
        if (total < kHintMassFloor) {
            // A total of 0 (only the zero-weight threshold 1.0 gave an estimate) has nothing to
            // scale; 0 · (0.6 / 0) would turn the masses into NaN.
            if (total > 0.0) {
                for (const int s : m_massStates) {
                    m_mass[std::size_t(s)] *= kHintMassFloor / total;
                }
            }
            total = kHintMassFloor;
        }
    }

    for (const int s : m_massStates) {
        obs[std::size_t(s)] = m_mass[std::size_t(s)] * trust;
    }
    const double unvoiced = (1.0 - total) * (1.0 - trust);
    for (int i = n; i < 2 * n; ++i) {
        obs[std::size_t(i)] = unvoiced;
    }
}

int PitchTracker::Track(std::span<const float> samples, std::span<const float> hint, FastVector<float>& f0)
{
    buildStateTables();
    const int n = m_stateCount;
    const auto lags = std::size_t(largestLag());
    const auto hop = std::size_t(m_params.hop);
    const std::size_t frames = std::max<std::size_t>(1, samples.size() / hop);
    if (frames > std::size_t(std::numeric_limits<int>::max())) {
        throw std::length_error("PitchTracker::Track: source too long");
    }

    m_differences.assign(kBlockFrames * lags, 0.0);
    m_normalised.assign(lags, 0.0);
    m_candidates.clear();
    m_candidates.reserve(lags / 2 + 1);
    m_observation.resize(2 * n, 1);
    m_estimates.assign(frames, 0.0f);
    m_mass.clear(); // resized by observe for this grid
    m_decoder.reset();
    setBandedTransitions();
    m_decoder.reserveFrames(frames);

    // The difference function runs on doubles, a block of frames at a time over every sample the
    // block reaches, widened (zeros beyond the source's ends) rather than the whole source at
    // once: a long recording would need eight bytes per sample.
    const int window = m_params.windowLength;
    const std::ptrdiff_t reachBefore = yinReachBefore(window, lags);
    const std::ptrdiff_t reachAfter = yinReachAfter(window, lags);
    const auto count = std::ptrdiff_t(samples.size());
    m_source.reserve((kBlockFrames - 1) * hop + std::size_t(reachBefore + reachAfter) + 1);

    // A frame whose hint is exactly 0 is unvoiced whatever its difference function says, and a path
    // never passes through a voiced state of it (such a state has probability 0), so its plain
    // estimate is never read either: only the frames from the first to the last one of a block with
    // another hint get a difference function (a frame's values do not depend on its neighbours).
    const auto forcedUnvoiced = [&hint](std::size_t e) { return e < hint.size() && hint[e] == 0.0f; };
    const std::span<double> obs = m_observation.values();
    for (std::size_t first = 0; first < frames; first += kBlockFrames) {
        const std::size_t blockEnd = std::min(first + kBlockFrames, frames);
        std::size_t lo = first;
        while (lo < blockEnd && forcedUnvoiced(lo)) {
            ++lo;
        }
        std::size_t hi = blockEnd;
        while (hi > lo && forcedUnvoiced(hi - 1)) {
            --hi;
        }
        if (lo < hi) {
            const std::size_t blockFrames = hi - lo;
            const auto from = std::ptrdiff_t(lo * hop) - reachBefore;
            const auto to = std::ptrdiff_t((hi - 1) * hop) + reachAfter + 1;
            m_source.assign(std::size_t(to - from), 0.0);
            const std::ptrdiff_t inFrom = std::clamp<std::ptrdiff_t>(from, 0, count);
            const std::ptrdiff_t inTo = std::clamp<std::ptrdiff_t>(to, inFrom, count);
            std::copy(samples.begin() + inFrom, samples.begin() + inTo, m_source.begin() + (inFrom - from));
            yinDifferenceFrames(m_source, reachBefore, m_params.hop, window, blockFrames, lags, m_differences,
                                m_stretches);
        }

        for (std::size_t e = first; e < blockEnd; ++e) {
            const float hintHz = e < hint.size() ? hint[e] : -1.0f;
            int global = -1;
            m_estimates[e] = 0.0f;
            if (e >= lo && e < hi) {
                const std::span<const double> d(m_differences.data() + (e - lo) * lags, lags);
                yinNormalise(d, m_normalised);
                global = yinCandidates(d, m_normalised, m_params.sampleRate, m_candidates);
                m_estimates[e] = yinPlainEstimate(m_candidates, global, m_params.absoluteThreshold);
            }
            observe(m_candidates, global, hintHz, obs);
            if (e == 0) {
                m_decoder.start(m_initial, obs);
            } else {
                m_decoder.step(obs);
            }
        }
    }

    m_decoder.backTrack(m_path);
    f0.assign(std::uint32_t(m_path.size()), 0.0f);
    for (std::size_t i = 0; i < m_path.size(); ++i) {
        const int state = m_path[i];
        if (state >= n) {
            continue;
        }
        const float gridHz = m_grid[std::size_t(state)];
        const float yinHz = m_estimates[i];
        // The interpolated YIN value is more precise than the grid, as long as it agrees with the
        // decoded state.
        const bool precise = gridHz != 0.0f && yinHz != 0.0f &&
                             std::fabs(12.0f * std::log(yinHz / gridHz) / kLn2) < kPreciseWithinSemitones;
        f0[std::uint32_t(i)] = precise ? yinHz : gridHz;
    }
    return int(m_path.size());
}

} // namespace Tessarin
