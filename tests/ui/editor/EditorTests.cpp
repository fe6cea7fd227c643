// The wave annotation editor as a window: loading, keys, mouse, playback feedback, storing and the
// history of marker moves. It runs offscreen over a simulated audio device, with a scripted prompter
// and a receiver standing in for the main window.

#include "ScriptedPrompter.h"
#include "audio/PortAudioLibrary.h"
#include "core/MillisecondClock.h"
#include "audio/WavWriter.h"
#include "support/SimulatedAudioDevice.h"
#include "support/WavBytes.h"
#include "support/TestSupport.h"
#include "ui/toolkit/CUIBoard.h"
#include "ui/editor/CWavMgrDlg.h"
#include "ui/editor/CWavMgrView.h"
#include "ui/toolkit/Messages.h"
#include "ui/editor/UISignalNames.h"

#include <QCoreApplication>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

using namespace TessarinEditor;

namespace {

struct Received {
    int type = 0;
    std::unique_ptr<CTsVoiceCfg> entry;
    QString folder;
    int flag = 0;
};

// Stands in for the main window: records the editor's messages.
class MessageLog : public QObject {
public:
    std::vector<Received> received;

    bool event(QEvent* e) override
    {
        const int t = int(e->type());
        if (t == Msg::kStoreEntry || t == Msg::kMoveToNeighbour || t == Msg::kStoreAndNext) {
            auto* entryEvent = static_cast<EntryEvent*>(e);
            received.push_back({t, entryEvent->entry->clone(), entryEvent->wavFolder, entryEvent->flag});
            return true;
        }
        if (t == Msg::kWaveEditor) {
            received.push_back({t, nullptr, {}, static_cast<ToolWindowEvent*>(e)->flag});
            return true;
        }
        return QObject::event(e);
    }
};

void writeTone(const std::filesystem::path& path, float seconds)
{
    std::vector<float> samples(std::size_t(seconds * 44100.0f));
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = 0.5f * std::sin(float(i) * 2.0f * 3.14159265f * 220.0f / 44100.0f);
    }
    ASSERT_TRUE(writeWav16(path, samples));
}

class Editor : public ::testing::Test {
protected:
    Editor() : sink(std::tmpfile()), library(device, sink), scope(prompts)
    {
        writeTone(dir / "a.wav", 2.0f);
        writeTone(dir / "b.wav", 3.0f);
        folder = QString::fromStdString(dir.path().string());
        dlg = std::make_unique<CWavMgrDlg>(nullptr, library);
        dlg->setMessageReceiver(&log);
        dlg->resize(960, 640);
        dlg->board().resize(960, 640);
        dlg->board().relayout();
    }
    ~Editor() override
    {
        dlg.reset();
        std::fclose(sink);
    }

    static CTsVoiceCfg_CV cvEntry(const char* wav, double cp = 0.0, double pp = 0.0, double vsp = 0.0, double vep = 0.0)
    {
        CTsVoiceCfg_CV e;
        e.wavName = wav;
        e.pitch = "C4";
        e.symbol = "ka";
        e.connectPoint = cp;
        e.preutterance = pp;
        e.vowelStart = vsp;
        e.vowelEnd = vep;
        return e;
    }

    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QKeyEvent press(QEvent::KeyPress, k, mods);
        QCoreApplication::sendEvent(&dlg->board(), &press);
    }

    UIMessage at(UIMessageKind kind, int x, int y, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        UIMessage m;
        m.kind = kind;
        m.x = x;
        m.y = y;
        m.modifiers = mods;
        m.buttons = kind == UIMessageKind::LeftUp ? Qt::NoButton : Qt::LeftButton;
        return m;
    }

    // Drags marker label i (or the play handle for -1) horizontally by the given pixel steps.
    void dragLabel(int i, std::initializer_list<int> steps, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        CTagMgrView& layer = dlg->view().markers();
        CUIButton* b = i < 0 ? static_cast<CUIButton*>(layer.playHandle()) : layer.labels()[std::size_t(i)];
        const UIRect r = b->viewRect();
        int x = (r.left + r.right) / 2;
        const int y = (r.top + r.bottom) / 2;
        CUIBoard& board = dlg->board();
        board.routeMessage(at(UIMessageKind::LeftDown, x, y, mods));
        for (int dx : steps) {
            x += dx;
            board.routeMessage(at(UIMessageKind::MouseMove, x, y, mods));
        }
        board.routeMessage(at(UIMessageKind::LeftUp, x, y, mods));
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x, y), QPointF(x, y), Qt::LeftButton, Qt::NoButton, mods);
        QCoreApplication::sendEvent(&dlg->board(), &release);
    }

    std::vector<float> markers() { return dlg->tagSet().positions(); }

    lvtest::TempDir dir;
    lvtest::SimulatedAudioDevice device;
    std::FILE* sink;
    PortAudioLibrary library;
    lvtest::ScriptedPrompter prompts;
    PrompterScope scope;
    MessageLog log;
    QString folder;
    std::unique_ptr<CWavMgrDlg> dlg;
};

} // namespace

TEST_F(Editor, LoadingPlacesDefaultMarkersAndASecondEntryOfTheSameFileKeepsItLoaded)
{
    // As the main window opens an entry: message 8589.
    EntryEvent edit(Msg::kEditEntry, cvEntry("a.wav"), folder);
    QCoreApplication::sendEvent(dlg.get(), &edit);
    ASSERT_EQ(dlg->kindShown(), CTsVoiceCfg::kCV);
    ASSERT_NEAR(dlg->wavData().duration, 2.0f, 1e-6f);
    EXPECT_NEAR(dlg->tagSet().playCursor.position, 0.2f, 1e-6f);
    const std::vector<float> expected{0.4f, 0.6f, 1.4f, 1.6f};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(markers()[i], expected[i], 1e-6f);
    }
    EXPECT_EQ(dlg->infoLine(), QStringLiteral("Type=CV   C4:ka        ") + folder + QStringLiteral("/a.wav"));

    // Zoomed in, the file removed: a second entry of that file and kind does not read it again
    // (no message, same samples, same view); without stored markers they go into the visible range.
    const float* samples = dlg->wavData().samples.data();
    WavZoomArgument zoom{1.0f, 2};
    dlg->onSignal("zoomInWav", &zoom, nullptr);
    const float start = dlg->wavData().viewStart, length = dlg->wavData().viewLength;
    std::filesystem::remove(dir / "a.wav");
    auto second = cvEntry("a.wav");
    second.symbol = "ki";
    dlg->loadCVEntry(second, folder);
    EXPECT_TRUE(prompts.prompts().empty());
    EXPECT_EQ(dlg->wavData().samples.data(), samples);
    EXPECT_EQ(dlg->wavData().viewStart, start);
    EXPECT_EQ(dlg->wavData().viewLength, length);
    EXPECT_NEAR(markers()[0], start + 0.2f * length, 1e-6f);
    EXPECT_NEAR(markers()[3], start + 0.8f * length, 1e-6f);
    // Another kind on the same file: its own markers, also in the visible range.
    CTsVoiceCfg_VC vx;
    vx.wavName = "a.wav";
    dlg->loadVXEntry(vx, folder);
    EXPECT_TRUE(prompts.prompts().empty());
    ASSERT_EQ(markers().size(), 2u);
    EXPECT_NEAR(markers()[0], start + 0.2f * length, 1e-6f);
    EXPECT_NEAR(markers()[1], start + 0.7f * length, 1e-6f);

    // Stored markers win, the play cursor goes 0.1 s before the first, and the view pans to put it
    // at a third (here held at the end of the file).
    dlg->loadCVEntry(cvEntry("a.wav", 1.7, 1.75, 1.8, 1.9), folder);
    EXPECT_NEAR(markers()[0], 1.7f, 1e-6f);
    EXPECT_NEAR(dlg->tagSet().playCursor.position, 1.6f, 1e-6f);
    EXPECT_NEAR(dlg->wavData().viewStart, 2.0f - length, 1e-5f);
    dlg->loadCVEntry(cvEntry("a.wav", 0.1, 0.2, 0.3, 0.4), folder);
    EXPECT_NEAR(dlg->wavData().viewStart, 0.0f, 1e-6f);
    dlg->loadCVEntry(cvEntry("a.wav", 1.2, 1.3, 1.4, 1.45), folder);
    EXPECT_NEAR(dlg->wavData().viewStart, 1.2f - length / 3.0f, 1e-5f);

    // Another file that does not exist: the message, and an empty wave model.
    prompts.answerMessage(Prompter::Answer::Ok);
    dlg->loadCVEntry(cvEntry("missing.wav"), folder);
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].text, folder + QStringLiteral("/missing.wav not exists !"));
    EXPECT_EQ(dlg->wavData().duration, 0.0f);

    // A recording too long to edit (2 GiB, sparse: 24347 s) is refused before it is read, with the limit.
    const std::filesystem::path longTake = std::filesystem::path(folder.toStdString()) / "long.wav";
    std::vector<std::uint8_t> header =
        lvtest::WavBytes().fmt({}).chunkDeclaring("data", {}, std::uint32_t((std::uint64_t(1) << 31) - 44)).bytes();
    header.resize(44);
    lvtest::writeFile(longTake, header);
    std::filesystem::resize_file(longTake, std::uint64_t(1) << 31);
    prompts.answerMessage(Prompter::Answer::Ok);
    dlg->loadCVEntry(cvEntry("long.wav"), folder);
    ASSERT_EQ(prompts.prompts().size(), 2u);
    EXPECT_EQ(prompts.prompts()[1].text,
              folder + QStringLiteral("/long.wav\nThe recording is 405 min 47 s long; the wave editor opens recordings "
                                      "of up to 30 minutes. Cut it into shorter takes to mark them."));
    EXPECT_EQ(dlg->wavData().duration, 0.0f);
    EXPECT_EQ(dlg->wavData().raw.sampleCount(), 0u) << "nothing of it was read";
    std::filesystem::remove(longTake);
}

TEST_F(Editor, NumberKeysMoveTheirMarkerToThePlayCursorWhereTheKindHasOne)
{
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    float time = 0.75f;
    dlg->onSignal("movePlayPos", &time, nullptr);
    key(Qt::Key_2);
    EXPECT_EQ(markers(), (std::vector<float>{0.5f, 0.75f, 0.9f, 1.2f}));
    key(Qt::Key_5);
    EXPECT_EQ(markers(), (std::vector<float>{0.5f, 0.75f, 0.9f, 1.2f}));
    key(Qt::Key_4, Qt::KeypadModifier);
    EXPECT_EQ(markers(), (std::vector<float>{0.5f, 0.75f, 0.9f, 0.75f}));

    CTsVoiceCfg_INDIE indie;
    indie.wavName = "b.wav";
    indie.startPoint = 0.3;
    indie.endPoint = 0.9;
    dlg->loadINDIEEntry(indie, folder);
    dlg->tagSet().playCursor.position = 2.0f;
    key(Qt::Key_3);
    EXPECT_EQ(markers(), (std::vector<float>{0.3f, 0.9f}));
    key(Qt::Key_2);
    EXPECT_EQ(markers(), (std::vector<float>{0.3f, 2.0f}));
}

TEST_F(Editor, StoringChecksOrderThenMarginsAndSendsOnlyARightEntry)
{
    // No file: the message, nothing sent.
    prompts.answerMessage(Prompter::Answer::Ok);
    dlg->storeEntry(false);
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].text, QStringLiteral("Wav data not exists !"));
    EXPECT_EQ(prompts.prompts()[0].icon, Prompter::Icon::Error);

    // PP equal to CP: the order message (checked before the margins, here also wrong).
    dlg->loadCVEntry(cvEntry("a.wav", 0.05, 0.05, 0.9, 1.2), folder);
    prompts.answerMessage(Prompter::Answer::Ok);
    dlg->storeEntry(false);
    EXPECT_EQ(prompts.prompts().back().text, QStringLiteral("The order of markers is wrong..."));
    // CP at 0.05 s: the margin message; VEP within 0.06 s of the end too.
    dlg->tagSet().markers[1]->position = 0.5f;
    prompts.answerMessage(Prompter::Answer::Ok);
    dlg->storeEntry(false);
    EXPECT_EQ(prompts.prompts().back().text, QStringLiteral("Markers should not in the margin ..."));
    dlg->tagSet().markers[0]->position = 0.1f;
    dlg->tagSet().markers[3]->position = 1.95f;
    prompts.answerMessage(Prompter::Answer::Ok);
    dlg->storeEntry(false);
    EXPECT_EQ(prompts.prompts().back().text, QStringLiteral("Markers should not in the margin ..."));
    EXPECT_TRUE(log.received.empty());
    EXPECT_EQ(markers(), (std::vector<float>{0.1f, 0.5f, 0.9f, 1.95f})); // nothing moved

    // Right: 8588 with the markers and the folder.
    dlg->tagSet().markers[3]->position = 1.5f;
    dlg->storeEntry(false);
    ASSERT_EQ(log.received.size(), 1u);
    EXPECT_EQ(log.received[0].type, Msg::kStoreEntry);
    EXPECT_EQ(log.received[0].folder, folder);
    const auto* stored = dynamic_cast<const CTsVoiceCfg_CV*>(log.received[0].entry.get());
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->connectPoint, double(0.1f));
    EXPECT_EQ(stored->vowelEnd, double(1.5f));
    EXPECT_EQ(stored->symbol, "ka");

    // VX: the end before the start.
    CTsVoiceCfg_VC vx;
    vx.wavName = "b.wav";
    vx.connectPoint = 1.0;
    vx.tailPoint = 0.9;
    dlg->loadVXEntry(vx, folder);
    prompts.answerMessage(Prompter::Answer::Ok);
    dlg->storeEntry(false);
    EXPECT_EQ(prompts.prompts().back().text, QStringLiteral("The order of markers is wrong..."));
    EXPECT_EQ(log.received.size(), 1u);
    EXPECT_TRUE(prompts.scriptDone());
}

TEST_F(Editor, TabStoresAndAsksForTheNextEntryUpAndDownMoveWithoutStoring)
{
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    dlg->tagSet().playCursor.position = 0.7f;
    key(Qt::Key_2);
    key(Qt::Key_Tab);
    ASSERT_EQ(log.received.size(), 1u);
    EXPECT_EQ(log.received[0].type, Msg::kStoreAndNext);
    EXPECT_EQ(dynamic_cast<const CTsVoiceCfg_CV&>(*log.received[0].entry).preutterance, double(0.7f));

    // Up and Down: 8593 with the preceding (flag 1) or following (flag 0) entry; not stored, so the
    // entry as it was loaded... after the store above, the stored one.
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    dlg->tagSet().playCursor.position = 0.8f;
    key(Qt::Key_2);
    key(Qt::Key_Up);
    key(Qt::Key_Down);
    ASSERT_EQ(log.received.size(), 3u);
    EXPECT_EQ(log.received[1].type, Msg::kMoveToNeighbour);
    EXPECT_EQ(log.received[1].flag, 1);
    EXPECT_EQ(log.received[2].flag, 0);
    EXPECT_EQ(dynamic_cast<const CTsVoiceCfg_CV&>(*log.received[2].entry).preutterance, 0.6);

    // The panel's buttons: store, following, preceding.
    CWavMgrFloatPanel& panel = dlg->view().panel();
    EXPECT_EQ(panel.viewRect(), (UIRect{20, 90, 140, 132}));
    for (CUIButton* b : {static_cast<CUIButton*>(&panel.storeButton()), static_cast<CUIButton*>(&panel.downButton()),
                         static_cast<CUIButton*>(&panel.upButton())}) {
        const UIRect r = b->viewRect();
        dlg->board().routeMessage(at(UIMessageKind::LeftDown, r.left + 5, r.top + 5));
        dlg->board().routeMessage(at(UIMessageKind::LeftUp, r.left + 5, r.top + 5));
    }
    ASSERT_EQ(log.received.size(), 6u);
    EXPECT_EQ(log.received[3].type, Msg::kStoreEntry);
    EXPECT_EQ(log.received[4].flag, 0);
    EXPECT_EQ(log.received[5].flag, 1);

    dlg->close();
    ASSERT_EQ(log.received.size(), 7u);
    EXPECT_EQ(log.received[6].type, Msg::kWaveEditor);
    EXPECT_EQ(log.received[6].flag, 1);
}

TEST_F(Editor, DraggedMarkersStayInsideTheFileAndAreAuditionedOnlyWhileTheFileIsNotPlaying)
{
    // The clip player drops requests closer than 25 ms: every drag here comes a second later.
    Tessarin::ManualMillisecondClock clock(1000);
    Tessarin::ScopedProcessClock useClock(clock);
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    dlg->board().relayout();
    // Far past 0: held at 0, and the clip player auditions it.
    dragLabel(0, {-50, -400, -400});
    EXPECT_EQ(markers()[0], 0.0f);
    EXPECT_TRUE(dlg->clipPlayer().isActive());
    // With Ctrl every marker moves (each held), the play cursor does not.
    const float cursor = dlg->tagSet().playCursor.position;
    clock.advance(1000);
    dragLabel(2, {-100}, Qt::ControlModifier);
    EXPECT_EQ(markers()[0], 0.0f);
    EXPECT_LT(markers()[3], 1.2f);
    EXPECT_EQ(dlg->tagSet().playCursor.position, cursor);

    // Space plays from the play cursor; a drag now is not auditioned and clicks leave the cursor.
    key(Qt::Key_Space);
    ASSERT_TRUE(dlg->isFilePlaying());
    EXPECT_FALSE(dlg->clipPlayer().isActive());
    const float before = markers()[1];
    clock.advance(1000);
    dragLabel(1, {30});
    EXPECT_GT(markers()[1], before);
    EXPECT_FALSE(dlg->clipPlayer().isActive());
    const UIRect wave = dlg->view().waveform().viewRect();
    dlg->board().routeMessage(at(UIMessageKind::LeftDown, wave.left + 300, wave.bottom - 5));
    dlg->board().routeMessage(at(UIMessageKind::LeftUp, wave.left + 300, wave.bottom - 5));
    EXPECT_EQ(dlg->tagSet().playCursor.position, cursor);

    // Feedback: reports closer than 0.03 s to the last are dropped; the cursor follows the rest.
    dlg->progress(0.02);
    dlg->progress(0.5);
    dlg->progress(0.52);
    QCoreApplication::sendPostedEvents(dlg.get());
    EXPECT_NEAR(dlg->tagSet().playCursor.position, cursor + 0.5f, 1e-6f);
    // Past the visible range the view pages on by one view length.
    WavZoomArgument zoom{0.0f, 4};
    dlg->onSignal("zoomInWav", &zoom, nullptr);
    const float length = dlg->wavData().viewLength;
    dlg->progress(0.55);
    QCoreApplication::sendPostedEvents(dlg.get());
    EXPECT_NEAR(dlg->wavData().viewStart, length, 1e-6f);
    // The end: the cursor held at the duration, the player stopped.
    dlg->finished(5.0);
    QCoreApplication::sendPostedEvents(dlg.get());
    EXPECT_FALSE(dlg->isFilePlaying());
    EXPECT_EQ(dlg->tagSet().playCursor.position, 2.0f);

    // A click now moves the play cursor to the time under the pointer.
    float toStart = -5.0f;
    dlg->onSignal("offsetDispArea", &toStart, nullptr);
    ASSERT_EQ(dlg->wavData().viewStart, 0.0f);
    zoom.steps = 20;
    zoom.anchorTime = 0.1f;
    dlg->onSignal("zoomOutWav", &zoom, nullptr);
    ASSERT_EQ(dlg->wavData().viewLength, 2.0f);
    dlg->board().routeMessage(at(UIMessageKind::LeftDown, wave.left + wave.width() / 2, wave.top + 5));
    EXPECT_NEAR(dlg->tagSet().playCursor.position, 1.0f, 2.0f / float(wave.width()));
}

TEST_F(Editor, UndoAndRedoWalkThroughSeveralDragsOfTheLoadedEntry)
{
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    dlg->board().relayout();
    const std::vector<float> start = markers();
    dragLabel(0, {10, 10, 10});
    const std::vector<float> afterFirst = markers();
    ASSERT_NE(afterFirst, start);
    dragLabel(3, {-20, -20});
    const std::vector<float> afterSecond = markers();
    ASSERT_NE(afterSecond, afterFirst);
    dlg->tagSet().playCursor.position = 1.0f;
    key(Qt::Key_3);
    const std::vector<float> afterKey = markers();

    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers(), afterSecond);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers(), afterFirst); // one drag of several moves is one step
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers(), start);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers(), start);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(markers(), afterFirst);
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(markers(), afterSecond);
    key(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(markers(), afterKey);

    // Storing is not undone, and another entry starts a history of its own.
    dlg->storeEntry(false);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers(), afterSecond);
    EXPECT_EQ(log.received.size(), 1u);
    dlg->loadCVEntry(cvEntry("b.wav", 0.5, 0.6, 0.9, 1.2), folder);
    key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers(), start);
}

TEST(EditorLayout, TheTableAndThePanelKeptInsideTheWindow)
{
    const WavMgrLayout l = wavMgrLayout(960, 640);
    // M = 80 + (630 − 80) ÷ 2 = 355.
    EXPECT_EQ(l.overview, (UIRect{10, 10, 950, 46}));
    EXPECT_EQ(l.timeRuler, (UIRect{10, 56, 912, 80}));
    EXPECT_EQ(l.waveform, (UIRect{10, 80, 912, 355}));
    EXPECT_EQ(l.ampRuler, (UIRect{912, 80, 950, 355}));
    EXPECT_EQ(l.spectrogram, (UIRect{10, 357, 912, 630}));
    EXPECT_EQ(l.freqRuler, (UIRect{912, 357, 950, 630}));
    EXPECT_EQ(l.markers, (UIRect{10, 65, 912, 630}));
    EXPECT_EQ(wavMgrLayout(960, 641).waveform.bottom, 355);
    // Left half: the left edge may not pass 0; right half: the right edge may not pass the width.
    EXPECT_EQ(keepPanelInside({-30, 10, 90, 52}, 600, 500), (UIRect{0, 10, 120, 52}));
    EXPECT_EQ(keepPanelInside({550, 470, 670, 512}, 600, 500), (UIRect{480, 458, 600, 500}));
    EXPECT_EQ(keepPanelInside({200, 100, 320, 142}, 600, 500), (UIRect{200, 100, 320, 142}));
}
