// Every file the program writes is replaced whole or not at all: a process killed at any moment of a
// save leaves the complete old file or the complete new one. Each test saves two versions in turn in
// a child process, kills it after a random moment, and reads what is left with the program's readers.

#include "builder/VoiceBankBuilder.h"
#include "core/FileSet.h"
#include "engine/ModelFile.h"
#include "engine/VoiceBankFiles.h"
#include "model/CAppConfigModel.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/ProjectFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 12;

// Saves version 0 and 1 in turn in a child process until it is killed, kills it after a random
// delay, and lets check() judge what is left; repeated kRounds times. Every version is saved once
// before the first kill, so a file always exists.
void killDuringSaves(const std::function<void(int)>& save, const std::function<void()>& check)
{
    save(0);
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> delayUs(200, 20000);
    for (int round = 0; round < kRounds; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 1;; ++i) {
                save(i % 2);
            }
        }
        ::usleep(useconds_t(delayUs(rng)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        check();
    }
}

TSVM_V0::TsVoiceModelCompact materialOf(int frames)
{
    TSVM_V0::TsVoiceModel m;
    for (int i = 0; i < frames; ++i) {
        m.f0.push_back(200.0f);
        m.noiseEnvelope.appendFrame(std::vector<float>(128, -40.0f));
        m.harmonicPhase.appendFrame(std::vector<float>(50, 0.1f));
        m.spectralEnvelope.appendFrame(std::vector<float>(256, -3.0f));
        m.glottalIndex.push_back(99);
        m.glottalGain.push_back(-70.0f);
        m.bandLevels.appendFrame(std::vector<float>(5, 0.1f));
        m.pulseRatio.push_back(0.5f);
    }
    TSVM_V0::TsVoiceModelCompact c;
    TSVM_V0::toCompact(m, c);
    return c;
}

} // namespace

TEST(CrashSafety, VoiceConfigurationFile)
{
    lvtest::TempDir dir;
    auto save = [&](int version) {
        CTsVoiceCfgMgr mgr;
        mgr.loadFolder(dir.path());
        mgr.clear();
        for (int i = 0; i <= version * 50; ++i) {
            auto e = std::make_unique<CTsVoiceCfg_VC>();
            e->symbol = "a_" + std::to_string(i);
            e->pitch = "C4";
            e->wavName = "x.wav";
            e->connectPoint = 0.1;
            e->tailPoint = 0.5;
            const std::string key = e->entryKey();
            mgr.put(key, std::move(e));
        }
        mgr.save();
    };
    killDuringSaves(save, [&] {
        CTsVoiceCfgMgr mgr;
        ASSERT_EQ(mgr.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::Loaded);
        const std::size_t n = mgr.entries().size();
        EXPECT_TRUE(n == 1 || n == 51) << n;
    });
}

TEST(CrashSafety, ProjectFile)
{
    lvtest::TempDir dir;
    const fs::path path = dir / "p.lvtb";
    auto save = [&](int version) {
        TSTBCurrentModel::CTsToolBoxProjModel m;
        m.symbolList = std::string(std::size_t(version == 0 ? 10 : 200000), 'x');
        saveProject(m, path);
    };
    killDuringSaves(save, [&] {
        const auto r = readProjectFile(path);
        ASSERT_EQ(r.status, ProjectReadStatus::ok);
        const std::size_t n = r.model->symbolList.size();
        EXPECT_TRUE(n == 10 || n == 200000) << n;
    });
}

TEST(CrashSafety, ApplicationSettings)
{
    lvtest::TempDir dir;
    const fs::path path = dir / "app.cfg";
    auto save = [&](int version) {
        CAppConfigModel settings;
        settings.singerName = std::string(std::size_t(version == 0 ? 3 : 100000), 's');
        settings.saveSettingsFile(path);
    };
    killDuringSaves(save, [&] {
        CAppConfigModel settings;
        settings.loadSettingsFile(path);
        const std::size_t n = settings.singerName.size();
        EXPECT_TRUE(n == 3 || n == 100000) << n;
    });
}

TEST(CrashSafety, ModelFile)
{
    lvtest::TempDir dir;
    std::vector<TSVM_V0::TsVoiceModelCompact> versions;
    versions.push_back(materialOf(3));
    versions.push_back(materialOf(400));
    const std::vector<std::int32_t> markers{0, 1, 2, 3, 4, 0, -1, -1};
    auto save = [&](int version) { TSVM_V0::writeModelFile(markers, versions[std::size_t(version)], dir.path(), "ka", "C4"); };
    killDuringSaves(save, [&] {
        const auto read = TSVM_V0::readModelFile(dir / "C4.ka.LVModel", TSVM_V0::kVoiceMarkerCount);
        ASSERT_TRUE(read.has_value());
        EXPECT_TRUE(read->complete);
        const std::uint32_t frames = read->model.f0.size();
        EXPECT_TRUE(frames == 3 || frames == 400) << frames;
    });
}

TEST(CrashSafety, VoiceBankFilesAndDescription)
{
    lvtest::TempDir dir;
    const fs::path models = dir / "models";
    const fs::path bank = dir / "bank";
    fs::create_directories(models);
    fs::create_directories(bank);
    const std::vector<std::int32_t> markers{0, 1, 2, 3, 4, 0, -1, -1};
    const auto material = materialOf(300);
    for (const char* symbol : {"ka", "na"}) {
        ASSERT_TRUE(TSVM_V0::writeModelFile(markers, material, models, symbol, "C4"));
    }
    const std::string dictionaries[2] = {"ka,k,a|||a,a|", "ka,k,a;na,n,a|n||a,a|"};
    PhoneticDictionary names[2];
    names[0].parseSymbolList("ka,k,a");
    names[1].parseSymbolList("ka,k,a\r\nna,n,a");
    for (PhoneticDictionary& d : names) {
        d.parseVowelList("a,a");
    }
    auto save = [&](int version) {
        BuildContext context;
        buildVoiceBank(context, names[version], {"C4"}, version == 0 ? "one" : "two", models.string(), bank.string());
    };
    std::set<std::uintmax_t> contentSizes;
    killDuringSaves(save, [&] {
        const auto index = TessarinEngineV6::readBankIndex(bank);
        ASSERT_TRUE(index.has_value());
        EXPECT_TRUE(index->complete);
        const std::size_t records = index->records.size();
        EXPECT_TRUE(records == 1 || records == 2) << records;
        contentSizes.insert(fs::file_size(bank / "TSC"));
        const auto tssd = lvtest::readFile(bank / "voice.tssd");
        const std::string text(tssd.begin(), tssd.end());
        EXPECT_TRUE(text.find("\"one\"") != std::string::npos || text.find("\"two\"") != std::string::npos) << text;
    });
    EXPECT_LE(contentSizes.size(), 2u); // one size per version, never a part of one
}

// The bank's index, content files and description are exchanged as one set: a build killed before
// any step of the exchange leaves every file of the old bank or every file of the new one, read
// through the folder as any reader reads it, and the folder's other files stay. Both from a bank
// this program wrote and from one of plain files (as an earlier version wrote them).
TEST(CrashSafety, AVoiceBankIsExchangedWholeWhereverTheBuildIsKilled)
{
    lvtest::TempDir dir;
    const fs::path models = dir / "models";
    fs::create_directories(models);
    const std::vector<std::int32_t> markers{0, 1, 2, 3, 4, 0, -1, -1};
    for (const char* symbol : {"ka", "na"}) {
        ASSERT_TRUE(TSVM_V0::writeModelFile(markers, materialOf(40), models, symbol, "C4"));
    }
    PhoneticDictionary names[2];
    names[0].parseSymbolList("ka,k,a");
    names[1].parseSymbolList("ka,k,a\r\nna,n,a");
    for (PhoneticDictionary& d : names) {
        d.parseVowelList("a,a");
    }
    const std::vector<std::string> members{"TSI", "TSC", "voice.tssd"};
    auto build = [&](int version, const fs::path& bank) {
        BuildContext context;
        buildVoiceBank(context, names[version], {"C4"}, version == 0 ? "one" : "two", models.string(), bank.string());
    };
    using Bytes = std::map<std::string, std::vector<std::uint8_t>>;
    auto bytesOf = [&](const fs::path& bank) {
        Bytes b;
        for (const std::string& m : members) {
            b[m] = fs::exists(bank / m) ? lvtest::readFile(bank / m) : std::vector<std::uint8_t>{};
        }
        return b;
    };
    Bytes versions[2];
    for (int v = 0; v < 2; ++v) {
        const fs::path reference = dir / ("reference" + std::to_string(v));
        fs::create_directories(reference);
        build(v, reference);
        versions[v] = bytesOf(reference);
        ASSERT_FALSE(versions[v]["TSC"].empty());
    }
    ASSERT_NE(versions[0]["TSC"], versions[1]["TSC"]);

    const std::vector<std::uint8_t> notes{'k', 'e', 'e', 'p'};
    for (const bool plainOld : {false, true}) {
        int steps = 0;
        for (int killAt = 0;; ++killAt) {
            const fs::path bank = dir / "bank";
            fs::remove_all(bank);
            fs::create_directories(bank);
            lvtest::writeFile(bank / "notes.txt", notes);
            if (plainOld) {
                for (const auto& [name, bytes] : versions[0]) {
                    lvtest::writeFile(bank / name, bytes);
                }
            } else {
                build(0, bank);
            }
            ASSERT_EQ(bytesOf(bank), versions[0]);

            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                Tessarin::setFileSetStepHook([killAt](int step) {
                    if (step == killAt) {
                        ::_exit(3);
                    }
                });
                build(1, bank);
                ::_exit(0);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            ASSERT_TRUE(WIFEXITED(status));
            const Bytes left = bytesOf(bank);
            const std::string where = (plainOld ? "plain old bank, " : "") + std::string("killed at step ") +
                                      std::to_string(killAt);
            EXPECT_TRUE(left == versions[0] || left == versions[1]) << where;
            EXPECT_EQ(lvtest::readFile(bank / "notes.txt"), notes) << where;
            const auto index = TessarinEngineV6::readBankIndex(bank);
            ASSERT_TRUE(index.has_value()) << where;
            for (const auto& record : index->records) {
                EXPECT_GE(record.length, 0) << where << " " << record.unit;
            }
            if (WEXITSTATUS(status) == 0) {
                EXPECT_EQ(left, versions[1]) << "a build that ran to its end left the new bank";
                break;
            }
            ++steps;
            EXPECT_EQ(left, versions[0]) << where << ": nothing before the exchange shows the new bank";
        }
        // The member links (plain files first become links), then the exchange.
        EXPECT_GE(steps, plainOld ? 4 : 1) << "every step was tried";
        // A second build leaves no folder of an earlier set behind.
        build(0, dir / "bank");
        std::size_t setFolders = 0;
        for (const auto& e : fs::directory_iterator(dir / "bank")) {
            setFolders += fs::is_directory(fs::symlink_status(e.path()));
        }
        EXPECT_EQ(setFolders, 1u);
        EXPECT_EQ(bytesOf(dir / "bank"), versions[0]);
    }
}

// A shared voice bank folder can carry symbolic links. No writer may follow one: not one planted
// under a name the writer could use for its temporary file, and not one standing at the target
// itself (the link is replaced by the new file; the file it pointed to is never written).
TEST(PlantedLinks, NoWriterFollowsALinkBesideOrAtItsTarget)
{
    lvtest::TempDir dir;
    const fs::path victim = dir / "victim";
    const std::vector<std::uint8_t> precious{'{', '}'}; // an empty entries object: the manager reads through a link
    lvtest::writeFile(victim, precious);
    const fs::path work = dir / "work";
    fs::create_directories(work / "models");
    fs::create_directories(work / "bank");

    const std::vector<std::int32_t> markers{0, 1, 2, 3, 4, 0, -1, -1};
    const auto material = materialOf(3);
    PhoneticDictionary dictionary;
    dictionary.parseSymbolList("ka,k,a");
    dictionary.parseVowelList("a,a");
    struct Writer {
        std::vector<fs::path> targets;
        std::function<bool()> save;
    };
    const std::vector<Writer> writers = {
        {{work / "voice.lvcfg"},
         [&] {
             CTsVoiceCfgMgr mgr;
             mgr.loadFolder(work);
             auto e = std::make_unique<CTsVoiceCfg_INDIE>();
             e->symbol = "br";
             e->pitch = "C4";
             e->wavName = "x.wav";
             e->startPoint = 0.1;
             e->endPoint = 0.2;
             const std::string key = e->entryKey();
             mgr.put(key, std::move(e));
             return mgr.save();
         }},
        {{work / "p.lvtb"}, [&] { return saveProject(TSTBCurrentModel::CTsToolBoxProjModel(), work / "p.lvtb") == 0; }},
        {{work / "app.cfg"}, [&] { return CAppConfigModel().saveSettingsFile(work / "app.cfg"); }},
        {{work / "models" / "C4.ka.LVModel"},
         [&] { return TSVM_V0::writeModelFile(markers, material, work / "models", "ka", "C4"); }},
        {{work / "bank" / "TSI", work / "bank" / "TSC", work / "bank" / "voice.tssd"},
         [&] {
             BuildContext context;
             buildVoiceBank(context, dictionary, {"C4"}, "n", (work / "models").string(), (work / "bank").string());
             return fs::is_regular_file(work / "bank" / "TSI");
         }},
    };
    for (const Writer& w : writers) {
        for (const bool atTarget : {false, true}) {
            for (const fs::path& target : w.targets) {
                fs::remove(target);
                fs::path planted = target;
                planted += ".tmp";
                fs::create_symlink(victim, atTarget ? target : planted);
            }
            EXPECT_TRUE(w.save()) << w.targets.front();
            for (const fs::path& target : w.targets) {
                EXPECT_EQ(lvtest::readFile(victim), precious) << target << (atTarget ? " (link at the target)" : "");
                // The file itself, or (a bank's members) the link through the bank's current set.
                const bool replaced = fs::is_regular_file(fs::symlink_status(target)) ||
                                      (fs::is_symlink(fs::symlink_status(target)) &&
                                       fs::read_symlink(target) == fs::path(".lvset") / target.filename() &&
                                       fs::is_regular_file(target));
                EXPECT_TRUE(replaced) << target;
                fs::path planted = target;
                planted += ".tmp";
                fs::remove(planted);
            }
        }
    }
    EXPECT_TRUE(fs::exists(work / "voice.lvcfg"));
}
