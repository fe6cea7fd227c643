#pragma once

// The sources a player plays together, with the stream they play on. The players make one track
// with one source. Used on one thread (the editor's); the stream's own rules hold for the rest.

#include "audio/AudioSrc.h"
#include "audio/CCommonMutex.h"

#include <vector>

namespace TessarinEditor {

class CAudioSrcGroup {
public:
    explicit CAudioSrcGroup(PortAudioLibrary& library = PortAudioLibrary::process()) : m_stream(library) {}

    std::vector<std::vector<WavAudioSrc*>> tracks;

    // Aborts the stream, hands it every track's sources, starts it. Playing afterwards only when
    // the stream runs.
    bool start();
    // Aborts the stream; no longer playing.
    void stop();

    bool isPlaying() const { return m_playing; }
    CCommonMutex& stream() { return m_stream; }

private:
    bool m_playing = false;
    CCommonMutex m_stream;
    std::vector<WavAudioSrc*> m_flattened; // kept to spare an allocation per start
};

} // namespace TessarinEditor
