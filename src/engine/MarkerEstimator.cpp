#include "engine/MarkerEstimator.h"

#include "dsp/Spectrum.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>

namespace TessarinEngineV6 {

namespace {

constexpr double kStepSec = 0.001;         // [s] between points of the fine level envelopes
constexpr double kEdgeWindowSec = 0.002;   // [s] of the one-sided windows that place onsets and offsets
constexpr double kCentreWindowSec = 0.005; // [s] of the centred window that finds the background and the sound
constexpr double kFrameHopSec = 0.0025;    // [s] between analysis frames
constexpr int kFrameLength = 1024;         // [samples] of an analysis frame (23 ms at 44.1 kHz)
constexpr int kFftSize = 2048;             // room for the autocorrelation of a frame without wrap-around
constexpr int kBandCount = 24;             // log-spaced bands of the spectral shape
constexpr double kLowestBandHz = 100.0;
constexpr double kHighestBandHz = 8000.0;
constexpr int kFirstHighBand = 13; // the first band above 1 kHz (1.08 kHz)
// Scales the power of a bin of the Hann-windowed frame to read as the mean square of a sine.
constexpr double kSineScale = 4.0 / (double(kFrameLength) * kFrameLength * 0.25);
constexpr double kFloorDb = -140.0; // the level of digital silence
// No background is taken as quieter than the rounding noise of 16-bit samples. Nothing 45 dB under
// the loudest moment counts as sound (the decay of a resonance is not a second unit), and an edge
// is where the level is 40 dB under it, where a fade has as good as ended even when the background
// is far quieter.
constexpr double kQuietestBackgroundDb = -100.0;
constexpr double kSoundRangeDb = 45.0;
constexpr double kEdgeRangeDb = 40.0;
constexpr double kBackgroundPercentile = 0.05;
constexpr int kChangeSpanFrames = 4; // a spectrum is compared with the one this many frames either side
constexpr int kVoicedGapFrames = 4;  // unvoiced frames inside one voiced stretch (a period's jitter, a creak)

using BandShape = std::array<float, kBandCount>;

double toDb(double meanSquare)
{
    return meanSquare > 1e-14 ? 10.0 * std::log10(meanSquare) : kFloorDb;
}

double median(std::vector<double> v)
{
    if (v.empty()) {
        return 0.0;
    }
    const auto mid = v.begin() + std::ptrdiff_t(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

// Everything measured over one recording, laid out once.
struct Analysis {
    std::span<const float> x;
    double rate = 44100.0;
    std::vector<double> prefix; // prefix[i] = Σ x[0 … i−1]²
    int stepSamples = 44;
    std::size_t steps = 0;
    std::vector<double> centreDb; // per step: a 5 ms window centred on the step
    std::vector<double> backDb;   // per step: the 2 ms before it
    std::vector<double> foreDb;   // per step: the 2 ms after it
    int hopSamples = 110;
    std::size_t frames = 0;
    std::vector<double> frameDb;     // per frame: the central 11.6 ms
    std::vector<double> periodicity; // per frame: the normalised autocorrelation at its best lag
    std::vector<int> period;         // per frame: the period [samples]
    std::vector<BandShape> shape;    // per frame: band levels less their mean [dB]
    std::vector<double> highDb;      // per frame: the level of the bands from 1 kHz up [dB]
    std::vector<double> change;      // per frame: how far the shape moves across ±kChangeSpanFrames [dB]
    double backgroundDb = 0.0;
    double peakDb = 0.0;
    double soundDb = 0.0; // a step above this is sound
    double edgeDb = 0.0;  // onsets and offsets are walked out to this

    double meanSquare(std::ptrdiff_t a, std::ptrdiff_t b) const
    {
        a = std::clamp<std::ptrdiff_t>(a, 0, std::ptrdiff_t(x.size()));
        b = std::clamp<std::ptrdiff_t>(b, 0, std::ptrdiff_t(x.size()));
        return b > a ? (prefix[std::size_t(b)] - prefix[std::size_t(a)]) / double(b - a) : 0.0;
    }
    double stepTime(std::size_t s) const { return double(std::size_t(stepSamples) * s) / rate; }
    double frameTime(std::size_t f) const { return double(std::size_t(hopSamples) * f) / rate; }
    std::size_t frameAt(double t) const
    {
        const double f = std::round(t * rate / double(hopSamples));
        return std::size_t(std::clamp(f, 0.0, double(frames - 1)));
    }
    std::size_t stepAt(double t) const
    {
        const double s = std::round(t * rate / double(stepSamples));
        return std::size_t(std::clamp(s, 0.0, double(steps - 1)));
    }
};

void measureLevels(Analysis& a, const MarkerEstimatorOptions& o)
{
    const std::size_t n = a.x.size();
    a.prefix.assign(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        a.prefix[i + 1] = a.prefix[i] + double(a.x[i]) * double(a.x[i]);
    }
    a.stepSamples = std::max(1, int(std::lround(kStepSec * a.rate)));
    a.steps = n / std::size_t(a.stepSamples) + 1;
    const auto edge = std::ptrdiff_t(std::lround(kEdgeWindowSec * a.rate));
    const auto half = std::ptrdiff_t(std::lround(kCentreWindowSec * a.rate / 2));
    a.centreDb.resize(a.steps);
    a.backDb.resize(a.steps);
    a.foreDb.resize(a.steps);
    for (std::size_t s = 0; s < a.steps; ++s) {
        const auto c = std::ptrdiff_t(s * std::size_t(a.stepSamples));
        a.centreDb[s] = toDb(a.meanSquare(c - half, c + half));
        a.backDb[s] = toDb(a.meanSquare(c - edge, c));
        a.foreDb[s] = toDb(a.meanSquare(c, c + edge));
    }
    std::vector<double> sorted = a.centreDb;
    std::sort(sorted.begin(), sorted.end());
    a.backgroundDb = std::max(kQuietestBackgroundDb, sorted[std::size_t(double(sorted.size() - 1) * kBackgroundPercentile)]);
    a.peakDb = sorted.back();
    a.soundDb = std::max(a.backgroundDb + o.soundMarginDb, a.peakDb - kSoundRangeDb);
    a.edgeDb = std::max(a.backgroundDb + o.edgeMarginDb, a.peakDb - kEdgeRangeDb);
}

// Per frame: level, periodicity with its lag, and the band shape.
void measureFrames(Analysis& a, const MarkerEstimatorOptions& o)
{
    a.hopSamples = std::max(1, int(std::lround(kFrameHopSec * a.rate)));
    a.frames = a.x.size() / std::size_t(a.hopSamples) + 1;
    a.frameDb.resize(a.frames);
    a.periodicity.assign(a.frames, 0.0);
    a.period.assign(a.frames, 0);
    a.shape.assign(a.frames, BandShape{});
    a.change.assign(a.frames, 0.0);
    a.highDb.assign(a.frames, kFloorDb);

    const int shortestLag = std::max(2, int(std::floor(a.rate / o.highestF0Hz)));
    const int longestLag = std::min(kFrameLength - 64, int(std::ceil(a.rate / o.lowestF0Hz)));
    Tessarin::RealFft acfFft(kFftSize);
    Tessarin::RealFft bandFft(kFrameLength);
    std::vector<float> frame(kFftSize, 0.0f);
    std::vector<float> re(kFftSize / 2 + 1), im(kFftSize / 2 + 1);
    std::vector<float> acf(kFftSize);
    std::vector<float> windowed(kFrameLength);
    std::vector<double> head(kFrameLength + 1); // head[k] = Σ frame[0 … k−1]²
    std::vector<double> correlation(std::size_t(longestLag) + 2, 0.0); // 0 below the shortest lag
    std::vector<double> power(kFrameLength / 2 + 1);
    std::vector<double> envelope(kFrameLength / 2 + 1);
    std::vector<float> hann(kFrameLength);
    for (int i = 0; i < kFrameLength; ++i) {
        hann[std::size_t(i)] = float(0.5 - 0.5 * std::cos(2.0 * 3.141592653589793 * (i + 0.5) / kFrameLength));
    }
    std::array<int, kBandCount + 1> bandEdge{};
    for (int b = 0; b <= kBandCount; ++b) {
        const double hz = kLowestBandHz * std::pow(kHighestBandHz / kLowestBandHz, double(b) / kBandCount);
        bandEdge[std::size_t(b)] = std::clamp(int(std::lround(hz * kFrameLength / a.rate)), 1, kFrameLength / 2);
    }
    for (int b = 1; b <= kBandCount; ++b) { // every band holds a bin at least
        bandEdge[std::size_t(b)] = std::max(bandEdge[std::size_t(b)], bandEdge[std::size_t(b - 1)] + 1);
    }
    const double bandFloorDb = a.backgroundDb - 20.0;

    const auto centreHalf = std::ptrdiff_t(kFrameLength / 4);
    for (std::size_t f = 0; f < a.frames; ++f) {
        const auto c = std::ptrdiff_t(f * std::size_t(a.hopSamples));
        a.frameDb[f] = toDb(a.meanSquare(c - centreHalf, c + centreHalf));
        Tessarin::cutFrame(c, a.x, std::span<float>(frame.data(), kFrameLength));
        std::fill(frame.begin() + kFrameLength, frame.end(), 0.0f);

        // Periodicity: the normalised autocorrelation r(τ) / √(E_head(τ) · E_tail(τ)) of the frame,
        // E_head and E_tail the energies of the two overlapping stretches, at its best lag in the
        // f0 range. White noise stays near 0.15 over these lags; a voiced frame comes close to 1, and
        // a noisy one to its periodic share of the energy. The period is the shortest lag within 5 %
        // of the best, not a multiple of it.
        head[0] = 0.0;
        for (int i = 0; i < kFrameLength; ++i) {
            head[std::size_t(i + 1)] = head[std::size_t(i)] + double(frame[std::size_t(i)]) * frame[std::size_t(i)];
        }
        const double total = head[kFrameLength];
        if (total <= 1e-12) {
            a.shape[f].fill(0.0f);
            continue;
        }
        acfFft.forward(frame.data(), re.data(), im.data());
        for (std::size_t k = 0; k < re.size(); ++k) {
            re[k] = re[k] * re[k] + im[k] * im[k];
            im[k] = 0.0f;
        }
        acfFft.inverse(re.data(), im.data(), acf.data());
        double best = 0.0;
        for (int tau = shortestLag; tau <= longestLag; ++tau) {
            const double energy = head[std::size_t(kFrameLength - tau)] * (total - head[std::size_t(tau)]);
            const double r = energy > 0.0 ? double(acf[std::size_t(tau)]) / std::sqrt(energy) : 0.0;
            correlation[std::size_t(tau)] = r;
            best = std::max(best, r);
        }
        int bestLag = 0;
        for (int tau = shortestLag; tau <= longestLag && bestLag == 0; ++tau) {
            const double r = correlation[std::size_t(tau)];
            if (r >= 0.95 * best && r >= correlation[std::size_t(tau - 1)] && (tau == longestLag || r >= correlation[std::size_t(tau + 1)])) {
                bestLag = tau;
            }
        }
        a.periodicity[f] = best;
        a.period[f] = bestLag;

        // Band shape from a Hann-windowed transform.
        for (int i = 0; i < kFrameLength; ++i) {
            windowed[std::size_t(i)] = frame[std::size_t(i)] * hann[std::size_t(i)];
        }
        bandFft.forward(windowed.data(), re.data(), im.data());
        // Between the harmonics of a high voice lie bins with no power; each bin takes the largest
        // power within half a harmonic spacing, so that the bands follow the envelope (the
        // formants), not where the harmonics happen to fall.
        for (int k = 0; k <= kFrameLength / 2; ++k) {
            power[std::size_t(k)] = double(re[std::size_t(k)]) * re[std::size_t(k)] + double(im[std::size_t(k)]) * im[std::size_t(k)];
        }
        const int reach = a.periodicity[f] >= o.voicedPeriodicity && a.period[f] > 0 ? kFrameLength / (2 * a.period[f]) : 0;
        for (int k = 0; k <= kFrameLength / 2; ++k) {
            double largest = 0.0;
            for (int j = std::max(0, k - reach); j <= std::min(kFrameLength / 2, k + reach); ++j) {
                largest = std::max(largest, power[std::size_t(j)]);
            }
            envelope[std::size_t(k)] = largest;
        }
        double mean = 0.0;
        double highPower = 0.0;
        BandShape& bands = a.shape[f];
        for (int b = 0; b < kBandCount; ++b) {
            double bandPower = 0.0;
            for (int k = bandEdge[std::size_t(b)]; k < bandEdge[std::size_t(b + 1)]; ++k) {
                bandPower += envelope[std::size_t(k)];
            }
            // Mean power per bin, scaled to read as the level of a sine of that power [dB re full scale].
            const double perBin = bandPower / double(bandEdge[std::size_t(b + 1)] - bandEdge[std::size_t(b)]);
            const double level = std::max(bandFloorDb, toDb(perBin * kSineScale));
            bands[std::size_t(b)] = float(level);
            highPower += b >= kFirstHighBand ? bandPower : 0.0;
            mean += level;
        }
        mean /= kBandCount;
        a.highDb[f] = std::max(bandFloorDb, toDb(highPower * kSineScale));
        for (float& v : bands) {
            v = float(v - mean);
        }
    }
    for (std::size_t f = 0; f < a.frames; ++f) {
        const std::size_t lo = f >= kChangeSpanFrames ? f - kChangeSpanFrames : 0;
        const std::size_t hi = std::min(a.frames - 1, f + kChangeSpanFrames);
        double sum = 0.0;
        for (int b = 0; b < kBandCount; ++b) {
            const double d = double(a.shape[hi][std::size_t(b)]) - a.shape[lo][std::size_t(b)];
            sum += d * d;
        }
        a.change[f] = std::sqrt(sum / kBandCount);
    }
}

struct Span {
    std::size_t first = 0; // inclusive
    std::size_t last = 0;  // inclusive
};

// The sound around the loudest moment: steps above the sound level, with gaps up to the longest
// gap bridged. Empty when nothing rises above the background.
std::optional<Span> findSound(const Analysis& a, const MarkerEstimatorOptions& o)
{
    if (a.peakDb - a.backgroundDb < o.soundMarginDb + 4.0) {
        return std::nullopt;
    }
    const std::size_t loudest = std::size_t(std::max_element(a.centreDb.begin(), a.centreDb.end()) - a.centreDb.begin());
    const auto gap = std::size_t(o.longestGapSec / kStepSec);
    Span s{loudest, loudest};
    std::size_t quiet = 0;
    for (std::size_t i = loudest; i-- > 0;) {
        if (a.centreDb[i] > a.soundDb) {
            s.first = i;
            quiet = 0;
        } else if (++quiet > gap) {
            break;
        }
    }
    quiet = 0;
    for (std::size_t i = loudest + 1; i < a.steps; ++i) {
        if (a.centreDb[i] > a.soundDb) {
            s.last = i;
            quiet = 0;
        } else if (++quiet > gap) {
            break;
        }
    }
    return s;
}

// Where the sound rises out of the background: walked back from its first loud step while the 2 ms
// before each step stay above the edge level; the onset lies inside the last such window.
double soundOnset(const Analysis& a, std::size_t first)
{
    std::size_t s = first;
    while (s > 0 && a.backDb[s] > a.edgeDb) {
        --s;
    }
    const double t = a.stepTime(s + 1) - kEdgeWindowSec / 2;
    return std::max(0.0, t);
}

// A room's reverberation carries the sound on after it ends, decaying as a straight line in dB.
// Walking back from where the level reached the edge, a line is fitted to what lies behind; where
// the level stands clearly above that line, abruptly (the direct sound, a few dB over its own
// reverberation), the sound itself ended. A fade of the voice bends away from a line gradually, and
// one steeper than any room's decay is no reverberation: then the edge stands.
double reverberantEnd(const Analysis& a, std::size_t edge)
{
    constexpr double kShortestTailSec = 0.02;
    constexpr double kLongestTailSec = 0.4;
    constexpr double kSteepestDecayDbPerSec = -600.0; // a reverberation time of 0.1 s
    constexpr double kDirectAboveDb = 4.0;
    constexpr double kAbruptSec = 0.01;
    constexpr double kLeastTailDropDb = 6.0;
    constexpr double kMostResidualDb = 3.0; // RMS distance of the level from the fitted line
    constexpr double kSmoothSec = 0.005;     // the level of a centred 5 ms window
    constexpr double kAboveBackgroundDb = 4.0; // the fit starts clear of the background
    const auto shortest = std::size_t(kShortestTailSec / kStepSec);
    const auto longest = std::size_t(kLongestTailSec / kStepSec);
    if (edge < longest + 2) {
        return a.stepTime(edge);
    }
    const auto half = std::ptrdiff_t(std::lround(kSmoothSec * a.rate / 2));
    auto level = [&](std::size_t s) {
        const auto c = std::ptrdiff_t(s * std::size_t(a.stepSamples));
        return toDb(a.meanSquare(c - half, c + half));
    };
    std::size_t from = edge;
    while (from > edge - longest && level(from) < a.backgroundDb + kAboveBackgroundDb) {
        --from;
    }
    // Least squares of level on time over the steps s … from, kept as running sums.
    double n = 0, st = 0, sl = 0, stt = 0, stl = 0, sll = 0;
    auto add = [&](std::size_t s) {
        const double t = double(from - s) * kStepSec;
        const double l = level(s);
        n += 1;
        st += t;
        sl += l;
        stt += t * t;
        stl += t * l;
        sll += l * l;
    };
    for (std::size_t s = from; s + shortest > from; --s) {
        add(s);
    }
    std::size_t lastOnLine = from;
    for (std::size_t s = from - shortest; s + longest > from; --s) {
        const double denominator = n * stt - st * st;
        const double slope = denominator > 0 ? (n * stl - st * sl) / denominator : 0.0; // [dB/s] back in time
        const double intercept = (sl - slope * st) / n;
        const double t = double(from - s) * kStepSec;
        const double here = level(s);
        const double above = here - (intercept + slope * t);
        if (above > kDirectAboveDb) {
            // Only a room's decay: falling through a good part of the range and close to a straight
            // line (a murmur's plateau and its fade after a vowel are neither), and only an abrupt
            // departure from it.
            const double residual = std::sqrt(std::max(0.0, (sll - intercept * sl - slope * stl) / n));
            const bool roomLike = -slope > kSteepestDecayDbPerSec && slope * t >= kLeastTailDropDb && residual <= kMostResidualDb;
            const bool sudden = lastOnLine - s <= std::size_t(kAbruptSec / kStepSec);
            if (roomLike && sudden && from - s >= 2 * shortest) {
                return a.stepTime(s);
            }
            // Near the background the decay bends into it; further back the line may still hold.
        }
        if (above < 1.0) {
            lastOnLine = s;
        }
        add(s);
    }
    return a.stepTime(edge);
}

double soundOffset(const Analysis& a, std::size_t last)
{
    std::size_t s = last;
    while (s + 1 < a.steps && a.foreDb[s] > a.edgeDb) {
        ++s;
    }
    const double atEdge = a.stepTime(s > 0 ? s - 1 : 0) + kEdgeWindowSec / 2;
    const double t = std::min(atEdge, reverberantEnd(a, a.stepAt(atEdge)));
    return std::min(double(a.x.size()) / a.rate, t);
}

// The longest voiced stretch inside the sound, as frames.
std::optional<Span> findVoiced(const Analysis& a, const MarkerEstimatorOptions& o, double from, double to)
{
    const std::size_t f0 = a.frameAt(from);
    const std::size_t f1 = a.frameAt(to);
    std::optional<Span> best;
    std::optional<Span> run;
    std::size_t unvoiced = 0;
    for (std::size_t f = f0; f <= f1; ++f) {
        const bool voiced = a.periodicity[f] >= o.voicedPeriodicity && a.frameDb[f] > a.soundDb;
        if (voiced) {
            if (!run) {
                run = Span{f, f};
            }
            run->last = f;
            unvoiced = 0;
        } else if (run && ++unvoiced > kVoicedGapFrames) {
            if (!best || run->last - run->first > best->last - best->first) {
                best = run;
            }
            run.reset();
        }
    }
    if (run && (!best || run->last - run->first > best->last - best->first)) {
        best = run;
    }
    if (!best || a.frameTime(best->last) - a.frameTime(best->first) < o.shortestVowelSec) {
        return std::nullopt;
    }
    return best;
}

// Normalised correlation of the samples around t with themselves one period later, the period
// searched within ±6 % of `period`; the two compared stretches straddle t symmetrically.
double periodicityAt(const Analysis& a, std::ptrdiff_t t, int period)
{
    const int length = std::max(period, int(0.005 * a.rate));
    double best = 0.0;
    const int lo = std::max(2, int(std::floor(period * 0.94)));
    const int hi = int(std::ceil(period * 1.06));
    for (int lag = lo; lag <= hi; ++lag) {
        const std::ptrdiff_t start = t - (length + lag) / 2;
        if (start < 0 || start + length + lag > std::ptrdiff_t(a.x.size())) {
            continue;
        }
        double xy = 0.0, xx = 0.0, yy = 0.0;
        for (int j = 0; j < length; ++j) {
            const double p = a.x[std::size_t(start + j)];
            const double q = a.x[std::size_t(start + j + lag)];
            xy += p * q;
            xx += p * p;
            yy += q * q;
        }
        if (xx > 0.0 && yy > 0.0) {
            best = std::max(best, xy / std::sqrt(xx * yy));
        }
    }
    return best;
}

// The voicing onset to the millisecond: where the periodicity at the voiced stretch's own period
// first rises out of the noise and is above one half 5 and 10 ms later, searched ±40 ms around the
// frame onset.
double voicingOnset(const Analysis& a, const Span& voiced, double notBefore)
{
    const double coarse = a.frameTime(voiced.first);
    const std::size_t settled = std::min(voiced.last, voiced.first + 4);
    const int period = a.period[settled] > 0 ? a.period[settled] : a.period[voiced.first];
    if (period <= 0) {
        return coarse;
    }
    constexpr double kHalf = 0.5;
    constexpr double kRising = 0.18; // above what noise reaches at one lag over 5 ms
    const double from = std::max(notBefore, coarse - 0.04);
    const double to = coarse + 0.04;
    double previousT = from;
    double previous = periodicityAt(a, std::ptrdiff_t(from * a.rate), period);
    for (double t = from + kStepSec; t <= to; t += kStepSec) {
        const double p = periodicityAt(a, std::ptrdiff_t(t * a.rate), period);
        if (p >= kRising && periodicityAt(a, std::ptrdiff_t((t + 0.005) * a.rate), period) >= kHalf &&
            periodicityAt(a, std::ptrdiff_t((t + 0.01) * a.rate), period) >= kHalf) {
            if (previous < kRising && p > previous) {
                return previousT + (t - previousT) * (kRising - previous) / (p - previous);
            }
            return t;
        }
        previous = p;
        previousT = t;
    }
    return coarse;
}

double meanOver(const std::vector<double>& v, std::size_t a, std::size_t b)
{
    double sum = 0.0;
    for (std::size_t i = a; i < b; ++i) {
        sum += v[i];
    }
    return b > a ? sum / double(b - a) : 0.0;
}

double shapeDistance(const Analysis& a, std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1)
{
    double sum = 0.0;
    for (int k = 0; k < kBandCount; ++k) {
        double left = 0.0, right = 0.0;
        for (std::size_t f = a0; f < a1; ++f) {
            left += a.shape[f][std::size_t(k)];
        }
        for (std::size_t f = b0; f < b1; ++f) {
            right += a.shape[f][std::size_t(k)];
        }
        const double d = left / double(a1 - a0) - right / double(b1 - b0);
        sum += d * d;
    }
    return std::sqrt(sum / kBandCount);
}

constexpr std::size_t kTurnSide = 8; // frames compared either side of a boundary (20 ms)

// The strongest turn of the spectrum with a step of the level in frames from … to: the frame where
// the spectra (and levels) of the 20 ms either side differ most, when the spectra differ by
// leastTurnDb and spectrum and level together by leastScoreDb. The strongest contrast lies inside
// a gradual change; the boundary is where the change began, where its rate first reached half its
// peak (not before notBefore).
double turnScore(const Analysis& a, std::size_t f)
{
    const double rise = meanOver(a.frameDb, f, f + kTurnSide) - meanOver(a.frameDb, f - kTurnSide, f);
    return std::fabs(rise) + shapeDistance(a, f - kTurnSide, f, f, f + kTurnSide);
}

// How much spectrum and level move within the steady middle of a voiced stretch (vibrato, noise,
// a room): a boundary must stand well above it.
double steadyTurnScore(const Analysis& a, const Span& voiced)
{
    std::vector<double> scores;
    const std::size_t length = voiced.last - voiced.first;
    for (std::size_t f = voiced.first + length / 4; f <= voiced.first + length * 3 / 4; f += 2) {
        if (f >= kTurnSide && f + kTurnSide < a.frames) {
            scores.push_back(turnScore(a, f));
        }
    }
    return median(scores);
}

std::optional<std::size_t> strongestTurn(const Analysis& a, std::size_t from, std::size_t to, double leastTurnDb,
                                         double leastScoreDb, std::size_t notBefore)
{
    std::optional<std::size_t> best;
    double bestScore = 0.0;
    std::vector<double> scores;
    const std::size_t first = std::max(from, kTurnSide);
    for (std::size_t f = first; f + kTurnSide < a.frames && f <= to; ++f) {
        const double rise = meanOver(a.frameDb, f, f + kTurnSide) - meanOver(a.frameDb, f - kTurnSide, f);
        const double turn = shapeDistance(a, f - kTurnSide, f, f, f + kTurnSide);
        const double score = std::fabs(rise) + turn;
        scores.push_back(turn < leastTurnDb ? 0.0 : score);
        if (turn < leastTurnDb || score < leastScoreDb) {
            continue;
        }
        if (score > bestScore) {
            bestScore = score;
            best = f;
        }
    }
    if (!best) {
        return best;
    }
    // One change can show as two contrasts (the level rising as a formant meets a harmonic, then
    // falling): the earliest of comparable strength, within 40 ms before the strongest, begins it.
    constexpr double kComparable = 0.6;
    const auto within = std::size_t(0.04 / kFrameHopSec);
    for (std::size_t f = std::max(first + 1, *best > within ? *best - within : 0); f < *best; ++f) {
        const double s = scores[f - first];
        if (s >= std::max(leastScoreDb, kComparable * bestScore) && s >= scores[f - first - 1] && s >= scores[f - first + 1]) {
            best = f;
            break;
        }
    }
    std::size_t peak = *best;
    for (std::size_t f = *best; f < *best + kTurnSide && f < a.frames; ++f) {
        peak = a.change[f] > a.change[peak] ? f : peak;
    }
    for (std::size_t f = *best; f > notBefore && f + kTurnSide >= *best; --f) {
        peak = a.change[f] > a.change[peak] ? f : peak;
    }
    constexpr double kBeganAt = 0.5; // of the peak rate
    std::size_t begin = peak;
    while (begin > notBefore && a.change[begin - 1] >= kBeganAt * a.change[peak]) {
        --begin;
    }
    return begin;
}

// The mouth opening from a murmur into its vowel, seen above 1 kHz: a nasal's or a glide's murmur
// is weak there (the mouth closed or narrow), and the vowel's upper formants arrive as it opens, so
// the level of the high bands rises sharply where the vowel begins, while the spectrum as a whole
// turns most later in the formants' glide. The steepest rise of that level (a median of three
// frames, so that one frame between harmonics does not count) within 40 ms of the turn, rising by
// 3 dB in all, begins where its rate first reached half its peak; it replaces the turn only when it
// lies before it (a glide from a high-front murmur, j, opens with a fall up there, and a rise after
// the turn is the vowel's own movement). The vowel's steady part is still looked for from the turn.
std::size_t mouthOpening(const Analysis& a, std::size_t settled, std::size_t turn, std::size_t last)
{
    constexpr double kLeastRiseDb = 3.0;
    constexpr std::size_t kWithin = 16; // frames either side of the turn (40 ms)
    auto high = [&](std::size_t f) {
        const double x = a.highDb[f - 1], y = a.highDb[f], z = a.highDb[f + 1];
        return std::max(std::min(x, y), std::min(std::max(x, y), z));
    };
    auto rate = [&](std::size_t f) { return high(f + 1) - high(f - 1); };
    const std::size_t from = std::max(settled + 3, turn > kWithin ? turn - kWithin : 0);
    const std::size_t to = std::min(turn + kWithin, last > 4 ? last - 4 : 0);
    double steepest = 0.0;
    std::size_t at = 0;
    for (std::size_t f = from; f <= to; ++f) {
        if (rate(f) > steepest) {
            steepest = rate(f);
            at = f;
        }
    }
    if (at == 0) {
        return turn;
    }
    std::size_t begin = at;
    while (begin > settled + 3 && rate(begin - 1) >= 0.5 * steepest) {
        --begin;
    }
    std::size_t end = at;
    while (end + 1 < to + 2 && rate(end + 1) >= 0.5 * steepest) {
        ++end;
    }
    const double rise = high(end + 1) - high(begin - 1);
    return rise >= kLeastRiseDb && begin < turn ? begin : turn;
}

struct MurmurEnd {
    std::size_t turn = 0;    // the spectrum's strongest turn (where the vowel's glide is under way)
    std::size_t opening = 0; // where the vowel begins
};

// A voiced consonant (a nasal's or a glide's murmur) before the vowel: the strongest turn in the
// first 0.3 s after the onset has settled. None for a vowel that begins on its own. (A murmur is
// usually quieter than its vowel, but not always: a nasal resonance on a low harmonic can outsound
// an open vowel, so the level's step counts either way.)
std::optional<MurmurEnd> murmurBoundary(const Analysis& a, const Span& voiced)
{
    constexpr double kLeastTurnDb = 1.0;        // a murmur differs in spectrum from its vowel
    constexpr double kLeastScoreDb = 4.0;       // and in spectrum and level together by this,
    constexpr double kAboveSteady = 2.5;        // and by this many times the vowel's own movement
    constexpr std::size_t kLookAhead = 12;      // the onset has settled when the next 30 ms
    constexpr double kSettledWithinDb = 2.0;    // grow less than this above it,
    constexpr double kSettledChangeDb = 3.0;    // and its spectrum moves less than this
    const auto reach = std::size_t(0.3 / kFrameHopSec);
    std::size_t settled = voiced.first;
    while (settled + kLookAhead < voiced.last) {
        const double ahead = *std::max_element(a.frameDb.begin() + std::ptrdiff_t(settled),
                                               a.frameDb.begin() + std::ptrdiff_t(settled + kLookAhead));
        if (a.frameDb[settled] >= ahead - kSettledWithinDb) {
            break;
        }
        ++settled;
    }
    // and its spectrum too, when it begins with a movement of its own.
    while (settled + kLookAhead < voiced.last && a.change[settled] > kSettledChangeDb) {
        ++settled;
    }
    const std::size_t to = std::min(settled + reach, voiced.last > 2 * kTurnSide ? voiced.last - 2 * kTurnSide : 0);
    const double steadyScore = steadyTurnScore(a, voiced);
    std::optional<std::size_t> turn =
        strongestTurn(a, settled + kTurnSide, to, kLeastTurnDb, std::max(kLeastScoreDb, kAboveSteady * steadyScore), settled);
    if (!turn) {
        // A high voice's sparse harmonics let a vibrato move the bands nearly as much as a glide
        // does; a weaker turn counts when the murmur as a whole and the 100 ms of vowel after the
        // formants' glide differ lastingly, where a vibrato's swing averages out.
        constexpr double kAboveSteadyLasting = 1.8;
        constexpr double kLeastLastingDb = 4.0;
        constexpr std::size_t kGlide = 24; // frames (60 ms)
        constexpr std::size_t kVowel = 40; // frames (100 ms)
        const std::optional<std::size_t> weaker = strongestTurn(a, settled + kTurnSide, to, kLeastTurnDb,
                                                                std::max(kLeastScoreDb, kAboveSteadyLasting * steadyScore), settled);
        if (weaker && *weaker > settled && *weaker + kGlide + kVowel < voiced.last) {
            const std::size_t vowel = *weaker + kGlide;
            const double step = meanOver(a.frameDb, vowel, vowel + kVowel) - meanOver(a.frameDb, settled, *weaker);
            const double lasting = std::fabs(step) + shapeDistance(a, settled, *weaker, vowel, vowel + kVowel);
            if (lasting >= kLeastLastingDb) {
                turn = weaker;
            }
        }
    }
    if (!turn) {
        return std::nullopt;
    }
    return MurmurEnd{*turn, mouthOpening(a, settled, *turn, voiced.last)};
}

// A second vowel after the first (a vowel-to-vowel unit): a clear turn of the spectrum after the
// first vowel has settled, followed by at least 0.2 s more of voicing at a held level. A consonant
// after the vowel (a nasal, a glide) turns the spectrum too, but its murmur ends sooner.
std::optional<std::size_t> secondVowel(const Analysis& a, std::size_t settled, const Span& voiced)
{
    constexpr double kLeastTurnDb = 4.0;
    constexpr double kLeastScoreDb = 5.0;
    constexpr double kLeastSecondVowelSec = 0.2;
    const auto after = std::size_t(kLeastSecondVowelSec / kFrameHopSec);
    if (voiced.last < after + settled + kTurnSide) {
        return std::nullopt;
    }
    const std::optional<std::size_t> turn =
        strongestTurn(a, settled + kTurnSide, voiced.last - after, kLeastTurnDb, kLeastScoreDb, settled);
    if (!turn) {
        return turn;
    }
    // Two vowels differ for longer than a vibrato's swing: the 100 ms before the change and the
    // 100 ms after its 60 ms differ too.
    constexpr std::size_t kLong = 40;
    constexpr std::size_t kMove = 24;
    const std::size_t held = *turn + kTurnSide;
    if (*turn < settled + kLong / 2 || held + after >= a.frames ||
        shapeDistance(a, *turn - kLong / 2, *turn, *turn + kMove, *turn + kMove + kLong) < kLeastTurnDb) {
        return std::nullopt;
    }
    // A vowel holds its level; a murmur that ends, its fade and a room's tail do not.
    constexpr double kHeldWithinDb = 6.0;
    const double level = meanOver(a.frameDb, held, held + kTurnSide);
    for (std::size_t f = held; f < held + after; ++f) {
        if (a.frameDb[f] < level - kHeldWithinDb) {
            return std::nullopt;
        }
    }
    return turn;
}

// The first frame from `from` on where the spectrum holds still (its change below what the steady
// part of the stretch shows, with some room) and the level has arrived (within 3 dB of the loudest
// of the next 100 ms).
std::size_t steadyFrom(const Analysis& a, std::size_t from, std::size_t last)
{
    std::vector<double> changes;
    const std::size_t mid0 = from + (last - from) / 4;
    const std::size_t mid1 = from + (last - from) * 3 / 4;
    for (std::size_t f = mid0; f <= mid1; ++f) {
        changes.push_back(a.change[f]);
    }
    const double steadyChange = std::max(1.0, 1.5 * median(changes));
    constexpr std::size_t kHold = 4;
    constexpr std::size_t kAhead = 40; // the level has arrived when it is within 3 dB of the next 100 ms
    for (std::size_t f = from; f + kHold <= last; ++f) {
        const double arrived = *std::max_element(a.frameDb.begin() + std::ptrdiff_t(f),
                                                 a.frameDb.begin() + std::ptrdiff_t(std::min(last, f + kAhead) + 1)) - 3.0;
        bool holds = true;
        for (std::size_t g = f; g < f + kHold && holds; ++g) {
            holds = a.change[g] <= steadyChange && a.frameDb[g] >= arrived;
        }
        if (holds) {
            return f;
        }
    }
    return from;
}

// The end of the steady vowel: the knee of the level where it leaves its plateau for the fade, the
// frame furthest above the chord from 60 ms before the fade is 6 dB down to where it is 12 dB down.
std::size_t steadyUntil(const Analysis& a, std::size_t steady, std::size_t last, std::size_t soundLastFrame)
{
    std::vector<double> levels;
    for (std::size_t f = steady; f <= last; ++f) {
        levels.push_back(a.frameDb[f]);
    }
    const double plateau = median(levels);
    std::size_t drop = soundLastFrame;
    for (std::size_t f = soundLastFrame; f > steady; --f) {
        if (a.frameDb[f] >= plateau - 12.0) {
            drop = f;
            break;
        }
    }
    // The knee lies shortly before the level has fallen by 6 dB: the search starts there, so that
    // a vibrato's swell long before the fade cannot pass for it.
    std::size_t halfway = drop;
    while (halfway > steady && a.frameDb[halfway] < plateau - 6.0) {
        --halfway;
    }
    const auto reach = std::size_t(0.06 / kFrameHopSec);
    const std::size_t start = halfway > steady + reach ? halfway - reach : steady;
    if (drop <= start + 1) {
        return start;
    }
    const double slope = (a.frameDb[drop] - a.frameDb[start]) / double(drop - start);
    std::size_t knee = drop;
    double best = -1e9;
    for (std::size_t f = start; f <= drop; ++f) {
        const double above = a.frameDb[f] - (a.frameDb[start] + slope * double(f - start));
        if (above > best) {
            best = above;
            knee = f;
        }
    }
    return knee;
}

} // namespace

std::optional<MarkerEstimate> estimateUnit(const float* samples, std::size_t count, int sampleRate,
                                           const std::string& kind, const MarkerEstimatorOptions& options)
{
    if (samples == nullptr || sampleRate <= 0 || (kind != "CV" && kind != "VX" && kind != "INDIE")) {
        return std::nullopt;
    }
    if (double(count) < double(sampleRate) * options.shortestUnitSec) {
        return std::nullopt;
    }
    Analysis a;
    a.x = std::span<const float>(samples, count);
    a.rate = double(sampleRate);
    measureLevels(a, options);
    const std::optional<Span> sound = findSound(a, options);
    if (!sound) {
        return std::nullopt;
    }
    MarkerEstimate e;
    e.backgroundDb = a.backgroundDb;
    e.soundStart = soundOnset(a, sound->first);
    e.soundEnd = soundOffset(a, sound->last);
    if (e.soundEnd - e.soundStart < options.shortestUnitSec) {
        return std::nullopt;
    }
    if (kind == "INDIE") {
        e.markers = {e.soundStart, e.soundEnd};
        return e;
    }
    measureFrames(a, options);
    const std::optional<Span> voiced = findVoiced(a, options, e.soundStart, e.soundEnd);
    if (!voiced) {
        return std::nullopt;
    }
    e.voicedStart = std::max(e.soundStart, voicingOnset(a, *voiced, e.soundStart));
    e.voicedEnd = std::min(e.soundEnd, a.frameTime(voiced->last));
    const std::size_t soundLastFrame = a.frameAt(e.soundEnd);

    if (kind == "VX") {
        const std::size_t steady = steadyFrom(a, a.frameAt(e.voicedStart), voiced->last);
        const double connect = std::clamp(a.frameTime(steady), e.voicedStart, e.soundEnd);
        double tail = e.soundEnd;
        if (const std::optional<std::size_t> second = secondVowel(a, steady, *voiced)) {
            // Vowel to vowel: the unit ends where the second vowel has arrived.
            tail = a.frameTime(steadyFrom(a, *second, voiced->last));
        }
        e.markers = {connect, std::clamp(tail, connect, e.soundEnd)};
        return e;
    }

    // CV. A consonant heard before the voicing is unvoiced; one voiced from its start shows as a
    // murmur that the vowel takes over from.
    constexpr double kLeastUnvoicedSec = 0.012; // a short burst is unvoiced too
    double preutterance = e.voicedStart;
    std::size_t vowelFrom = a.frameAt(e.voicedStart);
    double cp = e.soundStart;
    if (e.voicedStart - e.soundStart >= kLeastUnvoicedSec) {
        // Recorded after a sound of its own (a vowel before the consonant, as in a VCV): the
        // consonant begins where that sound's voicing ends, a plosive's closure with it. The
        // voicing must have ended well before the vowel's (a murmur whose voice only a breathy
        // singer's noise hid runs on into it).
        constexpr double kApartSec = 0.025; // the analysis window reaching into the vowel
        const double until = e.voicedStart - kApartSec;
        const std::optional<Span> before = findVoiced(a, options, e.soundStart, until);
        if (before && before->last + kVoicedGapFrames < a.frameAt(until)) {
            // Into a closure the voice fades out, and the closure begins where the fade does (the
            // knee of the level, as at a vowel's end); into a fricative the voicing ends where the
            // noise takes over.
            bool closure = false;
            for (std::size_t st = a.stepAt(a.frameTime(before->last)); st < a.stepAt(e.voicedStart) && !closure; ++st) {
                closure = a.centreDb[st] < a.soundDb;
            }
            const std::size_t end = closure ? steadyUntil(a, steadyFrom(a, before->first, before->last), before->last,
                                                          before->last + kVoicedGapFrames)
                                            : before->last;
            cp = std::min(a.frameTime(end), e.voicedStart);
        }
    }
    if (e.voicedStart - e.soundStart < kLeastUnvoicedSec) {
        preutterance = e.soundStart;
        if (const std::optional<MurmurEnd> boundary = murmurBoundary(a, *voiced)) {
            preutterance = a.frameTime(boundary->opening);
            vowelFrom = boundary->turn;
        }
    }
    if (e.voicedStart - e.soundStart < kLeastUnvoicedSec && preutterance == e.soundStart) {
        // No murmur, but a vowel recorded after another (as in a VCV): the unit begins where the
        // second vowel does, the same clear and lasting turn that ends a vowel-to-vowel unit.
        if (const std::optional<std::size_t> second =
                secondVowel(a, steadyFrom(a, a.frameAt(e.voicedStart), voiced->last), *voiced)) {
            cp = a.frameTime(*second);
            preutterance = cp;
            vowelFrom = *second;
        }
    }
    const std::size_t steady = steadyFrom(a, vowelFrom, voiced->last);
    const std::size_t until = steadyUntil(a, steady, voiced->last, soundLastFrame);
    const double pp = std::max(cp, preutterance);
    const double vs = std::clamp(a.frameTime(steady), pp, e.soundEnd);
    const double ve = std::clamp(a.frameTime(until), vs, e.soundEnd);
    e.markers = {cp, pp, vs, ve};
    return e;
}

std::optional<std::vector<double>> estimateMarkers(const float* samples, std::size_t count, int sampleRate,
                                                   const std::string& kind, const MarkerEstimatorOptions& options)
{
    std::optional<MarkerEstimate> e = estimateUnit(samples, count, sampleRate, kind, options);
    if (!e) {
        return std::nullopt;
    }
    return std::move(e->markers);
}

} // namespace TessarinEngineV6
