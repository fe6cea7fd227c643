#include "dsp/BandPass.h"

#include "core/AnalysisConstants.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <stdexcept>

namespace Tessarin {

namespace {

constexpr double kRippleDb = 0.5;
constexpr float kRowStep = 0.02f; // cutoff spacing of the table rows, as a fraction of Nyquist

using Complex = std::complex<double>;

// Coefficients of ∏ (1 − r·z⁻¹) as a polynomial in z⁻¹, real parts (the roots come in conjugate pairs).
std::array<double, 5> polynomialFromRoots(const std::array<Complex, 4>& roots)
{
    std::array<Complex, 5> c{1.0, 0.0, 0.0, 0.0, 0.0};
    for (std::size_t k = 0; k < roots.size(); ++k) {
        for (std::size_t j = k + 1; j > 0; --j) {
            c[j] -= roots[k] * c[j - 1];
        }
    }
    std::array<double, 5> out{};
    for (std::size_t j = 0; j < 5; ++j) {
        out[j] = c[j].real();
    }
    return out;
}

std::array<FilterCoefficients, kChebyshevRows> buildTable(bool highPass)
{
    std::array<FilterCoefficients, kChebyshevRows> table{};
    for (int r = 0; r < kChebyshevRows; ++r) {
        std::array<double, 5> b{};
        std::array<double, 5> a{};
        designChebyshev(0.02 * (r + 1), highPass, b, a);
        for (std::size_t k = 0; k < 5; ++k) {
            table[std::size_t(r)].b[k] = float(b[k]);
            table[std::size_t(r)].a[k] = float(a[k]);
        }
    }
    return table;
}

void filterForwards(const FilterCoefficients& c, FilterState& state, std::span<const float> in, std::span<float> out)
{
    for (std::size_t i = 0; i < in.size(); ++i) {
        out[i] = filterSample(c, state, in[i]);
    }
}

} // namespace

void designChebyshev(double cutoff, bool highPass, std::array<double, 5>& b, std::array<double, 5>& a)
{
    if (!(cutoff > 0.0 && cutoff < 1.0)) {
        throw std::invalid_argument("cutoff must lie strictly between 0 and Nyquist");
    }
    constexpr int order = kChebyshevOrder;
    // Analog prototype with its pass band edge at 1 rad/s.
    const double epsilon = std::sqrt(std::pow(10.0, kRippleDb / 10.0) - 1.0);
    const double mu = std::asinh(1.0 / epsilon) / order;
    std::array<Complex, order> poles{};
    Complex poleProduct = 1.0;
    for (int k = 0; k < order; ++k) {
        const double theta = kPi * (2.0 * (k + 1) - 1.0) / (2.0 * order);
        poles[std::size_t(k)] = Complex(-std::sinh(mu) * std::sin(theta), std::cosh(mu) * std::cos(theta));
        poleProduct *= -poles[std::size_t(k)];
    }
    // An even order starts its pass band at the ripple minimum.
    double gain = poleProduct.real() / std::sqrt(1.0 + epsilon * epsilon);

    // Pre-warp the cutoff for a bilinear transform at a sample rate of 2 (Nyquist = 1).
    const double fs2 = 4.0;
    const double warped = fs2 * std::tan(kPi * cutoff / 2.0);
    std::array<Complex, order> analogPoles{};
    Complex productOfPoles = 1.0;
    for (std::size_t k = 0; k < poles.size(); ++k) {
        analogPoles[k] = highPass ? warped / poles[k] : warped * poles[k];
        productOfPoles *= -poles[k];
    }
    if (highPass) {
        gain = (gain / productOfPoles).real(); // every zero moves to s = 0
    } else {
        gain *= std::pow(warped, order);
    }

    std::array<Complex, order> digitalPoles{};
    Complex denominator = 1.0;
    for (std::size_t k = 0; k < analogPoles.size(); ++k) {
        digitalPoles[k] = (fs2 + analogPoles[k]) / (fs2 - analogPoles[k]);
        denominator *= fs2 - analogPoles[k];
    }
    std::array<Complex, order> digitalZeros{};
    Complex numerator = 1.0;
    for (std::size_t k = 0; k < digitalZeros.size(); ++k) {
        if (highPass) {
            digitalZeros[k] = 1.0; // s = 0 maps to z = 1
            numerator *= fs2;
        } else {
            digitalZeros[k] = -1.0; // s = ∞ maps to z = −1
        }
    }
    gain *= (numerator / denominator).real();

    b = polynomialFromRoots(digitalZeros);
    for (double& v : b) {
        v *= gain;
    }
    a = polynomialFromRoots(digitalPoles);
}

const std::array<FilterCoefficients, kChebyshevRows>& chebyshevTable(bool highPass)
{
    static const std::array<FilterCoefficients, kChebyshevRows> lowPassTable = buildTable(false);
    static const std::array<FilterCoefficients, kChebyshevRows> highPassTable = buildTable(true);
    return highPass ? highPassTable : lowPassTable;
}

int selectRowIndex(float x)
{
    const float r = std::round(x * 2.0f / kRowStep - 1.0f);
    if (!(r > 0.0f)) {
        return 0; // negative, and NaN
    }
    return r > float(kChebyshevRows - 1) ? kChebyshevRows - 1 : int(r);
}

const FilterCoefficients& selectRow(float x, bool highPass)
{
    return chebyshevTable(highPass)[std::size_t(selectRowIndex(x))];
}

float filterSample(const FilterCoefficients& c, FilterState& state, float x)
{
    for (std::size_t k = 4; k > 0; --k) {
        state.in[k] = state.in[k - 1];
    }
    state.in[0] = x;
    float y = c.b[0] * x;
    for (std::size_t k = 1; k < 5; ++k) {
        y += c.b[k] * state.in[k];
    }
    for (std::size_t k = 1; k < 5; ++k) {
        y -= c.a[k] * state.out[k - 1];
    }
    for (std::size_t k = 4; k > 0; --k) {
        state.out[k] = state.out[k - 1];
    }
    state.out[0] = y;
    return y;
}

std::vector<float> zeroPhaseFilter(const FilterCoefficients& c, std::span<const float> signal)
{
    std::vector<float> forward(signal.size());
    FilterState state;
    filterForwards(c, state, signal, forward);
    std::reverse(forward.begin(), forward.end());
    std::vector<float> backward(signal.size());
    state.reset();
    filterForwards(c, state, forward, backward);
    std::reverse(backward.begin(), backward.end());
    return backward;
}

void zeroPhaseFilter(const FilterCoefficients& c, std::span<const float> signal, std::span<float> out,
                     std::span<float> work)
{
    FilterState state;
    filterForwards(c, state, signal, work);
    std::reverse(work.begin(), work.end());
    state.reset();
    filterForwards(c, state, work, out);
    std::reverse(out.begin(), out.end());
}

void zeroPhaseFilterInPlace(const FilterCoefficients& c, std::span<const float> signal, std::span<float> out)
{
    FilterState state;
    filterForwards(c, state, signal, out);
    for (std::size_t i = out.size(); i > 0; --i) {
        out[i - 1] = filterSample(c, state, out[i - 1]);
    }
}

std::vector<float> bandPass(std::span<const float> signal, float lo, float hi)
{
    lo = std::max(lo, 0.0f);
    hi = std::min(hi, 1.0f);
    if (lo > 0.0f && hi < 1.0f) {
        const std::vector<float> highPassed = zeroPhaseFilter(selectRow(lo, true), signal);
        return zeroPhaseFilter(selectRow(hi, false), highPassed);
    }
    if (lo > 0.0f) {
        return zeroPhaseFilter(selectRow(lo, true), signal);
    }
    return zeroPhaseFilter(selectRow(hi, false), signal);
}

void bandPass(std::span<const float> signal, float lo, float hi, std::span<float> out, std::span<float> work)
{
    lo = std::max(lo, 0.0f);
    hi = std::min(hi, 1.0f);
    if (lo > 0.0f && hi < 1.0f) {
        zeroPhaseFilter(selectRow(lo, true), signal, out, work);
        zeroPhaseFilter(selectRow(hi, false), out, out, work);
    } else if (lo > 0.0f) {
        zeroPhaseFilter(selectRow(lo, true), signal, out, work);
    } else {
        zeroPhaseFilter(selectRow(hi, false), signal, out, work);
    }
}

void bandPassInPlace(std::span<const float> signal, float lo, float hi, std::span<float> out)
{
    lo = std::max(lo, 0.0f);
    hi = std::min(hi, 1.0f);
    if (lo > 0.0f && hi < 1.0f) {
        zeroPhaseFilterInPlace(selectRow(lo, true), signal, out);
        zeroPhaseFilterInPlace(selectRow(hi, false), out, out);
    } else if (lo > 0.0f) {
        zeroPhaseFilterInPlace(selectRow(lo, true), signal, out);
    } else {
        zeroPhaseFilterInPlace(selectRow(hi, false), signal, out);
    }
}

void BandFilter::setup(float lo, float hi)
{
    lo = std::max(lo, 0.0f);
    hi = std::min(hi, 1.0f);
    m_highPass = nullptr;
    m_lowPass = nullptr;
    if (lo != 0.0f) {
        m_highPass = &selectRow(lo, true);
        if (hi != 1.0f) {
            m_lowPass = &selectRow(hi, false);
        }
    } else if (hi != 1.0f) {
        m_lowPass = &selectRow(hi, false);
    } else {
        m_highPass = &chebyshevTable(true)[0];
    }
    m_highState.reset();
    m_lowState.reset();
}

float BandFilter::step(float x)
{
    if (m_highPass) {
        x = filterSample(*m_highPass, m_highState, x);
    }
    if (m_lowPass) {
        x = filterSample(*m_lowPass, m_lowState, x);
    }
    return x;
}

BandNoiseBank::BandNoiseBank(int bandCount, int n, float sampleRate, std::span<const float> upperEdgesHz, int mode,
                             AnalysisRandom& random)
    : m_bandCount(bandCount), m_n(n), m_sampleRate(sampleRate),
      m_upperEdges(upperEdgesHz.begin(), upperEdgesHz.end()), m_mode(mode)
{
    if (bandCount < 0 || std::size_t(bandCount) > upperEdgesHz.size() || n < 0) {
        throw std::invalid_argument("band noise bank needs an upper edge for every band");
    }
    for (int i = 0; i < bandCount; ++i) {
        const float lowerHz = i == 0 ? 0.0f : m_upperEdges[std::size_t(i) - 1];
        const float lo = 2.0f * lowerHz / sampleRate;
        const float hi = 2.0f * m_upperEdges[std::size_t(i)] / sampleRate;
        if (mode == 0) {
            std::vector<float> noise(std::size_t(n) + kSequencePadding);
            for (float& v : noise) {
                v = random.gaussian();
            }
            bandPassInPlace(noise, lo, hi, noise);
            m_sequences.push_back(std::move(noise));
        } else {
            BandFilter filter;
            filter.setup(lo, hi);
            for (int k = 0; k < kWarmUpSamples; ++k) {
                filter.step(random.gaussian());
            }
            m_filters.push_back(filter);
        }
    }
}

float BandNoiseBank::nextSample(int band, AnalysisRandom& random)
{
    return m_filters.at(std::size_t(band)).step(random.gaussian());
}

} // namespace Tessarin
