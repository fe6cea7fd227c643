#include "model/CVibratoPreinstall.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using TSCurrentModel::CurveNode;
using TSCurrentModel::NodeContainer;

std::vector<CurveNode> points(const NodeContainer& c)
{
    return {c.begin(), c.end()};
}

const std::vector<CurveNode> kFlat = {{-1, 0}, {100001, 0}};

} // namespace

TEST(VibratoCurve, EveryModifyingOperationMarksTheCurveChanged)
{
    NodeContainer c;
    EXPECT_FALSE(c.changed());
    const std::vector<std::function<void(NodeContainer&)>> operations = {
        [](NodeContainer& n) { n.push_back({1, 2}); },
        [](NodeContainer& n) { n.push_front({0, 0}); },
        [](NodeContainer& n) { n.insert(n.end(), CurveNode{5, 5}); },
        [](NodeContainer& n) {
            NodeContainer other;
            other.push_back({7, 7});
            other.push_back({8, 8});
            n.insert(n.begin(), other.begin(), other.end());
        },
        [](NodeContainer& n) { n.erase(n.begin()); },
        [](NodeContainer& n) { n.erase(n.begin(), std::next(n.begin())); },
        [](NodeContainer& n) { n.clear(); },
    };
    for (std::size_t i = 0; i < operations.size(); ++i) {
        c.clearChanged();
        operations[i](c);
        EXPECT_TRUE(c.changed()) << "operation " << i;
    }
    EXPECT_TRUE(c.empty());

    NodeContainer d;
    d.push_back({1, 1});
    d.push_front({0, 0});
    d.insert(std::next(d.begin()), CurveNode{5, 5});
    EXPECT_EQ(points(d), (std::vector<CurveNode>{{0, 0}, {5, 5}, {1, 1}}));
}

TEST(VibratoPreset, ADefaultPresetIsUnnamedWithTwoFlatPointsPerCurve)
{
    CVibratoPreinstall preset;
    EXPECT_EQ(points(preset.vibrato.amplitude), kFlat);
    EXPECT_EQ(points(preset.vibrato.frequency), kFlat);
    EXPECT_TRUE(preset.vibrato.third.empty());
    EXPECT_EQ(preset.vibrato.amplitudeParams[0], 0);
    EXPECT_EQ(preset.vibrato.thirdParams[1], 0);

    const std::string expected =
        "{\r\n"
        "   \"vibAmp\" : [\r\n"
        "      {\r\n"
        "         \"p\" : -1,\r\n"
        "         \"v\" : 0\r\n"
        "      },\r\n"
        "      {\r\n"
        "         \"p\" : 100001,\r\n"
        "         \"v\" : 0\r\n"
        "      }\r\n"
        "   ],\r\n"
        "   \"vibFreq\" : [\r\n"
        "      {\r\n"
        "         \"p\" : -1,\r\n"
        "         \"v\" : 0\r\n"
        "      },\r\n"
        "      {\r\n"
        "         \"p\" : 100001,\r\n"
        "         \"v\" : 0\r\n"
        "      }\r\n"
        "   ],\r\n"
        "   \"vibName\" : \"\"\r\n"
        "}\r\n";
    EXPECT_EQ(preset.toJsonText(), expected);
}

TEST(VibratoPreset, ReadingNeedsANameAndTakesArraysOfPointsOnly)
{
    CVibratoPreinstall unnamed;
    EXPECT_FALSE(unnamed.fromJsonText(R"({"vibName":"","vibAmp":[{"p":3,"v":4}]})"));
    EXPECT_EQ(points(unnamed.vibrato.amplitude), (std::vector<CurveNode>{{3, 4}})) << "read, but reported incomplete";
    EXPECT_TRUE(unnamed.vibrato.frequency.empty()) << "absent: empty";

    CVibratoPreinstall named;
    ASSERT_TRUE(named.fromJsonText(R"({"vibName":"soft","vibAmp":[{"p":0,"v":10},{"p":50,"v":-20}],"vibFreq":7})"));
    EXPECT_EQ(named.vibName, "soft");
    EXPECT_EQ(points(named.vibrato.amplitude), (std::vector<CurveNode>{{0, 10}, {50, -20}}));
    EXPECT_TRUE(named.vibrato.frequency.empty()) << "a number is not a curve";

    // Odd points: members that are missing or unusable read as 0; reals are truncated.
    CVibratoPreinstall odd;
    ASSERT_TRUE(odd.fromJsonText(
        R"({"vibName":"x","vibFreq":[{"p":2.9,"v":-2.9},{"v":5},3,{"p":"7","v":true},{"p":1e12,"v":null}]})"));
    EXPECT_EQ(points(odd.vibrato.frequency), (std::vector<CurveNode>{{2, -2}, {0, 5}, {0, 0}, {0, 1}, {0, 0}}));

    EXPECT_FALSE(odd.fromJsonText("[1]"));
    EXPECT_TRUE(odd.vibName.empty());
}

TEST(VibratoPreset, CopyingReplacesNameAndAllThreeCurves)
{
    CVibratoPreinstall source;
    source.vibName = "deep";
    source.vibrato.amplitude.clear();
    source.vibrato.amplitude.push_back({1, 1});
    source.vibrato.third.push_back({9, 9});

    CVibratoPreinstall target;
    target.vibrato.frequency.push_back({42, 42});
    target.vibrato.amplitude.clearChanged();
    target.copyFrom(source);
    EXPECT_EQ(target.vibName, "deep");
    EXPECT_EQ(points(target.vibrato.amplitude), (std::vector<CurveNode>{{1, 1}}));
    EXPECT_EQ(points(target.vibrato.frequency), kFlat) << "the target's extra point is gone";
    EXPECT_EQ(points(target.vibrato.third), (std::vector<CurveNode>{{9, 9}}));
    EXPECT_TRUE(target.vibrato.amplitude.changed());

    const CVibratoPreinstall copied(source);
    EXPECT_EQ(points(copied.vibrato.third), (std::vector<CurveNode>{{9, 9}}));
    EXPECT_EQ(copied.vibName, "deep");
}
