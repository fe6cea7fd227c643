#pragma once

// A sung vowel for benchmarks: 220 Hz with a 5.5 Hz vibrato of ±3 %, harmonics up to 20 kHz with the
// −12 dB per octave tilt of a glottal source, shaped by two formants (700 and 1200 Hz), with 50 ms
// fades, quantised to 16 bits as a recording would be. Deterministic.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace lvbench {

inline std::vector<double> sungTone(double seconds)
{
    constexpr double kPi = 3.141592653589793;
    constexpr double kRate = 44100.0;
    const std::size_t n = std::size_t(seconds * kRate);
    std::vector<double> x(n);
    double phase = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double f0 = 220.0 * (1.0 + 0.03 * std::sin(2.0 * kPi * 5.5 * t));
        double v = 0.0;
        for (int k = 1; k * f0 < 20000.0; ++k) {
            const double f = k * f0;
            const double formants = 1.0 / std::hypot(1.0, (f - 700.0) / 150.0) + 0.6 / std::hypot(1.0, (f - 1200.0) / 200.0) + 0.1;
            v += formants * std::sin(k * phase) / (double(k) * k);
        }
        const double fade = std::min({1.0, t / 0.05, (seconds - t) / 0.05});
        x[i] = std::round(0.5 * fade * v * 32767.0) / 32767.0;
        phase += 2.0 * kPi * f0 / kRate;
    }
    return x;
}

} // namespace lvbench
