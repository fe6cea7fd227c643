// The main window with each of its menus open (and File ▸ Open Recent), the voice configuration list
// on a demo folder sorted by pitch, the two entry dialogs, the dictionary window on each of its tabs
// and after a failed check, and the coverage window over a copy of the demo with units missing.

#include "Screenshots.h"
#include "model/CAppConfigModel.h"
#include "model/ProjectFile.h"
#include "model/ProjectPaths.h"
#include "ui/toolkit/Prompter.h"
#include "ui/windows/CCoverageDlg.h"
#include "ui/windows/CTSToolBoxEditDlgs.h"
#include "ui/windows/CTsDictSettingDlg.h"
#include "ui/windows/CTsOtoSetingDlg.h"
#include "ui/windows/CTsToolBoxAppMainFrame.h"
#include "ui/windows/CurrentProject.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QCoreApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTabWidget>
#include <QTableWidget>
#include <QThread>

#include <cstdio>

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
    }, list.manager().folder());
    preview.prepare(list.pitchBox().text());
    ok = save(context, QStringLiteral("voice-config-list-make-entries"), grabWindow(preview)) && ok;
    preview.hide();
    return ok;
}

// File with Open Recent open beside it.
QImage withRecentOpen(CTsToolBoxAppMainFrame& frame, QAction* fileAction)
{
    QMenu* file = fileAction->menu();
    QMenu* recent = frame.recentMenu();
    const QImage strip = grabWindow(frame);
    file->adjustSize();
    recent->adjustSize();
    // Open Recent fills itself as it opens.
    QMetaObject::invokeMethod(recent, "aboutToShow");
    recent->adjustSize();
    file->setActiveAction(recent->menuAction());
    const QImage filePopup = file->grab().toImage();
    const QImage recentPopup = recent->grab().toImage();
    const QRect title = frame.menuBar()->actionGeometry(fileAction);
    const QRect item = file->actionGeometry(recent->menuAction());
    const int recentX = title.x() + filePopup.width() - 2;
    const int recentY = strip.height() + item.y();
    QImage out(std::max(strip.width(), recentX + recentPopup.width()),
               std::max(strip.height() + filePopup.height(), recentY + recentPopup.height()), QImage::Format_RGB32);
    out.fill(QColor(235, 235, 235));
    QPainter p(&out);
    p.drawImage(0, 0, strip);
    p.fillRect(title.translated(0, frame.menuBar()->y()), QColor(48, 140, 198, 90));
    p.drawImage(title.x(), strip.height(), filePopup);
    p.drawImage(recentX, recentY, recentPopup);
    return out;
}

// Answers every question with OK (the dictionary check's message) and draws its text, so that the
// picture shows what the user reads.
class NotedPrompter : public Prompter {
public:
    QString lastText;
    Answer message(QWidget*, const QString& text, const QString&, Icon, Buttons) override
    {
        lastText = text;
        return Answer::Ok;
    }
    std::optional<QString> openFile(QWidget*, const FileRequest&) override { return std::nullopt; }
    std::optional<QString> saveFile(QWidget*, const FileRequest&) override { return std::nullopt; }
    std::optional<QString> chooseFolder(QWidget*, const QString&, const QString&) override { return std::nullopt; }
    int runModal(QDialog&) override { return 0; }
};

// A copy of the demo project with absolute folders, the pitch A4 added (nothing recorded there) and
// its models linked into a folder of their own without two of them.
std::filesystem::path coverageProject(const Context& context)
{
    const std::filesystem::path demoFile = context.demoDir / "demo.lvtb";
    ProjectReadResult read = readProjectFile(demoFile);
    if (read.status != ProjectReadStatus::ok) {
        return {};
    }
    TSTBCurrentModel::CTsToolBoxProjModel project = *read.model;
    resolveProjectFolders(project, demoFile);
    // Absolute: the project stores its model folder relative to itself otherwise.
    const std::filesystem::path scratch = std::filesystem::absolute(context.outDir / "coverage-scratch");
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
    std::filesystem::create_directories(scratch / "models", ec);
    for (const auto& model : std::filesystem::directory_iterator(project.modelFolder, ec)) {
        const std::string name = model.path().filename().string();
        if (name == "C4.a_k.LVModel" || name == "E4.ki.LVModel") {
            continue;
        }
        std::error_code linkError;
        std::filesystem::create_hard_link(model.path(), scratch / "models" / name, linkError);
        if (linkError) {
            std::filesystem::copy_file(model.path(), scratch / "models" / name, ec);
        }
    }
    project.modelFolder = (scratch / "models").string();
    project.pitchList = "C4,E4,G4,A4";
    const std::filesystem::path file = scratch / "coverage.lvtb";
    return saveProject(project, file) == 0 ? file : std::filesystem::path();
}

} // namespace

bool mainWindowScene(const Context& context)
{
    bool ok = true;
    const std::filesystem::path settings = context.outDir / "settings";
    std::filesystem::create_directories(settings);
    qputenv("LVTB_CONFIG_DIR", QByteArray::fromStdString(settings.string()));
    qputenv("LVTB_UPDATE_HOST", QByteArray());

    // Projects opened before, one of them since removed (greyed).
    config().recentProjects = {"/home/singer/voices/Lirvane-power.lvtb", "/home/singer/voices/Lirvane-soft.lvtb"};
    CTsToolBoxAppMainFrame frame;
    frame.openProjectFile(QString::fromStdString((context.demoDir / "demo.lvtb").string()));
    const QList<QAction*> menus = frame.menuBar()->actions();
    const char* names[] = {"main-window-menu-file", "main-window-menu-function", "main-window-menu-preference",
                           "main-window-menu-help"};
    for (int i = 0; i < menus.size() && i < 4; ++i) {
        ok = save(context, QString::fromUtf8(names[i]), withMenuOpen(frame, menus[i])) && ok;
    }
    if (!menus.isEmpty()) {
        ok = save(context, QStringLiteral("main-window-open-recent"), withRecentOpen(frame, menus[0])) && ok;
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
        // A check that fails opens the tab on the line; the picture adds the message below.
        NotedPrompter noted;
        {
            const PrompterScope scope(noted);
            QPlainTextEdit& voiced = dict->page(2).editor();
            const QString kept = voiced.toPlainText();
            voiced.setPlainText(kept + QStringLiteral("\nk"));
            dict->tabs().setCurrentIndex(0);
            dict->checkDictionary();
            const QImage window = grabWindow(*dict);
            QImage out(window.width(), window.height() + 48, QImage::Format_RGB32);
            out.fill(QColor(250, 250, 250));
            QPainter p(&out);
            p.drawImage(0, 0, window);
            p.setPen(QColor(170, 30, 30));
            p.drawText(QRect(8, window.height() + 4, window.width() - 16, 40), Qt::AlignLeft | Qt::TextWordWrap,
                       QStringLiteral("Error box: ") + noted.lastText);
            p.end();
            ok = save(context, QStringLiteral("dictionary-check-failed"), out) && ok;
            voiced.setPlainText(kept);
        }
        dict->close();
    }

    const std::filesystem::path withGaps = coverageProject(context);
    if (withGaps.empty() || !frame.openProjectFile(QString::fromStdString(withGaps.string()))) {
        std::fprintf(stderr, "screenshots: cannot write the coverage project\n");
        ok = false;
    } else {
        frame.commandAction(Cmd::kCoverage)->trigger();
        if (CCoverageDlg* coverage = frame.coverage()) {
            coverage->resize(640, 520);
            QElapsedTimer timer;
            timer.start();
            while (coverage->counting() && timer.elapsed() < 120000) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            }
            QCoreApplication::sendPostedEvents();
            coverage->problemTable().selectRow(0);
            ok = save(context, QStringLiteral("coverage-window"), grabWindow(*coverage)) && ok;
            coverage->close();
        }
    }
    frame.hide();
    // The project and its copy must not be left modified: nothing here was saved by the user.
    currentProject().replaceModel(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(), {});
    std::error_code ec;
    std::filesystem::remove_all(context.outDir / "coverage-scratch", ec);
    return ok;
}

} // namespace lvshots
