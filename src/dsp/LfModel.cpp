#include "dsp/LfModel.h"

#include "core/AnalysisConstants.h"
#include "dsp/ComplexFft.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

namespace Tessarin {

namespace {

constexpr int kTableDftSize = 65536; // points per period for the template levels

} // namespace

LfTemplateTables buildLfTemplateTables()
{
    LfTemplateTables tables;
    tables.levels.resize(std::size_t(kLfTemplateCount) * kLfTemplateHarmonics);
    const ComplexFft<double> fft(kTableDftSize);
    std::vector<std::complex<double>> period(kTableDftSize);
    for (int i = 0; i < kLfTemplateCount; ++i) {
        const double rd = 0.01 * (i + 1);
        const LfShape shape = LfShape::fromRd(float(rd), 1.0f, 1.0f);
        tables.mainExcitation[std::size_t(i)] = double(shape.te);

        const LfWaveform wave = LfWaveform::fromShape(shape);
        for (int n = 0; n < kTableDftSize; ++n) {
            period[std::size_t(n)] = double(wave.flowDerivative(float(double(n) / kTableDftSize)));
        }
        fft.transform(period.data(), false);
        float* row = tables.levels.data() + std::size_t(i) * kLfTemplateHarmonics;
        for (int k = 1; k <= kLfTemplateHarmonics; ++k) {
            row[k - 1] = float(20.0 * std::log10(std::abs(period[std::size_t(k)])));
        }
    }
    return tables;
}

LfShape LfShape::fromRd(float rd, float period, float excitation)
{
    LfShape s;
    s.Rd = rd;
    s.T0 = period;
    s.Ee = excitation;
    const float c = std::min(rd, 2.7f);
    s.Ra = double(c) < 0.21 ? 1e-6f : (4.8f * c - 1.0f) / 100.0f;
    float rk;
    float rg;
    if (double(rd) <= 2.7) {
        s.shift = 0.0f;
        rk = (11.8f * c + 22.4f) / 100.0f;
        rg = (rk / 4.0f) / (0.11f * c / (0.5f + 1.2f * rk) - s.Ra);
    } else {
        // Beyond the regression's range the timing stays at Rd = 2.7 and the excess becomes a
        // smoothing of the excitation.
        s.shift = float(std::min(double(rd) - 2.7, 0.99));
        rk = 0.5426f;
        rg = 0.13565f / (float(0.2580096016544318) - s.Ra);
    }
    s.tp = 1.0f / (2.0f * rg);
    s.te = s.tp * (1.0f + rk);
    return s;
}

LfWaveform LfWaveform::fromShape(const LfShape& shape)
{
    LfWaveform w;
    w.T0 = shape.T0;
    w.Ee = shape.Ee;
    w.te = shape.te * shape.T0;
    w.tp = shape.tp * shape.T0;
    w.ta = shape.Ra * shape.T0;
    w.omegaG = kPiF / w.tp;
    w.sinOmegaTe = std::sin(w.omegaG * w.te);
    w.cosOmegaTe = std::cos(w.omegaG * w.te);

    const float closed = w.T0 - w.te;
    const float ta = w.ta;
    w.epsilon = brentRoot([&](float e) { return 1.0f - std::exp(-e * closed) - e * ta; }, 1.0f, 2.0f / (ta + 1e-9f));

    // Zero net flow over the period.
    const float eps = w.epsilon;
    const float decay = std::exp(-eps * closed);
    const float returnTerm = -closed * decay / (eps * ta) + (1.0f - decay) / (ta * eps * eps);
    const float og = w.omegaG;
    const float s = w.sinOmegaTe;
    const float c = w.cosOmegaTe;
    const float te = w.te;
    w.alpha = brentRoot(
        [&](float a) { return og * std::exp(-a * te) + s * (a * a + og * og) * returnTerm + a * s - og * c; }, 0.0f,
        1e9f);
    w.E0 = -w.Ee / (std::exp(w.alpha * w.te) * w.sinOmegaTe);
    return w;
}

float LfWaveform::openPhase(float t) const
{
    return E0 * std::exp(alpha * t) * std::sin(omegaG * t);
}

float LfWaveform::returnPhase(float t) const
{
    return -Ee / (epsilon * ta) * (std::exp(-epsilon * (t - te)) - std::exp(-epsilon * (T0 - te)));
}

float LfWaveform::flowDerivative(float t) const
{
    if (t < 0.0f || t > T0) {
        return 0.0f;
    }
    return t <= te ? openPhase(t) : returnPhase(t);
}

void renderLfPeriod(const LfShape& shape, std::span<float> out)
{
    const LfWaveform w = LfWaveform::fromShape(shape);
    const std::size_t n = std::min<std::size_t>(out.size(), kLfPeriodSamples);
    const float dt = w.T0 / float(kLfPeriodSamples);
    const int k = int(std::round(float(kLfPeriodSamples) * shape.te));
    auto timeOf = [&](std::size_t m) { return w.te + float(int(m) - k) * dt; };
    for (std::size_t m = 0; m < n; ++m) {
        float t = timeOf(m);
        if (t < 0.0f) {
            out[m] = w.returnPhase(t + w.T0);
        } else if (t > w.T0) {
            out[m] = w.openPhase(t - w.T0);
        } else {
            out[m] = w.flowDerivative(t);
        }
    }
    if (shape.shift <= 0.0f) {
        return;
    }
    // Round the corner of the excitation: between a point before te (towards tp) and one after it
    // (towards T0), both moving out with the shift, the samples follow a parabola that starts with the
    // open phase's value and slope and ends on the return phase's value.
    const float t1 = w.te - shape.shift * 0.5f * (w.te - w.tp);
    const float t2 = w.te + shape.shift * 0.5f * (w.T0 - w.te);
    const float v1 = w.openPhase(t1);
    const float h = 1e-4f * w.T0;
    const float slope = (w.openPhase(t1) - w.openPhase(t1 - h)) / h;
    const float v2 = w.returnPhase(t2);
    const float span = t2 - t1;
    if (!(span > 0.0f)) {
        return;
    }
    const float curve = (v2 - v1 - slope * span) / (span * span);
    for (std::size_t m = 0; m < n; ++m) {
        const float t = timeOf(m);
        if (t > t1 && t < t2) {
            const float x = t - t1;
            out[m] = v1 + slope * x + curve * x * x;
        }
    }
}

int lfTemplateIndex(float rd)
{
    if (rd <= 0.01f) {
        return 0;
    }
    if (rd >= 3.7f) {
        return 369;
    }
    return int(std::round((rd - 0.01f) / 0.01f));
}

const std::array<float, kLfTemplateCount>& lfTemplateValues()
{
    static const std::array<float, kLfTemplateCount> values = [] {
        std::array<float, kLfTemplateCount> v{};
        float x = 0.01f;
        for (float& value : v) {
            value = x;
            x += 0.01f;
        }
        return v;
    }();
    return values;
}

} // namespace Tessarin
