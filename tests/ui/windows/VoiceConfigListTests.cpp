// The voice configuration list inside the main window: storing what the editor sends back, moving
// to the neighbouring entries, renaming, sorting, and a folder whose file could not be read.

#include "DesktopFixture.h"

#include "model/CAppConfigModel.h"
#include "model/CTsVoiceCfgMgr.h"
#include "ui/build/CVbSettingPanelDlg.h"
#include "ui/windows/CTSToolBoxEditDlgs.h"
#include "ui/windows/CTsOtoSetingDlg.h"

#include "demo/DemoSinger.h"
#include "engine/MarkerEstimator.h"
#include "support/SungUnits.h"
#include "support/WavBytes.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

using namespace TessarinEditor;

namespace {

class VoiceConfigList : public lvtest::DesktopFixture {
protected:
    VoiceConfigList()
    {
        folderA = m_dir / "A";
        folderB = m_dir / "B";
        std::filesystem::create_directories(folderA);
        std::filesystem::create_directories(folderB);
        CTsVoiceCfgMgr mgr;
        mgr.loadFolder(folderA);
        // Key order: C4->ka, C4->sa, D4->ka, E4->a_k.
        addCv(mgr, "ka", "C4", 100);
        addCv(mgr, "sa", "C4", 300);
        addCv(mgr, "ka", "D4", 200);
        auto vx = std::make_unique<CTsVoiceCfg_VC>();
        vx->joinVcSymbol("a", "k");
        vx->pitch = "E4";
        vx->wavName = "E4_a_k.wav";
        vx->updateTime = 50;
        mgr.putCopy(*vx);
        EXPECT_TRUE(mgr.save());

        frame = makeFrame();
        frame->commandAction(Cmd::kVoiceConfig)->trigger();
        list = frame->configurationList();
        list->loadWavLocation(qpath(folderA));
    }

    static void addCv(CTsVoiceCfgMgr& mgr, const std::string& symbol, const std::string& pitch, std::int64_t time)
    {
        CTsVoiceCfg_CV cv;
        cv.symbol = symbol;
        cv.pitch = pitch;
        cv.wavName = pitch + "_" + symbol + ".wav";
        cv.vowelStart = 0.2;
        cv.vowelEnd = 0.5;
        cv.updateTime = time;
        mgr.putCopy(cv);
    }

    static QString qpath(const std::filesystem::path& p) { return QString::fromStdString(p.string()); }

    QString cell(int row, int column) { return list->table().item(row, column)->text(); }

    // Column 0 from the top, and what it must read: 1 … n.
    QStringList numbers()
    {
        QStringList n;
        for (int r = 0; r < list->table().rowCount(); ++r) {
            n << cell(r, 0);
        }
        return n;
    }
    QStringList oneToN()
    {
        QStringList n;
        for (int r = 1; r <= list->table().rowCount(); ++r) {
            n << QString::number(r);
        }
        return n;
    }

    // What a person does: a click on one of the list's buttons, a double-click on a row.
    void click(const QString& caption)
    {
        for (QPushButton* b : list->findChildren<QPushButton*>()) {
            if (b->text() == caption) {
                QTest::mouseClick(b, Qt::LeftButton);
                return;
            }
        }
        ADD_FAILURE() << "no button " << caption.toStdString();
    }
    void doubleClickRow(int row)
    {
        QTableWidget& table = list->table();
        const QRect cellRect = table.visualRect(table.model()->index(row, CTsOtoSetingDlg::kColSymbol));
        // The press of a double-click is a click first: the view opens only the row it pressed.
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cellRect.center());
        QTest::mouseDClick(table.viewport(), Qt::LeftButton, {}, cellRect.center());
    }

    std::unique_ptr<CTsVoiceCfg> stored(const std::filesystem::path& folder, const std::string& key)
    {
        CTsVoiceCfgMgr mgr;
        mgr.loadFolder(folder);
        const CTsVoiceCfg* e = mgr.findKey(key);
        return e ? e->clone() : nullptr;
    }

    // The entry of a row as the editor would send it back.
    std::unique_ptr<CTsVoiceCfg> entryOfRow(int row)
    {
        return list->manager().findKey(cell(row, CTsOtoSetingDlg::kColPitch).toStdString() + "->" +
                                       cell(row, CTsOtoSetingDlg::kColSymbol).toStdString())
            ->clone();
    }

    std::filesystem::path folderA;
    std::filesystem::path folderB;
    std::unique_ptr<CTsToolBoxAppMainFrame> frame;
    CTsOtoSetingDlg* list = nullptr;
};

TEST_F(VoiceConfigList, ListsEveryEntryInKeyOrderWithItsColumns)
{
    QTableWidget& table = list->table();
    ASSERT_EQ(table.rowCount(), 4);
    EXPECT_EQ(table.horizontalHeaderItem(CTsOtoSetingDlg::kColTime)->text(), QStringLiteral("Update Time"));
    EXPECT_EQ(table.columnWidth(CTsOtoSetingDlg::kColSymbol), 100);
    EXPECT_EQ(cell(0, 0), QStringLiteral("1"));
    EXPECT_EQ(cell(3, 0), QStringLiteral("4"));
    EXPECT_EQ(cell(3, CTsOtoSetingDlg::kColSymbol), QStringLiteral("a_k"));
    EXPECT_EQ(cell(3, CTsOtoSetingDlg::kColType), QStringLiteral("VX"));
    EXPECT_EQ(cell(1, CTsOtoSetingDlg::kColFile), QStringLiteral("C4_sa.wav"));

    // A double-click fills the form of the row's kind and opens nothing.
    list->loadRowIntoForm(3);
    EXPECT_EQ(list->formKind(), CTsOtoSetingDlg::kFormVX);
    EXPECT_EQ(list->vPartBox().text(), QStringLiteral("a"));
    EXPECT_EQ(list->xPartBox().text(), QStringLiteral("k"));
    EXPECT_FALSE(list->cvSymbolBox().isEnabled());
    EXPECT_TRUE(list->xPartBox().isEnabled());
    EXPECT_TRUE(editor.isNull());
}

TEST_F(VoiceConfigList, ReopensTheFolderItShowedLast)
{
    list->close();
    settle();
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    list = frame->configurationList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->wavFolder(), qpath(folderA));
    EXPECT_EQ(list->table().rowCount(), 4);
    // A folder that is gone leaves the list empty.
    list->loadWavLocation(qpath(folderB));
    list->close();
    std::filesystem::remove_all(folderB);
    settle();
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    list = frame->configurationList();
    EXPECT_TRUE(list->wavFolder().isEmpty());
    EXPECT_EQ(list->table().rowCount(), 0);
}

TEST_F(VoiceConfigList, StoringANewSymbolAppendsANumberedRowAndWritesTheFile)
{
    CTsVoiceCfg_CV edited;
    edited.symbol = "ta";
    edited.pitch = "C4";
    edited.wavName = "C4_ta.wav";
    edited.vowelStart = 0.3;
    edited.vowelEnd = 0.6;
    send(frame.get(), EntryEvent(Msg::kStoreEntry, edited, qpath(folderA)));

    ASSERT_EQ(list->table().rowCount(), 5);
    EXPECT_EQ(cell(4, 0), QStringLiteral("5"));
    EXPECT_EQ(cell(4, CTsOtoSetingDlg::kColSymbol), QStringLiteral("ta"));
    const auto onDisk = stored(folderA, "C4->ta");
    ASSERT_NE(onDisk, nullptr);
    EXPECT_DOUBLE_EQ(static_cast<CTsVoiceCfg_CV&>(*onDisk).vowelStart, 0.3);
    EXPECT_GT(onDisk->updateTime, 1'000'000'000); // dated now
    EXPECT_EQ(sounds, std::vector<ConfirmationSound>{ConfirmationSound::EntryStored});

    // The same entry again only refreshes its row.
    edited.vowelStart = 0.35;
    send(frame.get(), EntryEvent(Msg::kStoreEntry, edited, qpath(folderA)));
    EXPECT_EQ(list->table().rowCount(), 5);
    EXPECT_DOUBLE_EQ(static_cast<CTsVoiceCfg_CV&>(*stored(folderA, "C4->ta")).vowelStart, 0.35);
}

TEST_F(VoiceConfigList, StoringAfterAnotherFolderWasPickedStoresNothing)
{
    const auto opened = entryOfRow(0); // the editor has C4->ka of folder A
    scripted.answerFolder(qpath(folderB));
    list->chooseWavLocation();
    EXPECT_EQ(list->table().rowCount(), 0);

    auto edited = opened->clone();
    static_cast<CTsVoiceCfg_CV&>(*edited).vowelStart = 0.45;
    send(frame.get(), EntryEvent(Msg::kStoreEntry, *edited, qpath(folderA)));
    send(frame.get(), EntryEvent(Msg::kStoreAndNext, *edited, qpath(folderA)));
    settle();
    EXPECT_EQ(list->table().rowCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(folderB / "voice.lvcfg"));
    EXPECT_DOUBLE_EQ(static_cast<CTsVoiceCfg_CV&>(*stored(folderA, "C4->ka")).vowelStart, 0.2);
    EXPECT_TRUE(sounds.empty());
    EXPECT_TRUE(editor.isNull());
    EXPECT_EQ(config().latestTscfgLoc, folderB.string());
}

TEST_F(VoiceConfigList, MovesStopAtBothEndsAndTabOnTheLastRowOnlyStores)
{
    const int last = list->table().rowCount() - 1;
    // Down on the first row opens the second one in the editor, after the message.
    send(frame.get(), EntryEvent(Msg::kMoveToNeighbour, *entryOfRow(0), qpath(folderA), moveFlagFromDirection(1)));
    settle();
    ASSERT_FALSE(editor.isNull());
    ASSERT_EQ(editor->loaded.size(), 1u);
    EXPECT_EQ(editor->loaded[0].key, "C4->sa");
    EXPECT_EQ(list->table().currentRow(), 1);
    EXPECT_EQ(sounds, std::vector<ConfirmationSound>{ConfirmationSound::EntryOpened});
    editor->loaded.clear();
    sounds.clear();

    send(frame.get(), EntryEvent(Msg::kMoveToNeighbour, *entryOfRow(last), qpath(folderA), moveFlagFromDirection(1)));
    send(frame.get(), EntryEvent(Msg::kMoveToNeighbour, *entryOfRow(0), qpath(folderA), moveFlagFromDirection(0)));
    settle();
    EXPECT_TRUE(editor->loaded.empty());

    auto edited = entryOfRow(last);
    static_cast<CTsVoiceCfg_VC&>(*edited).connectPoint = 0.25;
    send(frame.get(), EntryEvent(Msg::kStoreAndNext, *edited, qpath(folderA)));
    settle();
    EXPECT_TRUE(editor->loaded.empty());
    EXPECT_DOUBLE_EQ(static_cast<CTsVoiceCfg_VC&>(*stored(folderA, "E4->a_k")).connectPoint, 0.25);
    EXPECT_EQ(sounds, std::vector<ConfirmationSound>{ConfirmationSound::EntryStored});
}

TEST_F(VoiceConfigList, RenameCopyAndDeleteChangeTheFileAndTheRowsOnlyWhenTheyShould)
{
    doubleClickRow(0); // C4->ka
    EXPECT_EQ(list->cvSymbolBox().text(), QStringLiteral("ka"));
    const auto before = lvtest::readFile(folderA / "voice.lvcfg");
    scripted.answerModal([](QDialog& dialog) {
        auto& cv = dynamic_cast<CTSToolBoxEditCvDlg&>(dialog);
        EXPECT_EQ(cv.windowTitle(), QStringLiteral("Rename"));
        EXPECT_EQ(cv.symbolBox().text(), QStringLiteral("ka"));
        cv.accept();
        return int(QDialog::Accepted);
    });
    click(QStringLiteral("Rename"));
    EXPECT_EQ(lvtest::readFile(folderA / "voice.lvcfg"), before);
    EXPECT_EQ(list->table().rowCount(), 4);
    EXPECT_EQ(cell(0, CTsOtoSetingDlg::kColSymbol), QStringLiteral("ka"));

    scripted.answerModal([](QDialog& dialog) {
        auto& cv = dynamic_cast<CTSToolBoxEditCvDlg&>(dialog);
        cv.symbolBox().setText(QStringLiteral("ga"));
        cv.accept();
        return int(QDialog::Accepted);
    });
    click(QStringLiteral("Rename"));
    ASSERT_EQ(list->table().rowCount(), 4);
    EXPECT_EQ(cell(0, CTsOtoSetingDlg::kColSymbol), QStringLiteral("sa"));
    EXPECT_EQ(cell(3, CTsOtoSetingDlg::kColSymbol), QStringLiteral("ga"));
    EXPECT_EQ(numbers(), oneToN()) << "the renamed row is numbered after the others, none twice";
    EXPECT_EQ(stored(folderA, "C4->ka"), nullptr);
    EXPECT_NE(stored(folderA, "C4->ga"), nullptr);

    // Delete asks first; Cancel keeps the entry.
    list->cvSymbolBox().setText(QStringLiteral("ga"));
    scripted.answerMessage(Prompter::Answer::Cancel);
    list->deleteEntry();
    EXPECT_EQ(scripted.prompts().back().text, QStringLiteral("Delete C4 : ga ?"));
    EXPECT_NE(stored(folderA, "C4->ga"), nullptr);
    // Ok deletes it, row and all; asked once more, the name is missing.
    doubleClickRow(1); // D4->ka, then ga typed into the form
    list->cvSymbolBox().clear();
    QTest::keyClicks(&list->cvSymbolBox(), QStringLiteral("ga"));
    list->pitchBox().clear();
    QTest::keyClicks(&list->pitchBox(), QStringLiteral("C4"));
    scripted.answerMessage(Prompter::Answer::Ok);
    click(QStringLiteral("Delete"));
    EXPECT_EQ(stored(folderA, "C4->ga"), nullptr);
    ASSERT_EQ(list->table().rowCount(), 3);
    EXPECT_EQ(numbers(), oneToN());
    scripted.answerMessage(Prompter::Answer::Ok);
    list->deleteEntry();
    EXPECT_EQ(scripted.prompts().back().text, QStringLiteral("C4 : ga is not exists!"));
    EXPECT_EQ(scripted.prompts().back().icon, Prompter::Icon::Error);

    // A copy of the VX entry at another pitch keeps the original; its row comes last.
    doubleClickRow(2); // E4->a_k
    scripted.answerModal([](QDialog& dialog) {
        auto& vx = dynamic_cast<CTSToolBoxEditVxDlg&>(dialog);
        EXPECT_EQ(vx.windowTitle(), QStringLiteral("Copy"));
        EXPECT_EQ(vx.vBox().text(), QStringLiteral("a"));
        EXPECT_EQ(vx.xBox().text(), QStringLiteral("k"));
        vx.pitchBox().setText(QStringLiteral("F4"));
        vx.accept();
        return int(QDialog::Accepted);
    });
    click(QStringLiteral("Copy"));
    ASSERT_EQ(list->table().rowCount(), 4);
    EXPECT_EQ(cell(2, CTsOtoSetingDlg::kColPitch), QStringLiteral("E4"));
    EXPECT_EQ(cell(3, CTsOtoSetingDlg::kColPitch), QStringLiteral("F4"));
    EXPECT_EQ(numbers(), oneToN());
    EXPECT_NE(stored(folderA, "E4->a_k"), nullptr);
    const auto copied = stored(folderA, "F4->a_k");
    ASSERT_NE(copied, nullptr);
    EXPECT_EQ(copied->wavName, "E4_a_k.wav");
    EXPECT_TRUE(scripted.scriptDone());
}

TEST_F(VoiceConfigList, PitchHeaderClickedTwiceSortsDecreasingThenIncreasing)
{
    QHeaderView* header = list->table().horizontalHeader();
    const auto clickPitch = [header] {
        const int x = header->sectionViewportPosition(CTsOtoSetingDlg::kColPitch) + 10;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    };
    const auto pitches = [this] {
        QStringList p;
        for (int r = 0; r < list->table().rowCount(); ++r) {
            p << cell(r, CTsOtoSetingDlg::kColPitch);
        }
        return p;
    };
    EXPECT_FALSE(header->isSortIndicatorShown());
    clickPitch();
    EXPECT_EQ(pitches(), (QStringList{QStringLiteral("E4"), QStringLiteral("D4"), QStringLiteral("C4"), QStringLiteral("C4")}));
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), CTsOtoSetingDlg::kColPitch);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    clickPitch();
    EXPECT_EQ(pitches(), (QStringList{QStringLiteral("C4"), QStringLiteral("C4"), QStringLiteral("D4"), QStringLiteral("E4")}));
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    // Rows keep their entries; the numbers count the rows from the top.
    EXPECT_EQ(cell(3, CTsOtoSetingDlg::kColSymbol), QStringLiteral("a_k"));
    clickPitch();
    EXPECT_EQ(cell(0, CTsOtoSetingDlg::kColSymbol), QStringLiteral("a_k"));
    EXPECT_EQ(numbers(), oneToN());
}

TEST_F(VoiceConfigList, AFileThatCouldNotBeReadIsNeverWrittenOver)
{
    const std::vector<std::uint8_t> broken = {'{', '"', 'C', '4', '-', '>', 'k', 'a', '"', ':'};
    lvtest::writeFile(folderB / "voice.lvcfg", broken);
    scripted.answerMessage(Prompter::Answer::Ok);
    list->loadWavLocation(qpath(folderB));
    EXPECT_EQ(scripted.prompts().back().icon, Prompter::Icon::Error);

    CTsVoiceCfg_CV edited;
    edited.symbol = "ka";
    edited.pitch = "C4";
    edited.wavName = "C4_ka.wav";
    scripted.answerMessage(Prompter::Answer::Ok);
    send(frame.get(), EntryEvent(Msg::kStoreEntry, edited, qpath(folderB)));
    EXPECT_TRUE(scripted.prompts().back().text.contains(QStringLiteral("not written over")));
    EXPECT_EQ(lvtest::readFile(folderB / "voice.lvcfg"), broken);
    EXPECT_TRUE(sounds.empty());
    EXPECT_TRUE(scripted.scriptDone());
}

TEST_F(VoiceConfigList, AStoreKeepsWhatAnotherWriterChangedSinceTheListWasFilled)
{
    // lvtb (or a second copy of the program) adds one entry and deletes another while the list is open.
    {
        CTsVoiceCfgMgr other;
        ASSERT_EQ(other.loadFolder(folderA), CTsVoiceCfgMgr::LoadStatus::Loaded);
        addCv(other, "ta", "F4", 400);
        ASSERT_TRUE(other.removeKey("C4->sa"));
        ASSERT_TRUE(other.save());
    }
    std::unique_ptr<CTsVoiceCfg> edited = entryOfRow(0); // C4->ka
    static_cast<CTsVoiceCfg_CV&>(*edited).vowelStart = 0.25;
    send(frame.get(), EntryEvent(Msg::kStoreEntry, *edited, qpath(folderA)));

    EXPECT_DOUBLE_EQ(static_cast<CTsVoiceCfg_CV&>(*stored(folderA, "C4->ka")).vowelStart, 0.25);
    EXPECT_NE(stored(folderA, "F4->ta"), nullptr);
    EXPECT_EQ(stored(folderA, "C4->sa"), nullptr);
    // The rows show the file as it is now.
    QStringList symbols;
    for (int row = 0; row < list->table().rowCount(); ++row) {
        symbols << cell(row, CTsOtoSetingDlg::kColPitch) + QStringLiteral("->") + cell(row, CTsOtoSetingDlg::kColSymbol);
    }
    EXPECT_EQ(numbers(), oneToN());
    symbols.sort();
    EXPECT_EQ(symbols, (QStringList{QStringLiteral("C4->ka"), QStringLiteral("D4->ka"), QStringLiteral("E4->a_k"),
                                    QStringLiteral("F4->ta")}));
}

} // namespace

namespace {

// Folder A's recordings: C4_ka.wav, used by C4->ka, and four without an entry; a project whose
// dictionary reads them.
class VoiceConfigListFiles : public VoiceConfigList {
protected:
    VoiceConfigListFiles()
    {
        auto project = std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>();
        project->symbolList = "ka,k,a\r\nsa,s,a\r\nta,t,a";
        project->vowelList = "a,a";
        project->unvoicedConsonantList = "k\r\ns\r\nt";
        project->independentList = "br";
        currentProject().replaceModel(std::move(project), {});
        for (const char* name : {"C4_ka.wav", "C4_ta.wav", "E4_br.wav", "a_t.wav", "zz.wav"}) {
            lvtest::writeFile(folderA / name, lvtest::WavBytes::mono16(lvtest::sine16(44100)));
        }
        list->loadWavLocation(qpath(folderA));
    }

    QStringList files()
    {
        QStringList f;
        for (int r = 0; r < list->table().rowCount(); ++r) {
            f << cell(r, CTsOtoSetingDlg::kColFile);
        }
        return f;
    }
};

} // namespace

TEST_F(VoiceConfigListFiles, FilesWithoutAnEntryAreGreyRowsThatFillTheFormForANewEntry)
{
    QTableWidget& table = list->table();
    ASSERT_EQ(table.rowCount(), 8);
    EXPECT_EQ(numbers(), oneToN());
    EXPECT_EQ(files(), (QStringList{QStringLiteral("C4_ka.wav"), QStringLiteral("C4_sa.wav"), QStringLiteral("D4_ka.wav"),
                                    QStringLiteral("E4_a_k.wav"), QStringLiteral("C4_ta.wav"), QStringLiteral("E4_br.wav"),
                                    QStringLiteral("a_t.wav"), QStringLiteral("zz.wav")}));
    for (int row = 0; row < 8; ++row) {
        EXPECT_EQ(list->isFileRow(row), row >= 4) << row;
        EXPECT_EQ(cell(row, CTsOtoSetingDlg::kColTime) == QStringLiteral("no entry"), row >= 4) << row;
        EXPECT_EQ(table.item(row, CTsOtoSetingDlg::kColFile)->foreground().color() ==
                      list->palette().color(QPalette::Disabled, QPalette::Text),
                  row >= 4)
            << row;
    }
    EXPECT_TRUE(cell(4, CTsOtoSetingDlg::kColSymbol).isEmpty());

    // Sorted, the files stay below the entries: what is left to mark.
    QHeaderView* header = table.horizontalHeader();
    const auto clickHeader = [header](int column) {
        const int x = header->sectionViewportPosition(column) + 10;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    };
    clickHeader(CTsOtoSetingDlg::kColFile);
    EXPECT_EQ(files(), (QStringList{QStringLiteral("E4_a_k.wav"), QStringLiteral("D4_ka.wav"), QStringLiteral("C4_sa.wav"),
                                    QStringLiteral("C4_ka.wav"), QStringLiteral("zz.wav"), QStringLiteral("a_t.wav"),
                                    QStringLiteral("E4_br.wav"), QStringLiteral("C4_ta.wav")}));
    clickHeader(CTsOtoSetingDlg::kColSymbol);
    EXPECT_EQ(cell(0, CTsOtoSetingDlg::kColSymbol), QStringLiteral("sa"));
    EXPECT_EQ(cell(3, CTsOtoSetingDlg::kColSymbol), QStringLiteral("a_k"));
    for (int row = 0; row < 8; ++row) {
        EXPECT_EQ(list->isFileRow(row), row >= 4) << row;
    }
    EXPECT_EQ(numbers(), oneToN());
    clickHeader(CTsOtoSetingDlg::kColFile); // increasing
    clickHeader(CTsOtoSetingDlg::kColFile); // decreasing again
    clickHeader(CTsOtoSetingDlg::kColFile); // increasing: C4_ta.wav E4_br.wav a_t.wav zz.wav
    const auto before = lvtest::readFile(folderA / "voice.lvcfg");

    // With no pitch in the form, the one most entries have (C4); the unit read from the name.
    doubleClickRow(4);
    EXPECT_EQ(list->wavNameBox().text(), QStringLiteral("C4_ta.wav"));
    EXPECT_EQ(list->pitchBox().text(), QStringLiteral("C4"));
    EXPECT_EQ(list->formKind(), CTsOtoSetingDlg::kFormCV);
    EXPECT_EQ(list->cvSymbolBox().text(), QStringLiteral("ta"));
    doubleClickRow(6);
    EXPECT_EQ(list->formKind(), CTsOtoSetingDlg::kFormVX);
    EXPECT_EQ(list->vPartBox().text(), QStringLiteral("a"));
    EXPECT_EQ(list->xPartBox().text(), QStringLiteral("t"));
    EXPECT_EQ(list->pitchBox().text(), QStringLiteral("C4"));
    // A name that is no unit leaves no symbol of another file in the form.
    doubleClickRow(7);
    EXPECT_EQ(list->wavNameBox().text(), QStringLiteral("zz.wav"));
    EXPECT_TRUE(list->vPartBox().text().isEmpty());
    EXPECT_TRUE(list->xPartBox().text().isEmpty());
    click(QStringLiteral("New markers"));
    EXPECT_TRUE(editor.isNull()) << "nothing to open without a symbol";
    // A file named for another pitch takes that pitch.
    doubleClickRow(5);
    EXPECT_EQ(list->pitchBox().text(), QStringLiteral("E4"));
    EXPECT_EQ(list->formKind(), CTsOtoSetingDlg::kFormIndependent);
    EXPECT_EQ(list->indieSymbolBox().text(), QStringLiteral("br"));
    EXPECT_EQ(lvtest::readFile(folderA / "voice.lvcfg"), before) << "choosing writes nothing";

    // Opened and stored as any new entry: its file row becomes an entry row.
    click(QStringLiteral("New markers"));
    ASSERT_FALSE(editor.isNull());
    ASSERT_EQ(editor->loaded.size(), 1u);
    EXPECT_EQ(editor->loaded[0].key, "E4->br");
    CTsVoiceCfg_INDIE made;
    made.symbol = "br";
    made.pitch = "E4";
    made.wavName = "E4_br.wav";
    made.startPoint = 0.2;
    made.endPoint = 0.5;
    send(frame.get(), EntryEvent(Msg::kStoreAndNext, made, qpath(folderA)));
    settle();
    ASSERT_EQ(table.rowCount(), 8);
    EXPECT_EQ(numbers(), oneToN());
    EXPECT_FALSE(list->isFileRow(4));
    EXPECT_EQ(cell(4, CTsOtoSetingDlg::kColSymbol), QStringLiteral("br"));
    EXPECT_EQ(files().mid(5), (QStringList{QStringLiteral("C4_ta.wav"), QStringLiteral("a_t.wav"), QStringLiteral("zz.wav")}));
    EXPECT_NE(stored(folderA, "E4->br"), nullptr);
    // Tab went on to the next file, which opens as a new entry of its unit.
    ASSERT_EQ(editor->loaded.size(), 2u);
    EXPECT_EQ(editor->loaded[1].key, "C4->ta");
    EXPECT_EQ(list->wavNameBox().text(), QStringLiteral("C4_ta.wav"));
    EXPECT_EQ(stored(folderA, "C4->ta"), nullptr) << "opened, not stored";
}

// The location box offers the project's WAV locations; a folder shown that the project does not
// list is added to it with one button, through the main window's project.
TEST_F(VoiceConfigList, TheLocationBoxOffersTheProjectsFoldersAndAddsTheShownOne)
{
    // The program's own build panel is open beside the list.
    list->close();
    settle();
    frame = makeFrame(true);
    auto project = std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>();
    project->wavLocations = {"B"}; // relative to the project file's folder
    currentProject().replaceModel(std::move(project), m_dir / "bank.lvtb");
    frame->commandAction(Cmd::kVoiceConfig)->trigger();
    list = frame->configurationList();
    ASSERT_NE(list, nullptr);
    frame->commandAction(Cmd::kBuildVoiceBank)->trigger();
    auto* panel = qobject_cast<CVbSettingPanelDlg*>(frame->buildPanel());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->locationList().rowCount(), 1);
    QComboBox& box = list->locationBox();
    QPushButton& add = list->addLocationButton();

    // Opening the box fills it from the project; picking an item shows that folder.
    QTest::keyClick(&box, Qt::Key_Down, Qt::AltModifier);
    ASSERT_EQ(box.count(), 1);
    EXPECT_EQ(box.itemText(0), qpath(folderB));
    EXPECT_TRUE(add.isEnabled()) << "folder A is not in the project";
    QAbstractItemView* items = box.view();
    QTest::mouseClick(items->viewport(), Qt::LeftButton, {}, items->visualRect(items->model()->index(0, 0)).center());
    EXPECT_EQ(list->wavFolder(), qpath(folderB));
    EXPECT_EQ(list->wavFolderBox().text(), qpath(folderB));
    EXPECT_FALSE(add.isEnabled()) << "already a location";

    // A folder typed into the box and confirmed with Enter is shown like a chosen one.
    QLineEdit& typed = list->wavFolderBox();
    typed.selectAll();
    QTest::keyClicks(&typed, qpath(folderA));
    QTest::keyClick(&typed, Qt::Key_Return);
    EXPECT_EQ(list->wavFolder(), qpath(folderA));
    EXPECT_EQ(list->table().rowCount(), 4);
    ASSERT_TRUE(add.isEnabled());
    EXPECT_FALSE(currentProject().isModified());

    click(QStringLiteral("Add to Project"));
    ASSERT_NE(currentProject().model(), nullptr);
    EXPECT_EQ(currentProject().model()->wavLocations, (std::vector<std::string>{"B", folderA.string()}));
    EXPECT_TRUE(currentProject().isModified());
    EXPECT_FALSE(add.isEnabled());
    ASSERT_EQ(panel->locationList().rowCount(), 2) << "the open build panel shows the new location";
    EXPECT_EQ(panel->locationList().item(1, 0)->text(), qpath(folderA));
    QTest::keyClick(&box, Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(box.count(), 2);
    EXPECT_EQ(box.itemText(1), qpath(folderA));
    QTest::keyClick(box.view(), Qt::Key_Escape);

    // Something typed that is no folder is refused; the list keeps its folder.
    typed.selectAll();
    QTest::keyClicks(&typed, qpath(m_dir / "nowhere"));
    scripted.answerMessage(Prompter::Answer::Ok);
    QTest::keyClick(&typed, Qt::Key_Return);
    EXPECT_EQ(scripted.prompts().back().text, qpath(m_dir / "nowhere") + QStringLiteral("\nis not a folder."));
    EXPECT_EQ(list->wavFolder(), qpath(folderA));
    EXPECT_EQ(typed.text(), qpath(folderA));
    EXPECT_TRUE(scripted.scriptDone());
}

// "Make Entries" previews what it will make at the list's pitch (the pitch can be changed there),
// makes nothing on Cancel, and on Ok makes the entries as lvtb entries scan does.
TEST_F(VoiceConfigListFiles, MakeEntriesPreviewsThenMakesAnEntryForEachFileThatNamesAUnit)
{
    lvtest::writeFile(folderA / "sa.wav", lvtest::WavBytes::mono16(lvtest::sine16(44100))); // C4->sa exists
    list->loadWavLocation(qpath(folderA));
    const auto before = lvtest::readFile(folderA / "voice.lvcfg");
    const auto rows = [](QTableWidget& table) {
        QStringList r;
        for (int row = 0; row < table.rowCount(); ++row) {
            QStringList cells;
            for (int c = 0; c < table.columnCount(); ++c) {
                cells << table.item(row, c)->text();
            }
            r << cells.join(QLatin1Char(' '));
        }
        return r;
    };
    const auto lines = [](QListWidget& list) {
        QStringList l;
        for (int i = 0; i < list.count(); ++i) {
            l << list.item(i)->text();
        }
        return l;
    };

    scripted.answerModal([&](QDialog& dialog) {
        auto& preview = dynamic_cast<CMakeEntriesDlg&>(dialog);
        EXPECT_EQ(preview.windowTitle(), QStringLiteral("Make Entries"));
        EXPECT_EQ(preview.pitchBox().text(), QStringLiteral("C4")) << "the pitch most entries have";
        EXPECT_EQ(rows(preview.toMake()), (QStringList{QStringLiteral("C4_ta.wav CV ta C4"), QStringLiteral("a_t.wav VX a_t C4")}));
        EXPECT_EQ(lines(preview.leftAlone()),
                  (QStringList{QStringLiteral("E4_br.wav: no unit of the dictionary at C4"),
                               QStringLiteral("sa.wav: C4 : sa has an entry already"),
                               QStringLiteral("zz.wav: no unit of the dictionary at C4")}));
        // Another pitch plans again.
        preview.pitchBox().selectAll();
        QTest::keyClicks(&preview.pitchBox(), QStringLiteral("E4"));
        EXPECT_EQ(rows(preview.toMake()), (QStringList{QStringLiteral("E4_br.wav INDIE br E4"), QStringLiteral("a_t.wav VX a_t E4"),
                                                      QStringLiteral("sa.wav CV sa E4")}));
        EXPECT_TRUE(preview.okButton().isEnabled());
        preview.pitchBox().selectAll();
        QTest::keyClick(&preview.pitchBox(), Qt::Key_Backspace);
        EXPECT_EQ(preview.toMake().rowCount(), 0);
        EXPECT_FALSE(preview.okButton().isEnabled()) << "no pitch, nothing to make";
        dialog.reject();
        return dialog.result();
    });
    click(QStringLiteral("Make Entries"));
    EXPECT_EQ(lvtest::readFile(folderA / "voice.lvcfg"), before) << "cancelled: nothing written";
    EXPECT_EQ(list->table().rowCount(), 9);

    scripted.answerModal([](QDialog& dialog) {
        auto& preview = dynamic_cast<CMakeEntriesDlg&>(dialog);
        EXPECT_EQ(preview.estimateBox().text(), QStringLiteral("with estimated markers"));
        EXPECT_TRUE(preview.estimateBox().isChecked()) << "on by default";
        QTest::mouseClick(&preview.estimateBox(), Qt::LeftButton);
        EXPECT_FALSE(preview.estimateBox().isChecked());
        QTest::mouseClick(&preview.okButton(), Qt::LeftButton);
        return dialog.result();
    });
    click(QStringLiteral("Make Entries"));
    EXPECT_TRUE(scripted.scriptDone());
    // Made with the editor's first markers: 0.2, 0.3, 0.7 and 0.8 of the one-second files.
    const auto ta = stored(folderA, "C4->ta");
    ASSERT_NE(ta, nullptr);
    EXPECT_EQ(ta->wavName, "C4_ta.wav");
    EXPECT_DOUBLE_EQ(static_cast<CTsVoiceCfg_CV&>(*ta).connectPoint, double(0.2f));
    EXPECT_DOUBLE_EQ(static_cast<CTsVoiceCfg_CV&>(*ta).vowelEnd, double(0.8f));
    const auto at = stored(folderA, "C4->a_t");
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at->srcType, "VX");
    EXPECT_DOUBLE_EQ(static_cast<CTsVoiceCfg_VC&>(*at).tailPoint, double(0.5f));
    EXPECT_EQ(stored(folderA, "C4->zz"), nullptr);
    // The new entries' rows follow the others; the files left alone stay grey below them.
    ASSERT_EQ(list->table().rowCount(), 9);
    EXPECT_EQ(numbers(), oneToN());
    EXPECT_EQ(files().mid(4), (QStringList{QStringLiteral("C4_ta.wav"), QStringLiteral("a_t.wav"), QStringLiteral("E4_br.wav"),
                                           QStringLiteral("sa.wav"), QStringLiteral("zz.wav")}));
    for (int row = 0; row < 9; ++row) {
        EXPECT_EQ(list->isFileRow(row), row >= 6) << row;
    }

    // With estimated markers (the box as it comes): a sung unit's entry gets the estimator's
    // proposal for its samples, background noise alone the first markers. Ok estimates on a
    // worker, with a progress bar, and the dialog closes when the markers are ready.
    const lvdemo::UnitPlan sa{"sa", "CV", {{lvdemo::Segment::Silence, "", 0.2}, {lvdemo::Segment::Frication, "s", 0.12}, {lvdemo::Segment::Vowel, "a", 0.5}, {lvdemo::Segment::Silence, "", 0.2}}, {}};
    const std::vector<std::int16_t> sung = lvtest::recordSungUnit(sa);
    lvtest::writeFile(folderA / "sa.wav", lvtest::WavBytes::mono16(sung));
    const lvdemo::UnitPlan quiet{"br", "INDIE", {{lvdemo::Segment::Silence, "", 0.8}}, {}};
    lvtest::writeFile(folderA / "E4_br.wav", lvtest::WavBytes::mono16(lvtest::recordSungUnit(quiet)));
    // Cancel while the estimates are made stops them, and nothing is made.
    const auto beforeEstimates = lvtest::readFile(folderA / "voice.lvcfg");
    scripted.answerModal([](QDialog& dialog) {
        auto& preview = dynamic_cast<CMakeEntriesDlg&>(dialog);
        preview.pitchBox().selectAll();
        QTest::keyClicks(&preview.pitchBox(), QStringLiteral("E4"));
        QTest::mouseClick(&preview.okButton(), Qt::LeftButton);
        EXPECT_TRUE(preview.estimating());
        QPushButton* cancel = nullptr;
        for (QPushButton* b : preview.findChildren<QPushButton*>()) {
            if (b->text() == QStringLiteral("Cancel")) {
                cancel = b;
            }
        }
        EXPECT_NE(cancel, nullptr);
        if (cancel != nullptr) {
            QTest::mouseClick(cancel, Qt::LeftButton);
        }
        EXPECT_FALSE(preview.estimating());
        EXPECT_FALSE(preview.progress().isVisibleTo(&preview));
        QCoreApplication::processEvents(); // the stopped run has ended: what it posted is dropped
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        return dialog.result();
    });
    click(QStringLiteral("Make Entries"));
    EXPECT_EQ(lvtest::readFile(folderA / "voice.lvcfg"), beforeEstimates);

    scripted.answerModal([](QDialog& dialog) {
        auto& preview = dynamic_cast<CMakeEntriesDlg&>(dialog);
        preview.pitchBox().selectAll();
        QTest::keyClicks(&preview.pitchBox(), QStringLiteral("E4"));
        EXPECT_TRUE(preview.estimateBox().isChecked());
        QTest::mouseClick(&preview.okButton(), Qt::LeftButton);
        // The estimates arrive as posted events: until the loop runs, the dialog shows its progress.
        EXPECT_TRUE(preview.estimating());
        EXPECT_TRUE(preview.progress().isVisibleTo(&preview));
        EXPECT_EQ(preview.progress().maximum(), 2);
        EXPECT_FALSE(preview.okButton().isEnabled());
        for (int i = 0; i < 400 && preview.estimating(); ++i) {
            QTest::qWait(25);
        }
        EXPECT_FALSE(preview.estimating()) << "the estimates did not arrive in 10 s";
        return dialog.result();
    });
    click(QStringLiteral("Make Entries"));
    EXPECT_TRUE(scripted.scriptDone());
    const std::vector<float> samples = lvtest::toFloat(sung);
    const auto proposal = TessarinEngineV6::estimateMarkers(samples.data(), samples.size(), 44100, "CV");
    ASSERT_TRUE(proposal);
    ASSERT_EQ(proposal->size(), 4u);
    const auto e4sa = stored(folderA, "E4->sa");
    ASSERT_NE(e4sa, nullptr);
    const auto& cv = static_cast<CTsVoiceCfg_CV&>(*e4sa);
    // Held as the editor holds markers: in single precision.
    const double made[] = {cv.connectPoint, cv.preutterance, cv.vowelStart, cv.vowelEnd};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(made[i], double(float((*proposal)[i]))) << "marker " << i;
    }
    const auto br = stored(folderA, "E4->br");
    ASSERT_NE(br, nullptr);
    EXPECT_DOUBLE_EQ(static_cast<CTsVoiceCfg_INDIE&>(*br).startPoint, double(0.2f * 0.8f)) << "no proposal: first markers";
    EXPECT_DOUBLE_EQ(static_cast<CTsVoiceCfg_INDIE&>(*br).endPoint, double(0.5f * 0.8f));
}

// "Check" runs the build's checks over the shown folder on a worker: the "Check" column fills with
// "pass" or the checker's message, and a double-click on a failing row opens it in the editor.
TEST_F(VoiceConfigList, CheckFillsTheVerdictColumnAndAFailingRowOpensInTheEditor)
{
    std::string error;
    const auto demo = lvdemo::writeDemoProject(m_dir / "demo", error, lvdemo::smallDemoOptions());
    ASSERT_TRUE(demo) << error;
    ASSERT_TRUE(currentProject().open(demo->projectFile));
    const std::filesystem::path folder = demo->wavLocations.at(0);
    {
        // A copy at a pitch that is no pitch name: the build refuses it.
        CTsVoiceCfgMgr mgr;
        ASSERT_EQ(mgr.loadFolder(folder), CTsVoiceCfgMgr::LoadStatus::Loaded);
        const CTsVoiceCfg* first = mgr.entries().front();
        ASSERT_EQ(::copyEntry(mgr, entryKey(*first), "zz", "H4"), EntryUpdate::Done);
    }
    list->loadWavLocation(qpath(folder));
    QTableWidget& table = list->table();
    const int rows = table.rowCount();
    ASSERT_GT(rows, 2);
    EXPECT_EQ(table.horizontalHeaderItem(CTsOtoSetingDlg::kColVerdict)->text(), QStringLiteral("Check"));

    // Pressed again while it runs, the button stops it; what the stopped run still sends is dropped.
    click(QStringLiteral("Check"));
    EXPECT_TRUE(list->checkRunning());
    click(QStringLiteral("Stop"));
    EXPECT_FALSE(list->checkRunning());
    EXPECT_FALSE(list->checkProgress().isVisibleTo(list));
    settle();
    for (int row = 0; row < rows; ++row) {
        EXPECT_TRUE(cell(row, CTsOtoSetingDlg::kColVerdict).isEmpty()) << row;
    }

    click(QStringLiteral("Check"));
    EXPECT_TRUE(list->checkRunning());
    EXPECT_TRUE(list->checkProgress().isVisibleTo(list));
    for (int i = 0; i < 1200 && list->checkRunning(); ++i) {
        QTest::qWait(25); // the window's event loop runs: verdicts arrive as posted events
    }
    ASSERT_FALSE(list->checkRunning()) << "the check did not finish in 30 s";
    EXPECT_FALSE(list->checkProgress().isVisibleTo(list));
    int failing = -1;
    for (int row = 0; row < rows; ++row) {
        const QString verdict = cell(row, CTsOtoSetingDlg::kColVerdict);
        if (cell(row, CTsOtoSetingDlg::kColSymbol) == QStringLiteral("zz")) {
            failing = row;
            EXPECT_EQ(verdict, QStringLiteral("Pitch symbol error."));
        } else {
            EXPECT_EQ(verdict, QStringLiteral("pass")) << cell(row, CTsOtoSetingDlg::kColSymbol).toStdString();
        }
    }
    ASSERT_GE(failing, 0);
    EXPECT_NE(table.item(failing, CTsOtoSetingDlg::kColVerdict)->foreground().color(),
              table.item(failing == 0 ? 1 : 0, CTsOtoSetingDlg::kColVerdict)->foreground().color());

    // A passing row only fills the form; the failing one opens.
    doubleClickRow(failing == 0 ? 1 : 0);
    EXPECT_TRUE(editor.isNull());
    doubleClickRow(failing);
    ASSERT_FALSE(editor.isNull());
    ASSERT_EQ(editor->loaded.size(), 1u);
    EXPECT_EQ(editor->loaded[0].key, "H4->zz");
    EXPECT_EQ(editor->loaded[0].folder, qpath(folder));

    // Another folder shows no verdicts of this one.
    list->loadWavLocation(qpath(folderA));
    EXPECT_TRUE(cell(0, CTsOtoSetingDlg::kColVerdict).isEmpty());
}
