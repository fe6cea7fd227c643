#pragma once

// A small synthetic singer for tests: an LF glottal pulse train at a given pitch (with optional
// vibrato and breath noise) through three formant resonators of an open vowel. Deterministic on every
// platform: the breath noise comes from its own generator, not the standard library's distributions.

#include "dsp/LfModel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace lvtest {

struct SungVowel {
    double f0Hz = 220.0;
    double vibratoCents = 0.0; // depth either side
    double vibratoHz = 5.5;
    double seconds = 1.0;
    float rd = 1.0f;
    double peak = 0.4; // largest absolute sample
    double breath = 0.0; // standard deviation of Gaussian noise added to the glottal source (its peak is 1)
};

inline std::vector<float> singVowel(const SungVowel& v)
{
    constexpr double kRate = 44100.0;
    constexpr double kPi = 3.141592653589793;
    const auto n = std::size_t(v.seconds * kRate);
    const Tessarin::LfWaveform pulse = Tessarin::LfWaveform::fromShape(Tessarin::LfShape::fromRd(v.rd, 1.0f, 1.0f));
    const double formants[3][2] = {{700.0, 80.0}, {1220.0, 90.0}, {2600.0, 120.0}};
    double y1[3] = {0, 0, 0};
    double y2[3] = {0, 0, 0};
    std::vector<double> out(n);
    double phase = 0.0;
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    auto uniform = [&state] { // xorshift64*, 53 bits in (0, 1]
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return (double((state * 0x2545F4914F6CDD1Dull) >> 11) + 1.0) / 9007199254740992.0;
    };
    for (std::size_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double cents = v.vibratoCents * std::sin(2 * kPi * v.vibratoHz * t);
        const double f0 = v.f0Hz * std::pow(2.0, cents / 1200.0);
        phase += f0 / kRate;
        phase -= std::floor(phase);
        double x = pulse.flowDerivative(float(phase));
        if (v.breath > 0.0) {
            const double u1 = uniform();
            const double u2 = uniform();
            x += v.breath * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
        }
        for (int f = 0; f < 3; ++f) {
            const double r = std::exp(-kPi * formants[f][1] / kRate);
            const double c = 2.0 * r * std::cos(2.0 * kPi * formants[f][0] / kRate);
            const double y = (1.0 - r) * x + c * y1[f] - r * r * y2[f];
            y2[f] = y1[f];
            y1[f] = y;
            x = y;
        }
        out[i] = x;
    }
    double largest = 1e-12;
    for (const double s : out) {
        largest = std::max(largest, std::fabs(s));
    }
    std::vector<float> samples(n);
    for (std::size_t i = 0; i < n; ++i) {
        samples[i] = float(out[i] / largest * v.peak);
    }
    return samples;
}

// The true pitch at frame e (centred on sample e · 128).
inline double sungPitchAtFrame(const SungVowel& v, std::size_t frame)
{
    const double t = double(frame) * 128.0 / 44100.0;
    return v.f0Hz * std::pow(2.0, v.vibratoCents * std::sin(2 * 3.141592653589793 * v.vibratoHz * t) / 1200.0);
}

} // namespace lvtest
