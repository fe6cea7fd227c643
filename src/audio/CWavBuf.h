#pragma once

// The raw sample store of one audio file: the data chunk's bytes as they stood in the file
// (little-endian, interleaved) and its format.

#include "core/FIFOSampleBufferTemplate.h"
#include "core/FastVector.h"

#include <cstdint>
#include <optional>
#include <utility>

namespace TessarinEditor {

class CWavBuf {
public:
    CWavBuf() = default;
    virtual ~CWavBuf() = default;
    CWavBuf(const CWavBuf&) = default;
    CWavBuf& operator=(const CWavBuf&) = default;
    CWavBuf(CWavBuf&&) = default;
    CWavBuf& operator=(CWavBuf&&) = default;

    FIFOSampleBufferTemplate<unsigned char> bytes;
    std::int32_t bytesPerSample = 2;
    std::int32_t channels = 1;
    std::int32_t sampleRate = 44100; // [Hz]
    bool isFloat = false;

    // Byte count of the store divided by bytes per sample (every channel counts); 0 when the
    // declared width is below one byte.
    std::uint32_t sampleCount() const;

    // Sample i of 16-bit data as value / 32767 in single precision; 0 for an index at or beyond the
    // sample count and for data of any other width.
    float sampleAt(std::uint32_t i) const;

    void clear();
};

// The samples from trunc(max(start·44100, 0)) to trunc(min(end·44100, n − 1)), both included, as
// floats; empty when the first index passes the last. Times in [s] from the file's first sample.
Tessarin::FastVector<float> cutRegion(double startSec, double endSec, const CWavBuf& wav);
// Those first and last indexes for a file of sampleCount samples; none for an empty region.
std::optional<std::pair<std::uint32_t, std::uint32_t>> regionIndexes(double startSec, double endSec,
                                                                      std::uint32_t sampleCount);
// A 16-bit little-endian sample as value / 32767.
float sampleOf16(std::uint8_t low, std::uint8_t high);
// A 16-bit sample as value / 32767 (what sampleOf16 gives for its bytes): full scale of 16-bit data,
// so −32768 maps just below −1.
inline float sampleOf16Value(std::int16_t value)
{
    return float(value) / 32767.0f;
}

} // namespace TessarinEditor
