#include "cli/CliRunner.h"
#include "engine/ModelFile.h"
#include "engine/VoiceBankFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <memory>
#include <random>

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
    markers[2] = 2101978065; // a marker beyond float precision: it must come back exactly
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
                        "  p2 vowel start (INDIE: end point): frame 2101978065\n"
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

// Unreadable model files are exit 2 with what is wrong; readable but cut ones exit 1 and say which
// part is missing; integers stay integers in the JSON.
TEST(LvtbInspectModel, DamagedFilesSayWhatIsWrongAndIntegersStayIntegers)
{
    lvtest::TempDir dir;
    writeSmallModel(dir.path(), "ka", 8);
    const auto path = dir / "C4.ka.LVModel";
    const auto full = runLvtb({"inspect", "model", path.string(), "--json", "--full"});
    ASSERT_EQ(full.status, 0) << full.err;
    EXPECT_NE(full.out.find("\"markers\":[0,1,2101978065,0,"), std::string::npos) << full.out;
    EXPECT_NE(full.out.find("\"glottalIndex\":[99,99]"), std::string::npos) << full.out;

    const auto bytes = lvtest::readFile(path);
    std::mt19937 rng(5);
    std::vector<std::uint8_t> noise(3000);
    for (auto& b : noise) {
        b = std::uint8_t(rng());
    }
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> unreadable = {
        {"ten bytes", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 10)},
        {"random bytes", noise},
    };
    for (const auto& [what, content] : unreadable) {
        lvtest::writeFile(path, content);
        const auto r = runLvtb({"inspect", "model", path.string()});
        EXPECT_EQ(r.status, 2) << what << ": " << r.out;
        EXPECT_EQ(r.err.rfind("lvtb: " + path.string() + ": not a model file (", 0), 0u) << what << ": " << r.err;
    }
    // Cut inside the second frame record: the length (4 bytes), the 96 bytes before the first record
    // (8 markers, 2 sizes, hop, fft size, rate, 10 samples with their count, two empty peak frames
    // with their count, the filler, the frame count) and the 556 of the unvoiced first frame are there.
    lvtest::writeFile(path, std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 700));
    const auto cut = runLvtb({"inspect", "model", path.string()});
    EXPECT_EQ(cut.status, 1) << cut.err;
    EXPECT_NE(cut.out.find("complete: no (missing: frame records 2 to 2 of 2;"), std::string::npos) << cut.out;
    const auto cutJson = parse(runLvtb({"inspect", "model", path.string(), "--json"}).out);
    EXPECT_FALSE(cutJson["complete"].asBool());
    EXPECT_EQ(cutJson["missing"].asString(), "frame records 2 to 2 of 2");
}

// A missing or short content file and an index cut inside a record are named, exit 1; an index
// whose header is cut is not one, exit 2.
TEST(LvtbInspectBank, MissingOrCutFilesAreNamed)
{
    lvtest::TempDir dir;
    const auto bank = dir / "bank";
    std::filesystem::create_directories(dir / "models");
    std::filesystem::create_directories(bank);
    writeSmallModel(dir / "models", "ka", 8);
    TSSrcCheckResult result;
    TessarinEngineV6::assembleVoiceBank("ka,k,a|||a,a|", result, dir / "models", bank, {"C4"});
    // The index holds no record (the small model fails the check): give it two by hand, into TSC and TSC_2.
    std::vector<std::uint8_t> index = lvtest::readFile(bank / "TSI");
    const std::size_t header = index.size();
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            index.push_back(std::uint8_t(v >> (8 * i)));
        }
    };
    for (const std::uint32_t file : {0u, 2u}) {
        put32(24); // record length
        put32(0);
        put32(2);
        index.push_back('k');
        index.push_back('a');
        put32(2);
        index.push_back('C');
        index.push_back('4');
        put32(0); // offset
        put32(file);
    }
    lvtest::writeFile(bank / "TSI", index);
    lvtest::writeFile(bank / "TSC", {1, 0});
    const auto r = runLvtb({"inspect", "bank", bank.string()});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("records: 2\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("problem: TSC: too short (1 records point past its end)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("problem: TSC_2: missing (1 records point into it)\n"), std::string::npos) << r.out;

    lvtest::writeFile(bank / "TSI", std::vector<std::uint8_t>(index.begin(), index.end() - 20));
    const auto cut = parse(runLvtb({"inspect", "bank", bank.string(), "--json"}).out);
    ASSERT_EQ(cut["problems"].size(), 2u);
    EXPECT_EQ(cut["problems"][0].asString(), "TSI: ends inside record 2 (after byte " + std::to_string(header + 28 + 8) + ")");
    EXPECT_EQ(runLvtb({"inspect", "bank", bank.string()}).status, 1);

    lvtest::writeFile(bank / "TSI", std::vector<std::uint8_t>(index.begin(), index.begin() + 40));
    const auto headerCut = runLvtb({"inspect", "bank", bank.string()});
    EXPECT_EQ(headerCut.status, 2) << headerCut.out;
    EXPECT_EQ(headerCut.err, "lvtb: " + bank.string() + "/TSI: not a voice bank index (its header is cut short)\n");
}

// An index over the content file of another build (the torn bank a build killed between two
// renames used to leave) is named, exit 1: blocks that are not where the index says, and content
// after the last block the index knows.
TEST(LvtbInspectBank, AnIndexOverAnotherBuildsContentIsNamed)
{
    lvtest::TempDir dir;
    std::filesystem::create_directories(dir / "models");
    auto model = [&](const std::string& symbol, int frames) {
        TSVM_V0::TsVoiceModel m;
        for (int i = 0; i < frames; ++i) {
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
        ASSERT_TRUE(TSVM_V0::writeModelFile(std::vector<std::int32_t>{0, 1, 2, 5, 2, 0, -1, -1}, c, dir / "models", symbol, "C4"));
    };
    model("ka", 8);
    model("na", 20);
    const std::string both = "ka,k,a;na,n,a|n||a,a|";
    const std::string naOnly = "na,n,a|n||a,a|";
    for (const auto& [name, dictionary] : {std::pair{"both", both}, std::pair{"na", naOnly}}) {
        std::filesystem::create_directories(dir / name);
        TSSrcCheckResult result;
        TessarinEngineV6::assembleVoiceBank(dictionary, result, dir / "models", dir / name, {"C4"});
        const auto r = runLvtb({"inspect", "bank", (dir / name).string()});
        ASSERT_EQ(r.status, 0) << name << ": " << r.out;
    }
    auto mixed = [&](const std::string& indexOf, const std::string& contentOf) {
        const auto folder = dir / ("index of " + indexOf + ", content of " + contentOf);
        std::filesystem::create_directories(folder);
        lvtest::writeFile(folder / "TSI", lvtest::readFile(dir / indexOf / "TSI"));
        lvtest::writeFile(folder / "TSC", lvtest::readFile(dir / contentOf / "TSC"));
        return runLvtb({"inspect", "bank", folder.string()});
    };
    // ka's record finds na's block at offset 0; na's record points into the middle of it.
    const auto newOverOld = mixed("both", "na");
    EXPECT_EQ(newOverOld.status, 1) << newOverOld.out;
    EXPECT_NE(newOverOld.out.find("problem: TSC: does not fit the index (1 records point to no block of it)\n"),
              std::string::npos) << newOverOld.out;
    // na's record finds ka's block; na's own block follows, unknown to the index.
    const auto oldOverNew = mixed("na", "both");
    EXPECT_EQ(oldOverNew.status, 1) << oldOverNew.out;
    EXPECT_NE(oldOverNew.out.find("problem: TSC: does not fit the index ("), std::string::npos) << oldOverNew.out;
    EXPECT_NE(oldOverNew.out.find(" bytes after the last block it points to)\n"), std::string::npos) << oldOverNew.out;
}
