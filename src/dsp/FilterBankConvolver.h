#pragma once

// Convolution of one signal with many short symmetric kernels, in double precision, by overlap-save.
// The signal's block spectra are computed once. Kernels go two at a time: a symmetric kernel has a
// real spectrum, so two kernels fit in one complex transform, and one inverse transform per block
// returns both filtered blocks (one as the real part, one as the imaginary part). The cost per second
// of signal does not grow with its length. (Summing the taps directly costs more from about 2 · 16 + 1
// taps on.)
//
// Double precision matters to Harvest: it reads the zero crossings of every band, those of quiet
// passages next to loud ones included, and a single-precision transform spreads rounding noise of
// about 1e-7 of a block's loudest content over the whole block.
//
// Not thread-safe: one convolver per thread. Every buffer is sized in the constructor.

#include <cstddef>
#include <span>
#include <vector>

namespace Tessarin {

class FilterBankConvolver {
public:
    // signal: the input, taken as zero outside its range. maxHalfLength: the largest h of the kernels
    // filter() will get (2h + 1 taps). Output i is centred on signal[i + shift].
    FilterBankConvolver(std::span<const double> signal, std::size_t maxHalfLength, std::ptrdiff_t shift);

    // For each of the two kernels (the second may be empty, and then outB is not written):
    // out[i] = Σ_{j=−h}^{h} kernel[h + j] · signal[i + shift − j] for every i < signal.size(), times
    // transformSize() (the transforms are unscaled; a power-of-two factor changes no zero crossing and
    // no ratio of two outputs). A kernel has an odd number 2h + 1 of taps, h ≤ maxHalfLength, and is
    // symmetric (kernel[h + j] = kernel[h − j]; an asymmetric part is ignored).
    void filter(std::span<const double> kernelA, std::span<const double> kernelB, std::span<double> outA,
                std::span<double> outB);

    std::size_t transformSize() const { return m_size; }

private:
    void forward(double* re, double* im) const; // natural order in, bit-reversed order out
    void inverse(double* re, double* im) const; // bit-reversed order in, natural order out
    void loadKernel(std::span<const double> kernel, double* target) const;

    std::size_t m_length;
    std::size_t m_pad;
    std::ptrdiff_t m_shift;
    std::size_t m_size;        // transform size, a power of two
    std::size_t m_blockLength; // outputs per block
    std::size_t m_blockCount;
    std::vector<double> m_twiddleRe; // e^(−2πi j / 2h) of the stage of half size h, at index h − 1 + j
    std::vector<double> m_twiddleIm;
    std::vector<double> m_spectra; // per block: m_size real parts, then m_size imaginary parts
    std::vector<double> m_kernelRe; // spectrum of kernel A (real)
    std::vector<double> m_kernelIm; // spectrum of kernel B (real), as the imaginary part
    std::vector<double> m_re;
    std::vector<double> m_im;
};

} // namespace Tessarin
