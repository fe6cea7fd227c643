#pragma once

// The phonetic dictionary window: six pages, one per list text of the project, and "Check
// Dictionary". Every edit goes into the project at once and marks it modified.

#include "model/CTsToolBoxProjModel.h"
#include "model/PhoneticDictionary.h"
#include "ui/toolkit/CSignalWndProtocol.h"

#include <QString>

#include <array>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace TessarinEditor {

class CTextContainerDlg;

class CTextContainerDelegate {
public:
    virtual ~CTextContainerDelegate() = default;
    virtual void textChanged(CTextContainerDlg& page, const QString& text) = 0;
};

// One page: a multi-line text box without a length limit, bound to a string.
class CTextContainerDlg : public QWidget {
    Q_OBJECT
public:
    // hint: what one line of this list holds, shown above the box.
    CTextContainerDlg(CTextContainerDelegate& delegate, const QString& hint, QWidget* parent = nullptr);
    // Fills the box without reporting a change. Line ends show as the box's own.
    void setText(const QString& text);
    // The text with CR LF line ends, as the project keeps it.
    const QString& text() const { return m_text; }
    QPlainTextEdit& editor() { return *m_edit; }
    QLabel& hint() { return *m_hint; }
    // Shows notice, read-only, in place of a text too large to edit; the text is never reported back.
    void refuse(const QString& notice);
    bool refused() const { return m_refused; }

private:
    CTextContainerDelegate& m_delegate;
    bool m_refused = false;
    QLabel* m_hint;
    QPlainTextEdit* m_edit;
    QString m_text;
};

class CTsDictSettingDlg : public CSignalDlgImp, private CTextContainerDelegate {
    Q_OBJECT
public:
    static constexpr int kPageCount = 6;
    static constexpr std::array<const char*, kPageCount> kCaptions = {
        "1 Symbol List",          "2 Vowel List",           "3 Voiced Consonant List",
        "4 Unvoiced Consonant List", "5 Independent Symbol List", "6 Tail Symbol List",
    };
    // The project text each tab edits, in tab order.
    static constexpr std::array<ProjectField, kPageCount> kPageFields = {
        ProjectField::symbolList,          ProjectField::vowelList,       ProjectField::voicedConsonantList,
        ProjectField::unvoicedConsonantList, ProjectField::independentList, ProjectField::tailList,
    };

    // The largest list a page edits [bytes]: every key stores the whole list into the project, and a
    // box of many megabytes freezes at every key. A larger list is shown as a notice instead, left as
    // it is in the project, and said once in a message when the window opens.
    static constexpr std::size_t kLargestEditableList = std::size_t(1) << 20;

    explicit CTsDictSettingDlg(QWidget* parent = nullptr);
    // The line a failed check adds to its message to say where: "\nTab \"3 Voiced Consonant List\",
    // line 4." (without ", line" when the check names no line); empty when it names no list.
    static QString placeText(const PhoneticDictionary::Place& where);
    // The window's least size (its tab row whole), known before one is made.
    static QSize leastSize();
    // The message about lists too large to edit; empty when every list is edited.
    const QString& refusedMessage() const { return m_refusedMessage; }

    CTextContainerDlg& page(int index) { return *m_pages[static_cast<std::size_t>(index)]; }
    QTabWidget& tabs() { return *m_tabs; }
    QPushButton& checkButton() { return *m_check; }
    // "Check Dictionary": on a failure the message names the tab and the line, and that tab opens
    // with the cursor on that line.
    void checkDictionary();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void textChanged(CTextContainerDlg& page, const QString& text) override;

    QTabWidget* m_tabs;
    QPushButton* m_check = nullptr;
    std::array<CTextContainerDlg*, kPageCount> m_pages{};
    QString m_refusedMessage;
};

} // namespace TessarinEditor
