#include "dsp/BandPass.h"

#include "core/AnalysisConstants.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
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

namespace {

// K ≤ 8 filters over K sequences at once, forwards (i = 0 … n − 1) or backwards, each with a fresh
// zero state: out[k][i] is what filterSample(c[k], state k, in[k][i]) gives. The filters are the
// lanes of the compiler's generic four-float vectors (one or two of them, lowered to what the target
// has), so each lane makes filterSample's own multiplications and additions in its order. in[k] may
// be out[k] (every value is read before it is written over).
typedef float FloatLanes __attribute__((vector_size(4 * sizeof(float))));

template <std::size_t K, bool kBackwards>
void runFilters(const FilterCoefficients* const* c, const float* const* in, float* const* out, std::size_t n)
{
    static_assert(K >= 1 && K <= 8);
    constexpr std::size_t kGroups = (K + 3) / 4;
    float bLanes[kGroups][5][4] = {};
    float aLanes[kGroups][5][4] = {};
    for (std::size_t j = 0; j < 5; ++j) {
        for (std::size_t k = 0; k < K; ++k) {
            bLanes[k / 4][j][k % 4] = c[k]->b[j];
            aLanes[k / 4][j][k % 4] = c[k]->a[j];
        }
    }
    FloatLanes b[kGroups][5];
    FloatLanes a[kGroups][5];
    static_assert(sizeof b == sizeof bLanes && sizeof a == sizeof aLanes);
    std::memcpy(b, bLanes, sizeof b);
    std::memcpy(a, aLanes, sizeof a);
    FloatLanes in1[kGroups] = {}, in2[kGroups] = {}, in3[kGroups] = {}, in4[kGroups] = {};
    FloatLanes out1[kGroups] = {}, out2[kGroups] = {}, out3[kGroups] = {}, out4[kGroups] = {};
    for (std::size_t step = 0; step < n; ++step) {
        const std::size_t i = kBackwards ? n - 1 - step : step;
        auto input = [&](std::size_t k) { return k < K ? in[k][i] : 0.0f; };
        FloatLanes x[kGroups];
        for (std::size_t g = 0; g < kGroups; ++g) {
            x[g] = FloatLanes{input(4 * g), input(4 * g + 1), input(4 * g + 2), input(4 * g + 3)};
        }
        for (std::size_t g = 0; g < kGroups; ++g) {
            FloatLanes y = b[g][0] * x[g];
            y += b[g][1] * in1[g];
            y += b[g][2] * in2[g];
            y += b[g][3] * in3[g];
            y += b[g][4] * in4[g];
            y -= a[g][1] * out1[g];
            y -= a[g][2] * out2[g];
            y -= a[g][3] * out3[g];
            y -= a[g][4] * out4[g];
            in4[g] = in3[g];
            in3[g] = in2[g];
            in2[g] = in1[g];
            in1[g] = x[g];
            out4[g] = out3[g];
            out3[g] = out2[g];
            out2[g] = out1[g];
            out1[g] = y;
        }
        for (std::size_t k = 0; k < K; ++k) {
            out[k][i] = out1[k / 4][k % 4];
        }
    }
}

template <bool kBackwards>
void runFilterGroup(std::size_t count, const FilterCoefficients* const* c, const float* const* in, float* const* out,
                    std::size_t n)
{
    // Groups of up to eight side by side.
    for (std::size_t first = 0; first < count;) {
        const std::size_t k = std::min<std::size_t>(count - first, 8);
        const FilterCoefficients* const* cs = c + first;
        const float* const* ins = in + first;
        float* const* outs = out + first;
        switch (k) {
        case 8: runFilters<8, kBackwards>(cs, ins, outs, n); break;
        case 7: runFilters<7, kBackwards>(cs, ins, outs, n); break;
        case 6: runFilters<6, kBackwards>(cs, ins, outs, n); break;
        case 5: runFilters<5, kBackwards>(cs, ins, outs, n); break;
        case 4: runFilters<4, kBackwards>(cs, ins, outs, n); break;
        case 3: runFilters<3, kBackwards>(cs, ins, outs, n); break;
        case 2: runFilters<2, kBackwards>(cs, ins, outs, n); break;
        default: runFilters<1, kBackwards>(cs, ins, outs, n); break;
        }
        first += k;
    }
}

} // namespace

void bandPasses(std::span<const float> signal, std::span<const float> lo, std::span<const float> hi,
                std::span<const std::span<float>> outs)
{
    const std::size_t bands = outs.size();
    if (lo.size() != bands || hi.size() != bands) {
        throw std::invalid_argument("bandPasses needs both edges of every band");
    }
    const std::size_t n = signal.size();
    for (const std::span<float> out : outs) {
        if (out.size() != n) {
            throw std::invalid_argument("bandPasses needs every output the size of the signal");
        }
    }
    // Each band as bandPass runs it: a first filter (the high-pass, or the low-pass alone) and,
    // when both edges lie inside, the low-pass after it. A zero-phase pass is the filter forwards
    // and then backwards over its own output, each with a zero state.
    constexpr std::size_t kMaxBands = 16;
    std::array<const FilterCoefficients*, kMaxBands> first{};
    std::array<const FilterCoefficients*, kMaxBands> second{};
    std::array<const float*, kMaxBands> in{};
    std::array<float*, kMaxBands> out{};
    std::array<const float*, kMaxBands> secondIn{};
    std::array<float*, kMaxBands> secondOut{};
    for (std::size_t start = 0; start < bands; start += kMaxBands) {
        const std::size_t count = std::min(kMaxBands, bands - start);
        std::size_t seconds = 0;
        for (std::size_t j = 0; j < count; ++j) {
            const std::size_t b = start + j;
            const float l = std::max(lo[b], 0.0f);
            const float h = std::min(hi[b], 1.0f);
            first[j] = l > 0.0f ? &selectRow(l, true) : &selectRow(h, false);
            in[j] = signal.data();
            out[j] = outs[b].data();
            if (l > 0.0f && h < 1.0f) {
                second[seconds] = &selectRow(h, false);
                secondIn[seconds] = outs[b].data();
                secondOut[seconds] = outs[b].data();
                ++seconds;
            }
        }
        runFilterGroup<false>(count, first.data(), in.data(), out.data(), n);
        std::array<const float*, kMaxBands> own{};
        for (std::size_t j = 0; j < count; ++j) {
            own[j] = out[j];
        }
        runFilterGroup<true>(count, first.data(), own.data(), out.data(), n);
        runFilterGroup<false>(seconds, second.data(), secondIn.data(), secondOut.data(), n);
        runFilterGroup<true>(seconds, second.data(), secondIn.data(), secondOut.data(), n);
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
