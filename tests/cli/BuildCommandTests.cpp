#include "cli/CliRunner.h"
#include "demo/DemoSinger.h"
#include "engine/AnalysisPipeline.h"
#include "model/CTsVoiceCfgMgr.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <json/json.h>

#include <array>
#include <chrono>
#include <map>
#include <set>
#include <sstream>


namespace fs = std::filesystem;
using lvtest::runLvtb;

namespace {

class BuildCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        const lvdemo::DemoOptions o = lvdemo::smallDemoOptions();
        std::string error;
        const auto demo = lvdemo::writeDemoProject(m_dir.path(), error, o);
        ASSERT_TRUE(demo) << error;
        m_project = demo->projectFile.string();
        m_bank = demo->bankFolder;
    }

    // The text without its times, which differ from run to run.
    static std::string timeless(std::string text)
    {
        // "YYYY-MM-DD hh:mm:ss" after each "build models ", "build voice bank " and "End ".
        for (const std::string lead : {"build models ", "build voice bank ", "End "}) {
            for (std::size_t at = text.find(lead); at != std::string::npos; at = text.find(lead, at + 1)) {
                text.replace(at + lead.size(), 19, "T");
            }
        }
        return text;
    }

    lvtest::TempDir m_dir;
    std::string m_project;
    fs::path m_bank;
};

} // namespace

TEST_F(BuildCommands, BuildPrintsBothTextsAndTheLogHoldsTheSameBytes)
{
    const auto log = (m_dir / "build.log").string();
    const auto r = runLvtb({"build", m_project, "--jobs", "2", "--log", log});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_TRUE(r.err.empty()) << r.err; // no terminal: no progress bar
    const auto logged = lvtest::readFile(log);
    EXPECT_EQ(std::string(logged.begin(), logged.end()), r.out);
    const std::string text = timeless(r.out);
    EXPECT_EQ(text.rfind("-------------Start to build models T-------------\r\n\r\n[1/8] type=CV  pitch=C4  symbol=-ka    >> OK ", 0), 0u)
        << text;
    EXPECT_NE(text.find("\r\n\r\n-------------End T------------\r\n-------------Start to build voice bank T-------------\r\n"
                        "\r\nVoice bank complete !!! \r\n\r\n\r\n-------------End T------------"),
              std::string::npos)
        << text;
    EXPECT_TRUE(fs::exists(m_bank / "TSI"));
    EXPECT_TRUE(fs::exists(m_bank / "voice.tssd"));

    // Again, without --overwrite: every model exists already.
    const auto again = runLvtb({"build-models", m_project, "--jobs", "1"});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("symbol=br    >> OK  >  Model already exists"), std::string::npos) << again.out;
}

TEST_F(BuildCommands, ProblemsExitWithOneAndBadUsageWithTwo)
{
    // A symbol that no location holds.
    const auto missing = runLvtb({"build-models", m_project, "--symbols", "ka, zz", "--jobs", "1"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("Error  > zz not exists in "), std::string::npos) << missing.out;
    EXPECT_NE(missing.out.find("symbol=ka    >> OK "), std::string::npos);

    // The bank of one pitch that has no models.
    ASSERT_EQ(runLvtb({"project", "set", m_project, "pitchList", "D4"}).status, 0);
    const auto bank = runLvtb({"build-bank", m_project});
    EXPECT_EQ(bank.status, 1);
    EXPECT_NE(bank.out.find("Error list :\r\n1\t| type=CV  pitch=D4  symbol= na  Model file not exists."), std::string::npos)
        << bank.out;

    // The build panel's checks come first.
    ASSERT_EQ(runLvtb({"project", "set", m_project, "vowelList", ""}).status, 0);
    const auto empty = runLvtb({"build", m_project});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.out, "Error: Vowel list is empty...\n");

    EXPECT_EQ(runLvtb({"build-models", m_project, "--jobs", "0"}).status, 2);
    EXPECT_EQ(runLvtb({"build-bank", m_project, "--jobs", "2"}).status, 2);
    EXPECT_EQ(runLvtb({"build", (m_dir / "none.lvtb").string()}).status, 2);
}

TEST_F(BuildCommands, RelativeFoldersAreTakenFromTheProjectFilesFolder)
{
    // The demo stores wav/C4, models and bank; a copy of its folder builds into the copy, wherever
    // lvtb is started from.
    const fs::path copy = m_dir / "copy";
    fs::create_directories(copy);
    fs::copy(m_dir / "wav", copy / "wav", fs::copy_options::recursive);
    fs::copy_file(m_project, copy / "demo.lvtb");
    const auto r = runLvtb({"build", (copy / "demo.lvtb").string(), "--jobs=2"});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::exists(copy / "models" / "C4.ka.LVModel"));
    EXPECT_TRUE(fs::exists(copy / "bank" / "TSI"));
    EXPECT_FALSE(fs::exists(m_dir / "models"));
    EXPECT_FALSE(fs::exists(m_bank));

    // An absolute folder is used as it is; "../" climbs from the project's folder.
    const fs::path elsewhere = m_dir / "elsewhere";
    ASSERT_EQ(runLvtb({"project", "set", (copy / "demo.lvtb").string(), "modelFolder", elsewhere.string()}).status, 0);
    ASSERT_EQ(runLvtb({"project", "set", (copy / "demo.lvtb").string(), "voiceBankFolder", "../outside/"}).status, 0);
    EXPECT_EQ(runLvtb({"build", (copy / "demo.lvtb").string(), "--symbols", "ka"}).status, 1); // one symbol: bank incomplete
    EXPECT_TRUE(fs::exists(elsewhere / "C4.ka.LVModel"));
    EXPECT_TRUE(fs::exists(m_dir / "outside" / "TSI"));
}

TEST_F(BuildCommands, OnATerminalTheTextEndsItsLastLineButTheLogDoesNot)
{
    const auto log = (m_dir / "bank.log").string();
    const auto r = runLvtb({"build-bank", m_project, "--log=" + log}, "", true);
    const auto logged = lvtest::readFile(log);
    const std::string text(logged.begin(), logged.end());
    EXPECT_EQ(text.substr(text.size() - 12), "------------");
    EXPECT_EQ(r.out, text + "\r\n");
}

TEST_F(BuildCommands, CoverageNamesWhatIsMissingUnbuiltFailingAndUnneeded)
{
    const fs::path wav = m_dir / "wav" / "C4";
    ASSERT_EQ(runLvtb({"entries", "delete", wav.string(), "C4->-na"}).status, 0);
    ASSERT_EQ(runLvtb({"entries", "copy", wav.string(), "C4->ka", "--symbol", "kaa", "--pitch", "C4"}).status, 0);
    ASSERT_EQ(runLvtb({"build-models", m_project, "--jobs", "2"}).status, 0);
    const fs::path models = m_dir / "models";
    fs::remove(models / "C4.a_k.LVModel");
    lvtest::writeFile(models / "C4.ka.LVModel", {1, 2}); // opens with no markers: a marker error

    const auto r = runLvtb({"coverage", m_project});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("pitch C4: 8 needed, 7 recorded, 6 built, 5 passing\ndictionary: OK! Pass!\n\n"
                          "missing or failing (pitch, unit, what):\n"
                          "C4\tka\tfails the check: Markers sequence error. (code 0)\n"
                          "C4\t-na\tnot recorded\n"
                          "C4\ta_k\tnot built (recorded in " + (wav / "C4_a_k.wav").string() + ")\n\n"
                          "entries no unit needs (location, key, wavName):\n" + wav.string() + "\tC4->kaa\tC4_ka.wav\n", 0),
              0u)
        << r.out;

    Json::Value j;
    Json::CharReaderBuilder builder;
    std::string errors;
    const auto json = runLvtb({"coverage", m_project, "--json"});
    EXPECT_EQ(json.status, 1);
    std::istringstream in(json.out);
    ASSERT_TRUE(Json::parseFromStream(builder, in, &j, &errors)) << errors;
    EXPECT_FALSE(j["complete"].asBool());
    ASSERT_EQ(j["pitches"].size(), 1u);
    EXPECT_EQ(j["pitches"][0]["passing"].asInt(), 5);
    ASSERT_EQ(j["problems"].size(), 3u);
    EXPECT_EQ(j["problems"][0]["unit"].asString(), "ka");
    EXPECT_EQ(j["problems"][0]["code"].asInt(), 0);
    EXPECT_TRUE(j["problems"][0]["built"].asBool());
    EXPECT_FALSE(j["problems"][1]["recorded"].asBool());
    EXPECT_EQ(j["problems"][2]["wavName"].asString(), "C4_a_k.wav");
    EXPECT_FALSE(j["problems"][2]["modelExists"].asBool());
    ASSERT_EQ(j["orphans"].size(), 1u);
    EXPECT_EQ(j["orphans"][0]["key"].asString(), "C4->kaa");

    // A recording changed after its model was built makes the model out of date.
    ASSERT_EQ(runLvtb({"build-models", m_project, "--overwrite", "--symbols", "ka,a_k"}).status, 0);
    fs::last_write_time(wav / "C4_na.wav", fs::last_write_time(models / "C4.na.LVModel") + std::chrono::seconds(5));
    const auto later = runLvtb({"coverage", m_project});
    EXPECT_NE(later.out.find("C4\tna\tout of date: the model is older than " + (wav / "C4_na.wav").string() + "\n"),
              std::string::npos)
        << later.out;
    EXPECT_NE(later.out.find("pitch C4: 8 needed, 7 recorded, 6 built, 7 passing\n"), std::string::npos) << later.out;
}

// lvtb check runs the build's own walk (its threads are under ThreadSanitizer through the build
// commands' tests); a suite of its own keeps it out of that slow run.
using CheckCommand = BuildCommands;

TEST_F(CheckCommand, GivesEveryEntryTheBuildsVerdictWithoutWritingAModel)
{
    // Beside the demo's passing entries, entries made to fail each of the checks.
    const fs::path wav = m_dir / "wav" / "C4";
    const std::array<std::string, 12> pitches = {"D4", "E4", "F4", "G4", "A4", "B4", "C5", "D5", "E5", "F5", "G5", "A5"};
    {
        CTsVoiceCfgMgr mgr;
        ASSERT_EQ(mgr.loadFolder(wav), CTsVoiceCfgMgr::LoadStatus::Loaded);
        const auto cv = [&](const std::string& symbol, const std::string& pitch, const std::string& file,
                            std::array<double, 4> m) {
            auto e = std::make_unique<CTsVoiceCfg_CV>();
            e->wavName = file;
            e->symbol = symbol;
            e->pitch = pitch;
            e->connectPoint = m[0];
            e->preutterance = m[1];
            e->vowelStart = m[2];
            e->vowelEnd = m[3];
            const std::string key = e->entryKey();
            mgr.put(key, std::move(e));
        };
        const auto vx = [&](const std::string& symbol, const std::string& file, double connect, double tail,
                            const std::string& pitch = "C4") {
            auto e = std::make_unique<CTsVoiceCfg_VC>();
            e->wavName = file;
            e->symbol = symbol;
            e->pitch = pitch;
            e->connectPoint = connect;
            e->tailPoint = tail;
            const std::string key = e->entryKey();
            mgr.put(key, std::move(e));
        };
        const auto indie = [&](const std::string& symbol, const std::string& file, double start, double end) {
            auto e = std::make_unique<CTsVoiceCfg_INDIE>();
            e->wavName = file;
            e->symbol = symbol;
            e->pitch = "C4";
            e->startPoint = start;
            e->endPoint = end;
            const std::string key = e->entryKey();
            mgr.put(key, std::move(e));
        };
        cv("-ka", "C4", "C4_-ka.wav", {0.15, 0.30, 0.30, 0.73}); // 0: preutterance = vowel start
        cv("na", "C4", "C4_na.wav", {0.05, 0.29, 0.36, 0.79});   // 1: the voiced n's connect point in silence
        cv("ka", "C4", "C4_ka.wav", {0.15, 0.23, 0.30, 0.95});   // 2: the vowel runs on into silence
        vx("a_k", "C4_a_k.wav", 0.05, 0.68);                     // 3: the continuant starts in silence
        cv("k.a", "C4", "C4_ka.wav", {0.15, 0.23, 0.30, 0.73});  // 4: no full stop in a symbol
        cv("ka", "H4", "C4_ka.wav", {0.15, 0.23, 0.30, 0.73});   // 5: no pitch H
        vx("a_a", "C4_a_k.wav", 0.30, 0.80);                     // 6: into a vowel, through the k
        vx("a_n", "C4_a_n.wav", 0.30, 0.85);                     // 7: into the voiced n, past its end
        indie("ni", "C4_na.wav", 0.2, 0.6);                      // not an independent symbol
        cv("ma", "C4", "missing.wav", {0.15, 0.23, 0.30, 0.73}); // no recording
        // The tail of a_n moved frame by frame across the end of the voicing, at twelve other pitches:
        // where the verdict turns is where the check's frames meet the f0 track.
        for (int i = 0; i < 12; ++i) {
            vx("a_n", "C4_a_n.wav", 0.30, 0.733 + i * 128.0 / 44100.0, pitches[i]);
        }
        ASSERT_TRUE(mgr.save());
    }
    const fs::path models = m_dir / "models";
    ASSERT_FALSE(fs::exists(models));

    const auto check = runLvtb({"check", m_project, "--jobs", "2"});
    EXPECT_EQ(check.status, 1) << check.out << check.err;
    EXPECT_FALSE(fs::exists(models)) << "a check writes no model";
    const auto build = runLvtb({"build-models", m_project, "--overwrite", "--jobs", "1"});
    EXPECT_EQ(build.status, 1) << build.out << build.err;

    // The entry lines of both texts, from the first progress line to the end of the last result.
    const auto entryLines = [](const std::string& text, const std::string& end) {
        const std::size_t from = text.find("\r\n[1/");
        const std::size_t to = text.find(end, from);
        return from == std::string::npos || to == std::string::npos ? std::string() : text.substr(from, to - from);
    };
    const std::string checked = entryLines(check.out, "\r\n\r\n25 entries checked: ");
    ASSERT_FALSE(checked.empty()) << check.out;
    EXPECT_EQ(checked, entryLines(build.out, "\r\n\r\n-------------End ")) << build.out;
    EXPECT_NE(checked.find("symbol=ni    >> Error  >  Symbol type error!"), std::string::npos) << checked;
    EXPECT_NE(checked.find("symbol=ma    >> Error  >  wav reading error:"), std::string::npos) << checked;

    // The same verdicts as JSON, every check's code among them.
    const auto json = runLvtb({"check", m_project, "--json", "--jobs", "1"});
    EXPECT_EQ(json.status, 1);
    Json::Value j;
    Json::CharReaderBuilder reader;
    std::string errors;
    std::istringstream in(json.out);
    ASSERT_TRUE(Json::parseFromStream(reader, in, &j, &errors)) << errors << json.out;
    ASSERT_EQ(j["entries"].size(), 25u);
    std::set<int> codes;
    for (const Json::Value& e : j["entries"]) {
        EXPECT_EQ(e["location"].asString(), wav.string());
        EXPECT_EQ(e["ok"].asBool(), e["messages"].empty()) << e;
        for (const Json::Value& code : e["codes"]) {
            codes.insert(code.asInt());
        }
        const std::string key = e["key"].asString();
        const std::string line =
            "pitch=" + key.substr(0, key.find("->")) + "  symbol=" + key.substr(key.find("->") + 2) + "    >> ";
        const std::size_t at = checked.find(line);
        ASSERT_NE(at, std::string::npos) << e;
        EXPECT_EQ(checked.compare(at + line.size(), 2, "OK") == 0, e["ok"].asBool()) << e;
    }
    EXPECT_EQ(codes, (std::set<int>{0, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(j["summary"]["passing"].asInt() + j["summary"]["failing"].asInt(), 25);
    // The sweep's verdict turns within it: passing tails first, then failing ones.
    std::map<std::string, Json::Value> byKey;
    for (const Json::Value& e : j["entries"]) {
        byKey[e["key"].asString()] = e;
    }
    std::string sweep;
    for (const std::string& pitch : pitches) {
        sweep += byKey.at(pitch + "->a_n")["ok"].asBool() ? 'P' : 'F';
    }
    EXPECT_EQ(sweep.find_first_not_of('P'), sweep.find('F')) << sweep;
    EXPECT_EQ(sweep.find_first_of('P'), 0u) << sweep;
    EXPECT_NE(sweep.find('F'), std::string::npos) << sweep;
    EXPECT_EQ(sweep.find('P', sweep.find('F')), std::string::npos) << sweep;
    EXPECT_EQ(byKey.at("C4->-ka")["messages"][0].asString(), "Markers sequence error.");
    EXPECT_EQ(byKey.at("C4->ni")["messages"][0].asString(), "Symbol type error!");
    EXPECT_TRUE(byKey.at("C4->-na")["ok"].asBool());

    // After the build, the units it wrote pass without analysis, until their inputs or their model
    // change: here -na's markers (now out of order) and the bytes of a_-'s model.
    const int passing = j["summary"]["passing"].asInt();
    EXPECT_EQ(j["summary"]["unchangedSinceLastBuild"].asInt(), passing);
    {
        CTsVoiceCfgMgr mgr;
        ASSERT_EQ(mgr.loadFolder(wav), CTsVoiceCfgMgr::LoadStatus::Loaded);
        auto& na = dynamic_cast<CTsVoiceCfg_CV&>(*mgr.findKey("C4->-na"));
        na.preutterance = na.vowelStart;
        ASSERT_TRUE(mgr.save());
    }
    ASSERT_TRUE(byKey.at("C4->a_-")["ok"].asBool());
    std::vector<std::uint8_t> model = lvtest::readFile(models / "C4.a_-.LVModel");
    ASSERT_FALSE(model.empty());
    model.push_back(0);
    lvtest::writeFile(models / "C4.a_-.LVModel", model);
    const auto again = runLvtb({"check", m_project, "--json", "--jobs", "2"});
    Json::Value k;
    std::istringstream againIn(again.out);
    ASSERT_TRUE(Json::parseFromStream(reader, againIn, &k, &errors)) << errors << again.out;
    EXPECT_EQ(k["summary"]["passing"].asInt(), passing - 1);
    EXPECT_EQ(k["summary"]["unchangedSinceLastBuild"].asInt(), passing - 2);
    for (const Json::Value& e : k["entries"]) {
        if (e["key"].asString() == "C4->-na") {
            EXPECT_EQ(e["messages"][0].asString(), "Markers sequence error.") << e;
        } else {
            EXPECT_EQ(e, byKey.at(e["key"].asString()));
        }
    }
    const auto text = runLvtb({"check", m_project, "--jobs", "1"});
    EXPECT_NE(text.out.find("\r\n\r\n25 entries checked: " + std::to_string(passing - 1) + " pass, " +
                            std::to_string(26 - passing) + " fail; " + std::to_string(passing - 2) +
                            " unchanged since the last build\r\n"),
              std::string::npos)
        << text.out;

    EXPECT_EQ(runLvtb({"check", m_project, "--jobs", "0"}).status, 2);
    EXPECT_EQ(runLvtb({"check", (m_dir / "none.lvtb").string()}).status, 2);
}

namespace {

// Every model file of a folder with its bytes (the manifest left out).
std::map<std::string, std::vector<std::uint8_t>> modelFiles(const fs::path& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& f : fs::directory_iterator(folder)) {
        if (f.path().extension() == ".LVModel") {
            files[f.path().filename().string()] = lvtest::readFile(f.path());
        }
    }
    return files;
}


} // namespace

TEST_F(BuildCommands, IncrementalBuildsAnalyseWhatChangedAndEqualAFullBuild)
{
    // A second project over the same recordings whose models are always built in full, on one thread.
    const std::string full = (m_dir / "full.lvtb").string();
    fs::copy_file(m_project, full);
    ASSERT_EQ(runLvtb({"project", "set", full, "modelFolder", "full"}).status, 0);
    const fs::path models = m_dir / "models";
    const fs::path manifest = models / "build-models.manifest";
    const std::string skipped = "OK  >  Model up to date, skipped";
    const auto incremental = [&](std::size_t expectSkipped, const char* step) {
        const auto r = runLvtb({"build-models", m_project, "--incremental", "--jobs", "2"});
        EXPECT_EQ(r.status, 0) << step << "\n" << r.out << r.err;
        EXPECT_EQ(lvtest::occurrences(r.out, skipped), expectSkipped) << step << "\n" << r.out;
        EXPECT_EQ(lvtest::occurrences(r.out, ">> OK"), 8u) << step;
    };
    const auto fullBuild = [&] { ASSERT_EQ(runLvtb({"build-models", full, "--overwrite", "--jobs", "1"}).status, 0); };
    const auto same = [&](const char* step) {
        const auto a = modelFiles(models);
        EXPECT_EQ(a.size(), 8u) << step;
        EXPECT_TRUE(a == modelFiles(m_dir / "full")) << step << ": the models differ from a full build";
    };

    // Every build records what it wrote, so an incremental build right after a first build, after a
    // full one, or after a full one of some symbols only, analyses nothing.
    const auto build = [&](std::vector<std::string> options, const char* step) {
        options.insert(options.begin(), {"build-models", m_project});
        const auto r = runLvtb(options);
        EXPECT_EQ(r.status, 0) << step << "\n" << r.out << r.err;
        EXPECT_EQ(lvtest::occurrences(r.out, skipped), 0u) << step << "\n" << r.out;
    };
    ASSERT_FALSE(fs::exists(manifest));
    build({"--jobs", "2"}, "first build");
    ASSERT_TRUE(fs::exists(manifest));
    incremental(8, "after a first build");
    build({"--overwrite", "--jobs", "1"}, "full build");
    incremental(8, "after a full build");
    build({"--overwrite", "--symbols", "ka", "--jobs", "2"}, "full build of one symbol");
    incremental(8, "after a full build of one symbol");
    fullBuild();
    same("first build");

    // Nothing changed; a model file changed by hand since is built again.
    lvtest::writeFile(models / "C4.na.LVModel", {0, 0, 0, 0});
    incremental(7, "one model damaged");
    same("one model damaged");

    // A recording touched without a change, and one whose samples changed.
    const fs::path wav = m_dir / "wav" / "C4";
    fs::last_write_time(wav / "C4_na.wav", fs::file_time_type::clock::now());
    auto bytes = lvtest::readFile(wav / "C4_ka.wav");
    bytes[bytes.size() / 2] ^= 0x40;
    lvtest::writeFile(wav / "C4_ka.wav", bytes);
    incremental(7, "one recording changed");
    fullBuild();
    same("one recording changed");

    // One entry's vowel start moved by 10 ms: the region cut out stays the same.
    const auto listed = runLvtb({"entries", "list", wav.string()}).out;
    const std::size_t line = listed.find("C4->na\tCV\t");
    ASSERT_NE(line, std::string::npos) << listed;
    std::istringstream fields(listed.substr(line, listed.find('\n', line) - line));
    std::string key, kind, wavName;
    double t[4] = {};
    fields >> key >> kind >> wavName >> t[0] >> t[1] >> t[2] >> t[3];
    ASSERT_EQ(runLvtb({"entries", "put", wav.string(), "--kind", "CV", "--wav", wavName, "--pitch", "C4", "--symbol",
                       "na", "--markers",
                       std::to_string(t[0]) + "," + std::to_string(t[1]) + "," + std::to_string(t[2] + 0.01) + "," +
                           std::to_string(t[3])})
                  .status,
              0);
    incremental(7, "one entry's markers moved");
    fullBuild();
    same("one entry's markers moved");

    // A damaged manifest, or one of another analysis version, means a full build.
    auto text = lvtest::readFile(manifest);
    std::string cut(text.begin(), text.end());
    cut.resize(cut.rfind('\n', cut.size() - 2) + 1); // the closing line gone: every record line whole
    cut.resize(cut.rfind('\n', cut.size() - 2) + 1); // and the last record
    lvtest::writeFile(manifest, std::vector<std::uint8_t>(cut.begin(), cut.end()));
    incremental(0, "manifest cut short");
    same("manifest cut short");
    text = lvtest::readFile(manifest);
    const std::string other(text.begin(), text.end());
    const std::string version = "\nanalysis " + std::to_string(TessarinEngineV6::kAnalysisVersion) + "\n";
    ASSERT_NE(other.find(version), std::string::npos);
    std::string changed = other;
    changed.replace(changed.find(version), version.size(), "\nanalysis 0\n");
    lvtest::writeFile(manifest, std::vector<std::uint8_t>(changed.begin(), changed.end()));
    incremental(0, "another analysis version");
    same("another analysis version");

    EXPECT_EQ(runLvtb({"build-models", m_project, "--incremental", "--overwrite"}).status, 2);
}

TEST_F(BuildCommands, DemoRefusesAFolderInUse)
{
    const auto r = runLvtb({"demo", "--out", m_dir.path().string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("exists and is not empty"), std::string::npos);
}
