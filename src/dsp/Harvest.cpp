#include "dsp/Harvest.h"

#include "core/AnalysisConstants.h"
#include "core/CpuClones.h"
#include "dsp/FilterBankConvolver.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <utility>

#if defined(__x86_64__) && defined(__GNUC__)
#define LV_HARVEST_X86 1
#else
#define LV_HARVEST_X86 0
#endif

#if defined(__GNUC__)
#define LV_HARVEST_INLINE [[gnu::always_inline]] inline
#else
#define LV_HARVEST_INLINE inline
#endif

namespace Tessarin {

namespace {

// π and ln 2 to the digits the published implementation uses, so that band frequencies, filter taps
// and window phases come out as there.
constexpr double kLog2 = 0.69314718055994529;
constexpr double kSafeGuardMinimum = 1e-12; // keeps the refinement's divisions finite on silence

constexpr double kTargetRate = 8000.0; // [Hz] the analysis rate aimed at by the decimation
constexpr int kMaximumDecimation = 12;
constexpr double kDecimationMargin = 140.0; // [input samples] end copies added on each side, rounded up to whole output samples
constexpr double kChannelsInOctave = 40.0;
constexpr double kBasicFramePeriod = 1.0; // [ms] the grid of the estimate before resampling

// A channel's estimate must lie within 0.9 … 1.1 of its boundary frequency; the search range is widened
// by the same factors so that the outermost channels can still report f0Floor and f0Ceil.
constexpr double kRangeLow = 0.9;
constexpr double kRangeHigh = 1.1;
constexpr int kMinimumRunOfChannels = 10; // consecutive voiced channels that make one candidate
constexpr int kOverlapReach = 3;          // candidates are lent to 3 frames either side: overlap factor 7
constexpr int kOverlapFactor = 2 * kOverlapReach + 1;

constexpr double kWindowPeriods = 1.5; // half the refinement window, in periods of the candidate
constexpr int kMaximumHarmonics = 6;   // harmonics whose instantaneous frequencies refine a candidate
constexpr double kMinimumScore = 2.5;  // a refined candidate scoring less is dropped

constexpr double kNeighbourTolerance = 0.05; // relative distance to some candidate of a neighbour frame
constexpr double kStep1Tolerance = 0.008;    // largest relative jump the contour may make
constexpr int kStep2MinimumFrames = 6;       // shorter voiced sections are dropped
constexpr double kStep3Tolerance = 0.18;     // relative distance for extending a section
constexpr int kExtensionReach = 100;         // [frames] how far a section may be extended
constexpr int kExtensionMisses = 4;          // consecutive frames without a fit that end an extension
constexpr double kSectionWeight = 2200.0;    // a section is kept when longer than this / its mean f0
constexpr int kStep4MaximumGap = 9;          // [frames] shorter unvoiced gaps are bridged

constexpr int kSmoothingLag = 300; // [frames] zero padding around the contour before smoothing
// Second-order Butterworth low-pass run forward and backward over each voiced section.
constexpr std::array<double, 2> kSmoothingB = {0.0078202080334971724, 0.015640416066994345};
constexpr std::array<double, 2> kSmoothingA = {1.7347257688092754, -0.76600660094326412};

// MATLAB's round as the published implementation writes it: add or subtract one half, then truncate.
int roundHalfAway(double x)
{
    // NOLINTNEXTLINE(bugprone-incorrect-roundings): the reference's own rounding, kept for identical tracks
    return x > 0 ? int(x + 0.5) : int(x - 0.5);
}

// ---------------------------------------------------------------------------------------------------
// Decimation

struct DecimationFilter {
    std::array<double, 3> a; // feedback
    std::array<double, 2> b; // feed-forward, used symmetrically: b0 b1 b1 b0
};

// Third-order IIR low-pass filters of the published implementation for the ratios 2 … 12 (index
// ratio − 2), applied forward and backward.
constexpr std::array<DecimationFilter, 11> kDecimationFilters = {{
    {{0.041156734567757189, -0.42599112459189636, 0.041037215479961225}, {0.16797464681802227, 0.50392394045406674}},
    {{0.95039378983237421, -0.67429146741526791, 0.15412211621346475}, {0.071221945171178636, 0.21366583551353591}},
    {{1.4499664446880227, -0.98943497080950582, 0.24578252340690215}, {0.036710750339322612, 0.11013225101796784}},
    {{1.7610939654280557, -1.2554914843859768, 0.3237186507788215}, {0.021334858522387423, 0.06400457556716227}},
    {{1.9715352749512141, -1.4686795689225347, 0.3893908434965701}, {0.013469181309343825, 0.040407543928031475}},
    {{2.1225239019534703, -1.6395144861046302, 0.44469707800587366}, {0.0090366882681608418, 0.027110064804482525}},
    {{2.2357462340187593, -1.7780899984041358, 0.49152555365968692}, {0.0063522763407111993, 0.019056829022133598}},
    {{2.3236003491759578, -1.8921545617463598, 0.53148928133729068}, {0.0046331164041389372, 0.013899349212416812}},
    {{2.3936475118069387, -1.9873904075111861, 0.5658879979027055}, {0.0034818622251927556, 0.010445586675578267}},
    {{2.450743295230728, -2.06794904601978, 0.59574774438332101}, {0.0026822508007163792, 0.0080467524021491377}},
    {{2.4981398605924205, -2.1368928194784025, 0.62187513816221485}, {0.0021097275904709001, 0.0063291827714127002}},
}};

// One pass of the decimation filter over v, forwards or backwards, in place (direct form II).
void decimationPass(std::span<double> v, const DecimationFilter& f, bool backwards)
{
    double w0 = 0.0, w1 = 0.0, w2 = 0.0;
    const std::size_t n = v.size();
    for (std::size_t k = 0; k < n; ++k) {
        double& x = v[backwards ? n - 1 - k : k];
        const double wt = x + f.a[0] * w0 + f.a[1] * w1 + f.a[2] * w2;
        x = f.b[0] * wt + f.b[1] * w0 + f.b[1] * w1 + f.b[0] * w2;
        w2 = w1;
        w1 = w0;
        w0 = wt;
    }
}

// The signal at sampleRate / ratio, yLength samples: the input is extended on both sides by copies of its
// end samples (so the filter's start-up transient stays outside), padded by nine reflected samples,
// low-pass filtered forward and backward, and every ratio-th sample is taken in the phase the published
// implementation takes.
// Single-precision samples are widened here, sample by sample, so that a caller holding floats needs no
// double copy of the whole clip.
template <class Sample>
std::vector<double> decimate(std::span<const Sample> x, int ratio, std::size_t yLength)
{
    std::vector<double> y(yLength);
    if (ratio == 1) {
        std::copy_n(x.begin(), yLength, y.begin());
        return y;
    }
    const std::size_t lag = std::size_t(std::ceil(kDecimationMargin / ratio) * ratio);
    const std::size_t n = x.size() + 2 * lag;
    constexpr std::size_t kReflected = 9;
    const auto extended = [&](std::size_t i) -> double {
        return i < lag ? x.front() : i < lag + x.size() ? x[i - lag] : x.back();
    };
    std::vector<double> w(n + 2 * kReflected);
    for (std::size_t i = 0; i < kReflected; ++i) {
        w[i] = 2 * extended(0) - extended(kReflected - i);
        w[kReflected + n + i] = 2 * extended(n - 1) - extended(n - 2 - i);
    }
    for (std::size_t i = 0; i < n; ++i) {
        w[kReflected + i] = extended(i);
    }
    const DecimationFilter& filter = kDecimationFilters[std::size_t(ratio - 2)];
    decimationPass(w, filter, false);
    decimationPass(w, filter, true);

    const std::size_t r = std::size_t(ratio);
    const std::size_t first = n - r * ((n - 1) / r); // the phase that puts the last pick near the end
    const std::size_t skip = lag / r;
    for (std::size_t i = 0; i < yLength; ++i) {
        y[i] = w[first + (skip + i) * r + kReflected - 1];
    }
    return y;
}

// ---------------------------------------------------------------------------------------------------
// Band-pass filter bank

// Nuttall-windowed cosine at the channel's boundary frequency, 2h + 1 taps with h = round(2 · fs / f).
void bandPassKernel(double boundaryF0, double fs, std::vector<double>& kernel)
{
    const int h = roundHalfAway(fs / boundaryF0 * 2.0);
    const int length = 2 * h + 1;
    kernel.resize(std::size_t(length));
    for (int i = 0; i < length; ++i) {
        const double x = i / (length - 1.0);
        const double nuttall = 0.355768 - 0.487396 * std::cos(2.0 * kPi * x) + 0.144232 * std::cos(4.0 * kPi * x) -
                               0.012604 * std::cos(6.0 * kPi * x);
        kernel[std::size_t(i)] = nuttall * std::cos(2 * kPi * boundaryF0 * (i - h) / fs);
    }
}

// ---------------------------------------------------------------------------------------------------
// Tables that depend only on the analysis rate and the search range: the channels' band-pass kernels and
// the refiner's sine table and window bases. Making them took about a tenth of a unit's f0 estimate, so
// each thread keeps the last set from call to call; a set is always the same values for its key, so
// results do not depend on which units a thread analysed before. Bounded: about 2.3 MB at 8820 Hz and
// 55 … 1000 Hz (window bases exist only for half lengths of candidates within the search range).
struct HarvestTables {
    double fs = 0.0;
    double f0Floor = 0.0;
    double f0Ceil = 0.0;
    std::vector<double> boundaries;           // per channel [Hz]
    std::vector<std::vector<double>> kernels; // per channel, made on first use
    std::size_t sineTableSize = 0;
    std::vector<double> cosines; // cos and sin of 2πm / sineTableSize
    std::vector<double> sines;
    std::vector<std::size_t> basisOffset; // per window half length, into bases
    std::vector<double> bases;

    bool matches(double rate, double floor, double ceil) const
    {
        return fs == rate && f0Floor == floor && f0Ceil == ceil;
    }

    const std::vector<double>& kernel(std::size_t channel)
    {
        std::vector<double>& k = kernels[channel];
        if (k.empty()) {
            bandPassKernel(boundaries[channel], fs, k);
        }
        return k;
    }
};

HarvestTables& threadTables()
{
    thread_local HarvestTables tables;
    return tables;
}

// ---------------------------------------------------------------------------------------------------
// Raw candidates of one channel

// The rates between successive events of one kind (downward or upward zero crossings, peaks or dips):
// fs / distance, located midway between the two events.
struct EventRates {
    std::vector<double> locations; // [s]
    std::vector<double> rates;     // [Hz]
    std::size_t count = 0;
    double lastEvent = 0.0; // [samples]
    bool hasEvent = false;

    void reset(std::size_t capacity)
    {
        locations.resize(capacity);
        rates.resize(capacity);
        count = 0;
        hasEvent = false;
    }
    void add(double event, double fs)
    {
        if (hasEvent) {
            rates[count] = fs / (event - lastEvent);
            locations[count] = (lastEvent + event) / 2.0 / fs;
            ++count;
        }
        lastEvent = event;
        hasEvent = true;
    }
};

// The four event kinds of a filtered signal, found in one pass. Each event is placed by linear
// interpolation between the two samples that bracket it.
void findEvents(std::span<const double> f, double fs, std::array<EventRates, 4>& events)
{
    for (EventRates& e : events) {
        e.reset(f.size());
    }
    EventRates& downward = events[0];
    EventRates& upward = events[1];
    EventRates& peaks = events[2];
    EventRates& dips = events[3];
    double previousSlope = 0.0;
    for (std::size_t i = 0; i + 1 < f.size(); ++i) {
        const double a = f[i];
        const double b = f[i + 1];
        if (0.0 < a && b <= 0.0) {
            downward.add(double(i + 1) - a / (b - a), fs);
        }
        if (a < 0.0 && b >= 0.0) {
            upward.add(double(i + 1) - a / (b - a), fs);
        }
        const double slope = b - a;
        if (i > 0) {
            const double p = previousSlope;
            if (0.0 < p && slope <= 0.0) {
                peaks.add(double(i) - p / (slope - p), fs);
            }
            if (p < 0.0 && slope >= 0.0) {
                dips.add(double(i) - p / (slope - p), fs);
            }
        }
        previousSlope = slope;
    }
}

// The frame times k · 1 ms [s], k < frames, as interpolateRates reads them.
void basicFrameTimes(std::size_t frames, std::vector<double>& times)
{
    times.resize(frames);
    for (std::size_t k = 0; k < frames; ++k) {
        times[k] = double(k) * kBasicFramePeriod / 1000.0;
    }
}

// out[k]: the rates linearly interpolated at the frame times[k], and extrapolated from the first or last
// two rates beyond the ends. Needs at least two rates.
void interpolateRates(const EventRates& e, std::span<const double> times, std::span<double> out)
{
    const std::size_t last = e.count - 1;
    std::size_t seg = 1; // interpolates between rates seg − 1 and seg
    for (std::size_t k = 0; k < out.size(); ++k) {
        const double t = times[k];
        while (seg < last && e.locations[seg] <= t) {
            ++seg;
        }
        const double x0 = e.locations[seg - 1];
        const double s = (t - x0) / (e.locations[seg] - x0);
        out[k] = e.rates[seg - 1] + s * (e.rates[seg] - e.rates[seg - 1]);
    }
}

// A channel's f0 per frame: the mean of the four interpolated event rates where it lies within
// 0.9 … 1.1 of the channel's boundary frequency and within f0Floor … f0Ceil, else 0. A channel with fewer
// than three rates of some kind reports nothing.
void channelReports(const std::array<EventRates, 4>& events, double boundary, double f0Floor, double f0Ceil,
                    std::span<const double> times, std::array<std::vector<double>, 4>& interpolated,
                    std::span<double> reports)
{
    const bool enough = std::all_of(events.begin(), events.end(), [](const EventRates& e) { return e.count >= 3; });
    if (!enough) {
        std::fill(reports.begin(), reports.end(), 0.0);
        return;
    }
    for (std::size_t e = 0; e < 4; ++e) {
        interpolateRates(events[e], times, interpolated[e]);
    }
    const double upper = boundary * kRangeHigh;
    const double lower = boundary * kRangeLow;
    for (std::size_t k = 0; k < reports.size(); ++k) {
        double r = (interpolated[0][k] + interpolated[1][k] + interpolated[2][k] + interpolated[3][k]) / 4.0;
        if (r > upper || r < lower || r > f0Ceil || r < f0Floor) {
            r = 0.0;
        }
        reports[k] = r;
    }
}

// ---------------------------------------------------------------------------------------------------
// Candidates from runs of channels

// Collects, per frame, one candidate for every run of at least ten consecutive channels that report an
// f0: the mean of their reports. Channels arrive in ascending order; the first and the last channel
// never count as voiced, so every run ends inside the bank.
class RunCollector {
public:
    RunCollector(std::size_t frames, std::size_t capacity)
        : m_capacity(capacity), m_runStart(frames, -1), m_runSum(frames, 0.0), m_counts(frames, 0),
          m_candidates(frames * capacity, 0.0)
    {
    }

    // reports[k]: the channel's f0 at frame k, 0 when it has none.
    void addChannel(int channel, std::span<const double> reports)
    {
        for (std::size_t k = 0; k < reports.size(); ++k) {
            const bool voiced = reports[k] > 0;
            if (voiced) {
                if (m_runStart[k] < 0) {
                    m_runStart[k] = channel;
                    m_runSum[k] = 0.0;
                }
                m_runSum[k] += reports[k];
            } else if (m_runStart[k] >= 0) {
                close(k, channel);
            }
        }
    }

    // The last channel: every open run ends there.
    void finish(int lastChannel)
    {
        for (std::size_t k = 0; k < m_runStart.size(); ++k) {
            if (m_runStart[k] >= 0) {
                close(k, lastChannel);
            }
        }
    }

    std::size_t mostCandidates() const
    {
        std::size_t most = 0;
        for (const std::size_t c : m_counts) {
            most = std::max(most, c);
        }
        return most;
    }
    // Candidate j of frame k, 0 when the frame has fewer.
    double candidate(std::size_t k, std::size_t j) const { return j < m_counts[k] ? m_candidates[k * m_capacity + j] : 0.0; }

private:
    void close(std::size_t k, int endChannel)
    {
        const int length = endChannel - m_runStart[k];
        if (length >= kMinimumRunOfChannels && m_counts[k] < m_capacity) {
            m_candidates[k * m_capacity + m_counts[k]++] = m_runSum[k] / length;
        }
        m_runStart[k] = -1;
    }

    std::size_t m_capacity;
    std::vector<int> m_runStart;
    std::vector<double> m_runSum;
    std::vector<std::size_t> m_counts;
    std::vector<double> m_candidates;
};

// ---------------------------------------------------------------------------------------------------
// The Goertzel recurrences of W bins over both windowed segments, side by side:
// s[n] = x[n] − s[n − 2] + c · s[n − 1]. Eight bins of two segments need more registers than the
// baseline instruction set has; the AVX2 version holds them all (it has no fused multiply-add, so
// every operation rounds as in the baseline and the bits are the same).
typedef double GoertzelVector __attribute__((vector_size(4 * sizeof(double))));

template <std::size_t W>
LV_HARVEST_INLINE void goertzelLoop(const double* main, const double* diff, std::size_t length,
                                    const std::array<double, W>& coefficient, std::array<double, W>& main1,
                                    std::array<double, W>& main2, std::array<double, W>& diff1,
                                    std::array<double, W>& diff2)
{
    // Held in locals of the compiler's generic vectors, so that the state stays in registers.
    constexpr std::size_t kVectors = W / 4;
    static_assert(kVectors * 4 == W);
    GoertzelVector c[kVectors];
    GoertzelVector m1[kVectors];
    GoertzelVector m2[kVectors];
    GoertzelVector d1[kVectors];
    GoertzelVector d2[kVectors];
    std::memcpy(c, coefficient.data(), sizeof c);
    std::memcpy(m1, main1.data(), sizeof m1);
    std::memcpy(m2, main2.data(), sizeof m2);
    std::memcpy(d1, diff1.data(), sizeof d1);
    std::memcpy(d2, diff2.data(), sizeof d2);
    for (std::size_t n = 0; n < length; ++n) {
        const double xm = main[n];
        const double xd = diff[n];
        for (std::size_t v = 0; v < kVectors; ++v) {
            const GoertzelVector m = (xm - m2[v]) + c[v] * m1[v];
            m2[v] = m1[v];
            m1[v] = m;
            const GoertzelVector d = (xd - d2[v]) + c[v] * d1[v];
            d2[v] = d1[v];
            d1[v] = d;
        }
    }
    std::memcpy(main1.data(), m1, sizeof m1);
    std::memcpy(main2.data(), m2, sizeof m2);
    std::memcpy(diff1.data(), d1, sizeof d1);
    std::memcpy(diff2.data(), d2, sizeof d2);
}

#if LV_HARVEST_X86
template <std::size_t W>
[[gnu::target("avx2")]] void goertzelLoopAvx2(const double* main, const double* diff, std::size_t length,
                                              const std::array<double, W>& coefficient, std::array<double, W>& main1,
                                              std::array<double, W>& main2, std::array<double, W>& diff1,
                                              std::array<double, W>& diff2)
{
    goertzelLoop<W>(main, diff, length, coefficient, main1, main2, diff1, diff2);
}

bool hasAvx2()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2;
}
#endif

template <std::size_t W>
void goertzelRun(const double* main, const double* diff, std::size_t length, const std::array<double, W>& coefficient,
                 std::array<double, W>& main1, std::array<double, W>& main2, std::array<double, W>& diff1,
                 std::array<double, W>& diff2)
{
#if LV_HARVEST_X86
    if (hasAvx2()) {
        goertzelLoopAvx2<W>(main, diff, length, coefficient, main1, main2, diff1, diff2);
        return;
    }
#endif
    goertzelLoop<W>(main, diff, length, coefficient, main1, main2, diff1, diff2);
}

// Refinement by instantaneous frequency

// Refines candidates from the instantaneous frequencies of their first harmonics, measured on the
// decimated signal through a Blackman window of three periods and through its derivative. The window
// depends on a candidate only through its integer half length, so the candidates of one frame that
// share it share the windowed samples, and each DFT bin they ask for is computed once.
class CandidateRefiner {
public:
    // tables: those of fs, f0Floor and f0Ceil; the sine table and the window bases are made there
    // on first use.
    CandidateRefiner(std::span<const double> y, double fs, double f0Floor, double f0Ceil, std::size_t slots,
                     HarvestTables& tables)
        : m_y(y), m_fs(fs), m_f0Floor(f0Floor), m_f0Ceil(f0Ceil), m_tables(tables)
    {
        // Candidates lie at or above f0Floor; the factor 0.9 leaves room for rounding.
        m_longest = halfLength(kRangeLow * f0Floor);
        if (m_tables.cosines.empty()) {
            // Made aside and moved in only when every allocation succeeded (see basicEstimate).
            const std::size_t size = std::size_t(fftSize(m_longest));
            std::vector<double> cosines(size);
            std::vector<double> sines(size);
            for (std::size_t m = 0; m < size; ++m) {
                const double angle = 2.0 * kPi * double(m) / double(size);
                cosines[m] = std::cos(angle);
                sines[m] = std::sin(angle);
            }
            // Window bases are made for the half lengths that occur, on first use.
            std::vector<std::size_t> offsets(std::size_t(m_longest + 1), kNoBasis);
            m_tables.sineTableSize = size;
            m_tables.sines = std::move(sines);
            m_tables.basisOffset = std::move(offsets);
            m_tables.cosines = std::move(cosines); // last: a non-empty table means the set is whole
        }
        m_tableSize = m_tables.sineTableSize;
        m_cos = m_tables.cosines.data();
        m_sin = m_tables.sines.data();
        const std::size_t longestLength = std::size_t(2 * m_longest + 1);
        m_window.resize(longestLength);
        m_main.resize(longestLength);
        m_diff.resize(longestLength);
        m_order.reserve(slots);
        m_bins.reserve(std::size_t(kMaximumHarmonics) * slots);
        m_candidateBins.reserve(std::size_t(kMaximumHarmonics) * slots);
    }

    // Replaces every non-zero f0[j] by its refined value and sets score[j]; a candidate that refines out
    // of f0Floor … f0Ceil or scores below 2.5 becomes 0 with score 0. position [s].
    void refineFrame(double position, std::span<double> f0, std::span<double> score)
    {
        m_order.clear();
        for (std::size_t j = 0; j < f0.size(); ++j) {
            score[j] = 0.0;
            if (f0[j] > 0.0) {
                m_order.emplace_back(halfLength(f0[j]), j);
            } else {
                f0[j] = 0.0;
            }
        }
        std::sort(m_order.begin(), m_order.end());
        for (std::size_t first = 0; first < m_order.size();) {
            const int half = m_order[first].first;
            std::size_t end = first;
            while (end < m_order.size() && m_order[end].first == half) {
                ++end;
            }
            loadSegment(position, half);
            // The bins every candidate of the group needs, each listed once.
            m_bins.clear();
            m_candidateBins.clear();
            for (std::size_t g = first; g < end; ++g) {
                const double candidate = f0[m_order[g].second];
                const int harmonics = harmonicCount(candidate);
                for (int h = 0; h < harmonics; ++h) {
                    const int index = roundHalfAway(candidate * m_fftSize / m_fs * (h + 1));
                    std::size_t b = 0;
                    while (b < m_bins.size() && m_bins[b].index != index) {
                        ++b;
                    }
                    if (b == m_bins.size()) {
                        m_bins.push_back(Bin{index, 0.0, 0.0, 0.0, 0.0});
                    }
                    m_candidateBins.push_back(b);
                }
            }
            computeBins();
            std::size_t next = 0;
            for (std::size_t g = first; g < end; ++g) {
                const std::size_t j = m_order[g].second;
                double refined = 0.0;
                double s = 0.0;
                refine(f0[j], &m_candidateBins[next], refined, s);
                next += std::size_t(harmonicCount(f0[j]));
                if (refined < m_f0Floor || refined > m_f0Ceil || s < kMinimumScore) {
                    refined = 0.0;
                    s = 0.0;
                }
                f0[j] = refined;
                score[j] = s;
            }
            first = end;
        }
    }

private:
    struct Bin {
        int index;
        double mainRe, mainIm, diffRe, diffIm;
    };

    static constexpr std::size_t kNoBasis = std::size_t(-1);

    int halfLength(double f0) const { return int(kWindowPeriods * m_fs / f0 + 1.0); }
    int harmonicCount(double f0) const { return std::min(int(m_fs / 2.0 / f0), kMaximumHarmonics); }

    static int fftSize(int half)
    {
        return int(std::pow(2.0, 2.0 + int(std::log(half * 2.0 + 1.0) / kLog2)));
    }

    // cos and sin of 2πn / L and of 4πn / L, n < L = 2·half + 1, computed once per half length.
    const double* windowBasis(int half)
    {
        std::vector<std::size_t>& offsets = m_tables.basisOffset;
        std::vector<double>& bases = m_tables.bases;
        if (half >= int(offsets.size())) {
            offsets.resize(std::size_t(half + 1), kNoBasis);
        }
        std::size_t& offset = offsets[std::size_t(half)];
        if (offset == kNoBasis) {
            const std::size_t length = std::size_t(2 * half + 1);
            const std::size_t at = bases.size();
            bases.resize(at + 4 * length); // when this throws, nothing has changed
            double* basis = &bases[at];
            for (std::size_t n = 0; n < length; ++n) {
                const double angle = 2.0 * kPi * double(n) / double(length);
                basis[n] = std::cos(angle);
                basis[length + n] = std::sin(angle);
                const double twice = 2.0 * kPi * double((2 * n) % length) / double(length);
                basis[2 * length + n] = std::cos(twice);
                basis[3 * length + n] = std::sin(twice);
            }
            offset = at;
        }
        return &bases[offset];
    }

    // The samples around position times the window (m_main) and times its derivative (m_diff).
    // Also built for AVX2 (no fused multiply-add: the same bits).
    LV_AVX2_CLONES void loadSegment(double position, int half)
    {
        m_length = std::size_t(2 * half + 1);
        m_fftSize = fftSize(half);
        m_stride = m_tableSize / std::size_t(m_fftSize);
        if (m_length > m_window.size()) {
            m_window.resize(m_length);
            m_main.resize(m_length);
            m_diff.resize(m_length);
        }

        const double windowSec = (2.0 * half + 1.0) / m_fs;
        const int firstIndex = roundHalfAway((position + double(-half) / m_fs) * m_fs + 0.001);
        // Sample n sits at phase θ0 + 2πn / L of the window: cos(θ0 + a) = cos θ0 cos a − sin θ0 sin a.
        const double phase = 2.0 * kPi * ((firstIndex - 1.0) / m_fs - position) / windowSec;
        const double c1 = 0.5 * std::cos(phase);
        const double s1 = 0.5 * std::sin(phase);
        const double c2 = 0.08 * std::cos(2.0 * phase);
        const double s2 = 0.08 * std::sin(2.0 * phase);
        const double* basis = windowBasis(half);
        const double* cos1 = basis;
        const double* sin1 = basis + m_length;
        const double* cos2 = basis + 2 * m_length;
        const double* sin2 = basis + 3 * m_length;
        for (std::size_t n = 0; n < m_length; ++n) {
            m_window[n] = 0.42 + (c1 * cos1[n] - s1 * sin1[n]) + (c2 * cos2[n] - s2 * sin2[n]);
        }

        const std::ptrdiff_t start = std::ptrdiff_t(firstIndex) - 1;
        const std::ptrdiff_t lastSample = std::ptrdiff_t(m_y.size()) - 1;
        const auto sample = [&](std::size_t n) {
            return m_y[std::size_t(std::clamp<std::ptrdiff_t>(start + std::ptrdiff_t(n), 0, lastSample))];
        };
        const std::size_t last = m_length - 1;
        m_main[0] = sample(0) * m_window[0];
        m_diff[0] = sample(0) * (-m_window[1] / 2.0);
        if (start >= 0 && start + std::ptrdiff_t(last) <= lastSample) {
            const double* x = m_y.data() + start;
            for (std::size_t n = 1; n < last; ++n) {
                m_main[n] = x[n] * m_window[n];
                m_diff[n] = x[n] * (-(m_window[n + 1] - m_window[n - 1]) / 2.0);
            }
        } else {
            for (std::size_t n = 1; n < last; ++n) {
                m_main[n] = sample(n) * m_window[n];
                m_diff[n] = sample(n) * (-(m_window[n + 1] - m_window[n - 1]) / 2.0);
            }
        }
        m_main[last] = sample(last) * m_window[last];
        m_diff[last] = sample(last) * (m_window[last - 1] / 2.0);
    }

    // Every listed bin of both windowed segments, by Goertzel recurrences run side by side.
    void computeBins()
    {
        std::size_t b = 0;
        while (b < m_bins.size()) {
            const std::size_t left = m_bins.size() - b;
            b += left > 4 ? goertzel<8>(b) : goertzel<4>(b);
        }
    }

    // Bins b … b + W − 1 (those that exist); returns how many it computed.
    template <std::size_t W>
    std::size_t goertzel(std::size_t b)
    {
        const std::size_t count = std::min(W, m_bins.size() - b);
        const std::size_t mask = m_tableSize - 1;
        std::array<double, W> coefficient{};
        for (std::size_t q = 0; q < count; ++q) {
            coefficient[q] = 2.0 * m_cos[(std::size_t(m_bins[b + q].index) * m_stride) & mask];
        }
        std::array<double, W> main1{}, main2{}, diff1{}, diff2{};
        goertzelRun<W>(m_main.data(), m_diff.data(), m_length, coefficient, main1, main2, diff1, diff2);
        // X = e^(−iω(L−1)) · (s[L−1] − e^(−iω) · s[L−2]).
        for (std::size_t q = 0; q < count; ++q) {
            Bin& bin = m_bins[b + q];
            const std::size_t k = std::size_t(bin.index) * m_stride;
            const double c = m_cos[k & mask];
            const double s = m_sin[k & mask];
            const std::size_t rotation = (k * (m_length - 1)) & mask;
            const double rc = m_cos[rotation];
            const double rs = m_sin[rotation];
            const auto finish = [&](double s1, double s2, double& re, double& im) {
                const double ur = s1 - c * s2;
                const double ui = s * s2;
                re = rc * ur + rs * ui;
                im = rc * ui - rs * ur;
            };
            finish(main1[q], main2[q], bin.mainRe, bin.mainIm);
            finish(diff1[q], diff2[q], bin.diffRe, bin.diffIm);
        }
        return count;
    }

    void refine(double f0, const std::size_t* bins, double& refined, double& score) const
    {
        const int harmonics = harmonicCount(f0);
        double numerator = 0.0;
        double denominator = 0.0;
        double deviation = 0.0;
        for (int h = 0; h < harmonics; ++h) {
            const Bin& b = m_bins[bins[h]];
            const double power = b.mainRe * b.mainRe + b.mainIm * b.mainIm;
            const double crossTerm = b.mainRe * b.diffIm - b.mainIm * b.diffRe;
            const double frequency =
                power == 0.0 ? 0.0 : double(b.index) * m_fs / m_fftSize + crossTerm / power * m_fs / 2.0 / kPi;
            const double amplitude = std::sqrt(power);
            numerator += amplitude * frequency;
            denominator += amplitude * (h + 1.0);
            deviation += std::fabs((frequency / (h + 1.0) - f0) / f0);
        }
        refined = numerator / (denominator + kSafeGuardMinimum);
        score = 1.0 / (deviation / harmonics + kSafeGuardMinimum);
    }

    std::span<const double> m_y;
    double m_fs;
    double m_f0Floor;
    double m_f0Ceil;
    int m_longest = 0;
    std::size_t m_tableSize = 0;
    HarvestTables& m_tables;
    const double* m_cos = nullptr; // cos and sin of 2πm / m_tableSize, from m_tables
    const double* m_sin = nullptr;
    std::vector<double> m_window;
    std::vector<double> m_main;
    std::vector<double> m_diff;
    std::size_t m_length = 0;
    int m_fftSize = 0;
    std::size_t m_stride = 1;
    std::vector<std::pair<int, std::size_t>> m_order; // (half length, slot) of the frame's candidates
    std::vector<Bin> m_bins;
    std::vector<std::size_t> m_candidateBins; // per candidate of the group, its harmonics' bins
};

// ---------------------------------------------------------------------------------------------------
// The refined candidates of every frame, in slot order with the dropped (zero) ones left out: a zero
// candidate has score 0 and never wins, matches or extends anything in the steps that follow.
struct CandidateTable {
    std::vector<std::size_t> start; // frame k's candidates are start[k] … start[k + 1] − 1
    std::vector<double> f0;
    std::vector<double> score;

    std::size_t frames() const { return start.size() - 1; }
    std::span<double> f0Row(std::size_t k) { return {f0.data() + start[k], start[k + 1] - start[k]}; }
    std::span<const double> f0Row(std::size_t k) const { return {f0.data() + start[k], start[k + 1] - start[k]}; }
    std::span<double> scoreRow(std::size_t k) { return {score.data() + start[k], start[k + 1] - start[k]}; }
    std::span<const double> scoreRow(std::size_t k) const { return {score.data() + start[k], start[k + 1] - start[k]}; }
};

// Relative distance from reference to the nearest candidate, at most 1 (zeros are at distance 1).
double nearestDistance(double reference, std::span<const double> candidates)
{
    double best = 1.0;
    for (const double c : candidates) {
        if (c != 0.0) {
            best = std::min(best, std::fabs(reference - c) / reference);
        }
    }
    return best;
}

// Drops every candidate with no candidate of a neighbour frame within 5 % (judged on the table as it
// was before any was dropped); the first and the last frame are kept as they are.
void removeUnreliableCandidates(CandidateTable& table)
{
    const std::size_t frames = table.frames();
    if (frames < 3) {
        return;
    }
    std::vector<double> previous(table.f0Row(0).begin(), table.f0Row(0).end());
    std::vector<double> current;
    for (std::size_t k = 1; k + 1 < frames; ++k) {
        const std::span<double> row = table.f0Row(k);
        const std::span<double> score = table.scoreRow(k);
        current.assign(row.begin(), row.end());
        const std::span<const double> next = table.f0Row(k + 1);
        for (std::size_t j = 0; j < row.size(); ++j) {
            const double reference = current[j];
            if (reference == 0.0) {
                continue;
            }
            const double distance = std::min(nearestDistance(reference, next), nearestDistance(reference, previous));
            if (distance > kNeighbourTolerance) {
                row[j] = 0.0;
                score[j] = 0.0;
            }
        }
        std::swap(previous, current);
    }
}

// The candidate nearest to reference within the relative range; the last of equally near ones; 0 when
// none lies within it.
double selectBest(double reference, std::span<const double> candidates, double range)
{
    double best = 0.0;
    double bestError = range;
    for (const double c : candidates) {
        if (c == 0.0) {
            continue; // at distance 1, beyond every range used here
        }
        const double error = std::fabs(reference - c) / reference;
        if (error > bestError) {
            continue;
        }
        best = c;
        bestError = error;
    }
    return best;
}

// ---------------------------------------------------------------------------------------------------
// Contour fixing

// Voiced sections of f: pairs (first, last) of frame indices, the first and the last frame of f counting
// as unvoiced.
std::vector<int> voicedSections(std::span<const double> f)
{
    std::vector<int> bounds;
    const int n = int(f.size());
    const auto voiced = [&](int i) { return i > 0 && i < n - 1 && f[std::size_t(i)] > 0; };
    for (int i = 1; i < n; ++i) {
        if (voiced(i) != voiced(i - 1)) {
            bounds.push_back(i - int(bounds.size() % 2));
        }
    }
    return bounds;
}

// Step 1: a frame that jumps by more than 0.8 % from both the linear prediction of the two before it and
// the frame before it becomes unvoiced; so do the first two frames.
std::vector<double> fixStep1(std::span<const double> base)
{
    std::vector<double> out(base.size(), 0.0);
    for (std::size_t i = 2; i < base.size(); ++i) {
        if (base[i] == 0.0) {
            continue;
        }
        const double predicted = base[i - 1] * 2 - base[i - 2];
        const bool jump = std::fabs((base[i] - predicted) / predicted) > kStep1Tolerance &&
                          std::fabs(base[i] - base[i - 1]) / base[i - 1] > kStep1Tolerance;
        out[i] = jump ? 0.0 : base[i];
    }
    return out;
}

// Step 2: voiced sections shorter than six frames (last − first < 6) become unvoiced.
std::vector<double> fixStep2(std::span<const double> step1)
{
    std::vector<double> out(step1.begin(), step1.end());
    const std::vector<int> bounds = voicedSections(step1);
    for (std::size_t s = 0; s + 1 < bounds.size(); s += 2) {
        if (bounds[s + 1] - bounds[s] >= kStep2MinimumFrames) {
            continue;
        }
        for (int j = bounds[s]; j <= bounds[s + 1]; ++j) {
            out[std::size_t(j)] = 0.0;
        }
    }
    return out;
}

// One voiced section with room for its extension: values of frames lo … lo + size − 1, 0 elsewhere.
struct SectionTrack {
    int lo = 0;
    std::vector<double> values;

    double at(int i) const
    {
        const int j = i - lo;
        return j >= 0 && j < int(values.size()) ? values[std::size_t(j)] : 0.0;
    }
    double& ref(int i) { return values[std::size_t(i - lo)]; }
};

class ContourFixer {
public:
    explicit ContourFixer(const CandidateTable& table) : m_table(table) {}

    std::vector<double> fix()
    {
        const std::size_t n = m_table.frames();
        std::vector<double> base(n, 0.0);
        for (std::size_t k = 0; k < n; ++k) {
            double bestScore = 0.0;
            const std::span<const double> f0 = m_table.f0Row(k);
            const std::span<const double> score = m_table.scoreRow(k);
            for (std::size_t j = 0; j < f0.size(); ++j) {
                if (score[j] > bestScore) {
                    base[k] = f0[j];
                    bestScore = score[j];
                }
            }
        }
        const std::vector<double> step2 = fixStep2(fixStep1(base));
        const std::vector<double> step3 = fixStep3(step2);
        return fixStep4(step3);
    }

private:
    // Step 3: every section is extended frame by frame, in both directions, along the candidate nearest
    // (within 18 %) to its last value, for up to 100 frames and until four frames in a row have none.
    // Sections long enough for their mean f0 are kept, and where kept sections overlap the one whose
    // values are the better-scored candidates wins the overlap.
    std::vector<double> fixStep3(const std::vector<double>& step2)
    {
        const int n = int(step2.size());
        std::vector<int> bounds = voicedSections(step2);
        const int sections = int(bounds.size() / 2);
        std::vector<SectionTrack> tracks(static_cast<std::size_t>(sections));
        for (int s = 0; s < sections; ++s) {
            const int first = bounds[std::size_t(2 * s)];
            const int last = bounds[std::size_t(2 * s + 1)];
            SectionTrack& t = tracks[std::size_t(s)];
            t.lo = std::max(0, first - kExtensionReach - 1);
            const int hi = std::min(n - 1, last + kExtensionReach + 1);
            t.values.assign(std::size_t(hi - t.lo + 1), 0.0);
            for (int j = first; j <= last; ++j) {
                t.ref(j) = step2[std::size_t(j)];
            }
        }

        for (int s = 0; s < sections; ++s) {
            SectionTrack& t = tracks[std::size_t(s)];
            const int last = bounds[std::size_t(2 * s + 1)];
            bounds[std::size_t(2 * s + 1)] = extend(t, last, std::min(n - 2, last + kExtensionReach), 1);
            const int first = bounds[std::size_t(2 * s)];
            bounds[std::size_t(2 * s)] = extend(t, first, std::max(1, first - kExtensionReach), -1);
        }

        // The kept sections move to the front in their order. The running mean is not restarted per
        // section, as in the published procedure.
        int kept = 0;
        double mean = 0.0;
        for (int s = 0; s < sections; ++s) {
            const int first = bounds[std::size_t(2 * s)];
            const int last = bounds[std::size_t(2 * s + 1)];
            for (int j = first; j < last; ++j) {
                mean += tracks[std::size_t(s)].at(j);
            }
            mean /= last - first;
            if (kSectionWeight / mean < last - first) {
                std::swap(tracks[std::size_t(kept)], tracks[std::size_t(s)]);
                std::swap(bounds[std::size_t(2 * kept)], bounds[std::size_t(2 * s)]);
                std::swap(bounds[std::size_t(2 * kept + 1)], bounds[std::size_t(2 * s + 1)]);
                ++kept;
            }
        }
        if (kept == 0) {
            return step2;
        }
        return merge(tracks, bounds, kept, n);
    }

    // Extends t from origin towards last (inclusive) in direction shift; returns the last frame reached
    // with a value.
    int extend(SectionTrack& t, int origin, int last, int shift) const
    {
        double reference = t.at(origin);
        int reached = origin;
        const int distance = std::abs(last - origin);
        int misses = 0;
        for (int i = 0; i <= distance; ++i) {
            const int target = origin + shift * i + shift;
            const double chosen = selectBest(reference, m_table.f0Row(std::size_t(target)), kStep3Tolerance);
            t.ref(target) = chosen;
            if (chosen == 0.0) {
                ++misses;
            } else {
                reference = chosen;
                misses = 0;
                reached = target;
            }
            if (misses == kExtensionMisses) {
                break;
            }
        }
        return reached;
    }

    // The best score of the candidates of frame k equal to f0.
    double scoreOf(double f0, std::size_t k) const
    {
        double best = 0.0;
        const std::span<const double> f = m_table.f0Row(k);
        const std::span<const double> s = m_table.scoreRow(k);
        for (std::size_t j = 0; j < f.size(); ++j) {
            if (f0 == f[j] && best < s[j]) {
                best = s[j];
            }
        }
        return best;
    }

    // Merges the kept sections as the published procedure does, including its order of visiting
    // (a partial insertion sort by first frame) and its reuse of the first section's bounds as the
    // bounds of the merged contour.
    std::vector<double> merge(const std::vector<SectionTrack>& tracks, std::vector<int>& bounds, int count, int n) const
    {
        std::vector<int> order(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            order[std::size_t(i)] = i;
        }
        for (int i = 1; i < count; ++i) {
            for (int j = i - 1; j >= 0; --j) {
                if (bounds[std::size_t(order[std::size_t(j)] * 2)] > bounds[std::size_t(order[std::size_t(i)] * 2)]) {
                    std::swap(order[std::size_t(i)], order[std::size_t(j)]);
                } else {
                    break;
                }
            }
        }

        std::vector<double> merged(static_cast<std::size_t>(n));
        for (int j = 0; j < n; ++j) {
            merged[std::size_t(j)] = tracks[0].at(j);
        }
        for (int i = 1; i < count; ++i) {
            const int o = order[std::size_t(i)];
            const SectionTrack& t = tracks[std::size_t(o)];
            const int first = bounds[std::size_t(o * 2)];
            const int last = bounds[std::size_t(o * 2 + 1)];
            if (first - bounds[1] > 0) {
                for (int j = first; j <= last; ++j) {
                    merged[std::size_t(j)] = t.at(j);
                }
                bounds[0] = first;
                bounds[1] = last;
                continue;
            }
            // Overlapping: unless the merged contour already covers t, t wins from its first frame when
            // its values score at least as well over the overlap, else from the merged contour's end.
            const int mergedFirst = bounds[0];
            const int mergedLast = bounds[1];
            if (mergedFirst <= first && mergedLast >= last) {
                continue;
            }
            double mergedScore = 0.0;
            double trackScore = 0.0;
            for (int j = first; j <= mergedLast; ++j) {
                mergedScore += scoreOf(merged[std::size_t(j)], std::size_t(j));
                trackScore += scoreOf(t.at(j), std::size_t(j));
            }
            const int from = mergedScore > trackScore ? mergedLast : first;
            for (int j = from; j <= last; ++j) {
                merged[std::size_t(j)] = t.at(j);
            }
            bounds[1] = last;
        }
        return merged;
    }

    // Step 4: unvoiced gaps shorter than nine frames are bridged by a line from one above the value
    // before the gap to one below the value after it.
    static std::vector<double> fixStep4(const std::vector<double>& step3)
    {
        std::vector<double> out = step3;
        const std::vector<int> bounds = voicedSections(step3);
        const std::size_t sections = bounds.size() / 2;
        for (std::size_t i = 0; i + 1 < sections; ++i) {
            const int gapStart = bounds[i * 2 + 1];
            const int gapEnd = bounds[(i + 1) * 2];
            const int distance = gapEnd - gapStart - 1;
            if (distance >= kStep4MaximumGap) {
                continue;
            }
            const double from = step3[std::size_t(gapStart)] + 1;
            const double to = step3[std::size_t(gapEnd)] - 1;
            const double slope = (to - from) / (distance + 1.0);
            int count = 1;
            for (int j = gapStart + 1; j <= gapEnd - 1; ++j) {
                out[std::size_t(j)] = from + slope * count++;
            }
        }
        return out;
    }

    const CandidateTable& m_table;
};

// ---------------------------------------------------------------------------------------------------
// Smoothing

// Each voiced section, held at its end values on either side, is filtered forward and backward with
// the low-pass; unvoiced frames stay 0. The published procedure pads the contour with 300 zeros on each
// side and filters the whole padded length per section; the filter's poles lie at radius 0.875, whose
// 300th power is below 1e-17, so filtering 300 frames either side of the section gives the same values.
std::vector<double> smoothContour(std::span<const double> f0)
{
    const int n = int(f0.size());
    std::vector<double> padded(std::size_t(n + 2 * kSmoothingLag), 0.0);
    std::copy(f0.begin(), f0.end(), padded.begin() + kSmoothingLag);
    const std::vector<int> bounds = voicedSections(padded);

    std::vector<double> out(f0.size(), 0.0);
    std::vector<double> work;
    for (std::size_t s = 0; s + 1 < bounds.size(); s += 2) {
        const int first = bounds[s];
        const int last = bounds[s + 1];
        const int lo = std::max(0, first - kSmoothingLag);
        const int hi = std::min(int(padded.size()) - 1, last + kSmoothingLag);
        work.resize(std::size_t(hi - lo + 1));
        for (int i = lo; i <= hi; ++i) {
            work[std::size_t(i - lo)] = padded[std::size_t(std::clamp(i, first, last))];
        }
        for (int pass = 0; pass < 2; ++pass) {
            double w0 = 0.0, w1 = 0.0;
            const std::size_t m = work.size();
            for (std::size_t k = 0; k < m; ++k) {
                double& x = work[pass == 0 ? k : m - 1 - k];
                const double wt = x + kSmoothingA[0] * w0 + kSmoothingA[1] * w1;
                x = kSmoothingB[0] * wt + kSmoothingB[1] * w0 + kSmoothingB[0] * w1;
                w1 = w0;
                w0 = wt;
            }
        }
        for (int j = first; j <= last; ++j) {
            out[std::size_t(j - kSmoothingLag)] = work[std::size_t(j - lo)];
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------------

// The estimate on the 1 ms grid, frameCount(n, fs, 1) values.
template <class Sample>
std::vector<double> basicEstimate(std::span<const Sample> x, int sampleRate, double f0Floor, double f0Ceil)
{
    const std::size_t frames = frameCount(x.size(), sampleRate, kBasicFramePeriod);
    if (x.empty()) {
        return std::vector<double>(frames, 0.0);
    }

    const double adjustedFloor = f0Floor * kRangeLow;
    const double adjustedCeil = f0Ceil * kRangeHigh;
    const int channels = 1 + int(std::log(adjustedCeil / adjustedFloor) / kLog2 * kChannelsInOctave);
    const int ratio = std::clamp(roundHalfAway(sampleRate / kTargetRate), 1, kMaximumDecimation);
    const std::size_t yLength = (x.size() + std::size_t(ratio) - 1) / std::size_t(ratio);
    const double fs = double(sampleRate) / ratio;

    HarvestTables& tables = threadTables();
    if (!tables.matches(fs, f0Floor, f0Ceil)) {
        // Made aside and moved in whole: an allocation that fails leaves the thread's last set intact
        // (or none), never a set whose key claims tables it lacks.
        HarvestTables made;
        made.fs = fs;
        made.f0Floor = f0Floor;
        made.f0Ceil = f0Ceil;
        made.boundaries.resize(static_cast<std::size_t>(channels));
        for (int i = 0; i < channels; ++i) {
            made.boundaries[std::size_t(i)] = adjustedFloor * std::pow(2.0, (i + 1) / kChannelsInOctave);
        }
        made.kernels.resize(static_cast<std::size_t>(channels));
        tables = std::move(made);
    }
    const std::vector<double>& boundaries = tables.boundaries;
    std::vector<double> y = decimate(x, ratio, yLength);
    double mean = 0.0;
    for (const double v : y) {
        mean += v;
    }
    mean /= double(yLength);
    for (double& v : y) {
        v -= mean;
    }

    // Raw candidates, channel by channel. The first and the last channel can never be part of a run, so
    // they are not filtered at all.
    RunCollector runs(frames, std::size_t(channels) / std::size_t(kMinimumRunOfChannels + 1) + 1);
    if (channels >= 3) {
        // Output i of a channel is centred on sample i + 1, as in the published implementation.
        FilterBankConvolver bank(y, std::size_t(roundHalfAway(fs / boundaries[1] * 2.0)), 1);
        std::array<std::vector<double>, 2> filtered;
        for (std::vector<double>& f : filtered) {
            f.resize(yLength);
        }
        std::array<EventRates, 4> events;
        std::array<std::vector<double>, 4> interpolated;
        for (std::vector<double>& v : interpolated) {
            v.resize(frames);
        }
        std::vector<double> reports(frames);
        std::vector<double> times;
        basicFrameTimes(frames, times);
        for (int c = 1; c + 1 < channels; c += 2) {
            const int pair = std::min(2, channels - 1 - c);
            const std::span<const double> first = tables.kernel(std::size_t(c));
            const std::span<const double> second =
                pair == 2 ? std::span<const double>(tables.kernel(std::size_t(c + 1))) : std::span<const double>();
            bank.filter(first, second, filtered[0], filtered[1]);
            for (int p = 0; p < pair; ++p) {
                const double boundary = boundaries[std::size_t(c + p)];
                findEvents(filtered[std::size_t(p)], fs, events);
                channelReports(events, boundary, f0Floor, f0Ceil, times, interpolated, reports);
                runs.addChannel(c + p, reports);
            }
        }
    }
    runs.finish(channels - 1);

    // Every frame's candidates, with those of the three frames either side (slot j + own · g holds
    // candidate j of the frame g frames before, g = 1 … 3, or g − 3 frames after, g = 4 … 6), refined.
    const std::size_t own = runs.mostCandidates();
    const std::size_t slots = own * kOverlapFactor;
    CandidateTable table;
    table.start.reserve(frames + 1);
    table.start.push_back(0);
    {
        CandidateRefiner refiner(y, fs, f0Floor, f0Ceil, slots, tables);
        std::vector<double> row(slots);
        std::vector<double> score(slots);
        for (std::size_t k = 0; k < frames; ++k) {
            for (std::size_t j = 0; j < own; ++j) {
                row[j] = runs.candidate(k, j);
                for (std::size_t g = 1; g <= std::size_t(kOverlapReach); ++g) {
                    row[j + own * g] = k >= g ? runs.candidate(k - g, j) : 0.0;
                    row[j + own * (g + kOverlapReach)] = k + g < frames ? runs.candidate(k + g, j) : 0.0;
                }
            }
            refiner.refineFrame(double(k) * kBasicFramePeriod / 1000.0, row, score);
            for (std::size_t j = 0; j < slots; ++j) {
                if (row[j] != 0.0) {
                    table.f0.push_back(row[j]);
                    table.score.push_back(score[j]);
                }
            }
            table.start.push_back(table.f0.size());
        }
    }
    removeUnreliableCandidates(table);

    const std::vector<double> fixed = ContourFixer(table).fix();
    return smoothContour(fixed);
}

} // namespace

std::size_t frameCount(std::size_t sampleCount, int sampleRate, double framePeriod)
{
    if (sampleRate < 1 || !(framePeriod > 0.0) || !std::isfinite(framePeriod)) {
        throw std::invalid_argument("frameCount: the sample rate and the frame period must be positive");
    }
    return std::size_t(1000.0 * double(sampleCount) / sampleRate / framePeriod) + 1;
}

namespace {

template <class Sample>
void harvestOf(std::span<const Sample> samples, int sampleRate, const HarvestOptions& options,
               std::span<double> temporalPositions, std::span<double> f0)
{
    const std::size_t frames = frameCount(samples.size(), sampleRate, options.framePeriod);
    if (!(options.f0Floor >= 1.0) || !(options.f0Floor < options.f0Ceil) || !(options.f0Ceil <= sampleRate / 2.0)) {
        throw std::invalid_argument("harvest: f0Floor and f0Ceil must satisfy 1 <= f0Floor < f0Ceil <= sampleRate / 2");
    }
    if (temporalPositions.size() != frames || f0.size() != frames) {
        throw std::invalid_argument("harvest: the output arrays must hold frameCount() elements");
    }

    const std::vector<double> basic = basicEstimate(samples, sampleRate, options.f0Floor, options.f0Ceil);
    for (std::size_t i = 0; i < frames; ++i) {
        temporalPositions[i] = double(i) * options.framePeriod / 1000.0;
        if (options.framePeriod == kBasicFramePeriod) {
            f0[i] = basic[i];
        } else {
            // The nearest 1 ms point, half away from zero, clamped to the last one computed.
            const double nearest = std::floor(double(i) * options.framePeriod + 0.5);
            f0[i] = basic[std::min(basic.size() - 1, std::size_t(nearest))];
        }
    }
}

template <class Sample>
HarvestTrack harvestTrackOf(std::span<const Sample> samples, int sampleRate, const HarvestOptions& options)
{
    HarvestTrack track;
    const std::size_t frames = frameCount(samples.size(), sampleRate, options.framePeriod);
    track.temporalPositions.resize(frames);
    track.f0.resize(frames);
    harvestOf(samples, sampleRate, options, track.temporalPositions, track.f0);
    return track;
}

} // namespace

void harvest(std::span<const double> samples, int sampleRate, const HarvestOptions& options,
             std::span<double> temporalPositions, std::span<double> f0)
{
    harvestOf(samples, sampleRate, options, temporalPositions, f0);
}

void harvest(std::span<const float> samples, int sampleRate, const HarvestOptions& options,
             std::span<double> temporalPositions, std::span<double> f0)
{
    harvestOf(samples, sampleRate, options, temporalPositions, f0);
}

HarvestTrack harvest(std::span<const double> samples, int sampleRate, const HarvestOptions& options)
{
    return harvestTrackOf(samples, sampleRate, options);
}

HarvestTrack harvest(std::span<const float> samples, int sampleRate, const HarvestOptions& options)
{
    return harvestTrackOf(samples, sampleRate, options);
}

} // namespace Tessarin
