#include "dsp/FilterBankConvolver.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

using namespace Tessarin;

namespace {

std::vector<double> uniformNoise(std::size_t n, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<double> v(n);
    for (double& x : v) {
        x = double(rng()) / 4294967296.0 - 0.5;
    }
    return v;
}

std::vector<double> symmetricKernel(std::size_t half, std::uint32_t seed)
{
    const std::vector<double> side = uniformNoise(half + 1, seed);
    std::vector<double> k(2 * half + 1);
    for (std::size_t t = 0; t <= half; ++t) {
        k[half + t] = side[t];
        k[half - t] = side[t];
    }
    return k;
}

// The definition, term by term.
std::vector<double> directConvolution(const std::vector<double>& x, const std::vector<double>& kernel, std::ptrdiff_t shift)
{
    const std::ptrdiff_t h = std::ptrdiff_t(kernel.size() / 2);
    std::vector<double> out(x.size(), 0.0);
    for (std::ptrdiff_t i = 0; i < std::ptrdiff_t(x.size()); ++i) {
        for (std::ptrdiff_t j = -h; j <= h; ++j) {
            const std::ptrdiff_t t = i + shift - j;
            if (t >= 0 && t < std::ptrdiff_t(x.size())) {
                out[std::size_t(i)] += kernel[std::size_t(h + j)] * x[std::size_t(t)];
            }
        }
    }
    return out;
}

void expectMatchesDirect(std::size_t length, std::size_t maxHalf, std::ptrdiff_t shift)
{
    const std::vector<double> x = uniformNoise(length, 7);
    const std::vector<double> a = symmetricKernel(maxHalf, 11);
    const std::vector<double> b = symmetricKernel(maxHalf / 3, 13);
    FilterBankConvolver bank(x, maxHalf, shift);
    std::vector<double> outA(length, -1.0), outB(length + 1, -1.0);
    bank.filter(a, b, outA, outB);
    const std::vector<double> expectA = directConvolution(x, a, shift);
    const std::vector<double> expectB = directConvolution(x, b, shift);
    const double scale = double(bank.transformSize());
    for (std::size_t i = 0; i < length; ++i) {
        // Double-precision transforms of a few thousand points: rounding near 1e-15 of the block's
        // content, which is of order 1 here.
        ASSERT_TRUE(lvtest::near(outA[i] / scale, expectA[i], 1e-12, "double-precision transform rounding")) << i;
        ASSERT_TRUE(lvtest::near(outB[i] / scale, expectB[i], 1e-12, "double-precision transform rounding")) << i;
    }
    EXPECT_EQ(outB[length], -1.0) << "nothing written past the signal's length";
}

} // namespace

TEST(FilterBankConvolver, MatchesDirectConvolutionOverManyBlocks)
{
    expectMatchesDirect(20000, 292, 1);
    expectMatchesDirect(20000, 13, 0);
}

TEST(FilterBankConvolver, MatchesDirectConvolutionWhenShorterThanAKernel)
{
    expectMatchesDirect(1, 40, 1);
    expectMatchesDirect(57, 100, 1);
}

TEST(FilterBankConvolver, UnitKernelCopiesTheShiftedSignal)
{
    const std::vector<double> x = uniformNoise(3000, 3);
    FilterBankConvolver bank(x, 5, 1);
    const std::vector<double> unit = {1.0};
    std::vector<double> out(x.size());
    std::vector<double> unused;
    bank.filter(unit, {}, out, unused);
    const double scale = double(bank.transformSize());
    for (std::size_t i = 0; i + 1 < x.size(); ++i) {
        ASSERT_TRUE(lvtest::near(out[i] / scale, x[i + 1], 1e-13, "a transform pair of a unit impulse")) << i;
    }
    EXPECT_TRUE(lvtest::near(out.back(), 0.0, 1e-10, "the sample after the end reads as zero"));
}

TEST(FilterBankConvolver, RefusesKernelsLongerThanDeclared)
{
    const std::vector<double> x(100, 0.0);
    FilterBankConvolver bank(x, 4, 0);
    std::vector<double> out(100);
    EXPECT_THROW(bank.filter(symmetricKernel(5, 1), {}, out, out), std::invalid_argument);
    EXPECT_THROW(bank.filter(std::vector<double>(4, 1.0), {}, out, out), std::invalid_argument);
}
