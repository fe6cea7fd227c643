#include "audio/CWavFilePlayer.h"

namespace TessarinEditor {

CWavFilePlayer::CWavFilePlayer(PortAudioLibrary& library) : m_group(library)
{
    m_group.tracks.push_back({&m_source});
}

CWavFilePlayer::~CWavFilePlayer()
{
    m_group.stream().setListener(nullptr);
    m_group.stop();
}

bool CWavFilePlayer::play(const std::int16_t* data, std::int32_t count, double startSec, AudioStreamListener* listener)
{
    if (m_group.isPlaying()) {
        return true;
    }
    CCommonMutex& stream = m_group.stream();
    stream.setListener(listener);
    // The stream is stopped here, but the lock costs nothing and keeps the hand-over to the audio
    // thread explicit.
    {
        const auto lock = stream.lock();
        const std::int32_t first = secondsToSampleIndex(startSec);
        if (first < 0) {
            m_source.setUp(data, count, -first, 0);
        } else {
            m_source.setUp(data, count, 0, first);
        }
    }
    return m_group.start();
}

void CWavFilePlayer::stop()
{
    m_group.stop();
}

} // namespace TessarinEditor
