#pragma once

// Writes 16-bit mono PCM WAV files: a RIFF header, a 16-byte format chunk and the data chunk. The
// file is replaced atomically, so a reader never sees half of it.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace TessarinEditor {

// The bytes of a 16-bit mono file at the given rate.
std::string wavFileBytes(std::span<const std::int16_t> samples, std::uint32_t sampleRate = 44100);

// Samples in −1 … 1 are scaled by 32767, rounded and clamped. False when the file cannot be written.
bool writeWav16(const std::filesystem::path& path, std::span<const float> samples, std::uint32_t sampleRate = 44100);

} // namespace TessarinEditor
