#pragma once

// The phonetic dictionary window: six pages, one per list text of the project, and "Check
// Dictionary". Every edit goes into the project at once and marks it modified.

#include "model/CTsToolBoxProjModel.h"
#include "ui/toolkit/CSignalWndProtocol.h"

#include <QString>

#include <array>

class QPlainTextEdit;
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
    CTextContainerDlg(CTextContainerDelegate& delegate, QWidget* parent = nullptr);
    // Fills the box without reporting a change. Line ends show as the box's own.
    void setText(const QString& text);
    // The text with CR LF line ends, as the project keeps it.
    const QString& text() const { return m_text; }
    QPlainTextEdit& editor() { return *m_edit; }

private:
    CTextContainerDelegate& m_delegate;
    QPlainTextEdit* m_edit;
    QString m_text;
};

class CTsDictSettingDlg : public CSignalDlgImp, private CTextContainerDelegate {
    Q_OBJECT
public:
    static constexpr int kPageCount = 6;
    // The project text each tab edits, in tab order.
    static constexpr std::array<ProjectField, kPageCount> kPageFields = {
        ProjectField::symbolList,          ProjectField::vowelList,       ProjectField::voicedConsonantList,
        ProjectField::unvoicedConsonantList, ProjectField::independentList, ProjectField::tailList,
    };

    explicit CTsDictSettingDlg(QWidget* parent = nullptr);

    CTextContainerDlg& page(int index) { return *m_pages[static_cast<std::size_t>(index)]; }
    QTabWidget& tabs() { return *m_tabs; }
    void checkDictionary();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void textChanged(CTextContainerDlg& page, const QString& text) override;

    QTabWidget* m_tabs;
    std::array<CTextContainerDlg*, kPageCount> m_pages{};
};

} // namespace TessarinEditor
