// The build panel on the demo project, the progress dialog in the middle of a models build, with
// failures counted and after Stop, and after a finished bank build, and the update notice.

#include "Screenshots.h"

#include "core/ProgramVersion.h"
#include "model/PhoneticDictionary.h"
#include "model/ProjectDocument.h"
#include "model/ProjectPaths.h"
#include "ui/windows/CAppUpdateDlg.h"
#include "ui/build/CVbSettingPanelDlg.h"
#include "ui/build/CVoiceBankProcessDlg.h"
#include "ui/toolkit/Prompter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

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

// Answers OK to every question ("Stop building?").
class AnswersOk : public Prompter {
public:
    Answer message(QWidget*, const QString&, const QString&, Icon, Buttons) override { return Answer::Ok; }
    std::optional<QString> openFile(QWidget*, const FileRequest&) override { return std::nullopt; }
    std::optional<QString> saveFile(QWidget*, const FileRequest&) override { return std::nullopt; }
    std::optional<QString> chooseFolder(QWidget*, const QString&, const QString&) override { return std::nullopt; }
    int runModal(QDialog&) override { return 0; }
};

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
    // A copy of the first demo folder whose first two recordings are gone and a listed symbol that it
    // lacks: failures counted, then Stop.
    {
        const std::filesystem::path demoFolder = demoRecording(context).parent_path();
        const std::filesystem::path copy = scratch / "wav";
        std::filesystem::create_directories(copy, ec);
        std::vector<std::filesystem::path> wavs;
        for (const auto& file : std::filesystem::directory_iterator(demoFolder, ec)) {
            std::filesystem::copy_file(file.path(), copy / file.path().filename(), ec);
            if (file.path().extension() == ".wav") {
                wavs.push_back(file.path().filename());
            }
        }
        std::sort(wavs.begin(), wavs.end());
        for (std::size_t i = 0; i < wavs.size() && i < 2; ++i) {
            std::filesystem::remove(copy / wavs[i], ec);
        }
        BuildInputs inputs = demoInputs(*document.model(), projectFile);
        inputs.modelFolder = (scratch / "failing-models").string();
        inputs.wavLocations = {copy.string()};
        CVoiceBankProcessDlg dialog(CVoiceBankProcessDlg::kBuildModels, std::move(inputs),
                                    QString::fromStdString((scratch / "failing-log.txt").string()));
        dialog.resize(680, 460);
        dialog.start();
        ok = pumpUntil([&] { return dialog.shownText().count(QStringLiteral(">> ")) >= 5 || !dialog.run().running(); }) && ok;
        ok = save(context, QStringLiteral("build-progress-failures"), picture(dialog)) && ok;
        AnswersOk answers;
        const PrompterScope scope(answers);
        dialog.onStop();
        QCoreApplication::sendPostedEvents();
        ok = save(context, QStringLiteral("build-progress-stopped"), picture(dialog)) && ok;
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
