#include "core/AnalysisConstants.h"
#include "dsp/HarmonicPeaks.h"
#include "dsp/LfModel.h"
#include "dsp/Windows.h"
#include "engine/ModelRenderer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace TessarinEngineV6;
using namespace Tessarin;
using TSVM_V0::TsVoiceModel;

namespace {

// A model of `frames` frames: voiced frames at f0 with `harmonics` points, template 99, gain G, a flat
// 0 dB envelope and zero harmonic phases; band levels and noise envelope as given.
TsVoiceModel steadyModel(int frames, float f0, float gain, float bandLevel, float noiseDb)
{
    TsVoiceModel m;
    for (int i = 0; i < frames; ++i) {
        m.f0.push_back(f0);
        HarmonicFrame& peaks = m.peaks.addFrame();
        std::vector<float> phases;
        std::vector<float> envelope;
        if (f0 > 0.0f) {
            const int h = int(22050.0f / f0);
            for (int k = 1; k <= h; ++k) {
                PeakTracks::appendPoint(peaks, float(k) * f0, -30.0f, 0.0f);
                phases.push_back(0.0f);
            }
            envelope.assign(256, 0.0f);
        }
        m.harmonicPhase.appendFrame(phases);
        m.spectralEnvelope.appendFrame(envelope);
        m.glottalIndex.push_back(99);
        m.glottalGain.push_back(f0 > 0.0f ? gain : 0.0f);
        m.pulseRatio.push_back(f0 > 0.0f ? 0.5f : 1.0f);
        m.bandLevels.appendFrame(std::vector<float>(5, bandLevel));
        m.noiseEnvelope.appendFrame(std::vector<float>(128, noiseDb));
    }
    return m;
}

std::vector<float> asFloats(const std::vector<std::int16_t>& s)
{
    std::vector<float> v(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        v[i] = float(s[i]) / 32767.0f;
    }
    return v;
}

} // namespace

TEST(ModelRenderer, SilentModelRendersSilence)
{
    const TsVoiceModel m = steadyModel(40, 0.0f, 0.0f, 0.0f, -120.0f);
    ModelRenderer renderer;
    AnalysisRandom random(3);
    const auto out = renderer.render(m, 40 * 128, random);
    ASSERT_EQ(out.size(), 40u * 128u);
    for (const std::int16_t s : out) {
        ASSERT_EQ(s, 0);
    }
}

TEST(ModelRenderer, HarmonicsComeBackAtTemplatePlusGainWithThePulsePhases)
{
    FastVector<float> t;
    lfTemplateLevels(99, t);
    const float gain = -t[0] - 20.0f; // harmonic 1 at −20 dB: amplitude 0.2
    const TsVoiceModel m = steadyModel(80, 220.0f, gain, 0.0f, -120.0f);
    ModelRenderer renderer;
    AnalysisRandom random(3);
    const auto out = asFloats(renderer.render(m, 80 * 128, random));

    std::vector<float> f0(80, 0.0f);
    f0[40] = 220.0f;
    PeakTracks measured;
    HarmonicAnalyser().build(out, f0, measured);
    const HarmonicFrame& h = *measured.frames[40];
    ASSERT_GE(h.pointCount(), 10u);
    for (std::uint32_t k = 0; k < 10; ++k) {
        EXPECT_TRUE(lvtest::near(h.levels[k], t[k] + gain, 0.3, "overlap-add of triangles and 16-bit rounding")) << k + 1;
    }
    // The pulse phase π − 2π·k·te/T0 with no harmonic phase left: relative to k times the first
    // harmonic's phase, harmonic k sits at π·(1 − k).
    for (std::uint32_t k = 1; k < 10; ++k) {
        const double relative = std::remainder(h.phases[k] - double(k + 1) * h.phases[0] - kPi * (0.0 - double(k)), 2 * kPi);
        EXPECT_TRUE(lvtest::near(relative, 0.0, 0.05, "leakage and 16-bit rounding")) << k + 1;
    }
}

TEST(ModelRenderer, NoiseFollowsTheNoiseEnvelope)
{
    const TsVoiceModel m = steadyModel(120, 0.0f, 0.0f, 0.05f, -60.0f);
    ModelRenderer renderer;
    AnalysisRandom random(17);
    const auto out = asFloats(renderer.render(m, 120 * 128, random));

    // The same measurement the analysis makes: unit-sum Blackman-Harris spectra, 128 noise bands.
    std::vector<float> window(512);
    blackmanHarrisWindow(window);
    normaliseToUnitSum(window);
    const NoiseFilterBank bank;
    FreqBox box(512);
    std::vector<float> frame(512);
    std::vector<float> levels(128);
    std::vector<double> mean(128, 0.0);
    int count = 0;
    for (int i = 20; i < 100; i += 2) {
        cutFrame(i * 128, out, frame);
        box.loadZeroPhase(frame, window);
        box.forward();
        bank.levels(box, levels);
        for (std::size_t b = 0; b < 128; ++b) {
            mean[b] += std::pow(10.0, levels[b] / 10.0); // power, so the dB of random noise is not biased
        }
        ++count;
    }
    // Single bands of one noise rendering scatter by a dB or two; groups of bands do not.
    for (const auto& [first, last] : {std::pair{0, 35}, {35, 80}, {80, 128}}) {
        double power = 0;
        for (int b = first; b < last; ++b) {
            power += mean[std::size_t(b)] / count;
        }
        EXPECT_TRUE(lvtest::near(10.0 * std::log10(power / (last - first)), -60.0, 0.75,
                                 "random noise over 40 frames; overlapping triangles modulate the power within a hop"))
            << "bands " << first << " to " << last - 1;
    }

    AnalysisRandom again(17);
    ModelRenderer second;
    AnalysisRandom third(17);
    EXPECT_EQ(second.render(m, 120 * 128, again), renderer.render(m, 120 * 128, third));
}

TEST(ModelRenderer, AHarmonicBlockFromTheInverseFftIsTheWindowedSumOfItsCosines)
{
    // The block made in the spectrum equals w(t) · Σ A_k·cos(2π·f_k·t/44100 + φ_k), t from the block
    // centre, w the unit-sum Blackman-Harris window; over the central two hops the synthesis window
    // turns it into the triangle-windowed sum. Harmonics next to 0 Hz and at 22050 Hz take the paths
    // of the mirrored lobes.
    std::vector<float> analysis(512);
    blackmanHarrisWindow(analysis);
    normaliseToUnitSum(analysis);
    std::vector<float> triangle(256);
    triangularWindow(triangle);
    ModelRenderer renderer;
    const auto synthesis = renderer.synthesisWindow();
    for (const float f0 : {55.0f, 172.3f, 441.0f, 1000.0f}) {
        const int h = int(22050.0f / f0);
        std::vector<float> levels, frequencies, phases;
        double amplitudeSum = 0.0;
        for (int k = 1; k <= h; ++k) {
            levels.push_back(-10.0f - 0.1f * float(k) + 3.0f * float(k % 3));
            frequencies.push_back(float(k) * f0);
            phases.push_back(float(std::remainder(0.37 * k * k, 2 * kPi)));
            amplitudeSum += 2.0 * std::pow(10.0, levels.back() / 20.0);
        }
        std::vector<float> block(512);
        renderer.harmonicBlock(levels, frequencies, phases, block);
        for (int j = 0; j < 512; ++j) {
            double sum = 0.0;
            for (int k = 0; k < h; ++k) {
                sum += 2.0 * std::pow(10.0, levels[std::size_t(k)] / 20.0) *
                       std::cos(2 * kPi * frequencies[std::size_t(k)] * (j - 256) / 44100.0 + phases[std::size_t(k)]);
            }
            const bool central = j >= 128 && j < 384;
            const double expected = central ? triangle[std::size_t(j - 128)] * sum : analysis[std::size_t(j)] * sum;
            const double got = central ? block[std::size_t(j)] * synthesis[std::size_t(j)] : block[std::size_t(j)];
            ASSERT_TRUE(lvtest::near(got, expected, 2e-5 * amplitudeSum,
                                     "main lobes of ±4 bins tabulated at 1/256 bin; float spectrum and transform"))
                << f0 << " Hz, sample " << j;
        }
    }
    // Outside its central two hops the synthesis window is the analysis window itself.
    EXPECT_EQ(synthesis[0], analysis[0]);
    EXPECT_EQ(synthesis[127], analysis[127]);
    EXPECT_EQ(synthesis[384], analysis[384]);
    EXPECT_TRUE(lvtest::near(synthesis[256] * analysis[256], triangle[128], 1e-6, "float division"));
}

TEST(GlottalFlowOfATemplate, PulseGainFollowsTheRatio)
{
    const GlottalFlow g = GlottalFlow::ofTemplate(99);
    EXPECT_GT(g.maximum, g.minimum);
    EXPECT_EQ(g.pulseGain(1.0f), 1.0f); // a noise-like residual carries no pulse gain
    // r = 0: 100 / ((s − 100·m) / (M − m)), the flow's mean height over its range, inverted.
    const double expected = 100.0 / ((g.sum - 100.0 * g.minimum) / (g.maximum - g.minimum));
    EXPECT_TRUE(lvtest::near(g.pulseGain(0.0f), expected, 1e-4 * expected, "float"));
    EXPECT_GT(g.pulseGain(0.0f), 1.0f);
    EXPECT_GE(g.flowMax, g.flow[10]);
}
