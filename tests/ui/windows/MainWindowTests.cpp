// The main window: its title, the save prompt before New, Open and closing, the command line's
// project, one instance of each tool window, and the dictionary window and entry dialogs it opens.

#include "DesktopFixture.h"
#include "cli/CliRunner.h"
#include "model/JsonInfo.h"

#include "demo/DemoSinger.h"
#include "model/CAppConfigModel.h"
#include "model/Language.h"
#include "model/ProjectFile.h"
#include "model/ProjectPaths.h"
#include "model/PhoneticDictionary.h"
#include "ui/build/CVbSettingPanelDlg.h"
#include "ui/build/CVoiceBankProcessDlg.h"
#include "ui/windows/CCoverageDlg.h"
#include "ui/windows/CTSToolBoxEditDlgs.h"
#include "ui/windows/CTsDictSettingDlg.h"
#include "ui/windows/CTsOtoSetingDlg.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QMenu>
#include <QMenuBar>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QLabel>

using namespace TessarinEditor;
using lvtest::pumpUntil;
using lvtest::ScriptedPrompter;
namespace fs = std::filesystem;

namespace {

class MainWindow : public lvtest::DesktopFixture {
protected:
    // A project file with a recognisable symbol list.
    std::filesystem::path writeProject(const std::string& name, const std::string& symbols)
    {
        TSTBCurrentModel::CTsToolBoxProjModel model;
        projectField(model, ProjectField::symbolList) = symbols;
        const auto path = m_dir / name;
        EXPECT_EQ(saveProject(model, path), 0);
        return path;
    }

    static QString qpath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

    static void markModified() { currentProject().setField(ProjectField::pitchList, "C4"); }

    int toolWindowsOf(const QWidget& frame, const char* className) const
    {
        int n = 0;
        for (QObject* child : frame.children()) {
            const auto* w = qobject_cast<QWidget*>(child);
            if (w != nullptr && w->isVisible() && std::string(w->metaObject()->className()) == className) {
                ++n;
            }
        }
        return n;
    }
};

TEST_F(MainWindow, TitleShowsPathsUpTo54CharactersWholeAndShortensLongerOnes)
{
    const QString path54 = QStringLiteral("/home/singer/voices/alto_bank/projects/pro54_a.lvtb");
    const QString p54 = path54 + QString(54 - path54.size(), QLatin1Char('x'));
    ASSERT_EQ(p54.size(), 54);
    EXPECT_EQ(mainFrameTitle(p54, false), QStringLiteral("Lirvane ToolBox - [") + p54 + QStringLiteral("]"));
    const QString p55 = p54 + QStringLiteral("Z");
    EXPECT_EQ(mainFrameTitle(p55, true),
              QStringLiteral("Lirvane ToolBox - [") + p55.left(20) + QStringLiteral("...") + p55.right(30) + QStringLiteral("] *"));

    // The window follows the project: a new project, then its modified mark.
    auto frame = makeFrame();
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Lirvane ToolBox - [untitled.lvtb]"));
    EXPECT_EQ(frame->pos(), QPoint(0, 0));
    EXPECT_EQ(frame->width(), 700);
    markModified();
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Lirvane ToolBox - [untitled.lvtb] *"));
}

TEST_F(MainWindow, SavePromptYesSavesNoDiscardsCancelAbandonsOnNewOpenAndClose)
{
    const auto first = writeProject("first.lvtb", "ka,k,a");
    const auto second = writeProject("second.lvtb", "sa,s,a");
    auto frame = makeFrame();
    ASSERT_TRUE(frame->openProjectFile(qpath(first)));

    // New, Cancel: the modified project stays, nothing written.
    markModified();
    scripted.answerMessage(Prompter::Answer::Cancel);
    EXPECT_FALSE(frame->newProject());
    ASSERT_EQ(scripted.prompts().back().text, QStringLiteral("File has been modified, save changes?"));
    EXPECT_EQ(scripted.prompts().back().caption, QStringLiteral("Save changes?"));
    EXPECT_EQ(scripted.prompts().back().buttons, Prompter::Buttons::YesNoCancel);
    EXPECT_EQ(scripted.prompts().back().icon, Prompter::Icon::Question);
    EXPECT_EQ(currentProject().path(), first);
    EXPECT_TRUE(currentProject().isModified());
    EXPECT_EQ(loadProject(first)->pitchList, "");

    // Open, Yes: saved to its path first, then the chosen project is open.
    scripted.answerMessage(Prompter::Answer::Yes);
    scripted.answerFile(qpath(second));
    EXPECT_TRUE(frame->openProject());
    EXPECT_EQ(loadProject(first)->pitchList, "C4");
    EXPECT_EQ(currentProject().path(), second);
    EXPECT_EQ(currentProject().model()->symbolList, "sa,s,a");
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Lirvane ToolBox - [") + qpath(second) + QStringLiteral("]"));

    // New, No: the change is dropped unsaved.
    markModified();
    scripted.answerMessage(Prompter::Answer::No);
    EXPECT_TRUE(frame->newProject());
    EXPECT_TRUE(currentProject().path().empty());
    EXPECT_EQ(loadProject(second)->pitchList, "");

    // Close, Cancel keeps the window; Yes on an untitled project asks where to save, and cancelling
    // that chooser keeps the window too (the changes are not lost).
    markModified();
    scripted.answerMessage(Prompter::Answer::Cancel);
    EXPECT_FALSE(frame->close());
    scripted.answerMessage(Prompter::Answer::Yes);
    scripted.answerFile(std::nullopt);
    EXPECT_FALSE(frame->close());
    // Close, No: closes.
    scripted.answerMessage(Prompter::Answer::No);
    EXPECT_TRUE(frame->close());
    EXPECT_TRUE(scripted.scriptDone());
}

TEST_F(MainWindow, ProjectOnTheCommandLineOpensAndShowsInTheTitle)
{
    const auto project = writeProject("sung.lvtb", "ka,k,a");
    auto frame = makeFrame();
    frame->openStartupProject({QStringLiteral("lirvane-toolbox"), qpath(project)});
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Lirvane ToolBox - [") + qpath(project) + QStringLiteral("]"));
    EXPECT_EQ(currentProject().model()->symbolList, "ka,k,a");
    EXPECT_TRUE(scripted.prompts().empty());
}

TEST_F(MainWindow, ToolWindowsStayOneEachAndOpeningAProjectClosesThem)
{
    const auto project = writeProject("p.lvtb", "");
    auto frame = makeFrame();
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    frame->commandAction(Cmd::kPhoneticDictionary)->trigger();
    frame->commandAction(Cmd::kPhoneticDictionary)->trigger();
    send(frame.get(), ToolWindowEvent(Msg::kWaveEditor, 0));
    send(frame.get(), ToolWindowEvent(Msg::kWaveEditor, 0));
    EXPECT_EQ(toolWindowsOf(*frame, "TessarinEditor::CTsOtoSetingDlg"), 1);
    EXPECT_EQ(toolWindowsOf(*frame, "TessarinEditor::CTsDictSettingDlg"), 1);
    ASSERT_NE(frame->waveEditor(), nullptr);
    QPointer<QWidget> editorWindow = frame->waveEditor();

    // A closed list is forgotten, and the menu makes a new one.
    frame->configurationList()->close();
    EXPECT_EQ(frame->configurationList(), nullptr);
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    EXPECT_NE(frame->configurationList(), nullptr);

    scripted.answerFile(qpath(project));
    ASSERT_TRUE(frame->openProject());
    settle();
    EXPECT_EQ(frame->waveEditor(), nullptr);
    EXPECT_TRUE(editorWindow.isNull());
    EXPECT_EQ(frame->configurationList(), nullptr);
    EXPECT_EQ(frame->dictionary(), nullptr);
}

// On a 1366 × 768 screen the list and the editor open side by side, the build panel and the
// dictionary too; a window moved by the user reopens where it was left, also in the next run, and a
// place on a screen that has since shrunk is brought back onto it.
TEST_F(MainWindow, ToolWindowsOpenSideBySideAndReopenWhereTheyWereLeft)
{
    const auto keptPlaces = config().windowPlaces;
    config().windowPlaces.clear();
    QRect screen(0, 0, 1366, 768);
    availableGeometry = [&screen] { return screen; };
    auto frame = makeFrame(true);
    // The editor's own least size, as the program's editor has it.
    const auto makeEditor = [](QWidget& e) { e.setMinimumSize(600, 500); };
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    send(frame.get(), ToolWindowEvent(Msg::kWaveEditor, 0));
    ASSERT_NE(frame->waveEditor(), nullptr);
    makeEditor(*frame->waveEditor());
    frame->commandAction(Cmd::kBuildVoiceBank)->trigger();
    frame->commandAction(Cmd::kPhoneticDictionary)->trigger();
    ASSERT_NE(frame->buildPanel(), nullptr);
    ASSERT_NE(frame->dictionary(), nullptr);
    const QRect list = frame->configurationList()->frameGeometry();
    const QRect editorRect = frame->waveEditor()->frameGeometry();
    const QRect panel = frame->buildPanel()->frameGeometry();
    const QRect dict = frame->dictionary()->frameGeometry();
    const QRect strip = frame->frameGeometry();
    for (const QRect& r : {list, editorRect, panel, dict}) {
        EXPECT_TRUE(screen.contains(r)) << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
        EXPECT_FALSE(r.intersects(strip)) << "covers the main window";
    }
    EXPECT_FALSE(list.intersects(editorRect));
    // The dictionary's tab row is wide: the panel gives up some of its width to it.
    EXPECT_FALSE(panel.intersects(dict));
    EXPECT_GE(frame->buildPanel()->width(), frame->buildPanel()->minimumSizeHint().width());
    EXPECT_EQ(frame->dictionary()->minimumSizeHint().width(), CTsDictSettingDlg::leastSize().width());
    EXPECT_EQ(panel.left(), screen.left());
    EXPECT_EQ(dict.right(), screen.right());
    EXPECT_LT(list.left(), editorRect.left()); // the list at the left
    EXPECT_GE(list.width(), 600);
    EXPECT_GE(editorRect.width(), 600);

    // Moved and resized by the user, then closed: app.cfg keeps the place, and the list reopens there.
    const QRect moved(40, 120, 640, 520);
    frame->configurationList()->setGeometry(moved);
    frame->configurationList()->close();
    EXPECT_NE(lvtest::readText(m_dir / "config" / "app.cfg").find("\"windowPlaces\""), std::string::npos);
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    ASSERT_NE(frame->configurationList(), nullptr);
    EXPECT_EQ(frame->configurationList()->geometry(), moved);

    // The next run reads the place from app.cfg.
    frame->waveEditor()->setGeometry(QRect(1200, 200, 700, 520)); // on a wider screen, then
    ASSERT_TRUE(frame->close());
    settle();
    frame.reset();
    config().windowPlaces.clear();
    ASSERT_TRUE(config().loadSettingsFile(configPath()));
    EXPECT_EQ(config().windowPlaces.count("editor"), 1u);
    frame = makeFrame(true);
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    EXPECT_EQ(frame->configurationList()->geometry(), moved);
    // The editor's place lies past the right edge of this 1366-pixel screen: kept whole on it.
    send(frame.get(), ToolWindowEvent(Msg::kWaveEditor, 0));
    EXPECT_EQ(frame->waveEditor()->size(), QSize(700, 520));
    const QRect back = frame->waveEditor()->frameGeometry();
    EXPECT_TRUE(screen.contains(back)) << back.x() << "," << back.y();
    EXPECT_EQ(back.right(), screen.right());
    EXPECT_EQ(frame->waveEditor()->geometry().y(), 200);
    // A screen smaller than the place: the window shrinks onto it.
    frame->waveEditor()->close();
    screen = QRect(0, 0, 640, 480);
    send(frame.get(), ToolWindowEvent(Msg::kWaveEditor, 0));
    const QRect small = frame->waveEditor()->frameGeometry();
    EXPECT_TRUE(screen.contains(small)) << small.x() << "," << small.y() << " " << small.width() << "x" << small.height();
    config().windowPlaces = keptPlaces;
}

// Function ▸ Coverage shows what lvtb coverage counts, row for row; a double-click on a unit not
// recorded opens the list on its pitch's folder with the form filled, on a failing one opens its
// entry in the editor; a build made from the build panel counts again.
TEST_F(MainWindow, CoverageWindowShowsLvtbsCountsAndOpensWhatIsMissingOrFailing)
{
    std::string error;
    const auto demo = lvdemo::writeDemoProject(m_dir / "demo", error, lvdemo::smallDemoOptions());
    ASSERT_TRUE(demo) << error;
    const std::string project = demo->projectFile.string();
    const fs::path location = demo->wavLocations[0];
    // Units removed: an entry deleted (not recorded), a model deleted (recorded, not built).
    for (const char* key : {"C4->-na", "C4->a_n", "C4->br"}) {
        ASSERT_EQ(lvtest::runLvtb({"entries", "delete", location.string(), key}).status, 0) << key;
    }
    ASSERT_EQ(lvtest::runLvtb({"build-models", project, "--jobs", "2"}).status, 0);
    fs::remove(demo->modelFolder / "C4.a_k.LVModel");

    auto frame = makeFrame(true);
    ASSERT_TRUE(frame->openProjectFile(qpath(demo->projectFile)));
    frame->commandAction(Cmd::kCoverage)->trigger();
    CCoverageDlg* coverage = frame->coverage();
    ASSERT_NE(coverage, nullptr);
    ASSERT_TRUE(pumpUntil([&] { return !coverage->counting(); }));

    const auto lvtbRows = [&] {
        const lvtest::CliResult r = lvtest::runLvtb({"coverage", project, "--json"});
        Json::Value j;
        EXPECT_TRUE(lvjson::parse(r.out, j)) << r.out;
        return j;
    };
    const auto sameRows = [&](const Json::Value& j) {
        QTableWidget& pitches = coverage->pitchTable();
        EXPECT_EQ(pitches.rowCount(), int(j["pitches"].size()));
        for (int row = 0; row < pitches.rowCount() && Json::ArrayIndex(row) < j["pitches"].size(); ++row) {
            const Json::Value& p = j["pitches"][Json::ArrayIndex(row)];
            EXPECT_EQ(pitches.item(row, CCoverageDlg::kColPitch)->text().toStdString(), p["pitch"].asString());
            EXPECT_EQ(pitches.item(row, CCoverageDlg::kColNeeded)->text().toInt(), p["needed"].asInt());
            EXPECT_EQ(pitches.item(row, CCoverageDlg::kColRecorded)->text().toInt(), p["recorded"].asInt());
            EXPECT_EQ(pitches.item(row, CCoverageDlg::kColBuilt)->text().toInt(), p["built"].asInt());
            EXPECT_EQ(pitches.item(row, CCoverageDlg::kColPassing)->text().toInt(), p["passing"].asInt());
        }
        QTableWidget& problems = coverage->problemTable();
        EXPECT_EQ(problems.rowCount(), int(j["problems"].size()));
        for (int row = 0; row < problems.rowCount() && Json::ArrayIndex(row) < j["problems"].size(); ++row) {
            const Json::Value& p = j["problems"][Json::ArrayIndex(row)];
            EXPECT_EQ(problems.item(row, CCoverageDlg::kColProblemPitch)->text().toStdString(), p["pitch"].asString());
            EXPECT_EQ(problems.item(row, CCoverageDlg::kColUnit)->text().toStdString(), p["unit"].asString());
            EXPECT_EQ(problems.item(row, CCoverageDlg::kColWhat)->text().toStdString(), p["detail"].asString());
        }
    };
    const Json::Value before = lvtbRows();
    ASSERT_EQ(before["problems"].size(), 4u) << before.toStyledString();
    sameRows(before);
    const auto rowOf = [&](const QString& unit) {
        for (int row = 0; row < coverage->problemTable().rowCount(); ++row) {
            if (coverage->problemTable().item(row, CCoverageDlg::kColUnit)->text() == unit) {
                return row;
            }
        }
        return -1;
    };
    const auto doubleClick = [&](int row) {
        QTableWidget& t = coverage->problemTable();
        QTableWidgetItem* item = t.item(row, CCoverageDlg::kColUnit);
        t.scrollToItem(item);
        QTest::mouseClick(t.viewport(), Qt::LeftButton, {}, t.visualItemRect(item).center());
        QTest::mouseDClick(t.viewport(), Qt::LeftButton, {}, t.visualItemRect(item).center());
    };

    // Not recorded: the list opens on the folder of the pitch with the form filled.
    ASSERT_GE(rowOf(QStringLiteral("-na")), 0);
    doubleClick(rowOf(QStringLiteral("-na")));
    CTsOtoSetingDlg* list = frame->configurationList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(fs::path(list->wavFolder().toStdString()), location);
    EXPECT_EQ(list->formKind(), int(CTsOtoSetingDlg::kFormCV));
    EXPECT_EQ(list->cvSymbolBox().text(), QStringLiteral("-na"));
    EXPECT_EQ(list->pitchBox().text(), QStringLiteral("C4"));
    // A vowel and what follows it fill the VX form; an independent symbol its own.
    doubleClick(rowOf(QStringLiteral("a_n")));
    EXPECT_EQ(list->formKind(), int(CTsOtoSetingDlg::kFormVX));
    EXPECT_EQ(list->vPartBox().text(), QStringLiteral("a"));
    EXPECT_EQ(list->xPartBox().text(), QStringLiteral("n"));
    EXPECT_EQ(list->cvSymbolBox().text(), QString());
    doubleClick(rowOf(QStringLiteral("br")));
    EXPECT_EQ(list->formKind(), int(CTsOtoSetingDlg::kFormIndependent));
    EXPECT_EQ(list->indieSymbolBox().text(), QStringLiteral("br"));
    EXPECT_EQ(frame->configurationList(), list); // one list, filled again
    // Recorded, not built: its entry opens in the editor.
    ASSERT_GE(rowOf(QStringLiteral("a_k")), 0);
    doubleClick(rowOf(QStringLiteral("a_k")));
    ASSERT_NE(editor, nullptr);
    ASSERT_EQ(editor->loaded.size(), 1u);
    EXPECT_EQ(editor->loaded.back().key, "C4->a_k");
    EXPECT_EQ(fs::path(editor->loaded.back().folder.toStdString()), location);

    // Refresh counts what changed meanwhile: the entry deleted outside the window is back.
    ASSERT_EQ(lvtest::runLvtb({"entries", "put", location.string(), "--kind", "CV", "--wav", "C4_-na.wav", "--pitch",
                               "C4", "--symbol", "-na", "--markers", "0.15,0.23,0.3,0.7"})
                  .status,
              0);
    QTest::mouseClick(&coverage->refreshButton(), Qt::LeftButton);
    EXPECT_TRUE(coverage->counting());
    ASSERT_TRUE(pumpUntil([&] { return !coverage->counting(); }));
    const Json::Value refreshed = lvtbRows();
    EXPECT_GT(refreshed["problems"].size(), 4u); // the list changed after the models were built
    sameRows(refreshed);
    ASSERT_GE(rowOf(QStringLiteral("-na")), 0);
    EXPECT_TRUE(coverage->problemTable().item(rowOf(QStringLiteral("-na")), CCoverageDlg::kColWhat)
                    ->text()
                    .startsWith(QStringLiteral("not built")));

    // A build from the build panel counts again when it ends: a_k is built.
    frame->commandAction(Cmd::kBuildVoiceBank)->trigger();
    auto* panel = dynamic_cast<CVbSettingPanelDlg*>(frame->buildPanel());
    ASSERT_NE(panel, nullptr);
    scripted.answerFile(qpath(m_dir / "models.txt"));
    scripted.answerModal([&](QDialog& d) {
        auto& dialog = static_cast<CVoiceBankProcessDlg&>(d);
        EXPECT_TRUE(pumpUntil([&] { return !dialog.run().running() && dialog.shownText().contains(QStringLiteral("-------------End ")); }));
        return int(QDialog::Accepted);
    });
    QTest::mouseClick(&panel->buildModelsButton(), Qt::LeftButton);
    ASSERT_TRUE(scripted.scriptDone());
    ASSERT_TRUE(pumpUntil([&] { return !coverage->counting(); }));
    EXPECT_EQ(rowOf(QStringLiteral("a_k")), -1);
    sameRows(lvtbRows());
}

// Another program (lvtb project set, add-location) changed the project file while it was open: Save
// asks first. Cancel writes nothing, No saves over it, Yes reloads it (the window's changes go).
TEST_F(MainWindow, SaveAsksBeforeWritingOverAChangeMadeByAnotherProgram)
{
    const auto file = writeProject("shared.lvtb", "ka,k,a");
    auto frame = makeFrame();
    ASSERT_TRUE(frame->openProjectFile(qpath(file)));
    auto changeOnDisk = [&](const std::string& bankName) {
        auto other = loadProject(file);
        ASSERT_TRUE(other);
        other->voiceBankName = bankName;
        other->wavLocations.push_back("/added/by/lvtb");
        ASSERT_EQ(saveProject(*other, file), 0);
    };
    QAction* save = frame->commandAction(Cmd::kSave);
    ASSERT_NE(save, nullptr);

    markModified();
    changeOnDisk("other");
    scripted.answerMessage(Prompter::Answer::Cancel);
    save->trigger();
    ASSERT_TRUE(scripted.scriptDone());
    EXPECT_EQ(scripted.prompts().back().caption, QStringLiteral("Project changed on disk"));
    EXPECT_EQ(scripted.prompts().back().buttons, Prompter::Buttons::YesNoCancel);
    EXPECT_TRUE(scripted.prompts().back().text.contains(QStringLiteral("changed by another program")));
    EXPECT_EQ(loadProject(file)->voiceBankName, "other") << "Cancel writes nothing";
    EXPECT_TRUE(currentProject().isModified());

    // No: saved over, as the window has it.
    scripted.answerMessage(Prompter::Answer::No);
    save->trigger();
    ASSERT_TRUE(scripted.scriptDone());
    EXPECT_EQ(loadProject(file)->pitchList, "C4");
    EXPECT_EQ(loadProject(file)->voiceBankName, "");
    EXPECT_FALSE(currentProject().isModified());

    // Nothing changed on disk since: saved without a question.
    const std::size_t asked = scripted.prompts().size();
    markModified();
    save->trigger();
    EXPECT_EQ(scripted.prompts().size(), asked);
    EXPECT_FALSE(currentProject().isModified());

    // Yes: the file as it now stands is the project; the window's change is gone, the file untouched.
    changeOnDisk("again");
    currentProject().setField(ProjectField::symbolList, "sa,s,a");
    const std::string onDisk = lvtest::readText(file);
    scripted.answerMessage(Prompter::Answer::Yes);
    save->trigger();
    ASSERT_TRUE(scripted.scriptDone());
    EXPECT_EQ(lvtest::readText(file), onDisk);
    EXPECT_EQ(currentProject().model()->voiceBankName, "again");
    EXPECT_EQ(currentProject().model()->symbolList, "ka,k,a");
    EXPECT_EQ(currentProject().model()->wavLocations.back(), "/added/by/lvtb");
    EXPECT_FALSE(currentProject().isModified());
}

// A list too large to edit (over 1 MB) is not put into a box that would freeze at every key: its page
// shows a notice, a message says so once the window is up, and the list stays in the project as it
// is; the other lists are edited as ever.
TEST_F(MainWindow, ADictionaryListTooLargeToEditIsRefusedWithAMessageAndKeptAsItIs)
{
    std::string big;
    while (big.size() <= CTsDictSettingDlg::kLargestEditableList + 100000) {
        big += "ka,k,a\r\n";
    }
    const auto project = writeProject("big.lvtb", big);
    auto frame = makeFrame();
    ASSERT_TRUE(frame->openProjectFile(qpath(project)));
    scripted.answerMessage(Prompter::Answer::Ok);
    frame->commandAction(Cmd::kPhoneticDictionary)->trigger();
    CTsDictSettingDlg* dict = frame->dictionary();
    ASSERT_NE(dict, nullptr);
    QCoreApplication::processEvents();
    ASSERT_TRUE(scripted.scriptDone()) << "the message came";
    const QString mb = QString::number(double(big.size()) / double(1 << 20), 'f', 1);
    EXPECT_TRUE(scripted.prompts().back().text.startsWith(QStringLiteral("Symbol List is ") + mb +
                                                          QStringLiteral(" MB; the dictionary window edits lists of up to 1 MB.")))
        << scripted.prompts().back().text.toStdString();
    EXPECT_EQ(scripted.prompts().back().icon, Prompter::Icon::Error);
    EXPECT_TRUE(dict->page(0).refused());
    EXPECT_TRUE(dict->page(0).editor().isReadOnly());
    EXPECT_FALSE(dict->page(1).refused());

    QPlainTextEdit& refused = dict->page(0).editor();
    refused.setFocus();
    QTest::keyClicks(&refused, QStringLiteral("x"));
    EXPECT_FALSE(currentProject().isModified());
    EXPECT_EQ(currentProject().model()->symbolList, big);

    dict->tabs().setCurrentIndex(1);
    QPlainTextEdit& vowels = dict->page(1).editor();
    vowels.setFocus();
    QTest::keyClicks(&vowels, QStringLiteral("a,a"));
    EXPECT_EQ(currentProject().model()->vowelList, "a,a");
    EXPECT_EQ(currentProject().model()->symbolList, big);
    EXPECT_TRUE(currentProject().isModified());
}

TEST_F(MainWindow, MenusCarryTheirCommandsAndLanguageCannotBeChosen)
{
    auto frame = makeFrame();
    QAction* language = frame->commandAction(Cmd::kLanguage);
    ASSERT_NE(language, nullptr);
    EXPECT_FALSE(language->isEnabled());
    EXPECT_EQ(language->text(), QStringLiteral("&Language"));
    for (int id : {Cmd::kNew, Cmd::kOpen, Cmd::kSave, Cmd::kSaveAs, Cmd::kPhoneticDictionary, Cmd::kVoiceConfig,
                   Cmd::kBuildVoiceBank, Cmd::kAbout}) {
        ASSERT_NE(frame->commandAction(id), nullptr) << id;
        EXPECT_TRUE(frame->commandAction(id)->isEnabled()) << id;
    }
    // The spectrogram's preferences: chosen in the menu, kept in app.cfg.
    QMenu* preference = nullptr;
    for (QAction* menu : frame->menuBar()->actions()) {
        if (menu->text() == QStringLiteral("&Preference")) {
            preference = menu->menu();
        }
    }
    ASSERT_NE(preference, nullptr);
    QAction* top8k = nullptr;
    QAction* overlay = nullptr;
    for (QAction* item : preference->actions()) {
        if (item->menu() != nullptr && item->text() == QStringLiteral("Spectrogram &Top Frequency")) {
            for (QAction* choice : item->menu()->actions()) {
                if (choice->data().toInt() == 8000) {
                    top8k = choice;
                }
            }
        } else if (item->text() == QStringLiteral("Show &f0 Over the Spectrogram")) {
            overlay = item;
        }
    }
    ASSERT_NE(top8k, nullptr);
    ASSERT_NE(overlay, nullptr);
    EXPECT_TRUE(overlay->isChecked());
    top8k->trigger();
    overlay->trigger();
    EXPECT_EQ(config().spectrogramTopFrequency, 8000);
    EXPECT_FALSE(config().showF0Overlay);
    CAppConfigModel saved;
    ASSERT_TRUE(saved.loadSettingsFile(configPath()));
    EXPECT_EQ(saved.spectrogramTopFrequency, 8000);
    EXPECT_FALSE(saved.showF0Overlay);
    config().spectrogramTopFrequency = CAppConfigModel::kDefaultSpectrogramTop;
    config().showF0Overlay = true;

    scripted.answerMessage(Prompter::Answer::Ok);
    frame->commandAction(Cmd::kAbout)->trigger();
    EXPECT_EQ(scripted.prompts().back().caption, QStringLiteral("^_^"));
    EXPECT_TRUE(scripted.prompts().back().text.startsWith(QStringLiteral(" Lirvane ToolBox  \n\n ver: beta_1.1.6\n\n")));
}

TEST_F(MainWindow, TypingInTheThirdDictionaryTabChangesOnlyTheVoicedConsonantsAndMarksTheProject)
{
    const auto project = writeProject("d.lvtb", "ka,k,a\r\nsa,s,a");
    auto frame = makeFrame();
    ASSERT_TRUE(frame->openProjectFile(qpath(project)));
    const TSTBCurrentModel::CTsToolBoxProjModel before = *currentProject().model();
    frame->commandAction(Cmd::kPhoneticDictionary)->trigger();
    CTsDictSettingDlg* dict = frame->dictionary();
    ASSERT_NE(dict, nullptr);
    EXPECT_FALSE(currentProject().isModified()); // filling the pages is no edit
    EXPECT_EQ(dict->page(0).editor().toPlainText(), QStringLiteral("ka,k,a\nsa,s,a"));

    // Every tab whole in sight, also in the smallest window the user can make.
    for (const QSize size : {dict->size(), dict->minimumSizeHint()}) {
        dict->resize(size);
        QCoreApplication::sendPostedEvents();
        const QTabBar& bar = *dict->tabs().tabBar();
        for (int i = 0; i < dict->tabs().count(); ++i) {
            EXPECT_TRUE(bar.rect().contains(bar.tabRect(i))) << i << " in " << size.width() << " px";
        }
    }
    dict->tabs().setCurrentIndex(2);
    EXPECT_EQ(dict->tabs().tabText(2), QStringLiteral("3 Voiced Consonant List"));
    QPlainTextEdit& box = dict->page(2).editor();
    box.setFocus();
    QTest::keyClicks(&box, QStringLiteral("m"));
    QTest::keyClick(&box, Qt::Key_Return);
    QTest::keyClicks(&box, QStringLiteral("n"));

    const auto* after = currentProject().model();
    EXPECT_EQ(after->voicedConsonantList, "m\r\nn");
    EXPECT_EQ(after->symbolList, before.symbolList);
    EXPECT_EQ(after->vowelList, before.vowelList);
    EXPECT_EQ(after->unvoicedConsonantList, before.unvoicedConsonantList);
    EXPECT_EQ(after->independentList, before.independentList);
    EXPECT_EQ(after->tailList, before.tailList);
    EXPECT_TRUE(frame->windowTitle().endsWith(QStringLiteral(" *")));

    // "Check Dictionary": the first failure (no vowels), then a pass.
    scripted.answerMessage(Prompter::Answer::Ok);
    dict->checkDictionary();
    EXPECT_EQ(scripted.prompts().back().icon, Prompter::Icon::Error);
    EXPECT_EQ(scripted.prompts().back().text,
              QStringLiteral("Error! Vowel list is empty, there might be format error. Please refer to the manual.\n"
                             "Tab \"2 Vowel List\"."));
    EXPECT_EQ(dict->tabs().currentIndex(), 1);
    dict->page(1).editor().setPlainText(QStringLiteral("a,a"));
    scripted.answerMessage(Prompter::Answer::Ok);
    QTest::mouseClick(&dict->checkButton(), Qt::LeftButton);
    EXPECT_EQ(scripted.prompts().back().text, QStringLiteral("OK! Pass!"));
    EXPECT_EQ(scripted.prompts().back().icon, Prompter::Icon::Information);

    // A failure names the tab and the line (blank lines count), and opens that tab on that line.
    dict->page(2).editor().setPlainText(QStringLiteral("m\nn\n\nm"));
    dict->tabs().setCurrentIndex(0);
    scripted.answerMessage(Prompter::Answer::Ok);
    QTest::mouseClick(&dict->checkButton(), Qt::LeftButton);
    EXPECT_EQ(scripted.prompts().back().text,
              QStringLiteral("Error! Repeat 'm' in 'Voiced Consonant list'\nTab \"3 Voiced Consonant List\", line 4."));
    EXPECT_EQ(dict->tabs().currentIndex(), 2);
    EXPECT_EQ(dict->page(2).editor().textCursor().blockNumber(), 3);
    dict->page(2).editor().setPlainText(QStringLiteral("m"));
    dict->page(4).editor().setPlainText(QStringLiteral("br1\nbr.2"));
    scripted.answerMessage(Prompter::Answer::Ok);
    QTest::mouseClick(&dict->checkButton(), Qt::LeftButton);
    EXPECT_EQ(scripted.prompts().back().text,
              QStringLiteral("Error symbol!  '.' exists in symbol: br.2 , in 'Independent symbol list'\n"
                             "Tab \"5 Independent Symbol List\", line 2."));
    EXPECT_EQ(dict->page(4).editor().textCursor().selectedText(), QStringLiteral("br.2"));

    // Each tab says what its lines hold; the example a hint gives is one line of that very list.
    using Parse = void (PhoneticDictionary::*)(std::string_view);
    const std::array<Parse, 6> parsers = {
        &PhoneticDictionary::parseSymbolList,          &PhoneticDictionary::parseVowelList,
        &PhoneticDictionary::parseVoicedConsonantList, &PhoneticDictionary::parseUnvoicedConsonantList,
        &PhoneticDictionary::parseIndependentList,     &PhoneticDictionary::parseTailList,
    };
    const auto items = [](const PhoneticDictionary& d) {
        return std::array<std::size_t, 6>{d.syllables.size(),          d.vowels.size(),
                                          d.voicedConsonants.size(),   d.unvoicedConsonants.size(),
                                          d.independents.size(),       d.tails.size()};
    };
    EXPECT_EQ(dict->page(0).hint().text(), QStringLiteral("symbol,consonant,vowel \u2014 one per line, e.g. ka,k,a"));
    for (int i = 0; i < 6; ++i) {
        const QString hint = dict->page(i).hint().text();
        EXPECT_TRUE(dict->page(i).hint().isVisibleTo(&dict->page(i))) << i;
        for (int j = 0; j < i; ++j) {
            EXPECT_NE(hint, dict->page(j).hint().text());
        }
        const qsizetype eg = hint.indexOf(QStringLiteral("e.g. "));
        if (eg < 0) {
            continue;
        }
        const std::string example = hint.mid(eg + 5).toStdString();
        PhoneticDictionary own;
        (own.*parsers[std::size_t(i)])(example);
        EXPECT_EQ(items(own)[std::size_t(i)], 1u) << "tab " << i + 1 << ": " << example;
        // A symbol line is no vowel line, nor the other way round.
        if (i < 2) {
            PhoneticDictionary d;
            (d.*parsers[std::size_t(i == 0 ? 1 : 0)])(example);
            EXPECT_EQ(items(d)[std::size_t(i == 0 ? 1 : 0)], 0u) << "tab " << i + 1;
        }
    }
}

TEST_F(MainWindow, SaveAsIntoAnotherFolderKeepsEveryFolderAndTheNextBuildFindsThem)
{
    // The demo keeps its recordings, models and bank in folders relative to its project file; one
    // more location is absolute.
    std::string error;
    const auto demo = lvdemo::writeDemoProject(m_dir / "demo", error, lvdemo::smallDemoOptions());
    ASSERT_TRUE(demo) << error;
    const fs::path absolute = m_dir / "absolute take";
    fs::create_directories(absolute);
    auto frame = makeFrame(true);
    ASSERT_TRUE(frame->openProjectFile(qpath(demo->projectFile)));
    ASSERT_FALSE(fs::path(currentProject().model()->modelFolder).is_absolute());
    currentProject().addWavLocation(absolute.string());
    TSTBCurrentModel::CTsToolBoxProjModel places = *currentProject().model();
    resolveProjectFolders(places, demo->projectFile);

    frame->commandAction(Cmd::kBuildVoiceBank)->trigger();
    auto* panel = qobject_cast<CVbSettingPanelDlg*>(frame->buildPanel());
    ASSERT_NE(panel, nullptr);

    const fs::path copy = m_dir / "copies" / "deeper" / "copy.lvtb";
    fs::create_directories(copy.parent_path());
    scripted.answerFile(qpath(copy));
    frame->commandAction(Cmd::kSaveAs)->trigger();
    ASSERT_TRUE(scripted.scriptDone());
    EXPECT_EQ(currentProject().path(), copy);
    EXPECT_FALSE(currentProject().isModified());

    // Every folder of the copy names the place it named before; relative ones stay relative.
    const auto saved = loadProject(copy);
    ASSERT_NE(saved, nullptr);
    EXPECT_EQ(saved->modelFolder, "../../demo/models");
    EXPECT_EQ(saved->wavLocations.back(), absolute.string());
    TSTBCurrentModel::CTsToolBoxProjModel resolved = *saved;
    resolveProjectFolders(resolved, copy);
    EXPECT_EQ(resolved.modelFolder, places.modelFolder);
    EXPECT_EQ(resolved.voiceBankFolder, places.voiceBankFolder);
    EXPECT_EQ(resolved.wavLocations, places.wavLocations);
    // The open project is the one on disk.
    EXPECT_EQ(currentProject().model()->modelFolder, saved->modelFolder);
    EXPECT_EQ(currentProject().model()->voiceBankFolder, saved->voiceBankFolder);
    EXPECT_EQ(currentProject().model()->wavLocations, saved->wavLocations);

    // The build panel, open through Save As, shows the folders as stored now and builds every
    // entry of the copy into the demo's model folder.
    EXPECT_EQ(panel->modelFolderEdit().text(), QStringLiteral("../../demo/models"));
    panel->setJobs(2);
    std::string text;
    scripted.answerFile(qpath(m_dir / "build.txt"));
    scripted.answerModal([&](QDialog& d) {
        auto& dialog = static_cast<CVoiceBankProcessDlg&>(d);
        EXPECT_TRUE(pumpUntil([&] {
            return !dialog.run().running() && dialog.shownText().contains(QStringLiteral("-------------End "));
        }));
        text = dialog.shownText().toStdString();
        return int(QDialog::Accepted);
    });
    QTest::mouseClick(&panel->buildModelsButton(), Qt::LeftButton);
    ASSERT_TRUE(scripted.scriptDone());
    EXPECT_EQ(lvtest::occurrences(text, ">> OK "), 8u) << text;
    EXPECT_EQ(text.find("Error"), std::string::npos) << text;
    EXPECT_TRUE(fs::exists(demo->modelFolder / "C4.ka.LVModel"));
    EXPECT_FALSE(fs::exists(copy.parent_path() / "models")) << "no empty model folder beside the copy";
}

TEST_F(MainWindow, WithoutALanguageFileTheHighVersionMessageIsEnglishAndAppCfgCanChooseChinese)
{
    // A project file of version 2: the magic, the version, an empty payload.
    const fs::path newer = m_dir / "newer.lvtb";
    lvtest::writeText(newer, std::string("RODIRADIZEDEVER") + std::string("\x02\0\0\0\0\0\0\0", 8));
    const std::string chosen = config().langFilePath;
    for (const std::string& langFilePath : {std::string(), std::string(kSimplifiedChineseTable)}) {
        config().langFilePath = langFilePath;
        auto frame = makeFrame();
        scripted.answerMessage(Prompter::Answer::Ok);
        EXPECT_FALSE(frame->openProjectFile(qpath(newer)));
        ASSERT_TRUE(scripted.scriptDone());
        EXPECT_EQ(scripted.prompts().back().text,
                  langFilePath.empty() ? QStringLiteral("It's high version project file, please update editor to use it")
                                       : QString::fromStdString(translate(std::string(kHighVersionMessage))));
        EXPECT_EQ(scripted.prompts().back().caption, QStringLiteral("(＞﹏＜)"));
    }
    EXPECT_NE(scripted.prompts().front().text, scripted.prompts().back().text) << "Chinese when app.cfg names it";
    config().langFilePath = chosen;
    loadLanguage(chosen);
}

TEST_F(MainWindow, KeysMnemonicsAndOpenRecentWithAMissingProjectGreyed)
{
    const std::vector<std::string> keptRecent = config().recentProjects;
    config().recentProjects.clear();
    auto frame = makeFrame();
    frame->show();
    QStringList titles;
    for (QAction* menu : frame->menuBar()->actions()) {
        titles << menu->text();
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("&File"), QStringLiteral("F&unction"), QStringLiteral("&Preference"),
                                   QStringLiteral("&Help")}));
    EXPECT_FALSE(frame->recentMenu()->isEnabled()) << "nothing opened yet";

    // Nine projects opened: the last eight are listed, newest first, and kept in app.cfg.
    std::vector<fs::path> projects;
    for (int i = 1; i <= 9; ++i) {
        projects.push_back(writeProject("p" + std::to_string(i) + ".lvtb", "s" + std::to_string(i) + ",s,a"));
        ASSERT_TRUE(frame->openProjectFile(qpath(projects.back())));
    }
    fs::remove(projects[4]);
    QMetaObject::invokeMethod(frame->recentMenu(), "aboutToShow");
    const QList<QAction*> items = frame->recentMenu()->actions();
    ASSERT_EQ(items.size(), 8);
    for (int i = 0; i < 8; ++i) {
        const fs::path& expected = projects[std::size_t(8 - i)];
        EXPECT_EQ(items[i]->text(), QStringLiteral("&%1 ").arg(i + 1) + qpath(expected));
        EXPECT_EQ(items[i]->isEnabled(), expected != projects[4]) << i;
    }
    EXPECT_NE(lvtest::readText(m_dir / "config" / "app.cfg").find("\"recentProjects\""), std::string::npos);

    // A recent project opens after the save prompt.
    markModified();
    scripted.answerMessage(Prompter::Answer::No);
    items[3]->trigger();
    EXPECT_EQ(currentProject().path(), projects[5]);

    // The keys work from the tool windows too: Ctrl+Shift+S saves as, Ctrl+O asks for a file,
    // Ctrl+N and Ctrl+Q ask the save prompt first.
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    QWidget* list = frame->configurationList();
    ASSERT_NE(list, nullptr);
    const fs::path copy = m_dir / "copy.lvtb";
    list->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(list));
    scripted.answerFile(qpath(copy));
    QTest::keyClick(list, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_EQ(currentProject().path(), copy);
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame.get()));
    scripted.answerFile(std::nullopt);
    QTest::keyClick(frame.get(), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(scripted.prompts().back().caption, QStringLiteral("Open File"));
    markModified();
    scripted.answerMessage(Prompter::Answer::Cancel);
    QTest::keyClick(frame.get(), Qt::Key_N, Qt::ControlModifier);
    scripted.answerMessage(Prompter::Answer::Cancel);
    QTest::keyClick(frame.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(scripted.prompts().back().text, QStringLiteral("File has been modified, save changes?"));
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(currentProject().path(), copy);
    scripted.answerMessage(Prompter::Answer::No);
    QTest::keyClick(frame.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(scripted.scriptDone());
    config().recentProjects = keptRecent;
}

TEST_F(MainWindow, ADroppedProjectOpensAfterTheSavePromptAndDroppedFoldersSetTheLocations)
{
    // Drags as the window system delivers them: enter, then the drop where it was let go.
    const auto drop = [](QWidget* on, const QPoint& at, const QList<QUrl>& urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(on, &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(on, &dropped);
        return dropped.isAccepted();
    };
    const auto url = [](const fs::path& p) { return QUrl::fromLocalFile(qpath(p)); };
    const auto project = writeProject("dropped.lvtb", "ka,k,a");
    const fs::path folder = m_dir / "takes";
    fs::create_directories(folder);
    lvtest::writeText(m_dir / "notes.txt", "not a project");
    auto frame = makeFrame(true);

    EXPECT_FALSE(drop(frame.get(), QPoint(10, 10), {url(m_dir / "notes.txt")}));
    EXPECT_FALSE(drop(frame.get(), QPoint(10, 10), {url(folder)}));
    markModified();
    scripted.answerMessage(Prompter::Answer::Cancel);
    EXPECT_TRUE(drop(frame.get(), QPoint(10, 10), {url(m_dir / "notes.txt"), url(project)}));
    ASSERT_EQ(scripted.prompts().size(), 1u);
    EXPECT_EQ(scripted.prompts().back().text, QStringLiteral("File has been modified, save changes?"));
    EXPECT_TRUE(currentProject().path().empty());
    scripted.answerMessage(Prompter::Answer::No);
    EXPECT_TRUE(drop(frame.get(), QPoint(10, 10), {url(project)}));
    EXPECT_EQ(currentProject().path(), project);
    EXPECT_EQ(currentProject().model()->symbolList, "ka,k,a");

    // A folder onto the list: its WAV folder; a file is not taken.
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    CTsOtoSetingDlg* list = frame->configurationList();
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(drop(list, list->wavFolderBox().geometry().center(), {url(project)}));
    EXPECT_TRUE(drop(list, list->wavFolderBox().geometry().center(), {url(folder)}));
    EXPECT_EQ(list->wavFolder(), qpath(folder));
    EXPECT_EQ(list->wavFolderBox().text(), qpath(folder));

    // Folders onto the build panel's locations are added; elsewhere on the panel nothing happens.
    frame->commandAction(Cmd::kBuildVoiceBank)->trigger();
    auto* panel = qobject_cast<CVbSettingPanelDlg*>(frame->buildPanel());
    ASSERT_NE(panel, nullptr);
    panel->resize(560, 600);
    QCoreApplication::sendPostedEvents();
    const QPoint onLocations = panel->locationList().mapTo(panel, panel->locationList().rect().center());
    const QPoint onSinger = panel->singerEdit().mapTo(panel, panel->singerEdit().rect().center());
    EXPECT_FALSE(drop(panel, onSinger, {url(folder)}));
    EXPECT_TRUE(currentProject().model()->wavLocations.empty());
    EXPECT_TRUE(drop(panel, onLocations, {url(folder), url(project)}));
    EXPECT_EQ(currentProject().model()->wavLocations, std::vector<std::string>{folder.string()});
    EXPECT_EQ(panel->locationList().rowCount(), 1);
    EXPECT_TRUE(currentProject().isModified());
    EXPECT_TRUE(scripted.scriptDone());
}

} // namespace
