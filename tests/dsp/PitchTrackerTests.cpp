#include "dsp/PitchTracker.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

using namespace Tessarin;

namespace {

constexpr double kFs = 44100.0;

// A tone from its phase in cycles as a function of time [s], with three harmonics so that it is
// not a bare sine, and optional white noise at the given peak level.
std::vector<float> tone(double seconds, const std::function<double(double)>& cycles, double noiseLevel = 0.0)
{
    std::mt19937 gen(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<float> x(std::size_t(seconds * kFs));
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double phase = 2.0 * M_PI * cycles(double(i) / kFs);
        const double v = 0.5 * std::sin(phase) + 0.2 * std::sin(2.0 * phase) + 0.1 * std::sin(3.0 * phase);
        x[i] = float(v + noiseLevel * u(gen));
    }
    return x;
}

std::vector<float> steady(double hz, double seconds, double noiseLevel = 0.0)
{
    return tone(seconds, [hz](double t) { return hz * t; }, noiseLevel);
}

std::vector<float> sine(double hz, double seconds)
{
    std::vector<float> x(std::size_t(seconds * kFs));
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = float(0.5 * std::sin(2.0 * M_PI * hz * double(i) / kFs));
    }
    return x;
}

double cents(double hz, double reference)
{
    return 1200.0 * std::log2(hz / reference);
}

// The grid written independently: 55 Hz · 2^(i / 120).
double gridHz(int i)
{
    return 55.0 * std::pow(2.0, double(i) / 120.0);
}

std::vector<float> track(std::span<const float> x, std::span<const float> hint = {})
{
    PitchTracker tracker;
    FastVector<float> f0;
    const int n = tracker.Track(x, hint, f0);
    EXPECT_EQ(std::size_t(n), f0.size());
    return {f0.data(), f0.end()};
}

// The Beta(3, 19) prior over t = 0.01 … 1.00, normalised, computed apart from the tracker.
std::vector<double> betaPrior()
{
    std::vector<double> p(100);
    double sum = 0.0;
    for (int k = 1; k <= 100; ++k) {
        const double t = double(float(k) * 0.01f);
        p[std::size_t(k - 1)] = t * t * std::pow(1.0 - t, 18.0);
        sum += p[std::size_t(k - 1)];
    }
    for (double& v : p) {
        v /= sum;
    }
    return p;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Tables

TEST(PitchTrackerTables, PitchGridThresholdsAndPrior)
{
    PitchTracker tracker;
    tracker.buildTables();
    ASSERT_EQ(tracker.pitchStateCount(), 503);
    EXPECT_EQ(tracker.largestLag(), 801); // 44100 / 55 = 801.8, truncated
    const auto grid = tracker.pitchGrid();
    ASSERT_EQ(grid.size(), 503u);
    EXPECT_EQ(grid[0], 55.0f);
    EXPECT_TRUE(lvtest::near(grid[502], 999.24, 0.005, "last state, 50.2 semitones above 55 Hz"));
    for (int i = 0; i < 503; ++i) {
        EXPECT_TRUE(lvtest::near(grid[std::size_t(i)], gridHz(i), 2e-6 * gridHz(i), "float grid, ln 2 rounded"));
    }

    const auto thresholds = tracker.thresholds();
    ASSERT_EQ(thresholds.size(), 100u);
    for (int k = 1; k <= 100; ++k) {
        EXPECT_TRUE(lvtest::near(thresholds[std::size_t(k - 1)], k / 100.0, 1e-7, "float steps of 0.01"));
    }

    const auto prior = tracker.thresholdPrior();
    const std::vector<double> expected = betaPrior();
    double sum = 0.0;
    for (std::size_t k = 0; k < 100; ++k) {
        EXPECT_TRUE(lvtest::near(prior[k], expected[k], 1e-15, "pow against plain products"));
        sum += prior[k];
    }
    EXPECT_TRUE(lvtest::near(sum, 1.0, 1e-12, "normalised"));
    EXPECT_EQ(prior[99], 0.0); // (1 − 1.00)^18
    // The mode of t² (1 − t)^18 is at t = 2 / 20.
    EXPECT_EQ(std::max_element(prior.begin(), prior.end()) - prior.begin(), 9);
}

TEST(PitchTrackerTables, TransitionsAndInitialProbabilities)
{
    PitchTracker tracker;
    tracker.buildTables();
    const int n = tracker.pitchStateCount();
    const TS_ViterbiMatrix& t = tracker.transitionMatrix();
    ASSERT_EQ(t.rows(), 2 * n);
    ASSERT_EQ(t.cols(), 2 * n);
    const double s = double(0.1f);
    // w(c) = (31 − c) / 961
    EXPECT_EQ(t.at(200, 200), 31.0 / 961.0 * (1.0 - s));
    EXPECT_EQ(t.at(200, n + 200), 31.0 / 961.0 * s);
    EXPECT_EQ(t.at(n + 200, 210), 21.0 / 961.0 * s);
    EXPECT_EQ(t.at(n + 200, n + 170), 1.0 / 961.0 * (1.0 - s));
    EXPECT_EQ(t.at(200, 230), 1.0 / 961.0 * (1.0 - s));
    EXPECT_EQ(t.at(200, 231), 0.0);
    EXPECT_EQ(t.at(200, n + 169), 0.0);
    EXPECT_EQ(t.at(0, n - 1), 0.0);
    // Away from the grid's ends a row sums to (31 + 2 · (30 + … + 1)) / 961 = 1.
    for (const int row : {100, n + 300}) {
        double sum = 0.0;
        for (int c = 0; c < 2 * n; ++c) {
            sum += t.at(row, c);
        }
        EXPECT_TRUE(lvtest::near(sum, 1.0, 1e-12, "a full band of weights"));
    }
    const auto initial = tracker.initialProbabilities();
    ASSERT_EQ(initial.size(), std::size_t(2 * n));
    EXPECT_EQ(initial[0], 0.0);
    EXPECT_EQ(initial[std::size_t(n - 1)], 0.0);
    EXPECT_EQ(initial[std::size_t(n)], 1.0 / 503.0);
    EXPECT_EQ(initial[std::size_t(2 * n - 1)], 1.0 / 503.0);
}

TEST(PitchTrackerTables, NearestPitchState)
{
    PitchTracker tracker;
    tracker.buildTables();
    const auto grid = tracker.pitchGrid();
    EXPECT_EQ(tracker.nearestPitchState(grid[240]), 240);
    EXPECT_EQ(tracker.nearestPitchState(40.0f), 0);
    EXPECT_EQ(tracker.nearestPitchState(55.0f), 0);
    EXPECT_EQ(tracker.nearestPitchState(2000.0f), 502);
    EXPECT_EQ(tracker.nearestPitchState(grid[502]), 502);

    // Exactly half-way (a frequency whose distances to both neighbours are equal in float) goes
    // to the lower state; one float step above half-way goes to the upper.
    int tested = 0;
    for (int i = 1; i + 1 < 503 && tested < 20; ++i) {
        const double lower = grid[std::size_t(i)];
        const double upper = grid[std::size_t(i + 1)];
        const auto half = float((lower + upper) / 2.0);
        if (half - grid[std::size_t(i)] != grid[std::size_t(i + 1)] - half) {
            continue;
        }
        ++tested;
        EXPECT_EQ(tracker.nearestPitchState(half), i) << "state " << i;
        EXPECT_EQ(tracker.nearestPitchState(std::nextafter(half, 2000.0f)), i + 1) << "state " << i;
        EXPECT_EQ(tracker.nearestPitchState(std::nextafter(half, 0.0f)), i) << "state " << i;
    }
    EXPECT_EQ(tested, 20);
}

// ---------------------------------------------------------------------------------------------
// Observation vector

class PitchTrackerObservation : public ::testing::Test {
protected:
    void SetUp() override
    {
        tracker.buildTables();
        n = tracker.pitchStateCount();
        obs.assign(std::size_t(2 * n), -1.0);
    }
    // Sum over the voiced states, and the value every unvoiced state must share.
    double voicedSum() const
    {
        double s = 0.0;
        for (int i = 0; i < n; ++i) {
            s += obs[std::size_t(i)];
        }
        return s;
    }
    void expectUnvoiced(double value, const char* why) const
    {
        for (int i = n; i < 2 * n; ++i) {
            ASSERT_TRUE(lvtest::near(obs[std::size_t(i)], value, 1e-15, why)) << "state " << i;
        }
    }

    PitchTracker tracker;
    int n = 0;
    std::vector<double> obs;
    const double trust = double(0.6f);
};

TEST_F(PitchTrackerObservation, NoCandidatesOrAZeroHintGiveOnlyUnvoicedMass)
{
    tracker.observe({}, -1, -1.0f, obs);
    EXPECT_EQ(voicedSum(), 0.0);
    expectUnvoiced(1.0 - trust, "1 − 0.6 with 0.6 as a float");

    const std::vector<YinCandidate> deep{{0.001f, 220.0f}};
    std::fill(obs.begin(), obs.end(), -1.0);
    tracker.observe(deep, 0, 0.0f, obs);
    EXPECT_EQ(voicedSum(), 0.0);
    expectUnvoiced(1.0 - trust, "a zero hint forces unvoiced");

    // Candidates only at or above the maximum: no state receives mass.
    const std::vector<YinCandidate> high{{0.05f, 1000.0f}, {0.01f, 1500.0f}};
    tracker.observe(high, 1, -1.0f, obs);
    EXPECT_EQ(voicedSum(), 0.0);
    expectUnvoiced(1.0 - trust, "nothing below 1000 Hz");
}

TEST_F(PitchTrackerObservation, ADeepDipTakesAlmostAllMass)
{
    // Below every threshold: all 100 thresholds give 220 Hz with weight 1, total Σ p = 1.
    const std::vector<YinCandidate> deep{{0.001f, 220.0f}};
    tracker.observe(deep, 0, -1.0f, obs);
    const int q = tracker.nearestPitchState(220.0f);
    EXPECT_EQ(q, 240); // 220 Hz is two octaves above 55 Hz
    EXPECT_TRUE(lvtest::near(obs[std::size_t(q)], trust, 1e-12, "whole prior times the trust"));
    EXPECT_TRUE(lvtest::near(voicedSum(), obs[std::size_t(q)], 0.0, "one state only"));
    expectUnvoiced(0.0, "(1 − M)(1 − T) with M = 1 up to rounding");
}

TEST_F(PitchTrackerObservation, ShallowDipsGetTheFallbackWeight)
{
    // The deepest dip is 0.455: thresholds 0.01 … 0.45 fall back to it with weight 0.5.
    const std::vector<YinCandidate> shallow{{0.455f, 300.0f}};
    const std::vector<double> p = betaPrior();
    double m = 0.0;
    for (int k = 1; k <= 100; ++k) {
        m += p[std::size_t(k - 1)] * (k <= 45 ? 0.5 : 1.0);
    }
    tracker.observe(shallow, 0, -1.0f, obs);
    const int q = tracker.nearestPitchState(300.0f);
    EXPECT_TRUE(lvtest::near(obs[std::size_t(q)], m * trust, 1e-12, "prior mass with fallback weights"));
    expectUnvoiced((1.0 - m) * (1.0 - trust), "the rest of the mass");

    // A dip equal to a threshold is not above it: full weight from that threshold on.
    const std::vector<YinCandidate> onThreshold{{tracker.thresholds()[44], 300.0f}}; // 0.45
    double mEqual = 0.0;
    for (int k = 1; k <= 100; ++k) {
        mEqual += p[std::size_t(k - 1)] * (k < 45 ? 0.5 : 1.0);
    }
    std::vector<double> equal(obs.size());
    tracker.observe(onThreshold, 0, -1.0f, equal);
    EXPECT_TRUE(lvtest::near(equal[std::size_t(q)], mEqual * trust, 1e-12, "strict comparison with the threshold"));

    // A negative hint is no hint; a hint far from every mass state pulls nothing, but a hinted
    // frame gets at least 0.6 of voiced mass.
    std::vector<double> withNegativeHint(obs.size());
    tracker.observe(shallow, 0, -5.0f, withNegativeHint);
    EXPECT_EQ(withNegativeHint, obs);
    ASSERT_LT(m, 0.6);
    tracker.observe(shallow, 0, 150.0f, obs);
    EXPECT_TRUE(lvtest::near(obs[std::size_t(q)], 0.6 * trust, 1e-12, "mass raised to 0.6"));
    expectUnvoiced(0.4 * (1.0 - trust), "1 − 0.6 of the mass left");
}

TEST_F(PitchTrackerObservation, AHintWithinASemitonePullsItsClosestState)
{
    // Thresholds 0.01 … 0.04: none below, the deepest (200 Hz, weight 0.5); 0.05 … 0.30: 200 Hz;
    // 0.31 … 1.00: the first candidate, 300 Hz, dip 0.305.
    const std::vector<YinCandidate> c{{0.305f, 300.0f}, {0.045f, 200.0f}};
    const std::vector<double> p = betaPrior();
    double m200 = 0.0;
    double m300 = 0.0;
    for (int k = 1; k <= 100; ++k) {
        (k <= 30 ? m200 : m300) += p[std::size_t(k - 1)] * (k <= 4 ? 0.5 : 1.0);
    }
    const double total = m200 + m300;
    ASSERT_GT(total, 0.6); // the floor stays out of the way
    const int q200 = tracker.nearestPitchState(200.0f);
    const int q300 = tracker.nearestPitchState(300.0f);

    tracker.observe(c, 1, -1.0f, obs);
    EXPECT_TRUE(lvtest::near(obs[std::size_t(q200)], m200 * trust, 1e-12, "no hint"));
    EXPECT_TRUE(lvtest::near(obs[std::size_t(q300)], m300 * trust, 1e-12, "no hint"));

    // 290 Hz is 5.9 states below 300 Hz: the 300 Hz state gets the extra 0.7, the total stays.
    tracker.observe(c, 1, 290.0f, obs);
    EXPECT_TRUE(lvtest::near(obs[std::size_t(q300)], (m300 + 0.7) / (total + 0.7) * total * trust, 1e-12, "pulled"));
    EXPECT_TRUE(lvtest::near(obs[std::size_t(q200)], m200 / (total + 0.7) * total * trust, 1e-12, "pushed"));
    expectUnvoiced((1.0 - total) * (1.0 - trust), "the total is kept");

    // 320 Hz is 11.2 states above 300 Hz: more than a semitone, no pull.
    tracker.observe(c, 1, 320.0f, obs);
    EXPECT_TRUE(lvtest::near(obs[std::size_t(q300)], m300 * trust, 1e-12, "too far to pull"));

    // The boundary in states: 9 away pulls, 10 away (one semitone) does not.
    const auto grid = tracker.pitchGrid();
    tracker.observe(c, 1, grid[std::size_t(q300 + 9)], obs);
    EXPECT_TRUE(lvtest::near(obs[std::size_t(q300)], (m300 + 0.7) / (total + 0.7) * total * trust, 1e-12, "9 states"));
    tracker.observe(c, 1, grid[std::size_t(q300 + 10)], obs);
    EXPECT_TRUE(lvtest::near(obs[std::size_t(q300)], m300 * trust, 1e-12, "10 states"));
}

TEST_F(PitchTrackerObservation, ATieInTheHintPullGoesToTheLowerState)
{
    // Mass at 200 Hz and at 300 Hz as above; a hint state half-way between them in states
    // pulls the lower one, when both are within a semitone: use two candidates 1 state apart.
    const float lowHz = tracker.pitchGrid()[300];
    const float highHz = tracker.pitchGrid()[302];
    const std::vector<YinCandidate> c{{0.305f, highHz}, {0.045f, lowHz}};
    const std::vector<double> p = betaPrior();
    double mLow = 0.0;
    double mHigh = 0.0;
    for (int k = 1; k <= 100; ++k) {
        (k <= 30 ? mLow : mHigh) += p[std::size_t(k - 1)] * (k <= 4 ? 0.5 : 1.0);
    }
    const double total = mLow + mHigh;
    tracker.observe(c, 1, tracker.pitchGrid()[301], obs); // distance 1 to both
    EXPECT_TRUE(lvtest::near(obs[300], (mLow + 0.7) / (total + 0.7) * total * trust, 1e-12, "lower state pulled"));
    EXPECT_TRUE(lvtest::near(obs[302], mHigh / (total + 0.7) * total * trust, 1e-12, "upper state not"));
}

TEST_F(PitchTrackerObservation, MassFromTheZeroWeightThresholdAloneStaysFinite)
{
    // Only threshold 1.00 reaches the first candidate (dip 0.995, 500 Hz); every other threshold
    // ends at 1200 Hz, above the grid. The prior of 1.00 is 0, so the 500 Hz state receives a
    // mass of 0 and the total is 0: raising it to 0.6 must not divide by it.
    const std::vector<YinCandidate> c{{0.995f, 500.0f}, {0.5f, 1200.0f}};
    const int q = tracker.nearestPitchState(500.0f);
    tracker.observe(c, 1, -1.0f, obs);
    EXPECT_EQ(obs[std::size_t(q)], 0.0);
    expectUnvoiced(1.0 - trust, "(1 − 0) (1 − T)");
    tracker.observe(c, 1, 500.0f, obs);
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(obs[std::size_t(i)], 0.0) << "state " << i;
    }
    expectUnvoiced(0.4 * (1.0 - trust), "the total set to 0.6");
}

// ---------------------------------------------------------------------------------------------
// Decoding over the tracker's transitions

TEST(PitchTrackerDecoding, AJumpOfMoreThanThirtyStatesNeedsTheUnvoicedStates)
{
    PitchTracker tracker;
    tracker.buildTables();
    const int n = tracker.pitchStateCount();
    const auto voicedAt = [&](int state, double unvoiced) {
        std::vector<double> obs(std::size_t(2 * n), unvoiced);
        std::fill(obs.begin(), obs.begin() + n, 0.0);
        obs[std::size_t(state)] = 0.6;
        return obs;
    };
    for (const int jump : {30, 31}) {
        for (const double unvoiced : {0.0, 1e-3}) {
            ViterbiDecoder decoder;
            decoder.setTransitions(tracker.transitionMatrix());
            decoder.start(tracker.initialProbabilities(), std::vector<double>(std::size_t(2 * n), 0.4));
            decoder.step(voicedAt(200, 0.0)); // from any unvoiced state nearby
            decoder.step(voicedAt(200, 0.0));
            decoder.step(voicedAt(200 + jump, unvoiced));
            decoder.step(voicedAt(200 + jump, unvoiced));
            std::vector<int> path;
            decoder.backTrack(path);
            SCOPED_TRACE("jump " + std::to_string(jump) + ", unvoiced " + std::to_string(unvoiced));
            if (jump == 30) {
                // Followed directly; the first frame is the unvoiced twin of 200.
                EXPECT_EQ(path, (std::vector<int>{n + 200, 200, 200, 230, 230}));
            } else if (unvoiced > 0.0) {
                // 200 cannot reach 231. The path waits one frame in an unvoiced state that both
                // reach (n + 201 … n + 230), then takes 231.
                ASSERT_EQ(path.size(), 5u);
                EXPECT_EQ(path[2], 200);
                EXPECT_GT(path[3], n + 200);
                EXPECT_LT(path[3], n + 231);
                EXPECT_EQ(path[4], 231);
            } else {
                // Nothing reachable survives the jump: decoding ends with the three frames before.
                EXPECT_EQ(decoder.decodedFrames(), 3);
                EXPECT_EQ(path, (std::vector<int>{n + 200, 200, 200}));
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Tracks

TEST(PitchTrackerTrack, FrameCountAndSilence)
{
    const std::vector<float> second(44100, 0.0f);
    const std::vector<float> f0 = track(second);
    EXPECT_EQ(f0.size(), 344u); // 44100 / 128, truncated
    for (const float v : f0) {
        EXPECT_EQ(v, 0.0f);
    }
    // Shorter than a hop, or empty: frame 0 is still decoded, and it is unvoiced.
    EXPECT_EQ(track(sine(220.0, 100.0 / kFs)), std::vector<float>{0.0f});
    EXPECT_EQ(track(std::vector<float>{}), std::vector<float>{0.0f});
    EXPECT_EQ(track(std::vector<float>(256, 0.0f)).size(), 2u);
}

TEST(PitchTrackerTrack, SteadyToneGivesTheInterpolatedYinValue)
{
    const std::vector<float> x = sine(220.0, 1.0);
    const std::vector<float> f0 = track(x);
    ASSERT_EQ(f0.size(), 344u);
    EXPECT_EQ(f0[0], 0.0f);
    int voiced = 0;
    for (std::size_t e = 10; e < f0.size(); ++e) {
        if (f0[e] == 0.0f) {
            continue;
        }
        ++voiced;
        EXPECT_TRUE(lvtest::near(f0[e], 220.0, 0.05, "parabolic lag on a clean sine")) << "frame " << e;
    }
    EXPECT_GE(voiced, 330);

    // Half a grid step off the grid (0.05 semitone above 220 Hz): the output follows the tone,
    // not either neighbouring state, which are each about 0.64 Hz away.
    const double hz = 220.0 * std::pow(2.0, 0.05 / 12.0);
    const std::vector<float> off = track(steady(hz, 0.5));
    int checked = 0;
    for (std::size_t e = 10; e + 10 < off.size(); ++e) {
        ASSERT_NE(off[e], 0.0f) << "frame " << e;
        EXPECT_TRUE(lvtest::near(off[e], hz, 0.05, "interpolated YIN value")) << "frame " << e;
        EXPECT_GT(std::fabs(off[e] - gridHz(240)), 0.5);
        EXPECT_GT(std::fabs(off[e] - gridHz(241)), 0.5);
        ++checked;
    }
    EXPECT_GT(checked, 150);
}

TEST(PitchTrackerTrack, HintZeroForcesUnvoicedAndOtherHintsLeaveAToneVoiced)
{
    const std::vector<float> x = steady(196.0, 0.5);
    const std::size_t frames = x.size() / kHop;
    std::vector<float> hint(120, 196.0f); // frames 120 and later have no hint
    for (std::size_t e = 60; e < 70; ++e) {
        hint[e] = 0.0f;
    }
    hint[80] = -1.0f; // no hint
    const std::vector<float> f0 = track(x, hint);
    ASSERT_EQ(f0.size(), frames);
    for (std::size_t e = 5; e < frames - 5; ++e) {
        if (e >= 60 && e < 70) {
            EXPECT_EQ(f0[e], 0.0f) << "frame " << e;
        } else {
            EXPECT_TRUE(lvtest::near(cents(f0[e], 196.0), 0.0, 5.0, "voiced at the tone")) << "frame " << e;
        }
    }
}

TEST(PitchTrackerTrack, AHintCanPullTheTrackAwayFromTheYinValueToAGridPitch)
{
    // 446.6 Hz with a weak 223.3 Hz below it: the deepest dips are at the 223.3 Hz period, the
    // first dip (dip ≈ 0.14) at the 446.6 Hz one. The plain estimate is 223.3 Hz.
    const double f = 223.3;
    std::vector<float> x(22050);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / kFs;
        x[i] = float(0.5 * std::sin(2.0 * M_PI * 2.0 * f * t) + 0.14 * std::sin(2.0 * M_PI * f * t));
    }
    PitchTracker tracker;
    tracker.buildTables();
    const auto grid = tracker.pitchGrid();

    // Without a hint the track follows the deepest dips, with the precise YIN value.
    const std::vector<float> free = track(x);
    for (std::size_t e = 10; e + 10 < free.size(); ++e) {
        EXPECT_TRUE(lvtest::near(free[e], f, 0.05, "interpolated lag of the 223.3 Hz period")) << "frame " << e;
    }
    // A hint at 446.6 Hz decides for the upper pitch. The YIN value (an octave away) is then not
    // within 0.11 semitone of the decoded state, so the output is the state's grid frequency.
    const std::vector<float> hint(x.size() / kHop, float(2.0 * f));
    const std::vector<float> pulled = track(x, hint);
    for (std::size_t e = 10; e + 10 < pulled.size(); ++e) {
        EXPECT_TRUE(lvtest::near(cents(pulled[e], 2.0 * f), 0.0, 15.0, "near the hinted pitch")) << "frame " << e;
        EXPECT_NE(std::find(grid.begin(), grid.end(), pulled[e]), grid.end()) << "frame " << e << ": " << pulled[e];
    }
}

TEST(PitchTrackerTrack, AJumpOfMoreThanThirtyStatesIsNotFollowedDirectly)
{
    // 196 Hz, then 5 semitones (50 states) up at 0.3 s, with a little noise.
    const double low = 196.0;
    const double high = 196.0 * std::pow(2.0, 5.0 / 12.0);
    const double jump = 0.3;
    const std::vector<float> x =
        tone(0.6, [&](double t) { return t < jump ? low * t : low * jump + high * (t - jump); }, 0.01);
    const std::vector<float> f0 = track(x);
    ASSERT_EQ(f0.size(), x.size() / kHop);
    for (std::size_t e = 1; e < f0.size(); ++e) {
        if (f0[e - 1] != 0.0f && f0[e] != 0.0f) {
            // A grid step of at most 30 states, and up to 0.11 semitone of YIN precision either side.
            EXPECT_LE(std::fabs(cents(f0[e], f0[e - 1])), 300.0 + 22.0) << "frame " << e;
        }
    }
    // Both pitches are reached.
    const auto jumpFrame = std::size_t(jump * kFs / kHop);
    EXPECT_TRUE(lvtest::near(cents(f0[jumpFrame - 10], low), 0.0, 5.0, "before the jump"));
    EXPECT_TRUE(lvtest::near(cents(f0[jumpFrame + 20], high), 0.0, 5.0, "after the jump"));
}

TEST(PitchTrackerTrack, VibratoAndGlideAreFollowedWithinTwentyCents)
{
    // ±50 cents at 5.5 Hz around 262 Hz: phase = ∫ f, with f(t) = 262 · 2^(0.5/12 · sin(2π 5.5 t)),
    // integrated numerically sample by sample.
    const double centre = 262.0;
    const auto vibratoHz = [&](double t) { return centre * std::pow(2.0, 0.5 / 12.0 * std::sin(2.0 * M_PI * 5.5 * t)); };
    std::vector<double> cycles(std::size_t(kFs) + 1, 0.0);
    for (std::size_t i = 1; i < cycles.size(); ++i) {
        const double t0 = double(i - 1) / kFs;
        cycles[i] = cycles[i - 1] + 0.5 * (vibratoHz(t0) + vibratoHz(t0 + 1.0 / kFs)) / kFs;
    }
    const std::vector<float> vib =
        tone(1.0, [&](double t) { return cycles[std::min(cycles.size() - 1, std::size_t(std::lround(t * kFs)))]; });
    // 110 → 440 Hz over one second, exponentially: f = 110 · 4^t, phase = 110 (4^t − 1) / ln 4.
    const std::vector<float> glide = tone(1.0, [](double t) { return 110.0 * (std::pow(4.0, t) - 1.0) / std::log(4.0); });

    const struct {
        const char* name;
        const std::vector<float>& x;
        std::function<double(double)> hz;
    } cases[] = {{"vibrato", vib, vibratoHz}, {"glide", glide, [](double t) { return 110.0 * std::pow(4.0, t); }}};
    for (const auto& c : cases) {
        const std::vector<float> f0 = track(c.x);
        ASSERT_EQ(f0.size(), 344u) << c.name;
        int voiced = 0;
        for (std::size_t e = 10; e < f0.size(); ++e) {
            if (f0[e] == 0.0f) {
                continue;
            }
            ++voiced;
            const double truth = c.hz(double(e * kHop) / kFs);
            EXPECT_TRUE(lvtest::near(cents(f0[e], truth), 0.0, 20.0, "frame-centre pitch")) << c.name << " frame " << e;
        }
        EXPECT_GE(voiced, 320) << c.name;
    }
}

TEST(PitchTrackerTrack, NonFiniteSamplesGiveUnvoicedFramesNotACrash)
{
    // A NaN or an infinity poisons every lag whose window reaches it: no dips there.
    std::vector<float> x = steady(220.0, 0.3);
    x[6000] = std::numeric_limits<float>::quiet_NaN();
    x[9000] = std::numeric_limits<float>::infinity();
    const std::vector<float> f0 = track(x);
    ASSERT_EQ(f0.size(), x.size() / kHop);
    for (std::size_t e = 0; e < f0.size(); ++e) {
        ASSERT_TRUE(std::isfinite(f0[e])) << "frame " << e;
        if (e * kHop > 6000 - 1500 && e * kHop < 9000 + 1500) {
            continue; // near the bad samples
        }
        if (e >= 10 && e + 10 < f0.size()) {
            EXPECT_TRUE(lvtest::near(cents(f0[e], 220.0), 0.0, 5.0, "clean frames are unaffected")) << "frame " << e;
        }
    }
    EXPECT_EQ(f0[6000 / kHop], 0.0f);
    EXPECT_EQ(f0[9000 / kHop], 0.0f);
}

TEST(PitchTrackerTrack, RunningAgainGivesTheSameTrack)
{
    const std::vector<float> x = steady(330.0, 0.3, 0.05);
    PitchTracker tracker;
    FastVector<float> first;
    FastVector<float> second;
    tracker.Track(x, {}, first);
    tracker.Track(std::vector<float>(5000, 0.0f), {}, second);
    tracker.Track(x, {}, second);
    ASSERT_EQ(first.size(), second.size());
    for (std::uint32_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i], second[i]);
    }
}

// The tracker widens the source to double, and makes the difference functions, a block of 64
// frames at a time. Over a source of many blocks, with a hint, its track is the one of the same
// steps run frame by frame over the whole source widened at once, with the decoder given the square
// transition matrix; and its back-pointers take one byte per state.
TEST(PitchTrackerTrack, ASourceWidenedInBlocksTracksAsWhenWidenedAtOnce)
{
    // A slow wobble around 57 Hz, so that the longest lags (and every sample a frame reaches) carry
    // the dips at every block boundary, and a stretch forced unvoiced that ends one block, fills the
    // next and starts a third (frames the tracker makes no difference function for).
    const std::vector<float> x = tone(3.5, [](double t) { return 57.0 * t + 3.0 * std::sin(2.0 * M_PI * 0.3 * t); }, 0.02);
    std::vector<float> hint(x.size() / kHop, -1.0f);
    for (std::size_t e = 300; e < 400; ++e) {
        hint[e] = 0.0f;
    }
    PitchTracker tracker;
    FastVector<float> f0;
    tracker.Track(x, hint, f0);
    EXPECT_EQ(tracker.backPointerBytesPerFrame(), std::size_t(2 * tracker.pitchStateCount()));
    EXPECT_LE(tracker.backPointerBytesPerFrame(), 2048u);

    // The same steps over the whole source at once.
    PitchTracker reference;
    reference.buildTables();
    const int n = reference.pitchStateCount();
    const std::vector<double> widened(x.begin(), x.end());
    const std::size_t frames = x.size() / kHop;
    std::vector<double> d(std::size_t(reference.largestLag()));
    std::vector<double> dn(d.size());
    std::vector<YinCandidate> candidates;
    std::vector<double> obs(std::size_t(2 * n));
    std::vector<float> estimates(frames);
    ViterbiDecoder decoder;
    decoder.setTransitions(reference.transitionMatrix());
    for (std::size_t e = 0; e < frames; ++e) {
        yinDifference(widened, std::ptrdiff_t(e * kHop), reference.parameters().windowLength, d);
        yinNormalise(d, dn);
        const int global = yinCandidates(d, dn, 44100.0f, candidates);
        reference.observe(candidates, global, hint[e], obs);
        if (e == 0) {
            decoder.start(reference.initialProbabilities(), obs);
        } else {
            decoder.step(obs);
        }
        estimates[e] = yinPlainEstimate(candidates, global, 0.1f);
    }
    std::vector<int> path;
    decoder.backTrack(path);
    ASSERT_EQ(std::size_t(f0.size()), path.size());
    // The scores of the last frame carry every transition weight the decoding used: Track's
    // transitions, given to its decoder without the square matrix, are the matrix's.
    const auto last = tracker.decoder().lastFrame();
    const auto expectedLast = decoder.lastFrame();
    ASSERT_EQ(last.size(), expectedLast.size());
    for (std::size_t k = 0; k < last.size(); ++k) {
        ASSERT_EQ(last[k].state, expectedLast[k].state) << "node " << k;
        ASSERT_EQ(last[k].score, expectedLast[k].score) << "node " << k;
    }
    int voiced = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        float expected = 0.0f;
        if (path[i] < n) {
            const float grid = reference.pitchGrid()[std::size_t(path[i])];
            const float yin = estimates[i];
            const bool precise = yin != 0.0f && std::fabs(12.0f * std::log(yin / grid) / PitchTracker::kLn2) < 0.11f;
            expected = precise ? yin : grid;
            ++voiced;
        }
        ASSERT_EQ(f0[std::uint32_t(i)], expected) << "frame " << i;
    }
    EXPECT_GT(voiced, 600);
}
