#include "ui/windows/CAppUpdateDlg.h"

#include "core/ProgramVersion.h"
#include "ui/toolkit/Prompter.h"
#include "update/UpdateTexts.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace TessarinEditor {

namespace {

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace

CAppUpdateDlg::CAppUpdateDlg(const QString& currentVersion, const QString& latestVersion, const QString& downloadUrl,
                             QWidget* parent)
    : QDialog(parent),
      m_url(downloadUrl),
      m_opener([](const QUrl& url) { return QDesktopServices::openUrl(url); }),
      m_text(new QPlainTextEdit(this)),
      m_download(new QPushButton(qs(lvupdate::kDownloadButtonCaption), this)),
      m_note(new QLabel(this))
{
    setWindowTitle(qs(lvupdate::updateDialogCaption()));
    setModal(true);
    resize(460, 240);

    // The text keeps its CR LF line ends; the box shows plain lines.
    QString text = qs(lvupdate::updateDialogText(currentVersion.toUtf8().toStdString(),
                                                 latestVersion.toUtf8().toStdString(),
                                                 downloadUrl.toUtf8().toStdString()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_text->setReadOnly(true);
    m_text->setPlainText(text);
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);

    m_download->setAutoDefault(false);
    m_note->setTextFormat(Qt::PlainText);
    m_note->setWordWrap(true);
    m_note->hide();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_text, 1);
    layout->addWidget(m_download, 0, Qt::AlignLeft);
    layout->addWidget(m_note);

    connect(m_download, &QPushButton::clicked, this, &CAppUpdateDlg::onDownload);
}

CAppUpdateDlg::~CAppUpdateDlg() = default;

void CAppUpdateDlg::onDownload()
{
    const QByteArray address = m_url.toUtf8();
    if (lvupdate::mayOpenInBrowser(std::string_view(address.constData(), std::size_t(address.size()))) && m_opener) {
        m_opener(QUrl(m_url, QUrl::StrictMode));
    }
    // Also for an address that was not opened: the note tells the user to copy it.
    m_note->setText(qs(lvupdate::kDownloadNote));
    m_note->show();
}

void showUpdateDialog(QWidget* parent, const QString& latestVersion, const QString& downloadUrl)
{
    CAppUpdateDlg dialog(qs(Tessarin::kProgramVersion), latestVersion, downloadUrl, parent);
    prompter().runModal(dialog);
}

} // namespace TessarinEditor
