#include "model/ProjectDocument.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

struct TitleCounter {
    int refreshes = 0;
    void attach(ProjectDocument& doc)
    {
        doc.onTitleChanged = [this] { ++refreshes; };
    }
};

} // namespace

TEST(ProjectDocument, StartsEmptyUnmodifiedWithoutPath)
{
    ProjectDocument doc;
    ASSERT_NE(doc.model(), nullptr);
    EXPECT_FALSE(doc.isModified());
    EXPECT_TRUE(doc.path().empty());
    EXPECT_EQ(doc.model()->version, 1);
    EXPECT_EQ(doc.model()->previousVersion, 0);
    for (const ProjectField f : kProjectFields) {
        EXPECT_EQ(doc.field(f), "") << projectFieldName(f);
    }
    EXPECT_FALSE(doc.save()) << "a project never saved has nowhere to go";
}

TEST(ProjectDocument, SettersMarkModifiedAndRefreshTheTitle)
{
    ProjectDocument doc;
    TitleCounter title;
    title.attach(doc);
    EXPECT_TRUE(doc.setField(ProjectField::pitchList, "C4,E4"));
    EXPECT_EQ(doc.field(ProjectField::pitchList), "C4,E4");
    EXPECT_EQ(doc.model()->pitchList, "C4,E4");
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(title.refreshes, 1);

    doc.replaceModel(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(), "x.lvtb", false);
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(title.refreshes, 2);
    EXPECT_TRUE(doc.setAllSymbols(0));
    EXPECT_EQ(doc.model()->allSymbols, 0);
    EXPECT_TRUE(doc.isModified());
}

TEST(ProjectDocument, WavLocationsAreUniqueAndCaseSensitive)
{
    ProjectDocument doc;
    EXPECT_TRUE(doc.addWavLocation("/rec/A"));
    doc.replaceModel(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(*doc.model()), "", false);
    EXPECT_FALSE(doc.addWavLocation("/rec/A"));
    EXPECT_FALSE(doc.isModified()) << "an equal folder neither appends nor marks";
    EXPECT_TRUE(doc.addWavLocation("/rec/a"));
    EXPECT_TRUE(doc.addWavLocation("/rec/B"));
    EXPECT_EQ(doc.model()->wavLocations, (std::vector<std::string>{"/rec/A", "/rec/a", "/rec/B"}));

    doc.replaceModel(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(*doc.model()), "", false);
    EXPECT_FALSE(doc.removeWavLocation("/rec/b"));
    EXPECT_FALSE(doc.isModified());
    EXPECT_TRUE(doc.removeWavLocation("/rec/a"));
    EXPECT_TRUE(doc.isModified());
    EXPECT_EQ(doc.model()->wavLocations, (std::vector<std::string>{"/rec/A", "/rec/B"}));
}

TEST(ProjectDocument, SaveClearsTheFlagOnlyWhenTheFileWasWritten)
{
    lvtest::TempDir dir;
    ProjectDocument doc;
    doc.replaceModel(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(), dir / "p.lvtb", false);
    doc.setField(ProjectField::voiceBankName, "Lirvane");
    ASSERT_TRUE(doc.save());
    EXPECT_FALSE(doc.isModified());
    EXPECT_EQ(loadProject(dir / "p.lvtb")->voiceBankName, "Lirvane");

    doc.replaceModel(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(), dir / "gone" / "p.lvtb", false);
    doc.setField(ProjectField::voiceBankName, "x");
    EXPECT_FALSE(doc.save());
    EXPECT_TRUE(doc.isModified()) << "unsaved changes must still show as unsaved";
}

TEST(ProjectDocument, OpeningANewerFileShowsTheMessageAndKeepsTheProject)
{
    lvtest::TempDir dir;
    std::vector<std::uint8_t> newer = {'R', 'O', 'D', 'I', 'R', 'A', 'D', 'I', 'Z', 'E', 'D', 'E', 'V', 'E', 'R',
                                       2, 0, 0, 0, 0, 0, 0, 0};
    lvtest::writeFile(dir / "new.lvtb", newer);

    ProjectDocument doc;
    doc.replaceModel(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(), dir / "mine.lvtb", false);
    doc.setField(ProjectField::symbolList, "ka,k,a");
    std::vector<std::string> shown;
    doc.messages.translate = untranslated;
    doc.messages.show = [&](std::string_view text, std::string_view) { shown.emplace_back(text); };

    EXPECT_FALSE(doc.open(dir / "new.lvtb"));
    EXPECT_EQ(shown, (std::vector<std::string>{"It's high version project file, please update editor to use it"}));
    EXPECT_EQ(doc.path(), dir / "mine.lvtb");
    EXPECT_EQ(doc.field(ProjectField::symbolList), "ka,k,a");
    EXPECT_TRUE(doc.isModified());

    EXPECT_FALSE(doc.open(dir / "absent.lvtb"));
    EXPECT_EQ(shown.size(), 1u) << "a missing file shows nothing";

    TSTBCurrentModel::CTsToolBoxProjModel saved;
    saved.tailList = "t";
    ASSERT_EQ(saveProject(saved, dir / "other.lvtb"), 0);
    EXPECT_TRUE(doc.open(dir / "other.lvtb"));
    EXPECT_EQ(doc.path(), dir / "other.lvtb");
    EXPECT_EQ(doc.field(ProjectField::tailList), "t");
    EXPECT_EQ(doc.field(ProjectField::symbolList), "");
    EXPECT_FALSE(doc.isModified());
}

TEST(ProjectDocument, WithoutAModelGettersAreEmptyAndSettersRefuse)
{
    ProjectDocument doc;
    doc.replaceModel(nullptr, "", false);
    EXPECT_EQ(doc.field(ProjectField::modelFolder), "");
    EXPECT_FALSE(doc.setField(ProjectField::modelFolder, "x"));
    EXPECT_FALSE(doc.addWavLocation("/x"));
    EXPECT_FALSE(doc.isModified());
}
