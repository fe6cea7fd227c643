#include "core/FrameSeries.h"

#include <cstring>
#include <stdexcept>

namespace Tessarin {

void FrameSeries::appendFrame(std::span<const float> frame)
{
    if (frame.size() > INT32_MAX) {
        throw std::length_error("frame longer than 2^31 values");
    }
    const std::int64_t offset = offsets.isEmpty() ? 0 : std::int64_t(offsets.back()) + lengths.back();
    if (offset > INT32_MAX) {
        throw std::length_error("frame series longer than 2^31 values");
    }
    values.append(frame.data(), static_cast<std::uint32_t>(frame.size()));
    offsets.push_back(static_cast<int>(offset));
    lengths.push_back(static_cast<int>(frame.size()));
    ++frameCount;
}

bool FrameSeries::getFrame(std::int32_t i, FrameMags& out) const
{
    out.clear();
    if (i < 0 || std::uint32_t(i) >= lengths.size() || std::uint32_t(i) >= offsets.size()) {
        return false;
    }
    const std::int32_t length = lengths[std::uint32_t(i)];
    if (length < 1) {
        return true;
    }
    const std::int64_t offset = offsets[std::uint32_t(i)];
    if (offset < 0 || offset + length > std::int64_t(values.size())) {
        return false;
    }
    out.resize(std::uint32_t(length));
    std::memcpy(out.data(), values.data() + offset, std::size_t(length) * sizeof(float));
    out.fftSize = size;
    out.sampleRate = sampleRate;
    return true;
}

void FrameSeries::reserve(std::uint32_t frames, std::uint32_t valueCount)
{
    offsets.ensureCapacity(frames);
    lengths.ensureCapacity(frames);
    values.ensureCapacity(valueCount);
}

void FrameSeries::clear()
{
    frameCount = 0;
    offsets.clear();
    lengths.clear();
    values.clear();
}

} // namespace Tessarin
