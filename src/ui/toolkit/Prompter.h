#pragma once

// Every question the desktop program puts to the user in a window of its own: message boxes, file
// and folder choosers, and modal dialogs. The program asks through the installed Prompter; the Qt
// one shows real dialogs, tests install a scripted one (a modal dialog would block them forever).

#include <QString>
#include <QStringList>

#include <optional>

class QDialog;
class QWidget;

namespace TessarinEditor {

// The caption of a message box for which the program names none.
inline QString appCaption()
{
    return QStringLiteral("Lirvane ToolBox");
}

class Prompter {
public:
    enum class Icon { Error, Question, Information, Warning };
    enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel };
    enum class Answer { Ok, Cancel, Yes, No };

    struct FileRequest {
        QString title;
        QStringList nameFilters;  // "Project files (*.lvtb)", …
        QString defaultSuffix;    // added to a name typed without one; empty for none
        QString startPath;        // a folder or a file; empty: the last folder of this run
    };

    virtual ~Prompter();

    // A message box with plain text (never read as markup); an empty caption is appCaption().
    virtual Answer message(QWidget* parent, const QString& text, const QString& caption, Icon icon,
                           Buttons buttons) = 0;
    virtual std::optional<QString> openFile(QWidget* parent, const FileRequest& request) = 0;
    // Asks before an existing file is overwritten.
    virtual std::optional<QString> saveFile(QWidget* parent, const FileRequest& request) = 0;
    virtual std::optional<QString> chooseFolder(QWidget* parent, const QString& title, const QString& startFolder) = 0;
    // Runs dialog modally; its result code (QDialog::Accepted, QDialog::Rejected or its own).
    virtual int runModal(QDialog& dialog) = 0;

    // The common boxes.
    void error(QWidget* parent, const QString& text, const QString& caption = {});
    void information(QWidget* parent, const QString& text, const QString& caption = {});
    bool askYesNo(QWidget* parent, const QString& text, const QString& caption = {});
};

// The installed prompter: the Qt one unless a PrompterScope installed another.
Prompter& prompter();

// Installs a prompter for its lifetime and puts the previous one back afterwards.
class PrompterScope {
public:
    explicit PrompterScope(Prompter& installed);
    ~PrompterScope();
    PrompterScope(const PrompterScope&) = delete;
    PrompterScope& operator=(const PrompterScope&) = delete;

private:
    Prompter* m_previous;
};

// The busy cursor for the life of the object.
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace TessarinEditor
