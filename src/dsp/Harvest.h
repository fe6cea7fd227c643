#pragma once

// Harvest F0 estimation (M. Morise, "Harvest: A high-performance fundamental frequency estimator from
// speech signals", Interspeech 2017), configured as the analysis uses it: decimation to about 8 kHz, a
// band-pass filter bank of 40 channels per octave, zero-crossing and peak based candidates spread over
// ±3 neighbouring frames (overlap factor 7), refinement by instantaneous frequency, the contour fixing
// steps and the zero-lag smoothing filter, all on a 1 ms grid, then resampled to the frame period.
//
// Threading: runs on the caller's thread. Every working buffer is sized from the sample count when a
// call starts and released before it returns; only tables that depend on nothing but the rate and the
// search range (filter kernels, sine tables, window bases) are kept per thread for the next call.

#include "core/AnalysisConstants.h"

#include <cstddef>
#include <span>
#include <vector>

namespace Tessarin {

struct HarvestOptions {
    double f0Floor = 55.0;                   // [Hz] lowest f0 searched
    double f0Ceil = 1000.0;                  // [Hz] highest f0 searched
    double framePeriod = kFramePeriodMs; // [ms] between output frames: one hop of 128 samples at 44100 Hz
};

// N = floor(1000 · sampleCount / sampleRate / framePeriod) + 1, evaluated in double precision in that
// order (1664 samples at the pipeline's period give 13, not 1664 / 128 + 1). framePeriod in [ms].
// Throws std::invalid_argument for a sample rate below 1 Hz or a frame period that is not positive.
std::size_t frameCount(std::size_t sampleCount, int sampleRate, double framePeriod);

// samples: the clip in −1 … 1; sampleRate [Hz]. temporalPositions [s] and f0 [Hz, 0 = unvoiced] must
// both hold frameCount(samples.size(), sampleRate, options.framePeriod) elements; frame i lies at
// i · framePeriod. Throws std::invalid_argument as frameCount does, for outputs of another size, and
// for options outside 1 ≤ f0Floor < f0Ceil ≤ sampleRate / 2.
void harvest(std::span<const double> samples, int sampleRate, const HarvestOptions& options,
             std::span<double> temporalPositions, std::span<double> f0);

struct HarvestTrack {
    std::vector<double> temporalPositions; // [s]
    std::vector<double> f0;                // [Hz], 0 = unvoiced
};

// The same, with the output arrays sized here.
HarvestTrack harvest(std::span<const double> samples, int sampleRate, const HarvestOptions& options);

// Both forms for single-precision samples: widened to double one at a time as they are read (the
// same track as for the widened copy, without the copy).
void harvest(std::span<const float> samples, int sampleRate, const HarvestOptions& options,
             std::span<double> temporalPositions, std::span<double> f0);
HarvestTrack harvest(std::span<const float> samples, int sampleRate, const HarvestOptions& options);

} // namespace Tessarin
