#include "ui/windows/CTsOtoSetingDlg.h"

#include "core/PitchName.h"
#include "builder/EntryScan.h"
#include "model/CAppConfigModel.h"
#include "model/EntryNaming.h"
#include "model/ProjectPaths.h"
#include "ui/windows/CurrentProject.h"
#include "ui/windows/CTSToolBoxEditDlgs.h"
#include "ui/windows/CTsDictSettingDlg.h"
#include "ui/toolkit/Messages.h"
#include "ui/toolkit/Prompter.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QSignalBlocker>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <map>
#include <thread>
#include <vector>

namespace TessarinEditor {

namespace {

// The deferred command that opens the row just selected by a move in the editor.
constexpr std::intptr_t kDeferredEditMarkers = 1;
// The same for a file without an entry: a new entry of it.
constexpr std::intptr_t kDeferredNewMarkers = 2;
constexpr int kKeyRole = Qt::UserRole;      // column 0: the entry's key in the manager
constexpr int kTimeRole = Qt::UserRole + 1; // column 4: the update time as a number
constexpr int kFileRole = Qt::UserRole + 2; // column 0 of a file without an entry: its name
constexpr std::array<int, 7> kColumnWidths = {36, 100, 60, 60, 150, 220, 160};

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string toUtf8(const QString& text)
{
    return text.toUtf8().toStdString();
}

// Folders compare as absolute paths without a trailing separator.
QString normalFolder(const QString& folder)
{
    return folder.isEmpty() ? QString() : QDir::cleanPath(QDir(folder).absolutePath());
}

// The first local folder among the dropped items.
std::optional<QString> droppedFolder(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls()) {
        return std::nullopt;
    }
    for (const QUrl& url : data->urls()) {
        const QString folder = url.toLocalFile();
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
            return folder;
        }
    }
    return std::nullopt;
}

QTableWidgetItem* makeItem(const QString& text, Qt::Alignment alignment)
{
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

// The location box: its items are refreshed from the project just before they are shown.
class LocationBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;

    void showPopup() override
    {
        if (beforePopup) {
            beforePopup();
        }
        QComboBox::showPopup();
    }
};

PhoneticDictionary projectDictionary()
{
    const TSTBCurrentModel::CTsToolBoxProjModel* project = currentProject().model();
    return project != nullptr ? PhoneticDictionary::fromProject(*project) : PhoneticDictionary();
}

} // namespace

CTsOtoSetingDlg::CTsOtoSetingDlg(QWidget* parent) : CSignalDlgImp(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setAcceptDrops(true);
    setWindowTitle(QStringLiteral("Voice Config"));
    setMinimumSize(600, 500);
    resize(720, 560);

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(10, 10, 10, 10);

    auto* location = new QHBoxLayout;
    m_locationButton = new QPushButton(QStringLiteral("Wav Location"), this);
    m_locationButton->setAutoDefault(false);
    auto* locationBox = new LocationBox(this);
    locationBox->beforePopup = [this] { refreshLocationChoices(); };
    m_locationBox = locationBox;
    m_locationBox->setEditable(true);
    m_locationBox->setInsertPolicy(QComboBox::NoInsert);
    m_locationBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_addLocationButton = new QPushButton(QStringLiteral("Add to Project"), this);
    m_addLocationButton->setAutoDefault(false);
    m_addLocationButton->setToolTip(QStringLiteral("Add this folder to the project's WAV locations"));
    location->addWidget(m_locationButton);
    location->addWidget(m_locationBox, 1);
    location->addWidget(m_addLocationButton);
    top->addLayout(location);

    auto* form = new QGridLayout;
    m_kindGroup = new QButtonGroup(this);
    const std::array<const char*, 3> kindNames = {"CV", "VX", "Independent"};
    for (int k = 0; k < 3; ++k) {
        m_kindButtons[static_cast<std::size_t>(k)] = new QRadioButton(QString::fromUtf8(kindNames[static_cast<std::size_t>(k)]), this);
        m_kindGroup->addButton(m_kindButtons[static_cast<std::size_t>(k)], k);
    }
    m_wavName = new QLineEdit(this);
    m_pitch = new QLineEdit(this);
    m_cvSymbol = new QLineEdit(this);
    m_vPart = new QLineEdit(this);
    m_xPart = new QLineEdit(this);
    m_indieSymbol = new QLineEdit(this);
    m_wavName->setObjectName(QStringLiteral("wavName"));
    m_pitch->setObjectName(QStringLiteral("pitch"));
    m_cvSymbol->setObjectName(QStringLiteral("cvSymbol"));
    m_vPart->setObjectName(QStringLiteral("vPart"));
    m_xPart->setObjectName(QStringLiteral("xPart"));
    m_indieSymbol->setObjectName(QStringLiteral("indieSymbol"));

    form->addWidget(new QLabel(QStringLiteral("Wav File Name"), this), 0, 0);
    form->addWidget(m_wavName, 0, 1, 1, 4);
    form->addWidget(new QLabel(QStringLiteral("Pitch"), this), 0, 5);
    form->addWidget(m_pitch, 0, 6);
    form->addWidget(m_kindButtons[0], 1, 0);
    form->addWidget(m_cvSymbol, 1, 1, 1, 4);
    form->addWidget(m_kindButtons[1], 2, 0);
    auto* vx = new QHBoxLayout;
    vx->addWidget(new QLabel(QStringLiteral("V"), this));
    vx->addWidget(m_vPart, 1);
    vx->addWidget(new QLabel(QStringLiteral("_"), this));
    vx->addWidget(new QLabel(QStringLiteral("X"), this));
    vx->addWidget(m_xPart, 1);
    form->addLayout(vx, 2, 1, 1, 4);
    form->addWidget(m_kindButtons[2], 3, 0);
    form->addWidget(m_indieSymbol, 3, 1, 1, 4);
    form->setColumnStretch(1, 1);
    top->addLayout(form);

    auto* commands = new QHBoxLayout;
    const auto addCommand = [this](QHBoxLayout* row, const char* text, void (CTsOtoSetingDlg::*run)()) {
        auto* button = new QPushButton(QString::fromUtf8(text), this);
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, run] { (this->*run)(); });
        row->addWidget(button);
        return button;
    };
    addCommand(commands, "New markers", &CTsOtoSetingDlg::newMarkers);
    addCommand(commands, "Edit markers", &CTsOtoSetingDlg::editMarkers);
    addCommand(commands, "Rename", &CTsOtoSetingDlg::renameEntry);
    addCommand(commands, "Copy", &CTsOtoSetingDlg::copyEntry);
    addCommand(commands, "Delete", &CTsOtoSetingDlg::deleteEntry);
    commands->addStretch(1);
    top->addLayout(commands);
    // What acts on the whole folder has a row of its own below what acts on the entry of the form.
    auto* folderCommands = new QHBoxLayout;
    addCommand(folderCommands, "Make Entries", &CTsOtoSetingDlg::makeEntries);
    m_checkButton = addCommand(folderCommands, "Check", &CTsOtoSetingDlg::checkFolder);
    m_checkProgress = new QProgressBar(this);
    m_checkProgress->setFormat(QStringLiteral("%v / %m"));
    m_checkProgress->setMaximumWidth(160);
    m_checkProgress->hide();
    folderCommands->addWidget(m_checkProgress);
    folderCommands->addStretch(1);
    top->addLayout(folderCommands);

    m_table = new QTableWidget(0, kColumnCount, this);
    m_table->setHorizontalHeaderLabels({QString(), QStringLiteral("Symbol"), QStringLiteral("Pitch"), QStringLiteral("Type"),
                                        QStringLiteral("Update Time"), QStringLiteral("File Name"), QStringLiteral("Check")});
    for (int c = 0; c < kColumnCount; ++c) {
        m_table->setColumnWidth(c, kColumnWidths[static_cast<std::size_t>(c)]);
    }
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->horizontalHeader()->setSectionsClickable(true);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setShowGrid(true);
    m_table->setWordWrap(false);
    top->addWidget(m_table, 1);

    connect(m_locationButton, &QPushButton::clicked, this, [this] { chooseWavLocation(); });
    connect(m_locationBox, &QComboBox::textActivated, this, [this](const QString&) { openTypedFolder(); });
    connect(m_locationBox->lineEdit(), &QLineEdit::returnPressed, this, [this] { openTypedFolder(); });
    connect(m_addLocationButton, &QPushButton::clicked, this, [this] { addFolderToProject(); });
    connect(m_kindGroup, &QButtonGroup::idClicked, this, [this](int id) { setFormKind(id); });
    connect(m_table->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) { sortByColumn(column); });
    connect(m_table, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        loadRowIntoForm(row);
        // A failing entry is opened at once: the author is going to move its markers.
        const QTableWidgetItem* number = m_table->item(row, kColNumber);
        const auto verdict = number == nullptr ? m_verdicts.end()
                                               : m_verdicts.find(toUtf8(number->data(kKeyRole).toString()));
        if (!isFileRow(row) && verdict != m_verdicts.end() && !verdict->second.ok) {
            editMarkers();
        }
    });

    setFormKind(kFormCV);
    m_table->horizontalHeader()->setSortIndicatorShown(false);
    refreshLocationChoices();

    // The folder shown last time, when it is still there.
    const QString last = fromUtf8(config().latestTscfgLoc);
    if (!last.isEmpty() && QFileInfo(last).isDir()) {
        loadWavLocation(last);
    }
}

CTsOtoSetingDlg::~CTsOtoSetingDlg()
{
    // The worker posts to this window: it ends before the window does.
    m_check.stop();
}

void CTsOtoSetingDlg::closeEvent(QCloseEvent* event)
{
    ToolWindowEvent closed(Msg::kVoiceCfgList, 1);
    sendToMainWindow(closed);
    event->accept();
}

void CTsOtoSetingDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (droppedFolder(event->mimeData())) {
        event->acceptProposedAction();
    }
}

void CTsOtoSetingDlg::dropEvent(QDropEvent* event)
{
    if (const std::optional<QString> folder = droppedFolder(event->mimeData())) {
        event->acceptProposedAction();
        loadWavLocation(*folder);
    }
}

void CTsOtoSetingDlg::sendToMainWindow(QEvent& event)
{
    if (QWidget* main = parentWidget()) {
        QCoreApplication::sendEvent(main, &event);
    }
}

void CTsOtoSetingDlg::setFormKind(int kind)
{
    m_kind = std::clamp(kind, 0, 2);
    m_kindButtons[static_cast<std::size_t>(m_kind)]->setChecked(true);
    refreshFormEnabling();
}

void CTsOtoSetingDlg::refreshFormEnabling()
{
    m_cvSymbol->setEnabled(m_kind == kFormCV);
    m_vPart->setEnabled(m_kind == kFormVX);
    m_xPart->setEnabled(m_kind == kFormVX);
    m_indieSymbol->setEnabled(m_kind == kFormIndependent);
}

std::optional<CTsOtoSetingDlg::FormName> CTsOtoSetingDlg::formName() const
{
    FormName name;
    name.pitch = toUtf8(m_pitch->text());
    switch (m_kind) {
    case kFormCV:
        name.symbol = toUtf8(m_cvSymbol->text());
        name.shownName = name.symbol;
        name.srcType = "CV";
        if (name.symbol.empty()) {
            return std::nullopt;
        }
        break;
    case kFormVX: {
        const std::string v = toUtf8(m_vPart->text());
        const std::string x = toUtf8(m_xPart->text());
        if (v.empty() && x.empty()) {
            return std::nullopt;
        }
        CTsVoiceCfg_VC joined;
        joined.joinVcSymbol(v, x);
        name.symbol = joined.symbol;
        name.shownName = joined.symbol;
        name.srcType = "VX";
        break;
    }
    default:
        name.symbol = toUtf8(m_indieSymbol->text());
        name.shownName = name.symbol;
        name.srcType = "INDIE";
        if (name.symbol.empty()) {
            return std::nullopt;
        }
        break;
    }
    if (name.pitch.empty() || m_wavFolder.isEmpty()) {
        return std::nullopt;
    }
    return name;
}

CTsVoiceCfg* CTsOtoSetingDlg::findNamed(const FormName& name) const
{
    CTsVoiceCfg* entry = m_mgr.findKey(name.pitch + "->" + name.symbol);
    if (entry == nullptr) {
        entry = m_mgr.find(name.symbol, name.pitch);
    }
    return entry != nullptr && entry->srcType == name.srcType ? entry : nullptr;
}

std::string CTsOtoSetingDlg::keyOfNamed(const FormName& name, const CTsVoiceCfg& entry) const
{
    const std::string formKey = name.pitch + "->" + name.symbol;
    return m_mgr.findKey(formKey) == &entry ? formKey : entryKey(entry);
}

const CTsVoiceCfg* CTsOtoSetingDlg::findNamedOrReport(const FormName& name)
{
    const CTsVoiceCfg* entry = findNamed(name);
    if (entry == nullptr) {
        prompter().error(this, fromUtf8(name.pitch) + QStringLiteral(" : ") + fromUtf8(name.shownName) +
                                   QStringLiteral(" is not exists!"));
    }
    return entry;
}

bool CTsOtoSetingDlg::reportUpdate(EntryUpdate result)
{
    const QString file = QString::fromStdString(m_mgr.filePath().string());
    switch (result) {
    case EntryUpdate::Done: return true;
    case EntryUpdate::NotWritable:
        prompter().error(this, file + QStringLiteral("\ncould not be read, so it is not written over. Nothing was changed; "
                                                      "repair or move the file and choose the folder again."));
        return false;
    case EntryUpdate::SaveFailed:
        prompter().error(this, file + QStringLiteral("\ncannot be written. The change is not saved."));
        return false;
    default: return false;
    }
}

void CTsOtoSetingDlg::chooseWavLocation()
{
    const std::optional<QString> chosen =
        prompter().chooseFolder(this, QStringLiteral("FilePath"), fromUtf8(config().latestTscfgLoc));
    if (chosen && !chosen->isEmpty()) {
        loadWavLocation(*chosen);
    }
}

void CTsOtoSetingDlg::loadWavLocation(const QString& folder)
{
    stopCheck();
    m_verdicts.clear();
    m_wavFolder = normalFolder(folder);
    {
        const WaitCursor wait;
        m_locationBox->lineEdit()->setText(m_wavFolder);
        const CTsVoiceCfgMgr::LoadStatus status = m_mgr.loadFolder(std::filesystem::path(m_wavFolder.toStdString()));
        fillList();
        if (status == CTsVoiceCfgMgr::LoadStatus::Unreadable) {
            prompter().error(this, QString::fromStdString(m_mgr.filePath().string()) +
                                       QStringLiteral("\ncould not be read. It is kept as it is and no entry of this "
                                                      "folder can be changed until it is repaired."));
        }
    }
    config().latestTscfgLoc = toUtf8(m_wavFolder);
    saveConfig();
    refreshLocationChoices();
}

QLineEdit& CTsOtoSetingDlg::wavFolderBox()
{
    return *m_locationBox->lineEdit();
}

QStringList CTsOtoSetingDlg::projectLocations() const
{
    QStringList folders;
    const ProjectDocument& project = currentProject();
    if (project.model() != nullptr) {
        for (const std::string& stored : project.model()->wavLocations) {
            folders << normalFolder(fromUtf8(resolveProjectFolder(project.path(), stored)));
        }
    }
    return folders;
}

void CTsOtoSetingDlg::refreshLocationChoices()
{
    const QStringList folders = projectLocations();
    QStringList shown;
    for (int i = 0; i < m_locationBox->count(); ++i) {
        shown << m_locationBox->itemText(i);
    }
    if (shown != folders) {
        // Refilling the items must not change what the box shows.
        const QSignalBlocker quiet(m_locationBox);
        m_locationBox->clear();
        m_locationBox->addItems(folders);
        m_locationBox->setCurrentIndex(-1);
        m_locationBox->lineEdit()->setText(m_wavFolder);
    }
    m_addLocationButton->setEnabled(!m_wavFolder.isEmpty() && currentProject().model() != nullptr &&
                                    !folders.contains(m_wavFolder));
}

void CTsOtoSetingDlg::openTypedFolder()
{
    const QString typed = m_locationBox->lineEdit()->text().trimmed();
    if (typed.isEmpty() || normalFolder(typed) == m_wavFolder) {
        m_locationBox->lineEdit()->setText(m_wavFolder);
        return;
    }
    if (!QFileInfo(typed).isDir()) {
        m_locationBox->lineEdit()->setText(m_wavFolder);
        prompter().error(this, typed + QStringLiteral("\nis not a folder."));
        return;
    }
    loadWavLocation(typed);
}

void CTsOtoSetingDlg::addFolderToProject()
{
    if (m_wavFolder.isEmpty() || projectLocations().contains(m_wavFolder)) {
        return;
    }
    FolderEvent add(Msg::kAddWavLocation, m_wavFolder);
    sendToMainWindow(add);
    refreshLocationChoices();
}

void CTsOtoSetingDlg::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        refreshLocationChoices();
    }
    CSignalDlgImp::changeEvent(event);
}

void CTsOtoSetingDlg::fillList()
{
    m_sortReversed.fill(false);
    m_table->horizontalHeader()->setSortIndicatorShown(false);
    m_table->setRowCount(0);
    for (const auto& [key, entry] : m_mgr.entryMap()) {
        appendRow(key);
    }
    refreshFileRows();
}

bool CTsOtoSetingDlg::isFileRow(int row) const
{
    const QTableWidgetItem* number = m_table->item(row, kColNumber);
    return number != nullptr && !number->data(kFileRole).toString().isEmpty();
}

int CTsOtoSetingDlg::firstFileRow() const
{
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (isFileRow(row)) {
            return row;
        }
    }
    return m_table->rowCount();
}

void CTsOtoSetingDlg::refreshFileRows()
{
    for (int row = m_table->rowCount() - 1; row >= 0; --row) {
        if (isFileRow(row)) {
            m_table->removeRow(row);
        }
    }
    const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
    for (const std::string& name : wavFilesWithoutEntry(m_mgr)) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        auto* number = makeItem(QString::number(row + 1), Qt::AlignLeft);
        number->setData(kFileRole, fromUtf8(name));
        m_table->setItem(row, kColNumber, number);
        for (int c = kColSymbol; c < kColumnCount; ++c) {
            m_table->setItem(row, c, makeItem(QString(), c == kColFile ? Qt::AlignLeft : Qt::AlignHCenter));
        }
        m_table->item(row, kColTime)->setText(QStringLiteral("no entry"));
        m_table->item(row, kColFile)->setText(fromUtf8(name));
        for (int c = 0; c < kColumnCount; ++c) {
            m_table->item(row, c)->setForeground(grey);
        }
    }
    renumberRows();
}

void CTsOtoSetingDlg::rereadForChange(std::optional<Tessarin::UpdateLock>& lock)
{
    if (m_mgr.filePath().empty()) {
        return;
    }
    lock.emplace(m_mgr.filePath());
    const std::filesystem::path folder = m_mgr.folder();
    m_mgr.loadFolder(folder);
    syncRows();
}

void CTsOtoSetingDlg::syncRows()
{
    for (int row = m_table->rowCount() - 1; row >= 0; --row) {
        if (isFileRow(row)) {
            continue;
        }
        const std::string key = toUtf8(m_table->item(row, kColNumber)->data(kKeyRole).toString());
        if (m_mgr.findKey(key) == nullptr) {
            m_table->removeRow(row);
        } else {
            refreshRow(row);
        }
    }
    for (const auto& [key, entry] : m_mgr.entryMap()) {
        if (rowOfKey(key) < 0) {
            appendRow(key);
        }
    }
    refreshFileRows();
}

void CTsOtoSetingDlg::renumberRows()
{
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (QTableWidgetItem* number = m_table->item(row, kColNumber)) {
            number->setText(QString::number(row + 1));
        }
    }
}

void CTsOtoSetingDlg::appendRow(const std::string& key)
{
    const int row = firstFileRow();
    m_table->insertRow(row);
    auto* number = makeItem(QString::number(row + 1), Qt::AlignLeft);
    number->setData(kKeyRole, fromUtf8(key));
    m_table->setItem(row, kColNumber, number);
    refreshRow(row);
}

void CTsOtoSetingDlg::refreshRow(int row)
{
    const std::string key = toUtf8(m_table->item(row, kColNumber)->data(kKeyRole).toString());
    const CTsVoiceCfg* entry = m_mgr.findKey(key);
    if (entry == nullptr) {
        return;
    }
    m_table->setItem(row, kColSymbol, makeItem(fromUtf8(entry->symbol), Qt::AlignHCenter));
    m_table->setItem(row, kColPitch, makeItem(fromUtf8(entry->pitch), Qt::AlignHCenter));
    m_table->setItem(row, kColType, makeItem(fromUtf8(entry->srcType), Qt::AlignHCenter));
    auto* time = makeItem(fromUtf8(entry->updateTimeText()), Qt::AlignHCenter);
    time->setData(kTimeRole, static_cast<qlonglong>(entry->updateTime));
    m_table->setItem(row, kColTime, time);
    m_table->setItem(row, kColFile, makeItem(fromUtf8(entry->wavName), Qt::AlignLeft));
    showVerdict(row);
}

void CTsOtoSetingDlg::showVerdict(int row)
{
    const auto verdict = m_verdicts.find(toUtf8(m_table->item(row, kColNumber)->data(kKeyRole).toString()));
    auto* item = makeItem(verdict == m_verdicts.end() ? QString() : verdict->second.text, Qt::AlignLeft);
    if (verdict != m_verdicts.end()) {
        item->setToolTip(verdict->second.text);
        if (!verdict->second.ok) {
            item->setForeground(QColor(180, 0, 0));
        }
    }
    m_table->setItem(row, kColVerdict, item);
}

void CTsOtoSetingDlg::checkFolder()
{
    if (checkRunning()) {
        stopCheck();
        return;
    }
    const TSTBCurrentModel::CTsToolBoxProjModel* project = currentProject().model();
    if (m_wavFolder.isEmpty() || project == nullptr) {
        return;
    }
    // As before a build: a dictionary that fails its checks would fail every entry.
    std::string message;
    PhoneticDictionary::Place where;
    if (!checkProjectDictionary(*project, message, &where)) {
        prompter().error(this, fromUtf8(message) + CTsDictSettingDlg::placeText(where));
        return;
    }
    m_verdicts.clear();
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (!isFileRow(row)) {
            showVerdict(row);
        }
    }
    const std::uint64_t run = ++m_checkRun;
    m_check.onVerdict = [this, run](const FolderCheck::Verdict& v) {
        QCoreApplication::postEvent(this, new CheckVerdictEvent(run, v.key, v.ok, fromUtf8(v.text), v.done, v.total, false));
    };
    m_check.onFinished = [this, run](bool) {
        QCoreApplication::postEvent(this, new CheckVerdictEvent(run, std::string(), false, QString(), 0, 0, true));
    };
    m_checkRunning = true;
    m_checkButton->setText(QStringLiteral("Stop"));
    m_checkProgress->setRange(0, 0); // busy until the first verdict tells the count
    m_checkProgress->show();
    TSTBCurrentModel::CTsToolBoxProjModel resolved = *project;
    resolveProjectFolders(resolved, currentProject().path());
    m_check.start(PhoneticDictionary::fromProject(*project), toUtf8(m_wavFolder), resolved.modelFolder,
                  int(std::max(1u, std::thread::hardware_concurrency())));
}

void CTsOtoSetingDlg::stopCheck()
{
    m_check.stop();
    m_checkRunning = false;
    m_checkButton->setText(QStringLiteral("Check"));
    m_checkProgress->hide();
}

void CTsOtoSetingDlg::customEvent(QEvent* event)
{
    if (static_cast<int>(event->type()) != Msg::kCheckVerdict) {
        CSignalDlgImp::customEvent(event);
        return;
    }
    const auto* v = static_cast<CheckVerdictEvent*>(event);
    if (v->run != m_checkRun || !m_checkRunning) {
        return; // from a check stopped before
    }
    if (v->finished) {
        stopCheck();
        return;
    }
    m_verdicts[v->key] = EntryVerdict{v->ok, v->text};
    m_checkProgress->setRange(0, v->total);
    m_checkProgress->setValue(v->done);
    const int row = rowOfKey(v->key);
    if (row >= 0) {
        showVerdict(row);
    }
}

int CTsOtoSetingDlg::rowOfKey(const std::string& key) const
{
    const QString wanted = fromUtf8(key);
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (!isFileRow(row) && m_table->item(row, kColNumber)->data(kKeyRole).toString() == wanted) {
            return row;
        }
    }
    return -1;
}

void CTsOtoSetingDlg::removeRowsOfKey(const std::string& key)
{
    for (int row = rowOfKey(key); row >= 0; row = rowOfKey(key)) {
        m_table->removeRow(row);
    }
    // The numbers count the rows as they stand, whatever was taken out.
    renumberRows();
}

int CTsOtoSetingDlg::firstRowOf(const std::string& symbol, const std::string& pitch) const
{
    const QString s = fromUtf8(symbol);
    const QString p = fromUtf8(pitch);
    for (int row = 0; row < m_table->rowCount(); ++row) {
        if (!isFileRow(row) && m_table->item(row, kColSymbol)->text() == s && m_table->item(row, kColPitch)->text() == p) {
            return row;
        }
    }
    return -1;
}

void CTsOtoSetingDlg::sortByColumn(int column)
{
    if (column < kColSymbol || column >= kColumnCount) {
        return;
    }
    const bool increasing = m_sortReversed[static_cast<std::size_t>(column)];
    using Row = std::array<QTableWidgetItem*, kColumnCount>;
    std::vector<Row> rows(static_cast<std::size_t>(m_table->rowCount()));
    for (int r = 0; r < m_table->rowCount(); ++r) {
        for (int c = 0; c < kColumnCount; ++c) {
            rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = m_table->takeItem(r, c);
        }
    }
    const auto c = static_cast<std::size_t>(column);
    const auto less = [c, column](const Row& a, const Row& b) {
        if (column == kColTime) {
            return a[c]->data(kTimeRole).toLongLong() < b[c]->data(kTimeRole).toLongLong();
        }
        // Byte strings, as the file stores them.
        return a[c]->text().toUtf8() < b[c]->text().toUtf8();
    };
    // Files without an entry stay below the entries, as a list of what is left to mark; among
    // themselves they sort by the same column.
    const auto files = std::stable_partition(rows.begin(), rows.end(),
                                             [](const Row& r) { return r[kColNumber]->data(kFileRole).toString().isEmpty(); });
    for (const auto& [first, last] : {std::pair(rows.begin(), files), std::pair(files, rows.end())}) {
        if (increasing) {
            std::stable_sort(first, last, less);
        } else {
            std::stable_sort(first, last, [&less](const Row& a, const Row& b) { return less(b, a); });
        }
    }
    for (int r = 0; r < m_table->rowCount(); ++r) {
        for (int k = 0; k < kColumnCount; ++k) {
            m_table->setItem(r, k, rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(k)]);
        }
    }
    m_sortReversed[c] = !m_sortReversed[c];
    m_table->horizontalHeader()->setSortIndicator(column, increasing ? Qt::AscendingOrder : Qt::DescendingOrder);
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    renumberRows();
}

void CTsOtoSetingDlg::loadRowIntoForm(int row)
{
    if (row < 0 || row >= m_table->rowCount()) {
        return;
    }
    if (isFileRow(row)) {
        loadFileIntoForm(m_table->item(row, kColNumber)->data(kFileRole).toString());
        return;
    }
    const std::string key = toUtf8(m_table->item(row, kColNumber)->data(kKeyRole).toString());
    const CTsVoiceCfg* entry = m_mgr.findKey(key);
    if (entry == nullptr) {
        return;
    }
    m_wavName->setText(fromUtf8(entry->wavName));
    m_pitch->setText(fromUtf8(entry->pitch));
    switch (entry->kind()) {
    case CTsVoiceCfg::kCV:
        setFormKind(kFormCV);
        m_cvSymbol->setText(fromUtf8(entry->symbol));
        break;
    case CTsVoiceCfg::kVX: {
        std::string v;
        std::string x;
        entry->splitVcSymbol(v, x);
        setFormKind(kFormVX);
        m_vPart->setText(fromUtf8(v));
        m_xPart->setText(fromUtf8(x));
        break;
    }
    case CTsVoiceCfg::kINDIE:
        setFormKind(kFormIndependent);
        m_indieSymbol->setText(fromUtf8(entry->symbol));
        break;
    default: break;
    }
}

std::string CTsOtoSetingDlg::listPitch() const
{
    std::string pitch = toUtf8(m_pitch->text());
    if (!pitch.empty()) {
        return pitch;
    }
    std::map<std::string, int> counts;
    int most = 0;
    for (const CTsVoiceCfg* entry : m_mgr.entries()) {
        const int n = ++counts[entry->pitch];
        if (n > most) {
            most = n;
            pitch = entry->pitch;
        }
    }
    return pitch;
}

void CTsOtoSetingDlg::loadFileIntoForm(const QString& wavName)
{
    const std::string name = toUtf8(wavName);
    std::string pitch = listPitch();
    const PhoneticDictionary dictionary = projectDictionary();
    std::optional<EntryName> unit = entryNameFromWav(name, pitch, dictionary);
    if (!unit) {
        // A name recorded for another pitch ("E4_ka.wav" while the list is at C4) is an entry of
        // that pitch.
        const std::size_t underscore = name.find('_');
        const std::string prefix = underscore == std::string::npos ? std::string() : name.substr(0, underscore);
        if (Tessarin::parsePitchName(prefix) && (unit = entryNameFromWav(name, prefix, dictionary))) {
            pitch = prefix;
        }
    }
    m_wavName->setText(wavName);
    m_pitch->setText(fromUtf8(pitch));
    const int kind = !unit ? m_kind : unit->srcType == "CV" ? kFormCV : unit->srcType == "VX" ? kFormVX : kFormIndependent;
    setFormKind(kind);
    std::string v;
    std::string x;
    if (unit && kind == kFormVX) {
        CTsVoiceCfg_VC split;
        split.symbol = unit->symbol;
        split.splitVcSymbol(v, x);
    }
    // Without a match the symbol boxes are emptied: a symbol left from another entry must not
    // become this file's.
    m_cvSymbol->setText(unit && kind == kFormCV ? fromUtf8(unit->symbol) : QString());
    m_vPart->setText(fromUtf8(v));
    m_xPart->setText(fromUtf8(x));
    m_indieSymbol->setText(unit && kind == kFormIndependent ? fromUtf8(unit->symbol) : QString());
}

void CTsOtoSetingDlg::newMarkers()
{
    const std::optional<FormName> name = formName();
    const std::string wavName = toUtf8(m_wavName->text());
    if (!name || wavName.empty()) {
        return;
    }
    std::unique_ptr<CTsVoiceCfg> entry = makeVoiceCfg(name->srcType);
    entry->symbol = name->symbol;
    entry->pitch = name->pitch;
    entry->wavName = wavName;
    EntryEvent edit(Msg::kEditEntry, *entry, m_wavFolder);
    sendToMainWindow(edit);
}

void CTsOtoSetingDlg::editMarkers()
{
    const std::optional<FormName> name = formName();
    const CTsVoiceCfg* entry = name ? findNamedOrReport(*name) : nullptr;
    if (entry == nullptr) {
        return;
    }
    m_wavName->setText(fromUtf8(entry->wavName));
    EntryEvent edit(Msg::kEditEntry, *entry, m_wavFolder);
    sendToMainWindow(edit);
}

void CTsOtoSetingDlg::renameEntry()
{
    renameOrCopy(false);
}

void CTsOtoSetingDlg::copyEntry()
{
    renameOrCopy(true);
}

void CTsOtoSetingDlg::renameOrCopy(bool copy)
{
    const std::optional<FormName> name = formName();
    const CTsVoiceCfg* entry = name ? findNamedOrReport(*name) : nullptr;
    if (entry == nullptr) {
        return;
    }
    const std::string oldKey = keyOfNamed(*name, *entry);
    const QString caption = copy ? QStringLiteral("Copy") : QStringLiteral("Rename");
    std::string newSymbol;
    std::string newPitch;
    if (entry->kind() == CTsVoiceCfg::kVX) {
        std::string v;
        std::string x;
        entry->splitVcSymbol(v, x);
        CTSToolBoxEditVxDlg dialog(this);
        dialog.prepare(fromUtf8(v), fromUtf8(x), fromUtf8(entry->pitch), caption);
        if (prompter().runModal(dialog) != QDialog::Accepted) {
            return;
        }
        CTsVoiceCfg_VC joined;
        joined.joinVcSymbol(toUtf8(dialog.vPart), toUtf8(dialog.xPart));
        newSymbol = joined.symbol;
        newPitch = toUtf8(dialog.pitch);
    } else {
        CTSToolBoxEditCvDlg dialog(this);
        dialog.prepare(fromUtf8(entry->symbol), fromUtf8(entry->pitch), caption,
                       entry->kind() == CTsVoiceCfg::kCV ? QStringLiteral("CV") : QStringLiteral("Independent"));
        if (prompter().runModal(dialog) != QDialog::Accepted) {
            return;
        }
        newSymbol = toUtf8(dialog.symbol);
        newPitch = toUtf8(dialog.pitch);
    }
    if (newSymbol.empty() || newPitch.empty()) {
        return; // an entry without a symbol or pitch could never be found again
    }
    std::optional<Tessarin::UpdateLock> lock;
    rereadForChange(lock);
    const EntryUpdate result = copy ? ::copyEntry(m_mgr, oldKey, newSymbol, newPitch)
                                    : ::renameEntry(m_mgr, oldKey, newSymbol, newPitch);
    if (result == EntryUpdate::Unchanged || result == EntryUpdate::NotFound) {
        return;
    }
    if (result == EntryUpdate::NotWritable) {
        reportUpdate(result);
        return;
    }
    const std::string newKey = newPitch + "->" + newSymbol;
    m_verdicts.erase(newKey);
    if (!copy) {
        removeRowsOfKey(oldKey);
    }
    // An entry that was under the new name before has been replaced: its row goes too.
    removeRowsOfKey(newKey);
    if (m_mgr.findKey(newKey) != nullptr) {
        appendRow(newKey);
    }
    refreshFileRows();
    reportUpdate(result);
}

void CTsOtoSetingDlg::deleteEntry()
{
    const std::optional<FormName> name = formName();
    const CTsVoiceCfg* entry = name ? findNamedOrReport(*name) : nullptr;
    if (entry == nullptr) {
        return;
    }
    const Prompter::Answer answer =
        prompter().message(this, QStringLiteral("Delete ") + fromUtf8(name->pitch) + QStringLiteral(" : ") +
                                     fromUtf8(name->shownName) + QStringLiteral(" ?"),
                           QString(), Prompter::Icon::Question, Prompter::Buttons::OkCancel);
    if (answer != Prompter::Answer::Ok) {
        return;
    }
    const std::string key = keyOfNamed(*name, *entry);
    std::optional<Tessarin::UpdateLock> lock;
    rereadForChange(lock);
    const EntryUpdate result = ::deleteEntry(m_mgr, key);
    if (result == EntryUpdate::Done || result == EntryUpdate::SaveFailed) {
        removeRowsOfKey(key);
        refreshFileRows();
    }
    reportUpdate(result);
}

void CTsOtoSetingDlg::makeEntries()
{
    if (m_wavFolder.isEmpty()) {
        return;
    }
    const PhoneticDictionary dictionary = projectDictionary();
    CMakeEntriesDlg dialog([this, &dictionary](const std::string& pitch) { return planEntryScan(m_mgr, pitch, dictionary); },
                           m_mgr.folder(), this);
    dialog.prepare(fromUtf8(listPitch()));
    if (prompter().runModal(dialog) != QDialog::Accepted || dialog.pitch.isEmpty()) {
        return;
    }
    const std::string pitch = toUtf8(dialog.pitch);
    const WaitCursor wait;
    // Planned again under the lock, from the file as it is now: the preview may be older. The
    // dialog estimated its plan outside the lock; a file that came since is estimated here.
    std::optional<Tessarin::UpdateLock> lock;
    rereadForChange(lock);
    std::vector<ScannedFile> plan = planEntryScan(m_mgr, pitch, dictionary);
    if (dialog.withEstimates()) {
        carryEstimates(dialog.estimatedPlan(), plan);
        estimateScannedMarkers(plan, m_mgr.folder());
    }
    const EntryUpdate result = storeScannedEntries(m_mgr, plan);
    if (result == EntryUpdate::Done || result == EntryUpdate::SaveFailed) {
        for (const ScannedFile& file : plan) {
            if (file.verdict == ScannedFile::Verdict::Make && rowOfKey(entryKey(*file.entry)) < 0) {
                appendRow(entryKey(*file.entry));
            }
        }
        refreshFileRows();
    }
    reportUpdate(result);
}

bool CTsOtoSetingDlg::storeEntry(const CTsVoiceCfg& edited, const QString& wavFolder)
{
    if (m_wavFolder.isEmpty() || normalFolder(wavFolder) != m_wavFolder) {
        return false;
    }
    std::unique_ptr<CTsVoiceCfg> entry = edited.clone();
    std::optional<Tessarin::UpdateLock> lock;
    rereadForChange(lock);
    const EntryUpdate result = storeEditedEntry(m_mgr, *entry, m_mgr.folder());
    if (result == EntryUpdate::Done || result == EntryUpdate::SaveFailed) {
        const std::string key = entryKey(*entry);
        m_verdicts.erase(key); // checked as it was before
        const int row = rowOfKey(key);
        if (row >= 0) {
            refreshRow(row);
        } else {
            appendRow(key);
        }
        refreshFileRows();
    }
    return reportUpdate(result);
}

void CTsOtoSetingDlg::moveToNeighbour(const CTsVoiceCfg& entry, const QString& wavFolder, int direction)
{
    if (m_wavFolder.isEmpty() || normalFolder(wavFolder) != m_wavFolder) {
        return;
    }
    if (m_mgr.findKey(entryKey(entry)) == nullptr && m_mgr.find(entry.symbol, entry.pitch) == nullptr) {
        return;
    }
    const int row = firstRowOf(entry.symbol, entry.pitch);
    if (row < 0) {
        return;
    }
    const int neighbour = direction == 1 ? row + 1 : row - 1;
    if (neighbour < 0 || neighbour >= m_table->rowCount()) {
        return;
    }
    m_table->scrollToItem(m_table->item(neighbour, kColNumber));
    m_table->selectRow(neighbour);
    m_table->setCurrentCell(neighbour, kColNumber);
    loadRowIntoForm(neighbour);
    // After the editor's message is handled: the editor must not be reloaded inside its own call.
    // A file without an entry opens as a new entry of it (when its name reads as a unit).
    postDeferredCommand(isFileRow(neighbour) ? kDeferredNewMarkers : kDeferredEditMarkers);
}

bool CTsOtoSetingDlg::storeAndMoveNext(const CTsVoiceCfg& edited, const QString& wavFolder)
{
    const bool stored = storeEntry(edited, wavFolder);
    moveToNeighbour(edited, wavFolder, 1);
    return stored;
}

bool CTsOtoSetingDlg::event(QEvent* event)
{
    if (event->type() != messageType(Msg::kOpenListForm)) {
        return CSignalDlgImp::event(event);
    }
    const auto* form = static_cast<ListFormEvent*>(event);
    if (normalFolder(form->folder) != m_wavFolder) {
        loadWavLocation(form->folder);
    }
    setFormKind(form->kind);
    m_pitch->setText(form->pitch);
    const qsizetype join = form->symbol.indexOf(QLatin1Char('_'));
    m_cvSymbol->setText(m_kind == kFormCV ? form->symbol : QString());
    m_indieSymbol->setText(m_kind == kFormIndependent ? form->symbol : QString());
    m_vPart->setText(m_kind == kFormVX ? form->symbol.left(join) : QString());
    m_xPart->setText(m_kind == kFormVX ? form->symbol.mid(join + 1) : QString());
    return true;
}

void CTsOtoSetingDlg::onDeferredCommand(std::intptr_t argument)
{
    if (argument == kDeferredEditMarkers) {
        editMarkers();
    } else if (argument == kDeferredNewMarkers) {
        newMarkers();
    }
}

} // namespace TessarinEditor
