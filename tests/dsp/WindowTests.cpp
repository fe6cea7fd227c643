#include "dsp/Windows.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Tessarin;

TEST(Windows, TriangularOddAndEvenLengths)
{
    std::vector<float> five(5);
    triangularWindow(five);
    EXPECT_EQ(five, (std::vector<float>{1.0f / 3, 2.0f / 3, 1.0f, 2.0f / 3, 1.0f / 3}));
    std::vector<float> four(4);
    triangularWindow(four);
    EXPECT_EQ(four, (std::vector<float>{0.25f, 0.75f, 0.75f, 0.25f}));
    std::vector<float> one(1);
    triangularWindow(one);
    EXPECT_EQ(one[0], 1.0f);
}

TEST(Windows, CosineWindowsAreSymmetricWithTheirKnownEndsAndCentres)
{
    std::vector<float> bh(513), b(513), h(513);
    blackmanHarrisWindow(bh);
    blackmanWindow(b);
    hannWindow(h);
    // Ends: 0.35875 − 0.48829 + 0.14128 − 0.01168 = 6e-5; centre (x = 0.5): 0.35875 + 0.48829 + 0.14128 + 0.01168 = 1.
    EXPECT_TRUE(lvtest::near(bh[0], 6.0e-5, 1e-6, "float cosine of 0 is exact; sum rounding only"));
    EXPECT_TRUE(lvtest::near(bh[256], 1.0, 1e-6, "float rounding of the four terms"));
    EXPECT_EQ(b[0], 0.0f);
    EXPECT_EQ(b[512], 0.0f);
    EXPECT_TRUE(lvtest::near(b[256], 1.0, 1e-6, "0.42 + 0.5 + 0.08 in float"));
    EXPECT_EQ(h[0], 0.0f);
    EXPECT_TRUE(lvtest::near(h[256], 1.0, 1e-7, "cos(π) in float"));
    for (std::size_t i = 0; i < 513; ++i) {
        EXPECT_TRUE(lvtest::near(bh[i], bh[512 - i], 2e-6, "2π rounded to float makes the halves differ by ulps"));
    }
}

TEST(Windows, UnitSumWindowReturnsAConstant)
{
    std::vector<float> w(512);
    blackmanHarrisWindow(w);
    normaliseToUnitSum(w);
    float sum = 0.0f;
    for (const float v : w) {
        sum += 0.7f * v;
    }
    EXPECT_TRUE(lvtest::near(sum, 0.7, 1e-6, "single-precision sum of 512 products"));

    std::vector<float> zeros(8, 0.0f);
    normaliseToUnitSum(zeros);
    EXPECT_EQ(zeros[3], 0.0f);
}
