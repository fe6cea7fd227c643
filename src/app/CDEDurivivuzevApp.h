#pragma once

// The desktop program's application object: the settings, the language table, the main window and
// the project file named on the command line.

#include "ui/windows/CTsToolBoxAppMainFrame.h"

#include <QApplication>

#include <memory>

class CDEDurivivuzevApp : public QApplication {
    Q_OBJECT
public:
    CDEDurivivuzevApp(int& argc, char** argv);
    ~CDEDurivivuzevApp() override;

    // Makes the main window, opens the project named by the first argument (without a dialog or a
    // save prompt) and shows the window.
    void initInstance();

    TessarinEditor::CTsToolBoxAppMainFrame* mainWindow() const { return m_mainWindow.get(); }

private:
    std::unique_ptr<TessarinEditor::CTsToolBoxAppMainFrame> m_mainWindow;
};
