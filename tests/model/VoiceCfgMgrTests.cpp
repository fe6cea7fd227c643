#include "model/CTsVoiceCfgMgr.h"

#include "model/ModelTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

using lvtest::FixedClockAndZone;
using lvtest::TempDir;

using lvtest::readText;

using lvtest::writeText;

std::unique_ptr<CTsVoiceCfg_VC> vx(const std::string& symbol, const std::string& pitch, double cp, double tp)
{
    auto e = std::make_unique<CTsVoiceCfg_VC>();
    e->wavName = "a_k.wav";
    e->symbol = symbol;
    e->pitch = pitch;
    e->connectPoint = cp;
    e->tailPoint = tp;
    return e;
}

std::unique_ptr<CTsVoiceCfg_INDIE> indie(const std::string& symbol, const std::string& pitch, double sp, double ep)
{
    auto e = std::make_unique<CTsVoiceCfg_INDIE>();
    e->wavName = "br.wav";
    e->symbol = symbol;
    e->pitch = pitch;
    e->startPoint = sp;
    e->endPoint = ep;
    return e;
}

std::unique_ptr<CTsVoiceCfg_CV> cv(const std::string& symbol, const std::string& pitch, double cp)
{
    auto e = std::make_unique<CTsVoiceCfg_CV>();
    e->wavName = symbol + ".wav";
    e->symbol = symbol;
    e->pitch = pitch;
    e->connectPoint = cp;
    e->preutterance = cp + 0.1;
    e->vowelStart = cp + 0.2;
    e->vowelEnd = cp + 0.3;
    return e;
}

const std::string kTwoEntries = R"({
  "C4->a_k": {"srcType":"VX","wavName":"a_k.wav","symbol":"a_k","pitch":"C4","startTime":1.0,"endTime":2.0,
              "connectPoint":0.25,"tailPoint":0.5,"updateTime":"2024-02-29 12:00:00"},
  "C4->br1": {"srcType":"INDIE","wavName":"br.wav","symbol":"br1","pitch":"C4","startTime":3.0,"endTime":4.0,
              "startPoint":0.25,"endPoint":0.75,"updateTime":"2024-02-29 12:00:00"}
})";

} // namespace

TEST(VoiceCfgMgrFile, WrittenAsOneObjectOfEntriesInByteOrderOfKeys)
{
    FixedClockAndZone clock(0);
    CTsVoiceCfgMgr mgr;
    mgr.put("C4->br1", indie("br1", "C4", 2.0, 2.75));
    mgr.put("C4->a_k", vx("a_k", "C4", 1.25, 1.5));
    mgr.entryMap().at("C4->br1")->updateTime = 0;
    mgr.entryMap().at("C4->a_k")->updateTime = 0;
    // Values: markers minus (first marker - 0.05999999865889549), 17 significant digits.
    const std::string expected =
        "{\r\n"
        "   \"C4->a_k\" : {\r\n"
        "      \"connectPoint\" : 0.059999998658895493,\r\n"
        "      \"endTime\" : 1.5599999986588955,\r\n"
        "      \"pitch\" : \"C4\",\r\n"
        "      \"srcType\" : \"VX\",\r\n"
        "      \"startTime\" : 1.1900000013411045,\r\n"
        "      \"symbol\" : \"a_k\",\r\n"
        "      \"tailPoint\" : 0.30999999865889549,\r\n"
        "      \"updateTime\" : \"1970-01-01 08:00:00\",\r\n"
        "      \"wavName\" : \"a_k.wav\"\r\n"
        "   },\r\n"
        "   \"C4->br1\" : {\r\n"
        "      \"endPoint\" : 0.80999999865889549,\r\n"
        "      \"endTime\" : 2.8099999986588955,\r\n"
        "      \"pitch\" : \"C4\",\r\n"
        "      \"srcType\" : \"INDIE\",\r\n"
        "      \"startPoint\" : 0.059999998658895493,\r\n"
        "      \"startTime\" : 1.9400000013411045,\r\n"
        "      \"symbol\" : \"br1\",\r\n"
        "      \"updateTime\" : \"1970-01-01 08:00:00\",\r\n"
        "      \"wavName\" : \"br.wav\"\r\n"
        "   }\r\n"
        "}\r\n";
    EXPECT_EQ(mgr.toJsonText(), expected);

    CTsVoiceCfgMgr empty;
    EXPECT_EQ(empty.toJsonText(), "{}\r\n");
}

TEST(VoiceCfgMgrFile, KeysAreOrderedByBytes)
{
    CTsVoiceCfgMgr mgr;
    mgr.put("C4->ka", cv("ka", "C4", 1.0));
    mgr.put("C4->Ka", cv("Ka", "C4", 1.0));
    mgr.put("C4->\xC3\xA1", cv("\xC3\xA1", "C4", 1.0)); // a-acute: above every ASCII byte
    mgr.put("C4->a_k", vx("a_k", "C4", 1.0, 1.5));
    std::vector<std::string> order;
    for (const auto* e : mgr.entries()) {
        order.push_back(e->symbol);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"Ka", "a_k", "ka", "\xC3\xA1"}));

    const std::string text = mgr.toJsonText();
    EXPECT_LT(text.find("C4->Ka"), text.find("C4->a_k"));
    EXPECT_LT(text.find("C4->ka"), text.find("C4->\\u00e1")) << "the writer escapes non-ASCII";
}

TEST(VoiceCfgMgrFile, LoadFolderReadsCompleteEntriesUnderTheirMemberNames)
{
    FixedClockAndZone clock(555);
    TempDir dir;
    writeText(dir / "voice.lvcfg", R"({
      "C4->a_k": {"srcType":"VC","wavName":"a_k.wav","symbol":"a_k","pitch":"C4","startTime":1.0,"endTime":2.0,
                  "connectPoint":0.25,"tailPoint":0.5},
      "odd name": {"srcType":"INDIE","wavName":"x.wav","symbol":"a_k","pitch":"C4","startTime":1.0,"endTime":2.0,
                  "startPoint":0.25,"endPoint":0.5,"updateTime":"1970-01-01 08:00:10"},
      "no pitch": {"srcType":"CV","wavName":"x.wav","symbol":"ka","startTime":1.0,"endTime":2.0,
                  "connectPoint":0.1,"preutterance":0.2,"vowelStart":0.3,"vowelEnd":0.4,"tailPoint":0.5},
      "unknown": {"srcType":"VV","wavName":"x.wav","symbol":"ka","pitch":"C4","startTime":1.0,"endTime":2.0},
      "no marker": {"srcType":"CV","wavName":"x.wav","symbol":"ka","pitch":"C4","startTime":1.0,"endTime":2.0,
                  "connectPoint":0.1,"preutterance":0.2,"vowelStart":0.3,"vowelEnd":0.4},
      "scalar": 3
    })");
    CTsVoiceCfgMgr mgr;
    EXPECT_EQ(mgr.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::Loaded);
    EXPECT_EQ(mgr.filePath(), dir.path() / "voice.lvcfg");
    ASSERT_EQ(mgr.entries().size(), 2u);
    const auto* a = dynamic_cast<const CTsVoiceCfg_VC*>(mgr.findKey("C4->a_k"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->srcType, "VX");
    EXPECT_EQ(a->tailPoint, 1.5);
    EXPECT_EQ(a->updateTime, 555);
    const auto* odd = mgr.findKey("odd name");
    ASSERT_NE(odd, nullptr) << "same pitch and symbol as another member, kept under its own name";
    EXPECT_EQ(odd->kind(), 3);
    EXPECT_EQ(odd->updateTime, 10);
    EXPECT_EQ(mgr.find("a_k", "C4"), a);
    EXPECT_EQ(mgr.findVc("a", "k", "C4"), a);
    EXPECT_EQ(mgr.find("ka", "C4"), nullptr);
}

TEST(VoiceCfgMgrFile, MissingFileGivesNoEntriesAndIsCreatedOnSave)
{
    TempDir dir;
    CTsVoiceCfgMgr mgr;
    mgr.put("stale", cv("x", "C4", 1.0));
    EXPECT_EQ(mgr.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::NoFile);
    EXPECT_TRUE(mgr.entries().empty()) << "a new folder starts empty";
    mgr.put("C4->ka", cv("ka", "C4", 1.0));
    ASSERT_TRUE(mgr.save());

    CTsVoiceCfgMgr again;
    ASSERT_EQ(again.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::Loaded);
    ASSERT_NE(again.find("ka", "C4"), nullptr);
    EXPECT_EQ(again.entries().size(), 1u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1)
        << "no temporary file is left beside the file";
}

TEST(VoiceCfgMgrFile, AnUnreadableFileLoadsNothingAndIsNeverWrittenOver)
{
    for (const std::string broken : {"{\"C4->ka\": {", "[1, 2]", "", "\"text\""}) {
        TempDir dir;
        writeText(dir / "voice.lvcfg", broken);
        CTsVoiceCfgMgr mgr;
        EXPECT_EQ(mgr.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::Unreadable) << broken;
        EXPECT_TRUE(mgr.entries().empty());
        EXPECT_TRUE(mgr.fileUnreadable());
        mgr.put("C4->ka", cv("ka", "C4", 1.0));
        EXPECT_FALSE(mgr.save());
        CTsVoiceCfg_CV edited = *cv("ka", "C4", 1.0);
        EXPECT_EQ(storeEditedEntry(mgr, edited, dir.path()), EntryUpdate::NotWritable);
        EXPECT_EQ(deleteEntry(mgr, "C4->ka"), EntryUpdate::NotWritable);
        EXPECT_EQ(readText(dir / "voice.lvcfg"), broken) << "the user's file is kept as it was";
    }
}

// A file the reader passes over in part loads as the desktop program always read it, but is never
// written over: text after the object (a second object pasted below the first), the earlier of a
// member named twice (an entry block copied without changing its key), bytes that are not UTF-8 (a
// wav name typed in another encoding) would all be lost by a save.
TEST(VoiceCfgMgrFile, AFileReadOnlyInPartLoadsButIsNeverWrittenOver)
{
    const std::string entry = R"({"srcType":"INDIE","wavName":"x.wav","symbol":"ka","pitch":"C4",
        "startTime":1.0,"endTime":2.0,"startPoint":0.25,"endPoint":0.5})";
    const std::string other = R"({"srcType":"INDIE","wavName":"y.wav","symbol":"ka","pitch":"C4",
        "startTime":1.0,"endTime":2.0,"startPoint":0.25,"endPoint":0.5})";
    const std::string legacyName = "{\"C4->ka\": {\"srcType\":\"INDIE\",\"wavName\":\"\xC4\xE3\xBA\xC3.wav\",\"symbol\":\"ka\","
                                   "\"pitch\":\"C4\",\"startTime\":1.0,\"endTime\":2.0,\"startPoint\":0.25,\"endPoint\":0.5}}";
    struct Case {
        std::string text;
        std::string wavName; // of the entry C4->ka that loads
    };
    const Case cases[] = {
        {"{\"C4->ka\": " + entry + "}\n{\"C4->na\": " + other + "}", "x.wav"},
        {"{\"C4->ka\": " + entry + ",\n\"C4->ka\": " + other + "}", "y.wav"},
        {legacyName, "\xC4\xE3\xBA\xC3.wav"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeText(dir / "voice.lvcfg", c.text);
        CTsVoiceCfgMgr mgr;
        ASSERT_EQ(mgr.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::Loaded) << c.text;
        ASSERT_NE(mgr.findKey("C4->ka"), nullptr);
        EXPECT_EQ(mgr.findKey("C4->ka")->wavName, c.wavName);
        EXPECT_FALSE(mgr.writable());
        EXPECT_FALSE(mgr.keptAsIsReason().empty());
        EXPECT_FALSE(mgr.save());
        EXPECT_EQ(deleteEntry(mgr, "C4->ka"), EntryUpdate::NotWritable);
        EXPECT_EQ(readText(dir / "voice.lvcfg"), c.text) << "the user's file is kept as it was";
    }

    // The same name in UTF-8 loads and survives a save as an escape.
    TempDir dir;
    const std::string utf8 = "{\"C4->ka\": {\"srcType\":\"INDIE\",\"wavName\":\"\xE4\xBD\xA0\xE5\xA5\xBD.wav\",\"symbol\":\"ka\","
                             "\"pitch\":\"C4\",\"startTime\":1.0,\"endTime\":2.0,\"startPoint\":0.25,\"endPoint\":0.5}}";
    writeText(dir / "voice.lvcfg", utf8);
    CTsVoiceCfgMgr mgr;
    ASSERT_EQ(mgr.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::Loaded);
    ASSERT_TRUE(mgr.save());
    EXPECT_NE(readText(dir / "voice.lvcfg").find("\"wavName\" : \"\\u4f60\\u597d.wav\""), std::string::npos);
    CTsVoiceCfgMgr again;
    ASSERT_EQ(again.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::Loaded);
    EXPECT_EQ(again.findKey("C4->ka")->wavName, "\xE4\xBD\xA0\xE5\xA5\xBD.wav");

    // Other JSON documents keep the reader's usual rule: the last one wins.
    CTsVoiceCfg_INDIE single;
    EXPECT_TRUE(single.fromJsonText(R"({"srcType":"INDIE","wavName":"a","symbol":"s","pitch":"C4","startTime":1.0,
        "endTime":2.0,"startPoint":0.25,"endPoint":0.5,"wavName":"b"})"));
    EXPECT_EQ(single.wavName, "b");
}

// Members the manager cannot use as entries are kept byte for byte and written back in key order
// when another entry is saved; each says why it did not load.
TEST(VoiceCfgMgrFile, MembersThatDoNotLoadSurviveEverySaveByteForByte)
{
    TempDir dir;
    const std::string good = R"({"srcType":"INDIE","wavName":"x.wav","symbol":"br","pitch":"C4",
        "startTime":1.0,"endTime":2.0,"startPoint":0.25,"endPoint":0.5})";
    const std::string future = "{ \"srcType\" : \"XY\", \"wavName\":\"x.wav\",\"symbol\":\"xy\",\"pitch\":\"C4\",\n"
                               "  \"startTime\":1.0,\"endTime\":2.0, \"big\": 123456789012345678901234567890 }";
    const std::string mistyped = R"({"srcType":"CV","wavName":"x.wav","symbol":"ka","pitch":"C4","startTime":"1.0",
        "endTime":2.0})";
    const std::string noMarker = R"({"srcType":"VX","wavName":"x.wav","symbol":"a_k","pitch":"C4","startTime":1.0,
        "endTime":2.0,"connectPoint":0.1})";
    const std::string text = "{\"C4->xy\": " + future + ",\n\"C4->ka\": " + mistyped + ",\n\"note\": 42,\n\"C4->a_k\": " +
                             noMarker + ",\n\"C4->br\": " + good + ",\n\"C4->ka\\u0000copy\": " + good + "}";
    writeText(dir / "voice.lvcfg", text);
    CTsVoiceCfgMgr mgr;
    ASSERT_EQ(mgr.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::Loaded);
    EXPECT_TRUE(mgr.writable());
    EXPECT_EQ(mgr.entries().size(), 2u);
    ASSERT_NE(mgr.findKey(std::string("C4->ka\0copy", 11)), nullptr) << "a NUL in a name is kept whole";
    const auto& skipped = mgr.skippedMembers();
    ASSERT_EQ(skipped.size(), 4u);
    EXPECT_EQ(skipped.at("C4->xy").reason, "unknown srcType \"XY\"");
    EXPECT_EQ(skipped.at("C4->xy").text, future);
    EXPECT_EQ(skipped.at("C4->ka").reason, "\"startTime\" is not a finite number");
    EXPECT_EQ(skipped.at("C4->a_k").reason, "no \"tailPoint\"");
    EXPECT_EQ(skipped.at("note").reason, "not an entry object");

    auto fresh = indie("br2", "C4", 1.0, 1.5);
    ASSERT_EQ(storeEditedEntry(mgr, *fresh, dir.path()), EntryUpdate::Done);
    const std::string saved = readText(dir / "voice.lvcfg");
    // Key order: C4->a_k, C4->br, C4->br2, C4->ka, C4->ka\0copy, C4->xy, note.
    const std::size_t aK = saved.find("\"C4->a_k\" : " + noMarker);
    const std::size_t br2 = saved.find("\"C4->br2\" : {");
    const std::size_t ka = saved.find("\"C4->ka\" : " + mistyped);
    const std::size_t copy = saved.find("\"C4->ka\\u0000copy\" : {");
    const std::size_t xy = saved.find("\"C4->xy\" : " + future);
    const std::size_t note = saved.find("\"note\" : 42\r\n}");
    for (const std::size_t at : {aK, br2, ka, copy, xy, note}) {
        ASSERT_NE(at, std::string::npos) << saved;
    }
    EXPECT_TRUE(aK < br2 && br2 < ka && ka < copy && copy < xy && xy < note) << saved;

    CTsVoiceCfgMgr again;
    ASSERT_EQ(again.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::Loaded);
    EXPECT_EQ(again.entries().size(), 3u);
    EXPECT_EQ(again.skippedMembers().size(), 4u);
    EXPECT_EQ(again.skippedMembers().at("C4->xy").text, future);
    // A skipped member is replaced by an entry stored under its name, and deleted by its key.
    auto ka2 = cv("ka", "C4", 1.0);
    ASSERT_EQ(storeEditedEntry(again, *ka2, dir.path()), EntryUpdate::Done);
    EXPECT_EQ(again.skippedMembers().count("C4->ka"), 0u);
    ASSERT_EQ(deleteEntry(again, "note"), EntryUpdate::Done);
    EXPECT_EQ(readText(dir / "voice.lvcfg").find("\"note\""), std::string::npos);
}

TEST(VoiceCfgMgrFile, Utf8ValidationIsStrict)
{
    EXPECT_TRUE(lvjson::isValidUtf8(""));
    EXPECT_TRUE(lvjson::isValidUtf8("ka \xC3\xA1 \xE6\x96\x87 \xF0\x9F\x8E\xB5 \xF4\x8F\xBF\xBF"));
    EXPECT_TRUE(lvjson::isValidUtf8(std::string("a\0b", 3)));
    for (const char* bad : {"\xC3", "\xC3y", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF0\x80\x80\xAF",
                            "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xFF", "\x80", "\xE6\x96"}) {
        EXPECT_FALSE(lvjson::isValidUtf8(bad)) << testing::PrintToString(std::string(bad));
    }
}

TEST(VoiceCfgMgrFile, AnEmptyFolderNameNamesNoFile)
{
    CTsVoiceCfgMgr mgr;
    EXPECT_EQ(mgr.loadFolder(""), CTsVoiceCfgMgr::LoadStatus::NoFile);
    EXPECT_TRUE(mgr.filePath().empty());
    mgr.put("C4->ka", cv("ka", "C4", 1.0));
    EXPECT_FALSE(mgr.save()) << "never the root folder's voice.lvcfg";
}

TEST(VoiceCfgMgrEntries, PutReplacesWhateverKindIsStoredUnderTheKey)
{
    CTsVoiceCfgMgr mgr;
    mgr.put("C4->ka", indie("ka", "C4", 1.0, 2.0));
    ASSERT_TRUE(mgr.putCopy(*cv("ka", "C4", 0.5)));
    ASSERT_EQ(mgr.entries().size(), 1u);
    EXPECT_EQ(mgr.find("ka", "C4")->kind(), 1);
    EXPECT_NE(dynamic_cast<const CTsVoiceCfg_CV*>(mgr.find("ka", "C4")), nullptr);

    CTsVoiceCfg bare;
    bare.pitch = "C4";
    bare.symbol = "x";
    EXPECT_FALSE(mgr.putCopy(bare));
    EXPECT_EQ(mgr.find("x", "C4"), nullptr);
}

TEST(VoiceCfgMgrEntries, RemoveTakesTheStoredEntryItselfNotItsNamesake)
{
    CTsVoiceCfgMgr mgr;
    mgr.put("C4->ka", cv("ka", "C4", 1.0));
    mgr.put("hand edited", cv("ka", "C4", 2.0)); // same pitch and symbol, another member name
    CTsVoiceCfg* odd = mgr.findKey("hand edited");
    mgr.remove(*odd);
    EXPECT_EQ(mgr.findKey("hand edited"), nullptr);
    EXPECT_NE(mgr.findKey("C4->ka"), nullptr);

    const auto outside = cv("ka", "C4", 3.0); // not stored: removed by its key
    mgr.remove(*outside);
    EXPECT_TRUE(mgr.entries().empty());
    mgr.remove(*outside); // absent: nothing happens
    mgr.put("a", cv("a", "C4", 1.0));
    mgr.put("b", cv("b", "C4", 1.0));
    mgr.clear();
    EXPECT_TRUE(mgr.entries().empty());
}

TEST(VoiceCfgMgrUpdates, StoreOverwritesTheSameKindInPlaceAndSaves)
{
    FixedClockAndZone clock(1000);
    TempDir dir;
    writeText(dir / "voice.lvcfg", kTwoEntries);
    CTsVoiceCfgMgr mgr;
    ASSERT_EQ(mgr.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::Loaded);
    CTsVoiceCfg* storedBefore = mgr.findKey("C4->a_k");

    clock.set(2000);
    auto edited = vx("a_k", "C4", 1.75, 2.25);
    EXPECT_EQ(storeEditedEntry(mgr, *edited, dir.path()), EntryUpdate::Done);
    EXPECT_EQ(edited->updateTime, 2000);
    EXPECT_EQ(mgr.findKey("C4->a_k"), storedBefore) << "the stored object stays";
    const auto* stored = dynamic_cast<const CTsVoiceCfg_VC*>(storedBefore);
    EXPECT_EQ(stored->connectPoint, 1.75);
    EXPECT_EQ(stored->updateTime, 2000);

    CTsVoiceCfgMgr reread;
    ASSERT_EQ(reread.loadFolder(dir.path()), CTsVoiceCfgMgr::LoadStatus::Loaded);
    const auto* r = dynamic_cast<const CTsVoiceCfg_VC*>(reread.findKey("C4->a_k"));
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(lvtest::near(r->tailPoint, 2.25, 1e-12, "relative form"));
    EXPECT_EQ(r->updateTime, 2000);
    EXPECT_EQ(reread.findKey("C4->br1")->updateTime, 1709179200) << "other entries keep their time";
}

TEST(VoiceCfgMgrUpdates, StoreOfAnotherKindReplacesAndNewKeysAreAdded)
{
    FixedClockAndZone clock(1000);
    TempDir dir;
    writeText(dir / "voice.lvcfg", kTwoEntries);
    CTsVoiceCfgMgr mgr;
    mgr.loadFolder(dir.path());
    auto asCv = cv("br1", "C4", 0.5);
    EXPECT_EQ(storeEditedEntry(mgr, *asCv, dir.path()), EntryUpdate::Done);
    EXPECT_EQ(mgr.findKey("C4->br1")->kind(), 1);
    auto fresh = cv("ka", "D4", 0.5);
    EXPECT_EQ(storeEditedEntry(mgr, *fresh, dir.path()), EntryUpdate::Done);
    EXPECT_NE(fresh.get(), mgr.findKey("D4->ka")) << "a copy is stored";

    CTsVoiceCfgMgr reread;
    reread.loadFolder(dir.path());
    EXPECT_EQ(reread.entries().size(), 3u);
    EXPECT_EQ(reread.findKey("C4->br1")->srcType, "CV");
}

TEST(VoiceCfgMgrUpdates, StoreForAnotherFolderStoresNothing)
{
    TempDir dir;
    TempDir other;
    writeText(dir / "voice.lvcfg", kTwoEntries);
    CTsVoiceCfgMgr mgr;
    mgr.loadFolder(dir.path());
    auto edited = vx("a_k", "C4", 1.75, 2.25);
    const std::int64_t before = edited->updateTime;
    EXPECT_EQ(storeEditedEntry(mgr, *edited, other.path()), EntryUpdate::OtherFolder);
    // The comparison is on the exact text: the same folder spelled with a trailing separator differs.
    EXPECT_EQ(storeEditedEntry(mgr, *edited, dir.path().native() + "/"), EntryUpdate::OtherFolder);
    EXPECT_EQ(edited->updateTime, before);
    EXPECT_EQ(readText(dir / "voice.lvcfg"), kTwoEntries);
    EXPECT_EQ(dynamic_cast<const CTsVoiceCfg_VC*>(mgr.findKey("C4->a_k"))->connectPoint, 1.25);
}

TEST(VoiceCfgMgrUpdates, RenameMovesTheEntryAndDatesTheCopy)
{
    FixedClockAndZone clock(4242);
    TempDir dir;
    writeText(dir / "voice.lvcfg", kTwoEntries);
    CTsVoiceCfgMgr mgr;
    mgr.loadFolder(dir.path());

    EXPECT_EQ(renameEntry(mgr, "C4->a_k", "a_k", "C4"), EntryUpdate::Unchanged);
    EXPECT_EQ(readText(dir / "voice.lvcfg"), kTwoEntries) << "unchanged: not even saved";
    EXPECT_EQ(renameEntry(mgr, "C4->zz", "a_k", "D4"), EntryUpdate::NotFound);

    EXPECT_EQ(renameEntry(mgr, "C4->a_k", "e_t", "D4"), EntryUpdate::Done);
    EXPECT_EQ(mgr.findKey("C4->a_k"), nullptr);
    const auto* moved = dynamic_cast<const CTsVoiceCfg_VC*>(mgr.findKey("D4->e_t"));
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->updateTime, 4242);
    EXPECT_EQ(moved->connectPoint, 1.25);
    EXPECT_EQ(moved->wavName, "a_k.wav");

    // Onto an existing key: that entry is replaced.
    EXPECT_EQ(renameEntry(mgr, "D4->e_t", "br1", "C4"), EntryUpdate::Done);
    ASSERT_EQ(mgr.entries().size(), 1u);
    EXPECT_EQ(mgr.findKey("C4->br1")->kind(), 2);

    CTsVoiceCfgMgr reread;
    reread.loadFolder(dir.path());
    ASSERT_EQ(reread.entries().size(), 1u);
    EXPECT_EQ(reread.findKey("C4->br1")->srcType, "VX");
}

TEST(VoiceCfgMgrUpdates, RenamingAnEntryOntoItsOwnOddMemberNameKeepsIt)
{
    TempDir dir;
    CTsVoiceCfgMgr mgr;
    mgr.loadFolder(dir.path());
    mgr.put("D4->ka", cv("ka", "C4", 1.0)); // stored under a name that is not its pitch and symbol
    EXPECT_EQ(renameEntry(mgr, "D4->ka", "ka", "D4"), EntryUpdate::Done);
    ASSERT_NE(mgr.findKey("D4->ka"), nullptr);
    EXPECT_EQ(mgr.findKey("D4->ka")->pitch, "D4");
}

TEST(VoiceCfgMgrUpdates, CopyKeepsTheOriginalAndDeleteRemoves)
{
    FixedClockAndZone clock(99);
    TempDir dir;
    writeText(dir / "voice.lvcfg", kTwoEntries);
    CTsVoiceCfgMgr mgr;
    mgr.loadFolder(dir.path());
    EXPECT_EQ(copyEntry(mgr, "C4->br1", "br2", "C4"), EntryUpdate::Done);
    EXPECT_EQ(copyEntry(mgr, "C4->br1", "br1", "C4"), EntryUpdate::Unchanged);
    ASSERT_NE(mgr.findKey("C4->br1"), nullptr);
    EXPECT_EQ(mgr.findKey("C4->br1")->updateTime, 1709179200);
    EXPECT_EQ(mgr.findKey("C4->br2")->updateTime, 99);

    EXPECT_EQ(deleteEntry(mgr, "C4->a_k"), EntryUpdate::Done);
    EXPECT_EQ(deleteEntry(mgr, "C4->a_k"), EntryUpdate::NotFound);

    CTsVoiceCfgMgr reread;
    reread.loadFolder(dir.path());
    std::vector<std::string> keys;
    for (const auto& [key, entry] : reread.entryMap()) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"C4->br1", "C4->br2"}));
}

TEST(VoiceCfgMgrUpdates, AFailedSaveIsReported)
{
    TempDir dir;
    const auto folder = dir / "wav";
    std::filesystem::create_directory(folder);
    CTsVoiceCfgMgr mgr;
    mgr.loadFolder(folder);
    std::filesystem::remove(folder);
    auto edited = cv("ka", "C4", 1.0);
    EXPECT_EQ(storeEditedEntry(mgr, *edited, folder), EntryUpdate::SaveFailed);
}
