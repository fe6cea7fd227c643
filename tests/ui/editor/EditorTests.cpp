// The wave annotation editor as a window: loading, keys, mouse, playback feedback, storing and the
// history of marker moves. It runs offscreen over a simulated audio device, with a scripted prompter
// and a receiver standing in for the main window.

#include "ScriptedPrompter.h"
#include "audio/PortAudioLibrary.h"
#include "core/MillisecondClock.h"
#include "model/CAppConfigModel.h"
#include "audio/WavWriter.h"
#include "engine/MarkerEstimator.h"
#include "support/SimulatedAudioDevice.h"
#include "support/SyntheticVoice.h"
#include "support/SungUnits.h"
#include "support/WavBytes.h"
#include "support/TestSupport.h"
#include "ui/toolkit/CUIBoard.h"
#include "ui/editor/CWavMgrDlg.h"
#include "ui/editor/CWavMgrView.h"
#include "ui/toolkit/Messages.h"
#include "ui/editor/UISignalNames.h"
#include "ui/editor/WavViewRange.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
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

    // The window shown, so that QTest's mouse and key events reach it as a user's would.
    void showWindow()
    {
        dlg->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        dlg->board().relayout();
    }

    QPoint labelCentre(int i)
    {
        const UIRect r = dlg->view().markers().labels()[std::size_t(i)]->viewRect();
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    // A real drag: press at from, move through every x of path (same height), release at the last.
    void mouseDrag(QPoint from, std::initializer_list<int> path, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QWidget* board = &dlg->board();
        QTest::mouseMove(board, from);
        QTest::mousePress(board, Qt::LeftButton, mods, from);
        QPoint at = from;
        for (int x : path) {
            at.setX(x);
            QTest::mouseEvent(QTest::MouseMove, board, Qt::NoButton, mods, at);
        }
        QTest::mouseRelease(board, Qt::LeftButton, mods, at);
        ASSERT_EQ(QGuiApplication::mouseButtons(), Qt::NoButton);
    }

    void click(CUIButton& button)
    {
        const UIRect r = button.viewRect();
        QTest::mouseClick(&dlg->board(), Qt::LeftButton, Qt::NoModifier, QPoint(r.left + 5, r.top + 5));
    }

    // The layer's pixel of time t, and one pixel in seconds, for the visible range.
    int pixelOf(float t)
    {
        const UIRect r = dlg->view().markers().viewRect();
        return timeToPixel(dlg->wavData(), t, r.left, r.width());
    }
    float pixelSeconds() { return dlg->wavData().viewLength / float(dlg->view().markers().viewRect().width()); }

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
    const std::int16_t* samples = dlg->wavData().pcm.data();
    WavZoomArgument zoom{1.0f, 2};
    dlg->onSignal("zoomInWav", &zoom, nullptr);
    const float start = dlg->wavData().viewStart, length = dlg->wavData().viewLength;
    std::filesystem::remove(dir / "a.wav");
    auto second = cvEntry("a.wav");
    second.symbol = "ki";
    dlg->loadCVEntry(second, folder);
    EXPECT_TRUE(prompts.prompts().empty());
    EXPECT_EQ(dlg->wavData().pcm.data(), samples);
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
    EXPECT_TRUE(dlg->wavData().pcm.empty()) << "nothing of it was read";
    std::filesystem::remove(longTake);

    // A recording in another format: the format message, and on its second line what the file is.
    lvtest::WavBytes::Format studio;
    studio.sampleRate = 48000;
    studio.channels = 2;
    lvtest::writeFile(std::filesystem::path(folder.toStdString()) / "ka.wav",
                      lvtest::WavBytes().fmt(studio).data16(std::vector<std::int16_t>(9600)).bytes());
    prompts.answerMessage(Prompter::Answer::Ok);
    dlg->loadCVEntry(cvEntry("ka.wav"), folder);
    ASSERT_EQ(prompts.prompts().size(), 3u);
    EXPECT_EQ(prompts.prompts()[2].text,
              QStringLiteral("Wav format error! Format must be 44100Hz 16bit mono.\nka.wav: 48000 Hz, 16-bit, stereo"));
    EXPECT_EQ(dlg->wavData().duration, 0.0f);
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
    EXPECT_EQ(prompts.prompts().back().text, QStringLiteral("The order of markers is wrong...\n1.CP must lie before 2.PP."));
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

    // Every pair of a CV entry out of order (the rule: CP < PP < VSP < VEP, strict), margins right:
    // refused with the order message and nothing sent, markers left where they are.
    const std::vector<std::vector<float>> outOfOrder{
        {0.5f, 0.5f, 0.9f, 1.2f},  // PP equal to CP
        {0.6f, 0.5f, 0.9f, 1.2f},  // PP before CP
        {0.5f, 0.9f, 0.9f, 1.2f},  // PP equal to VSP
        {0.5f, 1.0f, 0.9f, 1.2f},  // PP after VSP
        {0.5f, 0.6f, 0.9f, 0.9f},  // VEP equal to VSP
        {0.5f, 0.6f, 0.9f, 0.7f},  // VEP before VSP, after PP
        {0.5f, 0.6f, 0.9f, 0.55f}, // VEP before PP, after CP
        {0.5f, 0.6f, 0.9f, 0.4f},  // VEP before CP
        {1.0f, 0.6f, 0.9f, 1.2f},  // CP after PP and VSP
    };
    // The second line names the first pair out of order.
    const char* const pairs[] = {"1.CP must lie before 2.PP.",  "1.CP must lie before 2.PP.",
                                 "2.PP must lie before 3.VSP.", "2.PP must lie before 3.VSP.",
                                 "3.VSP must lie before 4.VEP.", "3.VSP must lie before 4.VEP.",
                                 "3.VSP must lie before 4.VEP.", "3.VSP must lie before 4.VEP.",
                                 "1.CP must lie before 2.PP."};
    static_assert(std::size(pairs) == 9);
    for (std::size_t c = 0; c < outOfOrder.size(); ++c) {
        const std::vector<float>& p = outOfOrder[c];
        dlg->tagSet().setPositions(p);
        prompts.answerMessage(Prompter::Answer::Ok);
        EXPECT_FALSE(dlg->storeEntry(false));
        EXPECT_EQ(prompts.prompts().back().text,
                  QStringLiteral("The order of markers is wrong...\n") + QString::fromLatin1(pairs[c]))
            << p[0] << ' ' << p[1] << ' ' << p[2] << ' ' << p[3];
        EXPECT_EQ(markers(), p);
    }
    EXPECT_EQ(log.received.size(), 1u);

    // VX and INDIE (b.wav, 3 s): the end before or at the start is out of order; the start at or
    // within 0.06 s and the end at or within 0.06 s of the end are in the margin; just inside both
    // is stored.
    const float d = 3.0f;
    const float lastRight = std::nextafter(d - 0.06f, 0.0f);
    const float firstRight = std::nextafter(0.06f, 1.0f);
    CTsVoiceCfg_VC vx;
    vx.wavName = "b.wav";
    vx.connectPoint = 1.0;
    vx.tailPoint = 2.0;
    CTsVoiceCfg_INDIE indie;
    indie.wavName = "b.wav";
    indie.startPoint = 1.0;
    indie.endPoint = 2.0;
    std::size_t sent = log.received.size();
    for (const CTsVoiceCfg* entry : {static_cast<const CTsVoiceCfg*>(&vx), static_cast<const CTsVoiceCfg*>(&indie)}) {
        ASSERT_TRUE(dlg->loadEntry(*entry, folder));
        ASSERT_EQ(dlg->wavData().duration, d);
        const struct {
            std::vector<float> p;
            const char* message;
        } cases[] = {
            {{1.0f, 0.9f}, "The order of markers is wrong..."},
            {{1.0f, 1.0f}, "The order of markers is wrong..."},
            {{0.06f, 2.0f}, "Markers should not in the margin ..."},
            {{1.0f, d - 0.06f}, "Markers should not in the margin ..."},
            {{1.0f, 2.99f}, "Markers should not in the margin ..."},
            {{1.0f, d}, "Markers should not in the margin ..."},
            {{0.0f, 2.0f}, "Markers should not in the margin ..."},
        };
        for (const auto& c : cases) {
            dlg->tagSet().setPositions(c.p);
            prompts.answerMessage(Prompter::Answer::Ok);
            EXPECT_FALSE(dlg->storeEntry(false));
            EXPECT_EQ(prompts.prompts().back().text.section(QLatin1Char('\n'), 0, 0), QString::fromLatin1(c.message))
                << entry->kind() << ' ' << c.p[0] << ' ' << c.p[1];
        }
        EXPECT_EQ(log.received.size(), sent);
        dlg->tagSet().setPositions(std::vector<float>{firstRight, lastRight});
        EXPECT_TRUE(dlg->storeEntry(false));
        ASSERT_EQ(log.received.size(), ++sent);
        EXPECT_EQ(log.received.back().entry->kind(), entry->kind());
        EXPECT_EQ(entryMarkerTimes(*log.received.back().entry), (std::vector<float>{firstRight, lastRight}));
    }
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

    // Up and Down: 8593 with the preceding (flag 1) or following (flag 0) entry; the moved marker
    // not stored (answered No), so the entry as it was loaded.
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    dlg->tagSet().playCursor.position = 0.8f;
    key(Qt::Key_2);
    prompts.answerMessage(Prompter::Answer::No);
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
    // The table over the client area less the time strip (34 pixels and a 2-pixel gap above the
    // bottom inset): B = 630 − 36 = 594, M = 80 + (594 − 80) ÷ 2 = 337.
    EXPECT_EQ(l.overview, (UIRect{10, 10, 950, 46}));
    EXPECT_EQ(l.timeRuler, (UIRect{10, 56, 912, 80}));
    EXPECT_EQ(l.waveform, (UIRect{10, 80, 912, 337}));
    EXPECT_EQ(l.ampRuler, (UIRect{912, 80, 950, 337}));
    EXPECT_EQ(l.spectrogram, (UIRect{10, 339, 912, 594}));
    EXPECT_EQ(l.freqRuler, (UIRect{912, 339, 950, 594}));
    EXPECT_EQ(l.markers, (UIRect{10, 65, 912, 594}));
    EXPECT_EQ(l.timeStrip, (UIRect{10, 596, 950, 630}));
    EXPECT_EQ(wavMgrLayout(960, 641).waveform.bottom, 337);
    // Left half: the left edge may not pass 0; right half: the right edge may not pass the width.
    EXPECT_EQ(keepPanelInside({-30, 10, 90, 52}, 600, 500), (UIRect{0, 10, 120, 52}));
    EXPECT_EQ(keepPanelInside({550, 470, 670, 512}, 600, 500), (UIRect{480, 458, 600, 500}));
    EXPECT_EQ(keepPanelInside({200, 100, 320, 142}, 600, 500), (UIRect{200, 100, 320, 142}));
}

TEST_F(Editor, LeavingAnEntryWithMovedMarkersAsksToStoreThemAndARefusedStoreStays)
{
    Tessarin::ManualMillisecondClock clock(1000);
    Tessarin::ScopedProcessClock useClock(clock);
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    showWindow();
    const std::vector<float> loaded = markers();
    const QString question = QStringLiteral("Store the changes to C4:ka?");

    // Nothing moved: Up goes at once.
    QTest::keyClick(&dlg->board(), Qt::Key_Up);
    ASSERT_EQ(log.received.size(), 1u);
    EXPECT_EQ(log.received[0].type, Msg::kMoveToNeighbour);
    EXPECT_TRUE(prompts.prompts().empty());

    // A drag, then Up: asked; Cancel stays with the markers where they are.
    mouseDrag(labelCentre(1), {labelCentre(1).x() + 15, labelCentre(1).x() + 30});
    const std::vector<float> moved = markers();
    ASSERT_NE(moved, loaded);
    prompts.answerMessage(Prompter::Answer::Cancel);
    QTest::keyClick(&dlg->board(), Qt::Key_Up);
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].text, question);
    EXPECT_EQ(prompts.prompts()[0].icon, Prompter::Icon::Question);
    EXPECT_EQ(prompts.prompts()[0].buttons, Prompter::Buttons::YesNoCancel);
    EXPECT_EQ(log.received.size(), 1u);
    EXPECT_EQ(markers(), moved);

    // The panel's ▼, No: the moves are dropped and the following entry asked for; Ctrl+Z brings
    // them back while the user is still here.
    prompts.answerMessage(Prompter::Answer::No);
    click(dlg->view().panel().downButton());
    ASSERT_EQ(prompts.prompts().size(), 2u);
    ASSERT_EQ(log.received.size(), 2u);
    EXPECT_EQ(log.received[1].type, Msg::kMoveToNeighbour);
    EXPECT_EQ(log.received[1].flag, 0);
    EXPECT_EQ(markers(), loaded);
    QTest::keyClick(&dlg->board(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers(), moved);

    // The vowel end put before the vowel start with key 4; the panel's ▲, Yes: the order check
    // refuses, nothing is sent and the editor stays.
    dlg->tagSet().playCursor.position = 0.8f;
    QTest::keyClick(&dlg->board(), Qt::Key_4);
    prompts.answerMessage(Prompter::Answer::Yes);
    prompts.answerMessage(Prompter::Answer::Ok);
    click(dlg->view().panel().upButton());
    ASSERT_EQ(prompts.prompts().size(), 4u);
    EXPECT_EQ(prompts.prompts()[2].text, question);
    EXPECT_EQ(prompts.prompts()[3].text.section(QLatin1Char('\n'), 0, 0), QStringLiteral("The order of markers is wrong..."));
    EXPECT_EQ(log.received.size(), 2u);
    EXPECT_EQ(markers()[3], 0.8f);

    // Undone, Down, Yes: stored (8588 with the dragged preutterance), then the move (8593).
    QTest::keyClick(&dlg->board(), Qt::Key_Z, Qt::ControlModifier);
    prompts.answerMessage(Prompter::Answer::Yes);
    QTest::keyClick(&dlg->board(), Qt::Key_Down);
    ASSERT_EQ(log.received.size(), 4u);
    EXPECT_EQ(log.received[2].type, Msg::kStoreEntry);
    EXPECT_EQ(dynamic_cast<const CTsVoiceCfg_CV&>(*log.received[2].entry).preutterance, double(moved[1]));
    EXPECT_EQ(log.received[3].type, Msg::kMoveToNeighbour);
    // Stored: nothing more to ask.
    QTest::keyClick(&dlg->board(), Qt::Key_Up);
    EXPECT_EQ(log.received.size(), 5u);
    EXPECT_EQ(prompts.prompts().size(), 5u);

    // Another entry from the list (8589): Cancel keeps this one, No opens the other.
    clock.advance(1000);
    mouseDrag(labelCentre(0), {labelCentre(0).x() - 20});
    const std::vector<float> movedAgain = markers();
    EntryEvent edit(Msg::kEditEntry, cvEntry("b.wav"), folder);
    prompts.answerMessage(Prompter::Answer::Cancel);
    QCoreApplication::sendEvent(dlg.get(), &edit);
    EXPECT_EQ(dlg->loadedPath(), folder + QStringLiteral("/a.wav"));
    EXPECT_EQ(markers(), movedAgain);
    prompts.answerMessage(Prompter::Answer::No);
    QCoreApplication::sendEvent(dlg.get(), &edit);
    EXPECT_EQ(dlg->loadedPath(), folder + QStringLiteral("/b.wav"));
    EXPECT_EQ(prompts.prompts().size(), 7u);

    // Closing: Cancel keeps the window open, No closes it.
    mouseDrag(labelCentre(2), {labelCentre(2).x() + 25});
    prompts.answerMessage(Prompter::Answer::Cancel);
    EXPECT_FALSE(dlg->close());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(log.received.size(), 5u);
    prompts.answerMessage(Prompter::Answer::No);
    EXPECT_TRUE(dlg->close());
    ASSERT_EQ(log.received.size(), 6u);
    EXPECT_EQ(log.received[5].type, Msg::kWaveEditor);
    EXPECT_EQ(prompts.prompts().size(), 9u);
    EXPECT_TRUE(prompts.scriptDone());
}

TEST_F(Editor, ADraggedMarkerStaysAtThePointersTimeAfterLeavingTheFileAndComingBack)
{
    Tessarin::ManualMillisecondClock clock(1000);
    Tessarin::ScopedProcessClock useClock(clock);
    dlg->loadCVEntry(cvEntry("a.wav", 0.3, 0.6, 0.9, 1.2), folder);
    showWindow();
    const QPoint press = labelCentre(0);
    const float start = markers()[0];
    // Past 0 and back to the press: where it was; past the end and back: the same.
    mouseDrag(press, {press.x() - 100, -109, press.x()});
    EXPECT_NEAR(markers()[0], start, pixelSeconds());
    mouseDrag(labelCentre(0), {3000, press.x() + 200});
    EXPECT_NEAR(markers()[0], start + 200.0f * pixelSeconds(), pixelSeconds());
    // Held at the ends while the pointer is beyond them.
    QWidget* board = &dlg->board();
    QTest::mousePress(board, Qt::LeftButton, {}, labelCentre(0));
    QTest::mouseMove(board, QPoint(-300, press.y()));
    EXPECT_EQ(markers()[0], 0.0f);
    QTest::mouseMove(board, QPoint(5000, press.y()));
    EXPECT_EQ(markers()[0], 2.0f);
    QTest::mouseRelease(board, Qt::LeftButton, {}, QPoint(5000, press.y()));

    // With Ctrl every marker keeps its distance from the dragged one once it comes back.
    dlg->loadCVEntry(cvEntry("a.wav", 0.3, 0.6, 0.9, 1.2), folder);
    const std::vector<float> before = markers();
    const QPoint second = labelCentre(1);
    mouseDrag(second, {second.x() - 150, -200, second.x() + 20}, Qt::ControlModifier);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(markers()[i], before[i] + 20.0f * pixelSeconds(), pixelSeconds()) << i;
    }
}

TEST_F(Editor, EveryMarkerLabelCanBeGrabbedEvenUnderTheFloatingPanel)
{
    // Markers around 0.15 s of a 2 s file sit near x = 80, under the panel at (20, 90)–(140, 132):
    // labels 2 and 3 (y 90–110 and 111–131) lie under it.
    dlg->loadCVEntry(cvEntry("a.wav", 0.1, 0.13, 0.16, 0.5), folder);
    showWindow();
    CWavMgrFloatPanel& panel = dlg->view().panel();
    const UIRect panelBox = panel.viewRect();
    for (int i : {1, 2}) {
        const QPoint c = labelCentre(i);
        ASSERT_TRUE(panelBox.contains(c.x(), c.y())) << i;
        const float before = markers()[std::size_t(i)];
        mouseDrag(c, {c.x() + 20, c.x() + 40});
        EXPECT_NEAR(markers()[std::size_t(i)], before + 40.0f * pixelSeconds(), pixelSeconds()) << i;
        EXPECT_EQ(panel.viewRect(), panelBox);
    }
    // The panel still works where no label lies: its store button, and dragging it by its body.
    const UIRect storeBox = panel.storeButton().viewRect();
    click(panel.storeButton());
    ASSERT_EQ(log.received.size(), 1u);
    EXPECT_EQ(log.received[0].type, Msg::kStoreEntry);
    mouseDrag(QPoint(panelBox.left + 2, panelBox.bottom - 3), {panelBox.left + 300});
    EXPECT_EQ(panel.viewRect().left, panelBox.left + 298);
    EXPECT_NE(panel.storeButton().viewRect(), storeBox);
}

TEST_F(Editor, DownAndUpPastAnEntryWhoseRecordingIsMissingReachTheNeighbours)
{
    prompts.answerMessage(Prompter::Answer::Ok);
    dlg->loadCVEntry(cvEntry("missing.wav"), folder);
    ASSERT_EQ(prompts.prompts().size(), 1u);
    showWindow();
    QTest::keyClick(&dlg->board(), Qt::Key_Down);
    click(dlg->view().panel().upButton());
    ASSERT_EQ(log.received.size(), 2u);
    EXPECT_EQ(log.received[0].type, Msg::kMoveToNeighbour);
    EXPECT_EQ(log.received[0].flag, 0);
    EXPECT_EQ(log.received[0].entry->wavName, "missing.wav");
    EXPECT_EQ(log.received[1].flag, 1);
    EXPECT_EQ(prompts.prompts().size(), 1u);
    // Storing it is still refused.
    prompts.answerMessage(Prompter::Answer::Ok);
    QTest::keyClick(&dlg->board(), Qt::Key_Tab);
    EXPECT_EQ(prompts.prompts().back().text, QStringLiteral("Wav data not exists !"));
    EXPECT_EQ(log.received.size(), 2u);
}

TEST_F(Editor, TheTimeStripFollowsThePointerAndADraggedMarkerWithTheCVLengths)
{
    Tessarin::ManualMillisecondClock clock(1000);
    Tessarin::ScopedProcessClock useClock(clock);
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    showWindow();
    CWavTimeStripView& strip = dlg->view().timeStrip();
    const auto texts = [&] {
        QStringList out;
        for (const ReadoutItem& item : strip.items()) {
            out << item.text;
        }
        return out;
    };
    const QStringList expected{QStringLiteral("Play 400.0 ms"),      QStringLiteral("1.CP 500.0 ms"),
                               QStringLiteral("2.PP 600.0 ms"),      QStringLiteral("3.VSP 900.0 ms"),
                               QStringLiteral("4.VEP 1200.0 ms"),    QStringLiteral("Consonant 100.0 ms"),
                               QStringLiteral("Vowel 300.0 ms")};
    // Then the f0 check's line, whichever state it has reached.
    EXPECT_EQ(texts().mid(0, 7), expected);
    ASSERT_EQ(texts().size(), 8);
    EXPECT_TRUE(texts().back().startsWith(QStringLiteral("Check: "))) << texts().back().toStdString();
    // The pointer over the waveform: its time first; off the time axis (the overview): none.
    const UIRect wave = dlg->view().waveform().viewRect();
    QTest::mouseMove(&dlg->board(), QPoint(wave.left + 451, wave.top + 40));
    EXPECT_EQ(texts().front(), QStringLiteral("Pointer ") + millisecondsText(pixelToTime(dlg->wavData(), wave.left + 451, wave.left, wave.width())));
    QTest::mouseMove(&dlg->board(), QPoint(wave.left + 451, 20));
    EXPECT_EQ(texts().front(), QStringLiteral("Play 400.0 ms"));

    // During a drag of 2.PP the strip has its new time and the consonant length, before the release.
    QWidget* board = &dlg->board();
    const QPoint from = labelCentre(1);
    QTest::mousePress(board, Qt::LeftButton, {}, from);
    QTest::mouseMove(board, QPoint(from.x() + 45, from.y()));
    const float pp = markers()[1];
    ASSERT_GT(pp, 0.6f);
    const QStringList during = texts();
    EXPECT_TRUE(during.contains(QStringLiteral("2.PP ") + millisecondsText(pp))) << during.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(during.contains(QStringLiteral("Consonant ") + millisecondsText(double(pp) - double(0.5f))));
    // The pointer is on the label, so the pointer's time is the marker's, within a pixel.
    ASSERT_TRUE(strip.pointer().has_value());
    EXPECT_NEAR(*strip.pointer(), pp, pixelSeconds());
    QTest::mouseRelease(board, Qt::LeftButton, {}, QPoint(from.x() + 45, from.y()));
}

TEST_F(Editor, LeftAndRightNudgeTheMarkerLastMovedEachPressOneUndoStep)
{
    Tessarin::ManualMillisecondClock clock(1000);
    Tessarin::ScopedProcessClock useClock(clock);
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    showWindow();
    QWidget* board = &dlg->board();
    // Nothing moved yet: no marker to nudge.
    QTest::keyClick(board, Qt::Key_Right);
    EXPECT_EQ(markers(), (std::vector<float>{0.5f, 0.6f, 0.9f, 1.2f}));

    // The marker placed by number: 1 ms per press, 10 ms with Shift.
    dlg->tagSet().playCursor.position = 0.7f;
    QTest::keyClick(board, Qt::Key_2);
    QTest::keyClick(board, Qt::Key_Right);
    QTest::keyClick(board, Qt::Key_Right);
    QTest::keyClick(board, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_NEAR(markers()[1], 0.7f + 0.002f - 0.010f, 1e-6f);
    EXPECT_EQ(markers()[2], 0.9f);

    // The marker dragged last takes over.
    const QPoint c = labelCentre(3);
    mouseDrag(c, {c.x() - 10});
    const float dragged = markers()[3];
    QTest::keyClick(board, Qt::Key_Left);
    EXPECT_NEAR(markers()[3], dragged - 0.001f, 1e-6f);

    // Each press is one step back: the nudge, the drag, then the three nudges of 2.PP one by one.
    QTest::keyClick(board, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers()[3], dragged);
    QTest::keyClick(board, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers()[3], 1.2f);
    QTest::keyClick(board, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NEAR(markers()[1], 0.702f, 1e-6f);
    QTest::keyClick(board, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_NEAR(markers()[1], 0.701f, 1e-6f);
    QTest::keyClick(board, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers()[1], 0.7f);
    QTest::keyClick(board, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers()[1], 0.6f);

    // Held inside the file.
    dlg->tagSet().playCursor.position = 0.0f;
    QTest::keyClick(board, Qt::Key_1);
    QTest::keyClick(board, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_EQ(markers()[0], 0.0f);
}

TEST_F(Editor, ShiftWheelPansTheTimeAxisAndThePlainWheelStillZooms)
{
    dlg->loadCVEntry(cvEntry("b.wav", 1.0, 1.1, 1.3, 1.6), folder);
    showWindow();
    WavZoomArgument zoom{1.5f, 5};
    dlg->onSignal(UISignalNames::kZoomInWav, &zoom, nullptr);
    const float start = dlg->wavData().viewStart, length = dlg->wavData().viewLength;
    ASSERT_GT(start, 0.3f);
    const UIRect wave = dlg->view().waveform().viewRect();
    const QPoint over(wave.left + 200, wave.top + 50);
    const auto wheel = [&](QPoint at, int delta, Qt::KeyboardModifiers mods) {
        QWheelEvent event(QPointF(at), QPointF(dlg->board().mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                          mods, Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&event);
        QCoreApplication::sendEvent(&dlg->board(), &event);
    };
    // Towards the user: later by a tenth of the view per step; away: back; the length kept.
    wheel(over, -240, Qt::ShiftModifier);
    EXPECT_NEAR(dlg->wavData().viewStart, start + 0.2f * length, 1e-5f);
    EXPECT_EQ(dlg->wavData().viewLength, length);
    wheel(over, 120, Qt::ShiftModifier);
    EXPECT_NEAR(dlg->wavData().viewStart, start + 0.1f * length, 1e-5f);
    // Over the spectrogram too.
    const UIRect spectrogram = dlg->view().spectrogram().viewRect();
    wheel(QPoint(spectrogram.left + 10, spectrogram.top + 10), 120, Qt::ShiftModifier);
    EXPECT_NEAR(dlg->wavData().viewStart, start, 1e-5f);
    // Without Shift the wheel zooms, as before.
    wheel(over, 120, Qt::NoModifier);
    EXPECT_NEAR(dlg->wavData().viewLength, length * 0.7f, 1e-5f);
}

TEST_F(Editor, ALongRecordingOpensZoomedAroundTheEntrysMarkers)
{
    writeTone(dir / "long.wav", 12.0f);
    // Span 0.6 s plus a quarter of it on each side: 0.9 s from 5.85 s.
    dlg->loadCVEntry(cvEntry("long.wav", 6.0, 6.1, 6.3, 6.6), folder);
    showWindow();
    ASSERT_NEAR(dlg->wavData().duration, 12.0f, 1e-6f);
    EXPECT_NEAR(dlg->wavData().viewStart, 5.85f, 1e-5f);
    EXPECT_NEAR(dlg->wavData().viewLength, 0.9f, 1e-5f);
    // Every label can be told apart: the markers lie at least 50 pixels apart.
    for (int i = 0; i < 3; ++i) {
        EXPECT_GE(labelCentre(i + 1).x() - labelCentre(i).x(), 50) << i;
    }
    // Another entry of the same file inside the view: the view stays (the user may have zoomed).
    WavZoomArgument zoom{6.2f, 1};
    dlg->onSignal(UISignalNames::kZoomInWav, &zoom, nullptr);
    const float start = dlg->wavData().viewStart, length = dlg->wavData().viewLength;
    dlg->loadCVEntry(cvEntry("long.wav", 6.1, 6.15, 6.2, 6.25), folder);
    EXPECT_EQ(dlg->wavData().viewStart, start);
    EXPECT_EQ(dlg->wavData().viewLength, length);
    // One outside it: around its markers, at least 0.5 s, held inside the file.
    dlg->loadCVEntry(cvEntry("long.wav", 11.8, 11.85, 11.9, 11.95), folder);
    EXPECT_NEAR(dlg->wavData().viewLength, 0.5f, 1e-5f);
    EXPECT_NEAR(dlg->wavData().viewStart, 11.5f, 1e-5f);
    // Without stored markers it opens as before: the whole file.
    dlg->loadCVEntry(cvEntry("b.wav"), folder);
    dlg->loadCVEntry(cvEntry("long.wav"), folder);
    EXPECT_EQ(dlg->wavData().viewStart, 0.0f);
    EXPECT_EQ(dlg->wavData().viewLength, 12.0f);
    // A short recording opens whole, with its markers; the frequency zoom goes with the user from
    // entry to entry and file to file.
    int steps = 3;
    dlg->onSignal(UISignalNames::kZoomInFreq, &steps, nullptr);
    const float frequencyRange = dlg->wavData().frequencyRange;
    ASSERT_NEAR(frequencyRange, 0.729f, 1e-6f); // 0.9³
    dlg->loadCVEntry(cvEntry("b.wav", 1.0, 1.1, 1.3, 1.6), folder);
    EXPECT_EQ(dlg->wavData().frequencyRange, frequencyRange);
    EXPECT_EQ(dlg->wavData().viewStart, 0.0f);
    EXPECT_EQ(dlg->wavData().viewLength, 3.0f);
}

TEST_F(Editor, TheSpectrogramsTopFrequencyIsAPreferenceUnderTheFrequencyZoom)
{
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    const UIRect r = dlg->view().spectrogram().viewRect();
    // The row of the 220 Hz tone: the brightest of the column in the middle of the spectrogram.
    const auto toneRow = [&] {
        EXPECT_TRUE(dlg->view().spectrogram().builder().waitUntilIdle(std::chrono::seconds(20)));
        QCoreApplication::processEvents();
        const QImage image = dlg->board().grab().toImage();
        const int x = (r.left + r.right) / 2;
        int row = -1;
        int best = -1;
        for (int y = r.top; y < r.bottom; ++y) {
            const QRgb c = image.pixel(x, y);
            const int v = std::max({qRed(c), qGreen(c), qBlue(c)});
            if (v > best) {
                best = v;
                row = y;
            }
        }
        return row;
    };
    const auto rowOf = [&](double hz, double topHz) { return double(r.bottom - 1) - hz / topHz * double(r.height()); };
    // Within half a bin (44100 ÷ 1024 Hz, stretched over the rows) and a pixel: the tone lies in
    // the bin at 215 Hz.
    const auto slack = [&](double topHz) { return 0.5 * 44100.0 / 1024.0 / topHz * double(r.height()) + 1.0; };
    EXPECT_NEAR(toneRow(), rowOf(220.0, 22050.0), slack(22050.0));

    // As the Preference menu sets it; the frequency zoom then narrows that range.
    config().spectrogramTopFrequency = 1000;
    dlg->applyPreferences();
    EXPECT_NEAR(toneRow(), rowOf(220.0, 1000.0), slack(1000.0));
    int steps = 3;
    dlg->onSignal(UISignalNames::kZoomInFreq, &steps, nullptr);
    EXPECT_NEAR(spectrogramHighHz(dlg->wavData()), 729.0, 0.01); // 1000 × 0.9³
    EXPECT_NEAR(toneRow(), rowOf(220.0, 729.0), slack(729.0));
    // It stays with the next entry, and a value the rate cannot reach means the whole spectrum.
    dlg->loadCVEntry(cvEntry("b.wav", 1.0, 1.1, 1.3, 1.6), folder);
    EXPECT_NEAR(spectrogramHighHz(dlg->wavData()), 729.0, 0.01);
    config().spectrogramTopFrequency = 96000;
    dlg->applyPreferences();
    EXPECT_NEAR(spectrogramHighHz(dlg->wavData()), 22050.0 * 0.729, 0.01);
    config().spectrogramTopFrequency = CAppConfigModel::kDefaultSpectrogramTop;
}

TEST_F(Editor, TheF0OverlayShowsTheChecksVerdictFollowsADraggedMarkerAndCanBeHidden)
{
    // A sung vowel with 50 ms of silence at 1.0 s, inside the vowel (0.7 … 1.4 s) of a CV entry.
    lvtest::SungVowel vowel;
    vowel.seconds = 2.0;
    std::vector<float> samples = lvtest::singVowel(vowel);
    std::fill_n(samples.begin() + std::ptrdiff_t(1.0 * 44100.0), std::size_t(0.05 * 44100.0), 0.0f);
    ASSERT_TRUE(writeWav16(dir / "gap.wav", samples));
    dlg->setCheckDictionarySource([] {
        PhoneticDictionary d;
        d.parseSymbolList("ka,k,a\n");
        d.parseVowelList("a,a\n");
        d.parseUnvoicedConsonantList("k\n");
        return d;
    });
    showWindow();
    dlg->loadCVEntry(cvEntry("gap.wav", 0.5, 0.6, 0.7, 1.4), folder);
    ASSERT_TRUE(dlg->waitForF0Check(std::chrono::seconds(20)));
    CWavTimeStripView& strip = dlg->view().timeStrip();
    EXPECT_EQ(strip.check(), QStringLiteral("Check: Unvoiced part exists in vowel."));
    const auto hasItem = [&](const QString& text) {
        const auto items = strip.items();
        return std::any_of(items.begin(), items.end(), [&](const ReadoutItem& i) { return i.text == text; });
    };
    EXPECT_TRUE(hasItem(strip.check()));
    ASSERT_NE(dlg->f0Outcome(), nullptr);
    const std::vector<std::int64_t> red = dlg->f0Outcome()->unvoicedFrames();
    ASSERT_FALSE(red.empty());
    // The red bar over the gap, along the top of the spectrogram (silence there without the overlay).
    const UIRect spectrogramRect = dlg->view().spectrogram().viewRect();
    const int gapX = pixelOf(float(dlg->f0Outcome()->frameStart(red[red.size() / 2])) + 0.001f);
    const auto topPixel = [&] {
        EXPECT_TRUE(dlg->view().spectrogram().builder().waitUntilIdle(std::chrono::seconds(20)));
        QCoreApplication::processEvents();
        return dlg->board().grab().toImage().pixel(gapX, spectrogramRect.top + 2);
    };
    const QRgb marked = topPixel();
    EXPECT_GT(qRed(marked), 120);
    EXPECT_LT(qGreen(marked), 40);

    // The vowel end dragged to 0.95 s, before the gap: once the drag rests the check passes.
    const int checksBefore = dlg->f0Outcome()->requestNumber;
    mouseDrag(labelCentre(3), {labelCentre(3).x() - 100, pixelOf(0.95f) + (labelCentre(3).x() - pixelOf(1.4f))});
    ASSERT_NEAR(markers()[3], 0.95f, 2.0f * pixelSeconds());
    // The drag did not wait for a check: the last one is still to come (it waits for the markers
    // to rest), and the line says so.
    EXPECT_EQ(strip.check(), QStringLiteral("Check: checking\u2026"));
    EXPECT_EQ(dlg->f0Outcome()->requestNumber, checksBefore);
    ASSERT_TRUE(dlg->waitForF0Check(std::chrono::seconds(20)));
    EXPECT_EQ(strip.check(), QStringLiteral("Check: OK"));
    EXPECT_TRUE(dlg->f0Outcome()->unvoicedFrames().empty());
    EXPECT_GT(dlg->f0Outcome()->requestNumber, checksBefore);

    // Hidden by the preference: no overlay, no verdict; shown again, it comes back.
    config().showF0Overlay = false;
    dlg->applyPreferences();
    EXPECT_EQ(dlg->f0Outcome(), nullptr);
    EXPECT_EQ(strip.check(), QString());
    const QRgb plain = topPixel();
    EXPECT_LT(qRed(plain), 40);
    config().showF0Overlay = true;
    dlg->applyPreferences();
    ASSERT_TRUE(dlg->waitForF0Check(std::chrono::seconds(20)));
    EXPECT_EQ(strip.check(), QStringLiteral("Check: OK"));
}

TEST_F(Editor, AtFullHdTheRulersLabelsKeepClearOfTheirUnitsAndOfEachOther)
{
    dlg->resize(1920, 1080);
    dlg->board().resize(1920, 1080);
    dlg->board().relayout();
    dlg->loadCVEntry(cvEntry("b.wav", 1.0, 1.1, 1.3, 1.6), folder);
    // The boxes the rulers' own layout gives their texts, over every time zoom from the whole file
    // to the shortest view and every frequency zoom from the whole axis to a quarter.
    const auto check = [](CGraduationView& ruler, const char* name, int step) {
        const std::vector<CGraduationView::LabelPlace> labels = ruler.labelPlaces();
        const QRect area = ruler.viewRect().toQRect();
        ASSERT_GE(labels.size(), 3u) << name << " step " << step; // the unit and two labels at least
        ASSERT_TRUE(labels.front().unit) << name;
        EXPECT_EQ(labels.front().text, QString::fromUtf8(name));
        for (std::size_t i = 0; i < labels.size(); ++i) {
            EXPECT_TRUE(area.contains(labels[i].box)) << name << " step " << step << " " << labels[i].text.toStdString();
            for (std::size_t j = i + 1; j < labels.size(); ++j) {
                EXPECT_FALSE(labels[i].box.intersects(labels[j].box))
                    << name << " step " << step << ": " << labels[i].text.toStdString() << " and "
                    << labels[j].text.toStdString();
            }
        }
    };
    for (int step = 0; step < 24; ++step) {
        check(dlg->view().timeRuler(), "s", step);
        check(dlg->view().freqRuler(), "kHz", step);
        WavZoomArgument zoom{1.2f, 1};
        dlg->onSignal(UISignalNames::kZoomInWav, &zoom, nullptr);
        int steps = 1;
        dlg->onSignal(UISignalNames::kZoomInFreq, &steps, nullptr);
    }
    EXPECT_EQ(dlg->wavData().frequencyRange, 0.25f);
    EXPECT_LT(dlg->wavData().viewLength, 0.01f);
}

TEST_F(Editor, TheStateLineShowsStoredAfterAStoreAndAMissingOutputDevice)
{
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    CWavTimeStripView& strip = dlg->view().timeStrip();
    EXPECT_EQ(strip.state(), QString());
    QTest::keyClick(&dlg->board(), Qt::Key_Tab);
    ASSERT_EQ(log.received.size(), 1u);
    EXPECT_EQ(strip.state(), QStringLiteral("Stored"));
    EXPECT_EQ(strip.items().back().text, QStringLiteral("Stored"));
    // A refused store says nothing of the kind; the next entry clears it.
    dlg->loadCVEntry(cvEntry("b.wav", 0.5, 0.4, 0.9, 1.2), folder);
    EXPECT_EQ(strip.state(), QString());
    prompts.answerMessage(Prompter::Answer::Ok);
    QTest::keyClick(&dlg->board(), Qt::Key_Tab);
    EXPECT_EQ(strip.state(), QString());

    // Without an output device the strip says so instead of staying silent; "Stored" shows over it
    // for a while, then the line comes back.
    lvtest::SimulatedAudioDevice none;
    none.hasDevice = false;
    PortAudioLibrary silent(none, sink);
    CWavMgrDlg deaf(nullptr, silent);
    deaf.setMessageReceiver(&log);
    deaf.resize(960, 640);
    deaf.loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    CWavTimeStripView& deafStrip = deaf.view().timeStrip();
    EXPECT_EQ(deafStrip.state(), QStringLiteral("No audio output device: playback is off"));
    EXPECT_TRUE(deaf.storeEntry(false));
    EXPECT_EQ(deafStrip.state(), QStringLiteral("Stored"));
    QTest::qWait(3000);
    EXPECT_EQ(deafStrip.state(), QStringLiteral("No audio output device: playback is off"));
}

// E moves the markers to the estimator's proposal for the recording, as one step of the history and
// without storing; an entry that holds no markers yet gets the proposal when it opens. A recording
// with no unit in it moves nothing, and the state line says why.
TEST_F(Editor, EProposesMarkersAsOneUndoStepAndANewEntryOpensWithThem)
{
    const lvdemo::UnitPlan sa{"sa", "CV", {{lvdemo::Segment::Silence, "", 0.2}, {lvdemo::Segment::Frication, "s", 0.12}, {lvdemo::Segment::Vowel, "a", 0.5}, {lvdemo::Segment::Silence, "", 0.2}}, {}};
    const std::vector<std::int16_t> sung = lvtest::recordSungUnit(sa);
    lvtest::writeFile(dir / "sa.wav", lvtest::WavBytes::mono16(sung));
    const lvdemo::UnitPlan quiet{"br", "INDIE", {{lvdemo::Segment::Silence, "", 0.8}}, {}};
    lvtest::writeFile(dir / "quiet.wav", lvtest::WavBytes::mono16(lvtest::recordSungUnit(quiet)));
    // What the estimator itself proposes for the same samples, held as the editor holds markers.
    const std::vector<float> samples = lvtest::toFloat(sung);
    const auto estimate = TessarinEngineV6::estimateMarkers(samples.data(), samples.size(), 44100, "CV");
    ASSERT_TRUE(estimate);
    const std::vector<float> proposal(estimate->begin(), estimate->end());
    const auto waitForProposal = [this] {
        for (int i = 0; i < 400 && dlg->proposingMarkers(); ++i) {
            QTest::qWait(10); // the proposal arrives as a posted event
        }
        ASSERT_FALSE(dlg->proposingMarkers()) << "no proposal in 4 s";
    };
    CWavTimeStripView& strip = dlg->view().timeStrip();

    // Markers a person placed: nothing is proposed when the entry opens.
    dlg->loadCVEntry(cvEntry("sa.wav", 0.25, 0.35, 0.5, 0.7), folder);
    showWindow();
    EXPECT_FALSE(dlg->proposingMarkers());
    const std::vector<float> placed = markers();
    QTest::keyClick(&dlg->board(), Qt::Key_E);
    EXPECT_TRUE(dlg->proposingMarkers());
    waitForProposal();
    EXPECT_EQ(markers(), proposal);
    EXPECT_EQ(strip.state(), QStringLiteral("New markers"));
    EXPECT_TRUE(log.received.empty()) << "nothing stored";
    EXPECT_TRUE(dlg->hasUnstoredChanges());
    QTest::keyClick(&dlg->board(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers(), placed) << "one step back";
    EXPECT_EQ(strip.state(), QString());
    QTest::keyClick(&dlg->board(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(markers(), proposal);
    // Leaving asks to store them; No drops them.
    prompts.answerMessage(Prompter::Answer::No);
    QTest::keyClick(&dlg->board(), Qt::Key_Down);
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].text, QStringLiteral("Store the changes to C4:ka?"));
    ASSERT_EQ(log.received.size(), 1u);
    EXPECT_EQ(log.received[0].type, Msg::kMoveToNeighbour);

    // A new entry of the file, as the list's "no entry" row opens it: proposed at once, one step
    // away from the first markers, and not stored.
    EntryEvent fresh(Msg::kEditEntry, cvEntry("sa.wav"), folder);
    QCoreApplication::sendEvent(dlg.get(), &fresh);
    EXPECT_TRUE(dlg->proposingMarkers());
    waitForProposal();
    EXPECT_EQ(markers(), proposal);
    EXPECT_EQ(strip.state(), QStringLiteral("New markers"));
    QTest::keyClick(&dlg->board(), Qt::Key_Z, Qt::ControlModifier);
    const float d = dlg->wavData().duration;
    EXPECT_EQ(markers(), (std::vector<float>{0.2f * d, 0.3f * d, 0.7f * d, 0.8f * d})) << "the first markers";
    QTest::keyClick(&dlg->board(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(markers(), (std::vector<float>{0.2f * d, 0.3f * d, 0.7f * d, 0.8f * d})) << "nothing further back";
    EXPECT_EQ(log.received.size(), 1u);
    // Stored with the first markers, as "Make Entries" makes it without estimates: proposed too.
    dlg->loadCVEntry(cvEntry("sa.wav", 0.2f * d, 0.3f * d, 0.7f * d, 0.8f * d), folder);
    EXPECT_TRUE(dlg->proposingMarkers());
    waitForProposal();
    EXPECT_EQ(markers(), proposal);

    // Background noise alone: nothing moves, and no step is added to the history.
    dlg->loadCVEntry(cvEntry("quiet.wav", 0.2, 0.3, 0.4, 0.5), folder);
    const std::vector<float> kept = markers();
    QTest::keyClick(&dlg->board(), Qt::Key_E);
    waitForProposal();
    EXPECT_EQ(markers(), kept);
    EXPECT_EQ(strip.state(), QStringLiteral("No markers proposed: no unit found in the recording"));
    EXPECT_FALSE(dlg->hasUnstoredChanges());
    EXPECT_FALSE(dlg->undoMarkerMove());
    EXPECT_TRUE(prompts.scriptDone());
}

TEST_F(Editor, APlayCursorOnAMarkerLeavesTheMarkerLineVisible)
{
    dlg->loadCVEntry(cvEntry("a.wav", 0.5, 0.6, 0.9, 1.2), folder);
    dlg->board().relayout();
    // Key 3 puts 3.VSP at the play cursor: both at the same pixel.
    dlg->tagSet().playCursor.position = 1.0f;
    QTest::keyClick(&dlg->board(), Qt::Key_3);
    ASSERT_EQ(markers()[2], 1.0f);
    QImage frame(dlg->board().size(), QImage::Format_RGB32);
    {
        QPainter painter(&frame);
        dlg->board().paintTree(frame.rect(), painter);
    }
    const int x = pixelOf(1.0f);
    const UIRect wave = dlg->view().waveform().viewRect();
    for (int y : {wave.top + 100, wave.bottom - 10, dlg->view().spectrogram().viewRect().top + 50}) {
        EXPECT_EQ(QColor(frame.pixel(x, y)), QColor(0, 200, 0)) << y; // 3.VSP's colour
    }
    // Elsewhere the cursor's line is seen: move the marker away.
    QTest::keyClick(&dlg->board(), Qt::Key_Right, Qt::ShiftModifier);
    {
        QPainter painter(&frame);
        dlg->board().paintTree(frame.rect(), painter);
    }
    EXPECT_EQ(QColor(frame.pixel(x, wave.top + 100)), QColor(200, 0, 0));
}
