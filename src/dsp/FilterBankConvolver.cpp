#include "dsp/FilterBankConvolver.h"

#include "core/AnalysisConstants.h"
#include "core/CpuClones.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Tessarin {

namespace {

// The power of two that needs the least transform work per pair of kernels, (blocks + 1) · M · log2 M
// (one inverse transform per block and one for the kernels), each block giving at least half of its
// transform as output.
std::size_t chooseTransformSize(std::size_t length, std::size_t pad)
{
    std::size_t best = 0;
    double bestCost = 0.0;
    for (std::size_t m = 16;; m *= 2) {
        if (m < 4 * pad + 4) {
            continue;
        }
        const std::size_t block = m - 2 * pad;
        const std::size_t blocks = (length + block - 1) / block;
        const double cost = double(blocks + 1) * double(m) * std::log2(double(m));
        if (best == 0 || cost < bestCost) {
            best = m;
            bestCost = cost;
        }
        if (block >= length) {
            return best;
        }
    }
}

// The butterflies of one group of one stage. The four halves never overlap; saying so lets the compiler
// vectorise the loop without run-time overlap checks. Inlined into each version of the transforms.
[[gnu::always_inline]] inline void forwardButterflies(double* __restrict__ ar, double* __restrict__ ai, double* __restrict__ br, double* __restrict__ bi,
                        const double* __restrict__ wr, const double* __restrict__ wi, std::size_t h)
{
    for (std::size_t j = 0; j < h; ++j) {
        const double dr = ar[j] - br[j];
        const double di = ai[j] - bi[j];
        ar[j] += br[j];
        ai[j] += bi[j];
        br[j] = dr * wr[j] - di * wi[j];
        bi[j] = dr * wi[j] + di * wr[j];
    }
}

// As forwardButterflies, with conjugate factors and the product taken before the sum (decimation in time).
[[gnu::always_inline]] inline void inverseButterflies(double* __restrict__ ar, double* __restrict__ ai, double* __restrict__ br, double* __restrict__ bi,
                        const double* __restrict__ wr, const double* __restrict__ wi, std::size_t h)
{
    for (std::size_t j = 0; j < h; ++j) {
        const double tr = br[j] * wr[j] + bi[j] * wi[j];
        const double ti = bi[j] * wr[j] - br[j] * wi[j];
        br[j] = ar[j] - tr;
        bi[j] = ai[j] - ti;
        ar[j] += tr;
        ai[j] += ti;
    }
}

} // namespace

// Decimation in frequency (Gentleman–Sande), radix 2, with the last two stages merged. Also built for
// AVX2, which has no fused multiply-add: every operation rounds as in the baseline build. (Defined
// before their first use: a compiler may refuse to make a function multi-versioned after it.)
LV_AVX2_CLONES void FilterBankConvolver::forward(double* re, double* im) const
{
    const std::size_t n = m_size;
    for (std::size_t h = n / 2; h >= 4; h /= 2) {
        const double* wr = &m_twiddleRe[h - 1];
        const double* wi = &m_twiddleIm[h - 1];
        for (std::size_t s = 0; s < n; s += 2 * h) {
            forwardButterflies(re + s, im + s, re + s + h, im + s + h, wr, wi, h);
        }
    }
    for (std::size_t s = 0; s < n; s += 4) {
        double* r = re + s;
        double* i = im + s;
        // Half size 2: factors 1 and −i.
        const double a0r = r[0] + r[2], a0i = i[0] + i[2];
        const double a2r = r[0] - r[2], a2i = i[0] - i[2];
        const double a1r = r[1] + r[3], a1i = i[1] + i[3];
        const double a3r = i[1] - i[3], a3i = r[3] - r[1];
        // Half size 1.
        r[0] = a0r + a1r;
        i[0] = a0i + a1i;
        r[1] = a0r - a1r;
        i[1] = a0i - a1i;
        r[2] = a2r + a3r;
        i[2] = a2i + a3i;
        r[3] = a2r - a3r;
        i[3] = a2i - a3i;
    }
}

// Decimation in time (Cooley–Tukey), radix 2, conjugate factors, the first two stages merged. Also
// built for AVX2, as forward.
LV_AVX2_CLONES void FilterBankConvolver::inverse(double* re, double* im) const
{
    const std::size_t n = m_size;
    for (std::size_t s = 0; s < n; s += 4) {
        double* r = re + s;
        double* i = im + s;
        // Half size 1.
        const double b0r = r[0] + r[1], b0i = i[0] + i[1];
        const double b1r = r[0] - r[1], b1i = i[0] - i[1];
        const double b2r = r[2] + r[3], b2i = i[2] + i[3];
        const double b3r = r[2] - r[3], b3i = i[2] - i[3];
        // Half size 2: factors 1 and +i.
        const double tr = -b3i, ti = b3r;
        r[0] = b0r + b2r;
        i[0] = b0i + b2i;
        r[2] = b0r - b2r;
        i[2] = b0i - b2i;
        r[1] = b1r + tr;
        i[1] = b1i + ti;
        r[3] = b1r - tr;
        i[3] = b1i - ti;
    }
    for (std::size_t h = 4; h < n; h *= 2) {
        const double* wr = &m_twiddleRe[h - 1];
        const double* wi = &m_twiddleIm[h - 1];
        for (std::size_t s = 0; s < n; s += 2 * h) {
            inverseButterflies(re + s, im + s, re + s + h, im + s + h, wr, wi, h);
        }
    }
}

FilterBankConvolver::FilterBankConvolver(std::span<const double> signal, std::size_t maxHalfLength, std::ptrdiff_t shift)
    : m_length(signal.size()), m_pad(maxHalfLength), m_shift(shift),
      m_size(chooseTransformSize(signal.size(), maxHalfLength)), m_blockLength(m_size - 2 * m_pad),
      m_blockCount((m_length + m_blockLength - 1) / m_blockLength), m_twiddleRe(m_size - 1), m_twiddleIm(m_size - 1),
      m_spectra(m_blockCount * 2 * m_size), m_kernelRe(m_size), m_kernelIm(m_size), m_re(m_size), m_im(m_size)
{
    // Stage h uses e^(−2πi j / 2h), j < h: every (M / 2h)-th factor of the largest stage.
    const std::size_t half = m_size / 2;
    double* largestRe = &m_twiddleRe[half - 1];
    double* largestIm = &m_twiddleIm[half - 1];
    for (std::size_t j = 0; j < half; ++j) {
        const double angle = -kTwoPi * double(j) / double(m_size);
        largestRe[j] = std::cos(angle);
        largestIm[j] = std::sin(angle);
    }
    for (std::size_t h = 1; h < half; h *= 2) {
        const std::size_t step = half / h;
        for (std::size_t j = 0; j < h; ++j) {
            m_twiddleRe[h - 1 + j] = largestRe[j * step];
            m_twiddleIm[h - 1 + j] = largestIm[j * step];
        }
    }

    // Block s gives outputs s·B … s·B + B − 1, centred on signal[i + shift], and reads the signal
    // from m_pad samples before its first centre.
    for (std::size_t s = 0; s < m_blockCount; ++s) {
        double* re = &m_spectra[s * 2 * m_size];
        double* im = re + m_size;
        const std::ptrdiff_t start = std::ptrdiff_t(s * m_blockLength) + m_shift - std::ptrdiff_t(m_pad);
        for (std::size_t t = 0; t < m_size; ++t) {
            const std::ptrdiff_t i = start + std::ptrdiff_t(t);
            re[t] = i >= 0 && i < std::ptrdiff_t(m_length) ? signal[std::size_t(i)] : 0.0;
            im[t] = 0.0;
        }
        forward(re, im);
    }
}

void FilterBankConvolver::loadKernel(std::span<const double> kernel, double* target) const
{
    std::fill_n(target, m_size, 0.0);
    if (kernel.empty()) {
        return;
    }
    const std::size_t h = kernel.size() / 2;
    if (kernel.size() % 2 == 0 || h > m_pad) {
        throw std::invalid_argument("FilterBankConvolver: kernel longer than declared or of even length");
    }
    // Centred on index 0 of the circular transform.
    target[0] = kernel[h];
    for (std::size_t t = 1; t <= h; ++t) {
        target[t] = kernel[h + t];
        target[m_size - t] = kernel[h - t];
    }
}

// Also built for AVX2, as the transforms.
LV_AVX2_CLONES void FilterBankConvolver::filter(std::span<const double> kernelA,
                                                                          std::span<const double> kernelB,
                                                                          std::span<double> outA,
                                                                          std::span<double> outB)
{
    if (outA.size() < m_length || (!kernelB.empty() && outB.size() < m_length)) {
        throw std::invalid_argument("FilterBankConvolver: output shorter than the signal");
    }
    // A symmetric real kernel has a real spectrum, so kernel A in the real part and kernel B in the
    // imaginary part come out of one transform as the two spectra.
    loadKernel(kernelA, m_kernelRe.data());
    loadKernel(kernelB, m_kernelIm.data());
    forward(m_kernelRe.data(), m_kernelIm.data());

    const bool both = !kernelB.empty();
    for (std::size_t s = 0; s < m_blockCount; ++s) {
        const double* blockRe = &m_spectra[s * 2 * m_size];
        const double* blockIm = blockRe + m_size;
        // The block is real, so the product with (A + iB) returns block ⊛ a as the real part and
        // block ⊛ b as the imaginary part.
        for (std::size_t k = 0; k < m_size; ++k) {
            const double a = m_kernelRe[k];
            const double b = m_kernelIm[k];
            m_re[k] = blockRe[k] * a - blockIm[k] * b;
            m_im[k] = blockIm[k] * a + blockRe[k] * b;
        }
        inverse(m_re.data(), m_im.data());
        const std::size_t first = s * m_blockLength;
        const std::size_t count = std::min(m_blockLength, m_length - first);
        std::copy_n(m_re.begin() + std::ptrdiff_t(m_pad), count, outA.begin() + std::ptrdiff_t(first));
        if (both) {
            std::copy_n(m_im.begin() + std::ptrdiff_t(m_pad), count, outB.begin() + std::ptrdiff_t(first));
        }
    }
}

} // namespace Tessarin
