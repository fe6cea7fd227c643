// The wave annotation editor over the demo's recordings: a CV, a VX and an INDIE entry, a zoomed-in
// view, one down to the single samples, the overview's area in the middle of a drag, the time strip
// in the middle of a marker drag, the question before moved markers are left, a 10-minute recording
// as it opens (at 1920 × 1080), the state line of a machine without an output device, and the f0
// overlay on an entry that passes the source check and on one that fails it. The check's dictionary
// is the demo project's.

#include "Screenshots.h"
#include "audio/CWavData.h"
#include "audio/PortAudioLibrary.h"
#include "audio/WavWriter.h"
#include "model/CAppConfigModel.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/PhoneticDictionary.h"
#include "model/ProjectFile.h"
#include "support/SimulatedAudioDevice.h"
#include "ui/toolkit/QtPrompter.h"
#include "ui/toolkit/CUIBoard.h"
#include "ui/editor/CWavMgrDlg.h"
#include "ui/editor/CWavMgrView.h"
#include "ui/editor/UISignalNames.h"

#include <QCoreApplication>
#include <QThread>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMessageBox>
#include <QPainter>

#include <chrono>
#include <cmath>
#include <cstdio>

using namespace TessarinEditor;

namespace lvshots {

namespace {

const CTsVoiceCfg* firstOfKind(const CTsVoiceCfgMgr& entries, int kind, const std::string& preferredKey)
{
    const CTsVoiceCfg* first = nullptr;
    for (const CTsVoiceCfg* e : entries.entries()) {
        if (e->kind() != kind) {
            continue;
        }
        if (e->entryKey() == preferredKey) {
            return e;
        }
        if (!first) {
            first = e;
        }
    }
    return first;
}

// Lets the spectrogram finish its pictures and the f0 check its outcome, and the window repaint,
// then grabs it.
QImage settle(CWavMgrDlg& dlg)
{
    dlg.view().spectrogram().builder().waitUntilIdle(std::chrono::seconds(30));
    dlg.waitForF0Check(std::chrono::seconds(30));
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return dlg.grab().toImage();
}

UIMessage mouse(UIMessageKind kind, int x, int y)
{
    UIMessage m;
    m.kind = kind;
    m.x = x;
    m.y = y;
    m.buttons = kind == UIMessageKind::LeftUp ? Qt::NoButton : Qt::LeftButton;
    return m;
}

// Shows each question as the program would, grabs it over the window behind it, answers Cancel.
class PicturePrompter : public QtPrompter {
public:
    explicit PicturePrompter(QWidget& behind) : m_behind(behind) {}
    QImage picture;

    Answer message(QWidget* parent, const QString& text, const QString& caption, Icon icon, Buttons buttons) override
    {
        const std::unique_ptr<QMessageBox> box = makeMessageBox(parent, text, caption, icon, buttons);
        box->adjustSize();
        box->show();
        QCoreApplication::processEvents();
        const QImage boxImage = box->grab().toImage();
        box->hide();
        picture = m_behind.grab().toImage();
        QPainter painter(&picture);
        painter.fillRect(picture.rect(), QColor(0, 0, 0, 90));
        const QPoint at((picture.width() - boxImage.width()) / 2, (picture.height() - boxImage.height()) / 2);
        painter.drawImage(at, boxImage);
        painter.setPen(QPen(QColor(200, 200, 200), 1));
        painter.drawRect(QRect(at, boxImage.size()).adjusted(-1, -1, 0, 0));
        return Answer::Cancel;
    }

private:
    QWidget& m_behind;
};

void pressAt(CWavMgrDlg& dlg, QPoint at)
{
    dlg.board().routeMessage(mouse(UIMessageKind::LeftDown, at.x(), at.y()));
}

QPoint labelCentre(CWavMgrDlg& dlg, int i)
{
    const UIRect r = dlg.view().markers().labels()[std::size_t(i)]->viewRect();
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

// Ten minutes of the demo recording tiled, with an entry of it 300 s in (its markers as in the demo
// entry, shifted). The folder is removed by the caller.
bool writeTenMinutes(const std::filesystem::path& recording, const std::filesystem::path& out)
{
    CWavData wav;
    if (loadForEditor(recording, wav) != WavLoadStatus::Loaded || wav.pcm.empty()) {
        return false;
    }
    const std::size_t total = std::size_t(600.0 * 44100.0);
    std::vector<float> samples;
    samples.reserve(total);
    while (samples.size() < total) {
        const std::size_t n = std::min(wav.pcm.size(), total - samples.size());
        for (std::size_t i = 0; i < n; ++i) {
            samples.push_back(wav.sampleAt(i));
        }
    }
    return writeWav16(out, samples);
}

} // namespace

bool editorScene(const Context& context)
{
    const std::filesystem::path folder = context.demoDir / "wav" / "C4";
    CTsVoiceCfgMgr entries;
    entries.loadFolder(folder);
    const CTsVoiceCfg* cv = firstOfKind(entries, CTsVoiceCfg::kCV, "C4->ka");
    const CTsVoiceCfg* vx = firstOfKind(entries, CTsVoiceCfg::kVX, "C4->a_k");
    const CTsVoiceCfg* indie = firstOfKind(entries, CTsVoiceCfg::kINDIE, "");
    if (!cv || !vx || !indie) {
        std::fprintf(stderr, "screenshots: the demo folder %s lacks a CV, VX or INDIE entry\n", folder.c_str());
        return false;
    }
    const QString wavFolder = QString::fromStdString(folder.string());
    const auto project = loadProject(context.demoDir / "demo.lvtb");
    if (!project) {
        std::fprintf(stderr, "screenshots: cannot read the demo project\n");
        return false;
    }
    const PhoneticDictionary dictionary = PhoneticDictionary::fromProject(*project);
    const auto demoDictionary = [dictionary] { return dictionary; };

    CWavMgrDlg dlg;
    dlg.setCheckDictionarySource(demoDictionary);
    dlg.resize(CWavMgrDlg::kFirstWidth, CWavMgrDlg::kFirstHeight);
    dlg.show();
    QCoreApplication::processEvents();

    bool ok = true;
    dlg.loadEntry(*cv, wavFolder);
    ok = save(context, QStringLiteral("editor-cv"), settle(dlg)) && ok;

    // Zoomed in around the consonant, then down to the single samples at the vowel start.
    const float cp = dlg.tagSet().markers[0]->position;
    WavZoomArgument zoom{cp, 4};
    dlg.onSignal(UISignalNames::kZoomInWav, &zoom, nullptr);
    ok = save(context, QStringLiteral("editor-cv-zoomed"), settle(dlg)) && ok;
    zoom = WavZoomArgument{dlg.tagSet().markers[2]->position, 9};
    dlg.onSignal(UISignalNames::kZoomInWav, &zoom, nullptr);
    ok = save(context, QStringLiteral("editor-cv-samples"), settle(dlg)) && ok;

    // The overview's area dragged to the right by 120 pixels, the button still held.
    zoom = WavZoomArgument{cp, 30};
    dlg.onSignal(UISignalNames::kZoomOutWav, &zoom, nullptr);
    zoom = WavZoomArgument{cp, 3};
    dlg.onSignal(UISignalNames::kZoomInWav, &zoom, nullptr);
    CWavPreviewView& overview = dlg.view().overview();
    const UIRect area = overview.area().viewRect();
    const int x = (area.left + area.right) / 2, y = (area.top + area.bottom) / 2;
    dlg.board().routeMessage(mouse(UIMessageKind::LeftDown, x, y));
    for (int dx = 20; dx <= 120; dx += 20) {
        dlg.board().routeMessage(mouse(UIMessageKind::MouseMove, x + dx, y));
    }
    ok = save(context, QStringLiteral("editor-overview-drag"), settle(dlg)) && ok;
    dlg.board().routeMessage(mouse(UIMessageKind::LeftUp, x + 120, y));

    dlg.loadEntry(*vx, wavFolder);
    ok = save(context, QStringLiteral("editor-vx"), settle(dlg)) && ok;
    dlg.loadEntry(*indie, wavFolder);
    ok = save(context, QStringLiteral("editor-indie"), settle(dlg)) && ok;

    // The CV entry again, E pressed: the markers where the estimator proposes them, not stored.
    dlg.loadEntry(*cv, wavFolder);
    QKeyEvent propose(QEvent::KeyPress, Qt::Key_E, Qt::NoModifier);
    QCoreApplication::sendEvent(&dlg.board(), &propose);
    for (int i = 0; i < 500 && dlg.proposingMarkers(); ++i) {
        QThread::msleep(10);
        QCoreApplication::processEvents();
    }
    ok = save(context, QStringLiteral("editor-new-markers"), settle(dlg)) && ok;

    // The CV entry again, 2.PP held in the middle of a drag 40 pixels to the right, the pointer over
    // it: the strip shows its time and the consonant length as they are while dragging.
    dlg.loadEntry(*cv, wavFolder);
    const QPoint label = labelCentre(dlg, 1);
    pressAt(dlg, label);
    for (int dx = 10; dx <= 40; dx += 10) {
        dlg.board().routeMessage(mouse(UIMessageKind::MouseMove, label.x() + dx, label.y()));
    }
    QMouseEvent hover(QEvent::MouseMove, QPointF(label.x() + 40, label.y()), QPointF(label.x() + 40, label.y()),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dlg.board(), &hover);
    ok = save(context, QStringLiteral("editor-time-strip-drag"), settle(dlg)) && ok;
    dlg.board().routeMessage(mouse(UIMessageKind::LeftUp, label.x() + 40, label.y()));

    // Down with that move not stored: the question.
    {
        PicturePrompter asking(dlg);
        const PrompterScope scope(asking);
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QCoreApplication::sendEvent(&dlg.board(), &down);
        if (asking.picture.isNull()) {
            std::fprintf(stderr, "screenshots: Down after a drag asked nothing\n");
            ok = false;
        } else {
            ok = save(context, QStringLiteral("editor-store-prompt"), asking.picture) && ok;
        }
    }
    dlg.undoMarkerMove();

    // The f0 overlay: the demo's CV entry passes; with its vowel start moved back into the
    // consonant's noise, the vowel holds unvoiced frames, shown red, and the check says so. The
    // spectrogram's top at 5 kHz (a preference) and zoomed to a quarter of it, so the track stands
    // clear of the bottom edge.
    config().spectrogramTopFrequency = 5000;
    dlg.applyPreferences();
    int frequencySteps = 14;
    dlg.onSignal(UISignalNames::kZoomInFreq, &frequencySteps, nullptr);
    dlg.loadEntry(*cv, wavFolder);
    ok = save(context, QStringLiteral("editor-f0-pass"), settle(dlg)) && ok;
    if (const auto* cvFields = dynamic_cast<const CTsVoiceCfg_CV*>(cv)) {
        CTsVoiceCfg_CV failing = *cvFields;
        failing.preutterance = failing.connectPoint + 0.01;
        failing.vowelStart = failing.connectPoint + 0.02;
        dlg.loadCVEntry(failing, wavFolder);
        ok = save(context, QStringLiteral("editor-f0-fail"), settle(dlg)) && ok;
        if (dlg.f0Outcome() == nullptr || dlg.f0Outcome()->ok) {
            std::fprintf(stderr, "screenshots: the entry meant to fail the check passed\n");
            ok = false;
        }
    }
    config().spectrogramTopFrequency = CAppConfigModel::kDefaultSpectrogramTop;
    dlg.applyPreferences();
    dlg.onSignal(UISignalNames::kZoomOutFreq, &frequencySteps, nullptr);
    dlg.hide();

    // A 10-minute recording as it opens, at 1920 × 1080.
    const std::filesystem::path longFolder = context.outDir / "editor-ten-minutes";
    std::error_code ec;
    std::filesystem::create_directories(longFolder, ec);
    const auto* cvEntry = dynamic_cast<const CTsVoiceCfg_CV*>(cv);
    if (cvEntry && writeTenMinutes(folder / cv->wavName, longFolder / "ten.wav")) {
        CTsVoiceCfg_CV entry = *cvEntry;
        entry.wavName = "ten.wav";
        // The demo's markers, 300 s in (its recording is tiled, so the same sound lies there).
        const double wavSeconds = double(dlg.wavData().duration);
        const double shift = wavSeconds > 0.0 ? std::floor(300.0 / wavSeconds) * wavSeconds : 300.0;
        entry.connectPoint += shift;
        entry.preutterance += shift;
        entry.vowelStart += shift;
        entry.vowelEnd += shift;
        CWavMgrDlg big;
        big.setCheckDictionarySource(demoDictionary);
        big.resize(1920, 1080);
        big.show();
        QCoreApplication::processEvents();
        big.loadCVEntry(entry, QString::fromStdString(longFolder.string()));
        ok = save(context, QStringLiteral("editor-ten-minutes-open"), settle(big)) && ok;
        big.hide();
    } else {
        std::fprintf(stderr, "screenshots: could not write the 10-minute recording\n");
        ok = false;
    }
    std::filesystem::remove_all(longFolder, ec);

    // No output device: the line in the strip instead of silence.
    lvtest::SimulatedAudioDevice none;
    none.hasDevice = false;
    std::FILE* quiet = std::tmpfile();
    {
        PortAudioLibrary silent(none, quiet ? quiet : stderr);
        CWavMgrDlg deaf(nullptr, silent);
        deaf.setCheckDictionarySource(demoDictionary);
        deaf.resize(CWavMgrDlg::kFirstWidth, CWavMgrDlg::kFirstHeight);
        deaf.show();
        QCoreApplication::processEvents();
        deaf.loadEntry(*cv, wavFolder);
        ok = save(context, QStringLiteral("editor-no-device"), settle(deaf)) && ok;
        deaf.hide();
    }
    if (quiet) {
        std::fclose(quiet);
    }
    return ok;
}

} // namespace lvshots
