#pragma once

// The update notice: the current and the latest version and the download address in a read-only
// text, and a "Download url" button that opens the address in the desktop's browser when it is an
// http or https address (anything else is only shown, never opened) and then shows a note under
// the button.
//
// The main window shows it on message 8477 through its showUpdateDialog hook, which
// installBuildAndUpdateHooks() (DesktopBuildHooks.h) sets to showUpdateDialog() below.

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace TessarinEditor {

class CAppUpdateDlg : public QDialog {
    Q_OBJECT
public:
    // Opens an address in the browser; true when it was handed over.
    using Opener = std::function<bool(const QUrl&)>;

    CAppUpdateDlg(const QString& currentVersion, const QString& latestVersion, const QString& downloadUrl,
                  QWidget* parent = nullptr);
    ~CAppUpdateDlg() override;

    // "Download url": opens the address only when it may be opened, then shows the note.
    void onDownload();

    // Tests put a recorder in place of the browser.
    void setOpener(Opener opener) { m_opener = std::move(opener); }

    QPlainTextEdit& textView() { return *m_text; }
    QPushButton& downloadButton() { return *m_download; }
    QLabel& noteLabel() { return *m_note; }

private:
    QString m_url;
    Opener m_opener;
    QPlainTextEdit* m_text;
    QPushButton* m_download;
    QLabel* m_note;
};

// Shows the notice for a newer version (with the program's own version as the current one) through
// the Prompter.
void showUpdateDialog(QWidget* parent, const QString& latestVersion, const QString& downloadUrl);

} // namespace TessarinEditor
