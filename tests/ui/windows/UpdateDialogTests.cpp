// The update notice, and the hooks through which the main window opens the build panel and shows
// the notice. (What the update check does with bad answers, hanging servers and missing hosts is the
// update library's own tests' business.)

#include "DesktopFixture.h"

#include "ui/windows/CAppUpdateDlg.h"
#include "ui/build/CVbSettingPanelDlg.h"
#include "ui/build/DesktopBuildHooks.h"
#include "ui/toolkit/Messages.h"
#include "update/UpdateTexts.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

using namespace TessarinEditor;

namespace {
class BuildAndUpdateHooks : public lvtest::DesktopFixture {};
} // namespace

TEST(UpdateDialog, ShowsTheTextsAndOpensOnlyWebAddresses)
{
    struct Case {
        QString url;
        bool opens;
    };
    const std::vector<Case> cases{
        {QStringLiteral("https://lirvane.example/download?v=1.2"), true},
        {QStringLiteral("HTTP://例え.jp/ダウンロード"), true},
        {QStringLiteral("file:///etc/passwd"), false},
        {QStringLiteral("javascript:alert(1)"), false},
        {QStringLiteral("http://a.example\\@evil.example/"), false},
        {QString(), false}, // "update" without "updateUrl"
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        CAppUpdateDlg dialog(QStringLiteral("beta_1.1.6"), QStringLiteral("beta_1.2.0"), c.url);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("LirvaneToolBox Update ^_^"));
        const std::string expected =
            lvupdate::updateDialogText("beta_1.1.6", "beta_1.2.0", c.url.toUtf8().toStdString());
        QString shown = QString::fromStdString(expected);
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")); // no stray character for the CR
        EXPECT_EQ(dialog.textView().toPlainText(), shown);
        EXPECT_TRUE(dialog.textView().isReadOnly());
        EXPECT_EQ(dialog.downloadButton().text(), QStringLiteral("Download url"));
        EXPECT_TRUE(dialog.noteLabel().isHidden());

        std::vector<QUrl> opened;
        dialog.setOpener([&](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
        QTest::mouseClick(&dialog.downloadButton(), Qt::LeftButton);
        if (c.opens) {
            ASSERT_EQ(opened.size(), 1u);
            EXPECT_EQ(opened[0], QUrl(c.url, QUrl::StrictMode));
        } else {
            EXPECT_TRUE(opened.empty());
        }
        // The note also when nothing was opened: it tells the user to copy the address.
        EXPECT_FALSE(dialog.noteLabel().isHidden());
        EXPECT_EQ(dialog.noteLabel().text(),
                  QStringLiteral("Note:If download page not opened, copy the url and paste to your browser."));
    }
}

TEST_F(BuildAndUpdateHooks, TheMainWindowOpensThePanelOnItsProjectAndShowsTheNotice)
{
    TessarinEditor::MainFrameHooks hooks;
    installBuildAndUpdateHooks(hooks);
    CTsToolBoxAppMainFrame frame(hooks);
    currentProject().setField(ProjectField::voiceBankName, "Lirvane");

    send(&frame, ToolWindowEvent(Msg::kBuildPanel, 0));
    QPointer<CVbSettingPanelDlg> panel = qobject_cast<CVbSettingPanelDlg*>(frame.buildPanel());
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->windowTitle(), QStringLiteral("Build Voice Bank"));
    EXPECT_EQ(panel->singerEdit().text(), QStringLiteral("Lirvane"));
    QTest::keyClicks(&panel->pitchEdit(), QStringLiteral("C4"));
    EXPECT_EQ(currentProject().model()->pitchList, "C4");
    EXPECT_TRUE(currentProject().isModified());
    panel->close();
    EXPECT_EQ(frame.buildPanel(), nullptr); // told the window
    settle();
    EXPECT_FALSE(panel); // and was deleted

    QString title;
    QString text;
    scripted.answerModal([&](QDialog& d) {
        title = d.windowTitle();
        text = static_cast<CAppUpdateDlg&>(d).textView().toPlainText();
        return QDialog::Accepted;
    });
    send(&frame, UpdateAvailableEvent(QStringLiteral("beta_2.0.0"), QStringLiteral("https://lirvane.example/dl")));
    ASSERT_TRUE(scripted.scriptDone());
    EXPECT_EQ(title, QStringLiteral("LirvaneToolBox Update ^_^"));
    EXPECT_EQ(text, QStringLiteral("LirvaneToolBox Update!\nCurrent ver:beta_1.1.6\nLatest ver:beta_2.0.0\n\n"
                                   "Download url:https://lirvane.example/dl\nClick the button and download it~"));
}
