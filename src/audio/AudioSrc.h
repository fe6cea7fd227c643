#pragma once

// Sound sources of the playback mixer. A source plays 16-bit mono samples that live elsewhere; the
// stream that mixes it (CCommonMutex) advances its delay and position in the audio callback, under
// the stream's lock. Whoever sets a source up does so under that lock or while the stream is
// aborted.

#include "audio/CWavBuf.h"

#include <cstdint>
#include <vector>

namespace TessarinEditor {

class AudioSrc {
public:
    virtual ~AudioSrc() = default;
    virtual std::int32_t length() const = 0; // [samples]
};

class WavAudioSrc : public AudioSrc {
public:
    std::int32_t channels = 1;
    std::int32_t bits = 16;
    const std::int16_t* data = nullptr; // not owned
    std::int32_t delay = 0;             // [frames] of silence before the first sample
    // [samples] next sample to play. 64-bit: it keeps advancing by whole buffers after the end while
    // the stream runs, which would pass 2^31 after about 13.5 hours.
    std::int64_t position = 0;
    float volume = 1.0f;
    float pan = 0.0f; // −1 (left only) … 1 (right only)

    std::int32_t length() const override { return m_length; }

    // Points the source at count samples (none when data is null or count negative), with the
    // given delay and position, volume 1 and pan 0.
    void setUp(const std::int16_t* samples, std::int32_t count, std::int32_t delayFrames, std::int64_t startPosition);

    bool atEnd() const { return position >= m_length; }

    // Adds one buffer of this source to frames interleaved stereo frames: with no delay left, the
    // samples from position on into frame 0 …; with a delay shorter than the buffer, into the frames
    // from the delay on; with a longer delay, nothing (the delay shrinks by the buffer). The position
    // advances by every frame of the buffer that the source covers, even past its end. Each value is
    // the sample times its channel's gain, truncated, added with saturation to 16 bits.
    void mixInto(std::int16_t* stereo, std::int32_t frames);

private:
    std::int32_t m_length = 0; // [samples]
};

// The samples of 16-bit data read into a CWavBuf, in host order, ready to be played; empty for any
// other width.
std::vector<std::int16_t> pcm16Samples(const CWavBuf& wav);

// t × 44100 truncated toward zero, held inside ±(2^31 − 1) (NaN gives 0). [s] → [samples]
std::int32_t secondsToSampleIndex(double seconds);

} // namespace TessarinEditor
