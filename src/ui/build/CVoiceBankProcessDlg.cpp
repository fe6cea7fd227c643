#include "ui/build/CVoiceBankProcessDlg.h"

#include "ui/toolkit/Messages.h"
#include "ui/toolkit/Prompter.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>

namespace TessarinEditor {

namespace {

constexpr int kDotIntervalMs = 1000;
const QColor kTextInk(115, 246, 158);

} // namespace

QString buildStatusText(int mode, const BuildRun::Snapshot& shot, bool running)
{
    const QString failed = QString::number(shot.failed) + QStringLiteral(" failed");
    if (mode == BuildRun::kBuildVoiceBank) {
        if (running) {
            return QStringLiteral("Building the voice bank");
        }
        return QStringLiteral("Finished: ") + (shot.failed == 0 ? QStringLiteral("complete") : failed);
    }
    if (running && shot.total == 0) {
        return QStringLiteral("Looking for the entries to build");
    }
    const QString counts =
        QStringLiteral("%1 of %2 done, ").arg(shot.done).arg(shot.total) + failed;
    if (running) {
        return counts;
    }
    return (shot.stopped ? QStringLiteral("Stopped: ") : QStringLiteral("Finished: ")) + counts;
}

CVoiceBankProcessDlg::CVoiceBankProcessDlg(int mode, BuildInputs inputs, const QString& logFile, QWidget* parent,
                                           BuildRun::Clock clock)
    : QDialog(parent),
      m_stop(new QPushButton(QStringLiteral("Stop"), this)),
      m_logLabel(new QLabel(QStringLiteral("Log file : ") + logFile, this)),
      m_progress(new QProgressBar(this)),
      m_status(new QLabel(this)),
      m_text(new QPlainTextEdit(this)),
      m_dotTimer(new QTimer(this))
{
    // The worker only posts (never sends) and the event carries nothing: the run holds the text.
    m_run = std::make_unique<BuildRun>(
        mode, std::move(inputs), std::filesystem::path(logFile.toStdString()),
        [this] { QCoreApplication::postEvent(this, new BuildRefreshEvent); }, std::move(clock));

    setWindowTitle(mode == kBuildModels      ? QStringLiteral("Build models")
                   : mode == kBuildVoiceBank ? QStringLiteral("Build voice bank")
                                             : QString());
    setModal(true);
    resize(680, 460);

    m_stop->setAutoDefault(false); // Enter never stops a build
    m_stop->setDefault(false);
    m_logLabel->setTextFormat(Qt::PlainText);
    m_logLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(true);

    m_text->setReadOnly(true);
    m_text->setUndoRedoEnabled(false);
    m_text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QPalette palette = m_text->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, Qt::black);
        palette.setColor(group, QPalette::Text, kTextInk);
    }
    m_text->setPalette(palette);

    auto* top = new QHBoxLayout;
    top->addWidget(m_stop);
    top->addWidget(m_logLabel, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(m_text, 1);
    m_status->setTextFormat(Qt::PlainText);
    m_text->viewport()->installEventFilter(this);
    m_text->viewport()->setToolTip(QStringLiteral("Double-click an entry's line to open it in the wave editor"));

    connect(m_stop, &QPushButton::clicked, this, &CVoiceBankProcessDlg::onStop);
    m_dotTimer->setInterval(kDotIntervalMs);
    connect(m_dotTimer, &QTimer::timeout, this, [this] { m_run->dotTick(); });

    m_stop->setEnabled(mode == kBuildModels);
}

CVoiceBankProcessDlg::~CVoiceBankProcessDlg()
{
    m_dotTimer->stop();
    m_run.reset(); // waits for the worker; events it posted die with this object
}

void CVoiceBankProcessDlg::start()
{
    m_run->start();
    if (m_run->running()) {
        m_dotTimer->start();
    }
    updateStopButton();
}

bool CVoiceBankProcessDlg::event(QEvent* event)
{
    if (event->type() == messageType(Msg::kBuildRefresh)) {
        onRefresh();
        return true;
    }
    return QDialog::event(event);
}

void CVoiceBankProcessDlg::onRefresh()
{
    const std::optional<BuildRun::Snapshot> shot = m_run->refresh();
    const bool ended = !m_run->running();
    if (ended) {
        m_dotTimer->stop();
        updateStopButton();
    }
    if (shot) {
        show(*shot);
    }
    if (ended) {
        announceEnd();
    }
}

void CVoiceBankProcessDlg::show(const BuildRun::Snapshot& shot)
{
    m_shown = QString::fromUtf8(shot.text.data(), qsizetype(shot.text.size()));
    QString display = m_shown;
    display.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!m_display.isEmpty() && display.startsWith(m_display)) {
        // The text only grows: add the new part, which keeps the user's selection.
        QTextCursor end(m_text->document());
        end.movePosition(QTextCursor::End);
        end.insertText(display.mid(m_display.size()));
    } else {
        m_text->setPlainText(display);
    }
    m_display = display;
    m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());

    m_status->setText(buildStatusText(m_run->mode(), shot, m_run->running()));
    if (shot.total > 0) {
        m_progress->setRange(0, shot.total);
        m_progress->setValue(std::min(shot.done, shot.total));
        m_progress->setFormat(QStringLiteral("%v / %m"));
    } else if (m_run->running()) {
        m_progress->setRange(0, 0); // not known yet: the bar shows that it works
    } else {
        m_progress->setRange(0, 1);
        m_progress->setValue(0);
        m_progress->setFormat(QStringLiteral("0 / 0"));
    }
}

void CVoiceBankProcessDlg::updateStopButton()
{
    m_stop->setEnabled(m_run->mode() == kBuildModels && m_run->running() && !m_run->stopRequested());
}

void CVoiceBankProcessDlg::stopBuild()
{
    m_dotTimer->stop();
    {
        WaitCursor wait;
        m_run->stop();
    }
    // The worker has ended: everything it wrote shows now (the log already holds it).
    show(m_run->snapshot());
    updateStopButton();
    announceEnd();
}

void CVoiceBankProcessDlg::onStop()
{
    if (m_run->mode() != kBuildModels || !m_run->running()) {
        return;
    }
    if (prompter().message(this, QStringLiteral("Stop building?"), QStringLiteral("Stop building"),
                           Prompter::Icon::Question, Prompter::Buttons::OkCancel) != Prompter::Answer::Ok) {
        return;
    }
    stopBuild();
}

bool CVoiceBankProcessDlg::requestClose()
{
    if (m_run->running()) {
        if (m_run->mode() == kBuildVoiceBank) {
            return false; // the bank is assembled to its end
        }
        if (m_run->mode() == kBuildModels) {
            if (prompter().message(this, QStringLiteral("Stop building and close window?"),
                                   QStringLiteral("Stop building and close window"), Prompter::Icon::Question,
                                   Prompter::Buttons::OkCancel) != Prompter::Answer::Ok) {
                return false;
            }
            stopBuild();
        }
    }
    m_dotTimer->stop();
    QDialog::reject();
    return true;
}

void CVoiceBankProcessDlg::keyPressEvent(QKeyEvent* event)
{
    // Ctrl+A anywhere in the dialog selects the whole text (Esc goes on to reject()).
    if (event->matches(QKeySequence::SelectAll)) {
        m_text->selectAll();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool CVoiceBankProcessDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_text->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const auto* click = static_cast<QMouseEvent*>(event);
        if (click->button() == Qt::LeftButton) {
            openEntryAt(click->position().toPoint());
        }
        // The word under the pointer is still selected, as in any text.
    }
    return QDialog::eventFilter(watched, event);
}

QWidget* CVoiceBankProcessDlg::mainWindow() const
{
    QWidget* main = parentWidget();
    while (main != nullptr && main->parentWidget() != nullptr) {
        main = main->parentWidget();
    }
    return main;
}

void CVoiceBankProcessDlg::announceEnd()
{
    if (m_endAnnounced || m_run->running() || (m_run->mode() != kBuildModels && m_run->mode() != kBuildVoiceBank)) {
        return;
    }
    m_endAnnounced = true;
    if (QWidget* main = mainWindow()) {
        QEvent ended(messageType(Msg::kBuildEnded));
        QCoreApplication::sendEvent(main, &ended);
    }
}

void CVoiceBankProcessDlg::openEntryAt(const QPoint& viewportPos)
{
    const int line = m_text->cursorForPosition(viewportPos).blockNumber();
    std::optional<BuildRun::EntryLine> found = m_run->entryAtLine(line);
    if (!found) {
        return;
    }
    QWidget* main = mainWindow();
    if (main == nullptr) {
        return;
    }
    EntryEvent open(Msg::kEditEntry, *found->entry, QString::fromStdString(found->location));
    QCoreApplication::sendEvent(main, &open);
}

void CVoiceBankProcessDlg::reject()
{
    requestClose();
}

void CVoiceBankProcessDlg::closeEvent(QCloseEvent* event)
{
    // The close box: the same handler as Esc and Cancel. done() closes without coming back here.
    event->ignore();
    requestClose();
}

} // namespace TessarinEditor
