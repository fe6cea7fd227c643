#pragma once

// One output stream of the audio library with its mixer: 44100 Hz, 2 channels of signed 16-bit
// samples, 256 frames per buffer. Its callback mixes the listed sources into each buffer and
// reports progress and the end of play to a listener.
//
// Threads: the callback runs on the library's audio thread and holds the stream's lock for its
// whole run. Owners edit the source list, the sources and the listener under that lock, and never
// abort or start the stream while holding it (aborting waits for the callback, which may be waiting
// for the lock). A stream that could not be opened stays silent: starting it does nothing.

#include "audio/AudioSrc.h"
#include "audio/AudioStreamListener.h"
#include "audio/PortAudioLibrary.h"

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace TessarinEditor {

class CCommonMutex {
public:
    static constexpr int kSampleRate = 44100;       // [Hz]
    static constexpr int kChannels = 2;
    static constexpr int kFramesPerBuffer = 256;    // [frames] small, for clips that start quickly

    // Starts the library when needed and opens the stream on the default output device.
    explicit CCommonMutex(PortAudioLibrary& library = PortAudioLibrary::process());
    // Aborts and closes the stream.
    ~CCommonMutex();
    CCommonMutex(const CCommonMutex&) = delete;
    CCommonMutex& operator=(const CCommonMutex&) = delete;

    bool isOpen() const { return m_stream != nullptr; }

    // The lock the callback holds while it mixes.
    std::unique_lock<std::mutex> lock() { return std::unique_lock<std::mutex>(m_lock); }

    // Takes the lock. Null: no more reports.
    void setListener(AudioStreamListener* listener);

    // Aborts the stream, mixes these sources from now on, counts frames from 0, starts the stream
    // and records its start time. False when the stream is not open or does not start.
    bool startWith(std::span<WavAudioSrc* const> sources);

    // Stops the stream at once; returns when the callback is no longer running.
    void abort();

    // The callback's body: fills frames stereo frames (2 × frames values) with silence, mixes every
    // source, and reports to the listener: progress while a source has samples left, finished once
    // every source is at its end. streamTimeSec is the stream clock now.
    void mix(std::int16_t* stereo, std::uint32_t frames, double streamTimeSec);

    // The stream's own clock. [s]
    double streamTime();

    // The library's stream handle (for a simulated device to find its stream); null when not open.
    const void* handle() const { return m_stream; }

private:
    PortAudioLibrary& m_library;
    void* m_stream = nullptr;
    double m_outputLatency = 0.0;   // [s] from the opened stream
    double m_streamRate = kSampleRate; // [Hz] from the opened stream

    std::mutex m_lock;
    // Guarded by m_lock:
    std::vector<WavAudioSrc*> m_sources;
    AudioStreamListener* m_listener = nullptr;
    double m_startTime = 0.0;          // [s] stream time when playback started
    // Since the start, counted while a listener is set; 64-bit because a stream left running would
    // pass 2^31 frames after about 13.5 hours.
    std::int64_t m_framesPlayed = 0;
};

} // namespace TessarinEditor
