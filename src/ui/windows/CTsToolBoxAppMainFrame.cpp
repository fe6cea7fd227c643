#include "ui/windows/CTsToolBoxAppMainFrame.h"

#include "audio/AudioReader.h"
#include "audio/AudioSrc.h"
#include "audio/CWavBuf.h"
#include "audio/PortAudioLibrary.h"
#include "model/CAppConfigModel.h"
#include "model/Language.h"
#include "model/ProjectPaths.h"
#include "ui/windows/CCoverageDlg.h"
#include "ui/windows/CTsDictSettingDlg.h"
#include "ui/windows/CTsOtoSetingDlg.h"
#include "ui/windows/CurrentProject.h"
#include "ui/windows/ToolWindowPlaces.h"
#include "ui/toolkit/Prompter.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QGuiApplication>
#include <QMetaObject>
#include <QScreen>

#include <algorithm>
#include <optional>
#include <string>

namespace TessarinEditor {

namespace {

constexpr int kFrameWidth = 700;
constexpr qsizetype kTitlePathLimit = 54;
constexpr qsizetype kTitlePathHead = 20;
constexpr qsizetype kTitlePathTail = 30;
const char* const kCreditLine = " A tool for building voice banks of sung recordings. ";

QString toQString(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

std::filesystem::path toPath(const QString& path)
{
    return std::filesystem::path(path.toStdString());
}

// The first local project file among the dropped items.
std::optional<ToolWindow> toolWindowOf(int number)
{
    switch (number) {
    case Msg::kWaveEditor: return ToolWindow::editor;
    case Msg::kVoiceCfgList: return ToolWindow::list;
    case Msg::kBuildPanel: return ToolWindow::buildPanel;
    case Msg::kDictionary: return ToolWindow::dictionary;
    case Msg::kCoverageWindow: return ToolWindow::coverage;
    default: return std::nullopt;
    }
}

std::optional<QString> droppedProject(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls()) {
        return std::nullopt;
    }
    for (const QUrl& url : data->urls()) {
        const QString file = url.toLocalFile();
        if (!file.isEmpty() && file.endsWith(QStringLiteral(".lvtb"), Qt::CaseInsensitive) && QFileInfo(file).isFile()) {
            return file;
        }
    }
    return std::nullopt;
}

void playResourceSound(ConfirmationSound sound)
{
    const QString name = sound == ConfirmationSound::EntryStored ? QStringLiteral(":/sounds/entry-stored.wav")
                                                                 : QStringLiteral(":/sounds/entry-opened.wav");
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QByteArray bytes = file.readAll();
    CWavBuf wav;
    if (!readRiffBytes(std::span(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                 static_cast<std::size_t>(bytes.size())),
                       wav)) {
        return;
    }
    const std::vector<std::int16_t> samples = pcm16Samples(wav);
    PortAudioLibrary::process().playSound(samples);
}

} // namespace

QString mainFrameTitle(const QString& path, bool modified)
{
    QString shown = path;
    if (shown.size() > kTitlePathLimit) {
        shown = path.left(kTitlePathHead) + QStringLiteral("...") + path.right(kTitlePathTail);
    }
    QString title = QStringLiteral("Lirvane ToolBox - [") + shown + QStringLiteral("]");
    if (modified) {
        title += QStringLiteral(" *");
    }
    return title;
}

MainFrameHooks& defaultMainFrameHooks()
{
    static MainFrameHooks hooks;
    return hooks;
}

CTsToolBoxAppMainFrame::CTsToolBoxAppMainFrame(MainFrameHooks hooks) : m_hooks(std::move(hooks))
{
    // A caption, a system menu, a minimise box; no maximise box and no sizing border.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(QIcon(QStringLiteral(":/icons/lirvane-toolbox.png")));
    setAcceptDrops(true);

    loadLanguage(config().langFilePath);
    buildMenus();
    // The strip is as high as its menu bar: nothing else is inside.
    menuBar()->adjustSize();
    move(0, 0);
    setFixedSize(kFrameWidth, menuBar()->sizeHint().height());
    setWindowTitle(QStringLiteral("Lirvane ToolBox"));

    currentProject().onTitleChanged = [this] { refreshTitle(); };
    currentProject().messages.translate = translated;
    currentProject().messages.show = [this](std::string_view text, std::string_view caption) {
        prompter().error(this, QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                         QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    };

    m_updateChecker.start(lvupdate::defaultUpdateCheckSettings(std::string(kProgramVersion)));
    // New project; at start-up nothing can be modified yet, so there is nothing to ask.
    installProject(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(), {});
}

CTsToolBoxAppMainFrame::~CTsToolBoxAppMainFrame()
{
    // The checker reports to this window from its thread: no report may come once it is gone.
    m_updateChecker.stop();
    currentProject().onTitleChanged = nullptr;
    currentProject().messages.show = nullptr;
    // The tool windows are Qt children of this window and go with it; the editor first, as on
    // closing (it stops its streams when destroyed).
    delete m_waveEditor.data();
}

void CTsToolBoxAppMainFrame::buildMenus()
{
    menuBar()->setNativeMenuBar(false);
    const auto add = [this](QMenu* menu, const char* text, int id) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setData(id);
        m_actions[id] = action;
        return action;
    };
    // The desktop's standard keys, and the usual one where this desktop has none (some give Save
    // As or Quit no key). They work from every window of the program, not only this strip.
    const auto keys = [](QAction* action, QKeySequence::StandardKey standard, const QKeySequence& usual) {
        QList<QKeySequence> sequences = QKeySequence::keyBindings(standard);
        if (!sequences.contains(usual)) {
            sequences.append(usual);
        }
        action->setShortcuts(sequences);
        action->setShortcutContext(Qt::ApplicationShortcut);
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* newAction = add(file, "&New", Cmd::kNew);
    keys(newAction, QKeySequence::New, QKeySequence(Qt::CTRL | Qt::Key_N));
    connect(newAction, &QAction::triggered, this, [this] { newProject(); });
    QAction* openAction = add(file, "&Open", Cmd::kOpen);
    keys(openAction, QKeySequence::Open, QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(openAction, &QAction::triggered, this, [this] { openProject(); });
    m_recentMenu = file->addMenu(QStringLiteral("Open &Recent"));
    connect(m_recentMenu, &QMenu::aboutToShow, this, [this] { fillRecentMenu(); });
    QAction* saveAction = add(file, "&Save", Cmd::kSave);
    keys(saveAction, QKeySequence::Save, QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(saveAction, &QAction::triggered, this, [this] { save(); });
    QAction* saveAsAction = add(file, "Save &As", Cmd::kSaveAs);
    keys(saveAsAction, QKeySequence::SaveAs, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    connect(saveAsAction, &QAction::triggered, this, [this] { saveAs(); });
    file->addSeparator();
    m_exitAction = file->addAction(QStringLiteral("E&xit"));
    keys(m_exitAction, QKeySequence::Quit, QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Closing asks the save prompt first; Cancel keeps the program open.
    connect(m_exitAction, &QAction::triggered, this, [this] { close(); });

    // The Function items only ask for their window; the "show" messages make it.
    QMenu* function = menuBar()->addMenu(QStringLiteral("F&unction"));
    const auto showMessage = [this](int number) {
        return [this, number] {
            ToolWindowEvent show(number, 0);
            QCoreApplication::sendEvent(this, &show);
        };
    };
    connect(add(function, "Phonetic &Dictionary", Cmd::kPhoneticDictionary), &QAction::triggered, this,
            showMessage(Msg::kDictionary));
    connect(add(function, "Build Voice &Config", Cmd::kVoiceConfig), &QAction::triggered, this,
            showMessage(Msg::kVoiceCfgList));
    connect(add(function, "Build Voice &Bank", Cmd::kBuildVoiceBank), &QAction::triggered, this,
            showMessage(Msg::kBuildPanel));
    connect(add(function, "Co&verage", Cmd::kCoverage), &QAction::triggered, this, showMessage(Msg::kCoverageWindow));

    QMenu* preference = menuBar()->addMenu(QStringLiteral("&Preference"));
    add(preference, "&Language", Cmd::kLanguage)->setEnabled(false); // no handler
    // The wave editor's spectrogram: kept in app.cfg and handed to an open editor at once.
    const auto editorPreferencesChanged = [this] {
        saveConfig();
        if (m_waveEditor) {
            QMetaObject::invokeMethod(m_waveEditor, "applyPreferences");
        }
    };
    QMenu* top = preference->addMenu(QStringLiteral("Spectrogram &Top Frequency"));
    auto* tops = new QActionGroup(top);
    for (const int hz : {22050, 16000, 11025, 8000, 5000}) {
        QAction* item = top->addAction(hz == CAppConfigModel::kDefaultSpectrogramTop
                                           ? QStringLiteral("22.05 kHz (all)")
                                           : QStringLiteral("%1 kHz").arg(double(hz) / 1000.0));
        item->setCheckable(true);
        item->setChecked(config().spectrogramTopFrequency == hz);
        item->setData(hz);
        tops->addAction(item);
        connect(item, &QAction::triggered, this, [hz, editorPreferencesChanged] {
            config().spectrogramTopFrequency = hz;
            editorPreferencesChanged();
        });
    }
    QAction* overlay = preference->addAction(QStringLiteral("Show &f0 Over the Spectrogram"));
    overlay->setCheckable(true);
    overlay->setChecked(config().showF0Overlay);
    connect(overlay, &QAction::toggled, this, [editorPreferencesChanged](bool on) {
        config().showF0Overlay = on;
        editorPreferencesChanged();
    });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    connect(add(help, "&About", Cmd::kAbout), &QAction::triggered, this, [this] { about(); });
    fillRecentMenu();
}

void CTsToolBoxAppMainFrame::fillRecentMenu()
{
    m_recentMenu->clear();
    const std::vector<std::string>& recent = config().recentProjects;
    int number = 0;
    for (const std::string& path : recent) {
        if (number == kRecentProjects) {
            break;
        }
        ++number;
        const QString file = QString::fromStdString(path);
        // "&1 /path": the digit is the item's key; a path's own "&" shows as it is.
        QString text = file;
        text.replace(QStringLiteral("&"), QStringLiteral("&&"));
        QAction* item = m_recentMenu->addAction(QStringLiteral("&%1 %2").arg(number).arg(text));
        item->setData(file);
        // A project that is gone stays listed, greyed, so the list does not change under the user.
        item->setEnabled(QFileInfo(file).isFile());
        connect(item, &QAction::triggered, this, [this, file] { openRecentProject(file); });
    }
    m_recentMenu->setEnabled(number > 0);
}

bool CTsToolBoxAppMainFrame::openRecentProject(const QString& path)
{
    if (savePrompt() == PromptResult::Cancel) {
        return false;
    }
    return openProjectFile(path);
}

void CTsToolBoxAppMainFrame::rememberRecentProject(const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    const std::string file = (ec ? path : absolute).lexically_normal().string();
    std::vector<std::string>& recent = config().recentProjects;
    recent.erase(std::remove(recent.begin(), recent.end(), file), recent.end());
    recent.insert(recent.begin(), file);
    if (recent.size() > std::size_t(kRecentProjects)) {
        recent.resize(std::size_t(kRecentProjects));
    }
    saveConfig();
    fillRecentMenu();
}

QAction* CTsToolBoxAppMainFrame::commandAction(int id) const
{
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

CTsOtoSetingDlg* CTsToolBoxAppMainFrame::configurationList() const
{
    return static_cast<CTsOtoSetingDlg*>(m_configurationList.data());
}

CTsDictSettingDlg* CTsToolBoxAppMainFrame::dictionary() const
{
    return static_cast<CTsDictSettingDlg*>(m_dictionary.data());
}

CCoverageDlg* CTsToolBoxAppMainFrame::coverage() const
{
    return static_cast<CCoverageDlg*>(m_coverage.data());
}

QPointer<QWidget>* CTsToolBoxAppMainFrame::toolWindowSlot(int number)
{
    switch (number) {
    case Msg::kWaveEditor: return &m_waveEditor;
    case Msg::kVoiceCfgList: return &m_configurationList;
    case Msg::kBuildPanel: return &m_buildPanel;
    case Msg::kDictionary: return &m_dictionary;
    case Msg::kCoverageWindow: return &m_coverage;
    default: return nullptr;
    }
}

void CTsToolBoxAppMainFrame::refreshTitle()
{
    const ProjectDocument& document = currentProject();
    // A new project shows "untitled.lvtb"; its modified mark shows as well, so that typing into a
    // new project's dictionary is not mistaken for nothing to save.
    const QString path = document.path().empty() ? QStringLiteral("untitled.lvtb") : toQString(document.path());
    setWindowTitle(mainFrameTitle(path, document.isModified()));
}

CTsToolBoxAppMainFrame::PromptResult CTsToolBoxAppMainFrame::savePrompt()
{
    // The editor first, while the list that stores its entry is still there: closing it asks about
    // markers moved and not stored, and a Cancel there keeps the project as well.
    if (QWidget* editor = m_waveEditor.data(); editor != nullptr && editor->isVisible() && !editor->close()) {
        return PromptResult::Cancel;
    }
    if (!currentProject().isModified()) {
        return PromptResult::Go;
    }
    const Prompter::Answer answer =
        prompter().message(this, QStringLiteral("File has been modified, save changes?"), QStringLiteral("Save changes?"),
                           Prompter::Icon::Question, Prompter::Buttons::YesNoCancel);
    switch (answer) {
    case Prompter::Answer::Yes:
        // A save that did not happen (chooser cancelled, disk full) must not let the changes go.
        return save() ? PromptResult::Go : PromptResult::Cancel;
    case Prompter::Answer::No: return PromptResult::Go;
    default: return PromptResult::Cancel;
    }
}

void CTsToolBoxAppMainFrame::installProject(std::unique_ptr<TSTBCurrentModel::CTsToolBoxProjModel> model,
                                            const std::filesystem::path& path)
{
    currentProject().replaceModel(std::move(model), path, false);
    // No tool window may keep showing entries or texts of the previous project.
    closeToolWindows();
    refreshTitle();
}

void CTsToolBoxAppMainFrame::closeToolWindows()
{
    for (QPointer<QWidget>* window : {&m_configurationList, &m_buildPanel, &m_waveEditor, &m_dictionary, &m_coverage}) {
        if (QWidget* w = window->data()) {
            w->close();
            // A window that kept itself open on close (or never reported it) is still not shown
            // with the new project.
            if (!w->isHidden()) {
                w->hide();
            }
            w->deleteLater();
            *window = nullptr;
        }
    }
}

bool CTsToolBoxAppMainFrame::newProject()
{
    if (savePrompt() == PromptResult::Cancel) {
        return false;
    }
    installProject(std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(), {});
    return true;
}

bool CTsToolBoxAppMainFrame::openProject()
{
    if (savePrompt() == PromptResult::Cancel) {
        return false;
    }
    Prompter::FileRequest request;
    request.title = QStringLiteral("Open File");
    request.nameFilters = {QStringLiteral("All supported files(*.lvtb)"), QStringLiteral("LirvaneToolBox(*.lvtb)")};
    const std::optional<QString> chosen = prompter().openFile(this, request);
    if (!chosen) {
        return false;
    }
    return openProjectFile(*chosen);
}

bool CTsToolBoxAppMainFrame::openProjectFile(const QString& path)
{
    const std::filesystem::path file = toPath(path);
    ProjectReadResult result = readProjectFile(file);
    switch (result.status) {
    case ProjectReadStatus::ok:
        installProject(std::move(result.model), file);
        rememberRecentProject(file);
        return true;
    case ProjectReadStatus::newerVersion: showHighVersionMessage(currentProject().messages); return false;
    case ProjectReadStatus::notProjectFile:
        prompter().error(this, path + QStringLiteral("\nis not a Lirvane ToolBox project file."));
        return false;
    case ProjectReadStatus::cannotOpen:
        prompter().error(this, path + QStringLiteral("\ncannot be opened."));
        return false;
    }
    return false;
}

void CTsToolBoxAppMainFrame::openStartupProject(const QStringList& arguments)
{
    if (arguments.size() > 1 && !arguments.at(1).isEmpty()) {
        openProjectFile(arguments.at(1));
    }
}

bool CTsToolBoxAppMainFrame::save()
{
    ProjectDocument& document = currentProject();
    if (document.path().empty()) {
        return saveAs();
    }
    // Another program (lvtb project set, another window) may have changed the file since it was read
    // or saved here; saving over it without a word would lose that change.
    std::optional<ProjectDocument::FileStamp> accepted;
    for (;;) {
        switch (document.saveUnlessChanged(accepted)) {
        case ProjectDocument::SaveOutcome::saved:
            refreshTitle();
            return true;
        case ProjectDocument::SaveOutcome::failed:
            prompter().error(this, toQString(document.path()) + QStringLiteral("\ncannot be written. The project is not saved."));
            return false;
        case ProjectDocument::SaveOutcome::changedOnDisk:
            break;
        }
        const ProjectDocument::FileStamp seen = ProjectDocument::stampOf(document.path());
        const Prompter::Answer answer = prompter().message(
            this,
            toQString(document.path()) +
                QStringLiteral("\nhas been changed by another program since it was opened or saved here.\n\n"
                               "Yes: reload it (the changes made in this window are lost)\n"
                               "No: save over it (the other program's changes are lost)\n"
                               "Cancel: neither"),
            QStringLiteral("Project changed on disk"), Prompter::Icon::Warning, Prompter::Buttons::YesNoCancel);
        if (answer == Prompter::Answer::Yes) {
            // The file as it now stands becomes the project; nothing is left to save.
            return openProjectFile(toQString(document.path()));
        }
        if (answer != Prompter::Answer::No) {
            return false;
        }
        accepted = seen; // saved over as it was when asked; a further change is asked about again
    }
}

bool CTsToolBoxAppMainFrame::saveAs()
{
    ProjectDocument& document = currentProject();
    Prompter::FileRequest request;
    request.title = QStringLiteral("Save as");
    request.nameFilters = {QStringLiteral("Lirvane ToolBox File(*.lvtb)")};
    request.defaultSuffix = QStringLiteral("lvtb");
    const std::optional<QString> chosen = prompter().saveFile(this, request);
    if (!chosen || document.model() == nullptr) {
        return false;
    }
    const std::filesystem::path path = toPath(*chosen);
    // Relative folders are taken from the project file's folder: in another folder they are
    // rewritten so that each still names the place it named before.
    auto model = std::make_unique<TSTBCurrentModel::CTsToolBoxProjModel>(*document.model());
    rebaseProjectFolders(*model, document.path(), path);
    if (saveProject(*model, path) != 0) {
        prompter().error(this, *chosen + QStringLiteral("\ncannot be written. The project is not saved."));
        return false;
    }
    // The model moves into the document again under its new path, unmodified.
    document.replaceModel(std::move(model), path, false);
    refreshTitle();
    rememberRecentProject(path);
    // The build panel shows the folders as they are now stored.
    if (QWidget* panel = m_buildPanel.data()) {
        QMetaObject::invokeMethod(panel, "reloadFromProject", Qt::DirectConnection);
    }
    return true;
}

void CTsToolBoxAppMainFrame::about()
{
    const QString text = QStringLiteral(" Lirvane ToolBox  \n\n ver: ") + QString::fromUtf8(kProgramVersion.data(), static_cast<qsizetype>(kProgramVersion.size())) +
                         QStringLiteral("\n\n") + QString::fromUtf8(kCreditLine);
    prompter().message(this, text, QStringLiteral("^_^"), Prompter::Icon::Information, Prompter::Buttons::Ok);
}

void CTsToolBoxAppMainFrame::showToolWindow(int number)
{
    QPointer<QWidget>* slot = toolWindowSlot(number);
    if (slot == nullptr) {
        return;
    }
    if (slot->isNull()) {
        QWidget* made = nullptr;
        switch (number) {
        case Msg::kWaveEditor: made = m_hooks.makeWaveEditor ? m_hooks.makeWaveEditor(this) : nullptr; break;
        case Msg::kVoiceCfgList: made = new CTsOtoSetingDlg(this); break;
        case Msg::kBuildPanel: made = m_hooks.makeBuildPanel ? m_hooks.makeBuildPanel(this) : nullptr; break;
        case Msg::kDictionary: made = new CTsDictSettingDlg(this); break;
        case Msg::kCoverageWindow: made = new CCoverageDlg(this); break;
        default: break;
        }
        if (made == nullptr) {
            return;
        }
        *slot = made;
        // Placed before it shows, so that it does not jump; once shown its frame is known, and the
        // place is made again to hold the frame too.
        placeToolWindow(*made, number);
        made->show();
        if (made->frameGeometry() != made->geometry()) {
            placeToolWindow(*made, number);
        }
    }
    QWidget* window = slot->data();
    window->show();
    window->raise();
    window->activateWindow();
}

QRect CTsToolBoxAppMainFrame::availableArea(const QRect& near) const
{
    if (m_hooks.availableGeometry) {
        return m_hooks.availableGeometry();
    }
    // The screen that holds the place, when one still does; else the main window's.
    if (near.isValid()) {
        if (const QScreen* there = QGuiApplication::screenAt(near.center())) {
            return there->availableGeometry();
        }
    }
    const QScreen* own = screen() != nullptr ? screen() : QGuiApplication::primaryScreen();
    return own != nullptr ? own->availableGeometry() : QRect(0, 0, 1366, 768);
}

void CTsToolBoxAppMainFrame::placeToolWindow(QWidget& window, int number)
{
    const std::optional<ToolWindow> which = toolWindowOf(number);
    if (!which) {
        return;
    }
    // Places are of the frame, as the user sees the window; the frame is known once it is shown.
    const QRect inside = window.geometry();
    const QRect outside = window.frameGeometry();
    const QMargins frame(inside.left() - outside.left(), inside.top() - outside.top(),
                         outside.right() - inside.right(), outside.bottom() - inside.bottom());
    const QSize frameSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    const auto& places = config().windowPlaces;
    const auto remembered = places.find(std::string(toolWindowName(*which)));
    QRect place;
    if (remembered != places.end()) {
        const CAppConfigModel::WindowPlace& p = remembered->second;
        const QRect was = QRect(p.x, p.y, p.width, p.height).marginsAdded(frame);
        place = keptOnScreen(was, availableArea(was));
    } else {
        // Below the main window's strip, side by side with the other tool windows.
        QRect area = availableArea({});
        area.setTop(std::max(area.top(), frameGeometry().bottom() + 1 + kColumnGap));
        const QSize partner = *which == ToolWindow::buildPanel ? CTsDictSettingDlg::leastSize() + frameSize : QSize();
        place = firstToolWindowPlace(*which, area, window.minimumSizeHint().expandedTo(window.minimumSize()) + frameSize,
                                     partner);
    }
    QRect wanted = place.marginsRemoved(frame);
    wanted.setSize(wanted.size().expandedTo(window.minimumSize()));
    window.setGeometry(wanted);
}

void CTsToolBoxAppMainFrame::rememberPlace(int number, const QWidget& window)
{
    const std::optional<ToolWindow> which = toolWindowOf(number);
    if (!which || !window.isVisible()) {
        return;
    }
    const QRect g = window.geometry();
    config().windowPlaces[std::string(toolWindowName(*which))] =
        CAppConfigModel::WindowPlace{g.x(), g.y(), g.width(), g.height()};
    saveConfig();
}

void CTsToolBoxAppMainFrame::toolWindowClosed(int number)
{
    QPointer<QWidget>* slot = toolWindowSlot(number);
    if (slot == nullptr) {
        return;
    }
    // The window reports its closing from its close event, while it still stands where it was.
    if (const QWidget* window = slot->data()) {
        rememberPlace(number, *window);
    }
    *slot = nullptr;
}

void CTsToolBoxAppMainFrame::playSound(ConfirmationSound sound)
{
    if (m_hooks.playSound) {
        m_hooks.playSound(sound);
    } else {
        playResourceSound(sound);
    }
}

void CTsToolBoxAppMainFrame::editEntry(const EntryEvent& event)
{
    const WaitCursor wait;
    const int kind = event.entry->kind();
    if (kind != CTsVoiceCfg::kCV && kind != CTsVoiceCfg::kINDIE && kind != CTsVoiceCfg::kVX) {
        return;
    }
    ToolWindowEvent show(Msg::kWaveEditor, 0);
    QCoreApplication::sendEvent(this, &show);
    QWidget* editor = m_waveEditor.data();
    if (editor == nullptr) {
        return;
    }
    EntryEvent load(Msg::kEditEntry, *event.entry, event.wavFolder);
    QCoreApplication::sendEvent(editor, &load);
    playSound(ConfirmationSound::EntryOpened);
    editor->raise();
    editor->activateWindow();
}

void CTsToolBoxAppMainFrame::openListForm(const ListFormEvent& event)
{
    ToolWindowEvent show(Msg::kVoiceCfgList, 0);
    QCoreApplication::sendEvent(this, &show);
    if (QWidget* list = m_configurationList.data()) {
        ListFormEvent form(event.folder, event.kind, event.symbol, event.pitch);
        QCoreApplication::sendEvent(list, &form);
    }
}

void CTsToolBoxAppMainFrame::storeEntry(const EntryEvent& event)
{
    CTsOtoSetingDlg* list = configurationList();
    if (list == nullptr) {
        return;
    }
    const WaitCursor wait;
    if (list->storeEntry(*event.entry, event.wavFolder)) {
        playSound(ConfirmationSound::EntryStored);
    }
}

void CTsToolBoxAppMainFrame::moveToNeighbour(const EntryEvent& event)
{
    CTsOtoSetingDlg* list = configurationList();
    if (list == nullptr) {
        return;
    }
    const WaitCursor wait;
    list->moveToNeighbour(*event.entry, event.wavFolder, listDirectionFromMoveFlag(event.flag));
}

void CTsToolBoxAppMainFrame::storeAndNext(const EntryEvent& event)
{
    CTsOtoSetingDlg* list = configurationList();
    if (list == nullptr) {
        return;
    }
    const WaitCursor wait;
    // The same confirmation as a plain store: the user hears that the entry was kept before the
    // next one opens.
    if (list->storeAndMoveNext(*event.entry, event.wavFolder)) {
        playSound(ConfirmationSound::EntryStored);
    }
}

void CTsToolBoxAppMainFrame::updateAvailable(const std::string& latestVersion, const std::string& downloadUrl)
{
    // On the request thread: hand copies to the window thread.
    QCoreApplication::postEvent(this,
                                new UpdateAvailableEvent(QString::fromStdString(latestVersion), QString::fromStdString(downloadUrl)));
}

bool CTsToolBoxAppMainFrame::event(QEvent* event)
{
    const int type = static_cast<int>(event->type());
    switch (type) {
    case Msg::kWaveEditor:
    case Msg::kVoiceCfgList:
    case Msg::kBuildPanel:
    case Msg::kDictionary:
    case Msg::kCoverageWindow: {
        const auto* e = static_cast<ToolWindowEvent*>(event);
        if (e->flag == 0) {
            showToolWindow(type);
        } else {
            toolWindowClosed(type);
        }
        return true;
    }
    case Msg::kEditEntry: editEntry(*static_cast<EntryEvent*>(event)); return true;
    case Msg::kOpenListForm: openListForm(*static_cast<ListFormEvent*>(event)); return true;
    case Msg::kBuildEnded:
        if (CCoverageDlg* counts = coverage()) {
            counts->refresh();
        }
        return true;
    case Msg::kStoreEntry: storeEntry(*static_cast<EntryEvent*>(event)); return true;
    case Msg::kMoveToNeighbour: moveToNeighbour(*static_cast<EntryEvent*>(event)); return true;
    case Msg::kStoreAndNext: storeAndNext(*static_cast<EntryEvent*>(event)); return true;
    case Msg::kAddWavLocation: {
        // As the build panel's "+" does; the panel, when open, shows the new list.
        const QString& folder = static_cast<FolderEvent*>(event)->folder;
        if (currentProject().addWavLocation(folder.toUtf8().toStdString())) {
            if (QWidget* panel = m_buildPanel.data()) {
                QMetaObject::invokeMethod(panel, "reloadFromProject", Qt::DirectConnection);
            }
        }
        return true;
    }
    case Msg::kUpdateAvailable: {
        const auto* e = static_cast<UpdateAvailableEvent*>(event);
        m_latestVersion = e->version;
        m_downloadAddress = e->url;
        if (m_hooks.showUpdateDialog) {
            m_hooks.showUpdateDialog(this, m_latestVersion, m_downloadAddress);
        }
        return true;
    }
    default: return CUIFrameWnd::event(event);
    }
}

void CTsToolBoxAppMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedProject(event->mimeData())) {
        event->acceptProposedAction();
    }
}

void CTsToolBoxAppMainFrame::dropEvent(QDropEvent* event)
{
    const std::optional<QString> project = droppedProject(event->mimeData());
    if (!project) {
        return;
    }
    event->acceptProposedAction();
    if (savePrompt() == PromptResult::Cancel) {
        return;
    }
    openProjectFile(*project);
}

void CTsToolBoxAppMainFrame::closeEvent(QCloseEvent* event)
{
    m_updateChecker.stop();
    if (savePrompt() == PromptResult::Cancel) {
        event->ignore();
        return;
    }
    // Destroyed without a close of its own: its place is kept here.
    if (const QWidget* editor = m_waveEditor.data()) {
        rememberPlace(Msg::kWaveEditor, *editor);
    }
    delete m_waveEditor.data();
    m_waveEditor = nullptr;
    closeToolWindows();
    event->accept();
}

} // namespace TessarinEditor
