#include "engine/AnalysisPipeline.h"
#include "engine/SyntheticVoice.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "dsp/LfModel.h"
#include <vector>

using namespace TessarinEngineV6;
using Tessarin::AnalysisRandom;
using Tessarin::FastVector;
using Tessarin::FrameMags;
using TSVM_V0::TsVoiceModel;

namespace {

// An f0 stage that knows the answer: a fixed track, or zeros for an INDIE unit.
F0Stage knownTrack(std::vector<float> track)
{
    return [track](std::span<const float>, bool independent, FastVector<float>& f0) {
        f0.clear();
        for (const float v : track) {
            f0.push_back(independent ? 0.0f : v);
        }
    };
}

std::size_t frameCountOf(std::size_t samples) { return samples / 128 + 1; }

void expectFinite(const Tessarin::FrameSeries& s, const char* what)
{
    for (std::uint32_t i = 0; i < s.values.size(); ++i) {
        ASSERT_TRUE(std::isfinite(s.values[i])) << what << " value " << i;
    }
}

} // namespace

TEST(PipelineSamples, StoredSwappedWithTheMovedByteInverted)
{
    EXPECT_EQ(std::uint16_t(pipeline::storedSample(float(0x1234) / 32767.0f)), 0x34ED);
    EXPECT_EQ(std::uint16_t(pipeline::storedSample(0.0f)), 0x00FF);
    // −1 is 0x8001: low byte 0x01 moves up, high byte 0x80 moves down inverted to 0x7F.
    EXPECT_EQ(std::uint16_t(pipeline::storedSample(-1.0f)), 0x017F);
    // Values truncate toward zero; out-of-range values saturate instead of wrapping.
    EXPECT_EQ(std::uint16_t(pipeline::storedSample(1.5f / 32767.0f)), 0x01FF);
    EXPECT_EQ(pipeline::storedSample(3.0f), pipeline::storedSample(1.0f));
}

TEST(PipelineGlottalIndex, GapsAreFilledOnlyWhereTheNeighboursAgree)
{
    std::vector<int> t{-1, -1, 5, -1, -1, 7, -1, 9, -1, 9, -1};
    pipeline::fillGaps(t);
    EXPECT_EQ(t, (std::vector<int>{5, 5, 5, -1, -1, 7, -1, 9, 9, 9, 9}));
    std::vector<int> none{-1, -1, -1};
    pipeline::fillGaps(none);
    EXPECT_EQ(none, (std::vector<int>{-1, -1, -1}));
}

TEST(PipelineGlottalIndex, SmoothingPullsTowardsTheMajorityAndClamps)
{
    // Window 1 is six 10s and a 40: m = 100/7, a = 1, b = 6, S = 40 − m, so
    // m + (1 − 6)·S/49 = 14.2857 − 2.6239 = 11.66, rounded to 12.
    const auto s = pipeline::smoothIndexes({10, 10, 10, 10, 10, 10, 10, 40});
    ASSERT_EQ(s.size(), 8u);
    EXPECT_EQ(s[0], 10);
    EXPECT_EQ(s[1], 12);
    EXPECT_EQ(s[7], 40); // the last value repeated seven times
    EXPECT_EQ(pipeline::smoothIndexes({-1, -1}), (std::vector<int>{0, 0})); // clamped
    EXPECT_EQ(pipeline::smoothIndexes({300}), (std::vector<int>{269}));
}

TEST(PipelineGlottalIndex, TheTemplateOfAPulseIsFound)
{
    FastVector<float> levels;
    Tessarin::lfTemplateLevels(150, levels);
    std::vector<float> shifted(80);
    for (std::size_t k = 0; k < 80; ++k) {
        shifted[k] = levels[std::uint32_t(k)] - 90.0f; // any gain
    }
    EXPECT_EQ(pipeline::bestTemplate(shifted), 150);
    EXPECT_EQ(pipeline::bestTemplate({}), -1);
}

TEST(PipelinePulseRatio, EvenSwingsGiveOneAndADominantSwingGivesLittle)
{
    std::vector<float> sine(512);
    for (std::size_t i = 0; i < 512; ++i) {
        sine[i] = float(std::sin(0.3 * double(i)));
    }
    EXPECT_TRUE(lvtest::near(pipeline::pulseRatio(sine), 1.0, 0.02, "sampled sine peaks differ slightly"));

    std::vector<float> pulse(512, 0.0f);
    for (std::size_t i = 0; i < 512; ++i) {
        pulse[i] = 0.01f * float((i * 7919) % 13) / 13.0f; // small jitter
    }
    pulse[200] = -1.0f;
    pulse[203] = 1.0f;
    EXPECT_LT(pipeline::pulseRatio(pulse), 0.2f);
    EXPECT_EQ(pipeline::pulseRatio(std::vector<float>(512, 0.0f)), 1.0f);
}

TEST(PipelineIndependentUnit, IsWhollyUnvoicedWithNeutralTracks)
{
    lvtest::SungVowel v;
    v.seconds = 0.3;
    const auto samples = lvtest::singVowel(v);
    const std::size_t frames = frameCountOf(samples.size());
    TsVoiceModel model;
    AnalysisSettings settings;
    AnalysisRandom random(1);
    analyse(settings, samples, model, true, random, knownTrack(std::vector<float>(frames, 220.0f)));

    ASSERT_EQ(model.f0.size(), frames);
    EXPECT_EQ(model.samples.size(), samples.size());
    EXPECT_EQ(model.peaks.frameCount(), frames);
    EXPECT_EQ(model.peaks.largestPointCount, -1);
    for (std::uint32_t i = 0; i < frames; ++i) {
        EXPECT_EQ(model.f0[i], 0.0f);
        EXPECT_EQ(model.glottalIndex[i], 0);
        EXPECT_EQ(model.glottalGain[i], 0.0f);
        EXPECT_EQ(model.pulseRatio[i], 1.0f);
        EXPECT_EQ(model.harmonicPhase.lengths[i], 0);
        EXPECT_EQ(model.spectralEnvelope.lengths[i], 0);
        EXPECT_EQ(model.bandLevels.lengths[i], 5);
        EXPECT_EQ(model.noiseEnvelope.lengths[i], 128);
    }
    expectFinite(model.noiseEnvelope, "noise envelope");
    expectFinite(model.bandLevels, "band levels");
}

TEST(PipelineSungVowel, EveryTrackHasAFrameEachAndEveryValueIsFinite)
{
    lvtest::SungVowel v;
    v.f0Hz = 220.5;
    v.seconds = 0.5;
    const auto samples = lvtest::singVowel(v);
    const std::size_t frames = frameCountOf(samples.size());
    std::vector<float> track(frames, 220.5f);
    track[0] = 0.0f; // an unvoiced frame at the start
    TsVoiceModel model;
    AnalysisSettings settings;
    AnalysisRandom random(7);
    analyse(settings, samples, model, false, random, knownTrack(track));

    ASSERT_EQ(model.f0.size(), frames);
    EXPECT_EQ(model.peaks.frameCount(), frames);
    EXPECT_EQ(model.peaks.frames[10]->pointCount(), 100u); // trunc(22050 / 220.5), over 4 · 200 samples
    EXPECT_EQ(model.peaks.largestPointCount, 100);
    for (const auto* s : {&model.noiseEnvelope, &model.harmonicPhase, &model.spectralEnvelope, &model.bandLevels}) {
        EXPECT_EQ(std::size_t(s->frameCount), frames);
    }
    EXPECT_EQ(model.glottalIndex.size(), frames);
    EXPECT_EQ(model.glottalGain.size(), frames);
    EXPECT_EQ(model.pulseRatio.size(), frames);
    EXPECT_EQ(model.spectralEnvelope.lengths[0], 0);
    EXPECT_EQ(model.spectralEnvelope.lengths[10], 256);
    EXPECT_EQ(model.harmonicPhase.lengths[10], 100);
    EXPECT_EQ(settings.residual.size(), samples.size());

    expectFinite(model.noiseEnvelope, "noise envelope");
    expectFinite(model.harmonicPhase, "harmonic phase");
    expectFinite(model.spectralEnvelope, "spectral envelope");
    expectFinite(model.bandLevels, "band levels");
    for (std::uint32_t i = 0; i < frames; ++i) {
        ASSERT_TRUE(std::isfinite(model.glottalGain[i]));
        ASSERT_GE(model.pulseRatio[i], 0.0f);
        ASSERT_LE(model.pulseRatio[i], 1.0f);
        ASSERT_GE(model.glottalIndex[i], 0);
        ASSERT_LE(model.glottalIndex[i], 269);
    }
    for (const auto& f : model.peaks.frames) {
        for (std::uint32_t k = 0; k < f->pointCount(); ++k) {
            ASSERT_TRUE(std::isfinite(f->levels[k]) && std::isfinite(f->phases[k]));
        }
    }
    // The harmonic part explains most of a clean sung vowel: the residual is far weaker than the voice.
    double voice = 0, rest = 0;
    for (std::size_t i = 2000; i < samples.size() - 2000; ++i) {
        voice += double(samples[i]) * samples[i];
        rest += double(settings.residual[i]) * settings.residual[i];
    }
    EXPECT_LT(rest, 0.01 * voice);
    // The first harmonic's phase is always the reference: θ_1 = 0.
    FrameMags phases;
    model.harmonicPhase.getFrame(20, phases);
    EXPECT_EQ(phases[0], 0.0f);
}

TEST(PipelineSungVowel, TheAnalysisOwnF0FollowsTheSungPitch)
{
    lvtest::SungVowel v;
    v.f0Hz = 233.0;
    v.vibratoCents = 40.0;
    v.seconds = 1.0;
    const auto samples = lvtest::singVowel(v);
    TsVoiceModel model;
    AnalysisSettings settings;
    AnalysisRandom random(11);
    analyse(settings, samples, model, false, random); // Harvest as the hint, then the tracker
    ASSERT_EQ(model.f0.size(), samples.size() / 128);
    std::size_t checked = 0;
    for (std::uint32_t i = 20; i + 20 < model.f0.size(); ++i) {
        ASSERT_GT(model.f0[i], 0.0f) << "frame " << i << " of a sustained vowel";
        const double cents = 1200.0 * std::log2(model.f0[i] / lvtest::sungPitchAtFrame(v, i));
        ASSERT_LT(std::fabs(cents), 20.0) << "frame " << i;
        ++checked;
    }
    EXPECT_GT(checked, 250u);
    for (const auto* s : {&model.noiseEnvelope, &model.harmonicPhase, &model.spectralEnvelope, &model.bandLevels}) {
        EXPECT_EQ(std::uint32_t(s->frameCount), model.f0.size());
    }
    expectFinite(model.noiseEnvelope, "noise envelope");
    expectFinite(model.spectralEnvelope, "spectral envelope");
}

TEST(PipelineGlottalIndex, ChoosesTheSmallestItakuraSaitoDistance)
{
    // The distance summed directly, r_k = a_k² / g_k² with g scaled to meet the first harmonic.
    auto direct = [](const std::vector<float>& levels) {
        int best = 0;
        double bestDistance = 0;
        FastVector<float> t;
        for (int i = 0; i < 270; ++i) {
            Tessarin::lfTemplateLevels(i, t);
            double sum = 0;
            const std::size_t n = std::min<std::size_t>(levels.size(), 400);
            for (std::size_t k = 0; k < n; ++k) {
                const double a = std::pow(10.0, levels[k] * 0.05);
                const double g = std::pow(10.0, t[std::uint32_t(k)] * 0.05) * std::pow(10.0, levels[0] * 0.05) /
                                 std::pow(10.0, t[0] * 0.05);
                const double r = a * a / (g * g);
                sum += r - std::log(r) - 1.0;
            }
            if (i == 0 || sum / double(n) < bestDistance) {
                best = i;
                bestDistance = sum / double(n);
            }
        }
        return best;
    };
    std::mt19937 rng(21);
    std::normal_distribution<float> jitter(0.0f, 2.0f);
    FastVector<float> t;
    for (const int truth : {5, 60, 150, 240}) {
        Tessarin::lfTemplateLevels(truth, t);
        for (const std::size_t n : {std::size_t(12), std::size_t(100), std::size_t(401)}) {
            std::vector<float> levels(n);
            for (std::size_t k = 0; k < n; ++k) {
                levels[k] = t[std::uint32_t(std::min<std::size_t>(k, 399))] - 70.0f + jitter(rng);
            }
            EXPECT_EQ(pipeline::bestTemplate(levels), direct(levels)) << truth << " " << n;
        }
    }
}

// An injected f0 stage may hand the analysis values that no estimator produces. Each such frame must
// be analysed as unvoiced (no harmonics, no envelope) while its voiced neighbours keep their pitch,
// and nothing may read outside its buffers (the sanitizer build watches that).
TEST(PipelineF0Input, ValuesNoEstimatorGivesBecomeUnvoicedFrames)
{
    lvtest::SungVowel v;
    v.f0Hz = 220.0;
    v.seconds = 0.3;
    const auto samples = lvtest::singVowel(v);
    const std::size_t frames = frameCountOf(samples.size());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    // Frames 20, 22, … carry the bad values; the frames between stay voiced at 220 Hz.
    const std::vector<float> bad{nan, -220.0f, 1e-30f, 0.5f, 19.99f, 22050.0f, 30000.0f, inf, -inf, 1e30f};
    std::vector<float> track(frames, 220.0f);
    for (std::size_t k = 0; k < bad.size(); ++k) {
        track[20 + 2 * k] = bad[k];
    }
    TsVoiceModel model;
    AnalysisSettings settings;
    AnalysisRandom random(3);
    analyse(settings, samples, model, false, random, knownTrack(track));

    ASSERT_EQ(model.f0.size(), frames);
    for (std::size_t k = 0; k < bad.size(); ++k) {
        const auto i = std::uint32_t(20 + 2 * k);
        EXPECT_EQ(model.f0[i], 0.0f) << "value " << bad[k];
        EXPECT_EQ(model.peaks.frames[i]->pointCount(), 0u) << "value " << bad[k];
        EXPECT_EQ(model.spectralEnvelope.lengths[i], 0) << "value " << bad[k];
        EXPECT_EQ(model.pulseRatio[i], 1.0f) << "value " << bad[k];
        EXPECT_EQ(model.f0[i + 1], 220.0f);
        EXPECT_EQ(model.spectralEnvelope.lengths[i + 1], 256);
    }
    expectFinite(model.noiseEnvelope, "noise envelope");
    expectFinite(model.bandLevels, "band levels");
    expectFinite(model.spectralEnvelope, "spectral envelope");
    expectFinite(model.harmonicPhase, "harmonic phase");
    for (std::uint32_t i = 0; i < frames; ++i) {
        ASSERT_TRUE(std::isfinite(model.glottalGain[i]) && std::isfinite(model.pulseRatio[i])) << "frame " << i;
    }
}
