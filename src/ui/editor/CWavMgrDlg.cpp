#include "ui/editor/CWavMgrDlg.h"

#include "audio/AudioReader.h"
#include "audio/AudioSrc.h"
#include "model/CAppConfigModel.h"
#include "builder/EntryScan.h"
#include "ui/toolkit/CUIBoard.h"
#include "ui/editor/CWavMgrView.h"
#include "ui/toolkit/Messages.h"
#include "ui/toolkit/Prompter.h"
#include "ui/windows/CurrentProject.h"
#include "ui/editor/UISignalNames.h"
#include "ui/editor/WavViewRange.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <thread>

#include <malloc.h>

namespace TessarinEditor {

namespace {
constexpr float kReportStep = 0.03f; // [s] progress reports closer than this to the last are dropped
constexpr int kStoredShownMs = 2500; // "Stored" stays this long in the time strip
constexpr QRgb kStoredColour = qRgb(120, 230, 120);
constexpr QRgb kNoDeviceColour = qRgb(255, 140, 90);
constexpr QRgb kCheckOkColour = qRgb(120, 230, 120);
constexpr QRgb kCheckFailedColour = qRgb(255, 110, 110);
constexpr QRgb kProposalColour = qRgb(130, 200, 255);
constexpr float kNudgeStep = 0.001f;      // [s] Left / Right
constexpr float kNudgeShiftStep = 0.010f; // [s] with Shift

float held(float t, float duration)
{
    return std::min(std::max(t, 0.0f), duration);
}

// An entry no person has placed yet: no markers (a file opened from the list's "no entry" row or
// "New markers"), or exactly the first markers of its file, as "Make Entries" makes it without
// estimates.
bool holdsFirstMarkers(const CTsVoiceCfg& entry, float duration)
{
    if (!(firstMarkerField(entry) > 0.0)) {
        return true;
    }
    const std::vector<float> t = entryMarkerTimes(entry);
    const auto f = defaultTagFractions(entry.kind());
    if (t.size() != f.size()) {
        return false;
    }
    for (std::size_t i = 0; i < t.size(); ++i) {
        // Stored as doubles relative to the region's start: a float's rounding may come back.
        if (std::abs(t[i] - f[i] * duration) > 1e-6f) {
            return false;
        }
    }
    return true;
}

const char* kindText(int kind)
{
    switch (kind) {
    case CTsVoiceCfg::kCV: return "CV";
    case CTsVoiceCfg::kVX: return "VX";
    default: return "Independent";
    }
}
} // namespace

// A proposal worker's way back to the window: it posts under the lock, to nowhere once the
// window has gone. The workers are detached, so that a long estimate never holds up the window.
struct ProposalMailbox {
    std::mutex lock;
    QObject* window = nullptr;
};

CWavMgrDlg::CWavMgrDlg(QWidget* owner, PortAudioLibrary& audio)
    : CUIBoardDlg(owner), m_clipPlayer(audio), m_filePlayer(audio), m_mailbox(std::make_shared<ProposalMailbox>())
{
    m_mailbox->window = this;
    m_view = board().addOwnedChild(std::make_unique<CWavMgrView>());
    m_view->setModels(&m_wav, &m_tags);
    setMinimumSize(kMinWidth, kMinHeight);
    resize(kFirstWidth, kFirstHeight);
    board().installEventFilter(this);
    board().setFocusPolicy(Qt::StrongFocus);
    m_storedTimer.setSingleShot(true);
    m_storedTimer.setInterval(kStoredShownMs);
    connect(&m_storedTimer, &QTimer::timeout, this, [this] {
        m_storedShown = false;
        refreshStateLine();
    });
    refreshStateLine();
    m_dictionarySource = [] {
        const auto* project = currentProject().model();
        return project != nullptr ? PhoneticDictionary::fromProject(*project) : PhoneticDictionary();
    };
    m_f0Runner = std::make_unique<F0CheckRunner>([this](std::shared_ptr<const F0CheckOutcome> outcome) {
        // On the runner's thread: the window takes it on its own.
        QMetaObject::invokeMethod(this, [this, outcome] { showF0Outcome(outcome); }, Qt::QueuedConnection);
    });
    applyPreferences();
    // The editor lives from its first show until the user closes it.
    setAttribute(Qt::WA_DeleteOnClose);
}

CWavMgrDlg::~CWavMgrDlg()
{
    m_f0Runner.reset();
    // A proposal still being estimated is posted nowhere.
    {
        const std::lock_guard<std::mutex> hold(m_mailbox->lock);
        m_mailbox->window = nullptr;
    }
    // Under the stream's lock: after this no report is under way or to come.
    m_filePlayer.stream().setListener(nullptr);
    m_filePlayer.stop();
    m_clipPlayer.stop();
    // The spectrogram's threads read the samples: they end before the wave model goes, and the view
    // tree goes with them.
    m_view->spectrogram().stopBuilder();
    board().removeChild(m_view);
    m_view = nullptr;
}

void CWavMgrDlg::applyPreferences()
{
    m_wav.topFrequency = float(config().spectrogramTopFrequency);
    if (m_showF0 != config().showF0Overlay) {
        m_showF0 = config().showF0Overlay;
        m_f0Positions.clear();
        if (!m_showF0) {
            m_f0Outcome.reset();
            m_view->f0Overlay().setOutcome(nullptr);
            m_view->timeStrip().setCheck(QString(), 0);
        }
    }
    redrawAll(false);
}

void CWavMgrDlg::setCheckDictionarySource(std::function<PhoneticDictionary()> dictionarySource)
{
    m_dictionarySource = std::move(dictionarySource);
}

const F0CheckOutcome* CWavMgrDlg::f0Outcome() const
{
    return m_f0Outcome.get();
}

bool CWavMgrDlg::waitForF0Check(std::chrono::milliseconds timeout)
{
    const auto until = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < until) {
        QCoreApplication::processEvents();
        if (!m_showF0 || m_f0Request == 0 || (m_f0Outcome && m_f0Outcome->requestNumber == m_f0Request)) {
            return true;
        }
        m_f0Runner->waitUntilIdle(std::chrono::milliseconds(20));
    }
    return false;
}

void CWavMgrDlg::requestF0Check(bool force)
{
    const CTsVoiceCfg* entry = shownEntry();
    if (!m_showF0 || !entry || m_wav.duration <= 0.0f) {
        m_f0Runner->cancel();
        m_f0Positions.clear();
        return;
    }
    const std::vector<float> positions = m_tags.positions();
    if (!force && positions == m_f0Positions) {
        return;
    }
    // The dictionary is taken afresh for a new entry, a store or the overlay switched on, not at
    // every step of a drag.
    if (force || m_f0Positions.empty()) {
        m_checkDictionary = m_dictionarySource();
    }
    m_f0Positions = positions;
    std::unique_ptr<CTsVoiceCfg> asPlaced = entry->clone();
    storeMarkerTimes(positions, *asPlaced);
    m_f0Request = m_f0Runner->request(std::move(asPlaced), m_wavFolder, m_checkDictionary);
    // The shading stays until the new outcome replaces it; the line says that one is coming.
    m_view->timeStrip().setCheck(QStringLiteral("Check: checking\u2026"), Readout::kPlain);
    m_view->timeStrip().invalidateView();
}

void CWavMgrDlg::showF0Outcome(std::shared_ptr<const F0CheckOutcome> outcome)
{
    if (!m_showF0 || outcome->requestNumber != m_f0Request) {
        return; // a check of markers since moved, or of another entry
    }
    m_f0Outcome = std::move(outcome);
    m_view->f0Overlay().setOutcome(m_f0Outcome);
    m_view->timeStrip().setCheck(m_f0Outcome->text, m_f0Outcome->ok ? kCheckOkColour : kCheckFailedColour);
    m_view->f0Overlay().invalidateView();
    m_view->timeStrip().invalidateView();
}

void CWavMgrDlg::setMessageReceiver(QObject* receiver)
{
    m_receiver = receiver;
}

void CWavMgrDlg::send(QEvent& event)
{
    QObject* to = m_receiver ? m_receiver.data() : parent();
    if (to) {
        QCoreApplication::sendEvent(to, &event);
    }
}

const CTsVoiceCfg* CWavMgrDlg::shownEntry() const
{
    return const_cast<CWavMgrDlg*>(this)->entryOf(m_kindShown);
}

CTsVoiceCfg* CWavMgrDlg::entryOf(int kind)
{
    switch (kind) {
    case CTsVoiceCfg::kCV: return &m_cvEntry;
    case CTsVoiceCfg::kVX: return &m_vxEntry;
    case CTsVoiceCfg::kINDIE: return &m_indieEntry;
    default: return nullptr;
    }
}

void CWavMgrDlg::loadCVEntry(const CTsVoiceCfg_CV& entry, const QString& wavFolder)
{
    loadAny(entry, wavFolder, CTsVoiceCfg::kCV);
}

void CWavMgrDlg::loadVXEntry(const CTsVoiceCfg_VC& entry, const QString& wavFolder)
{
    loadAny(entry, wavFolder, CTsVoiceCfg::kVX);
}

void CWavMgrDlg::loadINDIEEntry(const CTsVoiceCfg_INDIE& entry, const QString& wavFolder)
{
    loadAny(entry, wavFolder, CTsVoiceCfg::kINDIE);
}

bool CWavMgrDlg::loadEntry(const CTsVoiceCfg& entry, const QString& wavFolder)
{
    if (const auto* cv = dynamic_cast<const CTsVoiceCfg_CV*>(&entry)) {
        loadCVEntry(*cv, wavFolder);
    } else if (const auto* vx = dynamic_cast<const CTsVoiceCfg_VC*>(&entry)) {
        loadVXEntry(*vx, wavFolder);
    } else if (const auto* indie = dynamic_cast<const CTsVoiceCfg_INDIE*>(&entry)) {
        loadINDIEEntry(*indie, wavFolder);
    } else {
        return false;
    }
    return true;
}

void CWavMgrDlg::stopPlayers()
{
    m_clipPlayer.stop();
    m_filePlayer.stop();
    m_playing = false;
}

void CWavMgrDlg::loadAny(const CTsVoiceCfg& entry, const QString& wavFolder, int kind)
{
    stopPlayers();
    m_history.clear();
    m_moveOpen = false;
    m_lastMoved = -1;
    m_storedShown = false;
    m_storedTimer.stop();
    ++m_proposalRun;
    m_proposing = false;
    m_proposalNote.clear();
    refreshStateLine();
    // The check shown belongs to the entry left.
    m_f0Outcome.reset();
    m_f0Positions.clear();
    m_view->f0Overlay().setOutcome(nullptr);
    m_view->timeStrip().setCheck(QString(), 0);

    CTsVoiceCfg* slot = entryOf(kind);
    slot->assignFrom(entry);
    m_wavFolder = wavFolder;
    const QString name = QString::fromUtf8(entry.wavName.c_str());
    const QString fullPath = QDir::cleanPath(wavFolder + QLatin1Char('/') + name);

    bool isNew = false;
    if (fullPath != m_loadedPath) {
        isNew = true;
        const std::filesystem::path path(fullPath.toStdString());
        std::error_code ec;
        if (!std::filesystem::exists(path, ec)) {
            prompter().error(this, fullPath + QStringLiteral(" not exists !"));
        }
        m_view->spectrogram().stopBuilder();
        // The frequency zoom is the user's choice of what to look at, kept from file to file.
        const float frequencyRange = m_wav.frequencyRange;
        std::uint32_t samples = 0;
        const WavLoadStatus status = loadForEditor(path, m_wav, kLongestEditableSamples, &samples);
        m_wav.frequencyRange = frequencyRange;
        if (status == WavLoadStatus::FormatError) {
            prompter().error(this, QString::fromStdString(wavFormatErrorText(path)));
        } else if (status == WavLoadStatus::TooLong) {
            prompter().error(this, fullPath + QLatin1Char('\n') + QString::fromStdString(editorTooLongMessage(samples)));
        }
        // What the file before left in the heap goes back to the system: a long take can leave
        // hundreds of megabytes of freed pages behind.
        malloc_trim(0);
        m_loadedPath = fullPath;
        m_tags.playCursor.position = 0.1f * m_wav.duration;
    }

    if (isNew || kind != m_kindShown) {
        m_tags.createMarkersOf(kind);
        const auto fractions = defaultTagFractions(kind);
        for (std::size_t i = 0; i < m_tags.markers.size() && i < fractions.size(); ++i) {
            m_tags.markers[i]->position = fractions[i] * m_wav.duration;
        }
    }
    if (firstMarkerField(*slot) > 0.0) {
        m_tags.setPositions(entryMarkerTimes(*slot));
        m_tags.playCursor.position = held(float(firstMarkerField(*slot)) - 0.1f, m_wav.duration);
    } else if (!isNew) {
        const auto fractions = visibleTagFractions(kind);
        for (std::size_t i = 0; i < m_tags.markers.size() && i < fractions.size(); ++i) {
            m_tags.markers[i]->position = m_wav.viewStart + m_wav.viewLength * fractions[i];
        }
    }

    m_kindShown = kind;
    m_view->setModels(&m_wav, &m_tags);
    m_view->timeStrip().setKind(kind);
    setWindowTitle(QString::asprintf("Type=%s   %s:%s        ", kindText(kind), slot->pitch.c_str(), slot->symbol.c_str()) +
                   fullPath);
    if (!m_tags.markers.empty() && m_wav.duration > 0.0f) {
        // A long recording with stored markers opens around them (and goes there again when an
        // entry of it lies outside the view); otherwise the first marker is brought into view.
        const std::vector<float> placed = m_tags.positions();
        const auto [low, high] = std::minmax_element(placed.begin(), placed.end());
        const bool inView = *low >= m_wav.viewStart && *high <= m_wav.viewStart + m_wav.viewLength;
        if (!(firstMarkerField(*slot) > 0.0 && (isNew || !inView) && zoomAroundMarkers(m_wav, placed))) {
            bringIntoView(m_wav, m_tags.markers.front()->position);
        }
    }
    m_unchangedPositions = m_tags.positions();
    redrawAll(true);
    if (m_wav.duration > 0.0f && holdsFirstMarkers(*slot, m_wav.duration)) {
        proposeMarkers();
    }
}

bool CWavMgrDlg::hasUnstoredChanges() const
{
    return m_kindShown != CTsVoiceCfg::kNoKind && m_wav.duration > 0.0f && m_tags.positions() != m_unchangedPositions;
}

bool CWavMgrDlg::settleChanges()
{
    if (!hasUnstoredChanges()) {
        return true;
    }
    const CTsVoiceCfg* entry = shownEntry();
    const QString text = QStringLiteral("Store the changes to ") + QString::fromStdString(entry->pitch) +
                         QLatin1Char(':') + QString::fromStdString(entry->symbol) + QLatin1Char('?');
    switch (prompter().message(this, text, {}, Prompter::Icon::Question, Prompter::Buttons::YesNoCancel)) {
    case Prompter::Answer::Yes:
        // A store the checks refuse keeps the user here, with the markers as they are.
        return storeEntry(false);
    case Prompter::Answer::No:
        // Dropped, as one step of the history: should the way out not lead anywhere (the first
        // entry and Up), Ctrl+Z brings the moves back.
        m_moveOpen = false;
        m_history.recordBefore(m_tags.positions());
        m_tags.setPositions(m_unchangedPositions);
        redrawAll(false);
        return true;
    default:
        return false;
    }
}

void CWavMgrDlg::redrawAll(bool refreshSpectrogram)
{
    requestF0Check(false);
    m_view->syncAll();
    if (refreshSpectrogram) {
        m_view->spectrogram().refresh();
    }
    invalidate();
}

void CWavMgrDlg::setPlayCursor(float time)
{
    m_tags.playCursor.position = held(time, m_wav.duration);
}

void CWavMgrDlg::beginMarkerMove()
{
    if (!m_moveOpen) {
        m_moveOpen = true;
        m_moveStart = m_tags.positions();
        m_history.recordBefore(m_moveStart);
        // The author's own move wins over a proposal still on its way.
        if (m_proposing) {
            m_proposing = false;
            ++m_proposalRun;
        }
        if (!m_proposalNote.isEmpty()) {
            m_proposalNote.clear();
            refreshStateLine();
        }
    }
}

void CWavMgrDlg::moveTag(CTag* tag, float delta, bool allMarkers)
{
    if (!tag || m_wav.duration <= 0.0f) {
        return;
    }
    const int index = m_tags.indexOf(tag);
    if (allMarkers || index >= 0) {
        beginMarkerMove();
    }
    if (index >= 0) {
        m_lastMoved = index;
    }
    if (allMarkers && index >= 0 && m_moveStart.size() == m_tags.markers.size()) {
        // Every marker keeps its distance from where it was when the drag began, each held inside
        // the file: one held at 0 during the drag comes back with the others.
        const float shift = held(tag->position + delta, m_wav.duration) - m_moveStart[std::size_t(index)];
        for (std::size_t i = 0; i < m_tags.markers.size(); ++i) {
            m_tags.markers[i]->position = held(m_moveStart[i] + shift, m_wav.duration);
        }
    } else if (allMarkers) {
        for (auto& marker : m_tags.markers) {
            marker->position = held(marker->position + delta, m_wav.duration);
        }
    } else {
        tag->position = held(tag->position + delta, m_wav.duration);
    }
    if (!m_playing && !m_wav.pcm.empty()) {
        m_clipPlayer.playClip(m_wav.pcm.data(), std::int32_t(m_wav.pcm.size()), double(tag->position));
    }
    redrawAll(false);
}

void CWavMgrDlg::onSignal(std::string_view name, void* argument, UISignalSender*)
{
    namespace N = UISignalNames;
    if (name == N::kZoomInWav || name == N::kZoomOutWav) {
        const auto* zoom = static_cast<const WavZoomArgument*>(argument);
        zoomTime(m_wav, name == N::kZoomInWav ? WavRange::kZoomInFactor : WavRange::kZoomOutFactor, zoom->anchorTime,
                 std::max(1, zoom->steps));
        redrawAll(true);
    } else if (name == N::kOffsetDispArea) {
        panTime(m_wav, *static_cast<const float*>(argument));
        redrawAll(true);
    } else if (name == N::kOffsetLeftPt) {
        moveLeftEdge(m_wav, *static_cast<const float*>(argument));
        redrawAll(true);
    } else if (name == N::kOffsetRightPt) {
        moveRightEdge(m_wav, *static_cast<const float*>(argument));
        redrawAll(true);
    } else if (name == N::kZoomInAmp || name == N::kZoomOutAmp) {
        zoomAmplitude(m_wav, name == N::kZoomInAmp, std::max(1, *static_cast<const int*>(argument)));
        redrawAll(false);
    } else if (name == N::kZoomInFreq || name == N::kZoomOutFreq) {
        zoomFrequency(m_wav, name == N::kZoomInFreq, std::max(1, *static_cast<const int*>(argument)));
        redrawAll(false);
    } else if (name == N::kTagMoving) {
        const auto* moving = static_cast<const TagMovingArgument*>(argument);
        moveTag(moving->tag, moving->delta, moving->allMarkers);
    } else if (name == N::kMovePlayPos) {
        if (!m_playing) {
            setPlayCursor(*static_cast<const float*>(argument));
            redrawAll(false);
        }
    } else if (name == N::kUpdateVoiceCfg) {
        storeEntry(false);
    } else if (name == N::kGotoNextCfg) {
        gotoNeighbour(*static_cast<const unsigned char*>(argument));
    }
}

void CWavMgrDlg::gotoNeighbour(int direction)
{
    stopPlayers();
    const CTsVoiceCfg* entry = shownEntry();
    // An entry whose recording is missing still has neighbours: the list finds them by the entry,
    // not by its samples, so the user is never held on it.
    if (!entry) {
        prompter().error(this, QStringLiteral("Wav data not exists !"));
        return;
    }
    if (!settleChanges()) {
        return;
    }
    EntryEvent event(Msg::kMoveToNeighbour, *entry, m_wavFolder, moveFlagFromDirection(direction));
    send(event);
}

bool CWavMgrDlg::storeEntry(bool andGoToNext)
{
    stopPlayers();
    CTsVoiceCfg* entry = entryOf(m_kindShown);
    if (m_wav.duration <= 0.0f || !entry) {
        prompter().error(this, QStringLiteral("Wav data not exists !"));
        return false;
    }
    const std::vector<float> p = m_tags.positions();
    storeMarkerTimes(p, *entry);
    const float d = m_wav.duration;
    const float margin = WavRange::kMargin;
    bool orderRight = false;
    bool marginsRight = false;
    if (m_kindShown == CTsVoiceCfg::kCV && p.size() == 4) {
        orderRight = p[1] > p[0] && p[1] < p[2] && p[3] > p[2];
        marginsRight = p[0] > margin && p[3] < d - margin;
    } else if (p.size() == 2) {
        orderRight = p[1] > p[0];
        marginsRight = p[0] > margin && p[1] < d - margin;
    }
    if (!orderRight) {
        // The first neighbouring pair out of order (each marker must lie strictly after the one
        // before it): the user sees at once which label to move.
        QString pair;
        for (std::size_t i = 1; i < p.size(); ++i) {
            if (!(p[i] > p[i - 1])) {
                pair = QStringLiteral("\n") + QString::fromStdString(m_tags.markers[i - 1]->name) +
                       QStringLiteral(" must lie before ") + QString::fromStdString(m_tags.markers[i]->name) +
                       QLatin1Char('.');
                break;
            }
        }
        prompter().error(this, QStringLiteral("The order of markers is wrong...") + pair);
        return false;
    }
    if (!marginsRight) {
        prompter().error(this, QStringLiteral("Markers should not in the margin ..."));
        return false;
    }
    m_unchangedPositions = p;
    EntryEvent event(andGoToNext ? Msg::kStoreAndNext : Msg::kStoreEntry, *entry, m_wavFolder);
    send(event);
    if (!andGoToNext) {
        requestF0Check(true);
    }
    // Seen as well as heard: the confirmation sound may be off or without a device.
    m_proposalNote.clear();
    m_storedShown = true;
    m_storedTimer.start();
    refreshStateLine();
    return true;
}

void CWavMgrDlg::togglePlayback()
{
    m_clipPlayer.stop();
    if (m_playing) {
        m_filePlayer.stop();
        m_playing = false;
        return;
    }
    if (m_wav.pcm.empty()) {
        return;
    }
    m_playStart = m_tags.playCursor.position;
    m_lastReported.store(0.0f);
    m_playing = m_filePlayer.play(m_wav.pcm.data(), std::int32_t(m_wav.pcm.size()), double(m_playStart), this);
}

bool CWavMgrDlg::moveMarkerToPlayCursor(int number)
{
    if (number < 1 || std::size_t(number) > m_tags.markers.size()) {
        return false;
    }
    m_moveOpen = false;
    beginMarkerMove();
    m_moveOpen = false;
    m_tags.markers[std::size_t(number - 1)]->position = m_tags.playCursor.position;
    m_lastMoved = number - 1;
    redrawAll(false);
    return true;
}

bool CWavMgrDlg::nudgeLastMovedMarker(float delta)
{
    if (m_lastMoved < 0 || std::size_t(m_lastMoved) >= m_tags.markers.size() || m_wav.duration <= 0.0f) {
        return false;
    }
    // Each press is a step of its own in the history.
    m_moveOpen = false;
    beginMarkerMove();
    m_moveOpen = false;
    CTag& marker = *m_tags.markers[std::size_t(m_lastMoved)];
    marker.position = held(marker.position + delta, m_wav.duration);
    redrawAll(false);
    return true;
}

bool CWavMgrDlg::undoMarkerMove()
{
    return placeMarkersFromHistory(m_history.undo(m_tags.positions()));
}

bool CWavMgrDlg::redoMarkerMove()
{
    return placeMarkersFromHistory(m_history.redo(m_tags.positions()));
}

bool CWavMgrDlg::placeMarkersFromHistory(const std::optional<std::vector<float>>& target)
{
    if (!target) {
        return false;
    }
    m_moveOpen = false;
    m_tags.setPositions(*target);
    m_proposalNote.clear();
    refreshStateLine();
    redrawAll(false);
    return true;
}

bool CWavMgrDlg::proposeMarkers()
{
    if (m_wav.duration <= 0.0f || m_tags.markers.empty()) {
        return false;
    }
    if (m_proposing) {
        return true; // the proposal for the entry shown is on its way
    }
    if (m_wav.sampleCount() > kLongestEstimatedSamples) {
        m_proposalNote = QStringLiteral("No markers proposed: the estimator takes recordings of up to 10 minutes");
        refreshStateLine();
        return true;
    }
    const std::uint64_t run = ++m_proposalRun;
    m_proposing = true;
    m_proposalNote = QStringLiteral("Proposing markers...");
    refreshStateLine();
    // The worker reads its own copy: the editor may load another file meanwhile.
    std::vector<float> samples(m_wav.sampleCount());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = m_wav.sampleAt(i);
    }
    std::thread([mailbox = m_mailbox, run, kind = m_kindShown, duration = m_wav.duration, samples = std::move(samples)] {
        std::optional<std::vector<float>> markers = proposeEntryMarkers(samples, duration, kind);
        const std::lock_guard<std::mutex> hold(mailbox->lock);
        if (mailbox->window != nullptr) {
            QCoreApplication::postEvent(mailbox->window, new MarkerEstimateEvent(run, 1, 1, true, std::move(markers)));
        }
    }).detach();
    return true;
}

void CWavMgrDlg::placeProposal(const std::optional<std::vector<float>>& markers)
{
    m_proposing = false;
    if (!markers || markers->size() != m_tags.markers.size()) {
        m_proposalNote = QStringLiteral("No markers proposed: no unit found in the recording");
        refreshStateLine();
        return;
    }
    // One step of the history, as a number key's move.
    m_moveOpen = false;
    beginMarkerMove();
    m_moveOpen = false;
    m_tags.setPositions(*markers);
    m_proposalNote = QStringLiteral("New markers");
    refreshStateLine();
    redrawAll(false);
}

void CWavMgrDlg::progress(double timeSec)
{
    // Audio thread, stream lock held.
    const float t = float(timeSec);
    if (t > m_lastReported.load() + kReportStep) {
        m_lastReported.store(t);
        QCoreApplication::postEvent(this, new PlayTimeEvent(Msg::kPlayProgress, t));
    }
}

void CWavMgrDlg::finished(double timeSec)
{
    QCoreApplication::postEvent(this, new PlayTimeEvent(Msg::kPlayFinished, float(timeSec)));
}

void CWavMgrDlg::onPlayTime(float seconds, bool finishedPlaying)
{
    if (!m_playing) {
        return; // a report that was under way when the playback stopped
    }
    const float cursor = m_playStart + seconds;
    bool refresh = false;
    if (cursor > m_wav.viewStart + m_wav.viewLength) {
        panTime(m_wav, m_wav.viewLength);
        refresh = true;
    }
    setPlayCursor(cursor);
    if (finishedPlaying) {
        m_filePlayer.stop();
        m_playing = false;
    }
    redrawAll(refresh);
}

bool CWavMgrDlg::event(QEvent* event)
{
    if (event->type() == messageType(Msg::kEditEntry)) {
        const auto* edit = static_cast<EntryEvent*>(event);
        if (settleChanges()) {
            loadEntry(*edit->entry, edit->wavFolder);
        }
        return true;
    }
    if (event->type() == messageType(Msg::kMarkerEstimate)) {
        const auto* proposal = static_cast<MarkerEstimateEvent*>(event);
        if (proposal->run != m_proposalRun || !m_proposing) {
            return true;
        }
        if (QGuiApplication::mouseButtons() != Qt::NoButton) {
            // Never under a drag: placed once the button is up.
            QTimer::singleShot(50, this, [this, run = proposal->run, markers = proposal->markers] {
                QCoreApplication::postEvent(this, new MarkerEstimateEvent(run, 1, 1, true, markers));
            });
            return true;
        }
        placeProposal(proposal->markers);
        return true;
    }
    if (event->type() == messageType(Msg::kPlayProgress) || event->type() == messageType(Msg::kPlayFinished)) {
        onPlayTime(static_cast<PlayTimeEvent*>(event)->seconds, event->type() == messageType(Msg::kPlayFinished));
        return true;
    }
    return CUIBoardDlg::event(event);
}

bool CWavMgrDlg::handleKey(QKeyEvent& key)
{
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    if (key.matches(QKeySequence::Undo) || (key.key() == Qt::Key_Z && mods == Qt::ControlModifier)) {
        undoMarkerMove();
        return true;
    }
    if (key.matches(QKeySequence::Redo) || (key.key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier)) ||
        (key.key() == Qt::Key_Y && mods == Qt::ControlModifier)) {
        redoMarkerMove();
        return true;
    }
    if (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return false;
    }
    switch (key.key()) {
    case Qt::Key_Space:
        if (!key.isAutoRepeat() && QGuiApplication::mouseButtons() == Qt::NoButton) {
            togglePlayback();
            redrawAll(false);
        }
        return true;
    case Qt::Key_Up:
        gotoNeighbour(0);
        return true;
    case Qt::Key_Down:
        gotoNeighbour(1);
        return true;
    case Qt::Key_Tab:
        storeEntry(true);
        return true;
    case Qt::Key_E:
        proposeMarkers();
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const float step = (mods & Qt::ShiftModifier) ? kNudgeShiftStep : kNudgeStep;
        nudgeLastMovedMarker(key.key() == Qt::Key_Left ? -step : step);
        return true;
    }
    default:
        if (key.key() >= Qt::Key_1 && key.key() <= Qt::Key_9) {
            moveMarkerToPlayCursor(key.key() - Qt::Key_0);
            return true;
        }
        return false;
    }
}

bool CWavMgrDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &board()) {
        if (event->type() == QEvent::KeyPress) {
            if (handleKey(*static_cast<QKeyEvent*>(event))) {
                return true;
            }
        } else if (event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::FocusOut ||
                   event->type() == QEvent::Leave) {
            // The end of a drag: the next move is a new step of the history.
            m_moveOpen = false;
            if (event->type() == QEvent::Leave) {
                showPointerTime(std::nullopt);
            }
        }
        if (event->type() == QEvent::MouseMove) {
            showPointerTime(static_cast<QMouseEvent*>(event)->position().toPoint());
        }
    }
    return CUIBoardDlg::eventFilter(watched, event);
}

void CWavMgrDlg::refreshStateLine()
{
    CWavTimeStripView& strip = m_view->timeStrip();
    if (m_storedShown) {
        strip.setState(QStringLiteral("Stored"), kStoredColour);
    } else if (!m_proposalNote.isEmpty()) {
        strip.setState(m_proposalNote, kProposalColour);
    } else if (!m_filePlayer.stream().isOpen()) {
        strip.setState(QStringLiteral("No audio output device: playback is off"), kNoDeviceColour);
    } else {
        strip.setState(QString(), 0);
    }
    strip.invalidateView();
}

void CWavMgrDlg::showPointerTime(std::optional<QPoint> at)
{
    std::optional<float> time;
    if (at && m_wav.duration > 0.0f) {
        const UIRect wave = m_view->waveform().viewRect();
        const int top = m_view->timeRuler().viewRect().top;
        const int bottom = m_view->spectrogram().viewRect().bottom;
        if (at->x() >= wave.left && at->x() < wave.right && at->y() >= top && at->y() < bottom) {
            time = std::min(std::max(pixelToTime(m_wav, at->x(), wave.left, wave.width()), 0.0f), m_wav.duration);
        }
    }
    CWavTimeStripView& strip = m_view->timeStrip();
    if (strip.pointer() != time) {
        strip.setPointer(time);
        strip.invalidateView();
    }
}

void CWavMgrDlg::closeEvent(QCloseEvent* event)
{
    stopPlayers();
    if (!settleChanges()) {
        event->ignore();
        return;
    }
    ToolWindowEvent closed(Msg::kWaveEditor, 1);
    send(closed);
    CUIBoardDlg::closeEvent(event);
}

void CWavMgrDlg::showEvent(QShowEvent* event)
{
    CUIBoardDlg::showEvent(event);
    board().setFocus(Qt::OtherFocusReason);
}

} // namespace TessarinEditor
