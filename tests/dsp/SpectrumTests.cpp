#include "core/AnalysisConstants.h"
#include "dsp/LinearTable.h"
#include "dsp/Spectrum.h"
#include "dsp/Windows.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace Tessarin;

TEST(CutFrame, CentredFramesArePaddedWithZerosOutsideTheSource)
{
    std::vector<float> source(1000);
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = float(i + 1);
    }
    std::vector<float> frame(512, -1.0f);
    cutFrame(0, source, frame);
    for (std::size_t i = 0; i < 256; ++i) {
        ASSERT_EQ(frame[i], 0.0f) << i;
    }
    EXPECT_EQ(frame[256], 1.0f); // the centre is sample 0
    EXPECT_EQ(frame[511], 256.0f);

    cutFrame(999, source, frame);
    EXPECT_EQ(frame[256], 1000.0f);
    EXPECT_EQ(frame[257], 0.0f);
    EXPECT_EQ(frame[0], float(999 - 256 + 1));

    std::vector<float> odd(5, -1.0f);
    cutFrame(2, source, odd); // L div 2 = 2: samples 0 .. 4
    EXPECT_EQ(odd, (std::vector<float>{1, 2, 3, 4, 5}));

    cutFrame(100000, source, odd);
    EXPECT_EQ(odd, (std::vector<float>(5, 0.0f)));
    cutFrame(-100000, source, odd);
    EXPECT_EQ(odd, (std::vector<float>(5, 0.0f)));
}

TEST(FreqBox, ZeroPhaseLoadPutsTheCentreAtIndexZero)
{
    FreqBox box(8);
    const std::vector<float> frame{1, 2, 3, 4, 5};
    const std::vector<float> window{1, 1, 2, 1, 1};
    box.re.assign(8, 9.0f);
    box.loadZeroPhase(frame, window);
    // h = 2: elements 0, 1 wrap to indexes 6, 7; element 2 (the centre) lands on 0.
    EXPECT_EQ(box.re, (std::vector<float>{6, 4, 5, 0, 0, 0, 1, 2}));
    EXPECT_EQ(box.im, (std::vector<float>(8, 0.0f)));

    box.halfSwap();
    EXPECT_EQ(box.re, (std::vector<float>{0, 0, 1, 2, 6, 4, 5, 0}));
}

TEST(FreqBox, SilenceGivesTheLevelFloorAndZeroPhase)
{
    FreqMagAndPhaseBox box(512);
    const std::vector<float> frame(512, 0.0f);
    std::vector<float> window(512);
    blackmanHarrisWindow(window);
    box.loadZeroPhase(frame, window);
    box.forward();
    box.computeLevelAndPhase();
    for (int k = 0; k <= 256; ++k) {
        ASSERT_EQ(box.level[std::size_t(k)], -120.0f);
        ASSERT_EQ(box.phase[std::size_t(k)], 0.0f);
    }
    EXPECT_EQ(box.level.size(), 256u + 16u);
}

TEST(FreqBox, ACosineAtABinCentreMeasuresHalfItsAmplitudeWithZeroPhase)
{
    // With a unit-sum window, the bin of a cosine of amplitude A holds A/2 (the other half sits at the
    // negative frequency). Bin 20 of 512 points; centred on the frame so its phase is 0.
    const double amplitude = 0.8;
    const int bin = 20;
    std::vector<float> source(4096);
    const std::int64_t centre = 2048;
    for (std::size_t i = 0; i < source.size(); ++i) {
        source[i] = float(amplitude * std::cos(2 * kPi * bin * (double(i) - centre) / 512.0));
    }
    std::vector<float> window(512);
    blackmanHarrisWindow(window);
    normaliseToUnitSum(window);
    std::vector<float> frame(512);
    cutFrame(centre, source, frame);
    FreqMagAndPhaseBox box(512);
    box.loadZeroPhase(frame, window);
    box.forward();
    box.computeLevelAndPhase();
    EXPECT_TRUE(lvtest::near(box.level[bin], 20 * std::log10(amplitude / 2), 0.01,
                             "a symmetric window sampled at 512 points is not exactly symmetric about the centre"));
    EXPECT_TRUE(lvtest::near(box.phase[bin], 0.0, 0.01, "the centre sample is the window's peak, up to one sample"));
    EXPECT_LT(box.level[bin + 10], box.level[bin] - 80.0f); // the side lobes of Blackman-Harris are low
}

TEST(FreqBox, InverseUndoesForward)
{
    FreqBox box(64);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> signal(64);
    for (float& v : signal) {
        v = dist(rng);
    }
    box.re = signal;
    box.forward();
    // Bin 0 is the plain sum.
    double sum = 0;
    for (const float v : signal) {
        sum += v;
    }
    EXPECT_TRUE(lvtest::near(box.re[0], sum, 1e-4, "float FFT of 64 points"));
    EXPECT_EQ(box.im[0], 0.0f);
    std::vector<float> back(64);
    box.inverse(back);
    for (std::size_t i = 0; i < 64; ++i) {
        ASSERT_TRUE(lvtest::near(back[i], signal[i], 1e-5, "float FFT round trip"));
    }
}

TEST(FrameMagsSum, AddsOverTheShorterLength)
{
    FrameMags a;
    FrameMags b;
    for (int i = 0; i < 3; ++i) {
        a.push_back(float(i));
    }
    b.push_back(10.0f);
    b.push_back(20.0f);
    addFrames(a, b);
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[0], 10.0f);
    EXPECT_EQ(a[1], 21.0f);
    EXPECT_EQ(a[2], 2.0f);
    addFrames(b, a);
    EXPECT_EQ(b.size(), 2u);
    EXPECT_EQ(b[1], 41.0f);
}

TEST(LinearTableLookup, ClampsAtTheEndsAndInterpolatesInside)
{
    const std::vector<float> x{1, 2, 4, 8};
    const std::vector<float> y{10, 20, 0, 40};
    LinearTable t(x, y);
    EXPECT_EQ(t.lookup(-5.0f), 10.0f);
    EXPECT_EQ(t.lookup(1.0f), 10.0f);
    EXPECT_EQ(t.lookup(8.0f), 40.0f);
    EXPECT_EQ(t.lookup(100.0f), 40.0f);
    EXPECT_EQ(t.lookup(1.5f), 15.0f);
    EXPECT_EQ(t.lookup(2.0f), 20.0f); // a knot belongs to the segment that ends there
    EXPECT_EQ(t.lookup(3.0f), 10.0f);
    EXPECT_EQ(t.lookup(6.0f), 20.0f);
}

TEST(LinearTableLookup, CachedWalkAgreesWithAFreshSearchInAnyOrder)
{
    std::vector<float> x(50);
    std::vector<float> y(50);
    for (std::size_t i = 0; i < 50; ++i) {
        x[i] = float(i * i) * 0.5f;
        y[i] = std::sin(float(i));
    }
    LinearTable walking(x, y);
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> dist(-10.0f, 1300.0f);
    for (int n = 0; n < 2000; ++n) {
        const float q = dist(rng);
        LinearTable fresh(x, y);
        ASSERT_EQ(walking.lookup(q), fresh.lookup(q)) << q;
    }
}
