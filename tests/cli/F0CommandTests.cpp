#include "support/WavBytes.h"
#include "cli/CliRunner.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

using lvtest::runLvtb;

namespace {

constexpr double kPi = 3.141592653589793;

// A 220 Hz tone with harmonics of amplitude 1/k² (a glottal tilt), 16-bit, after `silent` zeros.
std::vector<std::int16_t> tone220(std::size_t n, std::size_t silent = 0)
{
    std::vector<std::int16_t> v(n, 0);
    for (std::size_t i = silent; i < n; ++i) {
        const double phase = 2.0 * kPi * 220.0 * double(i) / 44100.0;
        double x = 0.0;
        for (int k = 1; k <= 30; ++k) {
            x += std::sin(k * phase) / (k * k);
        }
        v[i] = std::int16_t(std::lround(12000.0 * x));
    }
    return v;
}

struct Frame {
    std::size_t index;
    double time;
    double f0;
};

std::vector<Frame> parseFrames(const std::string& text)
{
    std::vector<Frame> frames;
    std::istringstream in(text);
    Frame f{};
    while (in >> f.index >> f.time >> f.f0) {
        frames.push_back(f);
    }
    return frames;
}

std::size_t lineCount(const std::string& text)
{
    std::size_t n = 0;
    for (const char c : text) {
        n += c == '\n' ? 1 : 0;
    }
    return n;
}

class F0Command : public ::testing::Test {
protected:
    void SetUp() override
    {
        tonePath = (dir / "tone.wav").string();
        lvtest::writeFile(tonePath, lvtest::WavBytes::mono16(tone220(22050, 4410))); // 0.1 s of silence, 0.4 s of tone
    }

    lvtest::TempDir dir;
    std::string tonePath;
};

} // namespace

TEST_F(F0Command, HarvestPrintsOneLinePerFrameOfTheWholeFile)
{
    const auto r = runLvtb({"f0", tonePath, "--method", "harvest"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.empty());
    // floor(1000 · 22050 / 44100 / 2.9024943310657596) + 1 = floor(172.27) + 1.
    const std::vector<Frame> frames = parseFrames(r.out);
    ASSERT_EQ(frames.size(), 173u);
    EXPECT_EQ(lineCount(r.out), 173u) << "every line parses as index, time, f0";
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].index, i);
        EXPECT_TRUE(lvtest::near(frames[i].time, 128.0 * double(i) / 44100.0, 5e-7, "six decimals")) << i;
        if (frames[i].time >= 0.2 && frames[i].time <= 0.4) {
            EXPECT_TRUE(lvtest::near(frames[i].f0, 220.0, 2.2, "a steady tone within 1 %")) << i;
        }
    }
    // An unvoiced frame (in the leading silence) prints a plain 0, a voiced one six decimals.
    EXPECT_EQ(r.out.rfind("0 0.000000 0\n", 0), 0u);
    EXPECT_NE(r.out.find("\n100 0.290249 2"), std::string::npos);
}

TEST_F(F0Command, FromAndToCutTheRegionAndTimesCountFromTheFileStart)
{
    const auto r = runLvtb({"f0", tonePath, "--method", "harvest", "--from", "0.1", "--to", "0.3"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Frame> frames = parseFrames(r.out);
    // Samples trunc(0.1 · 44100) = 4410 … trunc(0.3 · 44100) = 13230: 8821 samples, 69 frames.
    ASSERT_EQ(frames.size(), 69u);
    EXPECT_TRUE(lvtest::near(frames[0].time, 4410.0 / 44100.0, 5e-7, "six decimals"));
    EXPECT_TRUE(lvtest::near(frames[1].time, (4410.0 + 128.0) / 44100.0, 5e-7, "six decimals"));
}

TEST_F(F0Command, TrackerIsTheDefaultAndFollowsTheToneNearItsTruePitch)
{
    const auto byDefault = runLvtb({"f0", tonePath});
    const auto named = runLvtb({"f0", tonePath, "--method", "tracker"});
    ASSERT_EQ(byDefault.status, 0) << byDefault.err;
    EXPECT_EQ(byDefault.out, named.out);
    const std::vector<Frame> frames = parseFrames(byDefault.out);
    // The tracker gives one frame per 128 samples: floor(22050 / 128) = 172.
    ASSERT_EQ(frames.size(), 172u);
    std::size_t voicedInTone = 0;
    for (const Frame& f : frames) {
        if (f.time < 0.09) {
            EXPECT_EQ(f.f0, 0.0) << "the leading silence is unvoiced (Harvest's hint forces it)";
        }
        if (f.time >= 0.2 && f.time <= 0.4 && f.f0 > 0.0) {
            EXPECT_TRUE(lvtest::near(f.f0, 220.0, 220.0 * 0.0116, "within 20 cents")) << f.index;
            ++voicedInTone;
        }
    }
    EXPECT_GT(voicedInTone, 60u);
}

TEST_F(F0Command, GateFailurePrintsTheEditorsMessageAndExitsOne)
{
    lvtest::WavBytes::Format halfRate;
    halfRate.sampleRate = 22050;
    const auto path = (dir / "half.wav").string();
    lvtest::writeFile(path, lvtest::WavBytes().fmt(halfRate).data16(tone220(1000)).bytes());
    const auto r = runLvtb({"f0", path, "--method", "harvest"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Wav format error! Format must be 44100Hz 16bit mono.\n");
    EXPECT_TRUE(r.err.empty());

    lvtest::WavBytes::Format stereo;
    stereo.channels = 2;
    const auto stereoPath = (dir / "stereo.wav").string();
    lvtest::writeFile(stereoPath, lvtest::WavBytes().fmt(stereo).data16(tone220(1000)).bytes());
    EXPECT_EQ(runLvtb({"f0", stereoPath, "--method", "harvest"}).status, 1);
}

TEST_F(F0Command, UnreadableInputAndBadUsageExitTwoWithOneLine)
{
    const auto missingPath = (dir / "missing.wav").string();
    const auto missing = runLvtb({"f0", missingPath, "--method", "harvest"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(missing.out.empty());
    EXPECT_EQ(missing.err.rfind("lvtb: " + missingPath + ": ", 0), 0u) << missing.err;

    const auto notAudioPath = (dir / "notes.wav").string();
    lvtest::writeFile(notAudioPath, {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(runLvtb({"f0", notAudioPath, "--method", "harvest"}).status, 2);

    for (const std::vector<std::string>& argv : {
             std::vector<std::string>{"f0"},
             std::vector<std::string>{"f0", tonePath, "--method", "yin"},
             std::vector<std::string>{"f0", tonePath, "--from", "soon"},
             std::vector<std::string>{"f0", tonePath, "--to", "nan"},
             std::vector<std::string>{"f0", tonePath, "--method", "harvest", "--from", "2.0"},
         }) {
        const auto r = runLvtb(argv);
        EXPECT_EQ(r.status, 2) << argv.back();
        EXPECT_TRUE(r.out.empty()) << argv.back();
        EXPECT_EQ(r.err.rfind("lvtb: ", 0), 0u) << argv.back();
        EXPECT_EQ(lineCount(r.err), 1u) << argv.back();
    }
}

TEST_F(F0Command, HelpDescribesTheOutput)
{
    const auto r = runLvtb({"f0", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: lvtb f0 FILE [--from S] [--to S] [--method harvest|tracker]\n", 0), 0u);
}
