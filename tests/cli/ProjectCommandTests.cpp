#include "cli/CliRunner.h"
#include "cli/JsonText.h"
#include "model/ProjectFile.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using lvtest::runLvtb;

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kHighVersion = "It's high version project file, please update editor to use it";

Bytes projectHeader(std::uint8_t version)
{
    return {'R', 'O', 'D', 'I', 'R', 'A', 'D', 'I', 'Z', 'E', 'D', 'E', 'V', 'E', 'R', version, 0, 0, 0};
}

// A project whose dictionary passes every check.
std::string goodProject(const lvtest::TempDir& dir)
{
    const std::string file = (dir / "good.lvtb").string();
    EXPECT_EQ(runLvtb({"project", "new", file}).status, 0);
    EXPECT_EQ(runLvtb({"project", "set", file, "symbolList", "-"}, "ka,k,a\r\nsa,s,a\r\n").status, 0);
    EXPECT_EQ(runLvtb({"project", "set", file, "vowelList", "a,a"}).status, 0);
    EXPECT_EQ(runLvtb({"project", "set", file, "unvoicedConsonantList", "-"}, "s\r\nk").status, 0);
    EXPECT_EQ(runLvtb({"project", "set", file, "independentList", "br1"}).status, 0);
    return file;
}

// Runs the command in folder, for commands given relative paths.
class InFolder {
public:
    explicit InFolder(const std::filesystem::path& folder) : m_previous(std::filesystem::current_path())
    {
        std::filesystem::current_path(folder);
    }
    ~InFolder() { std::filesystem::current_path(m_previous); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    std::filesystem::path m_previous;
};

} // namespace

TEST(LvtbProjectNew, WritesTheEmptyProject)
{
    lvtest::TempDir dir;
    const auto r = runLvtb({"project", "new", (dir / "p.lvtb").string()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const Bytes file = lvtest::readFile(dir / "p.lvtb");
    ASSERT_EQ(file.size(), 76u);
    Bytes head = projectHeader(1);
    head.insert(head.end(), {53, 0, 0, 0});
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 23), head);
}

TEST(LvtbProjectNew, RefusesAnExistingFileUnlessForced)
{
    lvtest::TempDir dir;
    const auto file = dir / "p.lvtb";
    lvtest::writeFile(file, {'k', 'e', 'e', 'p'});
    const auto refused = runLvtb({"project", "new", file.string()});
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.err.rfind("lvtb: " + file.string() + ": ", 0), 0u) << refused.err;
    EXPECT_EQ(lvtest::readFile(file), (Bytes{'k', 'e', 'e', 'p'}));

    EXPECT_EQ(runLvtb({"project", "new", file.string(), "--force"}).status, 0);
    EXPECT_EQ(std::filesystem::file_size(file), 76u);
}

TEST(LvtbProjectNew, MissingFolderIsExitTwoAndWritesNothing)
{
    lvtest::TempDir dir;
    const auto r = runLvtb({"project", "new", (dir / "none" / "p.lvtb").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("lvtb: ", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(LvtbProjectShow, HumanAndJson)
{
    lvtest::TempDir dir;
    const std::string file = goodProject(dir);
    ASSERT_EQ(runLvtb({"project", "set", file, "voiceBankName", "Lir\"vane"}).status, 0);
    ASSERT_EQ(runLvtb({"project", "set", file, "allSymbols", "0"}).status, 0);
    ASSERT_EQ(runLvtb({"project", "add-location", file, "/rec/a"}).status, 0);

    const auto human = runLvtb({"project", "show", file});
    EXPECT_EQ(human.status, 0);
    EXPECT_EQ(human.out, "version: 1\n"
                         "browseFolder:\n"
                         "symbolList:\n  ka,k,a\n  sa,s,a\n  \n"
                         "vowelList: a,a\n"
                         "voicedConsonantList:\n"
                         "unvoicedConsonantList:\n  s\n  k\n"
                         "independentList: br1\n"
                         "tailList:\n"
                         "modelSymbols:\n"
                         "modelFolder:\n"
                         "voiceBankFolder:\n"
                         "pitchList:\n"
                         "voiceBankName: Lir\"vane\n"
                         "allSymbols: 0\n"
                         "wavLocations:\n  /rec/a\n");

    const auto json = runLvtb({"project", "show", file, "--json"});
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(json.out, "{\n"
                        "  \"browseFolder\": \"\",\n"
                        "  \"symbolList\": \"ka,k,a\\r\\nsa,s,a\\r\\n\",\n"
                        "  \"vowelList\": \"a,a\",\n"
                        "  \"voicedConsonantList\": \"\",\n"
                        "  \"unvoicedConsonantList\": \"s\\r\\nk\",\n"
                        "  \"independentList\": \"br1\",\n"
                        "  \"tailList\": \"\",\n"
                        "  \"modelSymbols\": \"\",\n"
                        "  \"modelFolder\": \"\",\n"
                        "  \"voiceBankFolder\": \"\",\n"
                        "  \"pitchList\": \"\",\n"
                        "  \"voiceBankName\": \"Lir\\\"vane\",\n"
                        "  \"wavLocations\": [\"/rec/a\"],\n"
                        "  \"allSymbols\": 0,\n"
                        "  \"version\": 1\n"
                        "}\n");
}

TEST(LvtbProjectShow, VersionZeroFileShowsItsVersionAndUpgradedLists)
{
    lvtest::TempDir dir;
    Bytes b = projectHeader(0);
    // payload: four strings (the fourth the consonant text "k;s"), no locations, flag 1, five empty strings
    const Bytes payload = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 'k', ';', 's', 0, 0, 0, 0, 1,
                           0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    b.insert(b.end(), {static_cast<std::uint8_t>(payload.size()), 0, 0, 0});
    b.insert(b.end(), payload.begin(), payload.end());
    lvtest::writeFile(dir / "old.lvtb", b);
    const auto r = runLvtb({"project", "show", (dir / "old.lvtb").string(), "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"version\": 0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"voicedConsonantList\": \"k\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"independentList\": \"br1\\r\\nbr2\\r\\nbr3\\r\\nbr4\\r\\nbr5\""), std::string::npos);
}

TEST(LvtbProjectFiles, UnreadableFilesAreExitTwo)
{
    lvtest::TempDir dir;
    const std::string notProject = (dir / "x.lvtb").string();
    lvtest::writeFile(notProject, {'h', 'e', 'l', 'l', 'o'});
    const std::string newer = (dir / "new.lvtb").string();
    Bytes b = projectHeader(2);
    b.insert(b.end(), {0, 0, 0, 0});
    lvtest::writeFile(newer, b);

    for (const std::vector<std::string>& cmd : std::vector<std::vector<std::string>>{
             {"project", "show"}, {"check-dict"}, {"dict"}}) {
        std::vector<std::string> a = cmd;
        a.push_back(notProject);
        auto r = runLvtb(a);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "lvtb: " + notProject + ": not a project file\n");
        EXPECT_EQ(r.out, "");

        a.back() = newer;
        r = runLvtb(a);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err, "lvtb: " + newer + ": " + kHighVersion + "\n");

        a.back() = (dir / "absent.lvtb").string();
        r = runLvtb(a);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind("lvtb: ", 0), 0u);
    }
    const auto set = runLvtb({"project", "set", newer, "pitchList", "C4"});
    EXPECT_EQ(set.status, 2);
    EXPECT_EQ(lvtest::readFile(newer), b) << "a newer file is never rewritten";
}

TEST(LvtbProjectSet, StdinIsStoredByteForByte)
{
    lvtest::TempDir dir;
    const std::string file = (dir / "p.lvtb").string();
    ASSERT_EQ(runLvtb({"project", "new", file}).status, 0);
    ASSERT_EQ(runLvtb({"project", "set", file, "tailList", "-"}, "-\r\n\xe3\x83\xbc \r\n").status, 0);
    const Bytes bytes = lvtest::readFile(file);
    // tailList is the seventh string: after six empty lengths, at 23 + 24
    const Bytes expected = {9, 0, 0, 0, '-', '\r', '\n', 0xe3, 0x83, 0xbc, ' ', '\r', '\n'};
    ASSERT_GE(bytes.size(), 47u + expected.size());
    EXPECT_EQ(Bytes(bytes.begin() + 47, bytes.begin() + 47 + 13), expected);
    EXPECT_EQ(bytes.size(), 76u + 9u);
}

TEST(LvtbProjectSet, BadFieldsAndValuesLeaveTheFileUntouched)
{
    lvtest::TempDir dir;
    const std::string file = (dir / "p.lvtb").string();
    ASSERT_EQ(runLvtb({"project", "new", file}).status, 0);
    const Bytes before = lvtest::readFile(file);
    for (const auto& [field, value] : std::vector<std::pair<std::string, std::string>>{
             {"symbollist", "x"}, {"colour", "x"}, {"wavLocations", "/x"}, {"version", "2"},
             {"allSymbols", "2"}, {"allSymbols", "yes"}}) {
        const auto r = runLvtb({"project", "set", file, field, value});
        EXPECT_EQ(r.status, 2) << field;
        EXPECT_EQ(r.err.rfind("lvtb: ", 0), 0u);
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line";
    }
    EXPECT_EQ(runLvtb({"project", "set", file}).status, 2);
    EXPECT_EQ(lvtest::readFile(file), before);

    EXPECT_EQ(runLvtb({"project", "set", file, "allSymbols", "-"}, "0\n").status, 0);
    EXPECT_EQ(lvtest::readFile(file)[23 + 32], 0) << "the flag byte follows seven strings and the count";
}

TEST(LvtbProjectLocations, AddAndRemoveAsThePanelDoes)
{
    lvtest::TempDir dir;
    std::filesystem::create_directory(dir / "rec");
    const std::string file = (dir / "p.lvtb").string();
    ASSERT_EQ(runLvtb({"project", "new", file}).status, 0);
    const std::string absolute = (dir / "rec").string();
    {
        InFolder here(dir.path());
        EXPECT_EQ(runLvtb({"project", "add-location", file, "./rec/"}).status, 0);
        EXPECT_EQ(runLvtb({"project", "add-location", file, "x/../rec"}).status, 0);
    }
    EXPECT_EQ(runLvtb({"project", "add-location", file, "/Rec"}).status, 0);
    auto shown = runLvtb({"project", "show", file, "--json"});
    EXPECT_NE(shown.out.find("\"wavLocations\": [" + lvtb::jsonString(absolute) + ", \"/Rec\"]"), std::string::npos)
        << shown.out;

    const auto missing = runLvtb({"project", "remove-location", file, "/rec"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "/rec is not a wav location of " + file + "\n");
    EXPECT_EQ(runLvtb({"project", "remove-location", file, absolute}).status, 0);
    shown = runLvtb({"project", "show", file, "--json"});
    EXPECT_NE(shown.out.find("\"wavLocations\": [\"/Rec\"]"), std::string::npos) << shown.out;
}

TEST(LvtbCheckDict, PassAndEachKindOfFailure)
{
    lvtest::TempDir dir;
    const std::string file = goodProject(dir);
    auto r = runLvtb({"check-dict", file});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "OK! Pass!\n");

    ASSERT_EQ(runLvtb({"project", "set", file, "tailList", "k"}).status, 0);
    r = runLvtb({"check-dict", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error! Repeat 'k' in 'Unvoiced Consonant list' and 'Tail symbol list'\n");
    EXPECT_EQ(r.err, "");

    ASSERT_EQ(runLvtb({"project", "set", file, "tailList", "k*"}).status, 0);
    r = runLvtb({"check-dict", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error symbol!  '*' exists in symbol: k* , in 'Tail symbol list'\n");

    // Without consonant lists the dictionary window's check passes; only the build panel minds.
    ASSERT_EQ(runLvtb({"project", "set", file, "tailList", ""}).status, 0);
    ASSERT_EQ(runLvtb({"project", "set", file, "unvoicedConsonantList", ""}).status, 0);
    r = runLvtb({"check-dict", file});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "OK! Pass!\n");
    r = runLvtb({"build-models", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error: Consonant list is empty...\n");

    const std::string empty = (dir / "empty.lvtb").string();
    ASSERT_EQ(runLvtb({"project", "new", empty}).status, 0);
    r = runLvtb({"check-dict", empty});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "Error! Vowel list is empty, there might be format error. Please refer to the manual.\n");
}

TEST(LvtbDict, PrintsTheSerialisedText)
{
    lvtest::TempDir dir;
    const std::string file = goodProject(dir);
    const auto r = runLvtb({"dict", file});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ka,k,a;sa,s,a||s,k|a,a|br1|\n");
}

TEST(LvtbProjectHelp, EveryCommandHasUsage)
{
    for (const std::string cmd : {"project", "check-dict", "dict"}) {
        const auto r = runLvtb({cmd, "--help"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("usage: lvtb " + cmd, 0), 0u) << r.out;
    }
    // project set --help has its own text, which explains every field and the list formats.
    const auto r = runLvtb({"project", "set", "--help"});
    EXPECT_EQ(r.out.rfind("usage: lvtb project set FILE FIELD VALUE\n", 0), 0u) << r.out;
    for (const ProjectField f : kProjectFields) {
        EXPECT_NE(r.out.find("\n  " + std::string(projectFieldName(f)) + " "), std::string::npos) << projectFieldName(f);
    }
    for (const char* text : {"\n  allSymbols ", "symbol,consonant,vowel", "vowel,second symbol", "one symbol per line",
                             "(C4,E4,G4)", "taken from the folder that holds\nFILE"}) {
        EXPECT_NE(r.out.find(text), std::string::npos) << text;
    }
    const auto entries = runLvtb({"entries", "list", "--help"});
    EXPECT_NE(entries.out.find("CV     connectPoint preutterance vowelStart vowelEnd tailPoint"), std::string::npos);
    for (const char* cmd : {"build-models", "build", "demo"}) {
        EXPECT_NE(runLvtb({cmd, "--help"}).out.find("from 1 to"), std::string::npos) << cmd;
    }
    EXPECT_EQ(runLvtb({"project"}).status, 2);
    EXPECT_EQ(runLvtb({"project", "rename", "x"}).status, 2);
}

TEST(LvtbJsonText, EscapesAndRepairsInvalidUtf8)
{
    EXPECT_EQ(lvtb::jsonString("a\"b\\c\n\r\t"), "\"a\\\"b\\\\c\\n\\r\\t\"");
    EXPECT_EQ(lvtb::jsonString(std::string("\x01\x7f", 2)), "\"\\u0001\\u007f\"");
    EXPECT_EQ(lvtb::jsonString("\xe3\x81\x82\xf0\x9f\x8e\xb5"), "\"\xe3\x81\x82\xf0\x9f\x8e\xb5\"");
    // stray continuation, overlong "/", surrogate, cut-short sequence
    EXPECT_EQ(lvtb::jsonString("\x80\xc0\xaf\xed\xa0\x80\xe3\x81"),
              "\"\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\\ufffd\"");
}
