#include "ui/windows/CTSToolBoxEditDlgs.h"

#include "ui/toolkit/Messages.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace TessarinEditor {

namespace {

// "Ok" is the default button; "Cancel" never is.
QDialogButtonBox* okCancel(QDialog* dialog)
{
    auto* buttons = new QDialogButtonBox(dialog);
    QPushButton* ok = buttons->addButton(QStringLiteral("Ok"), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    ok->setObjectName(QStringLiteral("ok"));
    cancel->setAutoDefault(false);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

} // namespace

CTSToolBoxEditCvDlg::CTSToolBoxEditCvDlg(QWidget* parent) : QDialog(parent)
{
    auto* grid = new QGridLayout;
    m_label = new QLabel(this);
    m_symbol = new QLineEdit(this);
    m_pitch = new QLineEdit(this);
    m_symbol->setMinimumWidth(160);
    m_pitch->setMaximumWidth(80);
    grid->addWidget(m_label, 0, 0);
    grid->addWidget(m_symbol, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Pitch"), this), 0, 2);
    grid->addWidget(m_pitch, 0, 3);
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addWidget(okCancel(this));
}

void CTSToolBoxEditCvDlg::prepare(const QString& symbolText, const QString& pitchText, const QString& captionText,
                                  const QString& label)
{
    symbol = symbolText;
    pitch = pitchText;
    caption = captionText;
    labelText = label;
    setWindowTitle(caption);
    m_label->setText(labelText);
    m_symbol->setText(symbol);
    m_pitch->setText(pitch);
    m_symbol->selectAll();
    m_symbol->setFocus();
}

void CTSToolBoxEditCvDlg::accept()
{
    symbol = m_symbol->text();
    pitch = m_pitch->text();
    QDialog::accept();
}

CTSToolBoxEditVxDlg::CTSToolBoxEditVxDlg(QWidget* parent) : QDialog(parent)
{
    auto* grid = new QGridLayout;
    m_v = new QLineEdit(this);
    m_x = new QLineEdit(this);
    m_pitch = new QLineEdit(this);
    m_v->setMinimumWidth(80);
    m_x->setMinimumWidth(80);
    m_pitch->setMaximumWidth(80);
    grid->addWidget(new QLabel(QStringLiteral("VX"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("V"), this), 0, 1);
    grid->addWidget(m_v, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("X"), this), 0, 3);
    grid->addWidget(m_x, 0, 4);
    grid->addWidget(new QLabel(QStringLiteral("Pitch"), this), 0, 5);
    grid->addWidget(m_pitch, 0, 6);
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addWidget(okCancel(this));
}

void CTSToolBoxEditVxDlg::prepare(const QString& vText, const QString& xText, const QString& pitchText,
                                  const QString& caption)
{
    vPart = vText;
    xPart = xText;
    pitch = pitchText;
    setWindowTitle(caption);
    m_v->setText(vPart);
    m_x->setText(xPart);
    m_pitch->setText(pitch);
    m_v->setFocus();
}

void CTSToolBoxEditVxDlg::accept()
{
    vPart = m_v->text();
    xPart = m_x->text();
    pitch = m_pitch->text();
    QDialog::accept();
}

namespace {

QString text(const std::string& utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

QString whyLeftAlone(const ScannedFile& file, const QString& pitch)
{
    switch (file.verdict) {
    case ScannedFile::Verdict::Exists:
        return text(file.wavName) + QStringLiteral(": ") + pitch + QStringLiteral(" : ") + text(file.name->symbol) +
               QStringLiteral(" has an entry already");
    case ScannedFile::Verdict::Unusable: return text(file.wavName) + QStringLiteral(": ") + text(file.detail);
    default: return text(file.wavName) + QStringLiteral(": no unit of the dictionary at ") + pitch;
    }
}

} // namespace

CMakeEntriesDlg::CMakeEntriesDlg(Planner planner, std::filesystem::path folder, QWidget* parent)
    : QDialog(parent), m_planner(std::move(planner)), m_folder(std::move(folder))
{
    setWindowTitle(QStringLiteral("Make Entries"));
    resize(520, 420);
    auto* top = new QVBoxLayout(this);
    auto* pitchRow = new QHBoxLayout;
    m_pitch = new QLineEdit(this);
    m_pitch->setMaximumWidth(80);
    pitchRow->addWidget(new QLabel(QStringLiteral("Pitch"), this));
    pitchRow->addWidget(m_pitch);
    m_summary = new QLabel(this);
    pitchRow->addWidget(m_summary, 1);
    top->addLayout(pitchRow);

    m_toMake = new QTableWidget(0, 4, this);
    m_toMake->setHorizontalHeaderLabels({QStringLiteral("File Name"), QStringLiteral("Type"), QStringLiteral("Symbol"),
                                         QStringLiteral("Pitch")});
    m_toMake->verticalHeader()->hide();
    m_toMake->horizontalHeader()->setStretchLastSection(true);
    m_toMake->setColumnWidth(0, 200);
    m_toMake->setColumnWidth(1, 70);
    m_toMake->setColumnWidth(2, 110);
    m_toMake->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_toMake->setSelectionMode(QAbstractItemView::NoSelection);
    top->addWidget(m_toMake, 3);
    top->addWidget(new QLabel(QStringLiteral("Left alone"), this));
    m_leftAlone = new QListWidget(this);
    top->addWidget(m_leftAlone, 1);
    auto* estimateRow = new QHBoxLayout;
    m_estimate = new QCheckBox(QStringLiteral("with estimated markers"), this);
    m_estimate->setChecked(true);
    m_estimate->setToolTip(QStringLiteral("Place each new entry's markers where the marker estimator proposes them; "
                                          "a recording it finds nothing in gets the editor's first markers"));
    m_progress = new QProgressBar(this);
    m_progress->setFormat(QStringLiteral("%v / %m"));
    m_progress->hide();
    estimateRow->addWidget(m_estimate);
    estimateRow->addWidget(m_progress, 1);
    top->addLayout(estimateRow);

    QDialogButtonBox* buttons = okCancel(this);
    m_ok = buttons->findChild<QPushButton*>(QStringLiteral("ok"));
    top->addWidget(buttons);
    connect(m_pitch, &QLineEdit::textEdited, this, [this] { refreshPreview(); });
}

void CMakeEntriesDlg::prepare(const QString& pitchText)
{
    pitch = pitchText;
    m_pitch->setText(pitch);
    refreshPreview();
}

void CMakeEntriesDlg::refreshPreview()
{
    const QString pitchText = m_pitch->text();
    const std::vector<ScannedFile> plan =
        pitchText.isEmpty() ? std::vector<ScannedFile>() : m_planner(pitchText.toUtf8().toStdString());
    m_toMake->setRowCount(0);
    m_leftAlone->clear();
    for (const ScannedFile& file : plan) {
        if (file.verdict != ScannedFile::Verdict::Make) {
            m_leftAlone->addItem(whyLeftAlone(file, pitchText));
            continue;
        }
        const int row = m_toMake->rowCount();
        m_toMake->insertRow(row);
        const QString cells[] = {text(file.wavName), text(file.entry->srcType), text(file.entry->symbol),
                                 text(file.entry->pitch)};
        for (int c = 0; c < 4; ++c) {
            m_toMake->setItem(row, c, new QTableWidgetItem(cells[c]));
        }
    }
    const std::size_t n = countToMake(plan);
    m_summary->setText(pitchText.isEmpty() ? QStringLiteral("Type the pitch of the new entries.")
                                           : QString::number(n) + (n == 1 ? QStringLiteral(" entry to make")
                                                                          : QStringLiteral(" entries to make")));
    m_ok->setEnabled(n > 0);
}

CMakeEntriesDlg::~CMakeEntriesDlg()
{
    // The worker posts to this dialog: it ends first.
    m_estimation.stop();
}

void CMakeEntriesDlg::accept()
{
    if (m_estimating) {
        return;
    }
    pitch = m_pitch->text();
    m_withEstimates = m_estimate->isChecked();
    if (!m_withEstimates || pitch.isEmpty()) {
        QDialog::accept();
        return;
    }
    const std::uint64_t run = ++m_run;
    m_estimation.onProgress = [this, run](std::size_t done, std::size_t total) {
        QCoreApplication::postEvent(this, new MarkerEstimateEvent(run, done, total, false));
    };
    m_estimation.onFinished = [this, run](bool) {
        QCoreApplication::postEvent(this, new MarkerEstimateEvent(run, 0, 0, true));
    };
    std::vector<ScannedFile> plan = m_planner(pitch.toUtf8().toStdString());
    m_progress->setRange(0, int(countToMake(plan)));
    m_progress->setValue(0);
    setEstimating(true);
    m_estimation.start(std::move(plan), m_folder);
}

void CMakeEntriesDlg::reject()
{
    if (m_estimating) {
        m_estimation.stop();
        ++m_run; // what the stopped run still sends is dropped
        setEstimating(false);
    }
    QDialog::reject();
}

void CMakeEntriesDlg::setEstimating(bool on)
{
    m_estimating = on;
    m_pitch->setEnabled(!on);
    m_estimate->setEnabled(!on);
    m_ok->setEnabled(!on && m_toMake->rowCount() > 0);
    m_progress->setVisible(on);
    if (on) {
        m_summary->setText(QStringLiteral("Estimating markers..."));
    }
}

bool CMakeEntriesDlg::event(QEvent* event)
{
    if (event->type() != messageType(Msg::kMarkerEstimate)) {
        return QDialog::event(event);
    }
    const auto* report = static_cast<MarkerEstimateEvent*>(event);
    if (report->run != m_run || !m_estimating) {
        return true;
    }
    if (!report->finished) {
        m_progress->setValue(int(report->done));
        return true;
    }
    m_estimatedPlan = m_estimation.takePlan();
    setEstimating(false);
    QDialog::accept();
    return true;
}

} // namespace TessarinEditor
