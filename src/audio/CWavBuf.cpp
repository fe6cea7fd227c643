#include "audio/CWavBuf.h"

#include <algorithm>
#include <cmath>

namespace TessarinEditor {

namespace {
constexpr double kRegionRate = 44100.0; // the builder's fixed rate; the format gate guarantees it
constexpr float kShortScale = 32767.0f; // full scale of 16-bit data (so −32768 maps just below −1)
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
    const auto value = static_cast<std::int16_t>(std::uint16_t(p[0] | (p[1] << 8)));
    return float(value) / kShortScale;
}

void CWavBuf::clear()
{
    bytes.clear();
    bytesPerSample = 2;
    channels = 1;
    sampleRate = 44100;
    isFloat = false;
}

Tessarin::FastVector<float> cutRegion(double startSec, double endSec, const CWavBuf& wav)
{
    Tessarin::FastVector<float> region;
    const std::int64_t n = wav.sampleCount();
    const double first = std::max(startSec * kRegionRate, 0.0);
    const double last = std::min(endSec * kRegionRate, double(n - 1));
    // NaN times give no region rather than an arbitrary one; the range checks keep the conversions
    // to integers defined for any time.
    if (std::isnan(first) || std::isnan(last) || last <= -1.0 || first >= double(n)) {
        return region;
    }
    const auto firstIndex = static_cast<std::int64_t>(first);
    const auto lastIndex = static_cast<std::int64_t>(last);
    if (firstIndex > lastIndex) {
        return region;
    }
    region.resize(static_cast<std::uint32_t>(lastIndex - firstIndex + 1));
    float* out = region.data();
    for (std::int64_t i = firstIndex; i <= lastIndex; ++i) {
        *out++ = wav.sampleAt(static_cast<std::uint32_t>(i));
    }
    return region;
}

} // namespace TessarinEditor
