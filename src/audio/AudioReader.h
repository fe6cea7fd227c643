#pragma once

// Reading audio files into a CWavBuf: the RIFF/WAVE reader, the MPEG decoder, the dispatch on the
// file's extension and the format gate that every consumer applies after a successful read.
//
// A failed read leaves the target buffer as it was. Declared sizes never make the reader allocate
// more than the file actually holds.

#include "audio/CWavBuf.h"

#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace TessarinEditor {

inline constexpr std::string_view kWavFormatErrorMessage = "Wav format error! Format must be 44100Hz 16bit mono.";

// The text after the last "." of the path, lower-cased; a path without "." is taken whole.
std::string audioFileExtension(std::string_view path);

// "wav" goes to the RIFF reader, "mp3" to the MPEG decoder; any other extension fails unread.
bool readAudioFile(const std::filesystem::path& path, CWavBuf& out);

bool readRiffFile(const std::filesystem::path& path, CWavBuf& out);
bool readRiffBytes(std::span<const unsigned char> file, CWavBuf& out);
bool readMp3File(const std::filesystem::path& path, CWavBuf& out);
bool readMp3Bytes(std::span<const unsigned char> file, CWavBuf& out);

// Only 16 bit, mono, 44100 Hz data read from a file with the extension "wav" passes.
bool passesFormatGate(const CWavBuf& wav, std::string_view path);

} // namespace TessarinEditor
