// The main window with each of its menus open, the voice configuration list on a demo folder
// sorted by pitch, the two entry dialogs, and the dictionary window on each of its tabs.

#include "Screenshots.h"
#include "ui/windows/CTSToolBoxEditDlgs.h"
#include "ui/windows/CTsDictSettingDlg.h"
#include "ui/windows/CTsOtoSetingDlg.h"
#include "ui/windows/CTsToolBoxAppMainFrame.h"
#include "ui/windows/CurrentProject.h"

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTabWidget>

using namespace TessarinEditor;

namespace lvshots {

namespace {

QImage grabWindow(QWidget& window)
{
    window.show();
    QCoreApplication::processEvents();
    return window.grab().toImage();
}

// The strip with one menu open below its title.
QImage withMenuOpen(CTsToolBoxAppMainFrame& frame, QAction* menuAction)
{
    QMenu* menu = menuAction->menu();
    const QImage strip = grabWindow(frame);
    menu->adjustSize();
    const QImage popup = menu->grab().toImage();
    const QRect title = frame.menuBar()->actionGeometry(menuAction);
    QImage out(std::max(strip.width(), title.x() + popup.width()), strip.height() + popup.height(), QImage::Format_RGB32);
    out.fill(QColor(235, 235, 235));
    QPainter p(&out);
    p.drawImage(0, 0, strip);
    p.fillRect(title.translated(0, frame.menuBar()->y()), QColor(48, 140, 198, 90));
    p.drawImage(title.x(), strip.height(), popup);
    return out;
}

} // namespace

bool mainWindowScene(const Context& context)
{
    bool ok = true;
    const std::filesystem::path settings = context.outDir / "settings";
    std::filesystem::create_directories(settings);
    qputenv("LVTB_CONFIG_DIR", QByteArray::fromStdString(settings.string()));
    qputenv("LVTB_UPDATE_HOST", QByteArray());

    CTsToolBoxAppMainFrame frame;
    frame.openProjectFile(QString::fromStdString((context.demoDir / "demo.lvtb").string()));
    const QList<QAction*> menus = frame.menuBar()->actions();
    const char* names[] = {"main-window-menu-file", "main-window-menu-function", "main-window-menu-preference",
                           "main-window-menu-help"};
    for (int i = 0; i < menus.size() && i < 4; ++i) {
        ok = save(context, QString::fromUtf8(names[i]), withMenuOpen(frame, menus[i])) && ok;
    }

    // The list on the first demo folder, sorted by pitch (decreasing, as the first click does), with
    // the form filled from the first row.
    frame.commandAction(Cmd::kVoiceConfig)->trigger();
    if (CTsOtoSetingDlg* list = frame.configurationList()) {
        list->resize(720, 560);
        const std::filesystem::path folder = demoRecording(context).parent_path();
        list->loadWavLocation(QString::fromStdString(folder.string()));
        list->sortByColumn(CTsOtoSetingDlg::kColPitch);
        list->loadRowIntoForm(0);
        ok = save(context, QStringLiteral("voice-config-list"), grabWindow(*list)) && ok;
        list->close();
    }

    CTSToolBoxEditCvDlg cv;
    cv.prepare(QStringLiteral("ka"), QStringLiteral("C4"), QStringLiteral("Rename"), QStringLiteral("CV"));
    ok = save(context, QStringLiteral("entry-dialog-cv-rename"), grabWindow(cv)) && ok;
    CTSToolBoxEditCvDlg indie;
    indie.prepare(QStringLiteral("breath"), QStringLiteral("C4"), QStringLiteral("Copy"), QStringLiteral("Independent"));
    ok = save(context, QStringLiteral("entry-dialog-independent-copy"), grabWindow(indie)) && ok;
    CTSToolBoxEditVxDlg vx;
    vx.prepare(QStringLiteral("a"), QStringLiteral("k"), QStringLiteral("C4"), QStringLiteral("Rename"));
    ok = save(context, QStringLiteral("entry-dialog-vx-rename"), grabWindow(vx)) && ok;

    frame.commandAction(Cmd::kPhoneticDictionary)->trigger();
    if (CTsDictSettingDlg* dict = frame.dictionary()) {
        for (int tab = 0; tab < CTsDictSettingDlg::kPageCount; ++tab) {
            dict->tabs().setCurrentIndex(tab);
            ok = save(context, QStringLiteral("dictionary-tab-%1").arg(tab + 1), grabWindow(*dict)) && ok;
        }
        dict->close();
    }
    frame.hide();
    return ok;
}

} // namespace lvshots
