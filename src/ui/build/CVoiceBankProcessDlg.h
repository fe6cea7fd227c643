#pragma once

// The build progress dialog: runs "Build models" (mode 1) or "Build voice bank" (mode 2) on a worker
// thread and shows the build text as it grows, with a bar of the units done of the units to do
// above it; the log file is rewritten with the whole text at each shown refresh.
//
// Use (the build panel does this; anything else that has BuildInputs may too):
//     CVoiceBankProcessDlg dialog(CVoiceBankProcessDlg::kBuildModels, inputs, logPath, parent);
//     dialog.start();
//     prompter().runModal(dialog);
// The dialog owns its BuildRun (the worker, the text, the log) and waits for the worker before it
// is destroyed. "Stop" (mode 1) and closing while mode 1 runs ask first; mode 2 cannot be closed
// while it runs. Ctrl+A selects the whole text. A line under the bar counts the units done, to do
// and failed, and says when the build was stopped. A double-click on an entry's line of the text
// sends the main window (the dialog's topmost parent) the message that opens that entry in the wave
// editor.

#include "ui/build/BuildRun.h"

#include <QDialog>
#include <QString>

#include <filesystem>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace TessarinEditor {

// What the line under the bar says: "7 of 12 done, 2 failed" while models are built, "Stopped: …"
// or "Finished: …" afterwards; for the bank, "Building the voice bank" and then "Finished: complete"
// or "Finished: 2 failed".
QString buildStatusText(int mode, const BuildRun::Snapshot& shot, bool running);

class CVoiceBankProcessDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kBuildModels = BuildRun::kBuildModels;
    static constexpr int kBuildVoiceBank = BuildRun::kBuildVoiceBank;

    CVoiceBankProcessDlg(int mode, BuildInputs inputs, const QString& logFile, QWidget* parent = nullptr,
                         BuildRun::Clock clock = BuildTextRenderer::localTimeText);
    ~CVoiceBankProcessDlg() override;

    // Writes the header, starts the worker and the dot timer.
    void start();

    // "Stop": asks "Stop building?"; on OK stops the build and waits for it. The dialog stays open.
    void onStop();
    // Cancel, Esc and the close box: see the header comment. True when the dialog closed.
    bool requestClose();

    BuildRun& run() { return *m_run; }
    // What the user sees (for tests and pictures).
    QPlainTextEdit& textView() { return *m_text; }
    QProgressBar& progressBar() { return *m_progress; }
    QPushButton& stopButton() { return *m_stop; }
    QLabel& logLabel() { return *m_logLabel; }
    QLabel& statusLabel() { return *m_status; }
    // The text shown, with the build's CR LF line ends.
    QString shownText() const { return m_shown; }

public Q_SLOTS:
    void reject() override;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onRefresh();
    void show(const BuildRun::Snapshot& shot);
    void stopBuild();
    void updateStopButton();
    void openEntryAt(const QPoint& viewportPos);
    // Tells the main window, once, that the build has ended.
    void announceEnd();
    QWidget* mainWindow() const;

    std::unique_ptr<BuildRun> m_run;
    QPushButton* m_stop;
    QLabel* m_logLabel;
    QProgressBar* m_progress;
    QLabel* m_status;
    QPlainTextEdit* m_text;
    QTimer* m_dotTimer;
    QString m_shown;   // as the log holds it
    QString m_display; // as the text view holds it (LF line ends)
    bool m_endAnnounced = false;
};

} // namespace TessarinEditor
