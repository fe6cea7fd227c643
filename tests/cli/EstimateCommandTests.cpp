#include "cli/CliRunner.h"
#include "support/SungUnits.h"
#include "support/TestSupport.h"
#include "support/WavBytes.h"

#include <json/json.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

using lvdemo::Segment;
using lvtest::runLvtb;

TEST(EstimateCommand, PrintsTheProposalAsLinesOrJsonSaysWhenThereIsNoneAndRefusesBadInput)
{
    lvtest::TempDir dir;
    // "sa": the frication from 0.2 s, the vowel from 0.32 s (its formants arrive 60 ms later), its
    // fade from 0.82 s (the timeline's boundaries; the estimator's tests hold it to them).
    const lvdemo::UnitPlan sa{"sa", "CV", {{Segment::Silence, "", 0.2}, {Segment::Frication, "s", 0.12}, {Segment::Vowel, "a", 0.5}, {Segment::Silence, "", 0.2}}, {}};
    const std::string unit = (dir / "sa.wav").string();
    lvtest::writeFile(unit, lvtest::WavBytes::mono16(lvtest::recordSungUnit(sa)));
    const std::vector<double> truth{0.2, 0.32, 0.38, 0.82};

    const auto text = runLvtb({"estimate", unit, "--kind", "CV"});
    ASSERT_EQ(text.status, 0) << text.err;
    std::istringstream lines(text.out);
    std::vector<double> printed;
    for (const char* name : {"connectPoint", "preutterance", "vowelStart", "vowelEnd"}) {
        std::string label;
        double seconds = 0.0;
        ASSERT_TRUE(lines >> label >> seconds);
        EXPECT_EQ(label, name);
        printed.push_back(seconds);
    }
    EXPECT_FALSE(lines >> printed.emplace_back());

    const auto json = runLvtb({"estimate", unit, "--kind=CV", "--json"});
    ASSERT_EQ(json.status, 0) << json.err;
    Json::Value v;
    ASSERT_TRUE(Json::Reader().parse(json.out, v));
    ASSERT_TRUE(v.isObject());
    EXPECT_EQ(v.getMemberNames(), (std::vector<std::string>{"kind", "markers"}));
    EXPECT_EQ(v["kind"].asString(), "CV");
    ASSERT_EQ(v["markers"].size(), 4u);
    for (Json::ArrayIndex i = 0; i < 4; ++i) {
        // The same proposal in both forms (six decimals), near the timeline (the CV goal, 20 ms,
        // allowed 30 ms for the vowel end).
        EXPECT_DOUBLE_EQ(v["markers"][i].asDouble(), printed[i]);
        EXPECT_NEAR(printed[i], truth[i], i == 3 ? 0.03 : 0.02) << "marker " << i;
    }

    // The same recording as a VX and an INDIE unit: two markers each.
    for (const char* kind : {"VX", "INDIE"}) {
        const auto two = runLvtb({"estimate", unit, "--kind", kind, "--json"});
        ASSERT_EQ(two.status, 0) << kind;
        ASSERT_TRUE(Json::Reader().parse(two.out, v));
        EXPECT_EQ(v["kind"].asString(), kind);
        EXPECT_EQ(v["markers"].size(), 2u) << kind;
    }

    // Background noise alone, and a 2 ms click in it: nothing to propose.
    const lvdemo::UnitPlan quiet{"x", "CV", {{Segment::Silence, "", 0.8}}, {}};
    std::vector<std::int16_t> background = lvtest::recordSungUnit(quiet);
    const std::string silence = (dir / "silence.wav").string();
    lvtest::writeFile(silence, lvtest::WavBytes::mono16(background));
    for (std::size_t i = 17640; i < 17640 + 88; ++i) {
        background[i] = (i / 11) % 2 == 0 ? 30000 : -30000;
    }
    const std::string click = (dir / "click.wav").string();
    lvtest::writeFile(click, lvtest::WavBytes::mono16(background));
    for (const std::string& file : {silence, click}) {
        const auto none = runLvtb({"estimate", file, "--kind", "CV"});
        EXPECT_EQ(none.status, 1) << file;
        EXPECT_EQ(none.out, "No unit found: the recording holds only silence or a click.\n");
        const auto noneJson = runLvtb({"estimate", file, "--kind", "INDIE", "--json"});
        EXPECT_EQ(noneJson.status, 1) << file;
        ASSERT_TRUE(Json::Reader().parse(noneJson.out, v));
        EXPECT_EQ(v["markers"].size(), 0u);
        EXPECT_EQ(noneJson.err, "No unit found: the recording holds only silence or a click.\n");
    }

    // Bad usage and input that cannot be read or fails the format gate: status 2, nothing on stdout.
    lvtest::WavBytes::Format slow;
    slow.sampleRate = 22050;
    const std::string wrongRate = (dir / "slow.wav").string();
    lvtest::writeFile(wrongRate, lvtest::WavBytes().fmt(slow).data16(lvtest::recordSungUnit(sa)).bytes());
    const std::string notWav = (dir / "notes.wav").string();
    lvtest::writeText(notWav, "not a recording");

    struct Bad {
        std::vector<std::string> argv;
        std::string says;
    };
    const std::vector<Bad> bad{
        {{"estimate", unit, "--kind", "CVC"}, "lvtb: --kind is CV, VX or INDIE, not \"CVC\"\n"},
        {{"estimate", unit}, "lvtb: estimate needs --kind CV, VX or INDIE\n"},
        {{"estimate", (dir / "missing.wav").string(), "--kind", "CV"}, ""},
        {{"estimate", wrongRate, "--kind", "CV"}, "lvtb: " + wrongRate + ": Wav format error! Format must be 44100Hz 16bit mono.\n"},
        {{"estimate", notWav, "--kind", "CV"}, ""},
        {{"estimate", dir.path().string(), "--kind", "CV"}, ""},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.argv[1]);
        const auto r = runLvtb(b.argv);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.out.empty());
        if (b.says.empty()) {
            EXPECT_EQ(r.err.rfind("lvtb: ", 0), 0u) << r.err;
        } else {
            EXPECT_EQ(r.err, b.says);
        }
    }
}
