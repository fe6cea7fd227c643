#pragma once

// Short sung units whose boundaries are known from their timeline, for the marker estimator's tests
// and measurements: the demo singer with consonants that move the formants to their place of
// articulation, at 220 Hz, over a background of white noise, rounded to 16 bits as a recording is;
// and the small room that makes a recording hard.

#include "demo/DemoSinger.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace lvtest {

// A small room: a Schroeder reverberator (four feedback combs of the given reverberation time into
// two all-passes) mixed belowDirectDb under the direct sound's energy. x grows by the tail (0.3 s).
inline void reverberate(std::vector<float>& x, double rt60Sec = 0.3, double belowDirectDb = 8.0)
{
    const int combDelays[4] = {1116, 1188, 1277, 1356};
    const int allpassDelays[2] = {225, 556};
    std::vector<double> in(x.size() + 13230, 0.0);
    std::copy(x.begin(), x.end(), in.begin());
    std::vector<double> wet(in.size(), 0.0);
    std::vector<double> y(in.size(), 0.0);
    for (const int d : combDelays) {
        const double g = std::pow(10.0, -3.0 * d / 44100.0 / rt60Sec);
        for (std::size_t i = 0; i < in.size(); ++i) {
            y[i] = in[i] + (i >= std::size_t(d) ? g * y[i - std::size_t(d)] : 0.0);
            wet[i] += y[i] * 0.25;
        }
    }
    for (const int d : allpassDelays) {
        for (std::size_t i = 0; i < wet.size(); ++i) {
            const double delayed = i >= std::size_t(d) ? wet[i - std::size_t(d)] : 0.0;
            const double fed = i >= std::size_t(d) ? y[i - std::size_t(d)] : 0.0;
            y[i] = -0.7 * wet[i] + delayed + 0.7 * fed;
        }
        wet.swap(y);
    }
    double dry = 0.0, reverb = 0.0;
    for (std::size_t i = 0; i < wet.size(); ++i) {
        dry += in[i] * in[i];
        reverb += wet[i] * wet[i];
    }
    const double mix = reverb > 0.0 ? std::sqrt(dry / reverb * std::pow(10.0, -belowDirectDb / 10.0)) : 0.0;
    x.resize(in.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = float(in[i] + mix * wet[i]);
    }
}

// What a microphone hands on: the sound with a background of white noise at noiseDb [dBFS] (from
// a fixed seed), rounded to 16 bits.
inline std::vector<std::int16_t> recordOverNoise(const std::vector<float>& sound, double noiseDb, std::uint64_t seed)
{
    // Uniform noise of the given RMS: amplitude RMS · √3.
    const double amplitude = std::pow(10.0, noiseDb / 20.0) * 1.7320508075688772;
    std::uint64_t state = seed;
    std::vector<std::int16_t> out(sound.size());
    for (std::size_t i = 0; i < sound.size(); ++i) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const double uniform = double(state >> 11) / 9007199254740992.0 * 2.0 - 1.0;
        const double v = std::clamp(double(sound[i]) + amplitude * uniform, -1.0, 32767.0 / 32768.0);
        out[i] = std::int16_t(std::lround(v * 32768.0));
    }
    return out;
}

// A clean recording of the unit (−60 dBFS background), or a hard one: breathier, consonants 6 dB
// weaker, in a small room, over noise at −45 dBFS.
inline std::vector<std::int16_t> recordSungUnit(const lvdemo::UnitPlan& plan, double f0Hz = 220.0, bool hard = false)
{
    lvdemo::SingerVoice voice;
    voice.consonantLoci = true;
    voice.startOnFirstFormants = true;
    if (hard) {
        voice.rd = 2.1f;
        voice.aspiration = 0.08;
        voice.consonantGain = 0.5;
    }
    std::vector<float> sung = lvdemo::singUnit(plan, f0Hz, "A3", voice);
    if (hard) {
        reverberate(sung);
    }
    return recordOverNoise(sung, hard ? -45.0 : -60.0, 0x853C49E6748FEA9Bull);
}

// The second singer of the estimator's measurements: a shorter vocal tract (formants 12 % up, wider
// bands), a wider and faster vibrato (40 cents at 5.8 Hz) and consonants with
// their own places of articulation.
inline lvdemo::SingerVoice secondSinger()
{
    lvdemo::SingerVoice singer;
    singer.formantScale = 1.12;
    singer.bandwidthScale = 1.6;
    singer.tuneFirstFormant = true;
    singer.rd = 0.9f;
    singer.vibratoCents = 40.0;
    singer.vibratoHz = 5.8;
    singer.consonantLoci = true;
    singer.startOnFirstFormants = true;
    return singer;
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
