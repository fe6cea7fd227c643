#include "dsp/NoiseFilterBank.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Tessarin {

namespace {

constexpr float kLinearTopHz = 3000.0f; // single-bin bands up to here
constexpr double kWarpHz = 15000.0;
constexpr double kWarpScale = 5000.0;

double warp(double f) { return kWarpScale * std::log(1.0 + f / kWarpHz); }
double unwarp(double u) { return kWarpHz * (std::exp(u / kWarpScale) - 1.0); }

} // namespace

NoiseFilterBank::NoiseFilterBank(float sampleRate, int n, int bandCount)
    : m_sampleRate(sampleRate), m_n(n), m_bandCount(bandCount)
{
    if (n < 2 || bandCount < 1 || !(sampleRate > 0.0f)) {
        throw std::invalid_argument("noise filter bank needs a positive rate, size and band count");
    }
    const float binWidth = sampleRate / float(n);
    const float top = sampleRate / 2.0f;
    const int linear = static_cast<int>(std::ceil(kLinearTopHz / binWidth));
    if (linear > bandCount) {
        throw std::invalid_argument("noise filter bank with fewer bands than single-bin bands");
    }
    m_linearCount = linear;

    m_centres.resize(std::size_t(bandCount));
    for (int e = 0; e < linear; ++e) {
        m_centres[std::size_t(e)] = float(e) * binWidth;
    }
    const int warped = bandCount - linear;
    const double uLo = warp(double(linear) * binWidth);
    const double uHi = warp(top);
    for (int j = 0; j < warped; ++j) {
        m_centres[std::size_t(linear + j)] = float(unwarp(uLo + double(j) / warped * (uHi - uLo)));
    }

    const int k = n / 2;
    auto binOf = [&](double f) { return f / top * k; };
    auto clampBin = [&](double bin) { return std::clamp(static_cast<int>(bin), 0, k - 1); };
    std::vector<float> raw;
    for (int b = 0; b < bandCount; ++b) {
        const int offset = b == 0 ? 0 : m_weightOffsets.back() + m_weightCounts.back();
        m_weightOffsets.push_back(offset);
        if (b < linear) {
            m_startBins.push_back(b);
            m_weightCounts.push_back(1);
            m_weights.push_back(1.0f);
            continue;
        }
        const double centre = m_centres[std::size_t(b)];
        const double lower = m_centres[std::size_t(b) - 1];
        const double upper = b + 1 < bandCount ? double(m_centres[std::size_t(b) + 1]) : 2.0 * centre - lower;
        const int lo = clampBin(std::floor(binOf(lower)));
        const int c = clampBin(std::round(binOf(centre)));
        const int hi = clampBin(std::ceil(binOf(upper)));
        raw.clear();
        const int n1 = c - lo;
        for (int t = 0; t < n1; ++t) {
            raw.push_back(1.0f - float(t) / float(n1));
        }
        const int n2 = hi - c;
        for (int t = n2; t >= 1; --t) {
            raw.push_back(1.0f - float(t) / float(n2));
        }
        float sum = 0.0f;
        for (const float w : raw) {
            sum += w;
        }
        // Edges in one bin, and the degenerate case of a band whose only raw weight is its zero at the
        // centre: one bin of weight 1 rather than a division by zero.
        if (hi == lo || raw.empty() || sum <= 0.0f) {
            m_startBins.push_back(hi == lo ? lo : c);
            m_weightCounts.push_back(1);
            m_weights.push_back(1.0f);
            continue;
        }
        m_startBins.push_back(lo);
        m_weightCounts.push_back(int(raw.size()));
        for (const float w : raw) {
            m_weights.push_back(w / sum);
        }
    }
}

std::span<const float> NoiseFilterBank::weights(int band) const
{
    return {m_weights.data() + m_weightOffsets[std::size_t(band)], std::size_t(m_weightCounts[std::size_t(band)])};
}

float NoiseFilterBank::bandLevel(int band, const FreqBox& spectrum) const
{
    const int start = m_startBins[std::size_t(band)];
    const std::span<const float> w = weights(band);
    float sum = 0.0f;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const float re = spectrum.re[std::size_t(start) + i];
        const float im = spectrum.im[std::size_t(start) + i];
        sum += (re * re + im * im) * w[i];
    }
    return 10.0f * std::log10(sum);
}

void NoiseFilterBank::levels(const FreqBox& spectrum, std::span<float> out) const
{
    for (int b = 0; b < m_bandCount; ++b) {
        out[std::size_t(b)] = bandLevel(b, spectrum);
    }
}

} // namespace Tessarin
