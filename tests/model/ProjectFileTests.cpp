#include "model/Language.h"
#include "model/ProjectFile.h"
#include "model/ProjectPaths.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using TSTBCurrentModel::CTsToolBoxProjModel;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The test's own encoder for hand-made files: little-endian int32 and length-prefixed strings.
void put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

void putString(Bytes& b, const std::string& s)
{
    put32(b, static_cast<std::uint32_t>(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}

Bytes header(std::uint32_t version)
{
    const std::string magic = "RODIRADIZEDEVER";
    Bytes b(magic.begin(), magic.end());
    put32(b, version);
    return b;
}

Bytes fileWithPayload(std::uint32_t version, const Bytes& payload)
{
    Bytes b = header(version);
    put32(b, static_cast<std::uint32_t>(payload.size()));
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

// A version-0 payload: four strings, the location list, the flag, five strings.
Bytes v0Payload(const std::string& consonants)
{
    Bytes p;
    putString(p, "/browse");
    putString(p, "ka,k,a");
    putString(p, "a,a");
    putString(p, consonants);
    put32(p, 2);
    putString(p, "/w/one");
    putString(p, "/w/two");
    p.push_back(0);
    putString(p, "a,ka");
    putString(p, "/models");
    putString(p, "/bank");
    putString(p, "C4,D4");
    putString(p, "Singer");
    return p;
}

std::unique_ptr<CTsToolBoxProjModel> loadBytes(const lvtest::TempDir& dir, const Bytes& bytes)
{
    const auto path = dir / "p.lvtb";
    lvtest::writeFile(path, bytes);
    return loadProject(path);
}

} // namespace

TEST(ProjectFile, EmptyProjectIsSeventySixBytes)
{
    lvtest::TempDir dir;
    CTsToolBoxProjModel model;
    model.allSymbols = 1;
    ASSERT_EQ(saveProject(model, dir / "e.lvtb"), 0);
    const Bytes expected = {
        'R', 'O', 'D', 'I', 'R', 'A', 'D', 'I', 'Z', 'E', 'D', 'E', 'V', 'E', 'R',
        1, 0, 0, 0,  // version
        53, 0, 0, 0, // payload length
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, // strings 1-7
        0, 0, 0, 0, // no wav locations
        1,          // allSymbols
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, // strings 10-14
    };
    ASSERT_EQ(expected.size(), 76u);
    EXPECT_EQ(lvtest::readFile(dir / "e.lvtb"), expected);
    EXPECT_FALSE(std::filesystem::exists(dir / "e.lvtb.tmp")) << "the temporary file is renamed away";
}

TEST(ProjectFile, FieldsAreWrittenInTheirOrder)
{
    lvtest::TempDir dir;
    CTsToolBoxProjModel m;
    m.browseFolder = "B";
    m.symbolList = "S";
    m.vowelList = "V";
    m.voicedConsonantList = "v";
    m.unvoicedConsonantList = "u";
    m.independentList = "I";
    m.tailList = "T";
    m.wavLocations = {"/w"};
    m.allSymbols = 0;
    m.modelSymbols = "ms";
    m.modelFolder = "mf";
    m.voiceBankFolder = "bf";
    m.pitchList = "C4";
    m.voiceBankName = "n";
    ASSERT_EQ(saveProject(m, dir / "f.lvtb"), 0);
    const Bytes payload = {
        1, 0, 0, 0, 'B', 1, 0, 0, 0, 'S', 1, 0, 0, 0, 'V', 1, 0, 0, 0, 'v', 1, 0, 0, 0, 'u',
        1, 0, 0, 0, 'I', 1, 0, 0, 0, 'T',
        1, 0, 0, 0, 2, 0, 0, 0, '/', 'w',
        0,
        2, 0, 0, 0, 'm', 's', 2, 0, 0, 0, 'm', 'f', 2, 0, 0, 0, 'b', 'f', 2, 0, 0, 0, 'C', '4', 1, 0, 0, 0, 'n',
    };
    Bytes expected = {'R', 'O', 'D', 'I', 'R', 'A', 'D', 'I', 'Z', 'E', 'D', 'E', 'V', 'E', 'R', 1, 0, 0, 0, 75, 0, 0, 0};
    ASSERT_EQ(payload.size(), 75u); // 7 × 5 + (4 + 4 + 2) + 1 + 4 × 6 + 5
    expected.insert(expected.end(), payload.begin(), payload.end());
    EXPECT_EQ(lvtest::readFile(dir / "f.lvtb"), expected);

    const auto back = loadProject(dir / "f.lvtb");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->version, 1);
    for (const ProjectField f : kProjectFields) {
        EXPECT_EQ(projectField(*back, f), projectField(m, f)) << projectFieldName(f);
    }
    EXPECT_EQ(back->wavLocations, m.wavLocations);
    EXPECT_EQ(back->allSymbols, 0);
}

TEST(ProjectFile, TextAfterANulIsNotSaved)
{
    lvtest::TempDir dir;
    CTsToolBoxProjModel m;
    m.voiceBankName = std::string("Mi\0ku", 5);
    ASSERT_EQ(saveProject(m, dir / "n.lvtb"), 0);
    const Bytes file = lvtest::readFile(dir / "n.lvtb");
    ASSERT_EQ(file.size(), 78u); // 76 + the two bytes "Mi"
    EXPECT_EQ(Bytes(file.end() - 6, file.end()), (Bytes{2, 0, 0, 0, 'M', 'i'}));
    EXPECT_EQ(loadProject(dir / "n.lvtb")->voiceBankName, "Mi");
}

TEST(ProjectFile, SavingIntoAMissingFolderFailsAndWritesNothing)
{
    lvtest::TempDir dir;
    CTsToolBoxProjModel m;
    EXPECT_EQ(saveProject(m, dir / "missing" / "p.lvtb"), -1);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(ProjectFile, SavingReplacesAnExistingFileWhole)
{
    lvtest::TempDir dir;
    CTsToolBoxProjModel m;
    m.symbolList = std::string(1000, 'x');
    ASSERT_EQ(saveProject(m, dir / "p.lvtb"), 0);
    m.symbolList.clear();
    ASSERT_EQ(saveProject(m, dir / "p.lvtb"), 0);
    EXPECT_EQ(std::filesystem::file_size(dir / "p.lvtb"), 76u);
}

TEST(ProjectFile, AFailedReplaceKeepsWhatIsThereAndLeavesNoTemporaryFile)
{
    lvtest::TempDir dir;
    // A non-empty folder where the project should go: it is never replaced.
    std::filesystem::create_directories(dir / "p.lvtb" / "inside");
    CTsToolBoxProjModel m;
    EXPECT_EQ(saveProject(m, dir / "p.lvtb"), -1);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "p.lvtb" / "inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(ProjectFile, NotAProjectFile)
{
    lvtest::TempDir dir;
    EXPECT_EQ(readProjectFile(dir / "absent.lvtb").status, ProjectReadStatus::cannotOpen);
    EXPECT_EQ(readProjectFile(dir.path()).status, ProjectReadStatus::cannotOpen);

    Bytes shortFile = header(1);
    shortFile.pop_back(); // 18 bytes
    lvtest::writeFile(dir / "short.lvtb", shortFile);
    EXPECT_EQ(readProjectFile(dir / "short.lvtb").status, ProjectReadStatus::notProjectFile);

    Bytes wrongMagic = fileWithPayload(1, {});
    wrongMagic[0] = 'r'; // the comparison is case-sensitive
    lvtest::writeFile(dir / "magic.lvtb", wrongMagic);
    EXPECT_EQ(readProjectFile(dir / "magic.lvtb").status, ProjectReadStatus::notProjectFile);

    lvtest::writeFile(dir / "negative.lvtb", fileWithPayload(0xffffffffu, {}));
    EXPECT_EQ(readProjectFile(dir / "negative.lvtb").status, ProjectReadStatus::notProjectFile);
    EXPECT_FALSE(loadProject(dir / "negative.lvtb"));
}

TEST(ProjectFile, HeaderWithoutPayloadLengthIsAnEmptyProject)
{
    lvtest::TempDir dir;
    const auto m = loadBytes(dir, header(1)); // exactly 19 bytes
    ASSERT_TRUE(m);
    EXPECT_EQ(m->symbolList, "");
    EXPECT_TRUE(m->wavLocations.empty());
}

TEST(ProjectFile, VersionTwoIsRefusedWithTheTranslatedMessage)
{
    lvtest::TempDir dir;
    lvtest::writeFile(dir / "new.lvtb", fileWithPayload(2, Bytes(53, 0)));
    EXPECT_EQ(readProjectFile(dir / "new.lvtb").status, ProjectReadStatus::newerVersion);
    EXPECT_EQ(readProjectFile(dir / "new.lvtb").fileVersion, 2);

    std::vector<std::string> shown;
    std::string askedKey;
    ProjectMessages messages;
    messages.translate = [&](std::string_view key) {
        askedKey = key;
        return std::string("[translated]");
    };
    messages.show = [&](std::string_view text, std::string_view caption) {
        shown.push_back(std::string(text) + "|" + std::string(caption));
    };
    EXPECT_FALSE(loadProject(dir / "new.lvtb", messages));
    EXPECT_EQ(askedKey, "It's high version project file, please update editor to use it");
    EXPECT_EQ(shown, (std::vector<std::string>{"[translated]|(\xef\xbc\x9e\xef\xb9\x8f\xef\xbc\x9c)"}));

    // Without a translator of its own the text goes through the language table (here the
    // compiled-in Simplified Chinese one, as app.cfg may choose it); the command line asks for the
    // English text explicitly.
    ProjectMessages table;
    table.show = messages.show;
    shown.clear();
    ASSERT_TRUE(loadLanguage(std::string(kSimplifiedChineseTable)));
    EXPECT_FALSE(loadProject(dir / "new.lvtb", table));
    const std::string chinese = translate("It's high version project file, please update editor to use it");
    loadLanguage("");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].substr(0, shown[0].find('|')), chinese);
    EXPECT_NE(shown[0].substr(0, shown[0].find('|')), "It's high version project file, please update editor to use it");

    ProjectMessages english;
    english.translate = untranslated;
    english.show = messages.show;
    shown.clear();
    EXPECT_FALSE(loadProject(dir / "new.lvtb", english));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].substr(0, shown[0].find('|')), "It's high version project file, please update editor to use it");
}

TEST(ProjectFile, VersionZeroUpgradesItsConsonantText)
{
    lvtest::TempDir dir;
    const auto m = loadBytes(dir, fileWithPayload(0, v0Payload("k,g;s,t")));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->version, 1);
    EXPECT_EQ(m->browseFolder, "/browse");
    EXPECT_EQ(m->symbolList, "ka,k,a");
    EXPECT_EQ(m->vowelList, "a,a");
    EXPECT_EQ(m->voicedConsonantList, "k\r\ng");
    EXPECT_EQ(m->unvoicedConsonantList, "s\r\nt");
    EXPECT_EQ(m->independentList, "br1\r\nbr2\r\nbr3\r\nbr4\r\nbr5");
    EXPECT_EQ(m->tailList, "");
    EXPECT_EQ(m->wavLocations, (std::vector<std::string>{"/w/one", "/w/two"}));
    EXPECT_EQ(m->allSymbols, 0);
    EXPECT_EQ(m->modelSymbols, "a,ka");
    EXPECT_EQ(m->modelFolder, "/models");
    EXPECT_EQ(m->voiceBankFolder, "/bank");
    EXPECT_EQ(m->pitchList, "C4,D4");
    EXPECT_EQ(m->voiceBankName, "Singer");
}

TEST(ProjectFile, VersionZeroConsonantTextEdgeCases)
{
    lvtest::TempDir dir;
    struct Case {
        std::string text, voiced, unvoiced;
    };
    const Case cases[] = {
        {"k,g", "k\r\ng", ""},                   // no ";": nothing unvoiced
        {"", "", ""},                            // empty: both empty
        {";s", "", "s"},                         // empty voiced part
        {" k ,\r\ng ; s\n", "k\r\ng", "s"},      // blanks anywhere are dropped
        {"k,,g;", "k\r\n\r\ng", ""},             // an empty piece stays an empty line
        {"k;s;x", "k", "s"},                     // a third part is ignored
    };
    for (const Case& c : cases) {
        const auto m = loadBytes(dir, fileWithPayload(0, v0Payload(c.text)));
        ASSERT_TRUE(m) << c.text;
        EXPECT_EQ(m->voicedConsonantList, c.voiced) << c.text;
        EXPECT_EQ(m->unvoicedConsonantList, c.unvoiced) << c.text;
    }
}

TEST(ProjectFile, UpgradeOnlyFromAnOlderVersion)
{
    TSTBModel_v0::CTsToolBoxProjModel old;
    old.consonantLists = "k;s";
    CTsToolBoxProjModel current;
    EXPECT_TRUE(current.upgradeFrom(old));
    EXPECT_EQ(current.voicedConsonantList, "k");

    CTsToolBoxProjModel same;
    same.symbolList = "unchanged";
    EXPECT_FALSE(same.upgradeFrom(CTsToolBoxProjModel()));
    EXPECT_EQ(same.symbolList, "unchanged");
    EXPECT_FALSE(old.upgradeFrom(current)) << "the old model has no upgrade";
}

TEST(ProjectFile, PayloadShorterThanDeclaredReadsWhatIsThere)
{
    lvtest::TempDir dir;
    // Declares 2^31 − 1 payload bytes; holds browseFolder and a symbol list cut short.
    Bytes b = header(1);
    put32(b, 0x7fffffffu);
    putString(b, "/browse");
    put32(b, 10);
    b.push_back('k');
    const auto m = loadBytes(dir, b);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->browseFolder, "/browse");
    EXPECT_EQ(m->symbolList, "");
    EXPECT_EQ(m->vowelList, "") << "the stray byte cannot hold a length";
    EXPECT_TRUE(m->wavLocations.empty());
    EXPECT_EQ(m->allSymbols, 'k') << "the byte is read on from the current position";
}

TEST(ProjectFile, CorruptLengthsInsideThePayload)
{
    lvtest::TempDir dir;
    Bytes p;
    putString(p, "/browse");
    put32(p, 0xfffffff0u); // negative: symbolList stays empty, reading goes on
    putString(p, "a,a");
    put32(p, 1000);        // beyond the data: reads empty, its 1000 bytes are not consumed
    putString(p, "k");
    const auto m = loadBytes(dir, fileWithPayload(1, p));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->browseFolder, "/browse");
    EXPECT_EQ(m->symbolList, "");
    EXPECT_EQ(m->vowelList, "a,a");
    EXPECT_EQ(m->voicedConsonantList, "");
    EXPECT_EQ(m->unvoicedConsonantList, "k");
}

TEST(ProjectFile, BytesAfterTheDeclaredPayloadAreIgnored)
{
    lvtest::TempDir dir;
    Bytes p;
    putString(p, "/b");
    Bytes b = fileWithPayload(1, p);
    putString(b, "ka,k,a"); // outside the payload
    const auto m = loadBytes(dir, b);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->browseFolder, "/b");
    EXPECT_EQ(m->symbolList, "");
}

TEST(ProjectFolders, MovingTheProjectFileKeepsEveryFolderNamingTheSamePlace)
{
    CTsToolBoxProjModel model;
    model.modelFolder = "models/";
    model.voiceBankFolder = "/srv/banks/alto";
    model.wavLocations = {"wav/C4", "../shared/takes", ""};
    model.browseFolder = "start";

    CTsToolBoxProjModel moved = model;
    rebaseProjectFolders(moved, "/home/a/voice/p.lvtb", "/home/a/copies/q.lvtb");
    EXPECT_EQ(moved.modelFolder, "../voice/models");
    EXPECT_EQ(moved.voiceBankFolder, "/srv/banks/alto"); // absolute: kept
    EXPECT_EQ(moved.wavLocations, (std::vector<std::string>{"../voice/wav/C4", "../shared/takes", ""}));
    EXPECT_EQ(moved.browseFolder, "start");
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(resolveProjectFolder("/home/a/copies/q.lvtb", moved.wavLocations[i]),
                  resolveProjectFolder("/home/a/voice/p.lvtb", model.wavLocations[i]));
    }

    // Into a folder below: the way down; within the same folder nothing is rewritten.
    moved = model;
    rebaseProjectFolders(moved, "/home/a/voice/p.lvtb", "/home/a/voice/old/p2.lvtb");
    EXPECT_EQ(moved.modelFolder, "../models");
    moved = model;
    rebaseProjectFolders(moved, "/home/a/voice/p.lvtb", "/home/a/voice/p3.lvtb");
    EXPECT_EQ(moved.modelFolder, "models/");

    // A project never saved took its relative folders from the working directory.
    moved = model;
    const std::filesystem::path here = std::filesystem::current_path();
    rebaseProjectFolders(moved, {}, here / "sub" / "p.lvtb");
    EXPECT_EQ(moved.modelFolder, "../models");
}
