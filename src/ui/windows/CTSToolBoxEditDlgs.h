#pragma once

// The two small modal dialogs that ask for a new name and pitch when the voice configuration list
// renames or copies an entry: one for CV and independent entries, one for VX entries (a V and an X
// part). They check nothing; the list compares the result with the old values.

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;

namespace TessarinEditor {

class CTSToolBoxEditCvDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTSToolBoxEditCvDlg(QWidget* parent = nullptr);
    // Fills the boxes and the captions; run it through the Prompter.
    void prepare(const QString& symbolText, const QString& pitchText, const QString& caption, const QString& label);
    void accept() override;

    QString caption;
    QString labelText;
    QString symbol;
    QString pitch;

    QLineEdit& symbolBox() { return *m_symbol; }
    QLineEdit& pitchBox() { return *m_pitch; }

private:
    QLabel* m_label;
    QLineEdit* m_symbol;
    QLineEdit* m_pitch;
};

class CTSToolBoxEditVxDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTSToolBoxEditVxDlg(QWidget* parent = nullptr);
    void prepare(const QString& vText, const QString& xText, const QString& pitchText, const QString& caption);
    void accept() override;

    QString vPart;
    QString xPart;
    QString pitch;

    QLineEdit& vBox() { return *m_v; }
    QLineEdit& xBox() { return *m_x; }
    QLineEdit& pitchBox() { return *m_pitch; }

private:
    QLineEdit* m_v;
    QLineEdit* m_x;
    QLineEdit* m_pitch;
};

} // namespace TessarinEditor
