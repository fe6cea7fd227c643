#pragma once

// Auditions a marker while it is dragged: each accepted request plays a short clip of the
// recording from the marker on, faded in and out. Requests closer than 25 ms to the last accepted
// one are dropped; a clip asked for while another plays waits in a queue and starts on the
// running stream when the one before has finished. The player stays active (its stream running)
// until stop().
//
// The queue's front is the clip playing; behind it waits at most one more, the latest request: a
// new request replaces the one waiting (overtaken before it started), so the clip heard after the
// one playing is always the one for where the marker is now, at most one clip's length (34.8 ms
// on 256-frame buffers) after its request.
//
// Threads: playClip() and stop() on the editor's thread; finished() on the audio thread, under the
// stream's lock, which playClip() also takes while it edits the queue and the clip. The samples
// a request points at must stay valid until stop() or destruction.

#include "audio/AudioSrc.h"
#include "audio/AudioStreamListener.h"
#include "audio/CAudioSrcGroup.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace TessarinEditor {

class CToolBoxWavClipPlayer final : public AudioStreamListener {
public:
    static constexpr std::int32_t kClipLength = 1234;                              // [samples] at full level
    static constexpr std::int32_t kFadeLength = 88;                                // [samples] each fade
    static constexpr std::int32_t kClipBufferLength = kClipLength + 2 * kFadeLength; // [samples] 1410
    static constexpr std::uint64_t kMinRequestIntervalMs = 25;                    // [ms]
    static constexpr std::size_t kMaxRequests = 6; // the ring's room; in use: the clip playing and one waiting

    explicit CToolBoxWavClipPlayer(PortAudioLibrary& library = PortAudioLibrary::process());
    ~CToolBoxWavClipPlayer() override;
    CToolBoxWavClipPlayer(const CToolBoxWavClipPlayer&) = delete;
    CToolBoxWavClipPlayer& operator=(const CToolBoxWavClipPlayer&) = delete;

    // A clip of count samples of data from startSec [s] on (the process's millisecond tick
    // throttles the requests).
    void playClip(const std::int16_t* data, std::int32_t count, double startSec);
    // Stops the stream; the next request starts it again.
    void stop();
    bool isActive() const { return m_active; }

    CCommonMutex& stream() { return m_group.stream(); }

    void progress(double timeSec) override;
    // The clip playing has ended: the next one waiting starts.
    void finished(double timeSec) override;

private:
    struct Request {
        std::int32_t startSample = 0;
        const std::int16_t* data = nullptr;
        std::int32_t count = 0;
    };

    // A fixed ring: the audio thread takes from it, and must not free memory.
    class RequestQueue {
    public:
        bool empty() const { return m_size == 0; }
        std::size_t size() const { return m_size; }
        const Request& front() const { return m_items[m_head]; }
        void clear() { m_head = m_size = 0; }
        void pushBack(const Request& request);
        void popFront();
        void erase(std::size_t index);

    private:
        std::array<Request, kMaxRequests> m_items{};
        std::size_t m_head = 0;
        std::size_t m_size = 0;
    };

    // Fills the clip buffer from the request and points the source at it. Stream lock held.
    void prepare(const Request& request);

    bool m_active = false;
    bool m_hasRequested = false;
    std::uint64_t m_lastRequestMs = 0; // [ms] tick of the last accepted request
    RequestQueue m_queue;              // guarded by the stream's lock while the stream runs
    std::array<std::int16_t, kClipBufferLength> m_clip{};
    WavAudioSrc m_source;
    CAudioSrcGroup m_group; // last: its stream stops before the rest goes
};

} // namespace TessarinEditor
