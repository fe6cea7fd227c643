#include "audio/CWavData.h"

#include "audio/AudioReader.h"

namespace TessarinEditor {

namespace {

constexpr float kShortestDuration = 0.005f; // [s] below this a recording is not usable

// Sample count ÷ rate in single precision; 0 below the shortest usable duration.
float editorDuration(std::uint32_t samples, std::int32_t sampleRate)
{
    const float duration = float(samples) / float(sampleRate);
    return duration < kShortestDuration ? 0.0f : duration;
}

} // namespace

WavLoadStatus loadForEditor(const std::filesystem::path& path, CWavData& wav)
{
    wav.duration = 0.0f;
    wav.viewStart = 0.0f;
    wav.viewLength = 0.0f;
    wav.raw.clear();
    wav.samples.clear();

    if (!readAudioFile(path, wav.raw)) {
        return WavLoadStatus::ReadFailed;
    }
    if (!passesFormatGate(wav.raw, path.native())) {
        return WavLoadStatus::FormatError;
    }

    const std::uint32_t n = wav.raw.sampleCount();
    wav.samples.resize(n);
    for (std::uint32_t i = 0; i < n; ++i) {
        wav.samples[i] = wav.raw.sampleAt(i);
    }

    wav.duration = editorDuration(n, wav.raw.sampleRate);
    if (wav.duration == 0.0f) {
        wav.duration = 0.0f;
        wav.samples.clear();
        return WavLoadStatus::TooShort;
    }
    wav.viewStart = 0.0f;
    wav.viewLength = wav.duration;
    wav.sampleRate = float(wav.raw.sampleRate);
    return WavLoadStatus::Loaded;
}

WavLoadStatus probeForEditor(const std::filesystem::path& path, EditorProbe& probe, Tessarin::ReadError* why)
{
    probe = EditorProbe{};
    if (!probeAudioFile(path, probe.info, why)) {
        return WavLoadStatus::ReadFailed;
    }
    if (!passesFormatGate(probe.info, path.native())) {
        return WavLoadStatus::FormatError;
    }
    probe.duration = editorDuration(probe.info.sampleCount(), probe.info.sampleRate);
    return probe.duration == 0.0f ? WavLoadStatus::TooShort : WavLoadStatus::Loaded;
}

} // namespace TessarinEditor
