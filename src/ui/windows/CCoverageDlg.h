#pragma once

// Function ▸ Coverage: what the voice bank still lacks, as `lvtb coverage` counts it. A table of the
// units needed, recorded, built and passing at each pitch, and below it every missing or failing
// unit in the bank build's order. A double-click on a missing unit opens the list on the folder of
// that pitch with its form filled (message 8602 through the main window); on a failing one, opens
// its entry in the wave editor (8589). The counts are made again on "Refresh" and after every build.
//
// The counting reads every model file the bank needs: it runs on a worker thread, which hands its
// CoverageModel back with a posted message (8604); the window stays usable meanwhile.

#include "ui/toolkit/CSignalWndProtocol.h"
#include "ui/windows/CoverageModel.h"

#include <memory>
#include <mutex>
#include <optional>
#include <thread>

class QLabel;
class QPushButton;
class QTableWidget;

namespace TessarinEditor {

class CCoverageDlg : public CSignalDlgImp {
    Q_OBJECT
public:
    // Counts the current project at once.
    explicit CCoverageDlg(QWidget* parent = nullptr);
    ~CCoverageDlg() override;

    // Counts the current project again (once more after the count under way, when one is).
    void refresh();
    bool counting() const { return m_worker.joinable(); }

    // Columns of the two tables.
    enum PitchColumn { kColPitch = 0, kColNeeded, kColRecorded, kColBuilt, kColPassing, kPitchColumns };
    enum ProblemColumn { kColProblemPitch = 0, kColUnit, kColWhat, kProblemColumns };

    QTableWidget& pitchTable() { return *m_pitches; }
    QTableWidget& problemTable() { return *m_problems; }
    QPushButton& refreshButton() { return *m_refresh; }
    QLabel& stateLabel() { return *m_state; }
    const CoverageModel& model() const { return m_model; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void start();
    void showModel();
    void openProblem(int row);
    void sendToMainWindow(QEvent& event);

    QPushButton* m_refresh;
    QLabel* m_state;
    QTableWidget* m_pitches;
    QTableWidget* m_problems;
    CoverageModel m_model;

    std::thread m_worker;
    std::mutex m_lock; // m_ready
    std::optional<CoverageModel> m_ready;
    bool m_again = false; // a refresh asked while counting
};

} // namespace TessarinEditor
