#include "core/AnalysisRandom.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

using Tessarin::AnalysisRandom;

TEST(AnalysisRandom, DrawsCoverTheRandRangeEvenly)
{
    AnalysisRandom r(1);
    int low = 32767, high = 0;
    double sum = 0;
    const int n = 200000;
    for (int i = 0; i < n; ++i) {
        const int v = r.next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
        low = std::min(low, v);
        high = std::max(high, v);
        sum += v;
    }
    EXPECT_LT(low, 10);
    EXPECT_GT(high, 32757);
    EXPECT_TRUE(lvtest::near(sum / n, 16383.5, 100, "mean of 200000 uniform draws, about 5 standard errors"));
}

TEST(AnalysisRandom, GaussianValuesHaveUnitVarianceAndZeroMean)
{
    AnalysisRandom r(99);
    const int n = 200000;
    double sum = 0, squares = 0;
    for (int i = 0; i < n; ++i) {
        const double g = r.gaussian();
        ASSERT_TRUE(std::isfinite(g));
        sum += g;
        squares += g * g;
    }
    EXPECT_TRUE(lvtest::near(sum / n, 0.0, 0.012, "about 5 standard errors of the mean"));
    EXPECT_TRUE(lvtest::near(squares / n, 1.0, 0.02, "sampling error of the variance plus 15-bit draws"));
}

TEST(AnalysisRandom, EachUnitHasItsOwnRepeatableSequence)
{
    auto first = [](AnalysisRandom r) {
        std::vector<int> v;
        for (int i = 0; i < 8; ++i) {
            v.push_back(r.next());
        }
        return v;
    };
    EXPECT_EQ(first(AnalysisRandom::forUnit("ka", "C4")), first(AnalysisRandom::forUnit("ka", "C4")));
    std::set<std::vector<int>> distinct;
    for (const auto& [symbol, pitch] : {std::pair{"ka", "C4"}, {"ka", "D4"}, {"ga", "C4"}, {"kaC", "4"}, {"k", "aC4"}}) {
        distinct.insert(first(AnalysisRandom::forUnit(symbol, pitch)));
    }
    EXPECT_EQ(distinct.size(), 5u);
}
