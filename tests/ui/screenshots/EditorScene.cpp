// The wave annotation editor over the demo's recordings: a CV, a VX and an INDIE entry, a zoomed-in
// view, one down to the single samples, and the overview's area in the middle of a drag.

#include "Screenshots.h"
#include "model/CTsVoiceCfgMgr.h"
#include "ui/toolkit/CUIBoard.h"
#include "ui/editor/CWavMgrDlg.h"
#include "ui/editor/CWavMgrView.h"
#include "ui/editor/UISignalNames.h"

#include <QCoreApplication>

#include <chrono>
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

// Lets the spectrogram finish its pictures and the window repaint, then grabs it.
QImage settle(CWavMgrDlg& dlg)
{
    dlg.view().spectrogram().builder().waitUntilIdle(std::chrono::seconds(30));
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

    CWavMgrDlg dlg;
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
    dlg.hide();
    return ok;
}

} // namespace lvshots
