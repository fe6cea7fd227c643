#pragma once

// Reading audio files into a CWavBuf: the RIFF/WAVE reader, the MPEG decoder, the dispatch on the
// file's extension and the format gate that every consumer applies after a successful read.
//
// A failed read leaves the target buffer as it was. Declared sizes never make the reader allocate
// more than the file actually holds.

#include "audio/CWavBuf.h"
#include "core/FileAccess.h"

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace TessarinEditor {

inline constexpr std::string_view kWavFormatErrorMessage = "Wav format error! Format must be 44100Hz 16bit mono.";

// The text after the last "." of the path, lower-cased; a path without "." is taken whole.
std::string audioFileExtension(std::string_view path);

// "wav" goes to the RIFF reader, "mp3" to the MPEG decoder; any other extension fails unread. Only
// regular files are opened; why, when given, tells why a file could not be opened at all.
bool readAudioFile(const std::filesystem::path& path, CWavBuf& out, Tessarin::ReadError* why = nullptr);

bool readRiffFile(const std::filesystem::path& path, CWavBuf& out, Tessarin::ReadError* why = nullptr);
bool readRiffBytes(std::span<const unsigned char> file, CWavBuf& out);
bool readMp3File(const std::filesystem::path& path, CWavBuf& out, Tessarin::ReadError* why = nullptr);
bool readMp3Bytes(std::span<const unsigned char> file, CWavBuf& out);

// What readAudioFile would read, without keeping the samples: a WAV's header and the number of data
// bytes the file really holds (nothing else is read), an MP3 decoded and counted. Memory does not
// grow with the file.
struct AudioFileInfo {
    std::int32_t bytesPerSample = 2;
    std::int32_t channels = 1;
    std::int32_t sampleRate = 44100; // [Hz]
    bool isFloat = false;
    std::uint32_t dataBytes = 0;
    // What the data chunk declares; more than dataBytes when the file ends before the chunk does (an
    // MP3 declares what it decodes to).
    std::uint32_t declaredDataBytes = 0;
    // As CWavBuf::sampleCount: data bytes ÷ bytes per sample (every channel counts).
    std::uint32_t sampleCount() const;
};
bool probeAudioFile(const std::filesystem::path& path, AudioFileInfo& info, Tessarin::ReadError* why = nullptr);

enum class RegionRead {
    ok,
    readFailed,  // what readAudioFile would fail on
    formatError, // read, but not through the format gate
    tooLong,     // the region holds more than the samples asked for at most; nothing was read
};
// cutRegion(start, end) of the file, reading only the region's bytes of a WAV that passes the gate
// (an MP3 is decoded and counted, and never passes): the same samples and the same outcome as
// readAudioFile, passesFormatGate and cutRegion, in memory that follows the region, not the file.
RegionRead readGatedRegion(const std::filesystem::path& path, double startSec, double endSec,
                           Tessarin::FastVector<float>& region, Tessarin::ReadError* why = nullptr,
                           std::uint32_t mostSamples = UINT32_MAX, std::uint32_t* regionSamples = nullptr,
                           AudioFileInfo* fileInfo = nullptr);

// "48000 Hz, 24-bit, stereo": what a file holds, in the words of the format message.
std::string audioFormatText(const AudioFileInfo& info);
// kWavFormatErrorMessage and, on a second line, the file's name and its real format
// ("ka.wav: 48000 Hz, 24-bit, stereo"; an MP3 is said to be one). A file that cannot be read any
// more gives its name alone on the second line.
std::string wavFormatErrorText(const std::filesystem::path& path);

// Only 16 bit, mono, 44100 Hz data read from a file with the extension "wav" passes.
bool passesFormatGate(const CWavBuf& wav, std::string_view path);
bool passesFormatGate(const AudioFileInfo& info, std::string_view path);

} // namespace TessarinEditor
