#include "cli/CliRunner.h"
#include "demo/DemoSinger.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>


namespace fs = std::filesystem;
using lvtest::runLvtb;

namespace {

class BuildCommands : public ::testing::Test {
protected:
    void SetUp() override
    {
        lvdemo::DemoOptions o;
        o.pitches = {"C4"};
        o.vowels = {"a"};
        o.voiced = {"n"};
        o.unvoiced = {"k"};
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

TEST_F(BuildCommands, DemoRefusesAFolderInUse)
{
    const auto r = runLvtb({"demo", "--out", m_dir.path().string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("exists and is not empty"), std::string::npos);
}
