// The Prompter: the Qt dialogs as they are set up, and the scripted one that tests install.

#include "ui/toolkit/QtPrompter.h"

#include "ScriptedPrompter.h"

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>

#include <gtest/gtest.h>

using namespace TessarinEditor;

TEST(Prompter, QtMessageBoxesShowPlainTextUnderTheProgramsCaption)
{
    const QString text = QStringLiteral("<b>C4_ka.wav</b> not exists !");
    const auto box = QtPrompter::makeMessageBox(nullptr, text, {}, Prompter::Icon::Error, Prompter::Buttons::Ok);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("Lirvane ToolBox"));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->text(), text);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);

    const auto question = QtPrompter::makeMessageBox(nullptr, QStringLiteral("Save?"), QStringLiteral("Own caption"),
                                                     Prompter::Icon::Question, Prompter::Buttons::YesNo);
    EXPECT_EQ(question->windowTitle(), QStringLiteral("Own caption"));
    EXPECT_EQ(question->icon(), QMessageBox::Question);
    EXPECT_EQ(question->standardButtons(), QMessageBox::Yes | QMessageBox::No);
}

TEST(Prompter, QtChoosersUseQtsOwnDialogWithTheRequestedFilterAndSuffix)
{
    QtPrompter qt;
    Prompter::FileRequest request;
    request.title = QStringLiteral("Save project");
    request.nameFilters = QStringList{QStringLiteral("Lirvane ToolBox project (*.lvtb)")};
    request.defaultSuffix = QStringLiteral("lvtb");
    const auto save = qt.makeFileDialog(nullptr, request, true);
    EXPECT_TRUE(save->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_FALSE(save->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(save->defaultSuffix(), QStringLiteral("lvtb"));
    EXPECT_EQ(save->nameFilters(), request.nameFilters);
    EXPECT_EQ(save->windowTitle(), request.title);

    const auto folder = qt.makeFolderDialog(nullptr, QStringLiteral("Choose a wav folder"), {});
    EXPECT_EQ(folder->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(folder->testOption(QFileDialog::ShowDirsOnly));
    EXPECT_TRUE(folder->testOption(QFileDialog::DontUseNativeDialog));
}

TEST(Prompter, ScriptedPrompterAnswersInOrderOnceInstalled)
{
    lvtest::ScriptedPrompter scripted;
    scripted.answerMessage(Prompter::Answer::No);
    scripted.answerFolder(QStringLiteral("/voice/C4"));
    scripted.answerModal([](QDialog& dialog) {
        dialog.setWindowTitle(dialog.windowTitle() + QStringLiteral(" seen"));
        return int(QDialog::Accepted);
    });
    {
        const PrompterScope scope(scripted);
        EXPECT_FALSE(prompter().askYesNo(nullptr, QStringLiteral("Overwrite?")));
        EXPECT_EQ(prompter().chooseFolder(nullptr, QStringLiteral("Folder"), {}), QStringLiteral("/voice/C4"));
        QDialog dialog;
        dialog.setWindowTitle(QStringLiteral("About"));
        EXPECT_EQ(prompter().runModal(dialog), int(QDialog::Accepted));
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About seen"));
    }
    EXPECT_NE(&prompter(), &scripted);
    EXPECT_TRUE(scripted.scriptDone());
    ASSERT_EQ(scripted.prompts().size(), 3u);
    EXPECT_EQ(scripted.prompts()[0].icon, Prompter::Icon::Question);
    EXPECT_EQ(scripted.prompts()[0].buttons, Prompter::Buttons::YesNo);
    EXPECT_EQ(scripted.prompts()[2].dialogTitle, QStringLiteral("About"));
}
