#include "dsp/NoiseFilterBank.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Tessarin;

TEST(NoiseFilterBank, SingleBinBandsUpToThreeKilohertzThenWarpedBands)
{
    const NoiseFilterBank bank;
    ASSERT_EQ(bank.bandCount(), 128);
    EXPECT_EQ(bank.linearBandCount(), 35); // ceil(3000 / 86.1328125)
    for (int b = 0; b < 35; ++b) {
        EXPECT_EQ(bank.startBin(b), b);
        ASSERT_EQ(bank.weightCount(b), 1);
        EXPECT_EQ(bank.weights(b)[0], 1.0f);
        EXPECT_TRUE(lvtest::near(bank.centre(b), b * 86.1328125, 1e-3, "float multiple of the bin width"));
    }
    EXPECT_TRUE(lvtest::near(bank.centre(34), 2928.5, 0.05, "34 bins"));
    EXPECT_TRUE(lvtest::near(bank.centre(35), 3014.6, 0.05, "35 bins, the first warped centre"));
    // The last centre is one warped step below 22050 Hz: u steps of (u(22050) − u(3014.6)) / 93.
    const double u = [](double f) { return 5000.0 * std::log(1.0 + f / 15000.0); }(22050.0);
    const double step = (u - 5000.0 * std::log(1.0 + 3014.6484375 / 15000.0)) / 93.0;
    EXPECT_TRUE(lvtest::near(bank.centre(127), 15000.0 * (std::exp((u - step) / 5000.0) - 1.0), 0.05, "float centres"));
    for (int b = 1; b < 128; ++b) {
        EXPECT_GT(bank.centre(b), bank.centre(b - 1));
    }
}

TEST(NoiseFilterBank, EveryBandsWeightsAddUpToOneWithTheCentreBinAtZero)
{
    const NoiseFilterBank bank;
    int singleBinWarped = 0;
    for (int b = 0; b < 128; ++b) {
        const auto w = bank.weights(b);
        float sum = 0;
        for (const float v : w) {
            sum += v;
        }
        EXPECT_TRUE(lvtest::near(sum, 1.0, 1e-6, "float division by the raw sum")) << b;
        EXPECT_GE(bank.startBin(b), 0);
        EXPECT_LE(bank.startBin(b) + bank.weightCount(b), 256);
        if (b >= 35 && w.size() == 1) {
            ++singleBinWarped;
        }
    }
    // Band 40: centre bin c = round(p(centre)), edges from its neighbours' centres; the weight of bin c
    // itself is 0 and the largest weight sits at the lower edge.
    const int b = 40;
    const double k = 256.0 / 22050.0;
    const int lo = int(std::floor(bank.centre(b - 1) * k));
    const int c = int(std::round(bank.centre(b) * k));
    const int hi = int(std::ceil(bank.centre(b + 1) * k));
    ASSERT_EQ(bank.startBin(b), lo);
    ASSERT_EQ(bank.weightCount(b), hi - lo);
    const auto w = bank.weights(b);
    EXPECT_EQ(w[std::size_t(c - lo)], 0.0f);
    EXPECT_EQ(*std::max_element(w.begin(), w.end()), w[0]);
    EXPECT_EQ(singleBinWarped, 0) << "at 128 bands every warped band spans several bins";
}

TEST(NoiseFilterBank, DenseBanksKeepUnitSumsAndCollapseClampedBandsToOneBin)
{
    // With many bands the top ones crowd into the last bin; their edges clamp to bin 255 and the band
    // becomes that single bin with weight 1. No band may end up with no weight at all.
    for (const int bands : {200, 400, 800, 1600}) {
        const NoiseFilterBank bank(44100.0f, 512, bands);
        bool sawClamped = false;
        for (int b = 0; b < bands; ++b) {
            const auto w = bank.weights(b);
            float sum = 0;
            for (const float v : w) {
                ASSERT_TRUE(std::isfinite(v)) << bands << " band " << b;
                sum += v;
            }
            ASSERT_TRUE(lvtest::near(sum, 1.0, 1e-6, "float division by the raw sum")) << bands << " band " << b;
            if (b >= bank.linearBandCount() && bank.startBin(b) == 255) {
                ASSERT_EQ(w.size(), 1u);
                EXPECT_EQ(w[0], 1.0f);
                sawClamped = true;
            }
        }
        EXPECT_EQ(sawClamped, bands >= 800) << bands; // the top bands reach bin 255 from about 800 bands up
    }
}

TEST(NoiseFilterBank, PowerInOneBinReachesOnlyTheBandsThatCoverIt)
{
    const NoiseFilterBank bank;
    FreqBox box(512);
    box.re.assign(512, 0.0f);
    box.im.assign(512, 0.0f);
    box.re[10] = 3.0f;
    box.im[10] = 4.0f; // power 25
    std::vector<float> levels(128);
    bank.levels(box, levels);
    EXPECT_TRUE(lvtest::near(levels[10], 10.0 * std::log10(25.0), 1e-5, "float log"));
    for (int b = 0; b < 35; ++b) {
        if (b != 10) {
            EXPECT_EQ(levels[std::size_t(b)], -std::numeric_limits<float>::infinity()) << b;
        }
    }
    EXPECT_EQ(bank.bandLevel(60, box), -std::numeric_limits<float>::infinity());
}
