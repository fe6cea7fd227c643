#include "ui/build/CVbSettingPanelDlg.h"

#include "builder/BuildFiles.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/PhoneticDictionary.h"
#include "model/ProjectPaths.h"
#include "model/TextSplit.h"
#include "ui/build/CVoiceBankProcessDlg.h"
#include "ui/windows/CTsDictSettingDlg.h"
#include "ui/toolkit/Messages.h"
#include "ui/toolkit/Prompter.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

namespace TessarinEditor {

namespace {

QString qs(const std::string& text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

std::string utf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// A list typed in the panel: line ends and spaces removed, split at "," (empty pieces kept).
std::vector<std::string> panelPieces(std::string_view text)
{
    std::string cleaned;
    for (const char c : text) {
        if (c != '\n' && c != '\r' && c != ' ') {
            cleaned += c;
        }
    }
    return splitText(cleaned, ',');
}

QPushButton* button(const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setAutoDefault(false);
    return b;
}

} // namespace

CVbSettingPanelDlg::CVbSettingPanelDlg(ProjectDocument& document, QWidget* parent)
    : QWidget(parent, Qt::Window),
      m_document(document),
      m_jobs(defaultBuildJobs()),
      m_locations(new QTableWidget(0, 1, this)),
      m_add(button(QStringLiteral("+"), this)),
      m_remove(button(QStringLiteral("-"), this)),
      m_allSymbols(new QRadioButton(QStringLiteral("All setted symbols in wav locations"), this)),
      m_listedSymbols(new QRadioButton(QStringLiteral("Please input symbols, for example:a,la,ka,a_l,a_k, ..."), this)),
      m_symbols(new QLineEdit(this)),
      m_modelFolderButton(button(QStringLiteral("Model File Location"), this)),
      m_modelFolder(new QLineEdit(this)),
      m_overwrite(new QCheckBox(QStringLiteral("Overwrite existing models"), this)),
      m_buildModels(button(QStringLiteral("Build Voice Model Files"), this)),
      m_pitches(new QLineEdit(this)),
      m_voiceBankFolderButton(button(QStringLiteral("Voice Bank Location"), this)),
      m_voiceBankFolder(new QLineEdit(this)),
      m_singer(new QLineEdit(this)),
      m_buildBank(button(QStringLiteral("Build Voice Bank"), this))
{
    setWindowTitle(QStringLiteral("Build Voice Bank"));
    resize(560, 600);

    m_locations->horizontalHeader()->hide();
    m_locations->verticalHeader()->hide();
    m_locations->setColumnWidth(0, 300);
    m_locations->horizontalHeader()->setStretchLastSection(true);
    m_locations->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_locations->setSelectionMode(QAbstractItemView::SingleSelection);
    m_locations->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_locations->setShowGrid(true);
    m_locations->setWordWrap(false);
    m_locations->setTextElideMode(Qt::ElideMiddle);
    m_modelFolder->setReadOnly(true);
    m_voiceBankFolder->setReadOnly(true);

    auto* locations = new QGroupBox(QStringLiteral("Wav Locations"), this);
    m_locationGroup = locations;
    setAcceptDrops(true);
    auto* locationButtons = new QVBoxLayout;
    locationButtons->addWidget(m_add);
    locationButtons->addWidget(m_remove);
    locationButtons->addStretch(1);
    auto* locationLayout = new QHBoxLayout(locations);
    locationLayout->addWidget(m_locations, 1);
    locationLayout->addLayout(locationButtons);

    auto* symbols = new QGroupBox(QStringLiteral("Model Symbols"), this);
    auto* symbolLayout = new QGridLayout(symbols);
    symbolLayout->addWidget(m_allSymbols, 0, 0, 1, 2);
    symbolLayout->addWidget(m_listedSymbols, 1, 0, 1, 2);
    symbolLayout->addWidget(m_symbols, 2, 0, 1, 2);
    symbolLayout->addWidget(m_modelFolderButton, 3, 0);
    symbolLayout->addWidget(m_modelFolder, 3, 1);
    symbolLayout->addWidget(m_overwrite, 4, 0, 1, 2);
    symbolLayout->addWidget(m_buildModels, 5, 0, 1, 2, Qt::AlignRight);
    symbolLayout->setColumnStretch(1, 1);

    auto* bank = new QGroupBox(QStringLiteral("Build Voice Bank"), this);
    auto* bankLayout = new QGridLayout(bank);
    bankLayout->addWidget(new QLabel(QStringLiteral("Pitch Symbols"), bank), 0, 0);
    bankLayout->addWidget(m_pitches, 0, 1);
    bankLayout->addWidget(new QLabel(QStringLiteral("For example：A3,C4,E4"), bank), 1, 1);
    bankLayout->addWidget(m_voiceBankFolderButton, 2, 0);
    bankLayout->addWidget(m_voiceBankFolder, 2, 1);
    bankLayout->addWidget(new QLabel(QStringLiteral("Singer Name"), bank), 3, 0);
    bankLayout->addWidget(m_singer, 3, 1);
    bankLayout->addWidget(m_buildBank, 4, 0, 1, 2, Qt::AlignRight);
    bankLayout->setColumnStretch(1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(locations, 1);
    layout->addWidget(symbols);
    layout->addWidget(bank);

    connect(m_add, &QPushButton::clicked, this, &CVbSettingPanelDlg::addWavLocation);
    connect(m_remove, &QPushButton::clicked, this, &CVbSettingPanelDlg::removeWavLocation);
    connect(m_modelFolderButton, &QPushButton::clicked, this, &CVbSettingPanelDlg::chooseModelFolder);
    connect(m_voiceBankFolderButton, &QPushButton::clicked, this, &CVbSettingPanelDlg::chooseVoiceBankFolder);
    connect(m_buildModels, &QPushButton::clicked, this, &CVbSettingPanelDlg::buildModelFiles);
    connect(m_buildBank, &QPushButton::clicked, this, &CVbSettingPanelDlg::buildVoiceBank);
    // Only the user's changes reach the project (filling blocks these signals).
    connect(m_allSymbols, &QRadioButton::clicked, this, [this] {
        m_symbols->setEnabled(false);
        m_document.setAllSymbols(1);
    });
    connect(m_listedSymbols, &QRadioButton::clicked, this, [this] {
        m_symbols->setEnabled(true);
        m_document.setAllSymbols(0);
    });
    connect(m_symbols, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_document.setField(ProjectField::modelSymbols, utf8(text)); });
    connect(m_pitches, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_document.setField(ProjectField::pitchList, utf8(text)); });
    connect(m_singer, &QLineEdit::textEdited, this,
            [this](const QString& text) { m_document.setField(ProjectField::voiceBankName, utf8(text)); });

    reloadFromProject();
}

CVbSettingPanelDlg::~CVbSettingPanelDlg() = default;

void CVbSettingPanelDlg::reloadFromProject()
{
    const auto* model = m_document.model();
    const QSignalBlocker b1(m_allSymbols), b2(m_listedSymbols), b3(m_symbols), b4(m_pitches), b5(m_singer);
    const bool all = model == nullptr || model->allSymbols != 0;
    m_allSymbols->setChecked(all);
    m_listedSymbols->setChecked(!all);
    m_symbols->setEnabled(!all);
    m_symbols->setText(qs(m_document.field(ProjectField::modelSymbols)));
    m_modelFolder->setText(qs(m_document.field(ProjectField::modelFolder)));
    m_pitches->setText(qs(m_document.field(ProjectField::pitchList)));
    m_voiceBankFolder->setText(qs(m_document.field(ProjectField::voiceBankFolder)));
    m_singer->setText(qs(m_document.field(ProjectField::voiceBankName)));
    fillLocations();
}

void CVbSettingPanelDlg::fillLocations()
{
    m_locations->clearContents();
    const auto* model = m_document.model();
    const int rows = model == nullptr ? 0 : int(model->wavLocations.size());
    m_locations->setRowCount(rows);
    for (int row = 0; row < rows; ++row) {
        auto* item = new QTableWidgetItem(qs(model->wavLocations[std::size_t(row)]));
        item->setToolTip(item->text());
        m_locations->setItem(row, 0, item);
    }
}

void CVbSettingPanelDlg::addWavLocation()
{
    const auto folder = prompter().chooseFolder(this, QStringLiteral("FilePath"),
                                                qs(m_document.field(ProjectField::browseFolder)));
    if (!folder || folder->isEmpty()) {
        return;
    }
    m_document.addWavLocation(utf8(*folder));
    fillLocations();
}

void CVbSettingPanelDlg::removeWavLocation()
{
    const int row = m_locations->currentRow();
    const QTableWidgetItem* item = row < 0 ? nullptr : m_locations->item(row, 0);
    if (item == nullptr || !item->isSelected()) {
        return;
    }
    m_document.removeWavLocation(utf8(item->text()));
    fillLocations();
}

void CVbSettingPanelDlg::chooseModelFolder()
{
    const auto folder = prompter().chooseFolder(this, QStringLiteral("FilePath"), m_modelFolder->text());
    if (!folder || folder->isEmpty()) {
        return;
    }
    m_modelFolder->setText(*folder);
    m_document.setField(ProjectField::modelFolder, utf8(*folder));
}

void CVbSettingPanelDlg::chooseVoiceBankFolder()
{
    const auto folder = prompter().chooseFolder(this, QStringLiteral("FilePath"), m_voiceBankFolder->text());
    if (!folder || folder->isEmpty()) {
        return;
    }
    m_voiceBankFolder->setText(*folder);
    m_document.setField(ProjectField::voiceBankFolder, utf8(*folder));
}

void CVbSettingPanelDlg::buildModelFiles()
{
    startCommand(BuildRun::kBuildModels);
}

void CVbSettingPanelDlg::buildVoiceBank()
{
    startCommand(BuildRun::kBuildVoiceBank);
}

std::optional<BuildInputs> CVbSettingPanelDlg::commandInputs(int mode)
{
    const auto* stored = m_document.model();
    if (stored == nullptr) {
        return std::nullopt;
    }
    std::string message;
    PhoneticDictionary::Place where;
    if (!checkProjectDictionary(*stored, message, &where)) {
        prompter().error(this, qs(message) + CTsDictSettingDlg::placeText(where));
        return std::nullopt;
    }
    TSTBCurrentModel::CTsToolBoxProjModel project = *stored;
    if (!m_document.path().empty()) {
        resolveProjectFolders(project, m_document.path());
    }
    // A build that could do nothing says why instead of starting.
    QString nothingToDo;
    if (mode == BuildRun::kBuildModels && project.wavLocations.empty()) {
        nothingToDo = QStringLiteral("No WAV locations");
    } else if (project.modelFolder.empty()) {
        nothingToDo = QStringLiteral("No model folder");
    } else if (mode == BuildRun::kBuildModels) {
        std::size_t entries = 0;
        for (const std::string& location : project.wavLocations) {
            CTsVoiceCfgMgr mgr;
            mgr.loadFolder(std::filesystem::path(location));
            entries += mgr.entryMap().size();
        }
        if (entries == 0) {
            nothingToDo = QStringLiteral("No entries to build");
        }
    }
    if (!nothingToDo.isEmpty()) {
        prompter().error(this, nothingToDo);
        return std::nullopt;
    }
    BuildInputs inputs;
    inputs.dictionary = PhoneticDictionary::fromProject(project);
    inputs.modelFolder = project.modelFolder;
    inputs.jobs = m_jobs;
    if (mode == BuildRun::kBuildModels) {
        inputs.wavLocations = project.wavLocations;
        if (!m_allSymbols->isChecked()) {
            inputs.symbols = panelPieces(project.modelSymbols);
        }
        inputs.skipExisting = !m_overwrite->isChecked();
    } else {
        inputs.voiceBankFolder = project.voiceBankFolder;
        inputs.voiceBankName = project.voiceBankName;
        inputs.pitches = panelPieces(project.pitchList);
    }
    return inputs;
}

void CVbSettingPanelDlg::startCommand(int mode)
{
    std::optional<BuildInputs> inputs;
    {
        WaitCursor wait;
        inputs = commandInputs(mode);
    }
    if (!inputs) {
        return;
    }
    Prompter::FileRequest request;
    request.title = QStringLiteral("Choose log file");
    request.nameFilters = QStringList{QStringLiteral("log file(*.txt)")};
    request.defaultSuffix = QStringLiteral("txt");
    const auto log = prompter().saveFile(this, request);
    if (!log || log->isEmpty()) {
        return;
    }
    // The chooser's "replace?" would let the log take the place of the project itself, or of a
    // file the build reads or writes: refused, as lvtb --log refuses it.
    if (const auto* stored = m_document.model()) {
        TSTBCurrentModel::CTsToolBoxProjModel project = *stored;
        if (!m_document.path().empty()) {
            resolveProjectFolders(project, m_document.path());
        }
        const std::filesystem::path logPath(log->toStdString());
        if (const auto what = buildFileAt(logPath, m_document.path(), project)) {
            prompter().error(this, *log + QStringLiteral(" is ") + qs(*what) +
                                       QStringLiteral(": the log must not replace a file the build reads or writes. "
                                                      "Choose another log file."));
            return;
        }
    }
    CVoiceBankProcessDlg dialog(mode, std::move(*inputs), *log, this);
    dialog.start();
    prompter().runModal(dialog);
}

QStringList CVbSettingPanelDlg::droppedLocations(const QMimeData* data, const QPoint& pos) const
{
    QStringList folders;
    if (data == nullptr || !data->hasUrls() || !m_locationGroup->geometry().contains(pos)) {
        return folders;
    }
    for (const QUrl& url : data->urls()) {
        const QString folder = url.toLocalFile();
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
            folders << QDir::cleanPath(folder);
        }
    }
    return folders;
}

void CVbSettingPanelDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedLocations(event->mimeData(), event->position().toPoint()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CVbSettingPanelDlg::dragMoveEvent(QDragMoveEvent* event)
{
    if (droppedLocations(event->mimeData(), event->position().toPoint()).isEmpty()) {
        event->ignore();
    } else {
        event->acceptProposedAction();
    }
}

void CVbSettingPanelDlg::dropEvent(QDropEvent* event)
{
    const QStringList folders = droppedLocations(event->mimeData(), event->position().toPoint());
    if (folders.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    for (const QString& folder : folders) {
        m_document.addWavLocation(utf8(folder));
    }
    fillLocations();
}

void CVbSettingPanelDlg::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted() && parentWidget() != nullptr) {
        ToolWindowEvent closed(Msg::kBuildPanel, 1);
        QCoreApplication::sendEvent(parentWidget(), &closed);
    }
}

} // namespace TessarinEditor
