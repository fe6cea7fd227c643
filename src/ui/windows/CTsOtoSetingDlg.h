#pragma once

// The voice configuration list ("Voice Config"): the entries of one folder of recordings. It loads
// the folder's voice.lvcfg, lists every entry, opens entries in the wave annotation editor through
// the main window (message 8589), stores what the editor sends back, and renames, copies and
// deletes entries. Every change goes to the file at once, through the entry functions of the model.
//
// Below the entries, greyed rows reading "no entry" show the folder's WAV files that no entry uses
// yet; choosing one fills the form for a new entry of it (the unit read from its name with the
// project's dictionary), and nothing is written until the author stores it.

#include "builder/FolderCheck.h"
#include "core/FileLock.h"
#include "model/CTsVoiceCfgMgr.h"
#include "ui/toolkit/CSignalWndProtocol.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

class QButtonGroup;
class QProgressBar;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace TessarinEditor {

class CTsOtoSetingDlg : public CSignalDlgImp {
    Q_OBJECT
public:
    enum FormKind { kFormCV = 0, kFormVX = 1, kFormIndependent = 2 };
    enum Column { kColNumber = 0, kColSymbol, kColPitch, kColType, kColTime, kColFile, kColVerdict, kColumnCount };

    // parent is the main window: messages go to it.
    explicit CTsOtoSetingDlg(QWidget* parent = nullptr);
    ~CTsOtoSetingDlg() override;

    // Commands of the window's buttons and header.
    void chooseWavLocation();
    // Loads folder (no chooser); the settings remember it.
    void loadWavLocation(const QString& folder);
    // The location box offers the project's WAV locations; a folder typed into it and confirmed
    // with Enter is loaded like a chosen one.
    void refreshLocationChoices();
    // "Add to Project": asks the main window to add the shown folder to the project's WAV
    // locations. The button is enabled only for a folder the project does not list yet.
    void addFolderToProject();
    void newMarkers();
    void editMarkers();
    void renameEntry();
    void copyEntry();
    void deleteEntry();
    // "Make Entries": after a preview through the Prompter, an entry at the chosen pitch for each
    // of the folder's files without one whose name reads as a unit (as lvtb entries scan makes).
    void makeEntries();
    // "Check": every entry of the shown folder through the build's checks (as lvtb check), on a
    // worker; the "Check" column fills with "pass" or the checker's message as verdicts come in,
    // with a progress bar meanwhile. Pressed again while it runs ("Stop"), it stops. A double-click
    // on a failing row opens its entry in the wave editor.
    void checkFolder();
    bool checkRunning() const { return m_checkRunning; }
    QProgressBar& checkProgress() { return *m_checkProgress; }
    void sortByColumn(int column);
    // Fills the form from a row (as a double-click does); nothing is opened. For a file without an
    // entry: its name, the list's pitch, and the kind and symbol its name reads as.
    void loadRowIntoForm(int row);
    // True for a greyed row of a WAV file without an entry.
    bool isFileRow(int row) const;
    void setFormKind(int kind);

    // For the main window, on behalf of the wave editor. wavFolder is the folder the editor received.
    bool storeEntry(const CTsVoiceCfg& edited, const QString& wavFolder);
    // direction 1: the following row, 0: the preceding one.
    void moveToNeighbour(const CTsVoiceCfg& entry, const QString& wavFolder, int direction);
    bool storeAndMoveNext(const CTsVoiceCfg& edited, const QString& wavFolder);

    const QString& wavFolder() const { return m_wavFolder; }
    const CTsVoiceCfgMgr& manager() const { return m_mgr; }
    QTableWidget& table() { return *m_table; }
    int formKind() const { return m_kind; }

    // The form's boxes (tests and screenshots fill them as a user would).
    QLineEdit& wavNameBox() { return *m_wavName; }
    QLineEdit& pitchBox() { return *m_pitch; }
    QLineEdit& cvSymbolBox() { return *m_cvSymbol; }
    QLineEdit& vPartBox() { return *m_vPart; }
    QLineEdit& xPartBox() { return *m_xPart; }
    QLineEdit& indieSymbolBox() { return *m_indieSymbol; }
    QLineEdit& wavFolderBox();
    QComboBox& locationBox() { return *m_locationBox; }
    QPushButton& addLocationButton() { return *m_addLocationButton; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Coming back to the window: the project's locations may have changed meanwhile.
    void changeEvent(QEvent* event) override;
    // A folder dropped onto the window becomes its WAV folder.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void onDeferredCommand(std::intptr_t argument) override;
    // 8602: opens a folder with the form filled for a unit to record.
    bool event(QEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    struct FormName {
        std::string symbol; // for VX: V + "_" + X
        std::string shownName;
        std::string pitch;
        std::string srcType;
    };
    // The form's name of an entry; none when a required box is empty.
    std::optional<FormName> formName() const;
    CTsVoiceCfg* findNamed(const FormName& name) const;
    // The key under which findNamed found entry (the form's own key, or the entry's).
    std::string keyOfNamed(const FormName& name, const CTsVoiceCfg& entry) const;
    // findNamed, telling the user when there is no such entry.
    const CTsVoiceCfg* findNamedOrReport(const FormName& name);
    // Tells the user why a change did not reach the file; true when it did.
    bool reportUpdate(EntryUpdate result);
    void renameOrCopy(bool copy);
    // Before every change: waits for the folder's file lock (held until the caller returns, past the
    // save) and reads the file again, so that what another writer stored since the list was filled
    // (lvtb, a second copy of the program) is kept; the rows follow what was read.
    void rereadForChange(std::optional<Tessarin::UpdateLock>& lock);
    void syncRows();
    void fillList();
    void appendRow(const std::string& key);
    // Column 0 reads 1 … n from the top after every change.
    void renumberRows();
    void refreshRow(int row);
    int rowOfKey(const std::string& key) const;
    void removeRowsOfKey(const std::string& key);
    int firstRowOf(const std::string& symbol, const std::string& pitch) const;
    void sendToMainWindow(QEvent& event);
    // The rows of the folder's WAV files without an entry, after the entry rows, in name order.
    void refreshFileRows();
    int firstFileRow() const;
    void loadFileIntoForm(const QString& wavName);
    // The pitch a new entry of the list takes: the form's, else the one most entries of the folder
    // have.
    std::string listPitch() const;
    void refreshFormEnabling();
    void stopCheck();
    void showVerdict(int row);
    // The project's WAV locations as folders (relative ones taken from the project file's folder).
    QStringList projectLocations() const;
    void openTypedFolder();

    CTsVoiceCfgMgr m_mgr;
    QString m_wavFolder;
    int m_kind = kFormCV;
    std::array<bool, kColumnCount> m_sortReversed{};

    QComboBox* m_locationBox;
    QPushButton* m_locationButton;
    QPushButton* m_addLocationButton;
    QButtonGroup* m_kindGroup;
    std::array<QRadioButton*, 3> m_kindButtons{};
    QLineEdit* m_wavName;
    QLineEdit* m_pitch;
    QLineEdit* m_cvSymbol;
    QLineEdit* m_vPart;
    QLineEdit* m_xPart;
    QLineEdit* m_indieSymbol;
    QTableWidget* m_table;
    QPushButton* m_checkButton = nullptr;
    QProgressBar* m_checkProgress;

    struct EntryVerdict {
        bool ok = false;
        QString text;
    };
    std::map<std::string, EntryVerdict> m_verdicts; // by key, for the folder shown
    FolderCheck m_check;
    std::uint64_t m_checkRun = 0; // numbers the runs: verdicts of a run stopped earlier are dropped
    bool m_checkRunning = false;
};

} // namespace TessarinEditor
