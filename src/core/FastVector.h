#pragma once

// The engine's ordinary numeric vector: a FIFOSampleBufferTemplate with one channel and 512-byte
// granules. Element i is begin()[i].

#include "core/FIFOSampleBufferTemplate.h"

#include <cstdint>
#include <span>

namespace Tessarin {

template <class T>
class FastVector : public FIFOSampleBufferTemplate<T> {
    using Base = FIFOSampleBufferTemplate<T>;

public:
    static constexpr std::uint32_t kGranularityBytes = 512;
    static constexpr std::uint32_t kInitialCapacity = 32;

    FastVector() : Base(kGranularityBytes, 1) { Base::ensureCapacity(kInitialCapacity); }

    // Sizes the vector to n elements, every one set to value.
    void assign(std::uint32_t n, T value)
    {
        Base::clear();
        Base::grow(n);
        T* p = Base::begin();
        for (std::uint32_t i = 0; i < n; ++i) {
            p[i] = value;
        }
    }

    void push_back(T value) { Base::append(&value, 1); }

    T& operator[](std::uint32_t i) { return Base::begin()[i]; }
    const T& operator[](std::uint32_t i) const { return Base::begin()[i]; }

    T* data() { return Base::begin(); }
    const T* data() const { return Base::begin(); }
    T* end() { return Base::begin() + Base::size(); }
    const T* end() const { return Base::begin() + Base::size(); }
    T& back() { return Base::begin()[Base::size() - 1]; }
    const T& back() const { return Base::begin()[Base::size() - 1]; }

    std::span<T> span() { return {Base::begin(), Base::size()}; }
    std::span<const T> span() const { return {Base::begin(), Base::size()}; }
};

extern template class FastVector<short>;
extern template class FastVector<int>;
extern template class FastVector<float>;
extern template class FastVector<double>;

} // namespace Tessarin
