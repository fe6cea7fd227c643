#include "audio/WavWriter.h"

#include "core/AtomicFile.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace TessarinEditor {

namespace {

void put32(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        out += char((v >> (8 * i)) & 0xFF);
    }
}

void put16(std::string& out, std::uint16_t v)
{
    out += char(v & 0xFF);
    out += char(v >> 8);
}

} // namespace

std::string wavFileBytes(std::span<const std::int16_t> samples, std::uint32_t sampleRate)
{
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    put32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    put32(out, 16);
    put16(out, 1); // integer PCM
    put16(out, 1); // mono
    put32(out, sampleRate);
    put32(out, sampleRate * 2);
    put16(out, 2);
    put16(out, 16);
    out += "data";
    put32(out, dataBytes);
    for (const std::int16_t s : samples) {
        put16(out, std::uint16_t(s));
    }
    return out;
}

bool writeWav16(const std::filesystem::path& path, std::span<const float> samples, std::uint32_t sampleRate)
{
    std::vector<std::int16_t> values(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const float scaled = std::clamp(std::round(samples[i] * 32767.0f), -32768.0f, 32767.0f);
        values[i] = static_cast<std::int16_t>(scaled);
    }
    return Tessarin::writeFileAtomically(path, wavFileBytes(values, sampleRate));
}

} // namespace TessarinEditor
