#include "builder/BuildTextRenderer.h"
#include "builder/FolderCheck.h"
#include "builder/VoiceBankBuilder.h"
#include "demo/DemoSinger.h"
#include "engine/BankReader.h"
#include "engine/ModelFile.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/ProjectFile.h"
#include "model/ProjectPaths.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <cstdlib>

namespace fs = std::filesystem;

namespace {

// A small demo: C4 only, vowel a, consonants n and k: na, ka, -na, -ka, a_-, a_n, a_k and br.

std::string fixedClock() { return "T"; }

std::map<std::string, std::vector<std::uint8_t>> filesIn(const fs::path& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& e : fs::directory_iterator(folder)) {
        files[e.path().filename().string()] = lvtest::readFile(e.path());
    }
    return files;
}


// Sets the stop flag when a given entry starts.
class StopAt : public CTSVoiceBankUtilDelegate {
public:
    StopAt(BuildContext& context, BuildTextRenderer& text, int entry) : m_context(context), m_text(text), m_entry(entry) {}
    void onProgress(const std::string& line) override
    {
        m_text.onProgress(line);
        if (++m_started == m_entry) {
            m_context.stop.store(1);
        }
    }
    void onEntryResult(const TSSrcCheckResult& r, const std::string& line) override { m_text.onEntryResult(r, line); }
    void onFinished(const TSSrcCheckResult& r) override { m_text.onFinished(r); }

private:
    BuildContext& m_context;
    BuildTextRenderer& m_text;
    int m_entry;
    int m_started = 0;
};

class Builder : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        auto demo = lvdemo::writeDemoProject(m_dir.path(), error, lvdemo::smallDemoOptions());
        ASSERT_TRUE(demo) << error;
        m_demo = *demo;
        auto read = readProjectFile(m_demo.projectFile);
        ASSERT_EQ(read.status, ProjectReadStatus::ok);
        m_project = std::move(read.model);
        resolveProjectFolders(*m_project, m_demo.projectFile);
        m_dictionary = PhoneticDictionary::fromProject(*m_project);
    }

    std::string buildModelsInto(const fs::path& models, int jobs, bool skipExisting = false)
    {
        fs::create_directories(models);
        BuildTextRenderer text(fixedClock);
        BuildContext context;
        context.delegate = &text;
        context.jobs = jobs;
        text.beginModels();
        buildModels(context, m_dictionary, m_project->wavLocations, models.string(), std::nullopt, skipExisting);
        text.end();
        EXPECT_EQ(context.done, context.total);
        return text.text();
    }

    lvtest::TempDir m_dir;
    lvdemo::DemoProject m_demo;
    std::unique_ptr<TSTBCurrentModel::CTsToolBoxProjModel> m_project;
    PhoneticDictionary m_dictionary;
};

} // namespace

TEST(BuilderTexts, PitchNormalisationAndCodeTexts)
{
    EXPECT_EQ(normalisePitch("f#4"), "F#4");
    EXPECT_EQ(normalisePitch("EB3"), "Eb3");
    EXPECT_EQ(normalisePitch("e4"), "E4");
    EXPECT_EQ(normalisePitch("c"), "c");
    EXPECT_EQ(normalisePitch(""), "");
    EXPECT_EQ(resultCodeText(-2), "Model file not exists.");
    EXPECT_EQ(resultCodeText(-1), "File create failed.");
    EXPECT_EQ(resultCodeText(2), "Unvoiced part exists in vowel.");
    EXPECT_EQ(resultCodeText(7), "Unvoiced part exists in continuant to voiced consonant.");
    EXPECT_EQ(resultCodeText(8), "");
}

TEST(BuilderTexts, TheProgressTextAsTheDialogAppendsIt)
{
    BuildTextRenderer text(fixedClock);
    text.beginModels();
    text.onProgress("[1/2] type=CV  pitch=C4  symbol=ka");
    TSSrcCheckResult ok;
    ok.ok = true;
    text.onEntryResult(ok, "x");
    text.onProgress("[2/2] type=CV  pitch=D4  symbol=ka");
    TSSrcCheckResult vowel;
    vowel.messages = {"type=CV  pitch=D4  symbol= ka"};
    vowel.codes = {2};
    text.onEntryResult(vowel, "x");
    TSSrcCheckResult missing;
    missing.messages = {"ka not exists in /w"};
    text.onEntryResult(missing, "");
    text.end();
    EXPECT_EQ(text.text(), "-------------Start to build models T-------------\r\n"
                           "\r\n[1/2] type=CV  pitch=C4  symbol=ka    >> OK "
                           "\r\n[2/2] type=CV  pitch=D4  symbol=ka    >> Error  >   Unvoiced part exists in vowel."
                           "Error  > ka not exists in /w"
                           "\r\n\r\n-------------End T------------");
    EXPECT_TRUE(text.sawError());

    BuildTextRenderer bank(fixedClock);
    bank.beginVoiceBank();
    TSSrcCheckResult problems;
    problems.messages = {"type=CV  pitch=C4  symbol= -ka", " "};
    problems.codes = {-2, -1};
    bank.onFinished(problems);
    EXPECT_EQ(bank.text(), "-------------Start to build voice bank T-------------\r\n"
                           "\r\nError list :"
                           "\r\n1\t| type=CV  pitch=C4  symbol= -ka  Model file not exists."
                           "\r\n2\t|    File create failed.");
    BuildTextRenderer good(fixedClock);
    TSSrcCheckResult fine;
    fine.ok = true;
    good.onFinished(fine);
    EXPECT_EQ(good.text(), "\r\nVoice bank complete !!! \r\n");
    TSSrcCheckResult skipped;
    skipped.ok = true;
    skipped.messages = {" Model already exists"};
    good.onEntryResult(skipped, "l");
    EXPECT_EQ(good.text(), "\r\nVoice bank complete !!! \r\nOK  >  Model already exists");
}

TEST_F(Builder, BothBuildsRunCleanOnTheDemo)
{
    const std::string text = buildModelsInto(m_demo.modelFolder, 1);
    EXPECT_EQ(lvtest::occurrences(text, "    >> OK "), 8u) << text;
    EXPECT_EQ(lvtest::occurrences(text, "Error"), 0u);
    EXPECT_NE(text.find("\r\n[1/8] type=CV  pitch=C4  symbol=-ka    >> OK "), std::string::npos) << text;
    for (const char* name : {"C4.na.LVModel", "C4.ka.LVModel", "C4.-na.LVModel", "C4.-ka.LVModel", "C4.a_-.LVModel",
                             "C4.a_n.LVModel", "C4.a_k.LVModel", "C4.br.LVModel"}) {
        EXPECT_TRUE(fs::exists(m_demo.modelFolder / name)) << name;
    }

    fs::create_directories(m_demo.bankFolder);
    BuildTextRenderer bank(fixedClock);
    BuildContext context;
    context.delegate = &bank;
    buildVoiceBank(context, m_dictionary, {"c4"}, "Lirvane Demo", m_demo.modelFolder.string(), m_demo.bankFolder.string());
    EXPECT_EQ(bank.text(), "\r\nVoice bank complete !!! \r\n");
    const lvtest::Index index = lvtest::readIndex(m_demo.bankFolder / "TSI");
    ASSERT_EQ(index.records.size(), 8u);
    EXPECT_EQ(index.records[0].unit, "na");
    EXPECT_EQ(index.records[0].pitch, "C4");
    EXPECT_EQ(index.records[7].unit, "br");
    EXPECT_EQ(index.table, "B3/C4/C4");
    const auto blocks = lvtest::readContent(m_demo.bankFolder / "TSC", 7);
    ASSERT_EQ(blocks.size(), 8u);
    for (std::size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(blocks[i].offset, index.records[i].offset);
    }
    const auto tssd = lvtest::readFile(m_demo.bankFolder / "voice.tssd");
    EXPECT_EQ(std::string(tssd.begin(), tssd.end()), "{\r\n   \"name\" : \"Lirvane Demo\",\r\n   \"version\" : \"6.1\"\r\n}\r\n");
}

TEST_F(Builder, OneJobAndTwoJobsGiveTheSameFilesAndText)
{
    const std::string one = buildModelsInto(m_dir / "models1", 1);
    const std::string two = buildModelsInto(m_dir / "models2", 2);
    EXPECT_EQ(one, two);
    const auto a = filesIn(m_dir / "models1");
    const auto b = filesIn(m_dir / "models2");
    ASSERT_EQ(a.size(), 8u);
    EXPECT_TRUE(a == b);
}

TEST_F(Builder, StopEndsTheBuildAfterTheEntryInProgress)
{
    for (const int jobs : {1, 2}) {
        const fs::path models = m_dir / ("stopped" + std::to_string(jobs));
        fs::create_directories(models);
        BuildTextRenderer text(fixedClock);
        BuildContext context;
        context.jobs = jobs;
        // With two workers, reports trail the analysis; stopping at the first report leaves at most the
        // entries already under way to finish.
        StopAt stopper(context, text, jobs == 1 ? 5 : 1);
        context.delegate = &stopper;
        buildModels(context, m_dictionary, m_project->wavLocations, models.string(), std::nullopt, false);
        if (jobs == 1) {
            // Entry 5 is built to the end and no further entry starts.
            EXPECT_EQ(context.done, 5);
            EXPECT_EQ(lvtest::occurrences(text.text(), ">> OK "), 5u);
        } else {
            // Entries already under way finish and are reported; none starts after the stop. Entries
            // start at most four (twice the jobs) ahead of the last report, so a stop at the first
            // report leaves at most the first four, however late the reports come.
            EXPECT_GE(context.done, 1);
            EXPECT_LE(context.done, 4);
        }
        EXPECT_EQ(std::size_t(std::distance(fs::directory_iterator(models), fs::directory_iterator())),
                  std::size_t(context.done));
    }
}

TEST_F(Builder, SkipExistingReportsWithoutReadingTheRecording)
{
    buildModelsInto(m_demo.modelFolder, 1);
    fs::remove(m_demo.wavLocations[0] / "C4_ka.wav");
    const std::string again = buildModelsInto(m_demo.modelFolder, 1, true);
    EXPECT_EQ(lvtest::occurrences(again, "OK  >  Model already exists"), 8u) << again;
    const std::string rebuilt = buildModelsInto(m_demo.modelFolder, 1, false);
    EXPECT_NE(rebuilt.find("symbol=ka    >> Error  >  wav reading error:" + (m_demo.wavLocations[0] / "C4_ka.wav").string()),
              std::string::npos)
        << rebuilt;
}

TEST_F(Builder, EntriesThatCannotBeBuiltAreReportedAndTheBuildGoesOn)
{
    // A folder of hand-made entries over copies of the demo's ka recording (1.05 s).
    const fs::path folder = m_dir / "odd";
    fs::create_directories(folder);
    const fs::path ka = m_demo.wavLocations[0] / "C4_ka.wav";
    fs::copy_file(ka, folder / "take.WAV");
    const std::string encode = "lame --quiet '" + ka.string() + "' '" + (folder / "take.mp3").string() + "'";
    ASSERT_EQ(std::system(encode.c_str()), 0) << encode;
    CTsVoiceCfgMgr mgr;
    mgr.loadFolder(folder);
    // The recording: silence to 0.15 s, k to 0.23 s, the vowel to 0.88 s.
    auto cv = [&](const std::string& symbol, const std::string& pitch, const std::string& wav, double connect,
                  double preutterance = 0.29, double vowelStart = 0.36) {
        auto e = std::make_unique<CTsVoiceCfg_CV>();
        e->symbol = symbol;
        e->pitch = pitch;
        e->wavName = wav;
        e->connectPoint = connect;
        e->preutterance = std::max(preutterance, connect + 0.1);
        e->vowelStart = std::max(vowelStart, connect + 0.17);
        e->vowelEnd = e->vowelStart + 0.33;
        const std::string key = e->entryKey();
        mgr.put(key, std::move(e));
    };
    cv("ka", "e4", "take.WAV", 0.19);    // pitch normalised in the model file name
    cv("ka", "D4", "take.mp3", 0.19);    // an mp3 is a format error
    cv("ka", "F4", "missing.wav", 0.19); // unreadable
    cv("ka", "G4", "take.WAV", 5.0);     // the region lies past the end of the recording
    cv("ka", "A4", "take.WAV", 0.04, 0.14, 0.36); // the region starts at −0.02 s
    auto breath = std::make_unique<CTsVoiceCfg_INDIE>();
    breath->symbol = "hh"; // not an independent symbol of the dictionary
    breath->pitch = "C4";
    breath->wavName = "take.WAV";
    breath->startPoint = 0.1;
    breath->endPoint = 0.5;
    const std::string breathKey = breath->entryKey();
    mgr.put(breathKey, std::move(breath));
    ASSERT_TRUE(mgr.save());

    const fs::path models = m_dir / "oddModels";
    fs::create_directories(models);
    BuildTextRenderer text(fixedClock);
    BuildContext context;
    context.delegate = &text;
    // Locations that give no entries at all: one line each, and no "not exists in" after it.
    lvtest::writeFile(m_dir / "a file", {1});
    fs::create_symlink(m_dir / "loop b", m_dir / "loop a");
    fs::create_symlink(m_dir / "loop a", m_dir / "loop b");
    fs::create_directories(m_dir / "unreadable");
    lvtest::writeFile(m_dir / "unreadable" / "voice.lvcfg", {'{', '"'});
    fs::create_directories(m_dir / "empty");
    const std::vector<std::string> locations{folder.string(),           (m_dir / "no such folder").string(),
                                             (m_dir / "a file").string(), (m_dir / "loop a").string(),
                                             (m_dir / "unreadable").string(), (m_dir / "empty").string()};
    buildModels(context, m_dictionary, locations, models.string(), std::vector<std::string>{"ka", "hh"}, true);
    const std::string t = text.text();
    EXPECT_EQ(context.total, 6);
    EXPECT_NE(t.find("pitch=e4  symbol=ka    >> OK "), std::string::npos) << t;
    EXPECT_TRUE(fs::exists(models / "E4.ka.LVModel"));
    EXPECT_NE(t.find("pitch=D4  symbol=ka    >> Error  >  format error:" + (folder / "take.mp3").string()), std::string::npos) << t;
    EXPECT_NE(t.find("pitch=F4  symbol=ka    >> Error  >  wav reading error:" + (folder / "missing.wav").string()),
              std::string::npos);
    EXPECT_NE(t.find("pitch=G4  symbol=ka    >> Error  >  Marker error!"), std::string::npos);
    EXPECT_NE(t.find("type=INDIE  pitch=C4  symbol=hh    >> Error  >  Symbol type error!"), std::string::npos);
    EXPECT_FALSE(fs::exists(models / "C4.hh.LVModel"));
    // Each location line is a line of its own (the first begins the text: no header here).
    EXPECT_EQ(t.find("Error  >  wav location error:" + locations[1] + " (no such folder)\r\nError  > "), 0u) << t;
    EXPECT_NE(t.find("\r\nError  >  wav location error:" + locations[2] + " (not a folder)"), std::string::npos) << t;
    EXPECT_NE(t.find("\r\nError  >  wav location error:" + locations[3] + " (Too many levels of symbolic links)"),
              std::string::npos) << t;
    EXPECT_NE(t.find("\r\nError  >  voice.lvcfg reading error:" + locations[4] + "/voice.lvcfg (is not JSON"),
              std::string::npos) << t;
    EXPECT_EQ(lvtest::occurrences(t, "not exists in"), 2u) << "only for the folder that was read and has no such entry";
    // The two reports of the empty folder follow on a line of their own.
    EXPECT_NE(t.find(")\r\nError  > ka not exists in " + locations[5] + "Error  > hh not exists in " + locations[5] + "\r\n["),
              std::string::npos) << t;
    EXPECT_TRUE(text.sawError());
    // The A4 entry cut from sample 0: its markers are relative to 0, not to −0.02 s.
    const auto a4 = TSVM_V0::readModelFile(models / "A4.ka.LVModel", TSVM_V0::kVoiceMarkerCount);
    ASSERT_TRUE(a4) << t;
    EXPECT_EQ(a4->markers[0], 13); // 0.04 s · 44100 / 128 = 13.8
    EXPECT_EQ(a4->markers[1], 48); // 0.14 s
}

TEST_F(Builder, AModelFolderThatCannotBeWrittenShowsInBothBuilds)
{
    const fs::path models = m_dir / "missing" / "models";
    BuildTextRenderer text(fixedClock);
    BuildContext context;
    context.delegate = &text;
    buildModels(context, m_dictionary, m_project->wavLocations, models.string(), std::vector<std::string>{"ka"}, false);
    EXPECT_NE(text.text().find("symbol=ka    >> Error  >   File create failed."), std::string::npos) << text.text();

    BuildTextRenderer bank(fixedClock);
    BuildContext bankContext;
    bankContext.delegate = &bank;
    buildVoiceBank(bankContext, m_dictionary, {"C4"}, "x", models.string(), (m_dir / "nowhere" / "bank").string());
    EXPECT_NE(bank.text().find("Error list :\r\n1\t|    File create failed."), std::string::npos) << bank.text();
}

TEST_F(Builder, LocationsWithSpacesAndNonAsciiLettersBuild)
{
    const fs::path odd = m_dir / "wav folder" / "Ünïcode 歌声";
    fs::create_directories(odd);
    fs::copy_file(m_demo.wavLocations[0] / "C4_ka.wav", odd / "take one é.wav");
    CTsVoiceCfgMgr mgr;
    mgr.loadFolder(odd);
    auto e = std::make_unique<CTsVoiceCfg_CV>();
    e->symbol = "ka";
    e->pitch = "C4";
    e->wavName = "take one é.wav";
    e->connectPoint = 0.15;
    e->preutterance = 0.25;
    e->vowelStart = 0.32;
    e->vowelEnd = 0.7;
    const std::string key = e->entryKey();
    mgr.put(key, std::move(e));
    ASSERT_TRUE(mgr.save());
    const fs::path models = m_dir / "módels";
    fs::create_directories(models);
    BuildTextRenderer text(fixedClock);
    BuildContext context;
    context.delegate = &text;
    buildModels(context, m_dictionary, {odd.string()}, models.string(), std::nullopt, false);
    EXPECT_NE(text.text().find("symbol=ka    >> OK "), std::string::npos) << text.text();
    EXPECT_TRUE(fs::exists(models / "C4.ka.LVModel"));
}

// A bank build whose files cannot all be written leaves the old bank whole, its description
// included; a build that succeeds removes every continuation file the new bank does not use, even
// past a gap in their numbers.
TEST_F(Builder, ABankIsReplacedWholeOrNotAtAll)
{
    const fs::path models = m_dir / "models";
    buildModelsInto(models, 1);
    const fs::path bank = m_dir / "bank";
    fs::create_directories(bank);
    for (const char* stale : {"TSC_1", "TSC_2", "TSC_5"}) {
        lvtest::writeFile(bank / stale, {1, 2, 3});
    }
    lvtest::writeFile(bank / "TSC_05", {1}); // not a name the bank writes: not the bank's to remove
    BuildContext context;
    buildVoiceBank(context, m_dictionary, {"C4"}, "first", models.string(), bank.string());
    EXPECT_FALSE(fs::exists(bank / "TSC_1"));
    EXPECT_FALSE(fs::exists(bank / "TSC_5"));
    EXPECT_TRUE(fs::exists(bank / "TSC_05"));
    const auto description = lvtest::readFile(bank / "voice.tssd");
    const auto index = lvtest::readFile(bank / "TSI");

    // The index cannot be replaced (a folder stands in its place): nothing of the new bank is installed.
    fs::remove(bank / "TSI");
    fs::create_directories(bank / "TSI" / "in the way");
    BuildTextRenderer text(fixedClock);
    context.delegate = &text;
    buildVoiceBank(context, m_dictionary, {"C4"}, "second", models.string(), bank.string());
    EXPECT_NE(text.text().find("File create failed."), std::string::npos) << text.text();
    EXPECT_EQ(lvtest::readFile(bank / "voice.tssd"), description);
}

// The list's check of one folder: every entry's verdict, in the build's order, from a worker; a
// check that is still running when its owner goes is stopped and waited for.
TEST_F(Builder, AFolderCheckReportsEveryEntryFromItsWorker)
{
    const fs::path folder = m_project->wavLocations.at(0);
    CTsVoiceCfgMgr mgr;
    ASSERT_EQ(mgr.loadFolder(folder), CTsVoiceCfgMgr::LoadStatus::Loaded);
    const std::string first = mgr.entries().front()->entryKey();
    ASSERT_EQ(copyEntry(mgr, first, "ka", "H4"), EntryUpdate::Done); // no pitch name: refused
    const std::size_t entries = mgr.entries().size();

    std::mutex lock;
    std::condition_variable finishedChanged;
    std::vector<FolderCheck::Verdict> verdicts;
    std::vector<std::thread::id> threads;
    int finished = 0;
    bool stopped = true;
    {
        FolderCheck check;
        check.onVerdict = [&](const FolderCheck::Verdict& v) {
            const std::lock_guard<std::mutex> hold(lock);
            verdicts.push_back(v);
            threads.push_back(std::this_thread::get_id());
        };
        check.onFinished = [&](bool wasStopped) {
            const std::lock_guard<std::mutex> hold(lock);
            ++finished;
            stopped = wasStopped;
            finishedChanged.notify_all();
        };
        check.start(m_dictionary, folder.string(), std::string(), 2);
        std::unique_lock<std::mutex> wait(lock);
        ASSERT_TRUE(finishedChanged.wait_for(wait, std::chrono::seconds(60), [&] { return finished > 0; }));
    }
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(stopped);
    ASSERT_EQ(verdicts.size(), entries);
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        const FolderCheck::Verdict& v = verdicts[i];
        EXPECT_EQ(v.done, int(i) + 1);
        EXPECT_EQ(v.total, int(entries));
        EXPECT_NE(threads[i], std::this_thread::get_id()) << "reported from the worker";
        if (v.key == "H4->ka") {
            EXPECT_FALSE(v.ok);
            EXPECT_EQ(v.text, "Pitch symbol error.");
        } else {
            EXPECT_TRUE(v.ok) << v.key << ": " << v.text;
            EXPECT_EQ(v.text, "pass");
        }
    }
    // Keys in the build's order: the file's key order.
    std::vector<std::string> keys;
    for (const auto& v : verdicts) {
        keys.push_back(v.key);
    }
    EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));

    // Gone while it runs: stopped (though asked before the build began), and the worker is waited
    // for before the callbacks' state goes.
    finished = 0;
    verdicts.clear();
    {
        FolderCheck check;
        check.onVerdict = [&](const FolderCheck::Verdict& v) {
            const std::lock_guard<std::mutex> hold(lock);
            verdicts.push_back(v);
        };
        check.onFinished = [&](bool wasStopped) {
            const std::lock_guard<std::mutex> hold(lock);
            ++finished;
            stopped = wasStopped;
        };
        check.start(m_dictionary, folder.string(), std::string(), 1);
    }
    EXPECT_EQ(finished, 1);
    EXPECT_TRUE(stopped);
    EXPECT_LT(verdicts.size(), entries) << "no entry starts after the stop";
}
