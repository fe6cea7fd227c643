#include "audio/AudioSrc.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace TessarinEditor {

namespace {

constexpr double kPlaybackRate = 44100.0; // [Hz] every stream runs at this rate

inline std::int16_t saturatingAdd(std::int16_t frame, std::int32_t value)
{
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(frame + value, -32768, 32767));
}

// Adds count samples to count stereo frames with the two channel gains.
void addSamples(std::int16_t* stereo, const std::int16_t* samples, std::int64_t count, float leftGain, float rightGain)
{
    for (std::int64_t i = 0; i < count; ++i) {
        const float s = samples[i];
        stereo[2 * i] = saturatingAdd(stereo[2 * i], static_cast<std::int32_t>(s * leftGain));
        stereo[2 * i + 1] = saturatingAdd(stereo[2 * i + 1], static_cast<std::int32_t>(s * rightGain));
    }
}

} // namespace

void WavAudioSrc::setUp(const std::int16_t* samples, std::int32_t count, std::int32_t delayFrames,
                        std::int64_t startPosition)
{
    data = samples;
    m_length = samples != nullptr ? std::max(count, 0) : 0;
    delay = delayFrames;
    position = startPosition;
    volume = 1.0f;
    pan = 0.0f;
}

void WavAudioSrc::mixInto(std::int16_t* stereo, std::int32_t frames)
{
    float leftGain = volume;
    float rightGain = volume;
    if (pan > 0.0f) {
        leftGain *= 1.0f - pan;
    }
    if (pan < 0.0f) {
        rightGain *= pan + 1.0f;
    }
    if (delay <= 0) {
        if (position >= 0 && position < m_length) {
            addSamples(stereo, data + position, std::min<std::int64_t>(frames, m_length - position), leftGain, rightGain);
        }
        position += frames;
    } else if (delay < frames) {
        if (position >= 0 && position < m_length) {
            addSamples(stereo + 2 * std::ptrdiff_t(delay), data + position,
                       std::min<std::int64_t>(frames - delay, m_length - position), leftGain, rightGain);
        }
        position += frames - delay;
        delay = 0;
    } else {
        delay -= frames;
    }
}

std::vector<std::int16_t> pcm16Samples(const CWavBuf& wav)
{
    static_assert(std::endian::native == std::endian::little, "WAV data is little-endian, as is the host");
    std::vector<std::int16_t> samples;
    if (wav.bytesPerSample != 2) {
        return samples;
    }
    samples.resize(wav.sampleCount());
    std::memcpy(samples.data(), wav.bytes.begin(), samples.size() * sizeof(std::int16_t));
    return samples;
}

std::int32_t secondsToSampleIndex(double seconds)
{
    const double index = std::trunc(seconds * kPlaybackRate);
    if (std::isnan(index)) {
        return 0;
    }
    // Held symmetric, so that a negative index can be negated into a delay.
    return static_cast<std::int32_t>(std::clamp(index, -double(std::numeric_limits<std::int32_t>::max()),
                                                double(std::numeric_limits<std::int32_t>::max())));
}

} // namespace TessarinEditor
