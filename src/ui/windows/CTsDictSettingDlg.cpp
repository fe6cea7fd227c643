#include "ui/windows/CTsDictSettingDlg.h"

#include "model/PhoneticDictionary.h"
#include "ui/windows/CurrentProject.h"
#include "ui/toolkit/Messages.h"
#include "ui/toolkit/Prompter.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace TessarinEditor {

namespace {

QString toCrLf(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text;
}

} // namespace

CTextContainerDlg::CTextContainerDlg(CTextContainerDelegate& delegate, QWidget* parent)
    : QWidget(parent), m_delegate(delegate), m_edit(new QPlainTextEdit(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    connect(m_edit, &QPlainTextEdit::textChanged, this, [this] {
        if (m_refused) {
            return;
        }
        m_text = toCrLf(m_edit->toPlainText());
        m_delegate.textChanged(*this, m_text);
    });
}

void CTextContainerDlg::setText(const QString& text)
{
    m_text = text;
    const QSignalBlocker blocker(m_edit);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_edit->setPlainText(shown);
}

void CTextContainerDlg::refuse(const QString& notice)
{
    m_refused = true;
    const QSignalBlocker blocker(m_edit);
    m_edit->setReadOnly(true);
    m_edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_edit->setPlainText(notice);
}

CTsDictSettingDlg::CTsDictSettingDlg(QWidget* parent) : CSignalDlgImp(parent), m_tabs(new QTabWidget(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Phonetic Dictionary"));
    // All six tabs in sight: the window is never narrower than its tab row.
    m_tabs->setUsesScrollButtons(false);

    const std::array<const char*, kPageCount> captions = {
        "1 Symbol List",          "2 Vowel List",           "3 Voiced Consonant List",
        "4 Unvoiced Consonant List", "5 Independent Symbol List", "6 Tail Symbol List",
    };
    const ProjectDocument& project = currentProject();
    for (int i = 0; i < kPageCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        m_pages[k] = new CTextContainerDlg(*this, m_tabs);
        const std::string text = project.field(kPageFields[k]);
        if (text.size() > kLargestEditableList) {
            const QString what = QString::fromUtf8(captions[k] + 2) + QStringLiteral(" is ") +
                                 QString::number(double(text.size()) / double(1 << 20), 'f', 1) +
                                 QStringLiteral(" MB; the dictionary window edits lists of up to 1 MB.");
            m_pages[k]->refuse(what + QStringLiteral(" The list is kept in the project as it is; change it with "
                                                     "\"lvtb project set\" or another editor."));
            m_refusedMessage += (m_refusedMessage.isEmpty() ? QString() : QStringLiteral("\n")) + what;
        } else {
            m_pages[k]->setText(QString::fromStdString(text));
        }
        m_tabs->addTab(m_pages[k], QString::fromUtf8(captions[k]));
    }
    if (!m_refusedMessage.isEmpty()) {
        m_refusedMessage += QStringLiteral("\nThese lists are shown as a notice and kept unchanged.");
        // Once the window is up, not from inside its construction.
        QTimer::singleShot(0, this, [this] { prompter().error(this, m_refusedMessage); });
    }
    m_tabs->setCurrentIndex(0);

    auto* check = new QPushButton(QStringLiteral("Check Dictionary"), this);
    check->setAutoDefault(false);
    connect(check, &QPushButton::clicked, this, [this] { checkDictionary(); });

    auto* top = new QVBoxLayout(this);
    top->addWidget(m_tabs, 1);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(check);
    top->addLayout(row);
    resize(sizeHint().expandedTo(QSize(560, 440)));
}

void CTsDictSettingDlg::textChanged(CTextContainerDlg& page, const QString& text)
{
    for (int i = 0; i < kPageCount; ++i) {
        if (m_pages[static_cast<std::size_t>(i)] == &page) {
            currentProject().setField(kPageFields[static_cast<std::size_t>(i)], text.toUtf8().toStdString());
            return;
        }
    }
}

void CTsDictSettingDlg::checkDictionary()
{
    const TSTBCurrentModel::CTsToolBoxProjModel* model = currentProject().model();
    if (model == nullptr) {
        return;
    }
    std::string message;
    if (checkDictionaryTexts(*model, message)) {
        prompter().information(this, QStringLiteral("OK! Pass!"));
    } else {
        prompter().error(this, QString::fromStdString(message));
    }
}

void CTsDictSettingDlg::closeEvent(QCloseEvent* event)
{
    ToolWindowEvent closed(Msg::kDictionary, 1);
    if (QWidget* main = parentWidget()) {
        QCoreApplication::sendEvent(main, &closed);
    }
    event->accept();
}

} // namespace TessarinEditor
