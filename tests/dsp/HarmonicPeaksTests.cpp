#include "core/AnalysisConstants.h"
#include "dsp/HarmonicPeaks.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <random>
#include <vector>

using namespace Tessarin;

namespace {

// Σ_n x[n] · A^(−n) · W^(n·k), summed directly in double.
std::complex<double> directChirpZ(const std::vector<float>& x, int k, double ar, double aa, double wr, double wa)
{
    std::complex<double> sum = 0;
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double nn = double(n);
        const std::complex<double> aPow = std::polar(std::pow(ar, -nn), -nn * aa);
        const std::complex<double> wPow = std::polar(std::pow(wr, nn * k), nn * k * wa);
        sum += double(x[n]) * aPow * wPow;
    }
    return sum;
}

// A harmonic tone whose harmonic k has amplitude amps[k−1] and cosine phase phases[k−1] at sample
// `centre`.
std::vector<float> harmonicTone(std::size_t n, double f0, const std::vector<double>& amps,
                                const std::vector<double>& phases, double centre)
{
    std::vector<float> v(n, 0.0f);
    for (std::size_t i = 0; i < n; ++i) {
        double s = 0;
        for (std::size_t k = 0; k < amps.size(); ++k) {
            s += amps[k] * std::cos(phases[k] + 2 * kPi * f0 * double(k + 1) * (double(i) - centre) / 44100.0);
        }
        v[i] = float(s);
    }
    return v;
}

} // namespace

TEST(ChirpZ, AgreesWithADirectSum)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    std::vector<float> x(500);
    for (float& v : x) {
        v = dist(rng);
    }
    ChirpZWorkspace chirp;
    // On the unit circle, as the harmonic measurement uses it, and off it.
    struct Case {
        int m;
        double ar, aa, wr, wa;
    };
    // Off the unit circle the chirp's magnitude grows like |W|^(−S²/8), so only short inputs stay within
    // float range there.
    for (const Case& c : {Case{60, 1.0, 0.0, 1.0, -2 * kPi * 123.4 / 44100.0}, Case{700, 1.0, 0.3, 1.0, -0.0123},
                          Case{12, 1.01, 0.2, 0.995, 0.05}}) {
        if (c.wr != 1.0) {
            x.resize(20);
        }
        std::vector<float> re(std::size_t(c.m)), im(std::size_t(c.m));
        chirp.transform(x, c.m, c.ar, c.aa, c.wr, c.wa, re, im);
        for (int k = 0; k < c.m; k += 7) {
            const auto expected = directChirpZ(x, k, c.ar, c.aa, c.wr, c.wa);
            const double scale = std::max(1.0, std::abs(expected));
            ASSERT_TRUE(lvtest::near(re[std::size_t(k)], expected.real(), 2e-4 * scale, "float FFTs of 1024-2048 points"))
                << "m " << c.m << " k " << k;
            ASSERT_TRUE(lvtest::near(im[std::size_t(k)], expected.imag(), 2e-4 * scale, "float FFTs of 1024-2048 points"))
                << "m " << c.m << " k " << k;
        }
    }
}

TEST(HarmonicFrameSizes, PeriodFrameLengthAndHarmonicCount)
{
    EXPECT_EQ(HarmonicAnalyser::periodSamples(441.0f, 44100), 100);
    EXPECT_EQ(HarmonicAnalyser::harmonicCount(441.0f, 44100), 50); // the 50th at 22050 Hz
    EXPECT_EQ(HarmonicAnalyser::periodSamples(1000.0f, 44100), 44); // 44.1 rounded
    EXPECT_EQ(HarmonicAnalyser::harmonicCount(1000.0f, 44100), 22);
    EXPECT_EQ(HarmonicAnalyser::periodSamples(55.0f, 44100), 802);
    EXPECT_EQ(HarmonicAnalyser::harmonicCount(55.0f, 44100), 400);
}

TEST(HarmonicBuild, EveryF0FrameGetsAFrameAndOnlyVoicedOnesGetPoints)
{
    const auto samples = harmonicTone(44100, 441.0, {0.5}, {0.0}, 0.0);
    const std::vector<float> f0{0.0f, 441.0f, 0.0f, 1000.0f, -5.0f, std::nanf(""), 10.0f};
    PeakTracks tracks;
    HarmonicAnalyser analyser;
    analyser.build(samples, f0, tracks);
    ASSERT_EQ(tracks.frameCount(), f0.size());
    EXPECT_EQ(tracks.frames[0]->pointCount(), 0u);
    EXPECT_EQ(tracks.frames[1]->pointCount(), 50u);
    EXPECT_EQ(tracks.frames[2]->pointCount(), 0u);
    EXPECT_EQ(tracks.frames[3]->pointCount(), 22u);
    EXPECT_EQ(tracks.frames[4]->pointCount(), 0u);
    EXPECT_EQ(tracks.frames[5]->pointCount(), 0u);
    EXPECT_EQ(tracks.frames[6]->pointCount(), 0u); // below the lowest measured fundamental
    EXPECT_EQ(tracks.largestPointCount, 50);
    EXPECT_EQ(tracks.frames[1]->frequencies[49], 50 * 441.0f);

    PeakTracks silent;
    analyser.build(samples, std::vector<float>(5, 0.0f), silent);
    EXPECT_EQ(silent.largestPointCount, -1);
    EXPECT_EQ(silent.frameCount(), 5u);
    // The largest count is kept from before, not reset by a new build.
    analyser.build(samples, std::vector<float>(5, 0.0f), tracks);
    EXPECT_EQ(tracks.largestPointCount, 50);
}

TEST(HarmonicMeasurement, ACosineAtF0MeasuresHalfItsAmplitudeAndItsCentrePhase)
{
    const double a = 0.6;
    const int frame = 40;
    const auto samples = harmonicTone(20000, 441.0, {a}, {0.0}, frame * 128.0);
    std::vector<float> f0(60, 0.0f);
    f0[frame] = 441.0f;
    PeakTracks tracks;
    HarmonicAnalyser().build(samples, f0, tracks);
    const HarmonicFrame& h = *tracks.frames[frame];
    ASSERT_EQ(h.pointCount(), 50u);
    EXPECT_TRUE(lvtest::near(h.levels[0], 20 * std::log10(a / 2), 0.01, "unit-sum window; float transforms"));
    EXPECT_TRUE(lvtest::near(h.phases[0], 0.0, 0.01, "the cosine peaks at the frame centre"));
    for (std::uint32_t k = 1; k < 50; ++k) {
        EXPECT_LT(h.levels[k], h.levels[0] - 60.0f) << "harmonic " << k + 1;
    }
}

TEST(HarmonicMeasurement, AHarmonicToneIsMeasuredBack)
{
    const double f0 = 197.3;
    std::vector<double> amps;
    std::vector<double> phases;
    for (int k = 1; k <= 30; ++k) {
        amps.push_back(0.4 / k);
        phases.push_back(std::remainder(0.7 * k * k, 2 * kPi));
    }
    const int frame = 100;
    const auto samples = harmonicTone(30000, f0, amps, phases, frame * 128.0);
    std::vector<float> track(200, 0.0f);
    track[frame] = float(f0);
    PeakTracks tracks;
    HarmonicAnalyser().build(samples, track, tracks);
    const HarmonicFrame& h = *tracks.frames[frame];
    ASSERT_EQ(h.pointCount(), 111u); // trunc(22050 / 197.3)
    for (std::size_t k = 0; k < 30; ++k) {
        EXPECT_TRUE(lvtest::near(h.levels[std::uint32_t(k)], 20 * std::log10(amps[k] / 2), 0.02,
                                 "Blackman leakage between harmonics four periods long"))
            << k + 1;
        EXPECT_TRUE(lvtest::near(std::remainder(h.phases[std::uint32_t(k)] - phases[k], 2 * kPi), 0.0, 0.01,
                                 "leakage and the single-precision rotation angle"))
            << k + 1;
    }
    EXPECT_LT(h.levels[40], -100.0f); // no harmonic 41 in the tone
}

TEST(HarmonicMeasurement, AFrameOutsideTheSourceGetsTheFloorLevelAndZeroPhase)
{
    const std::vector<float> samples(1000, 0.25f);
    std::vector<float> f0(100, 0.0f);
    f0[90] = 300.0f; // centred on sample 11520, far past the end
    PeakTracks tracks;
    HarmonicAnalyser().build(samples, f0, tracks);
    const HarmonicFrame& h = *tracks.frames[90];
    ASSERT_EQ(h.pointCount(), 73u);
    for (std::uint32_t k = 0; k < h.pointCount(); ++k) {
        ASSERT_EQ(h.levels[k], kLevelFloorOfSilenceDb);
        ASSERT_EQ(h.phases[k], 0.0f);
    }
}

// The transform is made with the smallest power of two that holds the N + M − 1 points of the linear
// convolution, often half the size a textbook Bluestein takes. Over the whole pitch range, at the
// frame lengths and harmonic counts the measurement uses (up to 3208 samples and 401 outputs), and at
// the periods whose N + M − 1 lies next to a power of two, every output agrees with the direct sum.
TEST(ChirpZ, AtTheReducedSizeAgreesWithTheDirectSumFrom55To1000Hz)
{
    std::vector<float> f0s;
    for (double f = 55.0; f <= 1000.0; f *= std::pow(2.0, 1.0 / 6.0)) {
        f0s.push_back(float(f));
    }
    f0s.push_back(1000.0f);
    for (int period = 44; period <= 802; ++period) {
        const int n = 4 * period + period / 2; // N + M − 1 at f0 = 44100 / period
        for (int power = 256; power <= 4096; power *= 2) {
            if (std::abs(n - power) <= 1) {
                f0s.push_back(44100.0f / float(period));
            }
        }
    }
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
    ChirpZWorkspace chirp;
    for (const float f0 : f0s) {
        const int length = 4 * HarmonicAnalyser::periodSamples(f0, 44100);
        const int m = HarmonicAnalyser::harmonicCount(f0, 44100) + 1;
        std::vector<float> x(static_cast<std::size_t>(length));
        double absoluteSum = 0.0;
        for (float& v : x) {
            v = dist(rng) / float(length); // the size of a frame under a unit-sum window
            absoluteSum += std::fabs(v);
        }
        const double wa = -2 * kPi * double(f0) / 44100.0;
        std::vector<float> re(static_cast<std::size_t>(m));
        std::vector<float> im(static_cast<std::size_t>(m));
        chirp.transform(x, m, 1.0, 0.0, 1.0, wa, re, im);
        for (int k = 0; k < m; ++k) {
            std::complex<double> expected = 0.0;
            for (int i = 0; i < length; ++i) {
                expected += double(x[std::size_t(i)]) * std::polar(1.0, std::remainder(wa * double(k) * i, 2 * kPi));
            }
            ASSERT_TRUE(lvtest::near(std::hypot(re[std::size_t(k)] - expected.real(), im[std::size_t(k)] - expected.imag()),
                                     0.0, 2e-7 * absoluteSum, "float FFTs of up to 4096 points"))
                << f0 << " Hz (N " << length << ", M " << m << "), output " << k;
        }
    }
}

// The analyser keeps the windows of recent frame lengths. Whatever lengths came before (a sweep over
// more lengths than it keeps, back and forth, and frames too long to keep), a frame is measured to
// the same bits as by a fresh analyser.
TEST(HarmonicMeasurement, AFrameMeasuresTheSameWhateverFrameLengthsCameBefore)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<float> sample(-0.5f, 0.5f);
    std::vector<float> source(12000);
    for (float& v : source) {
        v = sample(random);
    }
    auto measure = [&](HarmonicAnalyser& analyser, std::size_t length) {
        HarmonicFrame out;
        const float f0 = 4.0f * 44100.0f / float(length);
        analyser.measureHarmonics(std::span<const float>(source).first(length), f0, 20, out);
        return out;
    };
    auto same = [](const HarmonicFrame& a, const HarmonicFrame& b) {
        return a.pointCount() == b.pointCount() &&
               std::equal(a.levels.data(), a.levels.data() + a.levels.size(), b.levels.data()) &&
               std::equal(a.phases.data(), a.phases.data() + a.phases.size(), b.phases.data());
    };
    const std::vector<std::size_t> checked{1600, 1604, 1620, 3208, 3212, 8000};
    std::vector<HarmonicFrame> fresh;
    for (const std::size_t length : checked) {
        HarmonicAnalyser analyser;
        fresh.push_back(measure(analyser, length));
        ASSERT_EQ(fresh.back().pointCount(), 20u);
    }
    HarmonicAnalyser analyser;
    for (int round = 0; round < 3; ++round) {
        for (std::size_t length = 1560; length <= 1640; length += 2) { // 41 lengths, up and down
            measure(analyser, round % 2 == 0 ? length : 3200 - length);
        }
        measure(analyser, 8000);
        for (std::size_t c = 0; c < checked.size(); ++c) {
            EXPECT_TRUE(same(measure(analyser, checked[c]), fresh[c])) << "length " << checked[c] << ", round " << round;
        }
    }
}
