#include "app/CDEDurivivuzevApp.h"

#include "model/CAppConfigModel.h"
#include "ui/editor/CWavMgrDlg.h"
#include "ui/build/DesktopBuildHooks.h"

#include <QStringList>

CDEDurivivuzevApp::CDEDurivivuzevApp(int& argc, char** argv) : QApplication(argc, argv)
{
    // The profile key; the display name stays unset (Qt would append it to every window title).
    QCoreApplication::setOrganizationName(QStringLiteral("Lirvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Lirvane ToolBox"));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(TessarinEditor::kProgramVersion.data(),
                                                              static_cast<qsizetype>(TessarinEditor::kProgramVersion.size())));
    setWindowIcon(QIcon(QStringLiteral(":/icons/lirvane-toolbox.png")));
    // Settings are read once here; the main window reads the language file they name.
    config();
}

CDEDurivivuzevApp::~CDEDurivivuzevApp() = default;

void CDEDurivivuzevApp::initInstance()
{
    TessarinEditor::defaultMainFrameHooks().makeWaveEditor = [](QWidget* parent) {
        return static_cast<QWidget*>(new TessarinEditor::CWavMgrDlg(parent));
    };
    TessarinEditor::installBuildAndUpdateHooks(TessarinEditor::defaultMainFrameHooks());
    m_mainWindow = std::make_unique<TessarinEditor::CTsToolBoxAppMainFrame>();
    m_mainWindow->openStartupProject(arguments());
    m_mainWindow->show();
}
