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

double spectrogramHighHz(const CWavData& wav)
{
    const double half = double(wav.sampleRate) * 0.5;
    const double top = wav.topFrequency > 0.0f && double(wav.topFrequency) < half ? double(wav.topFrequency) : half;
    return top * double(wav.frequencyRange);
}

std::string editorTooLongMessage(std::uint32_t samples, std::uint32_t mostSamples)
{
    const std::uint64_t seconds = samples / 44100u;
    const std::uint64_t mostMinutes = mostSamples / 44100u / 60u;
    return "The recording is " + std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) +
           " s long; the wave editor opens recordings of up to " + std::to_string(mostMinutes) +
           " minutes. Cut it into shorter takes to mark them.";
}

WavLoadStatus loadForEditor(const std::filesystem::path& path, CWavData& wav, std::uint32_t mostSamples,
                            std::uint32_t* samples)
{
    wav.duration = 0.0f;
    wav.viewStart = 0.0f;
    wav.viewLength = 0.0f;
    wav.raw.clear();
    wav.samples.clear();

    // The header first: the format and the length decide before the samples take any memory (an MP3,
    // which never passes the gate, is decoded and counted without keeping its samples).
    AudioFileInfo info;
    if (!probeAudioFile(path, info)) {
        return WavLoadStatus::ReadFailed;
    }
    if (samples != nullptr) {
        *samples = info.sampleCount();
    }
    if (!passesFormatGate(info, path.native())) {
        return WavLoadStatus::FormatError;
    }
    if (info.sampleCount() > mostSamples) {
        return WavLoadStatus::TooLong;
    }
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
