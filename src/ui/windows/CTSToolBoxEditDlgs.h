#pragma once

// The two small modal dialogs that ask for a new name and pitch when the voice configuration list
// renames or copies an entry: one for CV and independent entries, one for VX entries (a V and an X
// part). They check nothing; the list compares the result with the old values. And the preview of
// the list's "Make Entries": what would be made for the folder's files without an entry, at a pitch.

#include "builder/EntryScan.h"
#include "builder/ScanEstimation.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace TessarinEditor {

class CTSToolBoxEditCvDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTSToolBoxEditCvDlg(QWidget* parent = nullptr);
    // Fills the boxes and the captions; run it through the Prompter.
    void prepare(const QString& symbolText, const QString& pitchText, const QString& caption, const QString& label);
    void accept() override;

    QString caption;
    QString labelText;
    QString symbol;
    QString pitch;

    QLineEdit& symbolBox() { return *m_symbol; }
    QLineEdit& pitchBox() { return *m_pitch; }

private:
    QLabel* m_label;
    QLineEdit* m_symbol;
    QLineEdit* m_pitch;
};

class CTSToolBoxEditVxDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTSToolBoxEditVxDlg(QWidget* parent = nullptr);
    void prepare(const QString& vText, const QString& xText, const QString& pitchText, const QString& caption);
    void accept() override;

    QString vPart;
    QString xPart;
    QString pitch;

    QLineEdit& vBox() { return *m_v; }
    QLineEdit& xBox() { return *m_x; }
    QLineEdit& pitchBox() { return *m_pitch; }

private:
    QLineEdit* m_v;
    QLineEdit* m_x;
    QLineEdit* m_pitch;
};

// Shows what a scan at the pitch in its box would do: the entries it would make (file, kind,
// symbol, pitch) and the files it would leave alone, with why. Editing the pitch plans again. The
// dialog does not store: the list makes the entries after OK. With "with estimated markers" checked,
// OK first estimates the markers of the entries to make on a worker, with a progress bar (Cancel
// stops it), and the dialog closes when they are ready.
class CMakeEntriesDlg : public QDialog {
    Q_OBJECT
public:
    using Planner = std::function<std::vector<ScannedFile>(const std::string& pitch)>;

    // folder: where the planned recordings lie.
    CMakeEntriesDlg(Planner planner, std::filesystem::path folder, QWidget* parent = nullptr);
    ~CMakeEntriesDlg() override;
    void prepare(const QString& pitchText);
    void accept() override;
    void reject() override;

    QString pitch; // after OK
    // After OK: whether the entries get estimated markers, and the plan they were estimated for.
    bool withEstimates() const { return m_withEstimates; }
    std::vector<ScannedFile>& estimatedPlan() { return m_estimatedPlan; }
    bool estimating() const { return m_estimating; }

    QLineEdit& pitchBox() { return *m_pitch; }
    QCheckBox& estimateBox() { return *m_estimate; }
    QProgressBar& progress() { return *m_progress; }
    QTableWidget& toMake() { return *m_toMake; }
    QListWidget& leftAlone() { return *m_leftAlone; }
    QPushButton& okButton() { return *m_ok; }

protected:
    bool event(QEvent* event) override;

private:
    void refreshPreview();
    void setEstimating(bool on);

    Planner m_planner;
    std::filesystem::path m_folder;
    QLineEdit* m_pitch;
    QLabel* m_summary;
    QCheckBox* m_estimate;
    QProgressBar* m_progress;
    QTableWidget* m_toMake;
    QListWidget* m_leftAlone;
    QPushButton* m_ok;
    ScanEstimation m_estimation;
    std::uint64_t m_run = 0; // numbers the estimation runs: a stopped run's late reports are dropped
    bool m_estimating = false;
    bool m_withEstimates = false;
    std::vector<ScannedFile> m_estimatedPlan;
};

} // namespace TessarinEditor
