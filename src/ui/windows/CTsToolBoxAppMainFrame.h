#pragma once

// The main window: a 700-pixel strip at the top-left corner of the screen with the title (the
// project's path and its modified mark) and the menus. It owns the open project's file commands,
// one instance of each tool window, the update check, and relays the private messages between the
// tool windows (Messages.h).

#include "core/ProgramVersion.h"
#include "model/CTsToolBoxProjModel.h"
#include "ui/toolkit/CSignalWndProtocol.h"
#include "ui/toolkit/Messages.h"
#include "update/UpdateCheck.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>

class QAction;
class QMenu;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;

namespace TessarinEditor {

class CCoverageDlg;
class CTsDictSettingDlg;
class CTsOtoSetingDlg;

// The program's version, shown in the About box and sent with the update check.
using Tessarin::kProgramVersion;

// Menu command ids.
namespace Cmd {
inline constexpr int kNew = 32897;
inline constexpr int kOpen = 32898;
inline constexpr int kSave = 32899;
inline constexpr int kSaveAs = 32900;
inline constexpr int kVoiceConfig = 32901;
inline constexpr int kBuildVoiceBank = 32902;
inline constexpr int kAbout = 32903;
inline constexpr int kLanguage = 32904;
inline constexpr int kPhoneticDictionary = 32906;
inline constexpr int kCoverage = 32907;
} // namespace Cmd

// The two confirmation sounds.
enum class ConfirmationSound { EntryStored = 231, EntryOpened = 241 };

// "Lirvane ToolBox - [" + path + "]" and " *" when modified; a path longer than 54 characters is
// shown as its first 20, "..." and its last 30.
QString mainFrameTitle(const QString& path, bool modified);

// Windows and dialogs that other parts of the program make. Each may be left empty: the menu item
// or message that needs it then does nothing.
struct MainFrameHooks {
    // The wave annotation editor (CWavMgrDlg; src/app installs it) as a tool window owned by parent.
    // It takes the messages 8589 (an entry to load) as events and reports its closing with 8584,
    // flag 1.
    std::function<QWidget*(QWidget* parent)> makeWaveEditor;
    // The build panel, the same way (closing reported with 8590, flag 1).
    std::function<QWidget*(QWidget* parent)> makeBuildPanel;
    // The update dialog for a newer version and its download address.
    std::function<void(QWidget* parent, const QString& version, const QString& url)> showUpdateDialog;
    // Plays a confirmation sound; the default reads it from the program's resources and plays it
    // through the default stream.
    std::function<void(ConfirmationSound)> playSound;
    // The screen's available area where tool windows go; the default asks the screen of the main
    // window (or, for a remembered place, the screen that holds it).
    std::function<QRect()> availableGeometry;
};

// Hooks the program installs before it makes its main window (src/app does this).
MainFrameHooks& defaultMainFrameHooks();

class CTsToolBoxAppMainFrame : public CUIFrameWnd, private lvupdate::UpdateListener {
    Q_OBJECT
public:
    // Takes the hooks in force (defaultMainFrameHooks() unless given); starts the update check and
    // runs New project.
    explicit CTsToolBoxAppMainFrame(MainFrameHooks hooks = defaultMainFrameHooks());
    ~CTsToolBoxAppMainFrame() override;

    // File commands. Each returns false when it was abandoned or failed.
    bool newProject();
    bool openProject();
    bool save();
    bool saveAs();
    // Opens path without the dialog and without the save prompt (the command line's project).
    bool openProjectFile(const QString& path);
    // The program's arguments (the program's own name first): a project file named first is opened.
    void openStartupProject(const QStringList& arguments);
    void about();

    // The menu item of a command id, for tests and the program's own wiring.
    QAction* commandAction(int id) const;
    // File ▸ Open Recent (the last kRecentProjects projects; a missing one is greyed) and File ▸ Exit.
    QMenu* recentMenu() const { return m_recentMenu; }
    QAction* exitAction() const { return m_exitAction; }
    static constexpr int kRecentProjects = 8;
    // Opens a project of the Open Recent menu: the save prompt, then the file.
    bool openRecentProject(const QString& path);

    // The open tool windows (null when closed).
    QWidget* waveEditor() const { return m_waveEditor; }
    CTsOtoSetingDlg* configurationList() const;
    QWidget* buildPanel() const { return m_buildPanel; }
    CTsDictSettingDlg* dictionary() const;
    CCoverageDlg* coverage() const;

    const QString& latestVersion() const { return m_latestVersion; }
    const QString& downloadAddress() const { return m_downloadAddress; }

    void refreshTitle();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // A project file dropped onto the window opens, after the save prompt.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum class PromptResult { Go, Cancel };
    PromptResult savePrompt();
    void installProject(std::unique_ptr<TSTBCurrentModel::CTsToolBoxProjModel> model, const std::filesystem::path& path);
    void closeToolWindows();
    void showToolWindow(int number);
    void toolWindowClosed(int number);
    // Puts a new tool window at its remembered place (kept on screen) or at its first place.
    void placeToolWindow(QWidget& window, int number);
    // Writes where the window is now into the settings.
    void rememberPlace(int number, const QWidget& window);
    QRect availableArea(const QRect& near) const;
    QPointer<QWidget>* toolWindowSlot(int number);
    void openListForm(const ListFormEvent& event);
    void editEntry(const EntryEvent& event);
    void storeEntry(const EntryEvent& event);
    void moveToNeighbour(const EntryEvent& event);
    void storeAndNext(const EntryEvent& event);
    void playSound(ConfirmationSound sound);
    void updateAvailable(const std::string& latestVersion, const std::string& downloadUrl) override;
    void buildMenus();
    void fillRecentMenu();
    // Puts path first in the settings' recent projects (at most kRecentProjects) and saves them.
    void rememberRecentProject(const std::filesystem::path& path);

    MainFrameHooks m_hooks;
    QPointer<QWidget> m_waveEditor;
    QPointer<QWidget> m_configurationList;
    QPointer<QWidget> m_buildPanel;
    QPointer<QWidget> m_dictionary;
    QPointer<QWidget> m_coverage;
    std::map<int, QAction*> m_actions;
    QMenu* m_recentMenu = nullptr;
    QAction* m_exitAction = nullptr;
    QString m_latestVersion;
    QString m_downloadAddress;
    lvupdate::UpdateChecker m_updateChecker{*this};
};

} // namespace TessarinEditor
