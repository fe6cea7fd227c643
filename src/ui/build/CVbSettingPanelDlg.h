#pragma once

// The build panel ("Build Voice Bank"): shows and edits the project's build settings (wav locations,
// symbols to build, model folder, pitch list, voice bank folder, singer name) and starts "Build
// models" or "Build voice bank" in the progress dialog, after the dictionary checks and the choice
// of a log file.
//
// The main window opens it from Function ▸ Build Voice Bank through its makeBuildPanel hook, which
// installBuildAndUpdateHooks() (DesktopBuildHooks.h) sets to
//     auto* panel = new CVbSettingPanelDlg(currentProject(), parent); // deleted on close
// Any document will do (tests make the panel on the stack over a document of their own); the
// document must outlive the panel. reloadFromProject() fills the controls again after the
// document's model was replaced. The panel is a modeless tool window; when it is closed it sends
// its parent the "closed" message (8590, flag 1).
//
// Fields are stored into the document as the user edits them (filling never marks it modified).
// Folders that are relative are taken from the project file's folder when a command starts.

#include "model/ProjectDocument.h"
#include "ui/build/BuildRun.h"

#include <QWidget>

#include <optional>

class QCheckBox;
class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace TessarinEditor {

class CVbSettingPanelDlg : public QWidget {
    Q_OBJECT
public:
    explicit CVbSettingPanelDlg(ProjectDocument& document, QWidget* parent = nullptr);
    ~CVbSettingPanelDlg() override;

public Q_SLOTS:
    // Fills every control from the document's current project (the main window calls it by name
    // after Save As rewrote the stored folders).
    void reloadFromProject();

public:

    // The commands behind the buttons.
    void addWavLocation();
    void removeWavLocation();
    void chooseModelFolder();
    void chooseVoiceBankFolder();
    void buildModelFiles();
    void buildVoiceBank();

    // The inputs a command would get now, after the dictionary checks; none (and the error box
    // shown) when a check fails or there is no project.
    std::optional<BuildInputs> commandInputs(int mode);

    // Entries analysed at once by "Build models" (default: one per processor).
    void setJobs(int jobs) { m_jobs = jobs; }

    // The controls (for tests and pictures).
    QTableWidget& locationList() { return *m_locations; }
    QRadioButton& allSymbolsRadio() { return *m_allSymbols; }
    QRadioButton& listedSymbolsRadio() { return *m_listedSymbols; }
    QLineEdit& symbolsEdit() { return *m_symbols; }
    QLineEdit& modelFolderEdit() { return *m_modelFolder; }
    QCheckBox& overwriteCheck() { return *m_overwrite; }
    QLineEdit& pitchEdit() { return *m_pitches; }
    QLineEdit& voiceBankFolderEdit() { return *m_voiceBankFolder; }
    QLineEdit& singerEdit() { return *m_singer; }
    QPushButton& buildModelsButton() { return *m_buildModels; }
    QPushButton& buildBankButton() { return *m_buildBank; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Folders dropped onto the "Wav Locations" group are added as wav locations.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void fillLocations();
    // The local folders dropped at pos (panel coordinates) onto the "Wav Locations" group.
    QStringList droppedLocations(const QMimeData* data, const QPoint& pos) const;
    void startCommand(int mode);

    ProjectDocument& m_document;
    int m_jobs;
    QTableWidget* m_locations;
    QWidget* m_locationGroup = nullptr;
    QPushButton* m_add;
    QPushButton* m_remove;
    QRadioButton* m_allSymbols;
    QRadioButton* m_listedSymbols;
    QLineEdit* m_symbols;
    QPushButton* m_modelFolderButton;
    QLineEdit* m_modelFolder;
    QCheckBox* m_overwrite;
    QPushButton* m_buildModels;
    QLineEdit* m_pitches;
    QPushButton* m_voiceBankFolderButton;
    QLineEdit* m_voiceBankFolder;
    QLineEdit* m_singer;
    QPushButton* m_buildBank;
};

} // namespace TessarinEditor
