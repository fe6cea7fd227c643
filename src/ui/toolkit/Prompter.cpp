#include "ui/toolkit/Prompter.h"

#include "ui/toolkit/QtPrompter.h"

#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

namespace TessarinEditor {

namespace {

Prompter* g_installed = nullptr;

// Shows the arrow while a dialog is open, over any busy cursor.
class ArrowWhileOpen {
public:
    ArrowWhileOpen() { QGuiApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~ArrowWhileOpen() { QGuiApplication::restoreOverrideCursor(); }
    ArrowWhileOpen(const ArrowWhileOpen&) = delete;
    ArrowWhileOpen& operator=(const ArrowWhileOpen&) = delete;
};

} // namespace

Prompter::~Prompter() = default;

void Prompter::error(QWidget* parent, const QString& text, const QString& caption)
{
    message(parent, text, caption, Icon::Error, Buttons::Ok);
}

void Prompter::information(QWidget* parent, const QString& text, const QString& caption)
{
    message(parent, text, caption, Icon::Information, Buttons::Ok);
}

bool Prompter::askYesNo(QWidget* parent, const QString& text, const QString& caption)
{
    return message(parent, text, caption, Icon::Question, Buttons::YesNo) == Answer::Yes;
}

Prompter& prompter()
{
    static QtPrompter qtPrompter;
    return g_installed ? *g_installed : qtPrompter;
}

PrompterScope::PrompterScope(Prompter& installed) : m_previous(g_installed)
{
    g_installed = &installed;
}

PrompterScope::~PrompterScope()
{
    g_installed = m_previous;
}

WaitCursor::WaitCursor()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

WaitCursor::~WaitCursor()
{
    QGuiApplication::restoreOverrideCursor();
}

std::unique_ptr<QMessageBox> QtPrompter::makeMessageBox(QWidget* parent, const QString& text, const QString& caption,
                                                        Icon icon, Buttons buttons)
{
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(caption.isEmpty() ? appCaption() : caption);
    box->setTextFormat(Qt::PlainText);
    box->setText(text);
    switch (icon) {
    case Icon::Error: box->setIcon(QMessageBox::Critical); break;
    case Icon::Question: box->setIcon(QMessageBox::Question); break;
    case Icon::Information: box->setIcon(QMessageBox::Information); break;
    case Icon::Warning: box->setIcon(QMessageBox::Warning); break;
    }
    switch (buttons) {
    case Buttons::Ok:
        box->setStandardButtons(QMessageBox::Ok);
        box->setDefaultButton(QMessageBox::Ok);
        break;
    case Buttons::OkCancel:
        box->setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Ok);
        box->setEscapeButton(QMessageBox::Cancel);
        break;
    case Buttons::YesNo:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::No);
        break;
    case Buttons::YesNoCancel:
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Yes);
        box->setEscapeButton(QMessageBox::Cancel);
        break;
    }
    return box;
}

Prompter::Answer QtPrompter::message(QWidget* parent, const QString& text, const QString& caption, Icon icon,
                                     Buttons buttons)
{
    const auto box = makeMessageBox(parent, text, caption, icon, buttons);
    const ArrowWhileOpen arrow;
    box->exec();
    switch (box->standardButton(box->clickedButton())) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    default: return buttons == Buttons::YesNo ? Answer::No : Answer::Cancel;
    }
}

std::unique_ptr<QFileDialog> QtPrompter::makeFileDialog(QWidget* parent, const FileRequest& request, bool save) const
{
    auto dialog = std::make_unique<QFileDialog>(parent, request.title);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.nameFilters.isEmpty()) {
        dialog->setNameFilters(request.nameFilters);
    }
    if (!request.defaultSuffix.isEmpty()) {
        dialog->setDefaultSuffix(request.defaultSuffix);
    }
    // Qt's own dialog asks before overwriting as long as this option stays off.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    const QString start = request.startPath.isEmpty() ? m_lastFolder : request.startPath;
    if (!start.isEmpty()) {
        const QFileInfo info(start);
        if (info.isDir()) {
            dialog->setDirectory(start);
        } else {
            dialog->setDirectory(info.absolutePath());
            dialog->selectFile(info.fileName());
        }
    }
    return dialog;
}

std::unique_ptr<QFileDialog> QtPrompter::makeFolderDialog(QWidget* parent, const QString& title,
                                                          const QString& startFolder) const
{
    auto dialog = std::make_unique<QFileDialog>(parent, title);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly, true);
    const QString start = startFolder.isEmpty() ? m_lastFolder : startFolder;
    if (!start.isEmpty()) {
        dialog->setDirectory(start);
    }
    return dialog;
}

std::optional<QString> QtPrompter::runFileDialog(QFileDialog& dialog)
{
    const ArrowWhileOpen arrow;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    const QFileInfo info(chosen);
    m_lastFolder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    return chosen;
}

std::optional<QString> QtPrompter::openFile(QWidget* parent, const FileRequest& request)
{
    const auto dialog = makeFileDialog(parent, request, false);
    return runFileDialog(*dialog);
}

std::optional<QString> QtPrompter::saveFile(QWidget* parent, const FileRequest& request)
{
    const auto dialog = makeFileDialog(parent, request, true);
    return runFileDialog(*dialog);
}

std::optional<QString> QtPrompter::chooseFolder(QWidget* parent, const QString& title, const QString& startFolder)
{
    const auto dialog = makeFolderDialog(parent, title, startFolder);
    return runFileDialog(*dialog);
}

int QtPrompter::runModal(QDialog& dialog)
{
    const ArrowWhileOpen arrow;
    return dialog.exec();
}

} // namespace TessarinEditor
