#include "audio/CAudioSrcGroup.h"

namespace TessarinEditor {

bool CAudioSrcGroup::start()
{
    m_playing = false;
    m_flattened.clear();
    for (const auto& track : tracks) {
        m_flattened.insert(m_flattened.end(), track.begin(), track.end());
    }
    m_playing = m_stream.startWith(m_flattened);
    return m_playing;
}

void CAudioSrcGroup::stop()
{
    m_stream.abort();
    m_playing = false;
}

} // namespace TessarinEditor
