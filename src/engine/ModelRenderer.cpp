#include "engine/ModelRenderer.h"

#include "dsp/LfModel.h"
#include "dsp/Windows.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <span>

namespace TessarinEngineV6 {

using namespace Tessarin;
using TSVM_V0::TsVoiceModel;

namespace {

constexpr int kMaxHarmonics = kLfTemplateHarmonics;
// The upper edges of the five noise bands.
constexpr std::span<const float> kBandUpperEdges = std::span(kNoiseBandEdges).subspan<1>();

int clampTemplate(int index)
{
    return std::clamp(index, 0, kLfTemplateCount - 1);
}

template <class T>
T at(const FastVector<T>& v, int i, T fallback)
{
    return i >= 0 && std::uint32_t(i) < v.size() ? v[std::uint32_t(i)] : fallback;
}

// The transform of the unit-sum Blackman-Harris window as a block carries it (its sample t from the
// centre, t = −kBlock/2 … kBlock/2 − 1): K(δ) = Σ_t w(t)·e^(−i2πδt/kBlock), over the main lobe
// |δ| ≤ 4 bins, tabulated at 1/256 bin and read by linear interpolation. Beyond the main lobe the
// window's transform stays below 3e-6 of K(0) = 1.
class WindowLobe {
public:
    static constexpr int kHalfWidth = 4; // [bins]
    static constexpr int kStepsPerBin = 256;
    static constexpr int kPoints = 2 * kHalfWidth * kStepsPerBin + 1;

    explicit WindowLobe(std::span<const float> window)
    {
        const int n = int(window.size());
        for (int i = 0; i <= kHalfWidth * kStepsPerBin; ++i) {
            const double delta = double(i) / kStepsPerBin;
            // e^(−i2πδt/N) stepped from t = −N/2 in double precision.
            const std::complex<double> step = std::polar(1.0, -2.0 * kPi * delta / n);
            std::complex<double> phasor = std::polar(1.0, 2.0 * kPi * delta * (n / 2) / n);
            std::complex<double> sum = 0.0;
            for (int t = 0; t < n; ++t) {
                sum += double(window[std::size_t(t)]) * phasor;
                phasor *= step;
            }
            // K(−δ) is the conjugate of K(δ): the window is real.
            const std::size_t above = std::size_t(kHalfWidth * kStepsPerBin + i);
            const std::size_t below = std::size_t(kHalfWidth * kStepsPerBin - i);
            m_values[above] = std::complex<float>(sum);
            m_values[below] = std::complex<float>(std::conj(sum));
        }
    }

    // K(δ) for −4 ≤ δ ≤ 4.
    std::complex<float> at(float delta) const
    {
        const float x = (delta + float(kHalfWidth)) * float(kStepsPerBin);
        const int i = std::clamp(int(x), 0, kPoints - 2);
        const float frac = std::clamp(x - float(i), 0.0f, 1.0f);
        return m_values[std::size_t(i)] + (m_values[std::size_t(i) + 1] - m_values[std::size_t(i)]) * frac;
    }

private:
    std::array<std::complex<float>, kPoints> m_values{};
};

const WindowLobe& windowLobe(std::span<const float> unitSumBlackmanHarris)
{
    static const WindowLobe lobe(unitSumBlackmanHarris);
    return lobe;
}

} // namespace

const std::array<float, 256>& compactEnvelopeGrid()
{
    static const std::array<float, 256> grid = [] {
        std::array<float, 256> g{};
        const float h = kSampleRateF / 1024.0f;
        for (int i = 0; i < 128; ++i) {
            g[std::size_t(i)] = float(i) * h;
        }
        for (int i = 0; i < 64; ++i) {
            g[std::size_t(128 + i)] = float(128 + 2 * i) * h;
            g[std::size_t(192 + i)] = float(256 + 4 * i) * h;
        }
        return g;
    }();
    return grid;
}

GlottalFlow GlottalFlow::ofTemplate(int index)
{
    GlottalFlow g;
    const int i = clampTemplate(index);
    const LfShape shape = LfShape::fromRd(float(0.01 * (i + 1)), 1.0f, 1.0f);
    std::array<float, 100> pulse{};
    renderLfPeriod(shape, pulse);
    float running = 0.0f;
    for (std::size_t k = 0; k < pulse.size(); ++k) {
        running += pulse[k];
        g.flow[k] = running;
    }
    g.maximum = *std::max_element(g.flow.begin(), g.flow.end());
    g.minimum = *std::min_element(g.flow.begin(), g.flow.end());
    for (const float v : g.flow) {
        g.sum += v;
    }
    const int peak = std::clamp(int(std::floor(100.0f * shape.tp)), 0, 99);
    g.flowMax = std::max(g.flow[std::size_t(peak)], g.flow[std::size_t(std::min(peak + 1, 99))]);
    return g;
}

float GlottalFlow::pulseGain(float r) const
{
    if (!(maximum > minimum)) {
        return 1.0f;
    }
    return 1.0f / (((sum - 100.0f * minimum) / (maximum - minimum) * (1.0f - r) + 100.0f * r) / 100.0f);
}

const GlottalFlow& GlottalFlowCache::get(int index)
{
    std::optional<GlottalFlow>& slot = m_flows[std::size_t(clampTemplate(index))];
    if (!slot) {
        slot = GlottalFlow::ofTemplate(index);
    }
    return *slot;
}

ModelRenderer::ModelRenderer()
    : m_noiseBands(kSampleRateF, kBlock, 128), m_box(kBlock), m_analysisWindow(kBlock), m_synthesisWindow(kBlock)
{
    blackmanHarrisWindow(m_analysisWindow);
    normaliseToUnitSum(m_analysisWindow);
    // The analysis window, but over the two hops around the block's centre (sample kBlock / 2) a
    // triangle divided by it: a block that carries the analysis window is triangle-windowed there.
    std::copy(m_analysisWindow.begin(), m_analysisWindow.end(), m_synthesisWindow.begin());
    std::vector<float> triangle(2 * kHop);
    triangularWindow(triangle);
    for (int j = 0; j < 2 * kHop; ++j) {
        const int n = kBlock / 2 - kHop + j;
        m_synthesisWindow[std::size_t(n)] = triangle[std::size_t(j)] / m_analysisWindow[std::size_t(n)];
    }
    for (int b = 0; b < m_noiseBands.bandCount(); ++b) {
        m_centres.push_back(m_noiseBands.centre(b));
    }
    // White noise with the power P per bin has the variance P / N per sample; windowed noise that
    // shows P through the analysis window has the variance P / Σw². Overlapping triangles of
    // independent noise keep 2/3 of the power on average, which sqrt(3/2) restores.
    float squares = 0.0f;
    for (const float w : m_analysisWindow) {
        squares += w * w;
    }
    const float scale = std::sqrt(float(kBlock) / squares * 1.5f);
    m_noiseShape.resize(kBlock);
    for (int j = 0; j < kBlock; ++j) {
        m_noiseShape[std::size_t(j)] = m_analysisWindow[std::size_t(j)] * scale;
    }
    m_gains.resize(m_centres.size());
    m_levels.resize(m_centres.size());
    m_noise.assign(kBlock, 0.0f);
    m_block.assign(kBlock, 0.0f);
    m_harmonics.assign(kBlock, 0.0f);
    m_harmonicLevels.reserve(kMaxHarmonics);
    m_harmonicFrequencies.reserve(kMaxHarmonics);
    m_harmonicPhases.reserve(kMaxHarmonics);
}

void ModelRenderer::renderNoise(const TsVoiceModel& model, int frame, AnalysisRandom& random, const BandNoiseBank& bank)
{
    // Band noise at a random offset, weighted by the frame's band levels.
    model.bandLevels.getFrame(frame, m_frame);
    const int offset = random.next() % kBlock;
    std::fill(m_noise.begin(), m_noise.end(), 0.0f);
    for (int b = 0; b < bank.bandCount() && std::uint32_t(b) < m_frame.size(); ++b) {
        const float weight = m_frame[std::uint32_t(b)];
        const auto sequence = bank.sequence(b);
        for (int j = 0; j < kBlock; ++j) {
            m_noise[std::size_t(j)] += weight * sequence[std::size_t(offset + j)];
        }
    }
    m_box.loadZeroPhase(m_noise, m_analysisWindow);
    m_box.forward();

    // Reshape to the noise envelope: per band the difference between wanted and present level,
    // interpolated between band centres, with random phases.
    model.noiseEnvelope.getFrame(frame, m_frame);
    m_noiseBands.levels(m_box, m_levels);
    for (std::size_t b = 0; b < m_levels.size(); ++b) {
        const float wanted = b < m_frame.size() ? m_frame[std::uint32_t(b)] : -120.0f;
        const float present = m_levels[b];
        const float gain = std::isfinite(wanted) && std::isfinite(present) ? wanted - present : -120.0f;
        m_gains[b] = std::clamp(gain, -120.0f, 120.0f);
    }
    m_table.assign(m_centres, m_gains);
    for (int k = 0; k <= kBlock / 2; ++k) {
        const float re = m_box.re[std::size_t(k)];
        const float im = m_box.im[std::size_t(k)];
        const float magnitude =
            std::sqrt(re * re + im * im) * std::pow(10.0f, m_table.lookup(float(k) * kSampleRateF / kBlock) / 20.0f);
        const float phase = float(random.next()) / float(AnalysisRandom::kMax) * kTwoPiF;
        m_box.re[std::size_t(k)] = magnitude * std::cos(phase);
        m_box.im[std::size_t(k)] = k == 0 || k == kBlock / 2 ? 0.0f : magnitude * std::sin(phase);
    }
    m_box.inverse(m_block);
    // Back from zero-phase order: the centre to the middle of the block. With random phases the block
    // is stationary noise; shaping it by the analysis window (at the power the analysis measured
    // through it) makes it what the synthesis window expects.
    std::rotate(m_block.begin(), m_block.begin() + kBlock / 2, m_block.end());
    for (int j = 0; j < kBlock; ++j) {
        m_block[std::size_t(j)] *= m_noiseShape[std::size_t(j)];
    }
}

void ModelRenderer::modulate(const TsVoiceModel& model, int frame)
{
    const float f0 = at(model.f0, frame, 0.0f);
    if (f0 <= 0.0f || std::uint32_t(frame) >= model.peaks.frameCount() ||
        model.peaks.frames[std::size_t(frame)]->pointCount() == 0) {
        return;
    }
    const int index = clampTemplate(at(model.glottalIndex, frame, 0));
    const GlottalFlow& g = m_flows.get(index);
    if (!(g.flowMax != 0.0f)) {
        return;
    }
    const float r = at(model.pulseRatio, frame, 1.0f);
    const double te = lfMainExcitation(index);
    const double psi1 = kPi - 2.0 * kPi * te;
    const double phi1 = model.peaks.frames[std::size_t(frame)]->phases[0];
    double o = wrapAngle(phi1 - double(kBlock / 2) * 2.0 * kPi * f0 / kSampleRateF - psi1) / (2.0 * kPi);
    if (o < 0.0) {
        o += 1.0;
    }
    for (int k = 0; k < kBlock; ++k) {
        double phase = double(k) * f0 / kSampleRateF + o;
        phase -= std::floor(phase);
        // Piecewise-linear over the points 0, 0.01 … 0.99, flat after the last.
        const double position = phase * 100.0;
        const int lower = std::min(int(position), 99);
        const int upper = std::min(lower + 1, 99);
        const double frac = position - lower;
        const double flow = g.flow[std::size_t(lower)] * (1.0 - frac) + g.flow[std::size_t(upper)] * frac;
        m_block[std::size_t(k)] *= float(r + (1.0 - r) * flow / g.flowMax);
    }
}

void ModelRenderer::harmonicBlock(std::span<const float> levels, std::span<const float> frequencies,
                                  std::span<const float> phases, std::span<float> block)
{
    const WindowLobe& lobe = windowLobe(m_analysisWindow);
    constexpr int kHalf = kBlock / 2;
    constexpr float kWidth = float(WindowLobe::kHalfWidth);
    std::fill(m_box.re.begin(), m_box.re.end(), 0.0f);
    std::fill(m_box.im.begin(), m_box.im.end(), 0.0f);
    auto add = [&](int bin, std::complex<float> value) {
        m_box.re[std::size_t(bin)] += value.real();
        m_box.im[std::size_t(bin)] += value.imag();
    };
    const std::size_t count = std::min({levels.size(), frequencies.size(), phases.size()});
    for (std::size_t k = 0; k < count; ++k) {
        // The cosine A·cos(ωt + φ) is (A/2)·e^(iφ) at +ω and its conjugate at −ω; through the
        // window each becomes a main lobe around its bin. A = 2·10^(L/20) undoes the halving of a
        // unit-sum analysis window, so A/2 is the measured magnitude itself.
        const float magnitude = std::pow(10.0f, levels[k] / 20.0f);
        const std::complex<float> a = std::polar(magnitude, phases[k]);
        const float position = frequencies[k] * float(kBlock) / kSampleRateF; // [bins]
        if (!std::isfinite(position) || !std::isfinite(std::abs(a)) || position < 0.0f || position > float(kHalf)) {
            continue;
        }
        const int from = std::max(0, int(std::ceil(position - kWidth)));
        const int to = std::min(kHalf, int(std::floor(position + kWidth)));
        for (int b = from; b <= to; ++b) {
            add(b, a * lobe.at(float(b) - position));
        }
        // The lobe of −ω reaches the lowest bins, and its alias at N − ω the highest ones.
        const std::complex<float> mirrored = std::conj(a);
        for (int b = 0; float(b) <= kWidth - position; ++b) {
            add(b, mirrored * lobe.at(float(b) + position));
        }
        for (int b = std::max(0, int(std::ceil(float(kBlock) - position - kWidth))); b <= kHalf; ++b) {
            add(b, mirrored * lobe.at(float(b) + position - float(kBlock)));
        }
    }
    m_box.inverse(block);
    // From zero-phase order (the centre at index 0) to natural order (the centre at kBlock / 2).
    std::rotate(block.begin(), block.begin() + kHalf, block.end());
}

bool ModelRenderer::addHarmonics(const TsVoiceModel& model, int i)
{
    const float f0 = model.f0[std::uint32_t(i)];
    const bool hasPeaks = std::uint32_t(i) < model.peaks.frameCount() && model.peaks.frames[std::size_t(i)]->pointCount() > 0;
    if (f0 <= 0.0f || !hasPeaks) {
        m_previousF0 = 0.0f;
        return false;
    }
    // The fundamental's phase runs on from the previous voiced frame, and starts anew after a gap.
    m_fundamentalPhase = m_previousF0 > 0.0f
                             ? wrapAngle(m_fundamentalPhase + kPi * double(m_previousF0 + f0) * kHop / kSampleRateF)
                             : 0.0;
    m_previousF0 = f0;

    const auto& grid = compactEnvelopeGrid();
    const int index = clampTemplate(at(model.glottalIndex, i, 0));
    lfTemplateLevels(index, m_template);
    const double te = lfMainExcitation(index);
    const float gain = at(model.glottalGain, i, 0.0f);
    const int n = std::min<int>(int(model.peaks.frames[std::size_t(i)]->pointCount()), kMaxHarmonics);
    model.spectralEnvelope.getFrame(i, m_frame);
    const bool hasEnvelope = m_frame.size() == grid.size();
    if (hasEnvelope) {
        m_table.assign(grid, m_frame.span());
    }
    model.harmonicPhase.getFrame(i, m_frame);
    m_harmonicLevels.resize(std::size_t(n));
    m_harmonicFrequencies.resize(std::size_t(n));
    m_harmonicPhases.resize(std::size_t(n));
    for (int k = 1; k <= n; ++k) {
        const float frequency = float(k) * f0;
        const float envelope = hasEnvelope ? m_table.lookup(frequency) : 0.0f;
        const double psi = kPi - 2.0 * kPi * k * te;
        const double theta = std::uint32_t(k - 1) < m_frame.size() ? m_frame[std::uint32_t(k - 1)] : 0.0;
        m_harmonicLevels[std::size_t(k - 1)] = m_template[std::uint32_t(k - 1)] + gain + envelope;
        m_harmonicFrequencies[std::size_t(k - 1)] = frequency;
        m_harmonicPhases[std::size_t(k - 1)] = float(wrapAngle(k * m_fundamentalPhase + psi + theta));
    }
    harmonicBlock(m_harmonicLevels, m_harmonicFrequencies, m_harmonicPhases, m_harmonics);
    for (int j = 0; j < kBlock; ++j) {
        m_block[std::size_t(j)] += m_harmonics[std::size_t(j)];
    }
    return true;
}

std::vector<std::int16_t> ModelRenderer::render(const TsVoiceModel& model, std::uint32_t sampleCount,
                                                AnalysisRandom& random)
{
    std::vector<std::int16_t> out;
    render(model, sampleCount, random, out);
    return out;
}

void ModelRenderer::render(const TsVoiceModel& model, std::uint32_t sampleCount, AnalysisRandom& random,
                           std::vector<std::int16_t>& out)
{
    const int frames = int(model.f0.size());
    out.assign(sampleCount, 0);
    const BandNoiseBank bank(int(kBandUpperEdges.size()), kBlock, kSampleRateF, kBandUpperEdges, 0, random);
    m_fundamentalPhase = 0.0;
    m_previousF0 = 0.0f;
    for (int i = 0; i < frames; ++i) {
        renderNoise(model, i, random, bank);
        modulate(model, i);
        addHarmonics(model, i);
        // Overlap-add into the 16-bit output: each frame's value is truncated toward zero as it is
        // added, and the sum stays within the 16-bit range.
        const std::int64_t start = std::int64_t(i) * kHop - kBlock / 2;
        const int first = int(std::max<std::int64_t>(0, -start));
        const int last = int(std::min<std::int64_t>(kBlock, std::int64_t(sampleCount) - start));
        for (int j = first; j < last; ++j) {
            const float value = m_block[std::size_t(j)] * m_synthesisWindow[std::size_t(j)] * 32767.0f;
            if (!(std::fabs(value) >= 1.0f)) {
                continue; // truncates to 0 (and a value that is not a number adds nothing)
            }
            std::int16_t& slot = out[std::size_t(start + j)];
            const int added = int(slot) + int(std::clamp(value, -65536.0f, 65536.0f));
            slot = std::int16_t(std::clamp(added, -32768, 32767));
        }
    }
}

} // namespace TessarinEngineV6
