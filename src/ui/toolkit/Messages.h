#pragma once

// Every private message between the program's windows, as custom QEvent types with fixed numbers.
//
// Between windows on the UI thread a message is sent (QCoreApplication::sendEvent): it is handled
// before the call returns, and callers rely on that (the main window sends itself "show the editor"
// and uses the editor on the next line). Only other threads (the build worker, the audio callback,
// the update request) and the deferred command post (QCoreApplication::postEvent).
//
// An event carries copies (an entry and its WAV folder, a version and an address), never a pointer
// into another window or thread.

#include "model/CTsVoiceCfg.h"

#include <QEvent>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace TessarinEditor {

namespace Msg {
// Toolkit: work posted by a view to run after the current message. Carries a command argument.
inline constexpr int kDeferredCommand = 1025;
// Update check → main window: a newer version exists. Carries the version and the download address.
inline constexpr int kUpdateAvailable = 8477;
// Tool windows. Flag 0: show the window (create it when absent). Flag 1: the window was closed.
inline constexpr int kWaveEditor = 8584;
inline constexpr int kVoiceCfgList = 8585;
inline constexpr int kBuildPanel = 8590;
inline constexpr int kDictionary = 8591;
// File player → wave editor (posted from the audio thread). Carries seconds since play start.
inline constexpr int kPlayFinished = 8586;
inline constexpr int kPlayProgress = 8587;
// Entry messages. Each carries a copy of the entry and its WAV folder.
inline constexpr int kStoreEntry = 8588;       // wave editor → main window → list
inline constexpr int kEditEntry = 8589;        // list → main window → wave editor
inline constexpr int kMoveToNeighbour = 8593;  // wave editor → main window → list; flag 1 = preceding
inline constexpr int kStoreAndNext = 8594;     // wave editor (Tab) → main window → list
// Build worker → progress dialog: the build text changed (posted). Carries nothing.
inline constexpr int kBuildRefresh = 8600;
// The coverage window. Flag 0: show it; flag 1: it was closed (as the other tool windows).
inline constexpr int kCoverageWindow = 8601;
// Coverage window → main window → list: open a folder with the form filled for a unit to record.
inline constexpr int kOpenListForm = 8602;
// Progress dialog → main window: a build has ended (the coverage window counts again). Carries nothing.
inline constexpr int kBuildEnded = 8603;
// Coverage worker → coverage window: the counts are ready (posted). Carries nothing.
inline constexpr int kCoverageReady = 8604;
// Voice configuration list → main window: add a folder to the project's WAV locations. Carries the
// folder.
inline constexpr int kAddWavLocation = 8605;
// The list's check worker → the list (posted): one entry's verdict, or the end of the check.
inline constexpr int kCheckVerdict = 8606;
// A marker estimation worker → its window (posted): files estimated so far, or the end of the run;
// in the wave editor, the proposal for the entry shown.
inline constexpr int kMarkerEstimate = 8607;
} // namespace Msg

inline QEvent::Type messageType(int number)
{
    return static_cast<QEvent::Type>(number);
}

// 1025: the argument is the window's own command code.
class DeferredCommandEvent : public QEvent {
public:
    explicit DeferredCommandEvent(std::intptr_t argument) : QEvent(messageType(Msg::kDeferredCommand)), argument(argument) {}
    const std::intptr_t argument;
};

// 8584, 8585, 8590, 8591, 8601: show (flag 0) or closed (flag 1).
class ToolWindowEvent : public QEvent {
public:
    ToolWindowEvent(int number, int flag) : QEvent(messageType(number)), flag(flag) {}
    const int flag;
};

// 8586, 8587: seconds since the file playback began.
class PlayTimeEvent : public QEvent {
public:
    PlayTimeEvent(int number, float seconds) : QEvent(messageType(number)), seconds(seconds) {}
    const float seconds;
};

// 8588, 8589, 8593, 8594: a copy of the entry (its own class kept) and its WAV folder.
class EntryEvent : public QEvent {
public:
    EntryEvent(int number, const CTsVoiceCfg& entry, QString wavFolder, int flag = 0)
        : QEvent(messageType(number)), entry(entry.clone()), wavFolder(std::move(wavFolder)), flag(flag)
    {
    }
    const std::unique_ptr<CTsVoiceCfg> entry;
    const QString wavFolder;
    const int flag; // 8593 only: 1 for the preceding entry, 0 for the following one
};

// 8477.
class UpdateAvailableEvent : public QEvent {
public:
    UpdateAvailableEvent(QString version, QString url)
        : QEvent(messageType(Msg::kUpdateAvailable)), version(std::move(version)), url(std::move(url))
    {
    }
    const QString version;
    const QString url;
};

// 8602: the folder to open and the form's kind (the list's FormKind), symbol (for VX the vowel and
// the consonant joined by "_") and pitch.
class ListFormEvent : public QEvent {
public:
    ListFormEvent(QString folder, int kind, QString symbol, QString pitch)
        : QEvent(messageType(Msg::kOpenListForm)), folder(std::move(folder)), kind(kind), symbol(std::move(symbol)),
          pitch(std::move(pitch))
    {
    }
    const QString folder;
    const int kind;
    const QString symbol;
    const QString pitch;
};

// 8605: the folder as the list shows it.
class FolderEvent : public QEvent {
public:
    FolderEvent(int number, QString folder) : QEvent(messageType(number)), folder(std::move(folder)) {}
    const QString folder;
};

// 8606: a copy of one verdict of the run numbered run; finished: the run ended (no verdict).
class CheckVerdictEvent : public QEvent {
public:
    CheckVerdictEvent(std::uint64_t run, std::string key, bool ok, QString text, int done, int total, bool finished)
        : QEvent(messageType(Msg::kCheckVerdict)), run(run), key(std::move(key)), ok(ok), text(std::move(text)),
          done(done), total(total), finished(finished)
    {
    }
    const std::uint64_t run;
    const std::string key;
    const bool ok;
    const QString text;
    const int done;
    const int total;
    const bool finished;
};

// 8607: progress of the run numbered run (done of total files), or its end (finished). The wave
// editor's proposal carries the markers [s] in label order, none when nothing was proposed.
class MarkerEstimateEvent : public QEvent {
public:
    MarkerEstimateEvent(std::uint64_t run, std::size_t done, std::size_t total, bool finished,
                        std::optional<std::vector<float>> markers = std::nullopt)
        : QEvent(messageType(Msg::kMarkerEstimate)), run(run), done(done), total(total), finished(finished),
          markers(std::move(markers))
    {
    }
    const std::uint64_t run;
    const std::size_t done;
    const std::size_t total;
    const bool finished;
    const std::optional<std::vector<float>> markers;
};

// 8600.
class BuildRefreshEvent : public QEvent {
public:
    BuildRefreshEvent() : QEvent(messageType(Msg::kBuildRefresh)) {}
};

// The editor's "gotoNextCfg" direction (0 preceding, 1 following) as the flag of message 8593.
inline int moveFlagFromDirection(int direction)
{
    return direction == 0 ? 1 : 0;
}

// The flag of message 8593 as the list's direction (1 next, 0 previous): flag 1 means the preceding
// entry.
inline int listDirectionFromMoveFlag(int flag)
{
    return flag == 1 ? 0 : 1;
}

} // namespace TessarinEditor
