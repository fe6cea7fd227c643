#include "dsp/Spectrum.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace Tessarin {

void cutFrame(std::int64_t centre, std::span<const float> source, std::span<float> out)
{
    const auto n = static_cast<std::int64_t>(source.size());
    const auto length = static_cast<std::int64_t>(out.size());
    const std::int64_t start = centre - length / 2;
    // Only the part that overlaps the source is copied; the rest is zero padding.
    const std::int64_t first = std::clamp<std::int64_t>(-start, 0, length);
    const std::int64_t last = std::clamp<std::int64_t>(n - start, 0, length);
    std::fill(out.begin(), out.end(), 0.0f);
    for (std::int64_t i = first; i < last; ++i) {
        out[std::size_t(i)] = source[std::size_t(start + i)];
    }
}

void RealFft::Deleter::operator()(kiss_fftr_state* cfg) const
{
    kiss_fftr_free(cfg);
}

RealFft::RealFft(int n) : m_size(n), m_scratch(std::size_t(n) * 2 + 2)
{
    if (n < 2 || n % 2 != 0) {
        throw std::invalid_argument("real FFT size must be even and at least 2");
    }
    m_forward.reset(kiss_fftr_alloc(n, 0, nullptr, nullptr));
    m_inverse.reset(kiss_fftr_alloc(n, 1, nullptr, nullptr));
    if (!m_forward || !m_inverse) {
        throw std::bad_alloc();
    }
}

RealFft::~RealFft() = default;

void RealFft::forward(const float* time, float* re, float* im)
{
    auto* bins = reinterpret_cast<kiss_fft_cpx*>(m_scratch.data());
    kiss_fftr(m_forward.get(), time, bins);
    for (int k = 0; k <= m_size / 2; ++k) {
        re[k] = bins[k].r;
        im[k] = bins[k].i;
    }
}

void RealFft::inverse(const float* re, const float* im, float* time)
{
    auto* bins = reinterpret_cast<kiss_fft_cpx*>(m_scratch.data());
    const float scale = 1.0f / float(m_size);
    for (int k = 0; k <= m_size / 2; ++k) {
        bins[k].r = re[k] * scale;
        bins[k].i = im[k] * scale;
    }
    kiss_fftri(m_inverse.get(), bins, time);
}

FreqBox::FreqBox(int n) : N(n), re(std::size_t(n), 0.0f), im(std::size_t(n), 0.0f), m_fft(n) {}

void FreqBox::loadZeroPhase(std::span<const float> frame, std::span<const float> window)
{
    const std::size_t length = frame.size();
    if (length > std::size_t(N) || window.size() < length) {
        throw std::invalid_argument("frame longer than the box or window shorter than the frame");
    }
    std::fill(re.begin(), re.end(), 0.0f);
    std::fill(im.begin(), im.end(), 0.0f);
    const std::size_t h = length / 2;
    for (std::size_t i = 0; i < h; ++i) {
        re[std::size_t(N) - h + i] = frame[i] * window[i];
    }
    for (std::size_t j = 0; j < length - h; ++j) {
        re[j] = frame[h + j] * window[h + j];
    }
}

void FreqBox::halfSwap()
{
    const std::size_t half = std::size_t(N) / 2;
    std::swap_ranges(re.begin(), re.begin() + long(half), re.begin() + long(half));
}

void FreqBox::forward()
{
    m_fft.forward(re.data(), re.data(), im.data());
}

void FreqBox::inverse(std::span<float> out)
{
    if (out.size() < std::size_t(N)) {
        throw std::invalid_argument("inverse transform needs N output samples");
    }
    m_fft.inverse(re.data(), im.data(), out.data());
}

void FreqBox::powerLevels(std::span<float> out) const
{
    for (int k = 0; k <= N / 2; ++k) {
        const float power = re[std::size_t(k)] * re[std::size_t(k)] + im[std::size_t(k)] * im[std::size_t(k)];
        out[std::size_t(k)] = power > 0.0f ? 10.0f * std::log10(power) : kLevelFloorDb;
    }
}

FreqMagAndPhaseBox::FreqMagAndPhaseBox(int n)
    : FreqBox(n), level(std::size_t(n / 2 + 16), 0.0f), phase(std::size_t(n / 2 + 16), 0.0f)
{
}

void FreqMagAndPhaseBox::computeLevelAndPhase()
{
    powerLevels(level);
    for (int k = 0; k <= N / 2; ++k) {
        phase[std::size_t(k)] = std::atan2(im[std::size_t(k)], re[std::size_t(k)]);
    }
}

void addFrames(FrameMags& a, const FrameMags& b)
{
    const std::uint32_t n = std::min(a.size(), b.size());
    for (std::uint32_t i = 0; i < n; ++i) {
        a[i] += b[i];
    }
}

} // namespace Tessarin
