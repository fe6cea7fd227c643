#include "model/CAppConfigModel.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using lvtest::writeText;

// The defaults, as the file must hold them: twenty members in byte order of their names.
const std::string kDefaultText =
    "{\r\n"
    "   \"autoBackupMinute\" : 5,\r\n"
    "   \"autoVibBeats\" : 1,\r\n"
    "   \"backToStartAfterPlay\" : false,\r\n"
    "   \"edtLen\" : 8,\r\n"
    "   \"edtQuant\" : 8,\r\n"
    "   \"edtQuantTriplet\" : false,\r\n"
    "   \"expBendDep\" : 8,\r\n"
    "   \"expBendLen\" : 0,\r\n"
    "   \"expHeadChg\" : 30,\r\n"
    "   \"expTailChg\" : 30,\r\n"
    "   \"isAutoVib\" : true,\r\n"
    "   \"langFilePath\" : \"\",\r\n"
    "   \"latestTscfgLoc\" : \"\",\r\n"
    "   \"showGridLine\" : false,\r\n"
    "   \"singerName\" : \"\",\r\n"
    "   \"trkLen\" : 4,\r\n"
    "   \"trkQuant\" : 4,\r\n"
    "   \"useAutoBackup\" : true,\r\n"
    "   \"vibPercent\" : 66,\r\n"
    "   \"vibPreins\" : {\r\n"
    "      \"vibAmp\" : [\r\n"
    "         {\r\n"
    "            \"p\" : -1,\r\n"
    "            \"v\" : 0\r\n"
    "         },\r\n"
    "         {\r\n"
    "            \"p\" : 100001,\r\n"
    "            \"v\" : 0\r\n"
    "         }\r\n"
    "      ],\r\n"
    "      \"vibFreq\" : [\r\n"
    "         {\r\n"
    "            \"p\" : -1,\r\n"
    "            \"v\" : 0\r\n"
    "         },\r\n"
    "         {\r\n"
    "            \"p\" : 100001,\r\n"
    "            \"v\" : 0\r\n"
    "         }\r\n"
    "      ],\r\n"
    "      \"vibName\" : \"\"\r\n"
    "   }\r\n"
    "}\r\n";

} // namespace

TEST(AppConfig, DefaultsAreWrittenAsTwentyMembers)
{
    CAppConfigModel settings;
    EXPECT_EQ(settings.toJsonText(), kDefaultText);
}

TEST(AppConfig, AFileWithOneMemberKeepsEveryOtherDefault)
{
    CAppConfigModel settings;
    ASSERT_TRUE(settings.fromJsonText(R"({"autoBackupMinute": 10})"));
    EXPECT_EQ(settings.autoBackupMinute, 10);
    std::string expected = kDefaultText;
    expected.replace(expected.find("\"autoBackupMinute\" : 5"), 22, "\"autoBackupMinute\" : 10");
    EXPECT_EQ(settings.toJsonText(), expected);
}

TEST(AppConfig, RecentProjectsAreAMemberOfTheirOwnWrittenOnlyWhenThereAreAny)
{
    CAppConfigModel settings;
    ASSERT_TRUE(settings.fromJsonText(R"({"recentProjects": ["/v/b.lvtb", 3, "", "/v/a.lvtb"], "trkLen": 2})"));
    EXPECT_EQ(settings.recentProjects, (std::vector<std::string>{"/v/b.lvtb", "/v/a.lvtb"}));
    EXPECT_EQ(settings.trkLen, 2);
    std::string expected = kDefaultText;
    expected.replace(expected.find("\"trkLen\" : 4"), 12, "\"trkLen\" : 2");
    expected.replace(expected.find("   \"showGridLine\""), 0,
                     "   \"recentProjects\" : [ \"/v/b.lvtb\", \"/v/a.lvtb\" ],\r\n");
    EXPECT_EQ(settings.toJsonText(), expected);

    // Read back (the default preset has no name and is refused; the other members are read); a
    // member of another type keeps the list.
    CAppConfigModel again;
    again.fromJsonText(expected);
    EXPECT_EQ(again.recentProjects, settings.recentProjects);
    ASSERT_TRUE(again.fromJsonText(R"({"recentProjects": "/v/c.lvtb"})"));
    EXPECT_EQ(again.recentProjects, settings.recentProjects);
}

TEST(AppConfig, TheSpectrogramPreferencesAreMembersOfTheirOwnWrittenOnlyWhenChanged)
{
    // A file of an older version, without them, reads the defaults: the whole spectrum, f0 shown.
    CAppConfigModel older;
    older.fromJsonText(kDefaultText);
    EXPECT_EQ(older.spectrogramTopFrequency, 22050);
    EXPECT_TRUE(older.showF0Overlay);

    CAppConfigModel settings;
    settings.spectrogramTopFrequency = 8000;
    settings.showF0Overlay = false;
    std::string expected = kDefaultText;
    expected.replace(expected.find("   \"showGridLine\""), 0, "   \"showF0Overlay\" : false,\r\n");
    expected.replace(expected.find("   \"trkLen\""), 0, "   \"spectrogramTopFrequency\" : 8000,\r\n");
    EXPECT_EQ(settings.toJsonText(), expected);

    lvtest::TempDir dir;
    ASSERT_TRUE(settings.saveSettingsFile(dir / "app.cfg"));
    CAppConfigModel again;
    ASSERT_TRUE(again.loadSettingsFile(dir / "app.cfg"));
    EXPECT_EQ(again.spectrogramTopFrequency, 8000);
    EXPECT_FALSE(again.showF0Overlay);
    // Back at the defaults they leave the file as an older version wrote it.
    again.spectrogramTopFrequency = 22050;
    again.showF0Overlay = true;
    again.vibPreins.copyFrom(CVibratoPreinstall());
    EXPECT_EQ(again.toJsonText(), kDefaultText);
}

TEST(AppConfig, WindowPlacesAreAMemberOfTheirOwnAndMalformedPlacesArePassedOver)
{
    CAppConfigModel settings;
    ASSERT_TRUE(settings.fromJsonText(R"({"windowPlaces": {"list": [10, 40, 600, 500], "editor": [-5, 0, 800, 2.0],
        "short": [1, 2, 3], "empty": [0, 0, 0, 10], "text": [1, 2, "3", 4], "flat": 7}})"));
    using Place = CAppConfigModel::WindowPlace;
    EXPECT_EQ(settings.windowPlaces, (std::map<std::string, Place>{{"editor", Place{-5, 0, 800, 2}},
                                                                   {"list", Place{10, 40, 600, 500}}}));
    // Sorted after "vibPreins", the last of the twenty.
    const std::string text = settings.toJsonText();
    const std::string tail = "   },\r\n"
                             "   \"windowPlaces\" : {\r\n"
                             "      \"editor\" : [ -5, 0, 800, 2 ],\r\n"
                             "      \"list\" : [ 10, 40, 600, 500 ]\r\n"
                             "   }\r\n"
                             "}\r\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    CAppConfigModel again;
    again.fromJsonText(settings.toJsonText());
    EXPECT_EQ(again.windowPlaces, settings.windowPlaces);
    // Without places the file keeps its twenty members.
    EXPECT_EQ(CAppConfigModel().toJsonText().find("windowPlaces"), std::string::npos);
}

TEST(AppConfig, InvalidJsonLeavesEveryDefault)
{
    lvtest::TempDir dir;
    writeText(dir / "app.cfg", R"({"autoBackupMinute": 10, "vibPercent": )");
    CAppConfigModel settings;
    EXPECT_FALSE(settings.loadFile(dir / "app.cfg"));
    EXPECT_FALSE(settings.loadFile(dir / "missing.cfg"));
    EXPECT_EQ(settings.toJsonText(), kDefaultText);
}

TEST(AppConfig, ABrokenSettingsFileIsNotWrittenOver)
{
    lvtest::TempDir dir;
    const std::string broken = R"({"singerName": "Mio", "vibPercent": 70,)";
    writeText(dir / "app.cfg", broken);
    CAppConfigModel settings;
    EXPECT_FALSE(settings.loadSettingsFile(dir / "app.cfg"));
    EXPECT_TRUE(settings.settingsFileUnreadable());
    EXPECT_EQ(settings.vibPercent, 66);
    settings.latestTscfgLoc = "/data/wav";
    EXPECT_FALSE(settings.saveSettingsFile(dir / "app.cfg"));
    const auto bytes = lvtest::readFile(dir / "app.cfg");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), broken) << "the user's settings are kept for repair";

    CAppConfigModel fresh;
    EXPECT_TRUE(fresh.loadSettingsFile(dir / "none.cfg")) << "a missing file is no problem";
    ASSERT_TRUE(fresh.saveSettingsFile(dir / "none.cfg"));
    CAppConfigModel reread;
    EXPECT_TRUE(reread.loadSettingsFile(dir / "none.cfg")) << "our own file, with its unnamed preset, reads fine";
    EXPECT_FALSE(reread.settingsFileUnreadable());
    EXPECT_EQ(reread.toJsonText(), kDefaultText);
}

TEST(AppConfig, AnUnnamedPresetIsRefusedButTheOtherMembersAreRead)
{
    CAppConfigModel settings;
    ASSERT_TRUE(settings.fromJsonText(R"({"vibPreins": {"vibName": "wide", "vibAmp": [{"p": 1, "v": 2}]}})"));
    EXPECT_EQ(settings.vibPreins.vibName, "wide");

    EXPECT_FALSE(settings.fromJsonText(R"({"vibPreins": {"vibName": "", "vibAmp": [{"p": 5, "v": 5}]}, "trkLen": 16})"));
    EXPECT_EQ(settings.vibPreins.vibName, "wide") << "the previous preset stays";
    ASSERT_EQ(settings.vibPreins.vibrato.amplitude.size(), 1u);
    EXPECT_EQ(settings.vibPreins.vibrato.amplitude.begin()->p, 1);
    EXPECT_EQ(settings.trkLen, 16);
    EXPECT_TRUE(settings.fromJsonText(R"({"vibPreins": null})")) << "null counts as absent";
}

TEST(AppConfig, MembersConvertToTheirTypeOrKeepTheirValue)
{
    CAppConfigModel settings;
    settings.singerName = "Mio";
    ASSERT_TRUE(settings.fromJsonText(R"({
        "vibPercent": 70.9, "autoVibBeats": true, "expBendDep": "12", "expBendLen": 1e20,
        "isAutoVib": 0, "showGridLine": 2.5, "useAutoBackup": "no",
        "singerName": null, "langFilePath": null, "latestTscfgLoc": 5, "trkQuant": null})"));
    EXPECT_EQ(settings.vibPercent, 70) << "reals are truncated";
    EXPECT_EQ(settings.autoVibBeats, 1);
    EXPECT_EQ(settings.expBendDep, 8) << "a string is not an int";
    EXPECT_EQ(settings.expBendLen, 0) << "out of range keeps the value";
    EXPECT_FALSE(settings.isAutoVib);
    EXPECT_TRUE(settings.showGridLine);
    EXPECT_TRUE(settings.useAutoBackup) << "a string is not a bool";
    EXPECT_EQ(settings.singerName, "Mio") << "a null singer name is skipped";
    EXPECT_EQ(settings.langFilePath, "");
    EXPECT_EQ(settings.latestTscfgLoc, "") << "a number is not a folder";
    EXPECT_EQ(settings.trkQuant, 0) << "null reads as zero";

    ASSERT_TRUE(settings.fromJsonText(R"({"singerName": "Rin", "latestTscfgLoc": "/home/u/wav", "edtQuantTriplet": true})"));
    EXPECT_EQ(settings.singerName, "Rin");
    EXPECT_EQ(settings.latestTscfgLoc, "/home/u/wav");
    EXPECT_TRUE(settings.edtQuantTriplet);
}

TEST(AppConfigLocation, TheOverrideThenThePortableFolderThenTheUserFolder)
{
    lvtest::TempDir dir;
    const auto exe = dir / "bin";
    std::filesystem::create_directory(exe);
    EXPECT_EQ(resolveConfigFolder(exe, "/etc/lv", "/x", "/home/u"), "/etc/lv");
    EXPECT_EQ(resolveConfigFolder(exe, "", "/x", "/home/u"), "/x/lirvane-toolbox") << "empty means unset";
    EXPECT_EQ(resolveConfigFolder(exe, nullptr, nullptr, "/home/u"), "/home/u/.config/lirvane-toolbox");
    EXPECT_EQ(resolveConfigFolder(exe, nullptr, "relative", "/home/u"), "/home/u/.config/lirvane-toolbox");
    std::filesystem::create_directory(exe / "config");
    EXPECT_EQ(resolveConfigFolder(exe, nullptr, "/x", "/home/u"), exe / "config");
    EXPECT_EQ(resolveConfigFolder(exe, "/etc/lv", "/x", "/home/u"), "/etc/lv");
}

TEST(AppConfigLocation, TheProcessSettingsComeFromTheConfigurationFolder)
{
    lvtest::TempDir dir;
    writeText(dir / "app.cfg", R"({"vibPercent": 42})");
    ASSERT_EQ(::setenv("LVTB_CONFIG_DIR", dir.path().c_str(), 1), 0);
    EXPECT_EQ(configPath(), dir / "app.cfg");
    EXPECT_EQ(config().vibPercent, 42);
    EXPECT_EQ(config().autoBackupMinute, 5);
    EXPECT_EQ(&config(), &config());

    config().latestTscfgLoc = "/data/wav";
    EXPECT_TRUE(saveConfig());
    CAppConfigModel reread;
    // The saved preset is the unnamed default, so the read reports false; every member is read all the same.
    EXPECT_FALSE(reread.loadFile(dir / "app.cfg"));
    EXPECT_EQ(reread.latestTscfgLoc, "/data/wav");
    EXPECT_EQ(reread.vibPercent, 42);

    ASSERT_EQ(::setenv("LVTB_CONFIG_DIR", (dir / "missing").c_str(), 1), 0);
    EXPECT_FALSE(saveConfig()) << "an override folder is not created";
    ::unsetenv("LVTB_CONFIG_DIR");
}
