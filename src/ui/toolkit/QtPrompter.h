#pragma once

// The Prompter with Qt's dialogs: QMessageBox with plain text, and Qt's own file dialog (the same on
// every desktop and offscreen). The last folder chosen is remembered for the run. While a dialog is
// open the arrow shows, whatever busy cursor is set.

#include "ui/toolkit/Prompter.h"

#include <QFileDialog>
#include <QMessageBox>

#include <memory>

namespace TessarinEditor {

class QtPrompter : public Prompter {
public:
    Answer message(QWidget* parent, const QString& text, const QString& caption, Icon icon, Buttons buttons) override;
    std::optional<QString> openFile(QWidget* parent, const FileRequest& request) override;
    std::optional<QString> saveFile(QWidget* parent, const FileRequest& request) override;
    std::optional<QString> chooseFolder(QWidget* parent, const QString& title, const QString& startFolder) override;
    int runModal(QDialog& dialog) override;

    // The dialogs as they are shown (for tests of their set-up).
    static std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text, const QString& caption,
                                                       Icon icon, Buttons buttons);
    std::unique_ptr<QFileDialog> makeFileDialog(QWidget* parent, const FileRequest& request, bool save) const;
    std::unique_ptr<QFileDialog> makeFolderDialog(QWidget* parent, const QString& title, const QString& startFolder) const;

    const QString& lastFolder() const { return m_lastFolder; }

private:
    std::optional<QString> runFileDialog(QFileDialog& dialog);

    QString m_lastFolder;
};

} // namespace TessarinEditor
