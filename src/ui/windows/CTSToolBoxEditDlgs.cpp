#include "ui/windows/CTSToolBoxEditDlgs.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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

} // namespace TessarinEditor
