#include "dsp/HarmonicPeaks.h"

#include "dsp/Spectrum.h"
#include "dsp/Windows.h"

#include <kiss_fft.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace Tessarin {

void ChirpZWorkspace::PlanDeleter::operator()(kiss_fft_state* p) const
{
    kiss_fft_free(p);
}

ChirpZWorkspace::ChirpZWorkspace() = default;
ChirpZWorkspace::~ChirpZWorkspace() = default;

const ChirpZWorkspace::Plans& ChirpZWorkspace::plansFor(int size)
{
    auto it = m_plans.find(size);
    if (it == m_plans.end()) {
        Plans plans;
        plans.forward.reset(kiss_fft_alloc(size, 0, nullptr, nullptr));
        plans.inverse.reset(kiss_fft_alloc(size, 1, nullptr, nullptr));
        if (!plans.forward || !plans.inverse) {
            throw std::bad_alloc();
        }
        it = m_plans.emplace(size, std::move(plans)).first;
    }
    return it->second;
}

void ChirpZWorkspace::transform(std::span<const float> x, int m, double ar, double aa, double wr, double wa,
                                std::span<float> re, std::span<float> im)
{
    const int n = int(x.size());
    if (m < 1 || n < 1) {
        return;
    }
    // The circular convolution must hold N + M − 1 points without wrapping onto the first M outputs:
    // the smallest power of two that large (often half of 2^(ceil(log2(max(N, M))) + 1)).
    int s = 1;
    while (s < n + m - 1) {
        s *= 2;
    }
    const Plans& plans = plansFor(s);
    m_y.assign(std::size_t(s), {0.0f, 0.0f});
    m_v.assign(std::size_t(s), {0.0f, 0.0f});
    m_spectrumY.resize(std::size_t(s));
    m_spectrumV.resize(std::size_t(s));

    // chirp[k] = W^(k²/2) up to the largest k any of the three sequences needs. The angles grow with
    // k², so the phasors are stepped in double precision: W^((k+1)²/2) = W^(k²/2) · W^(k + 1/2).
    const int chirpLength = std::max(n, m);
    m_chirp.resize(std::size_t(chirpLength));
    const bool unitMagnitudes = ar == 1.0 && wr == 1.0;
    if (unitMagnitudes) {
        std::complex<double> value(1.0, 0.0);
        std::complex<double> step = std::polar(1.0, wa / 2.0);
        const std::complex<double> stepGrowth = std::polar(1.0, wa);
        for (int k = 0; k < chirpLength; ++k) {
            m_chirp[std::size_t(k)] = value;
            value *= step;
            step *= stepGrowth;
        }
    } else {
        for (int k = 0; k < chirpLength; ++k) {
            const double kk = double(k);
            m_chirp[std::size_t(k)] = std::polar(std::pow(wr, kk * kk / 2.0), std::remainder(kk * kk / 2.0 * wa, kTwoPi));
        }
    }
    for (int k = 0; k < n; ++k) {
        std::complex<double> factor = m_chirp[std::size_t(k)];
        if (aa != 0.0 || ar != 1.0) {
            factor *= std::polar(std::pow(ar, -double(k)), -double(k) * aa);
        }
        m_y[std::size_t(k)] = std::complex<float>(factor * double(x[std::size_t(k)]));
    }
    // W^(−d²/2) for the lags d = −(N − 1) … M − 1, the negative ones wrapped to the end.
    auto inverseChirp = [&](int d) {
        const std::complex<double> c = m_chirp[std::size_t(d)];
        return std::complex<float>(unitMagnitudes ? std::conj(c) : 1.0 / c);
    };
    for (int j = 0; j < m; ++j) {
        m_v[std::size_t(j)] = inverseChirp(j);
    }
    for (int d = 1; d < n; ++d) {
        m_v[std::size_t(s - d)] = inverseChirp(d);
    }
    auto* y = reinterpret_cast<kiss_fft_cpx*>(m_y.data());
    auto* v = reinterpret_cast<kiss_fft_cpx*>(m_v.data());
    auto* fy = reinterpret_cast<kiss_fft_cpx*>(m_spectrumY.data());
    auto* fv = reinterpret_cast<kiss_fft_cpx*>(m_spectrumV.data());
    kiss_fft(plans.forward.get(), y, fy);
    kiss_fft(plans.forward.get(), v, fv);
    for (int j = 0; j < s; ++j) {
        const float r = fy[j].r * fv[j].r - fy[j].i * fv[j].i;
        const float i = fy[j].r * fv[j].i + fy[j].i * fv[j].r;
        fy[j].r = r;
        fy[j].i = i;
    }
    kiss_fft(plans.inverse.get(), fy, y); // the product's time signal lands in m_y
    const double scale = 1.0 / double(s);
    for (int k = 0; k < m; ++k) {
        const std::complex<double> value =
            m_chirp[std::size_t(k)] * std::complex<double>(m_y[std::size_t(k)]) * scale;
        re[std::size_t(k)] = float(value.real());
        im[std::size_t(k)] = float(value.imag());
    }
}

int HarmonicAnalyser::periodSamples(float f0, int sampleRate)
{
    return int(std::round(float(sampleRate) / f0));
}

int HarmonicAnalyser::harmonicCount(float f0, int sampleRate)
{
    return int(float(sampleRate) / 2.0f / f0);
}

std::span<const float> HarmonicAnalyser::windowFor(std::size_t length)
{
    if (length > kWindowSlotCapacity) {
        if (m_window.size() != length) {
            m_window.resize(length);
            blackmanWindow(m_window);
            normaliseToUnitSum(m_window);
        }
        return m_window;
    }
    if (m_windowSlots.empty()) {
        m_windowSlots.resize(kWindowSlots * kWindowSlotCapacity);
    }
    ++m_windowUses;
    std::size_t slot = 0;
    for (std::size_t s = 0; s < kWindowSlots; ++s) {
        if (m_slotLength[s] == length) {
            m_slotLastUse[s] = m_windowUses;
            return {m_windowSlots.data() + s * kWindowSlotCapacity, length};
        }
        if (m_slotLastUse[s] < m_slotLastUse[slot]) {
            slot = s; // the least recently used (an empty slot was never used)
        }
    }
    const std::span<float> window(m_windowSlots.data() + slot * kWindowSlotCapacity, length);
    blackmanWindow(window);
    normaliseToUnitSum(window);
    m_slotLength[slot] = length;
    m_slotLastUse[slot] = m_windowUses;
    return window;
}

void HarmonicAnalyser::measureHarmonics(std::span<const float> frame, float f0, int harmonicCount, HarmonicFrame& out)
{
    const std::size_t length = frame.size();
    if (length < 2 || harmonicCount < 1) {
        return;
    }
    const std::span<const float> window = windowFor(length);
    m_frame.resize(length);
    for (std::size_t i = 0; i < length; ++i) {
        m_frame[i] = frame[i] * window[i];
    }
    const int m = harmonicCount + 1;
    m_re.resize(std::size_t(m));
    m_im.resize(std::size_t(m));
    const double rate = double(m_parameters.sampleRate);
    m_chirp.transform(m_frame, m, 1.0, 0.0, 1.0, -kTwoPi * double(f0) / rate, m_re, m_im);

    const float halfLength = float(length / 2);
    for (int k = 1; k <= harmonicCount; ++k) {
        // The time origin moves to the frame centre; the rotation angle is formed in single precision.
        const float phi = float(k) * f0 * halfLength * kTwoPiF / float(m_parameters.sampleRate);
        const std::complex<float> rotated =
            std::complex<float>(m_re[std::size_t(k)], m_im[std::size_t(k)]) *
            std::complex<float>(std::cos(phi), std::sin(phi));
        const float magnitude = std::abs(rotated);
        const float level = magnitude > 0.0f ? 20.0f * std::log10(magnitude) : kLevelFloorOfSilenceDb;
        const float phase = magnitude > 0.0f ? std::atan2(rotated.imag(), rotated.real()) : 0.0f;
        PeakTracks::appendPoint(out, float(k) * f0, std::max(level, kLevelFloorOfSilenceDb), phase);
    }
}

void HarmonicAnalyser::build(std::span<const float> samples, std::span<const float> f0, PeakTracks& out)
{
    out.clear();
    out.reserveFrames(f0.size());
    for (std::size_t e = 0; e < f0.size(); ++e) {
        HarmonicFrame& frame = out.addFrame();
        const float pitch = f0[e];
        if (!(pitch >= kLowestMeasuredF0Hz) || !std::isfinite(pitch)) {
            continue;
        }
        const int period = periodSamples(pitch, m_parameters.sampleRate);
        const int harmonics = harmonicCount(pitch, m_parameters.sampleRate);
        m_cut.resize(std::size_t(4 * period));
        cutFrame(std::int64_t(e) * m_parameters.hop, samples, m_cut);
        measureHarmonics(m_cut, pitch, harmonics, frame);
        out.largestPointCount = std::max(out.largestPointCount, int(frame.pointCount()));
    }
}

} // namespace Tessarin
