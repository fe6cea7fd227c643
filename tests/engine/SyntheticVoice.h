#pragma once

// A small synthetic singer for tests: an LF glottal pulse train at a given pitch (with optional
// vibrato) through three formant resonators of an open vowel.

#include "dsp/LfModel.h"

#include <cmath>
#include <vector>

namespace lvtest {

struct SungVowel {
    double f0Hz = 220.0;
    double vibratoCents = 0.0; // depth either side
    double vibratoHz = 5.5;
    double seconds = 1.0;
    float rd = 1.0f;
    double peak = 0.4; // largest absolute sample
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
    for (std::size_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double cents = v.vibratoCents * std::sin(2 * kPi * v.vibratoHz * t);
        const double f0 = v.f0Hz * std::pow(2.0, cents / 1200.0);
        phase += f0 / kRate;
        phase -= std::floor(phase);
        double x = pulse.flowDerivative(float(phase));
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
