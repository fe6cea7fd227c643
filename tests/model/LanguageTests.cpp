#include "model/JsonInfo.h"
#include "model/Language.h"
#include "model/ProjectFile.h"

#include "support/TestSupport.h"

#include <json/json.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

using lvtest::writeText;

// Leaves no loaded table behind for the next test.
struct UnloadAfter {
    ~UnloadAfter() { loadLanguage(""); }
};

} // namespace

TEST(LanguageTable, TheCompiledInChineseTableTranslatesEveryKey)
{
    Json::CharReaderBuilder builder;
    builder.settings_["rejectDupKeys"] = true;
    builder.settings_["strictRoot"] = true;
    builder.settings_["failIfExtra"] = true;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    const std::string_view text = simplifiedChineseLanguageText();
    Json::Value table;
    std::string errors;
    ASSERT_TRUE(reader->parse(text.data(), text.data() + text.size(), &table, &errors)) << errors;
    ASSERT_TRUE(table.isObject());
    EXPECT_EQ(table["language"].asString(), "Simplified Chinese(\xE7\xAE\x80\xE4\xBD\x93\xE4\xB8\xAD\xE6\x96\x87)");
    EXPECT_GE(table.size(), 140u);
    EXPECT_LE(table.size(), 200u);
    for (const auto& name : table.getMemberNames()) {
        ASSERT_TRUE(table[name].isString()) << name;
        EXPECT_FALSE(table[name].asString().empty()) << name;
        EXPECT_NE(table[name].asString(), name) << "a translation, not the English text";
    }
    for (const char* key : {"File", "Open File", "Undo", "Pitch", "Save as",
                            "It's high version project file, please update editor to use it"}) {
        EXPECT_TRUE(table.isMember(key)) << key;
    }
}

TEST(LanguageTable, WithoutALanguageFileEveryTextIsEnglishAndChineseIsChosenByName)
{
    UnloadAfter unload;
    for (const char* none : {"DEFAULT_PATH", ""}) {
        EXPECT_FALSE(loadLanguage(none));
        EXPECT_EQ(translate("File"), "File");
        EXPECT_EQ(translate(std::string(kHighVersionMessage)), kHighVersionMessage);
        EXPECT_EQ(translate("language"), "English");
        EXPECT_EQ(translate("no such text"), "");
    }
    // The English table has every text of the Chinese one.
    Json::Value chinese;
    ASSERT_TRUE(lvjson::parse(simplifiedChineseLanguageText(), chinese));
    for (const auto& name : chinese.getMemberNames()) {
        if (name != "language") {
            EXPECT_EQ(translate(name), name);
        }
    }

    ASSERT_TRUE(loadLanguage(std::string(kSimplifiedChineseTable)));
    EXPECT_EQ(translate("File"), "\xE6\x96\x87\xE4\xBB\xB6"); // 文件
    EXPECT_EQ(translate("Undo"), "\xE6\x92\xA4\xE9\x94\x80"); // 撤销
    EXPECT_EQ(translate("no such text"), "");
    EXPECT_FALSE(loadLanguage(""));
    EXPECT_EQ(translate("File"), "File");
}

TEST(LanguageTable, ALoadedFileTakesPrecedenceAndFallsBackForEmptyTexts)
{
    UnloadAfter unload;
    lvtest::TempDir dir;
    writeText(dir / "fr.json", R"({"language": "Fran\u00e7ais", "File": "Fichier", "Undo": "", "Pitch": 3,
        "Only here": "Seulement ici"})");
    ASSERT_TRUE(loadLanguage((dir / "fr.json").string()));
    EXPECT_EQ(translate("File"), "Fichier");
    EXPECT_EQ(translate("language"), "Fran\xC3\xA7" "ais");
    EXPECT_EQ(translate("Undo"), "Undo") << "an empty text falls back to English";
    EXPECT_EQ(translate("Pitch"), "Pitch") << "a number is not a text: falls back";
    EXPECT_EQ(translate("Only here"), "Seulement ici");

    // A broken file empties the loaded table.
    writeText(dir / "broken.json", R"({"File": "Datei",)");
    EXPECT_FALSE(loadLanguage((dir / "broken.json").string()));
    EXPECT_EQ(translate("File"), "File");
    EXPECT_EQ(translate("Only here"), "");
    EXPECT_FALSE(loadLanguage((dir / "missing.json").string()));
    writeText(dir / "array.json", R"(["File", "Datei"])");
    EXPECT_FALSE(loadLanguage((dir / "array.json").string()));
}
