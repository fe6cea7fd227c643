#include "audio/CToolBoxWavClipPlayer.h"

#include "core/MillisecondClock.h"

#include <algorithm>

namespace TessarinEditor {

void CToolBoxWavClipPlayer::RequestQueue::pushBack(const Request& request)
{
    if (m_size == kMaxRequests) {
        popFront();
    }
    m_items[(m_head + m_size) % kMaxRequests] = request;
    ++m_size;
}

void CToolBoxWavClipPlayer::RequestQueue::popFront()
{
    if (m_size > 0) {
        m_head = (m_head + 1) % kMaxRequests;
        --m_size;
    }
}

void CToolBoxWavClipPlayer::RequestQueue::erase(std::size_t index)
{
    if (index >= m_size) {
        return;
    }
    for (std::size_t i = index; i + 1 < m_size; ++i) {
        m_items[(m_head + i) % kMaxRequests] = m_items[(m_head + i + 1) % kMaxRequests];
    }
    --m_size;
}

CToolBoxWavClipPlayer::CToolBoxWavClipPlayer(PortAudioLibrary& library) : m_group(library)
{
    m_group.tracks.push_back({&m_source});
    m_group.stream().setListener(this);
}

CToolBoxWavClipPlayer::~CToolBoxWavClipPlayer()
{
    m_group.stream().setListener(nullptr);
    m_group.stop();
}

void CToolBoxWavClipPlayer::playClip(const std::int16_t* data, std::int32_t count, double startSec)
{
    const std::uint64_t now = Tessarin::tickMs();
    if (m_hasRequested && now - m_lastRequestMs < kMinRequestIntervalMs) {
        return;
    }
    m_hasRequested = true;
    m_lastRequestMs = now;

    const Request request{secondsToSampleIndex(startSec), data, count};
    CCommonMutex& stream = m_group.stream();
    if (m_active) {
        const auto lock = stream.lock();
        if (m_queue.empty()) {
            // Nothing is playing: the running stream takes the clip at its next buffer.
            prepare(request);
        }
        // A clip still waiting has been overtaken by this one: the marker has moved on, and hearing
        // it would only delay the clip of where the marker is now. The front is playing and stays.
        while (m_queue.size() > 1) {
            m_queue.erase(1);
        }
        m_queue.pushBack(request);
        return;
    }
    m_queue.clear();
    m_queue.pushBack(request);
    stream.abort();
    {
        const auto lock = stream.lock();
        prepare(request);
    }
    m_active = m_group.start();
}

void CToolBoxWavClipPlayer::stop()
{
    m_group.stop();
    m_active = false;
}

void CToolBoxWavClipPlayer::progress(double /*timeSec*/) {}

void CToolBoxWavClipPlayer::finished(double /*timeSec*/)
{
    // Reported at every buffer once the clip has ended; only the first finds it in the queue.
    if (m_queue.empty()) {
        return;
    }
    m_queue.popFront();
    if (!m_queue.empty()) {
        prepare(m_queue.front());
    }
}

void CToolBoxWavClipPlayer::prepare(const Request& request)
{
    m_clip.fill(0);
    // A start before the recording leaves that many samples of silence at the front.
    std::int64_t target = 0;
    std::int64_t from = request.startSample;
    if (from < 0) {
        target = -from;
        from = 0;
    }
    if (request.data != nullptr && target < kClipBufferLength && from < request.count) {
        const std::int64_t n = std::min<std::int64_t>(kClipBufferLength - target, request.count - from);
        std::copy_n(request.data + from, n, m_clip.begin() + target);
    }
    for (std::int32_t i = 0; i < kFadeLength; ++i) {
        // Integer products and quotients: exactly s · i ÷ 88 rounded toward zero.
        std::int16_t& in = m_clip[std::size_t(i)];
        in = static_cast<std::int16_t>(std::int32_t(in) * i / kFadeLength);
        std::int16_t& out = m_clip[std::size_t(kClipBufferLength - kFadeLength + i)];
        out = static_cast<std::int16_t>(std::int32_t(out) * (kFadeLength - i) / kFadeLength);
    }
    m_source.setUp(m_clip.data(), kClipBufferLength, 0, 0);
}

} // namespace TessarinEditor
