#pragma once

// The analysis of one unit: its samples become a TsVoiceModel, frame by frame a harmonic part
// (f0, harmonics, glottal template and gain, spectral envelope, harmonic phases) and a noise part
// (the residual's levels in five bands and in 128 finer bands, and how pulse-like it is).
//
// Runs on the calling thread and keeps no state between units.

#include "core/AnalysisConstants.h"
#include "core/AnalysisRandom.h"
#include "core/FastVector.h"
#include "engine/VoiceModel.h"

#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace TessarinEngineV6 {

// The version of the analysis results. Incremental model builds re-analyse only entries whose inputs
// changed since the model was written by a build of the same version, so BUMP THIS NUMBER with any
// change that may alter one byte of a model file for the same inputs: this pipeline, the f0 stage,
// Harvest and the tracker, the model file layout, the random filler, and the unit checks (which
// decide whether a model is written; checkFacts in SourceChecker.h lists what they read of the
// dictionary).
inline constexpr int kAnalysisVersion = 1;

// What the analysis of a unit is run with.
struct AnalysisSettings {
    int hop = Tessarin::kHop;               // [samples] between frame centres
    int sampleRate = Tessarin::kSampleRate; // [Hz]
    int noiseWindow = 512;  // window and transform length of the residual spectra
};

// Every buffer the analysis of a unit works in. Sized when first needed and kept: the frame loops
// allocate nothing, and a worker that analyses unit after unit with one scratch allocates little
// more than the models themselves. One scratch serves one thread at a time.
class AnalysisScratch {
public:
    AnalysisScratch();
    ~AnalysisScratch();
    AnalysisScratch(const AnalysisScratch&) = delete;
    AnalysisScratch& operator=(const AnalysisScratch&) = delete;

    // The last unit's harmonic part rendered back (step 4), and the samples minus it (the residual).
    std::span<const float> resynthesis() const;
    std::span<const float> residual() const;

    // Takes back the storage of a model's harmonic frames (leaving its peaks empty) for the next unit
    // analysed with this scratch: a model that is done with can give them back.
    void reclaim(TSVM_V0::TsVoiceModel& model);

    struct Buffers;
    Buffers& buffers() { return *m_buffers; }

private:
    std::unique_ptr<Buffers> m_buffers;
};

// The f0 stage: the final track for the samples (one value per 128-sample frame, 0 = unvoiced).
using F0Stage = std::function<void(std::span<const float> samples, bool independent, Tessarin::FastVector<float>& f0)>;

// The analysis's own f0 stage: Harvest (55 … 1000 Hz, one frame per 128 samples) gives the hint, and
// the probabilistic tracker the final track; an INDIE unit gets the hint's length of zeros.
void estimateF0(std::span<const float> samples, bool independent, Tessarin::FastVector<float>& f0);

// The f0 track that analyse stores (step 2): the stage's track with the frames that no step can
// measure made unvoiced. The unit checks read nothing else of an analysis.
void trackF0(const AnalysisSettings& settings, std::span<const float> samples, bool independent,
             const F0Stage& f0Stage, Tessarin::FastVector<float>& f0);

// Fills model (constructed with 512 and 44100) from the unit's samples in −1 … 1. independent: an
// INDIE unit, analysed as wholly unvoiced. The noise of the calibration rendering draws from random.
void analyse(const AnalysisSettings& settings, std::span<const float> samples, TSVM_V0::TsVoiceModel& model,
             bool independent, Tessarin::AnalysisRandom& random, const F0Stage& f0Stage = estimateF0);
// The same in the given scratch.
void analyse(const AnalysisSettings& settings, std::span<const float> samples, TSVM_V0::TsVoiceModel& model,
             bool independent, Tessarin::AnalysisRandom& random, const F0Stage& f0Stage, AnalysisScratch& scratch);

// The steps, exposed for testing.
namespace pipeline {
// x·32767 truncated, then the two bytes swapped and the byte that moves down inverted.
std::int16_t storedSample(float x);
int bestTemplate(std::span<const float> levels);
int bestTemplate(std::span<const float> levels, std::vector<double>& framePower); // with caller-owned scratch
// Runs of −1 between or beside known indexes, then the 7-value smoothing, rounding and clamping.
void fillGaps(std::vector<int>& track);
std::vector<int> smoothIndexes(const std::vector<int>& track);
void smoothIndexes(const std::vector<int>& track, std::vector<float>& scratch, std::vector<int>& out);
float pulseRatio(std::span<const float> frame);
// Frames whose f0 no step can measure (not a number, below 20 Hz, at or above half the sample rate)
// become unvoiced: an f0 stage handed in by a caller is not trusted to give only estimator values.
void unvoiceUnmeasurable(Tessarin::FastVector<float>& f0, float sampleRate);
} // namespace pipeline

} // namespace TessarinEngineV6
