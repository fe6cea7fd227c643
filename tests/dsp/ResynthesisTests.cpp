#include "dsp/Resynthesis.h"
#include "dsp/Windows.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace Tessarin;

namespace {

constexpr double kPi = 3.141592653589793;

// A steady cosine of frequency f: frame e carries one point whose phase is the cosine's phase at the
// frame centre e · 128.
PeakTracks steadyTone(int frames, double hz, float levelDb, int silentFrom = -1)
{
    PeakTracks t;
    const double omega = 2 * kPi * hz / 44100.0;
    for (int e = 0; e < frames; ++e) {
        HarmonicFrame& f = t.addFrame();
        if (silentFrom >= 0 && e >= silentFrom) {
            continue;
        }
        PeakTracks::appendPoint(f, float(hz), levelDb, float(std::remainder(omega * 128.0 * e, 2 * kPi)));
    }
    return t;
}

} // namespace

TEST(Resynthesis, UnvoicedFramesRenderSilenceOfTheWholeLength)
{
    PeakTracks t;
    for (int e = 0; e < 10; ++e) {
        t.addFrame();
    }
    FastVector<float> out;
    out.push_back(5.0f);
    resynthesise(t, 128, 44100.0f, out);
    ASSERT_EQ(out.size(), 1280u);
    for (std::uint32_t i = 0; i < out.size(); ++i) {
        ASSERT_EQ(out[i], 0.0f);
    }
}

TEST(Resynthesis, ASteadyHarmonicComesBackAtItsAmplitudeTimesTheOverlapGain)
{
    // Level 20·log10(0.5) means amplitude 1 after the factor 2.
    const double hz = 440.0;
    const PeakTracks t = steadyTone(40, hz, float(20.0 * std::log10(0.5)));
    FastVector<float> out;
    resynthesise(t, 128, 44100.0f, out);
    ASSERT_EQ(out.size(), 40u * 128u);

    std::vector<float> w(256);
    hannWindow(w);
    // Inside the stretch every sample gets two frames: window halves j and j + 128 overlap.
    for (std::uint32_t s = 1000; s < 4000; ++s) {
        const std::size_t j = s % 128;
        const double gain = double(w[j]) + double(w[j + 128]);
        const double expected = std::cos(2 * kPi * hz * s / 44100.0) * gain;
        ASSERT_TRUE(lvtest::near(out[s], expected, 2e-4, "float cosine recurrence over 256 samples")) << s;
    }
    // The symmetric Hann of 256 overlapped at 128 sums to about 1, not exactly 1.
    EXPECT_TRUE(lvtest::near(double(w[0]) + double(w[128]), 1.0, 1e-3, "the symmetric window's small excess"));
    EXPECT_NE(double(w[10]) + double(w[138]), 1.0);
}

TEST(Resynthesis, TheFirstHalfOfFrameZeroIsDroppedAndTheTailEndsAtTheLastHop)
{
    const double hz = 1000.0;
    const PeakTracks t = steadyTone(4, hz, float(20.0 * std::log10(0.5)), 1); // only frame 0 sounds
    FastVector<float> out;
    resynthesise(t, 128, 44100.0f, out);
    ASSERT_EQ(out.size(), 512u);
    std::vector<float> w(256);
    hannWindow(w);
    // Output sample s is block sample s + 128 of frame 0: the cosine at s, windowed by w[s + 128].
    for (std::uint32_t s = 0; s < 128; ++s) {
        const double expected = std::cos(2 * kPi * hz * s / 44100.0) * w[s + 128];
        ASSERT_TRUE(lvtest::near(out[s], expected, 1e-4, "float recurrence")) << s;
    }
    for (std::uint32_t s = 128; s < 512; ++s) {
        ASSERT_EQ(out[s], 0.0f) << s;
    }
}

TEST(RenderFrame, PhaseHoldsAtTheBlockCentreForEveryPoint)
{
    std::vector<float> block(256, 9.0f);
    const std::vector<float> phases{0.5f, -1.0f};
    const std::vector<float> levels{float(20 * std::log10(0.25)), float(20 * std::log10(0.05))};
    const std::vector<float> freqs{300.0f, 5000.0f};
    renderFrame(phases, block, levels, freqs, 44100.0f);
    for (std::size_t j = 0; j < 256; ++j) {
        const double t = (double(j) - 128.0) * 2 * kPi / 44100.0;
        const double expected = 0.5 * std::cos(0.5 + 300.0 * t) + 0.1 * std::cos(-1.0 + 5000.0 * t);
        ASSERT_TRUE(lvtest::near(block[j], expected, 1e-4, "float recurrence and float ω")) << j;
    }
}
