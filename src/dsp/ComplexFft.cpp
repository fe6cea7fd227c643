#include "dsp/ComplexFft.h"

#include "core/AnalysisConstants.h"

#include <cmath>
#include <stdexcept>
#include <utility>

namespace Tessarin {

template <class T>
ComplexFft<T>::ComplexFft(std::size_t n) : m_n(n)
{
    if (n == 0 || (n & (n - 1)) != 0) {
        throw std::invalid_argument("complex FFT size must be a power of two");
    }
    m_twiddles.resize(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        // Computed in double whatever T is, so float transforms get correctly rounded twiddles.
        const double angle = -2.0 * kPi * double(k) / double(n);
        m_twiddles[k] = std::complex<T>(T(std::cos(angle)), T(std::sin(angle)));
    }
    std::size_t bits = 0;
    while ((std::size_t(1) << bits) < n) {
        ++bits;
    }
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t r = 0;
        for (std::size_t b = 0; b < bits; ++b) {
            r |= ((i >> b) & 1u) << (bits - 1 - b);
        }
        if (i < r) {
            m_swaps.push_back(i);
            m_swaps.push_back(r);
        }
    }
}

template <class T>
void ComplexFft<T>::transform(std::complex<T>* data, bool inverse) const
{
    for (std::size_t s = 0; s < m_swaps.size(); s += 2) {
        std::swap(data[m_swaps[s]], data[m_swaps[s + 1]]);
    }
    for (std::size_t half = 1; half < m_n; half *= 2) {
        const std::size_t stride = m_n / (2 * half);
        for (std::size_t start = 0; start < m_n; start += 2 * half) {
            for (std::size_t j = 0; j < half; ++j) {
                // Written out: std::complex's operator* checks for infinities and is far slower.
                const T wr = m_twiddles[j * stride].real();
                const T wi = inverse ? -m_twiddles[j * stride].imag() : m_twiddles[j * stride].imag();
                const std::complex<T> x = data[start + j + half];
                const std::complex<T> odd(wr * x.real() - wi * x.imag(), wr * x.imag() + wi * x.real());
                const std::complex<T> even = data[start + j];
                data[start + j] = even + odd;
                data[start + j + half] = even - odd;
            }
        }
    }
}

template class ComplexFft<float>;
template class ComplexFft<double>;

} // namespace Tessarin
