#pragma once

// The growable, 16-byte-aligned sample buffer behind every run of numbers in the engine and the
// audio code. Live data is count samples (of `channels` interleaved elements each) starting at
// readPos; consuming from the front only moves readPos, and the next growth moves the live samples
// back to the front of the storage.
//
// Not thread-safe: an instance belongs to whatever embeds it.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <type_traits>

namespace Tessarin {

template <class T>
class FIFOSampleBufferTemplate {
    static_assert(std::is_trivially_copyable_v<T>, "samples are moved with memcpy/memmove");

public:
    static constexpr std::uint32_t kAlignment = 16;

    explicit FIFOSampleBufferTemplate(std::uint32_t granularityBytes = 512, std::uint32_t channels = 1)
        : granularityBytes(granularityBytes == 0 ? 1 : granularityBytes), channels(channels == 0 ? 1 : channels)
    {
    }

    FIFOSampleBufferTemplate(const FIFOSampleBufferTemplate& other)
        : granularityBytes(other.granularityBytes), channels(other.channels)
    {
        append(other.begin(), other.count);
    }

    FIFOSampleBufferTemplate& operator=(const FIFOSampleBufferTemplate& other)
    {
        if (this != &other) {
            clear();
            granularityBytes = other.granularityBytes;
            channels = other.channels;
            append(other.begin(), other.count);
        }
        return *this;
    }

    FIFOSampleBufferTemplate(FIFOSampleBufferTemplate&& other) noexcept { swap(other); }

    FIFOSampleBufferTemplate& operator=(FIFOSampleBufferTemplate&& other) noexcept
    {
        if (this != &other) {
            FIFOSampleBufferTemplate moved(std::move(other));
            swap(moved);
        }
        return *this;
    }

    ~FIFOSampleBufferTemplate() = default;

    void swap(FIFOSampleBufferTemplate& other) noexcept
    {
        std::swap(data, other.data);
        std::swap(raw, other.raw);
        std::swap(capacityBytes, other.capacityBytes);
        std::swap(granularityBytes, other.granularityBytes);
        std::swap(count, other.count);
        std::swap(channels, other.channels);
        std::swap(readPos, other.readPos);
    }

    // Pointer to the first live sample.
    T* begin() { return data + std::size_t(readPos) * channels; }
    const T* begin() const { return data + std::size_t(readPos) * channels; }

    // Adds n samples at the end without initialising them.
    void grow(std::uint32_t n)
    {
        ensureCapacity(checkedSum(count, n));
        count += n;
    }

    // Appends every live sample of other and consumes them from it.
    void moveFrom(FIFOSampleBufferTemplate& other)
    {
        const std::uint32_t n = other.size();
        append(other.begin(), n);
        other.consume(n);
    }

    void append(const T* src, std::uint32_t n)
    {
        if (n == 0) {
            return;
        }
        ensureCapacity(checkedSum(count, n));
        std::memcpy(data + std::size_t(count) * channels, src, std::size_t(n) * channels * sizeof(T));
        count += n;
    }

    // Drops up to n samples from the front; returns how many were dropped. Emptying keeps readPos:
    // the next growth resets it.
    std::uint32_t consume(std::uint32_t n)
    {
        if (n < count) {
            readPos += n;
            count -= n;
            return n;
        }
        const std::uint32_t old = count;
        count = 0;
        return old;
    }

    // Copies up to n samples from the front into dst and consumes them.
    std::uint32_t take(T* dst, std::uint32_t n)
    {
        if (n > count) {
            n = count;
        }
        if (n > 0) {
            std::memcpy(dst, begin(), std::size_t(n) * channels * sizeof(T));
        }
        return consume(n);
    }

    std::uint32_t size() const { return count; }
    bool isEmpty() const { return count == 0; }

    // Sizes the buffer to exactly n samples: shrinking drops samples at the end, growing adds
    // uninitialised ones.
    void resize(std::uint32_t n)
    {
        if (n < count) {
            count = n;
        } else {
            grow(n - count);
        }
    }

    void clear()
    {
        count = 0;
        readPos = 0;
    }

    // Makes room for n samples. A growth reallocates to whole granules, at least half again the old
    // capacity, and moves the live samples to the front; otherwise live samples consumed from the front are moved down in place.
    void ensureCapacity(std::uint32_t n)
    {
        const std::uint64_t sampleBytes = std::uint64_t(channels) * sizeof(T);
        if (capacityBytes / sampleBytes < n) {
            // At least half again what is held: buffers that grow by whole frames (hundreds of
            // values at a time) would otherwise be copied at every append.
            const std::uint64_t wanted = std::max<std::uint64_t>(std::uint64_t(n) * sampleBytes,
                                                                 std::uint64_t(capacityBytes) + capacityBytes / 2);
            std::uint64_t rounded = (wanted + granularityBytes - 1) / granularityBytes * granularityBytes;
            if (rounded > UINT32_MAX - kAlignment) {
                // Half again would pass the limit; what is needed may still fit.
                rounded = (std::uint64_t(n) * sampleBytes + granularityBytes - 1) / granularityBytes * granularityBytes;
                if (rounded > UINT32_MAX - kAlignment) {
                    throw std::bad_alloc();
                }
            }
            auto block = std::make_unique_for_overwrite<unsigned char[]>(std::size_t(rounded) + kAlignment);
            const auto address = reinterpret_cast<std::uintptr_t>(block.get());
            const std::size_t shift = (kAlignment - address % kAlignment) % kAlignment;
            T* aligned = reinterpret_cast<T*>(block.get() + shift);
            if (count > 0) {
                std::memcpy(aligned, begin(), std::size_t(count) * channels * sizeof(T));
            }
            raw = std::move(block);
            data = aligned;
            capacityBytes = static_cast<std::uint32_t>(rounded);
            readPos = 0;
        } else if (readPos != 0 && data != nullptr) {
            std::memmove(data, begin(), std::size_t(count) * channels * sizeof(T));
            readPos = 0;
        }
    }

    std::uint32_t capacity() const { return capacityBytes / (channels * sizeof(T)); }
    std::uint32_t capacityInBytes() const { return capacityBytes; }
    std::uint32_t granularity() const { return granularityBytes; }
    std::uint32_t channelCount() const { return channels; }
    std::uint32_t readPosition() const { return readPos; }
    // The start of the aligned storage (not of the live data; see begin()).
    const T* storage() const { return data; }

protected:
    static std::uint32_t checkedSum(std::uint32_t a, std::uint32_t b)
    {
        if (std::uint64_t(a) + b > UINT32_MAX) {
            throw std::length_error("sample buffer larger than 2^32 samples");
        }
        return a + b;
    }

private:
    T* data = nullptr;
    std::unique_ptr<unsigned char[]> raw;
    std::uint32_t capacityBytes = 0;
    std::uint32_t granularityBytes = 512;
    std::uint32_t count = 0;
    std::uint32_t channels = 1;
    std::uint32_t readPos = 0;
};

} // namespace Tessarin

namespace TessarinEditor {
template <class T>
using FIFOSampleBufferTemplate = Tessarin::FIFOSampleBufferTemplate<T>;
} // namespace TessarinEditor

namespace Tessarin {
extern template class FIFOSampleBufferTemplate<char>;
extern template class FIFOSampleBufferTemplate<unsigned char>;
extern template class FIFOSampleBufferTemplate<short>;
extern template class FIFOSampleBufferTemplate<int>;
extern template class FIFOSampleBufferTemplate<float>;
extern template class FIFOSampleBufferTemplate<double>;
} // namespace Tessarin
