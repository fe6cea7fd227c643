#pragma once

// Frames and spectra: cutting a centred frame out of a source, zero-phase placement into a
// transform buffer, the real FFT over kissfft, and the boxes that hold one frame's spectrum with
// its levels [dB] and phases [rad].
//
// A box allocates everything once; transforms and level computations allocate nothing.

#include "core/FrameSeries.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct kiss_fftr_state;

namespace Tessarin {

inline constexpr float kLevelFloorDb = -120.0f; // level of a bin with no power

// Element i of out is source[centre + i − L div 2] (L = out.size()), 0 outside the source.
void cutFrame(std::int64_t centre, std::span<const float> source, std::span<float> out);

// The real FFT of one even size N, forward (unscaled, e^(−i2πkn/N)) and inverse (scaled by 1/N so
// that it undoes the forward transform).
class RealFft {
public:
    explicit RealFft(int n);
    ~RealFft();
    RealFft(const RealFft&) = delete;
    RealFft& operator=(const RealFft&) = delete;

    int size() const { return m_size; }
    // time: N samples; re/im: bins 0 .. N/2.
    void forward(const float* time, float* re, float* im);
    // re/im: bins 0 .. N/2; time: N samples out.
    void inverse(const float* re, const float* im, float* time);

private:
    struct Deleter {
        void operator()(kiss_fftr_state* cfg) const;
    };
    int m_size;
    std::unique_ptr<kiss_fftr_state, Deleter> m_forward;
    std::unique_ptr<kiss_fftr_state, Deleter> m_inverse;
    std::vector<float> m_scratch; // N complex values as interleaved pairs
};

// One real-input frame and its spectrum. Only bins 0 .. N/2 of re and im carry the spectrum after a
// forward transform; the rest is scratch.
class FreqBox {
public:
    explicit FreqBox(int n);
    virtual ~FreqBox() = default;

    int size() const { return N; }

    // Zero-phase placement: the first half of the windowed frame wraps to the end of the buffer, the
    // second half starts at index 0, the zero padding sits in the middle. frame and window have the
    // same length L ≤ N.
    void loadZeroPhase(std::span<const float> frame, std::span<const float> window);
    // Exchanges the two halves of re (back to natural order after an inverse transform).
    void halfSwap();
    void forward();
    // Time signal of bins 0 .. N/2 of re/im into out (N samples).
    void inverse(std::span<float> out);
    // 10·log10(re² + im²) for bins 0 .. N/2 into out, −120 where the power is not above 0.
    void powerLevels(std::span<float> out) const;

    const int N;
    std::vector<float> re;
    std::vector<float> im;

private:
    RealFft m_fft;
};

// A box that also keeps the levels and phases of its bins 0 .. N/2 (N/2 + 16 values each, the spare
// ones zero).
class FreqMagAndPhaseBox : public FreqBox {
public:
    explicit FreqMagAndPhaseBox(int n);

    void computeLevelAndPhase();

    std::vector<float> level; // [dB]
    std::vector<float> phase; // [rad], atan2(im, re)
};

// Element-wise sum of b into a, over the shorter length.
void addFrames(FrameMags& a, const FrameMags& b);

} // namespace Tessarin
