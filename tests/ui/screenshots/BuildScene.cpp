// The build panel on the demo project, the progress dialog in the middle of a models build and
// after a finished bank build, and the update notice.

#include "Screenshots.h"

#include "core/ProgramVersion.h"
#include "model/PhoneticDictionary.h"
#include "model/ProjectDocument.h"
#include "model/ProjectPaths.h"
#include "ui/windows/CAppUpdateDlg.h"
#include "ui/build/CVbSettingPanelDlg.h"
#include "ui/build/CVoiceBankProcessDlg.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include <cstdio>

namespace lvshots {

namespace {

using namespace TessarinEditor;

QImage picture(QWidget& window)
{
    window.show();
    QCoreApplication::processEvents();
    return window.grab().toImage();
}

template <class Done>
bool pumpUntil(Done done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 300000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QCoreApplication::sendPostedEvents();
    return true;
}

BuildInputs demoInputs(const TSTBCurrentModel::CTsToolBoxProjModel& stored, const std::filesystem::path& projectFile)
{
    TSTBCurrentModel::CTsToolBoxProjModel project = stored;
    resolveProjectFolders(project, projectFile);
    BuildInputs inputs;
    inputs.dictionary = PhoneticDictionary::fromProject(project);
    inputs.wavLocations = project.wavLocations;
    inputs.modelFolder = project.modelFolder;
    inputs.voiceBankFolder = project.voiceBankFolder;
    inputs.voiceBankName = project.voiceBankName;
    inputs.skipExisting = false;
    inputs.jobs = 1;
    return inputs;
}

} // namespace

bool buildScene(const Context& context)
{
    const std::filesystem::path projectFile = context.demoDir / "demo.lvtb";
    ProjectDocument document;
    if (!document.open(projectFile)) {
        std::fprintf(stderr, "screenshots: cannot open %s\n", projectFile.c_str());
        return false;
    }
    bool ok = true;
    {
        CVbSettingPanelDlg panel(document);
        panel.locationList().selectRow(0);
        ok = save(context, QStringLiteral("build-panel"), picture(panel)) && ok;
    }

    // Models into a folder of their own (the demo's models stay as they are), stopped midway.
    const std::filesystem::path scratch = context.outDir / "build-scratch";
    std::error_code ec;
    std::filesystem::remove_all(scratch, ec);
    {
        BuildInputs inputs = demoInputs(*document.model(), projectFile);
        inputs.modelFolder = (scratch / "models").string();
        CVoiceBankProcessDlg dialog(CVoiceBankProcessDlg::kBuildModels, std::move(inputs),
                                    QString::fromStdString((scratch / "models-log.txt").string()));
        dialog.start();
        ok = pumpUntil([&] { return dialog.shownText().count(QStringLiteral(">> ")) >= 6 || !dialog.run().running(); }) && ok;
        ok = save(context, QStringLiteral("build-progress-models"), picture(dialog)) && ok;
        dialog.run().stop();
    }
    {
        BuildInputs inputs = demoInputs(*document.model(), projectFile);
        inputs.voiceBankFolder = (scratch / "bank").string();
        inputs.pitches = {"C4", "E4", "G4"};
        CVoiceBankProcessDlg dialog(CVoiceBankProcessDlg::kBuildVoiceBank, std::move(inputs),
                                    QString::fromStdString((scratch / "bank-log.txt").string()));
        dialog.start();
        // The last refresh is posted after the worker stops running: wait until it is shown.
        ok = pumpUntil([&] {
            return !dialog.run().running() && dialog.shownText().contains(QStringLiteral("-------------End "));
        }) && ok;
        ok = save(context, QStringLiteral("build-progress-bank"), picture(dialog)) && ok;
    }
    std::filesystem::remove_all(scratch, ec);

    {
        CAppUpdateDlg dialog(QString::fromUtf8(Tessarin::kProgramVersion.data(), qsizetype(Tessarin::kProgramVersion.size())),
                             QStringLiteral("beta_1.2.0"), QStringLiteral("https://lirvane.example/download/toolbox"));
        dialog.setOpener([](const QUrl&) { return true; });
        dialog.downloadButton().click();
        ok = save(context, QStringLiteral("update-dialog"), picture(dialog)) && ok;
    }
    return ok;
}

} // namespace lvshots
