#include "ui/windows/CCoverageDlg.h"

#include "ui/toolkit/Messages.h"
#include "ui/windows/CurrentProject.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace TessarinEditor {

namespace {

QTableWidgetItem* cell(const QString& text, bool number = false)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    if (number) {
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    return item;
}

QTableWidget* table(const QStringList& headers, QWidget* parent)
{
    auto* t = new QTableWidget(0, int(headers.size()), parent);
    t->setHorizontalHeaderLabels(headers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->setVisible(false);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

} // namespace

CCoverageDlg::CCoverageDlg(QWidget* parent)
    : CSignalDlgImp(parent),
      m_refresh(new QPushButton(QStringLiteral("Refresh"), this)),
      m_state(new QLabel(this)),
      m_pitches(table({QStringLiteral("Pitch"), QStringLiteral("Needed"), QStringLiteral("Recorded"),
                       QStringLiteral("Built"), QStringLiteral("Passing")},
                      this)),
      m_problems(table({QStringLiteral("Pitch"), QStringLiteral("Unit"), QStringLiteral("What")}, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Coverage"));
    m_refresh->setAutoDefault(false);
    m_pitches->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_state->setTextFormat(Qt::PlainText);
    m_state->setWordWrap(true);
    connect(m_refresh, &QPushButton::clicked, this, [this] { refresh(); });
    connect(m_problems, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { openProblem(row); });
    m_problems->setToolTip(QStringLiteral("Double-click a unit not recorded to record it in the list, "
                                          "another one to open its entry in the wave editor"));

    auto* top = new QHBoxLayout;
    top->addWidget(m_refresh);
    top->addWidget(m_state, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_pitches, 2);
    layout->addWidget(new QLabel(QStringLiteral("Missing or failing, in the order the voice bank is built:"), this));
    layout->addWidget(m_problems, 3);
    resize(640, 520);
    refresh();
}

CCoverageDlg::~CCoverageDlg()
{
    // The worker posts to this window: it must be done before the window goes.
    if (m_worker.joinable()) {
        m_worker.join();
    }
}

void CCoverageDlg::refresh()
{
    if (counting()) {
        m_again = true;
        return;
    }
    start();
}

void CCoverageDlg::start()
{
    const ProjectDocument& document = currentProject();
    if (document.model() == nullptr) {
        return;
    }
    m_state->setText(QStringLiteral("Counting\u2026"));
    m_refresh->setEnabled(false);
    // The worker gets copies: the project may change while it counts.
    m_worker = std::thread([this, project = *document.model(), file = document.path()] {
        CoverageModel counted = makeCoverageModel(project, file);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_ready = std::move(counted);
        }
        QCoreApplication::postEvent(this, new QEvent(messageType(Msg::kCoverageReady)));
    });
}

bool CCoverageDlg::event(QEvent* event)
{
    if (event->type() == messageType(Msg::kCoverageReady)) {
        if (m_worker.joinable()) {
            m_worker.join();
        }
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_ready) {
                m_model = std::move(*m_ready);
                m_ready.reset();
            }
        }
        showModel();
        if (m_again) {
            m_again = false;
            start();
        }
        return true;
    }
    return CSignalDlgImp::event(event);
}

void CCoverageDlg::showModel()
{
    m_refresh->setEnabled(true);
    QString state = m_model.complete ? QStringLiteral("Every unit is recorded, built and passing.")
                                     : QString::number(m_model.problems.size()) +
                                           QStringLiteral(" units missing or failing.");
    state += QStringLiteral(" Dictionary: ") + QString::fromStdString(m_model.dictionaryMessage);
    if (m_model.pitches.empty()) {
        state += QStringLiteral(" No pitches: the project's pitch list is empty.");
    }
    for (const std::string& file : m_model.unreadable) {
        state += QStringLiteral(" Unreadable: ") + QString::fromStdString(file) +
                 QStringLiteral(" (its entries are not counted).");
    }
    m_state->setText(state);

    m_pitches->setRowCount(int(m_model.pitches.size()));
    for (int row = 0; row < m_pitches->rowCount(); ++row) {
        const CoverageCounts& n = m_model.pitches[std::size_t(row)];
        m_pitches->setItem(row, kColPitch, cell(QString::fromStdString(n.pitch)));
        m_pitches->setItem(row, kColNeeded, cell(QString::number(n.needed), true));
        m_pitches->setItem(row, kColRecorded, cell(QString::number(n.recorded), true));
        m_pitches->setItem(row, kColBuilt, cell(QString::number(n.built), true));
        m_pitches->setItem(row, kColPassing, cell(QString::number(n.passing), true));
    }
    m_problems->setRowCount(int(m_model.problems.size()));
    for (int row = 0; row < m_problems->rowCount(); ++row) {
        const CoverageProblem& p = m_model.problems[std::size_t(row)];
        m_problems->setItem(row, kColProblemPitch, cell(QString::fromStdString(p.pitch)));
        m_problems->setItem(row, kColUnit, cell(QString::fromStdString(p.unit)));
        m_problems->setItem(row, kColWhat, cell(QString::fromStdString(p.detail)));
    }
    m_problems->resizeColumnToContents(kColProblemPitch);
    m_problems->resizeColumnToContents(kColUnit);
}

void CCoverageDlg::openProblem(int row)
{
    if (row < 0 || std::size_t(row) >= m_model.problems.size()) {
        return;
    }
    const CoverageProblem& p = m_model.problems[std::size_t(row)];
    const QString folder = QString::fromStdString(p.folder);
    if (p.recorded) {
        EntryEvent open(Msg::kEditEntry, *p.entry, folder);
        sendToMainWindow(open);
    } else if (!folder.isEmpty()) {
        ListFormEvent form(folder, p.formKind, QString::fromStdString(p.unit), QString::fromStdString(p.pitch));
        sendToMainWindow(form);
    }
}

void CCoverageDlg::sendToMainWindow(QEvent& event)
{
    if (QWidget* main = parentWidget()) {
        QCoreApplication::sendEvent(main, &event);
    }
}

void CCoverageDlg::closeEvent(QCloseEvent* event)
{
    ToolWindowEvent closed(Msg::kCoverageWindow, 1);
    sendToMainWindow(closed);
    event->accept();
}

} // namespace TessarinEditor
