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

namespace TessarinEngineV6 {

using namespace Tessarin;
using TSVM_V0::TsVoiceModel;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kTemplates = kLfTemplateCount;
constexpr int kComparedHarmonics = 400;
constexpr int kBands = 5;
const std::array<float, kBands + 1> kBandEdges{0.0f, 1000.0f, 2000.0f, 5000.0f, 8000.0f, 22050.0f};
const std::array<float, kBands> kBandCentres{500.0f, 1500.0f, 3500.0f, 6500.0f, 15025.0f};

double wrap(double angle)
{
    return std::remainder(angle, 2.0 * kPi);
}

float floorLevel(float db)
{
    return std::isnan(db) ? kModelLevelFloorDb : std::max(db, kModelLevelFloorDb);
}

bool hasPeaks(const TsVoiceModel& m, std::size_t i)
{
    return i < m.peaks.frameCount() && m.peaks.frames[i]->pointCount() > 0;
}

constexpr double kDbToLnPower = 0.23025850929940458; // ln(10) / 10: a level difference in dB to ln of a power ratio

// Per template, for the Itakura–Saito distance: e^(−c·T'_k) and the running sums of T'_k, with
// T'_k = T_k − T_0 the template's levels relative to its first harmonic [dB].
struct TemplateTerms {
    std::vector<double> inversePower; // kTemplates rows of kComparedHarmonics
    std::vector<double> levelSums;    // kTemplates rows of kComparedHarmonics + 1, from 0
};

const TemplateTerms& templateTerms()
{
    static const TemplateTerms terms = [] {
        TemplateTerms t;
        t.inversePower.resize(std::size_t(kTemplates) * kComparedHarmonics);
        t.levelSums.resize(std::size_t(kTemplates) * (kComparedHarmonics + 1));
        FastVector<float> row;
        for (int i = 0; i < kTemplates; ++i) {
            lfTemplateLevels(i, row);
            double sum = 0.0;
            for (int k = 0; k < kComparedHarmonics; ++k) {
                const double relative = double(row[std::uint32_t(k)]) - double(row[0]);
                t.inversePower[std::size_t(i) * kComparedHarmonics + std::size_t(k)] = std::exp(-kDbToLnPower * relative);
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

std::vector<std::vector<float>> bandPassed(std::span<const float> signal, int sampleRate)
{
    std::vector<std::vector<float>> out;
    for (int b = 0; b < kBands; ++b) {
        out.push_back(bandPass(signal, 2.0f * kBandEdges[std::size_t(b)] / float(sampleRate),
                               2.0f * kBandEdges[std::size_t(b) + 1] / float(sampleRate)));
    }
    return out;
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

int bestTemplate(std::span<const float> levels)
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
    thread_local std::vector<double> framePower;
    framePower.resize(n);
    double levelSum = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double relative = double(levels[k]) - double(levels[0]);
        framePower[k] = std::exp(kDbToLnPower * relative);
        levelSum += relative;
    }
    int best = 0;
    double bestDistance = 0.0;
    for (int t = 0; t < kTemplates; ++t) {
        const double* inverse = terms.inversePower.data() + std::size_t(t) * kComparedHarmonics;
        double dot = 0.0;
        for (std::size_t k = 0; k < n; ++k) {
            dot += framePower[k] * inverse[k];
        }
        const double templateSum = terms.levelSums[std::size_t(t) * (kComparedHarmonics + 1) + n];
        const double distance = (dot - kDbToLnPower * levelSum + kDbToLnPower * templateSum - double(n)) / double(n);
        if (t == 0 || distance < bestDistance) {
            best = t;
            bestDistance = distance;
        }
    }
    return best;
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

std::vector<int> smoothIndexes(const std::vector<int>& track)
{
    std::vector<float> v(track.begin(), track.end());
    if (!v.empty()) {
        v.insert(v.end(), 7, v.back());
    }
    std::vector<int> out(track.size());
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
        f0.assign(static_cast<std::uint32_t>(frameCount(samples.size(), 44100, options.framePeriod)), 0.0f);
        return;
    }
    const std::vector<double> widened(samples.begin(), samples.end());
    const HarvestTrack hint = harvest(widened, 44100, options);
    const std::vector<float> hintHz(hint.f0.begin(), hint.f0.end());
    PitchTracker tracker;
    tracker.Track(samples, hintHz, f0);
}

void analyse(AnalysisSettings& settings, std::span<const float> samples, TsVoiceModel& model, bool independent,
             AnalysisRandom& random, const F0Stage& f0Stage)
{
    const int hop = settings.hop;
    const int rate = settings.sampleRate;

    // 1. Samples.
    model.samples.resize(static_cast<std::uint32_t>(samples.size()));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        model.samples[std::uint32_t(i)] = pipeline::storedSample(samples[i]);
    }
    model.hop = hop;

    // 2. F0.
    FastVector<float> f0;
    f0Stage(samples, independent, f0);
    pipeline::unvoiceUnmeasurable(f0, float(rate));
    if (f0.size() > 0) {
        model.f0 = f0;
    }
    const int frames = int(model.f0.size());

    // 3. Harmonic peaks.
    HarmonicAnalyser harmonics(HarmonicAnalysisParameters{rate, hop});
    harmonics.build(samples, model.f0.span(), model.peaks);

    // 4. Residual.
    FastVector<float> resynthesis;
    resynthesise(model.peaks, hop, float(rate), resynthesis);
    settings.resynthesis.assign(resynthesis.data(), resynthesis.end());
    const std::size_t shorter = std::min(samples.size(), settings.resynthesis.size());
    settings.residual.resize(shorter);
    for (std::size_t i = 0; i < shorter; ++i) {
        settings.residual[i] = samples[i] - settings.resynthesis[i];
    }
    const std::span<const float> residual(settings.residual);

    // 5. Glottal index.
    std::vector<int> indexes(std::size_t(frames), -1);
    for (int i = 0; i < frames; ++i) {
        if (hasPeaks(model, std::size_t(i))) {
            indexes[std::size_t(i)] = pipeline::bestTemplate(model.peaks.frames[std::size_t(i)]->levels.span());
        }
    }
    pipeline::fillGaps(indexes);
    const std::vector<int> smoothed = pipeline::smoothIndexes(indexes);
    model.glottalIndex.clear();
    for (const int index : smoothed) {
        model.glottalIndex.push_back(index);
    }

    // 6. Glottal gain and spectral envelope.
    model.spectralEnvelope.clear();
    model.glottalGain.clear();
    SpectralEnvelope envelope;
    FastVector<float> templateLevels;
    std::vector<float> residualLevels;
    FrameMags envelopeFrame;
    for (int i = 0; i < frames; ++i) {
        if (!hasPeaks(model, std::size_t(i))) {
            model.glottalGain.push_back(0.0f);
            model.spectralEnvelope.appendFrame(std::span<const float>());
            continue;
        }
        const HarmonicFrame& peaks = *model.peaks.frames[std::size_t(i)];
        lfTemplateLevels(model.glottalIndex[std::uint32_t(i)], templateLevels);
        const int n = std::min<int>(int(peaks.pointCount()), kComparedHarmonics);
        const float gain = peaks.levels[0] - templateLevels[0];
        residualLevels.resize(std::size_t(n));
        for (int k = 0; k < n; ++k) {
            residualLevels[std::size_t(k)] = peaks.levels[std::uint32_t(k)] - (gain + templateLevels[std::uint32_t(k)]);
        }
        envelope.compact(envelopeFrame, peaks.frequencies[0], residualLevels, n, float(rate));
        model.glottalGain.push_back(gain);
        model.spectralEnvelope.appendFrame(envelopeFrame);
    }

    // 7. Pulse ratio.
    model.pulseRatio.clear();
    std::vector<float> cut(std::size_t(settings.noiseWindow));
    for (int i = 0; i < frames; ++i) {
        if (model.f0[std::uint32_t(i)] == 0.0f) {
            model.pulseRatio.push_back(1.0f);
            continue;
        }
        cutFrame(std::int64_t(i) * hop, residual, cut);
        model.pulseRatio.push_back(pipeline::pulseRatio(cut));
    }

    // 8. Band levels over two periods (two hops when unvoiced).
    const std::vector<std::vector<float>> residualBands = bandPassed(residual, rate);
    model.bandLevels.clear();
    std::vector<float> scratch;
    std::array<float, kBands> levels{};
    for (int i = 0; i < frames; ++i) {
        const float pitch = model.f0[std::uint32_t(i)];
        const int length = pitch != 0.0f ? int(std::round(2.0f * float(rate) / pitch)) : 2 * hop;
        for (int b = 0; b < kBands; ++b) {
            levels[std::size_t(b)] = meanAbsolute(residualBands[std::size_t(b)], std::int64_t(i) * hop, length, scratch);
        }
        model.bandLevels.appendFrame(levels);
    }

    // 9. Noise envelope, carrying the pulse gain.
    model.noiseEnvelope.clear();
    const NoiseFilterBank noiseBands(float(rate), settings.noiseWindow, 128);
    std::vector<float> window(std::size_t(settings.noiseWindow));
    blackmanHarrisWindow(window);
    normaliseToUnitSum(window);
    FreqMagAndPhaseBox box(settings.noiseWindow);
    std::vector<float> noise(128);
    GlottalFlowCache flows;
    for (int i = 0; i < frames; ++i) {
        cutFrame(std::int64_t(i) * hop, residual, cut);
        box.loadZeroPhase(cut, window);
        box.forward();
        noiseBands.levels(box, noise);
        float gain = 1.0f;
        if (hasPeaks(model, std::size_t(i))) {
            gain = flows.get(model.glottalIndex[std::uint32_t(i)]).pulseGain(model.pulseRatio[std::uint32_t(i)]);
        }
        const float offset = 20.0f * std::log10(gain);
        for (float& v : noise) {
            v = floorLevel(v + offset);
        }
        model.noiseEnvelope.appendFrame(noise);
    }

    // 10. Harmonic phase relative to the pulse model.
    model.harmonicPhase.clear();
    std::vector<float> theta;
    for (int i = 0; i < frames; ++i) {
        if (!hasPeaks(model, std::size_t(i))) {
            model.harmonicPhase.appendFrame(std::span<const float>());
            continue;
        }
        const HarmonicFrame& peaks = *model.peaks.frames[std::size_t(i)];
        const double te = lfMainExcitation(model.glottalIndex[std::uint32_t(i)]);
        const std::uint32_t n = peaks.pointCount();
        theta.assign(n, 0.0f);
        const double delta = wrap((kPi - 2.0 * kPi * te) - peaks.phases[0]);
        for (std::uint32_t k = 2; k <= n; ++k) {
            const double psi = kPi - 2.0 * kPi * double(k) * te;
            theta[k - 1] = float(wrap(peaks.phases[k - 1] + double(k) * delta - psi));
        }
        model.harmonicPhase.appendFrame(theta);
    }

    // 11. Noise calibration against the whole model rendered back.
    ModelRenderer renderer;
    const std::vector<std::int16_t> rendered16 = renderer.render(model, std::uint32_t(samples.size()), random);
    std::vector<float> rendered(rendered16.size());
    for (std::size_t i = 0; i < rendered.size(); ++i) {
        rendered[i] = float(rendered16[i]) * (1.0f / 32767.0f);
    }
    const std::vector<std::vector<float>> renderedBands = bandPassed(rendered, rate);
    std::vector<float> centres(128);
    for (int b = 0; b < 128; ++b) {
        centres[std::size_t(b)] = noiseBands.centre(b);
    }
    std::array<float, kBands> corrections{};
    LinearTable curve;
    FrameMags frame;
    for (int i = 0; i < frames; ++i) {
        for (int b = 0; b < kBands; ++b) {
            const float wanted = meanAbsolute(residualBands[std::size_t(b)], std::int64_t(i) * hop, 512, scratch);
            const float got = meanAbsolute(renderedBands[std::size_t(b)], std::int64_t(i) * hop, 512, scratch);
            corrections[std::size_t(b)] = got < 1e-6f ? 0.0f : floorLevel(20.0f * std::log10(wanted / got));
        }
        curve.assign(kBandCentres, corrections);
        model.noiseEnvelope.getFrame(i, frame);
        for (std::uint32_t b = 0; b < frame.size(); ++b) {
            frame[b] = floorLevel(frame[b] + curve.lookup(centres[b]));
        }
        std::copy(frame.data(), frame.end(), model.noiseEnvelope.values.data() + model.noiseEnvelope.offsets[std::uint32_t(i)]);
    }

    // 12. Noise envelope smoothing over voiced neighbours, reading frames already smoothed.
    FrameMags neighbour;
    for (int i = 0; i < frames; ++i) {
        if (model.f0[std::uint32_t(i)] == 0.0f) {
            continue;
        }
        model.noiseEnvelope.getFrame(i, frame);
        int added = 1;
        for (int j = i - 2; j <= i + 2; ++j) {
            if (j == i || j < 0 || j >= frames || model.f0[std::uint32_t(j)] == 0.0f) {
                continue;
            }
            model.noiseEnvelope.getFrame(j, neighbour);
            addFrames(frame, neighbour);
            ++added;
        }
        const std::uint32_t length = std::uint32_t(model.noiseEnvelope.lengths[std::uint32_t(i)]);
        if (frame.size() != length) {
            continue;
        }
        float* stored = model.noiseEnvelope.values.data() + model.noiseEnvelope.offsets[std::uint32_t(i)];
        for (std::uint32_t b = 0; b < length; ++b) {
            stored[b] = frame[b] / float(added);
        }
    }
}

} // namespace TessarinEngineV6
