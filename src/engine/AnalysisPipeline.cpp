#include "engine/AnalysisPipeline.h"

#include "dsp/BandPass.h"
#include "dsp/HarmonicPeaks.h"
#include "dsp/Harvest.h"
#include "dsp/PitchTracker.h"
#include "dsp/LfModel.h"
#include "dsp/LinearTable.h"
#include "dsp/NoiseFilterBank.h"
#include "dsp/Resynthesis.h"
#include "dsp/SpectralEnvelope.h"
#include "dsp/Spectrum.h"
#include "dsp/Windows.h"
#include "engine/ModelRenderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

namespace TessarinEngineV6 {

using namespace Tessarin;
using TSVM_V0::TsVoiceModel;

namespace {

constexpr int kTemplates = kLfTemplateCount;
constexpr int kComparedHarmonics = kLfTemplateHarmonics;
constexpr int kBands = kNoiseBandCount;

float floorLevel(float db)
{
    return std::isnan(db) ? kLevelFloorOfSilenceDb : std::max(db, kLevelFloorOfSilenceDb);
}

bool hasPeaks(const TsVoiceModel& m, std::size_t i)
{
    return i < m.peaks.frameCount() && m.peaks.frames[i]->pointCount() > 0;
}

constexpr double kDbToLnPower = 0.23025850929940458; // ln(10) / 10: a level difference in dB to ln of a power ratio

// Templates are compared sixteen at a time: the lanes of eight vectors of two doubles (the
// compiler's generic vectors, lowered to what the target has).
constexpr int kTemplateBlock = 16;
constexpr int kTemplateBlocks = (kTemplates + kTemplateBlock - 1) / kTemplateBlock;
typedef double DoubleLanes __attribute__((vector_size(2 * sizeof(double))));

// Per template, for the Itakura–Saito distance: e^(−c·T'_k) and the running sums of T'_k, with
// T'_k = T_k − T_0 the template's levels relative to its first harmonic [dB].
struct TemplateTerms {
    // Block b, harmonic k, lane l: e^(−c·T'_k) of template 16·b + l (0 past the last template), so
    // that the sixteen values of a harmonic lie side by side.
    std::vector<double> inversePower; // kTemplateBlocks · kComparedHarmonics · 16
    std::vector<double> levelSums;    // kTemplates rows of kComparedHarmonics + 1, from 0
};

const TemplateTerms& templateTerms()
{
    static const TemplateTerms terms = [] {
        TemplateTerms t;
        t.inversePower.assign(std::size_t(kTemplateBlocks) * kComparedHarmonics * kTemplateBlock, 0.0);
        t.levelSums.resize(std::size_t(kTemplates) * (kComparedHarmonics + 1));
        FastVector<float> row;
        for (int i = 0; i < kTemplates; ++i) {
            lfTemplateLevels(i, row);
            double sum = 0.0;
            const std::size_t block = std::size_t(i / kTemplateBlock);
            const std::size_t lane = std::size_t(i % kTemplateBlock);
            for (int k = 0; k < kComparedHarmonics; ++k) {
                const double relative = double(row[std::uint32_t(k)]) - double(row[0]);
                t.inversePower[(block * kComparedHarmonics + std::size_t(k)) * kTemplateBlock + lane] =
                    std::exp(-kDbToLnPower * relative);
                t.levelSums[std::size_t(i) * (kComparedHarmonics + 1) + std::size_t(k)] = sum;
                sum += relative;
            }
            t.levelSums[std::size_t(i) * (kComparedHarmonics + 1) + kComparedHarmonics] = sum;
        }
        return t;
    }();
    return terms;
}

// Mean absolute value of `length` samples centred on `centre`, zeros outside.
float meanAbsolute(std::span<const float> signal, std::int64_t centre, int length, std::vector<float>& scratch)
{
    scratch.resize(std::size_t(length));
    cutFrame(centre, signal, scratch);
    double sum = 0.0;
    for (const float v : scratch) {
        sum += std::fabs(v);
    }
    return length > 0 ? float(sum / length) : 0.0f;
}

} // namespace

namespace pipeline {

std::int16_t storedSample(float x)
{
    const float scaled = std::clamp(x * 32767.0f, -32768.0f, 32767.0f);
    const auto value = static_cast<std::uint16_t>(static_cast<std::int16_t>(scaled));
    const std::uint16_t low = value & 0xFF;
    const std::uint16_t high = value >> 8;
    return static_cast<std::int16_t>(std::uint16_t((low << 8) | (high ^ 0xFF)));
}

int bestTemplate(std::span<const float> levels, std::vector<double>& framePower)
{
    const std::size_t n = std::min<std::size_t>(levels.size(), kComparedHarmonics);
    if (n == 0) {
        return -1;
    }
    // With r_k = a_k² / g_k² and the template scaled to meet the first harmonic,
    // ln r_k = x_k = c·(D_k − T'_k), D_k = L_k − L_0, T'_k = T_k − T_0 (dB), c = ln 10 / 10. The sum
    // Σ (r_k − ln r_k − 1) splits into Σ e^(c·D_k)·e^(−c·T'_k) − c·Σ D_k + c·Σ T'_k − n: one
    // exponential per harmonic and frame, and a dot product per template.
    const TemplateTerms& terms = templateTerms();
    framePower.resize(n);
    double levelSum = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double relative = double(levels[k]) - double(levels[0]);
        framePower[k] = std::exp(kDbToLnPower * relative);
        levelSum += relative;
    }
    int best = 0;
    double bestDistance = 0.0;
    auto consider = [&](int t, double dot) {
        const double templateSum = terms.levelSums[std::size_t(t) * (kComparedHarmonics + 1) + n];
        const double distance = (dot - kDbToLnPower * levelSum + kDbToLnPower * templateSum - double(n)) / double(n);
        if (t == 0 || distance < bestDistance) {
            best = t;
            bestDistance = distance;
        }
    };
    // Sixteen templates side by side: sixteen independent sums, each still taken over k in order
    // from 0, then the choice walks the templates in order.
    constexpr int kVectors = kTemplateBlock / 2;
    for (int block = 0; block < kTemplateBlocks; ++block) {
        const double* inverse = terms.inversePower.data() + std::size_t(block) * kComparedHarmonics * kTemplateBlock;
        DoubleLanes dots[kVectors] = {};
        for (std::size_t k = 0; k < n; ++k) {
            const double p = framePower[k];
            const DoubleLanes power = {p, p};
            const double* row = inverse + k * kTemplateBlock;
            for (int v = 0; v < kVectors; ++v) {
                DoubleLanes inversePower;
                std::memcpy(&inversePower, row + 2 * v, sizeof inversePower);
                dots[v] += power * inversePower;
            }
        }
        for (int l = 0; l < kTemplateBlock && block * kTemplateBlock + l < kTemplates; ++l) {
            consider(block * kTemplateBlock + l, dots[l / 2][l % 2]);
        }
    }
    return best;
}

int bestTemplate(std::span<const float> levels)
{
    std::vector<double> framePower;
    return bestTemplate(levels, framePower);
}

void fillGaps(std::vector<int>& track)
{
    const std::size_t n = track.size();
    std::size_t i = 0;
    while (i < n) {
        if (track[i] != -1) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < n && track[end] == -1) {
            ++end;
        }
        const bool left = i > 0;
        const bool right = end < n;
        int fill = -1;
        if (left && right) {
            fill = track[i - 1] == track[end] ? track[end] : -1;
        } else if (left) {
            fill = track[i - 1];
        } else if (right) {
            fill = track[end];
        }
        std::fill(track.begin() + long(i), track.begin() + long(end), fill);
        i = end;
    }
}

void smoothIndexes(const std::vector<int>& track, std::vector<float>& v, std::vector<int>& out)
{
    v.assign(track.begin(), track.end());
    if (!v.empty()) {
        v.insert(v.end(), 7, v.back());
    }
    out.resize(track.size());
    for (std::size_t i = 0; i < track.size(); ++i) {
        float mean = 0.0f;
        for (std::size_t j = i; j < i + 7; ++j) {
            mean += v[j];
        }
        mean /= 7.0f;
        int above = 0;
        int below = 0;
        float excess = 0.0f;
        for (std::size_t j = i; j < i + 7; ++j) {
            if (v[j] >= mean) {
                ++above;
                excess += v[j] - mean;
            } else {
                ++below;
            }
        }
        const float smoothed = mean + float(above - below) * excess / 49.0f;
        out[i] = std::clamp(int(std::round(smoothed)), 0, kTemplates - 1);
    }
}

std::vector<int> smoothIndexes(const std::vector<int>& track)
{
    std::vector<float> v;
    std::vector<int> out;
    smoothIndexes(track, v, out);
    return out;
}

float pulseRatio(std::span<const float> x)
{
    const int last = int(x.size()) - 2; // scan indexes 1 … size − 2
    auto isMin = [&](int k) { return x[std::size_t(k)] < x[std::size_t(k - 1)] && x[std::size_t(k)] < x[std::size_t(k + 1)]; };
    auto isMax = [&](int k) { return x[std::size_t(k)] > x[std::size_t(k - 1)] && x[std::size_t(k)] > x[std::size_t(k + 1)]; };
    double sum = 0.0;
    int count = 0;
    float largest = -10.0f;
    int position = 1;
    while (position <= last) {
        int low = -1;
        for (int k = position; k <= last; ++k) {
            if (isMin(k)) {
                low = k;
                break;
            }
        }
        if (low < 0) {
            break;
        }
        int high = -1;
        for (int k = low + 1; k <= last; ++k) {
            if (isMin(k) && x[std::size_t(k)] < x[std::size_t(low)]) {
                low = k;
            }
            if (isMax(k)) {
                if (high < 0 || x[std::size_t(k)] > x[std::size_t(high)]) {
                    high = k;
                } else if (x[std::size_t(k)] < x[std::size_t(high)]) {
                    break;
                }
            }
        }
        if (high < 0) {
            break;
        }
        const float swing = x[std::size_t(high)] - x[std::size_t(low)];
        sum += swing;
        ++count;
        largest = std::max(largest, swing);
        position = high + 1;
    }
    if (count >= 2 && largest > 0.0f) {
        return std::min(1.0f, float(sum / count) / largest);
    }
    return 1.0f;
}

void unvoiceUnmeasurable(FastVector<float>& f0, float sampleRate)
{
    for (std::uint32_t i = 0; i < f0.size(); ++i) {
        const float v = f0[i];
        if (!(v >= kLowestMeasuredF0Hz && v < 0.5f * sampleRate)) {
            f0[i] = 0.0f;
        }
    }
}

} // namespace pipeline

void estimateF0(std::span<const float> samples, bool independent, FastVector<float>& f0)
{
    f0.clear();
    const HarvestOptions options;
    if (independent) {
        // The hint's length of zeros: Harvest's frame count, without running Harvest for it.
        f0.assign(static_cast<std::uint32_t>(frameCount(samples.size(), kSampleRate, options.framePeriod)), 0.0f);
        return;
    }
    const HarvestTrack hint = harvest(samples, kSampleRate, options); // widened sample by sample, no double copy
    const std::vector<float> hintHz(hint.f0.begin(), hint.f0.end());
    PitchTracker tracker;
    tracker.Track(samples, hintHz, f0);
}

// Every buffer of one unit's analysis. Each is sized when a unit first needs it and keeps its
// storage for the next frame and the next unit, so the frame loops allocate nothing.
struct AnalysisScratch::Buffers {
    int noiseWindow = 0;                    // the size the window, box and noise bank were made for
    FastVector<float> f0;                   // step 2
    PeakTracks spareFrames;                 // step 3: frames of earlier units' peaks, for reuse
    std::optional<HarmonicAnalyser> harmonics; // step 3, made for the settings' rate and hop
    HarmonicAnalysisParameters harmonicParameters;
    FastVector<float> resynthesis;          // step 4
    std::vector<float> residual;
    std::vector<int> indexes;               // step 5
    std::vector<int> smoothedIndexes;
    std::vector<float> smoothing;
    std::vector<double> framePower;
    SpectralEnvelope envelope;              // step 6
    FastVector<float> templateLevels;
    std::vector<float> residualLevels;
    FrameMags envelopeFrame;
    std::vector<float> cut;                 // steps 7 and 9
    std::array<std::vector<float>, kBands> residualBands; // steps 8 and 11
    std::array<std::vector<float>, kBands> renderedBands; // step 11
    std::vector<float> window;              // step 9
    std::unique_ptr<FreqMagAndPhaseBox> box;
    std::unique_ptr<NoiseFilterBank> noiseBands;
    std::vector<float> noise;
    GlottalFlowCache flows;
    std::vector<float> theta;               // step 10
    ModelRenderer renderer;                 // step 11
    std::vector<std::int16_t> rendered16;
    std::vector<float> rendered;
    std::vector<float> centres;
    LinearTable curve;
    FrameMags frame;                        // steps 11 and 12
    FrameMags neighbour;
    std::vector<float> meanScratch;
};

AnalysisScratch::AnalysisScratch() : m_buffers(std::make_unique<Buffers>()) {}
AnalysisScratch::~AnalysisScratch() = default;

std::span<const float> AnalysisScratch::residual() const
{
    return m_buffers->residual;
}

std::span<const float> AnalysisScratch::resynthesis() const
{
    return m_buffers->resynthesis.span();
}

void AnalysisScratch::reclaim(TsVoiceModel& model)
{
    m_buffers->spareFrames.takeStorageOf(model.peaks);
}

namespace {

using Work = AnalysisScratch::Buffers;

// The five noise bands of a signal, filtered side by side (each band the allocating band-pass
// form's arithmetic), into out.
void bandPassInto(std::span<const float> signal, int sampleRate, std::array<std::vector<float>, kBands>& out)
{
    std::array<float, kBands> lo{};
    std::array<float, kBands> hi{};
    std::array<std::span<float>, kBands> bands{};
    for (std::size_t b = 0; b < std::size_t(kBands); ++b) {
        out[b].resize(signal.size());
        lo[b] = 2.0f * kNoiseBandEdges[b] / float(sampleRate);
        hi[b] = 2.0f * kNoiseBandEdges[b + 1] / float(sampleRate);
        bands[b] = out[b];
    }
    bandPasses(signal, lo, hi, bands);
}

// 1. The samples as 16-bit values, stored swapped.
void storeSamples(std::span<const float> samples, TsVoiceModel& model, const AnalysisSettings& settings)
{
    model.samples.resize(static_cast<std::uint32_t>(samples.size()));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        model.samples[std::uint32_t(i)] = pipeline::storedSample(samples[i]);
    }
    model.hop = settings.hop;
}

// 2. The f0 track; frames no step can measure become unvoiced.
void findPitch(const AnalysisSettings& settings, std::span<const float> samples, bool independent,
               const F0Stage& f0Stage, TsVoiceModel& model, Work& w)
{
    trackF0(settings, samples, independent, f0Stage, w.f0);
    if (w.f0.size() > 0) {
        model.f0 = w.f0;
    }
}

// Room for every per-frame field, so that the steps below append without reallocating.
void reserveTracks(TsVoiceModel& model)
{
    const std::uint32_t frames = model.f0.size();
    std::uint32_t voiced = 0;
    std::uint32_t points = 0;
    for (std::uint32_t i = 0; i < frames; ++i) {
        if (i < model.peaks.frameCount() && model.peaks.frames[i]->pointCount() > 0) {
            ++voiced;
            points += model.peaks.frames[i]->pointCount();
        }
    }
    model.glottalIndex.ensureCapacity(frames);
    model.glottalGain.ensureCapacity(frames);
    model.pulseRatio.ensureCapacity(frames);
    model.spectralEnvelope.reserve(frames, voiced * std::uint32_t(kCompactEnvelopeSize));
    model.bandLevels.reserve(frames, frames * kBands);
    model.noiseEnvelope.reserve(frames, frames * 128u);
    model.harmonicPhase.reserve(frames, points);
}

// 3. The harmonics of every voiced frame.
void measureHarmonics(const AnalysisSettings& settings, std::span<const float> samples, TsVoiceModel& model, Work& w)
{
    const HarmonicAnalysisParameters parameters{settings.sampleRate, settings.hop};
    if (!w.harmonics || w.harmonicParameters.sampleRate != parameters.sampleRate ||
        w.harmonicParameters.hop != parameters.hop) {
        w.harmonics.emplace(parameters);
        w.harmonicParameters = parameters;
    }
    model.peaks.takeStorageOf(w.spareFrames);
    w.harmonics->build(samples, model.f0.span(), model.peaks);
}

// 4. The residual: the samples minus the harmonics rendered back.
void subtractHarmonics(const AnalysisSettings& settings, std::span<const float> samples, const TsVoiceModel& model,
                       Work& w)
{
    resynthesise(model.peaks, settings.hop, float(settings.sampleRate), w.resynthesis);
    const std::size_t shorter = std::min<std::size_t>(samples.size(), w.resynthesis.size());
    w.residual.resize(shorter);
    for (std::size_t i = 0; i < shorter; ++i) {
        w.residual[i] = samples[i] - w.resynthesis[std::uint32_t(i)];
    }
}

// 5. The best glottal template of every frame with harmonics, gaps filled, smoothed and clamped.
void chooseGlottalTemplates(TsVoiceModel& model, Work& w)
{
    const auto frames = std::size_t(model.f0.size());
    w.indexes.assign(frames, -1);
    for (std::size_t i = 0; i < frames; ++i) {
        if (hasPeaks(model, i)) {
            w.indexes[i] = pipeline::bestTemplate(model.peaks.frames[i]->levels.span(), w.framePower);
        }
    }
    pipeline::fillGaps(w.indexes);
    pipeline::smoothIndexes(w.indexes, w.smoothing, w.smoothedIndexes);
    model.glottalIndex.clear();
    for (const int index : w.smoothedIndexes) {
        model.glottalIndex.push_back(index);
    }
}

// 6. The template's gain and the envelope of what the template leaves of the harmonic levels.
void fitGainAndEnvelope(const AnalysisSettings& settings, TsVoiceModel& model, Work& w)
{
    model.spectralEnvelope.clear();
    model.glottalGain.clear();
    const int frames = int(model.f0.size());
    for (int i = 0; i < frames; ++i) {
        if (!hasPeaks(model, std::size_t(i))) {
            model.glottalGain.push_back(0.0f);
            model.spectralEnvelope.appendFrame(std::span<const float>());
            continue;
        }
        const HarmonicFrame& peaks = *model.peaks.frames[std::size_t(i)];
        lfTemplateLevels(model.glottalIndex[std::uint32_t(i)], w.templateLevels);
        const int n = std::min<int>(int(peaks.pointCount()), kComparedHarmonics);
        const float gain = peaks.levels[0] - w.templateLevels[0];
        w.residualLevels.resize(std::size_t(n));
        for (int k = 0; k < n; ++k) {
            w.residualLevels[std::size_t(k)] = peaks.levels[std::uint32_t(k)] - (gain + w.templateLevels[std::uint32_t(k)]);
        }
        w.envelope.compact(w.envelopeFrame, peaks.frequencies[0], w.residualLevels, n, float(settings.sampleRate));
        model.glottalGain.push_back(gain);
        model.spectralEnvelope.appendFrame(w.envelopeFrame);
    }
}

// 7. How pulse-like the residual is around every voiced frame.
void measurePulseRatios(const AnalysisSettings& settings, TsVoiceModel& model, Work& w)
{
    model.pulseRatio.clear();
    w.cut.resize(std::size_t(settings.noiseWindow));
    const int frames = int(model.f0.size());
    for (int i = 0; i < frames; ++i) {
        if (model.f0[std::uint32_t(i)] == 0.0f) {
            model.pulseRatio.push_back(1.0f);
            continue;
        }
        cutFrame(std::int64_t(i) * settings.hop, w.residual, w.cut);
        model.pulseRatio.push_back(pipeline::pulseRatio(w.cut));
    }
}

// 8. The residual's level in the five bands, over two periods (two hops when unvoiced).
void measureBandLevels(const AnalysisSettings& settings, TsVoiceModel& model, Work& w)
{
    bandPassInto(w.residual, settings.sampleRate, w.residualBands);
    model.bandLevels.clear();
    std::array<float, kBands> levels{};
    const int frames = int(model.f0.size());
    for (int i = 0; i < frames; ++i) {
        const float pitch = model.f0[std::uint32_t(i)];
        const int length = pitch != 0.0f ? int(std::round(2.0f * float(settings.sampleRate) / pitch)) : 2 * settings.hop;
        for (int b = 0; b < kBands; ++b) {
            levels[std::size_t(b)] =
                meanAbsolute(w.residualBands[std::size_t(b)], std::int64_t(i) * settings.hop, length, w.meanScratch);
        }
        model.bandLevels.appendFrame(levels);
    }
}

// 9. The residual's 128 noise band levels, carrying the pulse gain of voiced frames.
void measureNoiseEnvelope(const AnalysisSettings& settings, TsVoiceModel& model, Work& w)
{
    if (w.noiseWindow != settings.noiseWindow || !w.box || !w.noiseBands) {
        w.noiseWindow = settings.noiseWindow;
        w.window.resize(std::size_t(settings.noiseWindow));
        blackmanHarrisWindow(w.window);
        normaliseToUnitSum(w.window);
        w.box = std::make_unique<FreqMagAndPhaseBox>(settings.noiseWindow);
        w.noiseBands = std::make_unique<NoiseFilterBank>(float(settings.sampleRate), settings.noiseWindow, 128);
    }
    model.noiseEnvelope.clear();
    w.cut.resize(std::size_t(settings.noiseWindow));
    w.noise.resize(128);
    const int frames = int(model.f0.size());
    for (int i = 0; i < frames; ++i) {
        cutFrame(std::int64_t(i) * settings.hop, w.residual, w.cut);
        w.box->loadZeroPhase(w.cut, w.window);
        w.box->forward();
        w.noiseBands->levels(*w.box, w.noise);
        float gain = 1.0f;
        if (hasPeaks(model, std::size_t(i))) {
            gain = w.flows.get(model.glottalIndex[std::uint32_t(i)]).pulseGain(model.pulseRatio[std::uint32_t(i)]);
        }
        const float offset = 20.0f * std::log10(gain);
        for (float& v : w.noise) {
            v = floorLevel(v + offset);
        }
        model.noiseEnvelope.appendFrame(w.noise);
    }
}

// 10. The harmonic phases left after the pulse model's phases are taken out.
void relateHarmonicPhases(TsVoiceModel& model, Work& w)
{
    model.harmonicPhase.clear();
    const int frames = int(model.f0.size());
    for (int i = 0; i < frames; ++i) {
        if (!hasPeaks(model, std::size_t(i))) {
            model.harmonicPhase.appendFrame(std::span<const float>());
            continue;
        }
        const HarmonicFrame& peaks = *model.peaks.frames[std::size_t(i)];
        const double te = lfMainExcitation(model.glottalIndex[std::uint32_t(i)]);
        const std::uint32_t n = peaks.pointCount();
        w.theta.assign(n, 0.0f);
        const double delta = wrapAngle((kPi - 2.0 * kPi * te) - peaks.phases[0]);
        for (std::uint32_t k = 2; k <= n; ++k) {
            const double psi = kPi - 2.0 * kPi * double(k) * te;
            w.theta[k - 1] = float(wrapAngle(peaks.phases[k - 1] + double(k) * delta - psi));
        }
        model.harmonicPhase.appendFrame(w.theta);
    }
}

// 11. The noise envelope corrected towards what the whole model, rendered back, shows in the bands.
void calibrateNoiseEnvelope(const AnalysisSettings& settings, std::size_t sampleCount, TsVoiceModel& model,
                            AnalysisRandom& random, Work& w)
{
    w.renderer.render(model, std::uint32_t(sampleCount), random, w.rendered16);
    w.rendered.resize(w.rendered16.size());
    for (std::size_t i = 0; i < w.rendered.size(); ++i) {
        w.rendered[i] = float(w.rendered16[i]) * (1.0f / 32767.0f);
    }
    bandPassInto(w.rendered, settings.sampleRate, w.renderedBands);
    w.centres.resize(128);
    for (int b = 0; b < 128; ++b) {
        w.centres[std::size_t(b)] = w.noiseBands->centre(b);
    }
    std::array<float, kBands> corrections{};
    const int frames = int(model.f0.size());
    for (int i = 0; i < frames; ++i) {
        for (int b = 0; b < kBands; ++b) {
            const float wanted = meanAbsolute(w.residualBands[std::size_t(b)], std::int64_t(i) * settings.hop, 512, w.meanScratch);
            const float got = meanAbsolute(w.renderedBands[std::size_t(b)], std::int64_t(i) * settings.hop, 512, w.meanScratch);
            corrections[std::size_t(b)] = got < 1e-6f ? 0.0f : floorLevel(20.0f * std::log10(wanted / got));
        }
        w.curve.assign(kNoiseBandCentres, corrections);
        model.noiseEnvelope.getFrame(i, w.frame);
        for (std::uint32_t b = 0; b < w.frame.size(); ++b) {
            w.frame[b] = floorLevel(w.frame[b] + w.curve.lookup(w.centres[b]));
        }
        std::copy(w.frame.data(), w.frame.end(), model.noiseEnvelope.values.data() + model.noiseEnvelope.offsets[std::uint32_t(i)]);
    }
}

// 12. Each voiced frame's noise envelope averaged with its voiced neighbours (two either side),
// reading the frames before it as already smoothed.
void smoothNoiseEnvelope(TsVoiceModel& model, Work& w)
{
    const int frames = int(model.f0.size());
    for (int i = 0; i < frames; ++i) {
        if (model.f0[std::uint32_t(i)] == 0.0f) {
            continue;
        }
        model.noiseEnvelope.getFrame(i, w.frame);
        int added = 1;
        for (int j = i - 2; j <= i + 2; ++j) {
            if (j == i || j < 0 || j >= frames || model.f0[std::uint32_t(j)] == 0.0f) {
                continue;
            }
            model.noiseEnvelope.getFrame(j, w.neighbour);
            addFrames(w.frame, w.neighbour);
            ++added;
        }
        const std::uint32_t length = std::uint32_t(model.noiseEnvelope.lengths[std::uint32_t(i)]);
        if (w.frame.size() != length) {
            continue;
        }
        float* stored = model.noiseEnvelope.values.data() + model.noiseEnvelope.offsets[std::uint32_t(i)];
        for (std::uint32_t b = 0; b < length; ++b) {
            stored[b] = w.frame[b] / float(added);
        }
    }
}

} // namespace

void trackF0(const AnalysisSettings& settings, std::span<const float> samples, bool independent,
             const F0Stage& f0Stage, FastVector<float>& f0)
{
    f0.clear();
    f0Stage(samples, independent, f0);
    pipeline::unvoiceUnmeasurable(f0, float(settings.sampleRate));
}

void analyse(const AnalysisSettings& settings, std::span<const float> samples, TsVoiceModel& model, bool independent,
             AnalysisRandom& random, const F0Stage& f0Stage, AnalysisScratch& scratch)
{
    Work& w = scratch.buffers();
    storeSamples(samples, model, settings);
    findPitch(settings, samples, independent, f0Stage, model, w);
    measureHarmonics(settings, samples, model, w);
    reserveTracks(model);
    subtractHarmonics(settings, samples, model, w);
    chooseGlottalTemplates(model, w);
    fitGainAndEnvelope(settings, model, w);
    measurePulseRatios(settings, model, w);
    measureBandLevels(settings, model, w);
    measureNoiseEnvelope(settings, model, w);
    relateHarmonicPhases(model, w);
    calibrateNoiseEnvelope(settings, samples.size(), model, random, w);
    smoothNoiseEnvelope(model, w);
}

void analyse(const AnalysisSettings& settings, std::span<const float> samples, TsVoiceModel& model, bool independent,
             AnalysisRandom& random, const F0Stage& f0Stage)
{
    AnalysisScratch scratch;
    analyse(settings, samples, model, independent, random, f0Stage, scratch);
}

} // namespace TessarinEngineV6
