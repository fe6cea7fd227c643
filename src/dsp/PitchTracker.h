#pragma once

// Probabilistic YIN pitch tracker: one f0 value per 128-sample frame, 0 where the frame is
// unvoiced.
//
// Per frame, the dips of the YIN difference function are turned into a distribution over a grid of
// pitch states (0.1 semitone apart, 55 Hz up) by trying 100 thresholds weighted by a Beta(3, 19)
// prior; every pitch state has an unvoiced twin. A Viterbi search then picks the most probable
// state sequence over the whole source. An optional per-frame hint (a reference pitch) pulls the
// decision towards it, and a hint of exactly 0 forces its frame unvoiced.
//
// One tracker serves one thread; Track rebuilds every table, so a tracker may be reused.

#include "core/AnalysisConstants.h"
#include "core/FastVector.h"
#include "dsp/Viterbi.h"
#include "dsp/Yin.h"

#include <cstddef>
#include <span>
#include <vector>

namespace Tessarin {

class PitchTracker {
public:
    struct Parameters {
        float sampleRate = kSampleRateF;       // [Hz]
        int hop = kHop;                        // [Sample] between frame centres
        int windowLength = 1102;               // [Sample] summed by the difference function (25 ms)
        float minimumF0 = 55.0f;               // [Hz] lowest pitch state; fixes the largest lag
        float maximumF0 = 1000.0f;             // [Hz] estimates at or above it are discarded
        int transitionWidth = 30;              // largest jump between frames [pitch states]
        float voicingSwitchProbability = 0.1f; // weight of a voiced/unvoiced change between frames
        float yinTrust = 0.6f;                 // share of the observation mass given to voiced states
        float fallbackWeight = 0.5f;           // weight of an estimate that is only the deepest dip
        float priorAlpha = 3.0f;               // Beta prior over the thresholds
        float priorBeta = 19.0f;
        float absoluteThreshold = 0.1f;        // threshold of the plain per-frame estimate
    };

    static constexpr int kThresholdCount = 100;
    static constexpr float kLn2 = 0.6931472f;               // ln 2 as the pitch grid takes it
    static constexpr float kGridStepSemitones = 0.1f;       // spacing of the pitch states
    static constexpr float kPreciseWithinSemitones = 0.11f; // output keeps the YIN value this close
    static constexpr int kHintPullStates = 10;              // the hint pulls a mass state nearer than this
    static constexpr double kHintPullMass = 0.7;            // added to the pulled state, before rescaling
    static constexpr double kHintMassFloor = 0.6;           // smallest voiced mass of a frame with a hint

    PitchTracker();

    // The f0 track of a source.
    //   samples: the source at 44100 Hz, −1 … 1.
    //   hint: optional, one value per frame [Hz]: below 0 means no hint for the frame, exactly 0
    //         forces the frame unvoiced, above 0 pulls it towards that pitch; frames beyond its end
    //         have no hint. An empty span is no hint at all.
    //   f0: receives one value per decoded frame [Hz], 0 for unvoiced.
    // Frame e is centred on sample e · 128; there are floor(samples / 128) frames, but at least
    // one. The track is shorter than that only when some frame has no surviving state: decoding
    // then ends at the last frame that had one. Returns the number of values written. Throws
    // std::length_error for a source of more than 2³¹ − 1 frames.
    int Track(std::span<const float> samples, std::span<const float> hint, FastVector<float>& f0);

    const Parameters& parameters() const { return m_params; }

    // Rebuilds the pitch grid, the thresholds and their prior, the transition matrix and the
    // initial probabilities, to inspect them. Track rebuilds all but the square matrix, whose
    // non-zero entries (a band around the diagonal of each quarter) it gives the decoder directly.
    void buildTables();

    int pitchStateCount() const { return m_stateCount; } // n; the tracker has 2n states
    int largestLag() const;                               // [Sample]
    std::span<const float> pitchGrid() const { return m_grid; }           // [Hz], n states
    std::span<const float> thresholds() const { return m_thresholds; }    // 100
    std::span<const double> thresholdPrior() const { return m_prior; }    // 100, sum 1
    std::span<const double> initialProbabilities() const { return m_initial; } // 2n
    const TS_ViterbiMatrix& transitionMatrix() const { return m_transition; } // as buildTables made it
    // The decoder as the last Track left it (its last frame's nodes and scores).
    const ViterbiDecoder& decoder() const { return m_decoder; }
    // Memory the decoding keeps per frame for the back-track [bytes] (set by Track).
    std::size_t backPointerBytesPerFrame() const { return m_decoder.backPointerBytesPerFrame(); }

    // The pitch state nearest to f [Hz]; the lower of two equally near states.
    int nearestPitchState(float f) const;

    // The observation vector of one frame (2n values) from its candidates and its hint [Hz]
    // (below 0 or NaN: none). Needs the tables.
    void observe(std::span<const YinCandidate> candidates, int globalIndex, float hintHz, std::span<double> obs);

private:
    void buildStateTables();     // the grid, thresholds, prior and initial probabilities
    void setBandedTransitions(); // the decoder's transitions, without the square matrix

    Parameters m_params;
    int m_stateCount = 0;
    std::vector<float> m_grid;
    std::vector<float> m_thresholds;
    std::vector<double> m_prior;
    std::vector<double> m_initial;
    TS_ViterbiMatrix m_transition;
    TS_ViterbiMatrix m_observation;
    ViterbiDecoder m_decoder;

    static constexpr std::size_t kBlockFrames = 64; // frames whose difference functions are made together
    std::vector<double> m_source;    // the samples those frames reach, widened to double
    std::vector<double> m_stretches; // the difference function's partial sums

    // Per-frame scratch, sized once per run.
    std::vector<double> m_differences; // kBlockFrames × the lags
    std::vector<double> m_normalised;
    std::vector<YinCandidate> m_candidates;
    std::vector<double> m_mass;     // per pitch state
    std::vector<char> m_hasMass;    // per pitch state
    std::vector<int> m_massStates;  // the states that received mass, ascending after sorting
    std::vector<float> m_estimates; // plain estimate per frame
    std::vector<int> m_path;
};

} // namespace Tessarin
