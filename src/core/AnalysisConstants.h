#pragma once

// The numbers every part of the analysis shares: the sample rate and frame grid, the five noise
// bands, π, the glottal template family's size, the level that stands for no amplitude, and the
// folding of angles into −π … π.

#include <array>
#include <cmath>

namespace Tessarin {

inline constexpr int kSampleRate = 44100;         // [Hz] of every analysed source
inline constexpr float kSampleRateF = 44100.0f;   // [Hz]
inline constexpr int kHop = 128;                  // [samples] between frame centres; frame e is on sample e · 128
inline constexpr double kFramePeriodMs = 2.9024943310657596; // 128 / 44100 · 1000 [ms]

// The five residual bands [Hz]: band b lies between edges b and b + 1; its centre is used to spread
// per-band corrections over the 128 noise bands (500 Hz for the lowest, the mean of the edges above).
inline constexpr int kNoiseBandCount = 5;
inline constexpr std::array<float, kNoiseBandCount + 1> kNoiseBandEdges{0.0f, 1000.0f, 2000.0f, 5000.0f, 8000.0f, 22050.0f};
inline constexpr std::array<float, kNoiseBandCount> kNoiseBandCentres{500.0f, 1500.0f, 3500.0f, 6500.0f, 15025.0f};

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr float kPiF = 3.14159265f;    // π as the single-precision steps take it
inline constexpr float kTwoPiF = 6.2831855f;  // 2π as the windows and single-precision steps take it

inline constexpr int kLfTemplateCount = 270;     // glottal templates, Rd = 0.01 … 2.70
inline constexpr int kLfTemplateHarmonics = 400; // harmonic levels per template, and the most harmonics compared

// Where a level would be negative infinity (a harmonic or band of zero amplitude) the analysis holds
// this instead, so that every later step and every file stays finite [dB].
inline constexpr float kLevelFloorOfSilenceDb = -200.0f;

// An angle folded into −π … π (a remainder by 2π).
inline double wrapAngle(double angle)
{
    return std::remainder(angle, kTwoPi);
}

} // namespace Tessarin
