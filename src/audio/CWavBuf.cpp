#include "audio/CWavBuf.h"

#include <algorithm>
#include <cmath>

namespace TessarinEditor {

namespace {
constexpr double kRegionRate = 44100.0; // the builder's fixed rate; the format gate guarantees it
} // namespace

std::uint32_t CWavBuf::sampleCount() const
{
    return bytesPerSample > 0 ? bytes.size() / std::uint32_t(bytesPerSample) : 0;
}

float CWavBuf::sampleAt(std::uint32_t i) const
{
    if (bytesPerSample != 2 || i >= sampleCount()) {
        return 0.0f;
    }
    const unsigned char* p = bytes.begin() + std::size_t(i) * 2;
    return sampleOf16(p[0], p[1]);
}

void CWavBuf::clear()
{
    bytes.clear();
    bytesPerSample = 2;
    channels = 1;
    sampleRate = 44100;
    isFloat = false;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> regionIndexes(double startSec, double endSec, std::uint32_t sampleCount)
{
    const std::int64_t n = sampleCount;
    const double first = std::max(startSec * kRegionRate, 0.0);
    const double last = std::min(endSec * kRegionRate, double(n - 1));
    // NaN times give no region rather than an arbitrary one; the range checks keep the conversions
    // to integers defined for any time.
    if (std::isnan(first) || std::isnan(last) || last <= -1.0 || first >= double(n)) {
        return std::nullopt;
    }
    const auto firstIndex = static_cast<std::int64_t>(first);
    const auto lastIndex = static_cast<std::int64_t>(last);
    if (firstIndex > lastIndex) {
        return std::nullopt;
    }
    return std::pair{static_cast<std::uint32_t>(firstIndex), static_cast<std::uint32_t>(lastIndex)};
}

float sampleOf16(std::uint8_t low, std::uint8_t high)
{
    return sampleOf16Value(static_cast<std::int16_t>(std::uint16_t(low | (high << 8))));
}

Tessarin::FastVector<float> cutRegion(double startSec, double endSec, const CWavBuf& wav)
{
    Tessarin::FastVector<float> region;
    const auto indexes = regionIndexes(startSec, endSec, wav.sampleCount());
    if (!indexes) {
        return region;
    }
    const auto [firstIndex, lastIndex] = *indexes;
    region.resize(lastIndex - firstIndex + 1);
    float* out = region.data();
    for (std::uint32_t i = firstIndex; i <= lastIndex; ++i) {
        *out++ = wav.sampleAt(i);
    }
    return region;
}

} // namespace TessarinEditor
