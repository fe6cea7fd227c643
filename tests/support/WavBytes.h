#pragma once

// Builds RIFF/WAVE files byte by byte, with whatever chunk order, sizes and format fields a test
// needs, including malformed ones.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace lvtest {

class WavBytes {
public:
    struct Format {
        std::uint16_t tag = 1;
        std::uint16_t channels = 1;
        std::uint32_t sampleRate = 44100;
        std::uint16_t bitsPerSample = 16;
        std::uint32_t bodySize = 16;    // extra bytes beyond 16 are zeros
        std::uint32_t declaredSize = 0; // the chunk size written, when not bodySize
    };

    WavBytes() { riffHeader(); }

    // Starts over with the RIFF header; the RIFF size is patched by bytes() unless given.
    WavBytes& riffHeader(std::int32_t riffSize = 0)
    {
        m_bytes.clear();
        put("RIFF");
        u32(std::uint32_t(riffSize));
        m_patchRiffSize = riffSize == 0;
        put("WAVE");
        return *this;
    }

    WavBytes& chunk(const std::string& id, const std::vector<std::uint8_t>& body)
    {
        return chunkDeclaring(id, body, std::uint32_t(body.size()));
    }

    WavBytes& chunkDeclaring(const std::string& id, const std::vector<std::uint8_t>& body, std::uint32_t declaredSize)
    {
        put(id);
        u32(declaredSize);
        m_bytes.insert(m_bytes.end(), body.begin(), body.end());
        return *this;
    }

    WavBytes& fmt(const Format& f, const std::string& id = "fmt ")
    {
        std::vector<std::uint8_t> body;
        auto add16 = [&](std::uint16_t v) { body.push_back(v & 0xFF); body.push_back(v >> 8); };
        auto add32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) body.push_back((v >> (8 * i)) & 0xFF); };
        const std::uint16_t blockAlign = std::uint16_t(f.channels * f.bitsPerSample / 8);
        add16(f.tag);
        add16(f.channels);
        add32(f.sampleRate);
        add32(f.sampleRate * blockAlign);
        add16(blockAlign);
        add16(f.bitsPerSample);
        body.resize(std::max<std::size_t>(f.bodySize, 16), 0); // a short declared size still carries the fields
        return chunkDeclaring(id, body, f.declaredSize != 0 ? f.declaredSize : f.bodySize);
    }

    WavBytes& data16(const std::vector<std::int16_t>& samples)
    {
        std::vector<std::uint8_t> body;
        for (const std::int16_t s : samples) {
            body.push_back(std::uint16_t(s) & 0xFF);
            body.push_back(std::uint16_t(s) >> 8);
        }
        return chunk("data", body);
    }

    WavBytes& raw(const std::vector<std::uint8_t>& bytes)
    {
        m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
        return *this;
    }

    std::vector<std::uint8_t> bytes() const
    {
        std::vector<std::uint8_t> out = m_bytes;
        if (m_patchRiffSize) {
            const std::uint32_t size = std::uint32_t(out.size() - 8);
            std::memcpy(out.data() + 4, &size, 4);
        }
        return out;
    }

    // A plain 44100 Hz, 16-bit, mono file.
    static std::vector<std::uint8_t> mono16(const std::vector<std::int16_t>& samples)
    {
        return WavBytes().fmt(Format{}).data16(samples).bytes();
    }

private:
    void put(const std::string& s)
    {
        for (const char c : s) { // one byte at a time: GCC 12 warns falsely about a range insert here
            m_bytes.push_back(static_cast<std::uint8_t>(c));
        }
    }
    void u32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i) {
            m_bytes.push_back((v >> (8 * i)) & 0xFF);
        }
    }

    std::vector<std::uint8_t> m_bytes;
    bool m_patchRiffSize = true;
};

inline std::vector<std::int16_t> sine16(std::size_t n, double hz = 440.0, double amplitude = 20000.0)
{
    std::vector<std::int16_t> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = std::int16_t(amplitude * std::sin(2.0 * 3.141592653589793 * hz * double(i) / 44100.0));
    }
    return v;
}

} // namespace lvtest
