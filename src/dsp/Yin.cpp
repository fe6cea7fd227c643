#include "dsp/Yin.h"

#include "core/AnalysisConstants.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace Tessarin {

#if defined(__x86_64__) && defined(__GNUC__)
#define LV_YIN_X86 1
#else
#define LV_YIN_X86 0
#endif

#if defined(__GNUC__)
#define LV_INLINE [[gnu::always_inline]] inline
#else
#define LV_INLINE inline
#endif

namespace {

// Every frame's window is a run of whole hops and one part hop: W = Q · hop + R. For one lag the
// squared differences (x[i] − x[i + τ])² are summed once per stretch between consecutive window
// edges (a head of R samples, then the hop's remaining hop − R), and each frame adds the stretches
// its window covers. A sample is thus squared once per lag instead of once per frame that sees it,
// about W / hop times less work. The stretches are kept as kLanes partial sums, lane l holding
// the terms at positions l, l + kLanes, … of the stretch (the last few in the first lanes); a
// frame adds its stretches lane by lane in window order and then the lanes pairwise. That order
// is fixed by the frame grid alone, so a frame gets the same bits computed on its own or with any
// neighbours, and in every version below.
constexpr std::size_t kLanes = 8;

// The compiler's generic vectors (a size that depends on a template parameter is not accepted
// there), lowered to whatever the target has.
template <std::size_t kWidth>
struct DoubleVector;
template <>
struct DoubleVector<2> {
    typedef double Type __attribute__((vector_size(2 * sizeof(double))));
};
template <>
struct DoubleVector<4> {
    typedef double Type __attribute__((vector_size(4 * sizeof(double))));
};
template <>
struct DoubleVector<8> {
    typedef double Type __attribute__((vector_size(8 * sizeof(double))));
};

// acc lane l = Σ (a[j] − b[j])² over j = l, l + kLanes, … < count, held in registers. The last few
// terms go to the first lanes in one more vector step whose other lanes add +0 (which changes no
// lane: each is +0 or above, or NaN), so that no lane is written alone to memory and read back as a
// vector (a stall on many processors). That step reads up to kLanes − 1 samples past the stretch,
// which yinReachAfter allows for.
template <std::size_t kWidth>
LV_INLINE void stretchLanes(const double* a, const double* b, std::size_t count,
                            typename DoubleVector<kWidth>::Type (&acc)[kLanes / kWidth])
{
    using Vec = typename DoubleVector<kWidth>::Type;
    constexpr std::size_t kVectors = kLanes / kWidth;
    static_assert(kVectors * kWidth == kLanes);
    for (std::size_t v = 0; v < kVectors; ++v) {
        acc[v] = Vec{};
    }
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (std::size_t v = 0; v < kVectors; ++v) {
            Vec x;
            Vec y;
            std::memcpy(&x, a + i + kWidth * v, sizeof x);
            std::memcpy(&y, b + i + kWidth * v, sizeof y);
            const Vec diff = x - y;
            acc[v] += diff * diff;
        }
    }
    if (i < count) {
        const auto left = double(count - i);
        for (std::size_t v = 0; v < kVectors; ++v) {
            Vec lane;
            for (std::size_t l = 0; l < kWidth; ++l) {
                lane[l] = double(kWidth * v + l);
            }
            Vec x;
            Vec y;
            std::memcpy(&x, a + i + kWidth * v, sizeof x);
            std::memcpy(&y, b + i + kWidth * v, sizeof y);
            const Vec diff = x - y;
            const Vec square = diff * diff;
            acc[v] += lane < left ? square : Vec{};
        }
    }
}

// Pairwise, in a fixed order.
LV_INLINE double addLanes(const double* lanes)
{
    double level[kLanes];
    for (std::size_t l = 0; l < kLanes; ++l) {
        level[l] = lanes[l];
    }
    for (std::size_t width = kLanes / 2; width > 0; width /= 2) {
        for (std::size_t l = 0; l < width; ++l) {
            level[l] = level[2 * l] + level[2 * l + 1];
        }
    }
    return level[0];
}

template <std::size_t kWidth>
LV_INLINE void framesBody(const double* x, std::ptrdiff_t firstCentre, std::ptrdiff_t hop, std::ptrdiff_t window,
                          std::size_t frames, std::size_t lags, double* d, double* stretches)
{
    using Vec = typename DoubleVector<kWidth>::Type;
    constexpr std::size_t kVectors = kLanes / kWidth;
    const std::ptrdiff_t whole = window / hop; // Q
    const std::ptrdiff_t part = window % hop;  // R
    // Per hop k: the lanes of its head (R samples) at 2k, of the whole hop at 2k + 1. The last
    // frame's window ends in the head of hop frames − 1 + Q.
    const std::size_t hops = frames + std::size_t(whole);
    for (std::size_t tau = 0; tau < lags; ++tau) {
        const auto lag = std::ptrdiff_t(tau);
        const std::ptrdiff_t start = firstCentre - window / 2 - lag / 2; // frame 0's first sample
        for (std::size_t k = 0; k < hops; ++k) {
            const double* a = x + start + std::ptrdiff_t(k) * hop;
            Vec head[kVectors];
            stretchLanes<kWidth>(a, a + lag, std::size_t(part), head);
            std::memcpy(stretches + 2 * k * kLanes, head, sizeof head);
            if (k + 1 == hops) {
                break;
            }
            Vec full[kVectors];
            stretchLanes<kWidth>(a + part, a + part + lag, std::size_t(hop - part), full);
            for (std::size_t v = 0; v < kVectors; ++v) {
                full[v] += head[v];
            }
            std::memcpy(stretches + (2 * k + 1) * kLanes, full, sizeof full);
        }
        for (std::size_t f = 0; f < frames; ++f) {
            Vec acc[kVectors] = {};
            for (std::size_t k = f; k < f + std::size_t(whole); ++k) {
                for (std::size_t v = 0; v < kVectors; ++v) {
                    Vec h;
                    std::memcpy(&h, stretches + (2 * k + 1) * kLanes + kWidth * v, sizeof h);
                    acc[v] += h;
                }
            }
            for (std::size_t v = 0; v < kVectors; ++v) {
                Vec h;
                std::memcpy(&h, stretches + 2 * (f + std::size_t(whole)) * kLanes + kWidth * v, sizeof h);
                acc[v] += h;
            }
            double lanes[kLanes];
            std::memcpy(lanes, acc, sizeof lanes);
            d[f * lags + tau] = addLanes(lanes);
        }
    }
}

} // namespace

#if LV_YIN_X86
namespace {

// The same code for wider vectors. The AVX2 target leaves FMA out, and the build turns off
// contraction of multiply-adds (AVX-512 has FMA): a fused multiply-add rounds differently from
// the portable build.
[[gnu::target("avx2")]] void framesAvx2(const double* x, std::ptrdiff_t firstCentre, std::ptrdiff_t hop,
                                        std::ptrdiff_t window, std::size_t frames, std::size_t lags, double* d,
                                        double* stretches)
{
    framesBody<4>(x, firstCentre, hop, window, frames, lags, d, stretches);
}

[[gnu::target("avx512f")]] void framesAvx512(const double* x, std::ptrdiff_t firstCentre, std::ptrdiff_t hop,
                                             std::ptrdiff_t window, std::size_t frames, std::size_t lags, double* d,
                                             double* stretches)
{
    framesBody<8>(x, firstCentre, hop, window, frames, lags, d, stretches);
}

} // namespace
#endif

bool yinIsaSupported(YinIsa isa)
{
    switch (isa) {
    case YinIsa::Portable:
        return true;
#if LV_YIN_X86
    case YinIsa::Avx2:
        return __builtin_cpu_supports("avx2");
    case YinIsa::Avx512:
        return __builtin_cpu_supports("avx512f");
#endif
    default:
        return false;
    }
}

YinIsa yinFastestIsa()
{
    if (yinIsaSupported(YinIsa::Avx512)) {
        return YinIsa::Avx512;
    }
    if (yinIsaSupported(YinIsa::Avx2)) {
        return YinIsa::Avx2;
    }
    return YinIsa::Portable;
}

std::ptrdiff_t yinReachBefore(int windowLength, std::size_t lags)
{
    const std::ptrdiff_t largest = lags == 0 ? 0 : std::ptrdiff_t(lags) - 1;
    return windowLength / 2 + largest / 2;
}

std::ptrdiff_t yinReachAfter(int windowLength, std::size_t lags)
{
    const std::ptrdiff_t largest = lags == 0 ? 0 : std::ptrdiff_t(lags) - 1;
    // The last vector step of a stretch reads up to kLanes − 1 samples past it.
    return windowLength - 1 - windowLength / 2 + largest - largest / 2 + std::ptrdiff_t(kLanes) - 1;
}

void yinDifferenceFrames(YinIsa isa, std::span<const double> x, std::ptrdiff_t firstCentre, int hop,
                         int windowLength, std::size_t frames, std::size_t lags, std::span<double> d,
                         std::vector<double>& scratch)
{
    if (!yinIsaSupported(isa)) {
        throw std::invalid_argument("yinDifferenceFrames: instruction set not available");
    }
    if (hop <= 0 || windowLength < 0 || d.size() < frames * lags) {
        throw std::invalid_argument("yinDifferenceFrames: bad hop, window or output size");
    }
    if (frames == 0 || lags == 0) {
        return;
    }
    const std::ptrdiff_t lastCentre = firstCentre + std::ptrdiff_t(frames - 1) * hop;
    if (firstCentre - yinReachBefore(windowLength, lags) < 0 ||
        lastCentre + yinReachAfter(windowLength, lags) >= std::ptrdiff_t(x.size())) {
        throw std::invalid_argument("yinDifferenceFrames: the frames reach outside x");
    }
    const std::size_t stretchValues = 2 * (frames + std::size_t(windowLength / hop)) * kLanes;
    if (scratch.size() < stretchValues) {
        scratch.resize(stretchValues);
    }
    switch (isa) {
#if LV_YIN_X86
    case YinIsa::Avx2:
        framesAvx2(x.data(), firstCentre, hop, windowLength, frames, lags, d.data(), scratch.data());
        return;
    case YinIsa::Avx512:
        framesAvx512(x.data(), firstCentre, hop, windowLength, frames, lags, d.data(), scratch.data());
        return;
#endif
    default:
        framesBody<2>(x.data(), firstCentre, hop, windowLength, frames, lags, d.data(), scratch.data());
        return;
    }
}

void yinDifferenceFrames(std::span<const double> x, std::ptrdiff_t firstCentre, int hop, int windowLength,
                         std::size_t frames, std::size_t lags, std::span<double> d, std::vector<double>& scratch)
{
    yinDifferenceFrames(yinFastestIsa(), x, firstCentre, hop, windowLength, frames, lags, d, scratch);
}

void yinDifference(YinIsa isa, std::span<const double> x, std::ptrdiff_t centre, int windowLength,
                   std::span<double> d)
{
    // The samples the frame reaches, zeros outside the source.
    const std::ptrdiff_t before = yinReachBefore(windowLength, d.size());
    const std::ptrdiff_t after = yinReachAfter(windowLength, d.size());
    std::vector<double> padded(std::size_t(before + after + 1), 0.0);
    const auto n = std::ptrdiff_t(x.size());
    for (std::ptrdiff_t i = std::max(centre - before, std::ptrdiff_t(0)); i < std::min(centre + after + 1, n); ++i) {
        padded[std::size_t(i - (centre - before))] = x[std::size_t(i)];
    }
    std::vector<double> scratch;
    yinDifferenceFrames(isa, padded, before, kHop, windowLength, 1, d.size(), d, scratch);
}

void yinDifference(std::span<const double> x, std::ptrdiff_t centre, int windowLength, std::span<double> d)
{
    yinDifference(yinFastestIsa(), x, centre, windowLength, d);
}

void yinNormalise(std::span<const double> d, std::span<double> dn)
{
    if (d.empty()) {
        return;
    }
    // Silence gives a zero running sum; the floor turns 0 / 0 into 0.
    constexpr double kSumFloor = 1e-10;
    dn[0] = 1.0;
    double running = 0.0;
    for (std::size_t tau = 1; tau < d.size(); ++tau) {
        running += d[tau];
        dn[tau] = double(tau) * d[tau] / std::max(running, kSumFloor);
    }
}

int yinCandidates(std::span<const double> d, std::span<const double> dn, float sampleRateHz,
                  std::vector<YinCandidate>& candidates)
{
    candidates.clear();
    double best = 10.0;
    int global = -1;
    for (std::size_t tau = 1; tau + 1 < dn.size(); ++tau) {
        if (!(dn[tau] < 1.0 && dn[tau - 1] > dn[tau] && dn[tau + 1] > dn[tau])) {
            continue;
        }
        const double refined =
            double(tau) + 0.5 * (d[tau - 1] - d[tau + 1]) / (d[tau + 1] + d[tau - 1] - 2.0 * d[tau]);
        candidates.push_back({float(dn[tau]), float(double(sampleRateHz) / refined)});
        if (dn[tau] < best) {
            best = dn[tau];
            global = int(candidates.size()) - 1;
        }
    }
    return global;
}

float yinPlainEstimate(std::span<const YinCandidate> candidates, int globalIndex, float threshold)
{
    if (candidates.empty() || globalIndex < 0 || std::size_t(globalIndex) >= candidates.size()) {
        return 0.0f;
    }
    for (std::size_t i = 0; i <= std::size_t(globalIndex); ++i) {
        if (candidates[i].dip < threshold) {
            if (candidates[i].frequency != 0.0f) {
                return candidates[i].frequency;
            }
            break;
        }
    }
    return candidates[std::size_t(globalIndex)].frequency;
}

} // namespace Tessarin
