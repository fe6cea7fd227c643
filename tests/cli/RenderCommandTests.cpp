#include "cli/CliRunner.h"

#include "audio/AudioReader.h"
#include "audio/CWavBuf.h"
#include "engine/AnalysisPipeline.h"
#include "support/SyntheticVoice.h"
#include "engine/VoiceSources.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>

using lvtest::runLvtb;

namespace {

// The lag [samples] of the largest normalised autocorrelation between 150 and 300 samples (147 ...
// 294 Hz: one period of 220 Hz, not two), and that correlation.
std::pair<int, double> periodOf(const std::vector<float>& x)
{
    double best = -2.0;
    int bestLag = 0;
    for (int lag = 150; lag <= 300; ++lag) {
        double xy = 0.0, xx = 0.0, yy = 0.0;
        for (std::size_t i = 0; i + std::size_t(lag) < x.size(); ++i) {
            xy += double(x[i]) * x[i + std::size_t(lag)];
            xx += double(x[i]) * x[i];
            yy += double(x[i + std::size_t(lag)]) * x[i + std::size_t(lag)];
        }
        const double r = xy / std::sqrt(xx * yy + 1e-30);
        if (r > best) {
            best = r;
            bestLag = lag;
        }
    }
    return {bestLag, best};
}

double rmsDb(const std::vector<float>& x)
{
    double sum = 0.0;
    for (const float v : x) {
        sum += double(v) * v;
    }
    return 10.0 * std::log10(sum / double(x.size()) + 1e-30);
}

std::vector<float> middle(const std::vector<float>& x, double fromSec, double toSec)
{
    return std::vector<float>(x.begin() + long(fromSec * 44100), x.begin() + long(toSec * 44100));
}

} // namespace

TEST(LvtbRender, ASteadyVowelComesBackAtItsPitchAndLevel)
{
    lvtest::TempDir dir;
    lvtest::SungVowel v;
    v.f0Hz = 220.0;
    v.seconds = 1.0;
    const std::vector<float> sung = lvtest::singVowel(v);
    TSSrcCheckResult result;
    TessarinEngineV6::analyseVoiceUnit("ka,k,a|n||a,a|", sung, result, dir.path(), "ka", "A3", 0.05f, 0.1f, 0.2f, 0.9f,
                                       0.955f, false, TessarinEngineV6::estimateF0);
    ASSERT_TRUE(result.ok);

    const auto out = (dir / "ka.wav").string();
    const auto r = runLvtb({"render", (dir / "A3.ka.LVModel").string(), "--out", out});
    ASSERT_EQ(r.status, 0) << r.err;
    TessarinEditor::CWavBuf wav;
    ASSERT_TRUE(TessarinEditor::readAudioFile(out, wav));
    EXPECT_EQ(wav.sampleRate, 44100);
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.bytesPerSample, 2);
    const Tessarin::FastVector<float> all = TessarinEditor::cutRegion(0.0, 10.0, wav);
    const std::vector<float> rendered(all.data(), all.data() + all.size());
    ASSERT_EQ(rendered.size(), sung.size());

    // In the steady middle: strongly periodic, one period of 200.45 samples (220 Hz) within the
    // whole-sample resolution of the lag search (0.5 %), and the level of the recording.
    const auto a = middle(rendered, 0.3, 0.7);
    const auto b = middle(sung, 0.3, 0.7);
    const auto [lag, correlation] = periodOf(a);
    EXPECT_TRUE(lvtest::near(lag, 44100.0 / 220.0, 1.0, "whole samples"));
    EXPECT_GT(correlation, 0.8);
    EXPECT_TRUE(lvtest::near(rmsDb(a), rmsDb(b), 1.0, "the model keeps the level within 1 dB"));

    // The same file twice: the noise comes from the unit's own generator.
    const auto again = (dir / "again.wav").string();
    ASSERT_EQ(runLvtb({"render", (dir / "A3.ka.LVModel").string(), "--out=" + again}).status, 0);
    EXPECT_EQ(lvtest::readFile(out), lvtest::readFile(again));
    EXPECT_EQ(runLvtb({"render", (dir / "A3.ka.LVModel").string()}).status, 2);
    EXPECT_EQ(runLvtb({"render", (dir / "none.LVModel").string(), "--out", out}).status, 2);
}
