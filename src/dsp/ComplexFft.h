#pragma once

// A power-of-two complex FFT, radix 2, in float or double. The twiddles and the bit-reversal
// permutation are computed once per size; transform() allocates nothing.

#include <complex>
#include <cstddef>
#include <vector>

namespace Tessarin {

template <class T>
class ComplexFft {
public:
    // n must be a power of two (at least 1).
    explicit ComplexFft(std::size_t n);

    std::size_t size() const { return m_n; }
    // In place, unscaled; forward uses e^(−i2πkn/N), inverse e^(+i2πkn/N).
    void transform(std::complex<T>* data, bool inverse) const;

private:
    std::size_t m_n;
    std::vector<std::complex<T>> m_twiddles; // e^(−i2πk/N), k < N/2
    std::vector<std::size_t> m_swaps;        // index pairs of the bit-reversal permutation
};

extern template class ComplexFft<float>;
extern template class ComplexFft<double>;

} // namespace Tessarin
