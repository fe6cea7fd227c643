#pragma once

// The wave annotation editor's model of one recording: its samples and the visible time range. One
// instance is owned by the editor and shared by pointer with its views.

#include "audio/AudioReader.h"
#include "audio/CWavBuf.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace TessarinEditor {

class CWavData {
public:
    float frequencyRange = 1.0f; // fraction of the spectrogram's frequency axis shown
    // [Hz] the spectrogram's top at a frequency range of 1 (a preference); 0, or anything not inside
    // (0, rate ÷ 2], means half the sample rate.
    float topFrequency = 0.0f;
    float amplitudeRange = 1.0f; // amplitude at the waveform's top and bottom edge
    float duration = 0.0f;       // [s]; 0 when nothing usable is loaded
    float viewStart = 0.0f;      // [s]
    float viewLength = 0.0f;     // [s]
    float sampleRate = 0.0f;     // [Hz]
    // The recording's one copy in memory: its 16-bit samples as the file holds them. The players
    // take them as they are; the views read sample i as value ÷ 32767 (sampleAt), which is what the
    // file's bytes give (sampleOf16).
    std::vector<std::int16_t> pcm;

    float sampleAt(std::size_t i) const { return sampleOf16Value(pcm[i]); }
    std::size_t sampleCount() const { return pcm.size(); }
};

// The frequency [Hz] at the spectrogram's top edge: the top frequency (or half the rate) times the
// frequency range; 0 without a rate.
double spectrogramHighHz(const CWavData& wav);

enum class WavLoadStatus {
    ReadFailed,  // the file could not be read; nothing is shown to the user
    FormatError, // read, but not 44100 Hz, 16 bit, mono ".wav": show kWavFormatErrorMessage
    TooShort,    // shorter than 5 ms: nothing usable, nothing shown
    TooLong,     // longer than the editor takes: refused before its samples are read (editorTooLongMessage)
    Loaded,
};

// The longest recording the editor opens: 30 minutes at 44100 Hz. The editor keeps one 16-bit copy
// of a recording (159 MB at this length) and the spectrogram's column store (372 MB when it is
// complete); a longer take is refused before anything of it is read.
inline constexpr std::uint32_t kLongestEditableSamples = 30u * 60u * 44100u;

// "… is 41 min 20 s long; the wave editor opens recordings of up to 30 minutes. …"
std::string editorTooLongMessage(std::uint32_t samples, std::uint32_t mostSamples = kLongestEditableSamples);

// The editor's load. Afterwards a duration of 0 means nothing usable is loaded. The samples of the
// file loaded before are released first (their memory goes back, not only their contents). A recording of more
// than mostSamples samples is refused (TooLong) after reading its header only.
WavLoadStatus loadForEditor(const std::filesystem::path& path, CWavData& wav,
                            std::uint32_t mostSamples = kLongestEditableSamples, std::uint32_t* samples = nullptr);

// What the editor's load would give, without the samples: for tools that need only the format and
// the duration of a recording of any length.
struct EditorProbe {
    AudioFileInfo info;
    float duration = 0.0f; // [s] as the editor's: 0 for a file under 5 ms or one that fails the gate
};
WavLoadStatus probeForEditor(const std::filesystem::path& path, EditorProbe& probe, Tessarin::ReadError* why = nullptr);

} // namespace TessarinEditor
