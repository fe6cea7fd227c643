#include "dsp/Viterbi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace Tessarin;

namespace {

// The decoding rules written out plainly: every previous node is tried against every state, with a
// running maximum that starts at −1, and a node is kept only for a product above 0.
struct RefNode {
    int predecessor; // index in the previous frame's list, −1 in the first frame
    int state;
    double score;
};

struct RefDecoder {
    std::vector<std::vector<RefNode>> frames;
    int headIndex = -1; // in the last decoded frame
    int decoded = 0;

    void start(const std::vector<double>& initial, const std::vector<double>& obs)
    {
        frames.assign(1, {});
        double best = -1.0;
        for (int j = 0; j < int(obs.size()); ++j) {
            const double v = initial[std::size_t(j)] * obs[std::size_t(j)];
            if (v > 0.0) {
                frames[0].push_back({-1, j, v});
                if (v > best) {
                    best = v;
                    headIndex = int(frames[0].size()) - 1;
                }
            }
        }
        decoded = headIndex >= 0 ? 1 : 0;
    }

    void step(const std::vector<std::vector<double>>& t, const std::vector<double>& obs)
    {
        const std::vector<RefNode> previous = frames.back();
        std::vector<RefNode> list;
        double best = -10.0;
        double least = 10.0;
        int bestIndex = -1;
        for (int j = 0; j < int(obs.size()); ++j) {
            if (!(obs[std::size_t(j)] > 0.0)) {
                continue;
            }
            double max = -1.0;
            int arg = -1;
            for (int p = 0; p < int(previous.size()); ++p) {
                const RefNode& node = previous[std::size_t(p)];
                const double v = node.score * t[std::size_t(node.state)][std::size_t(j)] * obs[std::size_t(j)];
                if (v > max) {
                    max = v;
                    arg = p;
                }
            }
            if (arg >= 0 && max > 0.0) {
                list.push_back({arg, j, max});
                if (max > best) {
                    best = max;
                    bestIndex = int(list.size()) - 1;
                }
                if (max < least) {
                    least = max;
                }
            }
        }
        if (bestIndex >= 0) {
            ++decoded;
            headIndex = bestIndex;
            if (least < 1e-6) {
                for (RefNode& node : list) {
                    node.score /= least;
                }
            }
        }
        frames.push_back(list);
    }

    std::vector<int> path() const
    {
        std::vector<int> states(static_cast<std::size_t>(decoded));
        int index = headIndex;
        for (int f = decoded - 1; f >= 0; --f) {
            const RefNode& node = frames[std::size_t(f)][std::size_t(index)];
            states[std::size_t(f)] = node.state;
            index = node.predecessor;
        }
        return states;
    }
};

void toMatrix(const std::vector<std::vector<double>>& t, TS_ViterbiMatrix& m)
{
    m.resize(int(t.size()), int(t.size()));
    for (std::size_t r = 0; r < t.size(); ++r) {
        for (std::size_t c = 0; c < t.size(); ++c) {
            m.at(int(r), int(c)) = t[r][c];
        }
    }
}

// The decoder's last frame against the reference's: states, scores and the predecessors' states.
void expectSameLastFrame(const ViterbiDecoder& decoder, const RefDecoder& ref)
{
    const auto list = decoder.lastFrame();
    const std::size_t f = ref.frames.size() - 1;
    ASSERT_EQ(list.size(), ref.frames[f].size()) << "frame " << f;
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].state, ref.frames[f][i].state);
        EXPECT_EQ(list[i].score, ref.frames[f][i].score); // the same products in the same order
        if (f == 0) {
            EXPECT_EQ(list[i].predecessor, nullptr);
        } else {
            ASSERT_NE(list[i].predecessor, nullptr);
            EXPECT_EQ(list[i].predecessor->state, ref.frames[f - 1][std::size_t(ref.frames[f][i].predecessor)].state);
        }
    }
}

// Every frame's back-pointers, the decoded count and the path against the reference.
void expectSameDecoding(const ViterbiDecoder& decoder, const RefDecoder& ref, int states)
{
    ASSERT_EQ(decoder.frameListCount(), ref.frames.size());
    for (std::size_t f = 1; f < ref.frames.size(); ++f) {
        std::vector<int> expected(std::size_t(states), -1);
        for (const RefNode& node : ref.frames[f]) {
            expected[std::size_t(node.state)] = ref.frames[f - 1][std::size_t(node.predecessor)].state;
        }
        for (int s = 0; s < states; ++s) {
            ASSERT_EQ(decoder.predecessorState(f, s), expected[std::size_t(s)]) << "frame " << f << ", state " << s;
        }
    }
    EXPECT_EQ(decoder.decodedFrames(), ref.decoded);
    std::vector<int> path;
    decoder.backTrack(path);
    EXPECT_EQ(path, ref.path());
}

} // namespace

TEST(ViterbiMatrix, NewIsTwoByTwoZerosAndResizeClears)
{
    TS_ViterbiMatrix m;
    EXPECT_EQ(m.rows(), 2);
    EXPECT_EQ(m.cols(), 2);
    EXPECT_EQ(m.values().size(), 4u);
    for (const double v : m.values()) {
        EXPECT_EQ(v, 0.0);
    }
    m.resize(3, 4);
    m.at(1, 2) = 5.0;
    EXPECT_EQ(m.values()[1 * 4 + 2], 5.0); // row-major
    m.resize(3, 4);
    EXPECT_EQ(m.at(1, 2), 0.0);
    EXPECT_THROW(m.resize(-1, 2), std::invalid_argument);
    EXPECT_THROW(m.resize(70000, 70000), std::length_error); // 4.9e9 elements
    EXPECT_EQ(m.rows(), 3); // unchanged by the refused sizes
}

TEST(ViterbiDecoder, StartKeepsPositiveStatesAndTheFirstLargestAsHead)
{
    ViterbiDecoder decoder;
    TS_ViterbiMatrix t;
    t.resize(4, 4);
    decoder.setTransitions(t);
    decoder.start(std::vector<double>{0.0, 0.5, 0.25, 0.25}, std::vector<double>{1.0, 0.2, 0.4, 0.0});
    // Products 0, 0.1, 0.1, 0: states 1 and 2 survive, equal; the first is head.
    ASSERT_EQ(decoder.frameListCount(), 1u);
    ASSERT_EQ(decoder.lastFrame().size(), 2u);
    EXPECT_EQ(decoder.lastFrame()[0].state, 1);
    EXPECT_EQ(decoder.lastFrame()[1].state, 2);
    EXPECT_EQ(decoder.headState(), 1);
    EXPECT_EQ(decoder.decodedFrames(), 1);
    EXPECT_THROW(decoder.step(std::vector<double>(3, 1.0)), std::invalid_argument);
}

TEST(ViterbiDecoder, StepTakesTheFirstLargestPredecessorAndRenormalisesSmallScores)
{
    // Two states that may stay or swap with equal weight.
    const std::vector<std::vector<double>> t{{0.5, 0.5}, {0.5, 0.5}};
    ViterbiDecoder decoder;
    TS_ViterbiMatrix m;
    toMatrix(t, m);
    decoder.setTransitions(m);
    decoder.start(std::vector<double>{0.5, 0.5}, std::vector<double>{1.0, 1.0});
    decoder.step(std::vector<double>{1e-7, 1e-5});
    // Both predecessors give 0.5 · 0.5 · obs: the first (state 0) is taken on the tie.
    const auto list = decoder.lastFrame();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].predecessor->state, 0);
    EXPECT_EQ(list[1].predecessor->state, 0);
    // Least is 0.25e-7 < 1e-6: scores divided by it, so 1 and 100.
    EXPECT_EQ(list[0].score, 1.0);
    EXPECT_TRUE(lvtest::near(list[1].score, 100.0, 1e-12, "ratio of the observations"));
    EXPECT_EQ(decoder.headState(), 1);

    // Both states now come from state 1 with 100 · 0.5 · 0.5, far above 1e-6: kept as they are.
    const double previous = list[1].score;
    decoder.step(std::vector<double>{0.5, 0.5});
    EXPECT_EQ(decoder.lastFrame()[0].score, previous * 0.5 * 0.5);
    EXPECT_EQ(decoder.lastFrame()[0].predecessor->state, 1);
    EXPECT_EQ(decoder.predecessorState(1, 1), 0);
    EXPECT_EQ(decoder.predecessorState(2, 0), 1);
}

TEST(ViterbiDecoder, AFrameWithoutSurvivorsEndsTheTrack)
{
    // State 0 can only stay; state 1 can only be reached from 1.
    const std::vector<std::vector<double>> t{{1.0, 0.0}, {0.0, 1.0}};
    ViterbiDecoder decoder;
    TS_ViterbiMatrix m;
    toMatrix(t, m);
    decoder.setTransitions(m);
    decoder.start(std::vector<double>{1.0, 0.0}, std::vector<double>{0.5, 0.5});
    decoder.step(std::vector<double>{0.5, 0.5});
    decoder.step(std::vector<double>{0.0, 0.5}); // state 0 has nowhere to go
    decoder.step(std::vector<double>{0.5, 0.5}); // nothing to come from
    EXPECT_EQ(decoder.frameListCount(), 4u);
    EXPECT_TRUE(decoder.lastFrame().empty());
    EXPECT_EQ(decoder.predecessorState(2, 0), -1);
    EXPECT_EQ(decoder.predecessorState(2, 1), -1);
    EXPECT_EQ(decoder.decodedFrames(), 2);
    std::vector<int> path;
    decoder.backTrack(path);
    EXPECT_EQ(path, (std::vector<int>{0, 0}));

    // Nothing survives the first frame: nothing is decoded at all.
    decoder.start(std::vector<double>{0.0, 1.0}, std::vector<double>{1.0, 0.0});
    decoder.step(std::vector<double>{1.0, 1.0});
    EXPECT_EQ(decoder.headState(), -1);
    EXPECT_EQ(decoder.decodedFrames(), 0);
    decoder.backTrack(path);
    EXPECT_TRUE(path.empty());

    decoder.reset();
    EXPECT_EQ(decoder.frameListCount(), 0u);
    EXPECT_EQ(decoder.decodedFrames(), 0);
}

TEST(ViterbiDecoder, MatchesThePlainRulesOnRandomBandedModels)
{
    std::mt19937 gen(7);
    std::uniform_int_distribution<int> quarter(0, 4);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int trial = 0; trial < 40; ++trial) {
        // Up to 48 states and 39 predecessors a state: long enough for the step's vector lanes,
        // the wrapping corner entries split a column into separate runs of from-states.
        const int states = 3 + (trial % 10) * 5;
        const int band = 1 + (trial % 4) * 6;
        // Weights on a coarse grid make ties common; off the band, and here and there inside it, 0.
        std::vector<std::vector<double>> t(std::size_t(states), std::vector<double>(std::size_t(states), 0.0));
        for (int r = 0; r < states; ++r) {
            for (int c = 0; c < states; ++c) {
                if (std::abs(r - c) <= band || std::abs(r - c) == states - 1) {
                    t[std::size_t(r)][std::size_t(c)] = 0.25 * quarter(gen);
                }
            }
        }
        ViterbiDecoder decoder;
        TS_ViterbiMatrix m;
    toMatrix(t, m);
    decoder.setTransitions(m);
        RefDecoder ref;
        std::vector<double> initial(static_cast<std::size_t>(states));
        for (double& v : initial) {
            v = 0.25 * quarter(gen);
        }
        std::vector<double> obs(static_cast<std::size_t>(states));
        const auto fillObs = [&](int frame) {
            const double scale = frame % 7 == 3 ? 1e-9 : 1.0; // forces renormalisation now and then
            for (double& v : obs) {
                v = unit(gen) < 0.2 ? 0.0 : scale * 0.25 * quarter(gen);
            }
        };
        // The same model given as its non-zero entries, column by column.
        ViterbiDecoder fromColumns;
        {
            std::vector<std::size_t> columnStart(1, 0);
            std::vector<int> from;
            std::vector<double> weight;
            for (int c = 0; c < states; ++c) {
                for (int r = 0; r < states; ++r) {
                    if (t[std::size_t(r)][std::size_t(c)] != 0.0) {
                        from.push_back(r);
                        weight.push_back(t[std::size_t(r)][std::size_t(c)]);
                    }
                }
                columnStart.push_back(from.size());
            }
            fromColumns.setTransitions(columnStart, from, weight);
        }
        SCOPED_TRACE("trial " + std::to_string(trial));
        fillObs(0);
        decoder.start(initial, obs);
        fromColumns.start(initial, obs);
        ref.start(initial, obs);
        expectSameLastFrame(decoder, ref);
        expectSameLastFrame(fromColumns, ref);
        for (int frame = 1; frame < 30; ++frame) {
            fillObs(frame);
            decoder.step(obs);
            fromColumns.step(obs);
            ref.step(t, obs);
            expectSameLastFrame(decoder, ref);
            expectSameLastFrame(fromColumns, ref);
        }
        expectSameDecoding(decoder, ref, states);
        expectSameDecoding(fromColumns, ref, states);
    }
}

TEST(ViterbiDecoder, BackPointersTakeOneByteUnlessAStateHasMoreThan254Predecessors)
{
    // Dense 300-state models: every column lists 300 predecessors, too many for a byte.
    std::mt19937 gen(3);
    std::uniform_int_distribution<int> quarter(0, 4);
    const int states = 300;
    std::vector<std::vector<double>> t(states, std::vector<double>(states, 0.0));
    for (auto& row : t) {
        for (double& v : row) {
            v = 0.25 * (1 + quarter(gen));
        }
    }
    ViterbiDecoder decoder;
    TS_ViterbiMatrix m;
    toMatrix(t, m);
    decoder.setTransitions(m);
    EXPECT_EQ(decoder.backPointerBytesPerFrame(), 600u);
    RefDecoder ref;
    std::vector<double> obs(states);
    for (double& v : obs) {
        v = 0.25 * quarter(gen);
    }
    decoder.start(std::vector<double>(states, 1.0 / states), obs);
    ref.start(std::vector<double>(states, 1.0 / states), obs);
    for (int frame = 1; frame < 6; ++frame) {
        for (double& v : obs) {
            v = 0.25 * quarter(gen);
        }
        decoder.step(obs);
        ref.step(t, obs);
    }
    expectSameDecoding(decoder, ref, states);

    // A band of ±2: five predecessors per state, one byte each.
    for (int r = 0; r < states; ++r) {
        for (int c = 0; c < states; ++c) {
            m.at(r, c) = std::abs(r - c) <= 2 ? 0.2 : 0.0;
        }
    }
    decoder.setTransitions(m);
    EXPECT_EQ(decoder.backPointerBytesPerFrame(), 300u);
}
