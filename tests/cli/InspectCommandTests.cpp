#include "cli/CliRunner.h"
#include "engine/ModelFile.h"
#include "engine/VoiceBankFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>

using lvtest::runLvtb;

namespace {

Json::Value parse(const std::string& text)
{
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    EXPECT_TRUE(reader->parse(text.data(), text.data() + text.size(), &root, &errors)) << errors << "\n" << text;
    return root;
}

// A two-frame voiced model for the unit Ka at C4: frame 0 unvoiced, frame 1 voiced.
void writeSmallModel(const std::filesystem::path& folder, const std::string& symbol, int markerCount)
{
    TSVM_V0::TsVoiceModel m;
    for (int i = 0; i < 10; ++i) {
        m.samples.push_back(short(i));
    }
    for (int i = 0; i < 2; ++i) {
        m.f0.push_back(i == 0 ? 0.0f : 250.0f);
        m.noiseEnvelope.appendFrame(std::vector<float>(128, -50.0f));
        m.harmonicPhase.appendFrame(std::vector<float>(i == 0 ? 0 : 3, 0.25f));
        m.spectralEnvelope.appendFrame(std::vector<float>(i == 0 ? 0 : 256, -3.0f));
        m.glottalIndex.push_back(99);
        m.glottalGain.push_back(-80.0f);
        m.bandLevels.appendFrame(std::vector<float>(5, 0.01f));
        m.pulseRatio.push_back(0.5f);
        m.peaks.addFrame();
    }
    TSVM_V0::TsVoiceModelCompact c;
    ASSERT_TRUE(TSVM_V0::toCompact(m, c));
    std::vector<std::int32_t> markers(std::size_t(markerCount), 0);
    markers[1] = 1;
    ASSERT_TRUE(TSVM_V0::writeModelFile(markers, c, folder, symbol, "C4"));
}

} // namespace

TEST(LvtbInspectModel, JsonCarriesTheFileNameAndEverySize)
{
    lvtest::TempDir dir;
    writeSmallModel(dir.path(), "Ka", 8);
    const auto path = (dir / "C4.uppercaseKa.LVModel").string();
    const auto r = runLvtb({"inspect", "model", path, "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json::Value j = parse(r.out);
    EXPECT_EQ(j["symbol"].asString(), "Ka");
    EXPECT_EQ(j["pitch"].asString(), "C4");
    EXPECT_EQ(j["kind"].asString(), "voice");
    EXPECT_EQ(j["markers"].size(), 8u);
    EXPECT_EQ(j["markers"][1].asInt(), 1);
    EXPECT_EQ(j["fftSize"].asInt(), 512);
    EXPECT_EQ(j["sampleRate"].asDouble(), 44100.0);
    EXPECT_EQ(j["hop"].asInt(), 128);
    EXPECT_EQ(j["sampleCount"].asInt(), 10);
    EXPECT_EQ(j["frameCount"].asInt(), 2);
    EXPECT_EQ(j["f0"][1].asDouble(), 250.0);
    EXPECT_EQ(j["frameSizes"]["harmonicPhase"][0].asInt(), 0);
    EXPECT_EQ(j["frameSizes"]["harmonicPhase"][1].asInt(), 3);
    EXPECT_EQ(j["frameSizes"]["spectralEnvelope"][1].asInt(), 256);
    EXPECT_FALSE(j.isMember("noiseEnvelope"));

    const Json::Value full = parse(runLvtb({"inspect", "model", path, "--json", "--full"}).out);
    EXPECT_EQ(full["noiseEnvelope"][1].size(), 128u);
    EXPECT_EQ(full["bandLevels"][0].size(), 5u);
    EXPECT_EQ(full["glottalIndex"][0].asInt(), 99);
    EXPECT_EQ(full["harmonicPhase"][1][2].asDouble(), 0.25);

    const auto text = runLvtb({"inspect", "model", path});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.out, "symbol: Ka\npitch: C4\nkind: voice (a CV or INDIE unit, 8 markers)\n"
                        "markers, in analysis frames of 128 samples from the start of the analysed region:\n"
                        "  p0 connect point (INDIE: start point): frame 0\n"
                        "  p1 preutterance (INDIE: end point): frame 1\n"
                        "  p2 vowel start (INDIE: end point): frame 0\n"
                        "  p3 vowel end (INDIE: end point): frame 0\n"
                        "  p4 tail length (INDIE: 0): 0 frames\n"
                        "  p5 (not used, 0): 0\n  p6 (not used, -1): 0\n  p7 (not used, -1): 0\n"
                        "fft size: 512 samples\nsample rate: 44100 Hz\nhop: 128 samples\nstored samples: 10\n"
                        "frames: 2 (0.006 s)\nvoiced frames: 1\ncomplete: yes\n");
}

TEST(LvtbInspectModel, ContinuantsAndBadFiles)
{
    lvtest::TempDir dir;
    writeSmallModel(dir.path(), "a_n", 7);
    const auto j = parse(runLvtb({"inspect", "model", (dir / "C4.a_n.LVModel").string(), "--json"}).out);
    EXPECT_EQ(j["kind"].asString(), "continuant");
    EXPECT_EQ(j["markers"].size(), 7u);
    EXPECT_EQ(j["frameCount"].asInt(), 2);

    const auto missing = runLvtb({"inspect", "model", (dir / "C4.ka.LVModel").string()});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind("lvtb: ", 0), 0u);
    EXPECT_EQ(runLvtb({"inspect", "model", (dir / "notamodel.txt").string()}).status, 2);
    EXPECT_EQ(runLvtb({"inspect", "thing", "x"}).status, 2);
}

TEST(LvtbInspectBank, HeaderAndRecords)
{
    lvtest::TempDir dir;
    std::filesystem::create_directories(dir / "models");
    std::filesystem::create_directories(dir / "bank");
    // One voiced unit whose markers pass the check: p0 < p1 < p2 < p3, enough frames, voiced vowel.
    TSVM_V0::TsVoiceModel m;
    for (int i = 0; i < 8; ++i) {
        m.f0.push_back(220.0f);
        m.noiseEnvelope.appendFrame(std::vector<float>(128, -50.0f));
        m.harmonicPhase.appendFrame(std::vector<float>());
        m.spectralEnvelope.appendFrame(std::vector<float>());
        m.glottalIndex.push_back(0);
        m.glottalGain.push_back(0.0f);
        m.bandLevels.appendFrame(std::vector<float>(5, 0.0f));
        m.pulseRatio.push_back(1.0f);
    }
    TSVM_V0::TsVoiceModelCompact c;
    ASSERT_TRUE(TSVM_V0::toCompact(m, c));
    ASSERT_TRUE(TSVM_V0::writeModelFile(std::vector<std::int32_t>{0, 1, 2, 5, 2, 0, -1, -1}, c, dir / "models", "ka", "C4"));
    TSSrcCheckResult result;
    TessarinEngineV6::assembleVoiceBank("ka,k,a|||a,a|", result, dir / "models", dir / "bank", {"C4"});

    const auto r = runLvtb({"inspect", "bank", (dir / "bank").string(), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Json::Value j = parse(r.out);
    EXPECT_EQ(j["header"]["hop"].asInt(), 128);
    EXPECT_EQ(j["header"]["lowestPitch"].asString(), "C1");
    EXPECT_EQ(j["header"]["pitchTable"].asString(), "B3/C4/C4");
    EXPECT_EQ(j["header"]["dictionaryText"].asString(), "ka,k,a|||a,a|");
    EXPECT_EQ(j["header"]["bandEdges"].size(), 5u);
    EXPECT_EQ(j["header"]["setting22"].asInt(), 256);
    EXPECT_NEAR(j["header"]["setting2"].asDouble(), -26.35, 1e-5);
    ASSERT_EQ(j["records"].size(), 1u);
    EXPECT_EQ(j["records"][0]["unit"].asString(), "ka");
    EXPECT_EQ(j["records"][0]["pitch"].asString(), "C4");
    EXPECT_EQ(j["records"][0]["file"].asInt(), 0);
    EXPECT_EQ(j["records"][0]["offset"].asInt(), 0);
    EXPECT_EQ(std::uintmax_t(j["records"][0]["length"].asInt()) + 4, std::filesystem::file_size(dir / "bank" / "TSC"));

    const auto text = runLvtb({"inspect", "bank", (dir / "bank").string()});
    EXPECT_NE(text.out.find("\nrecords: 1\nunit\tpitch\tfile\toffset\tlength\nka\tC4\t0\t0\t"), std::string::npos)
        << text.out;

    EXPECT_EQ(runLvtb({"inspect", "bank", (dir / "nothing").string()}).status, 2);
}
