#include "audio/CWavData.h"

#include "audio/AudioReader.h"

#include <bit>
#include <cstring>

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
    std::vector<std::int16_t>().swap(wav.pcm);

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
    std::int32_t rate = 0;
    {
        // The file's bytes live only until their samples are copied out.
        CWavBuf raw;
        if (!readAudioFile(path, raw)) {
            return WavLoadStatus::ReadFailed;
        }
        if (!passesFormatGate(raw, path.native())) {
            return WavLoadStatus::FormatError;
        }
        rate = raw.sampleRate;
        wav.duration = editorDuration(raw.sampleCount(), rate);
        if (wav.duration == 0.0f) {
            return WavLoadStatus::TooShort;
        }
        // The gate lets through 16-bit mono data only: the bytes are the samples.
        static_assert(std::endian::native == std::endian::little, "WAV data is little-endian, as is the host");
        wav.pcm.resize(raw.sampleCount());
        std::memcpy(wav.pcm.data(), raw.bytes.begin(), wav.pcm.size() * sizeof(std::int16_t));
    }
    wav.viewStart = 0.0f;
    wav.viewLength = wav.duration;
    wav.sampleRate = float(rate);
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
