// One whole round of work through the program's windows and messages: open the demo project, pick a
// folder in the voice configuration list, open an entry in the wave editor, move a marker with a
// key, store it, go on to the next entry, store that one with Tab, and save the project; then the
// files on disk are read back.

#include "DesktopFixture.h"

#include "audio/PortAudioLibrary.h"
#include "demo/DemoSinger.h"
#include "model/ProjectFile.h"
#include "support/SimulatedAudioDevice.h"
#include "ui/windows/CTsDictSettingDlg.h"
#include "ui/windows/CTsOtoSetingDlg.h"
#include "ui/toolkit/CUIBoard.h"
#include "ui/editor/CWavMgrDlg.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>

#include <cstdio>

using namespace TessarinEditor;

namespace {

class RoundOfWork : public lvtest::DesktopFixture {
protected:
    RoundOfWork() : sink(std::tmpfile()), library(device, sink) {}
    ~RoundOfWork() override
    {
        frame.reset();
        settle();
        std::fclose(sink);
    }

    void key(CWavMgrDlg& editorWindow, int k)
    {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QCoreApplication::sendEvent(&editorWindow.board(), &press);
    }

    static std::unique_ptr<CTsVoiceCfg> onDisk(const std::filesystem::path& folder, const std::string& key)
    {
        CTsVoiceCfgMgr mgr;
        mgr.loadFolder(folder);
        const CTsVoiceCfg* e = mgr.findKey(key);
        return e ? e->clone() : nullptr;
    }

    lvtest::SimulatedAudioDevice device;
    std::FILE* sink;
    PortAudioLibrary library;
    std::unique_ptr<CTsToolBoxAppMainFrame> frame;
};

TEST_F(RoundOfWork, OpenPickEditMoveStoreNextAndSave)
{
    const lvdemo::DemoOptions small = lvdemo::smallDemoOptions();
    std::string error;
    const auto demo = lvdemo::writeDemoProject(m_dir / "demo", error, small);
    ASSERT_TRUE(demo) << error;
    const std::filesystem::path folder = m_dir / "demo" / "wav" / "C4";

    MainFrameHooks hooks;
    hooks.makeWaveEditor = [this](QWidget* parent) { return static_cast<QWidget*>(new CWavMgrDlg(parent, library)); };
    hooks.playSound = [this](ConfirmationSound s) { sounds.push_back(s); };
    frame = std::make_unique<CTsToolBoxAppMainFrame>(hooks);
    frame->show();

    // File ▸ Open.
    scripted.answerFile(QString::fromStdString(demo->projectFile.string()));
    frame->commandAction(Cmd::kOpen)->trigger();
    ASSERT_EQ(currentProject().path(), demo->projectFile);

    // Function ▸ Build Voice Config, then "Wav Location".
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    CTsOtoSetingDlg* list = frame->configurationList();
    ASSERT_NE(list, nullptr);
    scripted.answerFolder(QString::fromStdString(folder.string()));
    list->chooseWavLocation();
    QTableWidget& table = list->table();
    ASSERT_GE(table.rowCount(), 3);

    // Double-click the first CV row, then "Edit markers".
    int row = 0;
    while (row < table.rowCount() && table.item(row, CTsOtoSetingDlg::kColType)->text() != QStringLiteral("CV")) {
        ++row;
    }
    ASSERT_LT(row + 1, table.rowCount());
    const std::string firstKey = table.item(row, CTsOtoSetingDlg::kColPitch)->text().toStdString() + "->" +
                                 table.item(row, CTsOtoSetingDlg::kColSymbol)->text().toStdString();
    const std::string secondKey = table.item(row + 1, CTsOtoSetingDlg::kColPitch)->text().toStdString() + "->" +
                                  table.item(row + 1, CTsOtoSetingDlg::kColSymbol)->text().toStdString();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list));
    const QRect cell = table.visualRect(table.model()->index(row, CTsOtoSetingDlg::kColSymbol));
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cell.center());
    // The double click ends with the button down: let it go, or the application goes on thinking
    // it is held (Space does not play while a button is down, in every later test of this process).
    QTest::mouseRelease(table.viewport(), Qt::LeftButton, {}, cell.center());
    ASSERT_EQ(QGuiApplication::mouseButtons(), Qt::NoButton);
    ASSERT_EQ(list->cvSymbolBox().text().toStdString(), firstKey.substr(firstKey.find("->") + 2));
    list->editMarkers();
    auto* editorWindow = qobject_cast<CWavMgrDlg*>(frame->waveEditor());
    ASSERT_NE(editorWindow, nullptr);
    ASSERT_NE(editorWindow->shownEntry(), nullptr);
    EXPECT_EQ(editorWindow->shownEntry()->entryKey(), firstKey);
    EXPECT_EQ(sounds.back(), ConfirmationSound::EntryOpened);

    // Key 2 puts the preutterance at the play cursor, halfway to the vowel start; then store.
    const auto& loaded = dynamic_cast<const CTsVoiceCfg_CV&>(*editorWindow->shownEntry());
    const float moved = float((loaded.preutterance + loaded.vowelStart) / 2.0);
    editorWindow->tagSet().playCursor.position = moved;
    key(*editorWindow, Qt::Key_2);
    editorWindow->storeEntry(false);
    EXPECT_EQ(sounds.back(), ConfirmationSound::EntryStored);
    const auto stored = onDisk(folder, firstKey);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(dynamic_cast<const CTsVoiceCfg_CV&>(*stored).preutterance, double(moved));

    // Down opens the following row's entry, once the message is handled.
    key(*editorWindow, Qt::Key_Down);
    settle();
    ASSERT_EQ(frame->waveEditor(), editorWindow);
    EXPECT_EQ(editorWindow->shownEntry()->entryKey(), secondKey);
    EXPECT_EQ(table.currentRow(), row + 1);

    // Tab stores the second entry (dated now) and goes on.
    const std::int64_t before = onDisk(folder, secondKey)->updateTime;
    key(*editorWindow, Qt::Key_Tab);
    settle();
    EXPECT_GT(onDisk(folder, secondKey)->updateTime, before);

    // An edit in the dictionary, then File ▸ Save.
    frame->commandAction(Cmd::kPhoneticDictionary)->trigger();
    QPlainTextEdit& tails = frame->dictionary()->page(5).editor();
    tails.setFocus();
    QTest::keyClicks(&tails, QStringLiteral("br2"));
    EXPECT_TRUE(frame->windowTitle().endsWith(QStringLiteral(" *")));
    frame->commandAction(Cmd::kSave)->trigger();
    EXPECT_FALSE(frame->windowTitle().endsWith(QStringLiteral(" *")));
    const auto saved = loadProject(demo->projectFile);
    ASSERT_NE(saved, nullptr);
    EXPECT_TRUE(saved->tailList.ends_with("br2"));
    EXPECT_TRUE(scripted.scriptDone());

    // Tab went on to a_-; its tail moved and not stored, then File ▸ Open: the editor asks first,
    // while the list that stores its entry is still there, and Yes stores it.
    const auto* shown = dynamic_cast<const CTsVoiceCfg_VC*>(editorWindow->shownEntry());
    ASSERT_NE(shown, nullptr);
    const std::string thirdKey = shown->entryKey();
    const float tail = float((shown->connectPoint + shown->tailPoint) / 2.0);
    editorWindow->tagSet().playCursor.position = tail;
    key(*editorWindow, Qt::Key_2);
    scripted.answerMessage(Prompter::Answer::Yes);
    scripted.answerFile(QString::fromStdString(demo->projectFile.string()));
    frame->commandAction(Cmd::kOpen)->trigger();
    settle();
    EXPECT_TRUE(scripted.scriptDone());
    EXPECT_EQ(scripted.prompts().at(scripted.prompts().size() - 2).text,
              QString::fromStdString("Store the changes to C4:" + thirdKey.substr(thirdKey.find("->") + 2) + "?"));
    const auto reopened = onDisk(folder, thirdKey);
    ASSERT_NE(reopened, nullptr);
    EXPECT_EQ(dynamic_cast<const CTsVoiceCfg_VC&>(*reopened).tailPoint, double(tail));
}

} // namespace
