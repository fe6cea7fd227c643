#include "dsp/Yin.h"

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

// The sums below keep sixteen interleaved partial sums in double: the compiler maps the lanes onto
// vector registers without reordering any addition, so the result does not depend on the
// instruction set.
constexpr std::size_t kLanes = 16;

// Pairwise, in a fixed order.
LV_INLINE double addLanes(const double (&acc)[kLanes])
{
    double level[kLanes];
    for (std::size_t l = 0; l < kLanes; ++l) {
        level[l] = acc[l];
    }
    for (std::size_t width = kLanes / 2; width > 0; width /= 2) {
        for (std::size_t l = 0; l < width; ++l) {
            level[l] = level[2 * l] + level[2 * l + 1];
        }
    }
    return level[0];
}

// Σ (a[i] − b[i])², i = 0 … count − 1.
LV_INLINE double sumSquaredDifferences(const double* a, const double* b, std::size_t count)
{
    double acc[kLanes] = {};
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (std::size_t l = 0; l < kLanes; ++l) {
            const double diff = a[i + l] - b[i + l];
            acc[l] += diff * diff;
        }
    }
    // The last few terms go to the first lanes: independent additions, not one long chain.
    for (std::size_t l = 0; i + l < count; ++l) {
        const double diff = a[i + l] - b[i + l];
        acc[l] += diff * diff;
    }
    return addLanes(acc);
}

// Lags 2k and 2k + 1 start at the same sample: both sums against the one first stretch a, with
// the second stretches b and b + 1, reading a once. Written with the compiler's generic vectors
// (lowered to whatever the target has): as a plain loop the two overlapping second stretches
// lead the vectoriser into shuffles. Lane kWidth · v + k holds the same terms as that lane of
// sumSquaredDifferences, whatever kWidth, so each lag's sum is the same in every version.
// The compiler's generic vector types (a size that depends on a template parameter is not
// accepted there).
template <std::size_t kWidth>
struct DoubleVector;
template <>
struct DoubleVector<4> {
    typedef double Type __attribute__((vector_size(4 * sizeof(double))));
};
template <>
struct DoubleVector<8> {
    typedef double Type __attribute__((vector_size(8 * sizeof(double))));
};

// kWidth doubles per vector: 4 where vectors are 256 bits wide (or narrower: the compiler splits
// them), 8 with 512-bit vectors; a 512-bit generic vector is split badly on narrower targets.
template <std::size_t kWidth>
LV_INLINE void sumSquaredDifferencesPair(const double* a, const double* b, std::size_t count, double& even,
                                         double& odd)
{
    using Vec = typename DoubleVector<kWidth>::Type;
    constexpr std::size_t kVectors = kLanes / kWidth;
    static_assert(kVectors * kWidth == kLanes);
    Vec accEven[kVectors] = {};
    Vec accOdd[kVectors] = {};
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (std::size_t v = 0; v < kVectors; ++v) {
            Vec x;
            Vec y0;
            Vec y1;
            std::memcpy(&x, a + i + kWidth * v, sizeof x);
            std::memcpy(&y0, b + i + kWidth * v, sizeof y0);
            std::memcpy(&y1, b + i + kWidth * v + 1, sizeof y1);
            const Vec d0 = x - y0;
            const Vec d1 = x - y1;
            accEven[v] += d0 * d0;
            accOdd[v] += d1 * d1;
        }
    }
    double laneEven[kLanes];
    double laneOdd[kLanes];
    static_assert(sizeof accEven == sizeof laneEven && sizeof accOdd == sizeof laneOdd);
    std::memcpy(laneEven, accEven, sizeof laneEven);
    std::memcpy(laneOdd, accOdd, sizeof laneOdd);
    for (std::size_t l = 0; i + l < count; ++l) {
        const double d0 = a[i + l] - b[i + l];
        const double d1 = a[i + l] - b[i + l + 1];
        laneEven[l] += d0 * d0;
        laneOdd[l] += d1 * d1;
    }
    even = addLanes(laneEven);
    odd = addLanes(laneOdd);
}

// Σ a[i]², i = 0 … count − 1.
LV_INLINE double sumSquares(const double* a, std::size_t count)
{
    double acc[kLanes] = {};
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (std::size_t l = 0; l < kLanes; ++l) {
            const double v = a[i + l];
            acc[l] += v * v;
        }
    }
    for (std::size_t l = 0; i + l < count; ++l) {
        const double v = a[i + l];
        acc[l] += v * v;
    }
    return addLanes(acc);
}

// One lag where the compared stretches may reach outside the source. The window's indices
// i = start … start + window − 1 (first stretch) and i + lag (second) split into runs where both,
// only the first or only the second are inside; outside samples are 0, so the runs give
// (a − b)², a² and b², and the rest nothing.
LV_INLINE double differenceAtEdge(const double* x, std::ptrdiff_t n, std::ptrdiff_t start, std::ptrdiff_t window,
                                  std::ptrdiff_t lag)
{
    const std::ptrdiff_t end = start + window;
    double sum = 0.0;
    // Only the second inside: the first before the source.
    const std::ptrdiff_t secondFrom = std::max(start, -lag);
    const std::ptrdiff_t secondTo = std::min({end, std::ptrdiff_t(0), n - lag});
    if (secondFrom < secondTo) {
        sum += sumSquares(x + secondFrom + lag, std::size_t(secondTo - secondFrom));
    }
    const std::ptrdiff_t bothFrom = std::max(start, std::ptrdiff_t(0));
    const std::ptrdiff_t bothTo = std::min(end, n - lag);
    if (bothFrom < bothTo) {
        sum += sumSquaredDifferences(x + bothFrom, x + bothFrom + lag, std::size_t(bothTo - bothFrom));
    }
    // Only the first inside: the second past the end.
    const std::ptrdiff_t firstFrom = std::max({start, std::ptrdiff_t(0), n - lag});
    const std::ptrdiff_t firstTo = std::min(end, n);
    if (firstFrom < firstTo) {
        sum += sumSquares(x + firstFrom, std::size_t(firstTo - firstFrom));
    }
    return sum;
}

template <std::size_t kWidth>
LV_INLINE void differenceBody(std::span<const double> x, std::ptrdiff_t centre, int windowLength, std::span<double> d)
{
    const auto n = std::ptrdiff_t(x.size());
    const std::ptrdiff_t window = windowLength;
    const double* data = x.data();
    const auto lags = std::ptrdiff_t(d.size());
    for (std::ptrdiff_t tau = 0; tau < lags; tau += 2) {
        const std::ptrdiff_t start = centre - window / 2 - tau / 2;
        if (tau + 1 < lags && start >= 0 && start + window + tau + 1 <= n) {
            sumSquaredDifferencesPair<kWidth>(data + start, data + start + tau, std::size_t(window), d[std::size_t(tau)],
                                              d[std::size_t(tau + 1)]);
            continue;
        }
        for (std::ptrdiff_t lag = tau; lag < std::min(tau + 2, lags); ++lag) {
            d[std::size_t(lag)] = start >= 0 && start + window + lag <= n
                                      ? sumSquaredDifferences(data + start, data + start + lag, std::size_t(window))
                                      : differenceAtEdge(data, n, start, window, lag);
        }
    }
}

} // namespace

#if LV_YIN_X86
namespace {

// The same code for wider vectors. The AVX2 target leaves FMA out, and the build turns off
// contraction of multiply-adds (AVX-512 has FMA): a fused multiply-add rounds differently from
// the portable build.
[[gnu::target("avx2")]] void differenceAvx2(std::span<const double> x, std::ptrdiff_t centre, int windowLength,
                                            std::span<double> d)
{
    differenceBody<4>(x, centre, windowLength, d);
}

[[gnu::target("avx512f")]] void differenceAvx512(std::span<const double> x, std::ptrdiff_t centre, int windowLength,
                                                 std::span<double> d)
{
    differenceBody<8>(x, centre, windowLength, d);
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

void yinDifference(YinIsa isa, std::span<const double> x, std::ptrdiff_t centre, int windowLength,
                   std::span<double> d)
{
    if (!yinIsaSupported(isa)) {
        throw std::invalid_argument("yinDifference: instruction set not available");
    }
    switch (isa) {
#if LV_YIN_X86
    case YinIsa::Avx2:
        differenceAvx2(x, centre, windowLength, d);
        return;
    case YinIsa::Avx512:
        differenceAvx512(x, centre, windowLength, d);
        return;
#endif
    default:
        differenceBody<4>(x, centre, windowLength, d);
        return;
    }
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
