#pragma once

// Short sung units whose boundaries are known from their timeline, for the marker estimator's tests:
// the demo singer with consonants that move the formants to their place of articulation, at 220 Hz,
// over a background of white noise at −60 dBFS, rounded to 16 bits as a recording is.

#include "demo/DemoSinger.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace lvtest {

inline std::vector<std::int16_t> recordSungUnit(const lvdemo::UnitPlan& plan, double f0Hz = 220.0)
{
    lvdemo::SingerVoice voice;
    voice.consonantLoci = true;
    voice.startOnFirstFormants = true;
    const std::vector<float> sung = lvdemo::singUnit(plan, f0Hz, "A3", voice);
    // Uniform noise of RMS 0.001 (−60 dBFS): amplitude 0.001 · √3.
    constexpr double kNoiseAmplitude = 0.001 * 1.7320508075688772;
    std::uint64_t state = 0x853C49E6748FEA9Bull;
    std::vector<std::int16_t> out(sung.size());
    for (std::size_t i = 0; i < sung.size(); ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const double uniform = double(state >> 11) / 9007199254740992.0 * 2.0 - 1.0;
        const double v = std::clamp(double(sung[i]) + kNoiseAmplitude * uniform, -1.0, 32767.0 / 32768.0);
        out[i] = std::int16_t(std::lround(v * 32768.0));
    }
    return out;
}

inline std::vector<float> toFloat(const std::vector<std::int16_t>& samples)
{
    std::vector<float> out(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        out[i] = float(samples[i]) / 32768.0f;
    }
    return out;
}

} // namespace lvtest
