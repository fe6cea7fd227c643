#include "ui/windows/CTsDictSettingDlg.h"

#include "model/PhoneticDictionary.h"
#include "ui/windows/CurrentProject.h"
#include "ui/toolkit/Messages.h"
#include "ui/toolkit/Prompter.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QTextBlock>
#include <QTextCursor>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace TessarinEditor {

namespace {

// What one line of each list holds, in tab order.
constexpr std::array<const char*, CTsDictSettingDlg::kPageCount> kLineHints = {
    "symbol,consonant,vowel \u2014 one per line, e.g. ka,k,a",
    "vowel,vowel it is sung as \u2014 one per line, e.g. a,a",
    "one voiced consonant per line, e.g. n",
    "one unvoiced consonant per line, e.g. k",
    "one independent symbol (a breath, a unit without a vowel) per line, e.g. br1",
    "one tail symbol per line",
};

QString toCrLf(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return text;
}

} // namespace

CTextContainerDlg::CTextContainerDlg(CTextContainerDelegate& delegate, const QString& hint, QWidget* parent)
    : QWidget(parent), m_delegate(delegate), m_hint(new QLabel(hint, this)), m_edit(new QPlainTextEdit(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_hint->setTextFormat(Qt::PlainText);
    m_hint->setContentsMargins(4, 4, 4, 0);
    layout->addWidget(m_hint);
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

    const std::array<const char*, kPageCount>& captions = kCaptions;
    const ProjectDocument& project = currentProject();
    for (int i = 0; i < kPageCount; ++i) {
        const auto k = static_cast<std::size_t>(i);
        m_pages[k] = new CTextContainerDlg(*this, QString::fromUtf8(kLineHints[k]), m_tabs);
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

    auto* check = m_check = new QPushButton(QStringLiteral("Check Dictionary"), this);
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

QSize CTsDictSettingDlg::leastSize()
{
    // The tab row sets the window's least width: the same tabs, without their texts.
    QWidget probe;
    auto* tabs = new QTabWidget(&probe);
    tabs->setUsesScrollButtons(false);
    for (const char* caption : kCaptions) {
        tabs->addTab(new QWidget, QString::fromUtf8(caption));
    }
    auto* layout = new QVBoxLayout(&probe);
    layout->addWidget(tabs, 1);
    layout->addWidget(new QPushButton(QStringLiteral("Check Dictionary")));
    return probe.minimumSizeHint();
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

QString CTsDictSettingDlg::placeText(const PhoneticDictionary::Place& where)
{
    if (where.list < 1 || where.list > kPageCount) {
        return {};
    }
    QString text = QStringLiteral("\nTab \"") + QString::fromUtf8(kCaptions[std::size_t(where.list - 1)]) +
                   QLatin1Char('"');
    if (where.line > 0) {
        text += QStringLiteral(", line ") + QString::number(where.line);
    }
    return text + QLatin1Char('.');
}

void CTsDictSettingDlg::checkDictionary()
{
    const TSTBCurrentModel::CTsToolBoxProjModel* model = currentProject().model();
    if (model == nullptr) {
        return;
    }
    std::string message;
    PhoneticDictionary::Place where;
    if (checkDictionaryTexts(*model, message, &where)) {
        prompter().information(this, QStringLiteral("OK! Pass!"));
        return;
    }
    const QString text = QString::fromStdString(message) + placeText(where);
    if (where.list >= 1 && where.list <= kPageCount) {
        const int index = where.list - 1;
        // The line at hand, to be mended once the box is closed.
        m_tabs->setCurrentIndex(index);
        QPlainTextEdit& box = page(index).editor();
        if (where.line > 0 && !page(index).refused()) {
            const QTextBlock block = box.document()->findBlockByNumber(where.line - 1);
            if (block.isValid()) {
                QTextCursor cursor(block);
                cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
                box.setTextCursor(cursor);
            }
        }
        box.setFocus();
    }
    prompter().error(this, text);
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
