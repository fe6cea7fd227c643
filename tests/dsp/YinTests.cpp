#include "dsp/Yin.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace Tessarin;

namespace {

constexpr int kWindow = 1102;
constexpr int kLags = 801;

// The difference function the slow way: copy the frame's neighbourhood into a zero-padded
// buffer first, then sum every product in order.
std::vector<double> referenceDifference(const std::vector<float>& x, long centre, int lags)
{
    const long first = centre - kWindow / 2 - (lags - 1) / 2;
    const long length = kWindow + lags;
    std::vector<double> padded(std::size_t(length), 0.0);
    for (long i = 0; i < length; ++i) {
        const long k = first + i;
        if (k >= 0 && k < long(x.size())) {
            padded[std::size_t(i)] = x[std::size_t(k)];
        }
    }
    std::vector<double> d(static_cast<std::size_t>(lags));
    for (long tau = 0; tau < lags; ++tau) {
        const long start = centre - kWindow / 2 - tau / 2 - first;
        double sum = 0.0;
        for (long j = 0; j < kWindow; ++j) {
            const double diff = padded[std::size_t(start + j)] - padded[std::size_t(start + j + tau)];
            sum += diff * diff;
        }
        d[std::size_t(tau)] = sum;
    }
    return d;
}

std::vector<float> noise(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::vector<float> x(n);
    for (float& v : x) {
        v = u(gen);
    }
    return x;
}

std::vector<double> widen(const std::vector<float>& x)
{
    return {x.begin(), x.end()};
}

void expectSameDifference(const std::vector<float>& x, long centre)
{
    std::vector<double> d(kLags);
    yinDifference(widen(x), centre, kWindow, d);
    const std::vector<double> expected = referenceDifference(x, centre, kLags);
    for (int tau = 0; tau < kLags; ++tau) {
        // Only the order of the additions may differ: 1102 terms of one sign in double.
        EXPECT_TRUE(lvtest::near(d[std::size_t(tau)], expected[std::size_t(tau)],
                                 1e-12 * expected[std::size_t(tau)] + 1e-300, "summation order in double"))
            << "centre " << centre << " lag " << tau;
    }
}

} // namespace

TEST(YinDifference, MatchesZeroPaddedSumsInsideAndAtBothEnds)
{
    const std::vector<float> x = noise(6000, 1);
    expectSameDifference(x, 3000); // fully inside
    expectSameDifference(x, 0);    // half the window before the first sample
    expectSameDifference(x, 700);  // long lags reach before the first sample
    expectSameDifference(x, 5900); // the compared stretch runs past the end
    expectSameDifference(x, 5999);
}

TEST(YinDifference, EveryInstructionSetGivesTheSameBits)
{
    // Wider vectors must not change the order of the additions, nor fuse a multiplication with
    // an addition. Samples of very different sizes make the squares inexact, so fusing shows.
    std::vector<float> mixed = noise(5000, 5);
    for (std::size_t i = 0; i < mixed.size(); i += 3) {
        mixed[i] *= 1e-3f;
    }
    const std::vector<double> x = widen(mixed);
    std::vector<double> portable(kLags);
    std::vector<double> other(kLags);
    int compared = 0;
    for (const YinIsa isa : {YinIsa::Avx2, YinIsa::Avx512}) {
        if (!yinIsaSupported(isa)) {
            continue;
        }
        ++compared;
        for (const long centre : {0L, 640L, 2500L, 4990L}) {
            yinDifference(YinIsa::Portable, x, centre, kWindow, portable);
            yinDifference(isa, x, centre, kWindow, other);
            EXPECT_EQ(other, portable) << "instruction set " << int(isa) << ", centre " << centre;
        }
    }
    if (compared == 0) {
        GTEST_SKIP() << "only the portable version runs on this processor";
    }
}

TEST(YinDifference, SourcesShorterThanTheLagsAndTheWindow)
{
    expectSameDifference(noise(300, 2), 0);
    expectSameDifference(noise(300, 3), 128);
    expectSameDifference(noise(1, 4), 0);
    std::vector<double> d(kLags, -1.0);
    yinDifference(std::vector<double>{}, 0, kWindow, d);
    for (const double v : d) {
        EXPECT_EQ(v, 0.0);
    }
}

TEST(YinDifference, PeriodicSignalVanishesAtItsPeriodAndLagZeroIsZero)
{
    // Period 200 samples: inside the source, x[i] − x[i + 200] is 0 up to float rounding of the sine.
    std::vector<float> x(8000);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = float(std::sin(2.0 * M_PI * double(i) / 200.0));
    }
    std::vector<double> d(kLags);
    yinDifference(widen(x), 4000, kWindow, d);
    EXPECT_EQ(d[0], 0.0);
    EXPECT_LT(d[200], 1e-9);
    EXPECT_LT(d[400], 1e-9);
    // Half a period apart the stretches are opposite: Σ (2 sin)² = 4 · 1102 / 2.
    // 1102 samples are 11 periods of sin² and 2 samples over: Σ 4 sin² = 2 · 1102 − 2 Σ cos 2θ
    // with at most 2 leftover cosines.
    EXPECT_TRUE(lvtest::near(d[100], 2.0 * kWindow, 4.0, "two samples beyond whole periods"));
}

TEST(YinNormalise, CumulativeMeanWithFloor)
{
    const std::vector<double> d{0.0, 1.0, 3.0, 2.0};
    std::vector<double> dn(4);
    yinNormalise(d, dn);
    // 1; 1·1/1; 2·3/(1+3); 3·2/(1+3+2)
    EXPECT_EQ(dn, (std::vector<double>{1.0, 1.0, 1.5, 1.0}));

    const std::vector<double> silence(5, 0.0);
    std::vector<double> dz(5, -1.0);
    yinNormalise(silence, dz);
    EXPECT_EQ(dz, (std::vector<double>{1.0, 0.0, 0.0, 0.0, 0.0}));

    // A tiny running sum is floored at 1e-10: 1 · 1e-12 / 1e-10.
    const std::vector<double> tiny{0.0, 1e-12};
    std::vector<double> dt(2);
    yinNormalise(tiny, dt);
    EXPECT_TRUE(lvtest::near(dt[1], 0.01, 1e-15, "floor of the running sum"));
}

TEST(YinCandidates, StrictDipsBelowOneWithParabolicLag)
{
    std::vector<YinCandidate> c;
    c.reserve(8);
    // Lags:            0    1    2    3    4    5    6    7    8    9
    std::vector<double> dn{1.0, 0.9, 0.5, 0.7, 0.7, 0.6, 0.7, 0.5, 0.5, 0.8};
    std::vector<double> d{0.0, 6.0, 4.0, 5.0, 9.0, 2.0, 3.0, 1.0, 1.0, 7.0};
    const int global = yinCandidates(d, dn, 44100.0f, c);
    // Dips at 2 and 5; the flat bottom at 7–8 is not strict.
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(global, 0);
    EXPECT_EQ(c[0].dip, 0.5f);
    EXPECT_EQ(c[1].dip, 0.6f);
    // τr = 2 + 0.5 (6 − 5) / (5 + 6 − 8) = 2 + 1/6; τr = 5 + 0.5 (9 − 3) / (3 + 9 − 4) = 5.375
    EXPECT_EQ(c[0].frequency, float(44100.0 / (2.0 + 1.0 / 6.0)));
    EXPECT_EQ(c[1].frequency, float(44100.0 / 5.375));

    // Equal deepest dips: the first one is the global one; a dip at 1 or above is not a candidate.
    std::vector<double> twin{1.0, 0.3, 0.2, 0.3, 1.2, 1.1, 1.2, 0.2, 0.3};
    std::vector<double> flat(twin.size(), 1.0);
    flat[2] = 0.0; // d = 1, 0, 1 around lag 2: the parabola's vertex is the lag itself
    EXPECT_EQ(yinCandidates(flat, twin, 44100.0f, c), 0);
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].frequency, 44100.0f / 2.0f);
    EXPECT_EQ(c[1].dip, 0.2f);
}

TEST(YinCandidates, SilenceHasNone)
{
    std::vector<double> d(kLags, 0.0);
    std::vector<double> dn(kLags);
    yinNormalise(d, dn);
    std::vector<YinCandidate> c;
    EXPECT_EQ(yinCandidates(d, dn, 44100.0f, c), -1);
    EXPECT_TRUE(c.empty());
}

TEST(YinPlainEstimate, FirstBelowThresholdUpToTheDeepestElseTheDeepest)
{
    const std::vector<YinCandidate> c{{0.30f, 500.0f}, {0.08f, 250.0f}, {0.02f, 125.0f}, {0.05f, 60.0f}};
    EXPECT_EQ(yinPlainEstimate(c, 2, 0.1f), 250.0f);  // first below 0.1
    EXPECT_EQ(yinPlainEstimate(c, 2, 0.5f), 500.0f);  // the first candidate already qualifies
    EXPECT_EQ(yinPlainEstimate(c, 2, 0.05f), 125.0f); // only the deepest is below
    EXPECT_EQ(yinPlainEstimate(c, 2, 0.01f), 125.0f); // none below: the deepest
    EXPECT_EQ(yinPlainEstimate({}, -1, 0.1f), 0.0f);

    // A qualifying candidate without a frequency ends the walk; the deepest answers.
    const std::vector<YinCandidate> zero{{0.05f, 0.0f}, {0.01f, 300.0f}, {0.02f, 90.0f}};
    EXPECT_EQ(yinPlainEstimate(zero, 1, 0.1f), 300.0f);
}
