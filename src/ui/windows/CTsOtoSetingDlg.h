#pragma once

// The voice configuration list ("Voice Config"): the entries of one folder of recordings. It loads
// the folder's voice.lvcfg, lists every entry, opens entries in the wave annotation editor through
// the main window (message 8589), stores what the editor sends back, and renames, copies and
// deletes entries. Every change goes to the file at once, through the entry functions of the model.

#include "core/FileLock.h"
#include "model/CTsVoiceCfgMgr.h"
#include "ui/toolkit/CSignalWndProtocol.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class QButtonGroup;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace TessarinEditor {

class CTsOtoSetingDlg : public CSignalDlgImp {
    Q_OBJECT
public:
    enum FormKind { kFormCV = 0, kFormVX = 1, kFormIndependent = 2 };
    enum Column { kColNumber = 0, kColSymbol, kColPitch, kColType, kColTime, kColFile, kColumnCount };

    // parent is the main window: messages go to it.
    explicit CTsOtoSetingDlg(QWidget* parent = nullptr);
    ~CTsOtoSetingDlg() override;

    // Commands of the window's buttons and header.
    void chooseWavLocation();
    // Loads folder (no chooser); the settings remember it.
    void loadWavLocation(const QString& folder);
    void newMarkers();
    void editMarkers();
    void renameEntry();
    void copyEntry();
    void deleteEntry();
    void sortByColumn(int column);
    // Fills the form from a row (as a double-click does); nothing is opened.
    void loadRowIntoForm(int row);
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
    QLineEdit& wavFolderBox() { return *m_folderBox; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // A folder dropped onto the window becomes its WAV folder.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void onDeferredCommand(std::intptr_t argument) override;
    // 8602: opens a folder with the form filled for a unit to record.
    bool event(QEvent* event) override;

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
    void refreshFormEnabling();

    CTsVoiceCfgMgr m_mgr;
    QString m_wavFolder;
    int m_kind = kFormCV;
    std::array<bool, kColumnCount> m_sortReversed{};

    QLineEdit* m_folderBox;
    QPushButton* m_locationButton;
    QButtonGroup* m_kindGroup;
    std::array<QRadioButton*, 3> m_kindButtons{};
    QLineEdit* m_wavName;
    QLineEdit* m_pitch;
    QLineEdit* m_cvSymbol;
    QLineEdit* m_vPart;
    QLineEdit* m_xPart;
    QLineEdit* m_indieSymbol;
    QTableWidget* m_table;
};

} // namespace TessarinEditor
