#include "dsp/SpectralEnvelope.h"

#include "dsp/HarmonicPeaks.h"
#include "dsp/LinearTable.h"
#include "dsp/Windows.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace Tessarin {

namespace {

constexpr float kLog2Offset = 126.942696f;
constexpr float kMantissaScale = 8388608.0f; // 2^23
constexpr float kNaturalLogToDb = 20.0f / 2.30258509f;
// A smoothed spectrum value that is not positive has no logarithm; it is read as this instead.
constexpr float kSmallestAmplitude = 1e-30f;
constexpr float kNoEnvelopeDb = -200.0f; // [dB] every bin of a frame that has no envelope

} // namespace

float fasterLog2(float x)
{
    return float(std::bit_cast<std::uint32_t>(x)) / kMantissaScale - kLog2Offset;
}

float fasterPow2(float p)
{
    const float clipped = std::max(p, -126.0f);
    return std::bit_cast<float>(static_cast<std::uint32_t>((clipped + kLog2Offset) * kMantissaScale));
}

float hannKernel(float y, int windowLength, int transformLength)
{
    int n = transformLength;
    const int m = windowLength;
    if (n < m) {
        const int p = 1 << int(std::ceil(std::log(float(m)) / std::log(2.0f)));
        y *= float(p / n);
        n = p;
    }
    const float nf = float(n);
    const float mf = float(m);
    auto dirichlet = [&](float z) {
        const float x = kPiF * z / nf;
        if (std::fabs(x) < 1e-6f) {
            return mf;
        }
        return std::sin(x * mf) / std::sin(x);
    };
    const float delta = nf / (mf - 1.0f);
    return 0.25f * dirichlet(y - delta) + 0.5f * dirichlet(y) + 0.25f * dirichlet(y + delta);
}

HannKernelSteps::HannKernelSteps(int windowLength, int transformLength)
{
    int n = transformLength;
    const int m = windowLength;
    if (n < m) {
        const int p = 1 << int(std::ceil(std::log(float(m)) / std::log(2.0f)));
        step = double(p / n);
        n = p;
    }
    nd = double(n);
    md = double(m);
    delta = double(float(n) / (float(m) - 1.0f));
    sinTopStep = std::sin(kPi * step * md / nd);
    cosTopStep = std::cos(kPi * step * md / nd);
    sinBottomStep = std::sin(kPi * step / nd);
    cosBottomStep = std::cos(kPi * step / nd);
}

void hannKernelRun(double y0, int windowLength, int transformLength, std::span<float> run)
{
    hannKernelRun(y0, HannKernelSteps(windowLength, transformLength), run);
}

void hannKernelRun(double y0, const HannKernelSteps& steps, std::span<float> run)
{
    const int count = int(run.size());
    float* out = run.data();
    const double step = steps.step;
    const double nd = steps.nd;
    const double md = steps.md;
    // The three kernels (at −delta, 0, +delta) run side by side: three independent recurrences
    // instead of one after the other, each value still added as 0 + ¼·D(−) + ½·D(0) + ¼·D(+).
    struct Kernel {
        double z0;
        double sinTop;
        double cosTop;
        double sinBottom;
        double cosBottom;
    };
    Kernel kernels[3];
    const double offsets[3] = {-steps.delta, 0.0, steps.delta};
    for (int t = 0; t < 3; ++t) {
        Kernel& k = kernels[t];
        k.z0 = y0 * step + offsets[t];
        k.sinTop = std::sin(kPi * k.z0 * md / nd);
        k.cosTop = std::cos(kPi * k.z0 * md / nd);
        k.sinBottom = std::sin(kPi * k.z0 / nd);
        k.cosBottom = std::cos(kPi * k.z0 / nd);
    }
    const double weights[3] = {0.25, 0.5, 0.25};
    for (int i = 0; i < count; ++i) {
        float value = 0.0f;
        for (int t = 0; t < 3; ++t) {
            Kernel& k = kernels[t];
            // |x| < 1e-6 with x = π·z / N; the division is made only where the angle is small enough
            // to pass (|π·z| ≥ 2e-6·N cannot give |x| < 1e-6 whatever the rounding).
            const double angle = kPi * (k.z0 + double(i) * step);
            const bool centre = std::fabs(angle) < 2e-6 * nd && std::fabs(angle / nd) < 1e-6;
            const double dirichlet = centre ? md : k.sinTop / k.sinBottom;
            value += float(weights[t] * dirichlet);
            const double nextTop = k.sinTop * steps.cosTopStep + k.cosTop * steps.sinTopStep;
            k.cosTop = k.cosTop * steps.cosTopStep - k.sinTop * steps.sinTopStep;
            k.sinTop = nextTop;
            const double nextBottom = k.sinBottom * steps.cosBottomStep + k.cosBottom * steps.sinBottomStep;
            k.cosBottom = k.cosBottom * steps.cosBottomStep - k.sinBottom * steps.sinBottomStep;
            k.sinBottom = nextBottom;
        }
        out[i] = value;
    }
}

int envelopeScale(float f0, float sampleRate)
{
    const float limit = sampleRate / 256.0f;
    if (f0 > limit) {
        return 1;
    }
    int f = 2;
    while (!(limit < f0 * float(f)) && f < (1 << 20)) {
        f *= 2;
    }
    return f;
}

FreqBox& SpectralEnvelope::boxFor(int n)
{
    auto it = m_boxes.find(n);
    if (it == m_boxes.end()) {
        it = m_boxes.emplace(n, std::make_unique<FreqBox>(n)).first;
    }
    return *it->second;
}

void SpectralEnvelope::compute(float f0, std::span<const float> levels, int harmonicCount, float sampleRate, int n,
                               std::span<float> out)
{
    const int e = n / 2;
    const int harmonics = std::min<int>(harmonicCount, int(levels.size()));
    // A fundamental at or above half the sample rate has no harmonic inside the spectrum (and its lobe
    // arithmetic would index past it).
    if (harmonics < 1 || !(f0 > 0.0f) || !(f0 < 0.5f * sampleRate)) {
        std::fill(out.begin(), out.begin() + e, kNoEnvelopeDb); // no harmonic, no envelope to speak of
        return;
    }
    const float h = sampleRate / float(n);
    const float s = f0 / h;
    const int windowLength = int(std::floor(3.0f * sampleRate / f0));
    const int lobe = int(std::ceil(1.5f * s));

    // Harmonic spectrum: each harmonic's Hann lobe, the larger value where lobes meet.
    m_scratch.assign(std::size_t(e) + 16, 0.0f);
    const HannKernelSteps kernelSteps(windowLength, n);
    const float log2Of10 = fasterLog2(10.0f);
    for (int u = 1; u <= harmonics; ++u) {
        const float v = float(u) * f0;
        const float amplitude = fasterPow2(log2Of10 * levels[std::size_t(u - 1)] * 0.05f);
        const int c = int(std::round(v / h));
        const int from = std::max(c - lobe, 0);
        const int to = std::min(c + lobe, e);
        if (from > to) {
            continue;
        }
        m_kernel.resize(std::size_t(to - from + 1));
        hannKernelRun((double(h) * from - double(v)) / double(h), kernelSteps, m_kernel);
        for (int d = from; d <= to; ++d) {
            const float value = amplitude * m_kernel[std::size_t(d - from)];
            float& slot = m_scratch[std::size_t(d)];
            slot = slot == 0.0f ? value : std::max(slot, value);
        }
    }
    // Below the fundamental: mirrored around half the fundamental's bin.
    const int u0 = int(std::floor(s));
    for (int i = 0; i < u0 / 2; ++i) {
        m_scratch[std::size_t(i)] = m_scratch[std::size_t(u0 - i)];
    }
    // Above the harmonics: flat from the bin of harmonic H − 1.
    const int w = int(std::floor(f0 * float(harmonics - 1) / h));
    if (w < e - 1) {
        std::fill(m_scratch.begin() + w, m_scratch.begin() + e + 1, m_scratch[std::size_t(w)]);
    }
    // Moving average of 2R + 1 bins, the ends repeated.
    const int r = int(std::round(s / 3.0f));
    m_smoothed.resize(std::size_t(e) + 1);
    const float count = float(2 * r + 1);
    for (int i = 0; i <= e; ++i) {
        float sum = 0.0f;
        for (int j = i - r; j <= i + r; ++j) {
            sum += m_scratch[std::size_t(std::clamp(j, 0, e))];
        }
        m_smoothed[std::size_t(i)] = sum / count;
    }

    // Cepstrum of the even log spectrum.
    FreqBox& box = boxFor(n);
    std::fill(box.re.begin(), box.re.end(), 0.0f);
    std::fill(box.im.begin(), box.im.end(), 0.0f);
    for (int i = 0; i <= e; ++i) {
        box.re[std::size_t(i)] = std::log(std::max(m_smoothed[std::size_t(i)], kSmallestAmplitude));
    }
    for (int i = 1; i < e; ++i) {
        box.re[std::size_t(n - i)] = box.re[std::size_t(i)];
    }
    m_cepstrum.resize(std::size_t(n));
    box.inverse(m_cepstrum);

    // Smoothing lifter (sinc) times compensation lifter (1.18 − 0.18·cos).
    for (int q = 0; q <= e; ++q) {
        const float t = float(q) / sampleRate;
        const float x = kPiF * f0 * t;
        const float smoothing = std::fabs(x) < 1e-6f ? 1.0f : std::sin(x) / x;
        const float compensation = 1.18f - 0.18f * std::cos(kTwoPiF * f0 * t);
        m_cepstrum[std::size_t(q)] *= smoothing * compensation;
        if (q > 0 && q < e) {
            m_cepstrum[std::size_t(n - q)] = m_cepstrum[std::size_t(q)];
        }
    }
    std::copy(m_cepstrum.begin(), m_cepstrum.end(), box.re.begin());
    box.forward();
    for (int k = 0; k < e; ++k) {
        out[std::size_t(k)] = box.re[std::size_t(k)] * kNaturalLogToDb;
    }

    // Anchor the envelope to the first harmonics' levels on average.
    m_grid.resize(std::size_t(e));
    for (int k = 0; k < e; ++k) {
        m_grid[std::size_t(k)] = float(k) * h;
    }
    m_table.assign(m_grid, out.first(std::size_t(e)));
    const int anchors = std::min(harmonics, 20);
    float offset = 0.0f;
    for (int j = 1; j <= anchors; ++j) {
        offset += levels[std::size_t(j - 1)] - m_table.lookup(float(j) * f0);
    }
    offset /= float(anchors);
    for (int k = 0; k < e; ++k) {
        out[std::size_t(k)] += offset;
    }
}

void SpectralEnvelope::full(FrameMags& out, float f0, std::span<const float> levels, int harmonicCount,
                            float sampleRate)
{
    if (!(f0 >= kLowestMeasuredF0Hz) || !(f0 < 0.5f * sampleRate)) {
        // Never measured, and the transform size grows as 1 / f0 below the limit.
        out.resize(kFullEnvelopeSize);
        std::fill(out.data(), out.end(), kNoEnvelopeDb);
        out.fftSize = 1024;
        out.sampleRate = sampleRate;
        return;
    }
    const int scale = envelopeScale(f0, sampleRate);
    const int n = 1024 * scale;
    m_full.resize(std::size_t(n / 2));
    compute(f0 * float(scale), levels, harmonicCount, sampleRate * float(scale), n, m_full);
    out.resize(kFullEnvelopeSize);
    for (int k = 0; k < kFullEnvelopeSize; ++k) {
        out[std::uint32_t(k)] = m_full[std::size_t(k) * std::size_t(scale)];
    }
    out.fftSize = 1024;
    out.sampleRate = sampleRate;
}

void SpectralEnvelope::compact(FrameMags& out, float f0, std::span<const float> levels, int harmonicCount,
                               float sampleRate)
{
    FrameMags& whole = m_whole;
    full(whole, f0, levels, harmonicCount, sampleRate);
    out.resize(kCompactEnvelopeSize);
    for (int i = 0; i < 128; ++i) {
        out[std::uint32_t(i)] = whole[std::uint32_t(i)];
    }
    for (int i = 0; i < 64; ++i) {
        out[std::uint32_t(128 + i)] = whole[std::uint32_t(128 + 2 * i)];
        out[std::uint32_t(192 + i)] = whole[std::uint32_t(256 + 4 * i)];
    }
    out.fftSize = whole.fftSize;
    out.sampleRate = sampleRate;
}

} // namespace Tessarin
