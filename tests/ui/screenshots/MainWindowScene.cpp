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
#include <QThread>
#include <QTableWidget>

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

// A copy of the demo folder in which one entry of each kind was never made and one recording is
// named after no unit: the list with its grey "no entry" rows (the form filled from the first of
// them), and the preview of "Make Entries" there.
bool filesWithoutEntryShots(const Context& context, CTsOtoSetingDlg& list, const std::filesystem::path& demoFolder)
{
    const std::filesystem::path folder = context.outDir / "files-without-entry";
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    std::filesystem::create_directories(folder);
    std::filesystem::copy(demoFolder, folder, std::filesystem::copy_options::recursive, ec);
    if (ec) {
        return false;
    }
    {
        CTsVoiceCfgMgr mgr;
        mgr.loadFolder(folder);
        std::vector<std::string> unmade;
        for (const int kind : {CTsVoiceCfg::kCV, CTsVoiceCfg::kVX, CTsVoiceCfg::kINDIE}) {
            for (const auto& [key, entry] : mgr.entryMap()) {
                if (entry->kind() == kind) {
                    unmade.push_back(key);
                    break;
                }
            }
        }
        std::string anyRecording;
        for (const std::string& key : unmade) {
            anyRecording = mgr.findKey(key)->wavName;
            mgr.removeKey(key);
        }
        if (!mgr.save() || anyRecording.empty()) {
            return false;
        }
        std::filesystem::copy_file(folder / anyRecording, folder / "take-07.wav", ec);
    }
    list.loadWavLocation(QString::fromStdString(folder.string()));
    int firstFile = 0;
    while (firstFile < list.table().rowCount() && !list.isFileRow(firstFile)) {
        ++firstFile;
    }
    list.table().selectRow(firstFile);
    list.table().scrollToBottom();
    list.loadRowIntoForm(firstFile);
    bool ok = save(context, QStringLiteral("voice-config-list-files-without-entry"), grabWindow(list));

    // The same folder checked, one entry given a pitch that is no pitch name so that a verdict fails.
    {
        CTsVoiceCfgMgr mgr;
        mgr.loadFolder(folder);
        if (!mgr.entries().empty()) {
            copyEntry(mgr, entryKey(*mgr.entries().front()), "ka", "H4");
        }
    }
    list.loadWavLocation(QString::fromStdString(folder.string()));
    list.checkFolder();
    for (int i = 0; i < 2400 && list.checkRunning(); ++i) {
        QThread::msleep(25);
        QCoreApplication::processEvents();
    }
    ok = !list.checkRunning() && ok;
    // Wide enough for the "Check" column, with the failing row in view.
    list.resize(900, 560);
    for (int row = 0; row < list.table().rowCount(); ++row) {
        if (list.table().item(row, CTsOtoSetingDlg::kColPitch)->text() == QStringLiteral("H4")) {
            list.table().scrollToItem(list.table().item(row, CTsOtoSetingDlg::kColNumber));
        }
    }
    ok = save(context, QStringLiteral("voice-config-list-checked"), grabWindow(list)) && ok;

    const TSTBCurrentModel::CTsToolBoxProjModel* project = currentProject().model();
    const PhoneticDictionary dictionary = project ? PhoneticDictionary::fromProject(*project) : PhoneticDictionary();
    CMakeEntriesDlg preview([&list, &dictionary](const std::string& pitch) {
        return planEntryScan(list.manager(), pitch, dictionary);
    });
    preview.prepare(list.pitchBox().text());
    ok = save(context, QStringLiteral("voice-config-list-make-entries"), grabWindow(preview)) && ok;
    preview.hide();
    return ok;
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
        ok = filesWithoutEntryShots(context, *list, folder) && ok;
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
