// The build panel and the progress dialog over real builds of small synthetic projects, offscreen,
// with a scripted Prompter in place of every box, chooser and modal run.

#include "DesktopFixture.h"
#include "ScriptedPrompter.h"

#include "demo/DemoSinger.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/ProjectDocument.h"
#include "support/TestSupport.h"
#include "ui/build/CVbSettingPanelDlg.h"
#include "ui/build/CVoiceBankProcessDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <regex>

namespace fs = std::filesystem;
using namespace TessarinEditor;
using lvtest::ScriptedPrompter;

namespace {

// The build text with every local time stamp replaced by "T" and without the dots that a unit
// taking more than a second gets (a slow machine, a sanitizer).
std::string withoutTimes(const std::string& text)
{
    static const std::regex stamp("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}");
    static const std::regex dots("(>> |-------------\r\n)\\.+");
    return std::regex_replace(std::regex_replace(text, stamp, "T"), dots, "$1");
}

using lvtest::pumpUntil;
using lvtest::readText;


std::string shown(CVoiceBankProcessDlg& dialog)
{
    return dialog.shownText().toUtf8().toStdString();
}

// Whether the dialog shows one entry built (a slow entry has dots between ">> " and its "OK").
bool builtOne(CVoiceBankProcessDlg& dialog)
{
    static const QRegularExpression ok(QStringLiteral(">> \\.*OK "));
    return dialog.shownText().contains(ok);
}

// The user's part in a progress dialog: waits for the build to end and for its last refresh.
int waitForTheEnd(QDialog& d)
{
    auto& dialog = static_cast<CVoiceBankProcessDlg&>(d);
    // The worker posts its last refresh after it stops running: wait for that refresh to be shown.
    EXPECT_TRUE(pumpUntil([&] {
        return !dialog.run().running() && dialog.shownText().contains(QStringLiteral("\r\n\r\n-------------End "));
    }));
    return QDialog::Accepted;
}

// A small demo project (C4; a; n; k: 8 units) opened in a document.
class BuildDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        const lvdemo::DemoOptions o = lvdemo::smallDemoOptions();
        std::string error;
        auto demo = lvdemo::writeDemoProject(m_dir.path(), error, o);
        ASSERT_TRUE(demo) << error;
        m_demo = *demo;
        ASSERT_TRUE(m_document.open(m_demo.projectFile));
    }

    // A wav location of CV entries of ka over copies of the demo's ka recording (1.05 s: silence to
    // 0.15 s, k to 0.23 s, the vowel to 0.88 s). a vowel past 0.88 s holds silence into the vowel.
    struct Ka {
        std::string pitch;
        std::string wav;
        double vowelStart = 0.36;
    };
    fs::path kaFolder(const std::string& name, const std::vector<Ka>& entries)
    {
        const fs::path folder = m_dir / name;
        fs::create_directories(folder);
        fs::copy_file(m_demo.wavLocations[0] / "C4_ka.wav", folder / "take.wav");
        CTsVoiceCfgMgr mgr;
        mgr.loadFolder(folder);
        for (const Ka& k : entries) {
            auto e = std::make_unique<CTsVoiceCfg_CV>();
            e->symbol = "ka";
            e->pitch = k.pitch;
            e->wavName = k.wav;
            e->connectPoint = 0.19;
            e->preutterance = 0.29;
            e->vowelStart = k.vowelStart;
            e->vowelEnd = k.vowelStart + 0.2;
            const std::string key = e->entryKey();
            mgr.put(key, std::move(e));
        }
        EXPECT_TRUE(mgr.save());
        return folder;
    }

    void useOnly(const fs::path& location)
    {
        for (const std::string& old : std::vector<std::string>(m_document.model()->wavLocations)) {
            m_document.removeWavLocation(old);
        }
        m_document.addWavLocation(location.string());
    }

    lvtest::TempDir m_dir;
    lvdemo::DemoProject m_demo;
    ProjectDocument m_document;
    ScriptedPrompter m_prompter;
    PrompterScope m_scope{m_prompter};
};

} // namespace

TEST_F(BuildDialogs, ModelsBuildShowsEachEntryInTheTextAndTheLog)
{
    CVbSettingPanelDlg panel(m_document);
    panel.setJobs(2);

    // Two entries, one over a recording that cannot be read.
    const fs::path two = kaFolder("two", {{"C4", "take.wav"}, {"D4", "missing.wav"}});
    useOnly(two);
    panel.reloadFromProject();
    const fs::path log1 = m_dir / "first.txt";
    m_prompter.answerFile(QString::fromStdString(log1.string()));
    std::string text1;
    m_prompter.answerModal([&](QDialog& d) {
        const int r = waitForTheEnd(d);
        auto& dialog = static_cast<CVoiceBankProcessDlg&>(d);
        text1 = shown(dialog);
        EXPECT_EQ(readText(log1), text1);
        EXPECT_EQ(dialog.logLabel().text().toStdString(), "Log file : " + log1.string());
        EXPECT_EQ(dialog.progressBar().maximum(), 2);
        EXPECT_EQ(dialog.progressBar().value(), 2);
        EXPECT_EQ(dialog.statusLabel().text(), QStringLiteral("Finished: 2 of 2 done, 1 failed"));
        EXPECT_FALSE(dialog.stopButton().isEnabled());
        return r;
    });
    QTest::mouseClick(&panel.buildModelsButton(), Qt::LeftButton);
    ASSERT_TRUE(m_prompter.scriptDone());
    ASSERT_EQ(m_prompter.prompts().size(), 2u);
    EXPECT_EQ(m_prompter.prompts()[0].caption, QStringLiteral("Choose log file"));
    EXPECT_EQ(m_prompter.prompts()[0].file.nameFilters, QStringList{QStringLiteral("log file(*.txt)")});
    EXPECT_EQ(m_prompter.prompts()[0].file.defaultSuffix, QStringLiteral("txt"));
    EXPECT_EQ(m_prompter.prompts()[1].dialogTitle, QStringLiteral("Build models"));
    EXPECT_EQ(withoutTimes(text1), "-------------Start to build models T-------------\r\n"
                     "\r\n[1/2] type=CV  pitch=C4  symbol=ka    >> OK "
                     "\r\n[2/2] type=CV  pitch=D4  symbol=ka    >> Error  >  wav reading error:" +
                         (two / "missing.wav").string() + "\r\n\r\n-------------End T------------");
    EXPECT_TRUE(fs::exists(m_demo.modelFolder / "C4.ka.LVModel"));

    // A rejected entry and a listed symbol that the location lacks.
    const fs::path odd = kaFolder("odd", {{"E4", "take.wav", 0.75}});
    useOnly(odd);
    panel.reloadFromProject();
    QTest::mouseClick(&panel.listedSymbolsRadio(), Qt::LeftButton);
    EXPECT_TRUE(panel.symbolsEdit().isEnabled());
    panel.symbolsEdit().selectAll();
    QTest::keyClicks(&panel.symbolsEdit(), QStringLiteral("ka, zz"));
    EXPECT_EQ(m_document.model()->modelSymbols, "ka, zz");
    const fs::path log2 = m_dir / "second.txt";
    m_prompter.answerFile(QString::fromStdString(log2.string()));
    std::string text2;
    m_prompter.answerModal([&](QDialog& d) {
        const int r = waitForTheEnd(d);
        text2 = shown(static_cast<CVoiceBankProcessDlg&>(d));
        EXPECT_EQ(readText(log2), text2);
        // The missing symbol counts as a failure too.
        EXPECT_EQ(static_cast<CVoiceBankProcessDlg&>(d).statusLabel().text(),
                  QStringLiteral("Finished: 1 of 1 done, 2 failed"));
        return r;
    });
    QTest::mouseClick(&panel.buildModelsButton(), Qt::LeftButton);
    ASSERT_TRUE(m_prompter.scriptDone());
    EXPECT_EQ(withoutTimes(text2), "-------------Start to build models T-------------\r\n"
                                   "Error  > zz not exists in " + odd.string() +
                                   "\r\n[1/1] type=CV  pitch=E4  symbol=ka    >> Error  >   "
                                   "Unvoiced part exists in vowel.\r\n\r\n-------------End T------------");
    EXPECT_FALSE(fs::exists(m_demo.modelFolder / "E4.ka.LVModel"));
}

TEST_F(BuildDialogs, BankBuildEndsCompleteOrWithTheErrorList)
{
    CVbSettingPanelDlg panel(m_document);
    m_prompter.answerFile(QString::fromStdString((m_dir / "models.txt").string()));
    m_prompter.answerModal(waitForTheEnd);
    QTest::mouseClick(&panel.buildModelsButton(), Qt::LeftButton);
    ASSERT_TRUE(m_prompter.scriptDone());

    // Typed into the panel, stored in the project.
    panel.pitchEdit().clear();
    QTest::keyClicks(&panel.pitchEdit(), QStringLiteral(" C4 "));
    panel.singerEdit().clear();
    QTest::keyClicks(&panel.singerEdit(), QStringLiteral("Lirvane"));
    EXPECT_EQ(m_document.model()->pitchList, " C4 ");
    EXPECT_EQ(m_document.model()->voiceBankName, "Lirvane");

    QString status;
    auto bank = [&](const std::string& logName) {
        const fs::path log = m_dir / logName;
        std::string text;
        m_prompter.answerFile(QString::fromStdString(log.string()));
        m_prompter.answerModal([&](QDialog& d) {
            auto& dialog = static_cast<CVoiceBankProcessDlg&>(d);
            EXPECT_FALSE(dialog.stopButton().isEnabled());
            const int r = waitForTheEnd(d);
            text = withoutTimes(shown(dialog));
            EXPECT_EQ(readText(log), shown(dialog));
            status = dialog.statusLabel().text();
            return r;
        });
        QTest::mouseClick(&panel.buildBankButton(), Qt::LeftButton);
        EXPECT_TRUE(m_prompter.scriptDone());
        EXPECT_EQ(m_prompter.prompts().back().dialogTitle, QStringLiteral("Build voice bank"));
        return text;
    };
    EXPECT_EQ(bank("bank.txt"), "-------------Start to build voice bank T-------------\r\n"
                                "\r\nVoice bank complete !!! \r\n\r\n\r\n-------------End T------------");
    EXPECT_EQ(status, QStringLiteral("Finished: complete"));
    EXPECT_TRUE(fs::exists(m_demo.bankFolder / "TSI"));
    EXPECT_NE(readText(m_demo.bankFolder / "voice.tssd").find("\"Lirvane\""), std::string::npos);

    // Two units without their models: two numbered problems, each message with its code's text.
    fs::remove(m_demo.modelFolder / "C4.ka.LVModel");
    fs::remove(m_demo.modelFolder / "C4.na.LVModel");
    const std::string failed = bank("failed.txt");
    const std::regex ending("-------------\r\n\r\nError list :"
                            "\r\n1\t\\| [^\r\n]*  Model file not exists\\."
                            "\r\n2\t\\| [^\r\n]*  Model file not exists\\."
                            "\r\n\r\n-------------End T------------$");
    EXPECT_TRUE(std::regex_search(failed, ending)) << failed;
    EXPECT_EQ(status, QStringLiteral("Finished: 2 failed"));
}

TEST_F(BuildDialogs, ChecksAndTheLogChooserComeBeforeAnyBuild)
{
    CVbSettingPanelDlg panel(m_document);
    EXPECT_FALSE(m_document.isModified()); // filling the panel changes nothing
    EXPECT_EQ(panel.locationList().rowCount(), 1);

    const auto field = [&](ProjectField which) { return m_document.field(which); };
    const std::string symbols = field(ProjectField::symbolList);
    const std::string vowels = field(ProjectField::vowelList);
    const std::string voiced = field(ProjectField::voicedConsonantList);
    const std::string unvoiced = field(ProjectField::unvoicedConsonantList);
    struct Case {
        std::function<void()> change;
        QString message;
    };
    const std::vector<Case> cases{
        {[&] { m_document.setField(ProjectField::symbolList, ""); }, QStringLiteral("Error: Symbol list is empty...")},
        {[&] { m_document.setField(ProjectField::symbolList, symbols);
               m_document.setField(ProjectField::vowelList, ""); },
         QStringLiteral("Error: Vowel list is empty...")},
        {[&] { m_document.setField(ProjectField::vowelList, vowels);
               m_document.setField(ProjectField::voicedConsonantList, "");
               m_document.setField(ProjectField::unvoicedConsonantList, ""); },
         QStringLiteral("Error: Consonant list is empty...")},
    };
    for (const Case& c : cases) {
        c.change();
        for (QPushButton* start : {&panel.buildModelsButton(), &panel.buildBankButton()}) {
            m_prompter.answerMessage(Prompter::Answer::Ok);
            QTest::mouseClick(start, Qt::LeftButton);
            ASSERT_TRUE(m_prompter.scriptDone());
            EXPECT_EQ(m_prompter.prompts().back().kind, ScriptedPrompter::Kind::Message);
            EXPECT_EQ(m_prompter.prompts().back().text, c.message);
            EXPECT_EQ(m_prompter.prompts().back().icon, Prompter::Icon::Error);
        }
    }
    // A line "n,n" in the voiced consonants fails the dictionary's own check, with its message.
    m_document.setField(ProjectField::voicedConsonantList, voiced + "," + voiced.substr(0, voiced.find(',')));
    m_document.setField(ProjectField::unvoicedConsonantList, unvoiced);
    m_prompter.answerMessage(Prompter::Answer::Ok);
    panel.buildModelFiles();
    ASSERT_TRUE(m_prompter.scriptDone());
    EXPECT_EQ(m_prompter.prompts().back().icon, Prompter::Icon::Error);
    EXPECT_FALSE(m_prompter.prompts().back().text.startsWith(QStringLiteral("Error: ")))
        << m_prompter.prompts().back().text.toStdString();
    // And where, as the dictionary window's own check says it.
    EXPECT_TRUE(m_prompter.prompts().back().text.endsWith(QStringLiteral("\nTab \"3 Voiced Consonant List\", line 1.")))
        << m_prompter.prompts().back().text.toStdString();

    // Cancelling the log file chooser starts nothing (no dialog, no model file).
    m_document.setField(ProjectField::voicedConsonantList, voiced);
    const std::size_t asked = m_prompter.prompts().size();
    m_prompter.answerFile(std::nullopt);
    panel.buildModelFiles();
    m_prompter.answerFile(std::nullopt);
    panel.buildVoiceBank();
    ASSERT_TRUE(m_prompter.scriptDone());
    ASSERT_EQ(m_prompter.prompts().size(), asked + 2);
    EXPECT_EQ(m_prompter.prompts().back().kind, ScriptedPrompter::Kind::SaveFile);
    QCoreApplication::processEvents();
    EXPECT_FALSE(fs::exists(m_demo.modelFolder) && !fs::is_empty(m_demo.modelFolder));
    EXPECT_FALSE(fs::exists(m_demo.bankFolder / "TSI"));

    // A log chosen over the open project, or over a file the build reads or writes, is refused with
    // a message (the chooser's "replace?" already said yes): the file stays, nothing is built.
    const std::string projectBytes = readText(m_demo.projectFile);
    const fs::path location = m_demo.wavLocations[0];
    const std::string cfgBytes = readText(location / "voice.lvcfg");
    const std::vector<fs::path> refused{m_demo.projectFile, location / "voice.lvcfg", location / "C4_ka.wav",
                                        m_demo.modelFolder / "C4.ka.LVModel", m_demo.bankFolder / "TSI"};
    for (const fs::path& log : refused) {
        for (QPushButton* start : {&panel.buildModelsButton(), &panel.buildBankButton()}) {
            m_prompter.answerFile(QString::fromStdString(log.string()));
            m_prompter.answerMessage(Prompter::Answer::Ok);
            QTest::mouseClick(start, Qt::LeftButton);
            ASSERT_TRUE(m_prompter.scriptDone()) << log << ": no progress dialog";
            const auto& said = m_prompter.prompts().back();
            EXPECT_EQ(said.kind, ScriptedPrompter::Kind::Message) << log;
            EXPECT_EQ(said.icon, Prompter::Icon::Error) << log;
            EXPECT_TRUE(said.text.contains(QStringLiteral("the log must not replace a file the build reads or writes")))
                << said.text.toStdString();
        }
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(readText(m_demo.projectFile), projectBytes);
    EXPECT_EQ(readText(location / "voice.lvcfg"), cfgBytes);
    EXPECT_FALSE(fs::exists(m_demo.modelFolder) && !fs::is_empty(m_demo.modelFolder));
    EXPECT_FALSE(fs::exists(m_demo.bankFolder / "TSI"));

    // The wav locations: "+" adds the chosen folder, "-" removes the selected row.
    m_prompter.answerFolder(QStringLiteral("/voice/second"));
    panel.addWavLocation();
    EXPECT_EQ(m_prompter.prompts().back().caption, QStringLiteral("FilePath"));
    ASSERT_EQ(panel.locationList().rowCount(), 2);
    EXPECT_EQ(m_document.model()->wavLocations.back(), "/voice/second");
    panel.locationList().clearSelection();
    panel.removeWavLocation(); // nothing selected: nothing removed
    EXPECT_EQ(panel.locationList().rowCount(), 2);
    panel.locationList().selectRow(0);
    panel.removeWavLocation();
    ASSERT_EQ(panel.locationList().rowCount(), 1);
    EXPECT_EQ(m_document.model()->wavLocations, std::vector<std::string>{"/voice/second"});
    m_prompter.answerFolder(QStringLiteral("/voice/models"));
    panel.chooseModelFolder();
    EXPECT_EQ(panel.modelFolderEdit().text(), QStringLiteral("/voice/models"));
    EXPECT_EQ(m_document.model()->modelFolder, "/voice/models");
    QTest::mouseClick(&panel.allSymbolsRadio(), Qt::LeftButton);
    EXPECT_FALSE(panel.symbolsEdit().isEnabled());
    EXPECT_EQ(m_document.model()->allSymbols, 1);
    ASSERT_TRUE(m_prompter.scriptDone());

    // A build that could do nothing says why and asks for no log file.
    const auto saysWhy = [&](QPushButton& start, const QString& why) {
        m_prompter.answerMessage(Prompter::Answer::Ok);
        QTest::mouseClick(&start, Qt::LeftButton);
        ASSERT_TRUE(m_prompter.scriptDone());
        EXPECT_EQ(m_prompter.prompts().back().text, why);
        EXPECT_EQ(m_prompter.prompts().back().icon, Prompter::Icon::Error);
    };
    saysWhy(panel.buildModelsButton(), QStringLiteral("No entries to build")); // /voice/second holds none
    panel.locationList().selectRow(0);
    panel.removeWavLocation();
    saysWhy(panel.buildModelsButton(), QStringLiteral("No WAV locations"));
    m_document.addWavLocation(m_demo.wavLocations[0].string());
    m_document.setField(ProjectField::modelFolder, "");
    saysWhy(panel.buildModelsButton(), QStringLiteral("No model folder"));
    saysWhy(panel.buildBankButton(), QStringLiteral("No model folder"));
}

TEST_F(BuildDialogs, StopAndCloseInTheMiddleOfABuild)
{
    CVbSettingPanelDlg panel(m_document);
    panel.setJobs(1);
    const fs::path log = m_dir / "stopped.txt";
    m_prompter.answerFile(QString::fromStdString(log.string()));
    m_prompter.answerModal([&](QDialog& d) {
        auto& dialog = static_cast<CVoiceBankProcessDlg&>(d);
        EXPECT_TRUE(pumpUntil([&] { return builtOne(dialog); }));
        // Asked first; Cancel goes on building.
        m_prompter.answerMessage(Prompter::Answer::Cancel);
        QTest::mouseClick(&dialog.stopButton(), Qt::LeftButton);
        EXPECT_EQ(m_prompter.prompts().back().text, QStringLiteral("Stop building?"));
        EXPECT_EQ(m_prompter.prompts().back().caption, QStringLiteral("Stop building"));
        EXPECT_EQ(m_prompter.prompts().back().buttons, Prompter::Buttons::OkCancel);
        EXPECT_FALSE(dialog.run().stopRequested());
        m_prompter.answerMessage(Prompter::Answer::Ok);
        QTest::mouseClick(&dialog.stopButton(), Qt::LeftButton);
        EXPECT_FALSE(dialog.run().running()); // waited for the worker
        EXPECT_FALSE(dialog.stopButton().isEnabled());
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(readText(log), shown(dialog));
        const std::string text = withoutTimes(shown(dialog));
        // The dialog stays open with the entries built so far and the end line.
        const auto ok = std::ptrdiff_t(lvtest::occurrences(text, ">> OK "));
        const std::ptrdiff_t models = lvtest::modelFileCount(m_demo.modelFolder);
        EXPECT_GE(ok, 1);
        EXPECT_LT(ok, 8) << "the build ran to its end before it was stopped";
        EXPECT_EQ(ok, models);
        EXPECT_EQ(dialog.progressBar().value(), ok);
        EXPECT_EQ(dialog.progressBar().maximum(), 8);
        EXPECT_EQ(dialog.statusLabel().text(), QStringLiteral("Stopped: %1 of 8 done, 0 failed").arg(ok));
        EXPECT_TRUE(std::regex_search(text, std::regex(">> OK \r\n\r\n-------------End T------------$")))
            << text;
        // Ctrl+A selects the whole text, wherever the focus is in the dialog.
        QTest::keyClick(&dialog.stopButton(), Qt::Key_A, Qt::ControlModifier);
        EXPECT_EQ(dialog.textView().textCursor().selectedText().size(), dialog.textView().toPlainText().size());
        // Not running any more: closes without asking.
        EXPECT_TRUE(dialog.requestClose());
        return dialog.result();
    });
    panel.buildModelFiles();
    ASSERT_TRUE(m_prompter.scriptDone());

    // Closing while the models are built asks, then stops and closes, into a model folder of its own.
    const fs::path closedModels = m_dir / "closed models";
    m_document.setField(ProjectField::modelFolder, closedModels.string());
    const fs::path closedLog = m_dir / "closed.txt";
    std::string whole;
    m_prompter.answerFile(QString::fromStdString(closedLog.string()));
    m_prompter.answerModal([&](QDialog& d) {
        auto& dialog = static_cast<CVoiceBankProcessDlg&>(d);
        EXPECT_TRUE(pumpUntil([&] { return builtOne(dialog); }));
        m_prompter.answerMessage(Prompter::Answer::Cancel);
        dialog.reject();
        EXPECT_EQ(m_prompter.prompts().back().text, QStringLiteral("Stop building and close window?"));
        EXPECT_EQ(m_prompter.prompts().back().caption, QStringLiteral("Stop building and close window"));
        EXPECT_FALSE(dialog.run().stopRequested());
        m_prompter.answerMessage(Prompter::Answer::Ok);
        EXPECT_TRUE(dialog.requestClose());
        EXPECT_FALSE(dialog.run().running());
        whole = dialog.run().text();
        return dialog.result();
    });
    m_prompter.answerFile(std::nullopt); // the chooser asked once more below: nothing starts
    panel.buildModelFiles();
    panel.buildModelFiles();
    EXPECT_TRUE(m_prompter.scriptDone());
    // The window is gone, its queued refreshes with it: the log still holds every entry that was
    // handled (one OK per model written) and the end line.
    const std::string closed = readText(closedLog);
    EXPECT_EQ(closed, whole);
    const std::string closedText = withoutTimes(closed);
    const auto handled = std::ptrdiff_t(lvtest::occurrences(closedText, ">> OK "));
    EXPECT_EQ(handled, lvtest::modelFileCount(closedModels));
    EXPECT_EQ(lvtest::occurrences(closedText, "    >> "), std::size_t(handled)) << closedText;
    EXPECT_TRUE(std::regex_search(closedText, std::regex(">> OK \r\n\r\n-------------End T------------$")))
        << closedText;
}

TEST_F(BuildDialogs, AVoiceBankBuildCannotBeClosedWhileItRuns)
{
    // The end line's clock holds the worker until the test lets it go.
    std::mutex lock;
    std::condition_variable changed;
    bool release = false;
    int calls = 0;
    auto clock = [&] {
        std::unique_lock<std::mutex> guard(lock);
        if (++calls == 2) {
            changed.wait(guard, [&] { return release; });
        }
        return std::string("T");
    };
    BuildInputs inputs;
    inputs.dictionary = PhoneticDictionary::fromProject(*m_document.model());
    inputs.pitches = {"C4"};
    inputs.modelFolder = (m_dir / "no models").string();
    inputs.voiceBankFolder = (m_dir / "bank").string();
    const fs::path log = m_dir / "held.txt";
    CVoiceBankProcessDlg dialog(CVoiceBankProcessDlg::kBuildVoiceBank, inputs, QString::fromStdString(log.string()),
                                nullptr, clock);
    dialog.start();
    ASSERT_TRUE(dialog.run().running());
    EXPECT_FALSE(dialog.stopButton().isEnabled());
    EXPECT_FALSE(dialog.requestClose()); // no question either: the scripted prompter has no answer
    ASSERT_TRUE(pumpUntil([&] { return dialog.shownText().contains(QStringLiteral("Error list :")); }));
    EXPECT_EQ(dialog.statusLabel().text(), QStringLiteral("Building the voice bank"));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.run().running());
    QCoreApplication::processEvents();
    const std::string before = shown(dialog);
    EXPECT_NE(before.find("\r\nError list :\r\n1\t| "), std::string::npos) << before;
    {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
    }
    changed.notify_all();
    // Every report had been shown while the worker was held; the end line has a refresh of its own,
    // posted after the worker stopped running.
    ASSERT_TRUE(pumpUntil([&] { return !dialog.run().running() && shown(dialog) != before; }));
    EXPECT_EQ(shown(dialog), before + "\r\n\r\n-------------End T------------");
    EXPECT_EQ(readText(log), shown(dialog));
    EXPECT_TRUE(dialog.requestClose());
    EXPECT_TRUE(m_prompter.prompts().empty());
}

// Through the program's own main window: a models build in which one entry fails is counted, and a
// double-click on an entry's line of the text opens that entry in the wave editor.
class BuildFromTheMainWindow : public lvtest::DesktopFixture {};

TEST_F(BuildFromTheMainWindow, ADoubleClickOnAnEntrysLineOpensItInTheEditor)
{
    std::string error;
    const auto demo = lvdemo::writeDemoProject(m_dir / "demo", error, lvdemo::smallDemoOptions());
    ASSERT_TRUE(demo) << error;
    const fs::path location = demo->wavLocations[0];
    fs::remove(location / "C4_na.wav"); // its entry fails with a reading error
    auto frame = makeFrame(true);
    ASSERT_TRUE(frame->openProjectFile(QString::fromStdString(demo->projectFile.string())));
    frame->commandAction(Cmd::kBuildVoiceBank)->trigger();
    auto* panel = dynamic_cast<CVbSettingPanelDlg*>(frame->buildPanel());
    ASSERT_NE(panel, nullptr);
    panel->setJobs(2);

    const auto lineOf = [](QPlainTextEdit& view, const QString& needle) {
        for (QTextBlock b = view.document()->begin(); b.isValid(); b = b.next()) {
            if (b.text().contains(needle)) {
                return b;
            }
        }
        return QTextBlock();
    };
    const auto doubleClick = [](QPlainTextEdit& view, const QTextBlock& block) {
        QTextCursor at(block);
        at.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
        view.setTextCursor(at);
        view.ensureCursorVisible();
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, view.cursorRect(at).center());
    };
    scripted.answerFile(QString::fromStdString((m_dir / "models.txt").string()));
    scripted.answerModal([&](QDialog& d) {
        const int r = waitForTheEnd(d);
        auto& dialog = static_cast<CVoiceBankProcessDlg&>(d);
        EXPECT_EQ(dialog.statusLabel().text(), QStringLiteral("Finished: 8 of 8 done, 1 failed"));
        QPlainTextEdit& view = dialog.textView();
        const QTextBlock failedLine = lineOf(view, QStringLiteral("symbol=na    >> Error"));
        const QTextBlock goodLine = lineOf(view, QStringLiteral("symbol=ka    >> OK"));
        EXPECT_TRUE(failedLine.isValid() && goodLine.isValid()) << shown(dialog);

        doubleClick(view, failedLine);
        EXPECT_NE(frame->waveEditor(), nullptr);
        if (editor != nullptr) {
            EXPECT_EQ(editor->loaded.size(), 1u);
            EXPECT_EQ(editor->loaded.back().key, "C4->na");
            EXPECT_EQ(fs::path(editor->loaded.back().folder.toStdString()), location);
        }
        doubleClick(view, goodLine);
        // The header, the blank line under it and the end line belong to no entry.
        doubleClick(view, view.document()->firstBlock());
        doubleClick(view, view.document()->lastBlock());
        if (editor != nullptr) {
            EXPECT_EQ(editor->loaded.size(), 2u);
            EXPECT_EQ(editor->loaded.back().key, "C4->ka");
        }
        return r;
    });
    QTest::mouseClick(&panel->buildModelsButton(), Qt::LeftButton);
    EXPECT_TRUE(scripted.scriptDone());
    EXPECT_EQ(sounds, (std::vector<ConfirmationSound>{ConfirmationSound::EntryOpened, ConfirmationSound::EntryOpened}));
}
