#pragma once

// Proposes the markers of one recorded unit from its audio: where the sound rises above the
// background and falls back to it (a level envelope against an estimate of the background), where
// the voicing begins and ends (a normalised-autocorrelation periodicity per frame that reaches
// 1000 Hz, refined to the millisecond with the frame's own period), and where the spectrum moves
// or holds still (the change of a band spectrum across a few frames).
//
// Single-threaded and free of shared state: the same samples give the same markers bit for bit.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace TessarinEngineV6 {

struct MarkerEstimatorOptions {
    // A 1 ms level above the background by this much counts as sound [dB].
    double soundMarginDb = 8.0;
    // The onset and offset are walked back and forward to where the level is within this of the
    // background [dB].
    double edgeMarginDb = 3.0;
    // Silences inside one unit up to this long are part of it (a plosive's closure) [s].
    double longestGapSec = 0.16;
    // Sound shorter than this is no unit (a click) [s].
    double shortestUnitSec = 0.04;
    // The periodicity (1 − normalised difference) above which a frame is voiced.
    double voicedPeriodicity = 0.6;
    // Voiced stretches shorter than this are no vowel [s].
    double shortestVowelSec = 0.05;
    // Highest and lowest f0 the voicing measure looks for [Hz].
    double highestF0Hz = 1000.0;
    double lowestF0Hz = 70.0;
};

// What the estimator found on the way, in seconds from the first sample; for tests and tools.
struct MarkerEstimate {
    double soundStart = 0.0;  // the sound rises above the background
    double soundEnd = 0.0;    // and falls back to it
    double voicedStart = 0.0; // the main voiced stretch (the vowel, with a voiced consonant before it)
    double voicedEnd = 0.0;
    double backgroundDb = 0.0; // [dB] re full scale, of a 5 ms window
    std::vector<double> markers; // in the kind's order
};

// Proposed marker times in seconds from the first sample, in the kind's order (CV: connect point,
// preutterance, vowel start, vowel end; VX: connect point, tail point; INDIE: start, end), or
// nothing when the recording holds no unit (silence, a click) or the kind is none of "CV", "VX"
// and "INDIE". samples: −1 … 1; sampleRate [Hz] (the analysis is laid out for 44100).
std::optional<std::vector<double>> estimateMarkers(const float* samples, std::size_t count, int sampleRate,
                                                   const std::string& kind,
                                                   const MarkerEstimatorOptions& options = {});

// The same, with what was found on the way.
std::optional<MarkerEstimate> estimateUnit(const float* samples, std::size_t count, int sampleRate,
                                           const std::string& kind, const MarkerEstimatorOptions& options = {});

} // namespace TessarinEngineV6
