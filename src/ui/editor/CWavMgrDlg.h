#pragma once

// The wave annotation editor: the tool window in which the user places the markers of one voice
// configuration entry on its recording, listens to it, and stores the entry back into the list.
//
// How the main window uses it
// - Construction: `new CWavMgrDlg(mainWindow)`. The editor is a top-level tool window (Qt::Window)
//   owned by mainWindow, first size 960 × 640, never smaller than 600 × 500, deleted when it is
//   closed (Qt::WA_DeleteOnClose). Its messages go to mainWindow unless setMessageReceiver() names
//   another object (tests do).
// - Loading: message 8589 (an EntryEvent sent to the editor) or loadEntry(entry, wavFolder), which
//   dispatches on the entry's class to loadCVEntry(), loadVXEntry() or loadINDIEEntry(). The editor
//   keeps its own copy of the entry.
//   The WAV file is folder/entry.wavName; it is read again only when that path changed.
// - Messages the editor sends (QCoreApplication::sendEvent, handled before the call returns), all
//   declared in ui/Messages.h:
//     8588 Msg::kStoreEntry      EntryEvent: the stored entry copy and its WAV folder
//     8593 Msg::kMoveToNeighbour EntryEvent: the entry copy as loaded (unchanged) and its folder;
//                                flag 1 for the preceding entry, 0 for the following one
//     8594 Msg::kStoreAndNext    EntryEvent: as 8588, then the list opens the following entry (Tab)
//     8584 Msg::kWaveEditor      ToolWindowEvent with flag 1: the editor was closed
// - Messages it receives from its own players (posted from the audio thread): 8587 progress and
//   8586 finished, PlayTimeEvent with the seconds since the play start.
// - Message boxes go through the installed Prompter (ui/Prompter.h).
// - The f0 overlay (F0CheckOverlay.h) checks the entry as its markers stand on a worker thread; the
//   outcome comes back as a queued call and is drawn over the spectrogram, its verdict in the time
//   strip. config().showF0Overlay switches it, config().spectrogramTopFrequency sets the
//   spectrogram's top (applyPreferences()).
//
// Keys (the drawing surface has the focus): Space plays or stops the file from the play cursor;
// 1 … 9 put that marker at the play cursor; Up / Down open the preceding / following entry (asking
// first whether moved markers are to be stored); Tab stores and opens the following entry;
// Left / Right move the marker last dragged or placed by number by 1 ms (Shift: 10 ms), one history
// step per press; Ctrl+Z undoes a marker move, Ctrl+Shift+Z and Ctrl+Y redo it (the history belongs
// to the loaded entry and is cleared by the next load); E moves the markers to where the marker
// estimator proposes them, as one history step, not stored. An entry that holds no markers yet, or
// exactly the first markers of its file (as "Make Entries" makes it), gets a proposal when it opens.

#include "audio/AudioStreamListener.h"
#include "audio/CToolBoxWavClipPlayer.h"
#include "audio/CWavData.h"
#include "audio/CWavFilePlayer.h"
#include "model/CTsVoiceCfg.h"
#include "model/PhoneticDictionary.h"
#include "ui/toolkit/CSignalWndProtocol.h"
#include "ui/editor/CTagSet.h"
#include "ui/editor/F0CheckOverlay.h"

#include <QPoint>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace TessarinEditor {

class CWavMgrView;
class PortAudioLibrary;
struct ProposalMailbox;

class CWavMgrDlg : public CUIBoardDlg, public AudioStreamListener {
    Q_OBJECT
public:
    static constexpr int kMinWidth = 600;
    static constexpr int kMinHeight = 500;
    static constexpr int kFirstWidth = 960;
    static constexpr int kFirstHeight = 640;

    // owner: the main window, which receives the editor's messages. audio: the playback library
    // (tests pass one over a simulated device).
    explicit CWavMgrDlg(QWidget* owner = nullptr, PortAudioLibrary& audio = PortAudioLibrary::process());
    // Removes itself as the players' listener and stops them first.
    ~CWavMgrDlg() override;

    // Takes the spectrogram's top frequency and the f0 overlay's switch from config() and redraws.
    // The Preference menu calls it after changing them; construction does too.
    Q_INVOKABLE void applyPreferences();

    // The f0 overlay: the source check of the entry as its markers stand, redone on a worker a
    // moment after the markers last moved, after a load and after a store. Its dictionary comes
    // from dictionarySource (the open project's by default).
    void setCheckDictionarySource(std::function<PhoneticDictionary()> dictionarySource);
    bool showsF0Overlay() const { return m_showF0; }
    // The outcome shown, none before the first one of this entry or with the overlay off.
    const F0CheckOutcome* f0Outcome() const;
    // Until the check asked for last has been computed and shown; false on timeout (tests).
    bool waitForF0Check(std::chrono::milliseconds timeout);

    // Where 8584, 8588, 8593 and 8594 go; nullptr for the owner.
    void setMessageReceiver(QObject* receiver);

    // The load operations, one per kind: entry and the folder of its WAV file.
    void loadCVEntry(const CTsVoiceCfg_CV& entry, const QString& wavFolder);
    void loadVXEntry(const CTsVoiceCfg_VC& entry, const QString& wavFolder);
    void loadINDIEEntry(const CTsVoiceCfg_INDIE& entry, const QString& wavFolder);
    // One of the three by the entry's class; false (nothing done) for a bare CTsVoiceCfg.
    bool loadEntry(const CTsVoiceCfg& entry, const QString& wavFolder);

    // What the editor shows.
    int kindShown() const { return m_kindShown; } // CTsVoiceCfg::kNoKind, kCV, kVX or kINDIE
    // The editor's copy of the entry of the kind shown; nullptr before the first load.
    const CTsVoiceCfg* shownEntry() const;
    const QString& wavFolder() const { return m_wavFolder; }
    const QString& loadedPath() const { return m_loadedPath; }
    QString infoLine() const { return windowTitle(); }
    const CWavData& wavData() const { return m_wav; }
    CWavData& wavData() { return m_wav; }
    CTagSet& tagSet() { return m_tags; }
    CWavMgrView& view() { return *m_view; }
    bool isFilePlaying() const { return m_playing; }
    CToolBoxWavClipPlayer& clipPlayer() { return m_clipPlayer; }
    CWavFilePlayer& filePlayer() { return m_filePlayer; }

    // The user's actions, as the keys, buttons and signals invoke them.
    // "updateVoiceCfg" (8588) and Tab (8594); false when nothing was sent (no file, a check refused).
    bool storeEntry(bool andGoToNext);
    void gotoNeighbour(int direction);     // "gotoNextCfg": 0 preceding, 1 following (8593)
    void togglePlayback();                 // Space
    bool moveMarkerToPlayCursor(int number); // 1 … 9; false when the kind has no such marker
    // Left / Right: the marker last dragged or placed by number moves by delta [s], held in the file;
    // false when no marker has been moved since the load.
    bool nudgeLastMovedMarker(float delta);
    bool undoMarkerMove();
    bool redoMarkerMove();
    // E: estimates the markers of the entry shown on a worker; they move when the proposal arrives
    // (8607), and the state line says "New markers", or that nothing could be proposed. False when
    // no file is loaded.
    bool proposeMarkers();
    bool proposingMarkers() const { return m_proposing; }

    // Markers moved since the entry was loaded or last stored.
    bool hasUnstoredChanges() const;
    // Before the entry is left (Up, Down, the panel's arrows, another entry, closing): with unstored
    // changes asks "Store the changes to C4:ka?". Yes stores (false when a check refuses), No drops
    // them, Cancel returns false: the caller stays. True at once when nothing moved.
    bool settleChanges();

    // The view tree's signals that no view handled.
    void onSignal(std::string_view name, void* argument, UISignalSender* sender) override;

    // Audio thread: hand the reports to the window as 8587 / 8586.
    void progress(double timeSec) override;
    void finished(double timeSec) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void loadAny(const CTsVoiceCfg& entry, const QString& wavFolder, int kind);
    CTsVoiceCfg* entryOf(int kind);
    void stopPlayers();
    void send(QEvent& event);
    bool handleKey(QKeyEvent& key);
    void onPlayTime(float seconds, bool finishedPlaying);
    void moveTag(CTag* tag, float delta, bool allMarkers);
    void beginMarkerMove();
    // Undo and redo: puts the markers where the history says; false when it has nothing.
    bool placeMarkersFromHistory(const std::optional<std::vector<float>>& target);
    void endMarkerMove() { m_moveOpen = false; }
    void redrawAll(bool refreshSpectrogram);
    void setPlayCursor(float time);
    // The time strip's pointer time for a mouse position on the board (none: off the time axis).
    void showPointerTime(std::optional<QPoint> at);
    // The time strip's state line: "Stored" for a while after a store, else the missing output
    // device, else nothing.
    void refreshStateLine();
    // Asks for the check when the markers differ from those last checked (always with force).
    void requestF0Check(bool force);
    void showF0Outcome(std::shared_ptr<const F0CheckOutcome> outcome);
    void placeProposal(const std::optional<std::vector<float>>& markers);

    CWavMgrView* m_view; // owned by the board's tree
    CWavData m_wav;
    CTagSet m_tags;
    CToolBoxWavClipPlayer m_clipPlayer;
    CWavFilePlayer m_filePlayer;
    bool m_playing = false;
    float m_playStart = 0.0f;                // [s]
    std::atomic<float> m_lastReported{0.0f}; // [s] written on the audio thread while playing
    int m_kindShown = CTsVoiceCfg::kNoKind;
    CTsVoiceCfg_CV m_cvEntry;
    CTsVoiceCfg_VC m_vxEntry;
    CTsVoiceCfg_INDIE m_indieEntry;
    QString m_wavFolder;
    QString m_loadedPath;
    QPointer<QObject> m_receiver;
    CTagMoveHistory m_history;
    bool m_moveOpen = false; // a drag's moves make one undo step
    QTimer m_storedTimer;
    bool m_storedShown = false;
    int m_lastMoved = -1;                    // index of the marker last dragged or placed by number
    std::vector<float> m_moveStart;          // [s] the markers when the open move began
    std::vector<float> m_unchangedPositions; // [s] the markers as loaded or last stored
    // Where the proposal workers post; the window leaves it when it goes, so no worker is waited for.
    std::shared_ptr<ProposalMailbox> m_mailbox;
    std::uint64_t m_proposalRun = 0;         // a load drops a proposal still to come
    bool m_proposing = false;
    QString m_proposalNote; // the state line after a proposal, until the markers are moved or stored
    bool m_showF0 = true;
    std::function<PhoneticDictionary()> m_dictionarySource;
    PhoneticDictionary m_checkDictionary; // as last taken from the source
    std::vector<float> m_f0Positions; // [s] the markers of the last check asked for
    int m_f0Request = 0;              // its number
    std::shared_ptr<const F0CheckOutcome> m_f0Outcome;
    std::unique_ptr<F0CheckRunner> m_f0Runner; // last: it ends first, before what its reports touch
};

} // namespace TessarinEditor
