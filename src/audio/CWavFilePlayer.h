#pragma once

// Plays a whole recording from a start time (the wave editor's space key). Its listener (the
// editor) gets progress and finished reports on the audio thread; playing ends only by stop(),
// which the editor calls when it is told the file finished.
//
// Used on one thread (the editor's). The samples must stay valid until stop() or destruction. A
// listener that goes before the player (the editor's window, whose players are members) first
// calls stream().setListener(nullptr) and stop(): after that no report is under way or to come.

#include "audio/AudioSrc.h"
#include "audio/CAudioSrcGroup.h"

#include <cstdint>

namespace TessarinEditor {

class CWavFilePlayer {
public:
    explicit CWavFilePlayer(PortAudioLibrary& library = PortAudioLibrary::process());
    // Detaches the listener and stops the stream before the source goes.
    ~CWavFilePlayer();
    CWavFilePlayer(const CWavFilePlayer&) = delete;
    CWavFilePlayer& operator=(const CWavFilePlayer&) = delete;

    // Plays count samples from startSec [s] on; a start before 0 plays that much silence first.
    // Does nothing while playing. True when the stream runs (false without an output device).
    bool play(const std::int16_t* data, std::int32_t count, double startSec, AudioStreamListener* listener);
    void stop();
    bool isPlaying() const { return m_group.isPlaying(); }

    CCommonMutex& stream() { return m_group.stream(); }

private:
    WavAudioSrc m_source;
    CAudioSrcGroup m_group; // after the source: its stream stops before the source goes
};

} // namespace TessarinEditor
