#include "core/AnalysisConstants.h"
#include "dsp/BandPass.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <complex>
#include <vector>

using namespace Tessarin;

namespace {

const double kRippleGain = std::pow(10.0, -0.5 / 20.0);

using Poly = std::vector<double>; // coefficients in ascending powers

Poly multiply(const Poly& p, const Poly& q)
{
    Poly r(p.size() + q.size() - 1, 0.0);
    for (std::size_t i = 0; i < p.size(); ++i) {
        for (std::size_t j = 0; j < q.size(); ++j) {
            r[i + j] += p[i] * q[j];
        }
    }
    return r;
}

Poly power(const Poly& p, int n)
{
    Poly r{1.0};
    for (int i = 0; i < n; ++i) {
        r = multiply(r, p);
    }
    return r;
}

// A different route to the same filter: the analog transfer function as polynomials in s, with the
// bilinear substitution s = 4·(1 − z⁻¹)/(1 + z⁻¹) expanded term by term, and the pass-band gain set
// from its defining property instead of from the pole product.
void referenceDesign(double cutoff, bool highPass, std::vector<double>& b, std::vector<double>& a)
{
    const int n = 4;
    const double eps = std::sqrt(std::pow(10.0, 0.05) - 1.0);
    const double mu = std::asinh(1.0 / eps) / n;
    const double w = 4.0 * std::tan(kPi * cutoff / 2.0);
    // Denominator in s, ascending powers, as a product of real quadratics of conjugate pole pairs.
    Poly den{1.0};
    Poly num;
    for (int k = 0; k < 2; ++k) {
        const double theta = kPi * (2.0 * k + 1.0) / (2.0 * n);
        const std::complex<double> p(-std::sinh(mu) * std::sin(theta), std::cosh(mu) * std::cos(theta));
        if (!highPass) {
            // (s − w·p)(s − w·p̄) = s² − 2w·Re p·s + w²|p|²
            den = multiply(den, Poly{w * w * std::norm(p), -2.0 * w * p.real(), 1.0});
        } else {
            // (w − p·s)(w − p̄·s) = w² − 2w·Re p·s + |p|²·s²
            den = multiply(den, Poly{w * w, -2.0 * w * p.real(), std::norm(p)});
        }
    }
    num = highPass ? Poly{0, 0, 0, 0, 1.0} : Poly{1.0};
    const Poly minus{1.0, -1.0}; // 1 − z⁻¹
    const Poly plus{1.0, 1.0};   // 1 + z⁻¹
    auto substitute = [&](const Poly& p) {
        Poly out(5, 0.0);
        for (int i = 0; i < int(p.size()); ++i) {
            const Poly term = multiply(power(minus, i), power(plus, n - i));
            for (std::size_t j = 0; j < term.size(); ++j) {
                out[j] += p[std::size_t(i)] * std::pow(4.0, i) * term[j];
            }
        }
        return out;
    };
    b = substitute(num);
    a = substitute(den);
    const double a0 = a[0];
    for (double& v : a) {
        v /= a0;
    }
    for (double& v : b) {
        v /= a0;
    }
    // Gain at DC (z = 1) or Nyquist (z = −1) must be the ripple minimum.
    const double z = highPass ? -1.0 : 1.0;
    double nb = 0, na = 0;
    for (int j = 0; j < 5; ++j) {
        nb += b[std::size_t(j)] * std::pow(z, j);
        na += a[std::size_t(j)] * std::pow(z, j);
    }
    const double scale = kRippleGain / std::fabs(nb / na);
    for (double& v : b) {
        v *= scale;
    }
}

double gainAt(const FilterCoefficients& c, double fractionOfNyquist)
{
    const std::complex<double> z1 = std::polar(1.0, -kPi * fractionOfNyquist);
    std::complex<double> nb = 0, na = 0, zk = 1;
    for (int k = 0; k < 5; ++k) {
        nb += double(c.b[std::size_t(k)]) * zk;
        na += double(c.a[std::size_t(k)]) * zk;
        zk *= z1;
    }
    return std::abs(nb / na);
}

std::vector<float> tone(double hz, std::size_t n)
{
    std::vector<float> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = float(std::sin(2 * kPi * hz * double(i) / 44100.0));
    }
    return v;
}

double rms(const std::vector<float>& v, std::size_t from, std::size_t to)
{
    double s = 0;
    for (std::size_t i = from; i < to; ++i) {
        s += double(v[i]) * v[i];
    }
    return std::sqrt(s / double(to - from));
}

double lagOneCorrelation(std::span<const float> v)
{
    double num = 0, den = 0;
    for (std::size_t i = 1; i < v.size(); ++i) {
        num += double(v[i]) * v[i - 1];
        den += double(v[i]) * v[i];
    }
    return num / den;
}

} // namespace

TEST(ChebyshevTables, EveryRowMatchesAnIndependentBilinearDesign)
{
    for (const bool highPass : {false, true}) {
        const auto& table = chebyshevTable(highPass);
        for (int r = 0; r < kChebyshevRows; ++r) {
            std::vector<double> b, a;
            referenceDesign(0.02 * (r + 1), highPass, b, a);
            const FilterCoefficients& c = table[std::size_t(r)];
            EXPECT_EQ(c.a[0], 1.0f);
            EXPECT_EQ(c.count, 5);
            double bScale = 0;
            for (const double v : b) {
                bScale = std::max(bScale, std::fabs(v));
            }
            for (std::size_t k = 0; k < 5; ++k) {
                ASSERT_TRUE(lvtest::near(c.a[k], a[k], 4e-7 * std::max(1.0, std::fabs(a[k])), "float rounding"))
                    << (highPass ? "high" : "low") << " row " << r << " a" << k;
                ASSERT_TRUE(lvtest::near(c.b[k], b[k], 4e-7 * bScale, "float rounding"))
                    << (highPass ? "high" : "low") << " row " << r << " b" << k;
            }
        }
    }
}

TEST(ChebyshevTables, PassBandStaysWithinTheRippleAndTheCutoffSitsAtItsEdge)
{
    const FilterCoefficients& low = chebyshevTable(false)[9]; // cutoff 0.2
    EXPECT_TRUE(lvtest::near(gainAt(low, 0.0), kRippleGain, 1e-5, "float coefficients"));
    EXPECT_TRUE(lvtest::near(gainAt(low, 0.2), kRippleGain, 1e-4, "the ripple band ends at the cutoff"));
    for (double f = 0.0; f < 0.2; f += 0.005) {
        EXPECT_LE(gainAt(low, f), 1.0 + 1e-4);
        EXPECT_GE(gainAt(low, f), kRippleGain - 1e-4);
    }
    EXPECT_LT(gainAt(low, 0.5), 0.01);

    const FilterCoefficients& high = chebyshevTable(true)[35]; // cutoff 0.72
    EXPECT_TRUE(lvtest::near(gainAt(high, 1.0), kRippleGain, 1e-5, "float coefficients"));
    EXPECT_TRUE(lvtest::near(gainAt(high, 0.72), kRippleGain, 1e-4, "the ripple band ends at the cutoff"));
    EXPECT_LT(gainAt(high, 0.3), 0.01);
}

TEST(ChebyshevTables, RowSelectionRoundsTwiceTheEdge)
{
    EXPECT_EQ(selectRowIndex(0.10f), 9);
    EXPECT_EQ(selectRowIndex(0.005f), 0);
    EXPECT_EQ(selectRowIndex(1.0f), 47);
    EXPECT_EQ(selectRowIndex(2.0f * 8000.0f / 44100.0f), 35);
    EXPECT_EQ(selectRowIndex(2.0f * 1000.0f / 44100.0f), 4);
    EXPECT_EQ(selectRowIndex(2.0f * 10474.0f / 44100.0f), 47);
    EXPECT_EQ(selectRowIndex(2.0f * 10473.0f / 44100.0f), 46);
    EXPECT_EQ(selectRowIndex(-3.0f), 0);
    EXPECT_EQ(selectRowIndex(std::nanf("")), 0);
    EXPECT_EQ(&selectRow(0.10f, true), &chebyshevTable(true)[9]);
}

TEST(ZeroPhaseFiltering, AConstantSettlesToTheRippleMinimumTwice)
{
    const std::vector<float> ones(4000, 1.0f);
    const auto out = zeroPhaseFilter(selectRow(2.0f * 1000.0f / 44100.0f, false), ones);
    ASSERT_EQ(out.size(), ones.size());
    EXPECT_TRUE(lvtest::near(out[2000], std::pow(10.0, -1.0 / 20.0), 1e-4, "settled, in float"));

    std::vector<float> inPlace(ones);
    zeroPhaseFilterInPlace(selectRow(2.0f * 1000.0f / 44100.0f, false), inPlace, inPlace);
    EXPECT_TRUE(lvtest::near(inPlace[2000], out[2000], 5e-5,
                             "both settle to the same value, up to the rounding noise of a float filter at a low cutoff"));
    // Only the allocating form restarts the backward pass from a zero state.
    EXPECT_GT(std::fabs(inPlace[3999] - out[3999]), 1e-3);
}

TEST(ZeroPhaseFiltering, KeepsTheShapeOfAPulseSymmetric)
{
    std::vector<float> pulse(801, 0.0f);
    pulse[400] = 1.0f;
    const auto out = zeroPhaseFilter(chebyshevTable(false)[9], pulse);
    for (int k = 1; k < 100; ++k) {
        ASSERT_TRUE(lvtest::near(out[std::size_t(400 - k)], out[std::size_t(400 + k)], 1e-6, "no phase shift"));
    }
    EXPECT_GT(out[400], out[401]);
}

TEST(BandPassFilter, PassesTheBandAndRejectsFarTones)
{
    const float lo = 2.0f * 1000.0f / 44100.0f; // row 4 high-pass, cutoff 2205 Hz
    const float hi = 2.0f * 2000.0f / 44100.0f; // row 8 low-pass, cutoff 3969 Hz
    const auto inBand = bandPass(tone(3000.0, 8000), lo, hi);
    const auto below = bandPass(tone(300.0, 8000), lo, hi);
    const auto above = bandPass(tone(12000.0, 8000), lo, hi);
    const double ref = std::sqrt(0.5);
    EXPECT_GT(rms(inBand, 2000, 6000), ref * std::pow(10.0, -2.05 / 20.0)); // ripple twice per filter
    EXPECT_LT(rms(below, 2000, 6000), ref * 0.01);
    EXPECT_LT(rms(above, 2000, 6000), ref * 0.01);

    // The top band is a high-pass only: a tone in its pass band keeps its level.
    const auto top = bandPass(tone(20000.0, 8000), 2.0f * 8000.0f / 44100.0f, 1.0f);
    EXPECT_GT(rms(top, 2000, 6000), ref * std::pow(10.0, -1.05 / 20.0));

    std::vector<float> out(8000);
    bandPassInPlace(tone(3000.0, 8000), lo, hi, out);
    EXPECT_TRUE(lvtest::near(rms(out, 2000, 6000), rms(inBand, 2000, 6000), 1e-3, "same filters, other start state"));
}

TEST(BandPassFilter, SeveralBandsAtOnceGiveEachBandsOwnBitsExactly)
{
    // Six bands: low-pass only, four with both parts (one of them past the table's last row), and
    // high-pass only, so that groups of four and of two filters run side by side.
    const std::vector<float> lo{0.0f, 0.03f, 0.09f, 0.2f, 0.5f, 0.7f};
    const std::vector<float> hi{0.05f, 0.1f, 0.3f, 0.45f, 0.99f, 1.0f};
    std::vector<float> signal(3001);
    std::uint32_t seed = 12345u;
    for (float& v : signal) {
        seed = seed * 1664525u + 1013904223u;
        v = float(seed >> 8) / float(1u << 24) - 0.5f;
    }
    signal[1500] = 4.0f; // a pulse in the middle
    std::vector<std::vector<float>> together(lo.size(), std::vector<float>(signal.size(), -1.0f));
    std::vector<std::span<float>> outs(together.begin(), together.end());
    bandPasses(signal, lo, hi, outs);
    for (std::size_t b = 0; b < lo.size(); ++b) {
        const std::vector<float> alone = bandPass(signal, lo[b], hi[b]);
        ASSERT_EQ(alone.size(), together[b].size());
        for (std::size_t i = 0; i < alone.size(); ++i) {
            ASSERT_EQ(std::bit_cast<std::uint32_t>(alone[i]), std::bit_cast<std::uint32_t>(together[b][i]))
                << "band " << b << ", sample " << i;
        }
    }
    std::vector<std::span<float>> short_{outs[0].first(10)};
    EXPECT_THROW(bandPasses(signal, std::span(lo).first(1), std::span(hi).first(1), short_), std::invalid_argument);
}

TEST(BandFilterSetup, PartsFollowTheEdges)
{
    BandFilter f;
    f.setup(0.0f, 2.0f * 1000.0f / 44100.0f);
    EXPECT_EQ(f.highPassCount(), -1);
    EXPECT_EQ(f.lowPassCount(), 5);
    f.setup(0.3628f, 1.0f);
    EXPECT_EQ(f.highPassCount(), 5);
    EXPECT_EQ(f.lowPassCount(), -1);
    f.setup(0.1f, 0.2f);
    EXPECT_EQ(f.highPassCount(), 5);
    EXPECT_EQ(f.lowPassCount(), 5);
    f.setup(-1.0f, 3.0f); // the whole band: a high-pass at the lowest row
    EXPECT_EQ(f.highPassCount(), 5);
    EXPECT_EQ(f.lowPassCount(), -1);
    // Row 0's high-pass blocks DC, up to what its float coefficients leak (they do not sum to exactly 0).
    float last = 0;
    for (int i = 0; i < 5000; ++i) {
        last = f.step(1.0f);
    }
    EXPECT_LT(std::fabs(last), 5e-3f);
}

TEST(BandNoise, SequencesAreBandLimitedAndDeterministicPerGenerator)
{
    const std::vector<float> edges{1000, 2000, 5000, 8000, 22050};
    AnalysisRandom r1(42), r2(42), r3(43);
    const BandNoiseBank a(5, 512, 44100.0f, edges, 0, r1);
    const BandNoiseBank b(5, 512, 44100.0f, edges, 0, r2);
    const BandNoiseBank c(5, 512, 44100.0f, edges, 0, r3);
    for (int band = 0; band < 5; ++band) {
        ASSERT_EQ(a.sequence(band).size(), 512u + 528u);
        EXPECT_TRUE(std::equal(a.sequence(band).begin(), a.sequence(band).end(), b.sequence(band).begin()));
        EXPECT_FALSE(std::equal(a.sequence(band).begin(), a.sequence(band).end(), c.sequence(band).begin()));
    }
    // Low-passed noise is smooth from sample to sample; high-passed noise alternates.
    EXPECT_GT(lagOneCorrelation(a.sequence(0)), 0.9);
    EXPECT_LT(lagOneCorrelation(a.sequence(4)), -0.5);

    AnalysisRandom r4(42);
    BandNoiseBank perSample(5, 512, 44100.0f, edges, 1, r4);
    std::vector<float> top(4000);
    for (float& v : top) {
        v = perSample.nextSample(4, r4);
    }
    EXPECT_LT(lagOneCorrelation(top), -0.5);
}
