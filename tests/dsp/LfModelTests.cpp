#include "dsp/LfModel.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

using namespace Tessarin;

TEST(LfTiming, RdOneGivesFantsRegressionValues)
{
    const LfShape s = LfShape::fromRd(1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(lvtest::near(s.Ra, 0.038, 1e-7, "float"));
    // Rk = 0.342, Rg = (Rk/4) / (0.11 / (0.5 + 1.2·Rk) − Ra) ≈ 1.03228, tp = 1 / (2·Rg), te = tp·(1 + Rk).
    EXPECT_TRUE(lvtest::near(s.tp, 0.48436, 1e-5, "five decimals"));
    EXPECT_TRUE(lvtest::near(s.te, 0.65001, 1e-5, "five decimals"));
    EXPECT_TRUE(lvtest::near(s.te / s.tp, 1.342, 1e-6, "1 + Rk"));
    EXPECT_EQ(s.shift, 0.0f);

    EXPECT_EQ(LfShape::fromRd(0.2f, 1.0f, 1.0f).Ra, 1e-6f); // an almost instantaneous return phase
    EXPECT_EQ(LfShape::fromRd(0.21f, 1.0f, 1.0f).Ra, 1e-6f); // the float 0.21 lies below the double 0.21
    EXPECT_TRUE(lvtest::near(LfShape::fromRd(0.22f, 1.0f, 1.0f).Ra, (4.8 * 0.22 - 1) / 100, 1e-7, "float"));
}

TEST(LfTiming, TheLastTemplateTakesTheShiftBranchWithAVanishingShift)
{
    const float last = lfTemplateValues()[269];
    EXPECT_TRUE(lvtest::near(last, 2.7, 1e-5, "270 float additions of 0.01"));
    const LfShape s = LfShape::fromRd(2.7f, 1.0f, 1.0f); // the float 2.7 lies just above the double 2.7
    EXPECT_GT(s.shift, 0.0f);
    EXPECT_TRUE(lvtest::near(s.shift, 4.77e-8, 1e-9, "float(2.7) − 2.7"));
    const LfShape beyond = LfShape::fromRd(5.0f, 1.0f, 1.0f);
    EXPECT_EQ(beyond.shift, 0.99f);
    EXPECT_EQ(beyond.te, s.te); // timing frozen at Rd = 2.7
}

TEST(LfWaveformShape, ExcitationIsMinusEeAndTheNetFlowIsZero)
{
    for (const float rd : {0.3f, 0.8f, 1.0f, 1.7f, 2.5f}) {
        const LfShape shape = LfShape::fromRd(rd, 0.01f, 0.5f);
        const LfWaveform w = LfWaveform::fromShape(shape);
        EXPECT_TRUE(lvtest::near(w.openPhase(w.te), -0.5, 1e-4, "E0 is defined from it")) << rd;
        EXPECT_TRUE(lvtest::near(w.returnPhase(w.te), -0.5, 1e-4, "the return phase starts at −Ee")) << rd;
        EXPECT_EQ(w.returnPhase(w.T0), 0.0f);
        EXPECT_EQ(w.flowDerivative(-0.001f), 0.0f);
        // ε solves 1 − e^(−ε(T0 − te)) − ε·ta = 0.
        EXPECT_TRUE(lvtest::near(1.0 - std::exp(-w.epsilon * (w.T0 - w.te)) - w.epsilon * w.ta, 0.0, 1e-5, "float root"));
        // The flow returns to where it started: the derivative integrates to zero over a period.
        const int steps = 200000;
        double integral = 0;
        double area = 0;
        for (int i = 0; i < steps; ++i) {
            const double v = w.flowDerivative(float((i + 0.5) * w.T0 / steps));
            integral += v;
            area += std::fabs(v);
        }
        EXPECT_LT(std::fabs(integral), 2e-3 * area) << rd;
    }
}

TEST(LfWaveformShape, RenderedPeriodHasTheExcitationAtRoundHundredTe)
{
    const LfShape shape = LfShape::fromRd(1.0f, 1.0f, 1.0f);
    std::vector<float> period(100);
    renderLfPeriod(shape, period);
    const int k = 65; // round(100 · 0.65001)
    EXPECT_TRUE(lvtest::near(period[k], -1.0, 1e-4, "root-search tolerance"));
    EXPECT_EQ(*std::min_element(period.begin(), period.end()), period[k]);
    // Before the excitation: the open phase, positive around tp.
    EXPECT_GT(period[k - 30], 0.0f);
    // The period starts and ends near the flow derivative's zero crossings of the open and the
    // return phase.
    EXPECT_LT(std::fabs(period[0]), 0.02f);
    EXPECT_LT(std::fabs(period[99]), std::fabs(period[k + 1]));

    // Template 269's shift is so small that no sample falls in the smoothed stretch.
    std::vector<float> plain(100);
    std::vector<float> shifted(100);
    renderLfPeriod(LfShape::fromRd(2.69999f, 1.0f, 1.0f), plain);
    const LfShape last = LfShape::fromRd(2.7f, 1.0f, 1.0f);
    renderLfPeriod(last, shifted);
    LfShape unshifted = last;
    unshifted.shift = 0.0f;
    renderLfPeriod(unshifted, plain);
    EXPECT_EQ(plain, shifted);
}

TEST(BrentRoot, FindsBracketedRootsAndFallsBackToTheMidpoint)
{
    const float root = brentRoot([](float x) { return x * x - 2.0f; }, 0.0f, 2.0f);
    EXPECT_TRUE(lvtest::near(root, std::sqrt(2.0), 2e-7, "float"));
    const float cosRoot = brentRoot([](float x) { return std::cos(x); }, 1.0f, 2.0f);
    EXPECT_TRUE(lvtest::near(cosRoot, 1.5707963, 2e-7, "float"));
    EXPECT_EQ(brentRoot([](float x) { return x * x + 1.0f; }, -1.0f, 3.0f), 1.0f);
}

TEST(LfTemplates, MainExcitationTableHoldsTeOfEachTemplate)
{
    // te of Rd = 0.01·(i + 1), six significant digits.
    EXPECT_TRUE(lvtest::near(lfMainExcitation(0), 0.0155302, 1e-7, "six digits"));
    EXPECT_TRUE(lvtest::near(lfMainExcitation(1), 0.0308822, 1e-7, "six digits"));
    EXPECT_TRUE(lvtest::near(lfMainExcitation(2), 0.0460483, 1e-7, "six digits"));
    EXPECT_TRUE(lvtest::near(lfMainExcitation(20), 0.290404, 1e-6, "six digits; Rd 0.21 takes Ra = 1e-6"));
    EXPECT_TRUE(lvtest::near(lfMainExcitation(99), 0.650015, 1e-6, "six digits"));
    EXPECT_TRUE(lvtest::near(lfMainExcitation(100), 0.652566, 1e-6, "six digits"));
    // Rd 2.7 by the same formulas: Rk 0.5426, Rg 0.13565 / (0.2580096 − 0.1196) = 0.980062, te = 0.786991.
    EXPECT_TRUE(lvtest::near(lfMainExcitation(269), 0.786991, 1e-6, "six digits"));
    EXPECT_EQ(lfMainExcitation(270), 0.5);
    EXPECT_EQ(lfMainExcitation(369), 0.5);
}

TEST(LfTemplates, LevelTableRowsMatchTheirDft)
{
    FastVector<float> row;
    lfTemplateLevels(99, row);
    ASSERT_EQ(row.size(), 400u);
    EXPECT_TRUE(lvtest::near(row[0], 81.508, 0.002, "three decimals"));
    EXPECT_TRUE(lvtest::near(row[1], 77.669, 0.002, "three decimals"));
    EXPECT_TRUE(lvtest::near(row[2], 71.881, 0.002, "three decimals"));
    lfTemplateLevels(0, row);
    // Rd 0.01 evaluated independently in double precision (bisection for α, a direct DFT sum):
    // 9.455, 15.436 and 18.945 dB. A coarser root search gives about 9.56, 15.51 and 19.01: the
    // sharpest templates (Ra = 1e-6) move by about 0.1 dB with the precision of the search.
    EXPECT_TRUE(lvtest::near(row[0], 9.455, 0.002, "three decimals of the double evaluation"));
    EXPECT_TRUE(lvtest::near(row[1], 15.436, 0.002, "three decimals of the double evaluation"));
    EXPECT_TRUE(lvtest::near(row[2], 18.945, 0.002, "three decimals of the double evaluation"));
    EXPECT_TRUE(lvtest::near(row[0], 9.56, 0.12, "root-search precision of the sharpest templates"));

    // Harmonic 7 of template 150 by a direct DFT sum over the same 65536 samples.
    const LfWaveform w = LfWaveform::fromShape(LfShape::fromRd(float(0.01 * 151), 1.0f, 1.0f));
    double re = 0, im = 0;
    for (int n = 0; n < 65536; ++n) {
        const double g = w.flowDerivative(float(n / 65536.0));
        re += g * std::cos(2 * 3.141592653589793 * 7 * n / 65536.0);
        im -= g * std::sin(2 * 3.141592653589793 * 7 * n / 65536.0);
    }
    lfTemplateLevels(150, row);
    EXPECT_TRUE(lvtest::near(row[6], 20 * std::log10(std::hypot(re, im)), 1e-4, "FFT against direct sum, stored as float"));

    FastVector<float> clamped;
    lfTemplateLevels(369, clamped);
    lfTemplateLevels(269, row);
    EXPECT_TRUE(std::equal(row.data(), row.end(), clamped.data()));
}

TEST(LfTemplates, EmbeddedTablesAreTheComputationBitForBit)
{
    // The tables the library reads were written while it was built; they must be exactly what
    // buildLfTemplateTables gives, or every stored glottal index and gain could move.
    const LfTemplateTables computed = buildLfTemplateTables();
    ASSERT_EQ(computed.levels.size(), std::size_t(kLfTemplateCount) * kLfTemplateHarmonics);
    FastVector<float> row;
    int differing = 0;
    for (int i = 0; i < kLfTemplateCount; ++i) {
        lfTemplateLevels(i, row);
        ASSERT_EQ(row.size(), std::uint32_t(kLfTemplateHarmonics));
        for (int k = 0; k < kLfTemplateHarmonics; ++k) {
            const float want = computed.levels[std::size_t(i) * kLfTemplateHarmonics + std::size_t(k)];
            if (std::bit_cast<std::uint32_t>(row[std::uint32_t(k)]) != std::bit_cast<std::uint32_t>(want) &&
                ++differing <= 5) {
                ADD_FAILURE() << "template " << i << ", harmonic " << k + 1 << ": " << row[std::uint32_t(k)]
                              << " embedded, " << want << " computed";
            }
        }
        const double te = computed.mainExcitation[std::size_t(i)];
        EXPECT_EQ(std::bit_cast<std::uint64_t>(lfMainExcitation(i)), std::bit_cast<std::uint64_t>(te))
            << "template " << i << ": " << lfMainExcitation(i) << " embedded, " << te << " computed";
    }
    EXPECT_EQ(differing, 0);
}

TEST(LfTemplates, IndexOfAShapeValue)
{
    EXPECT_EQ(lfTemplateIndex(0.005f), 0);
    EXPECT_EQ(lfTemplateIndex(0.01f), 0);
    EXPECT_EQ(lfTemplateIndex(1.0f), 99);
    EXPECT_EQ(lfTemplateIndex(1.004f), 99);
    EXPECT_EQ(lfTemplateIndex(1.006f), 100);
    EXPECT_EQ(lfTemplateIndex(2.7f), 269);
    EXPECT_EQ(lfTemplateIndex(3.7f), 369);
    EXPECT_EQ(lfTemplateIndex(9.0f), 369);
    const auto& values = lfTemplateValues();
    for (int i = 0; i < kLfTemplateCount; ++i) {
        ASSERT_EQ(lfTemplateIndex(values[std::size_t(i)]), i);
    }
}
