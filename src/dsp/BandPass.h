#pragma once

// Zero-phase band-pass filtering with fourth-order Chebyshev type I filters (0.5 dB ripple) taken
// from two tables of 48 cutoffs, 0.02 · (r + 1) of the Nyquist frequency, and the band-limited
// Gaussian noise built with them.
//
// Edges are fractions of the Nyquist frequency (2 · f / sample rate). Filters run sample by sample in
// single precision. The tables are designed once, on first use, and are then read-only; everything
// else here holds no shared state.

#include "core/AnalysisRandom.h"

#include <array>
#include <span>
#include <vector>

namespace Tessarin {

inline constexpr int kChebyshevRows = 48;
inline constexpr int kChebyshevOrder = 4;

struct FilterCoefficients {
    std::array<float, 5> b{}; // numerator b0 .. b4
    std::array<float, 5> a{}; // denominator a0 .. a4, a0 = 1
    int count = 5;
};

// The designed tables: row r has its cutoff at 0.02 · (r + 1) of Nyquist; gain 10^(−0.5/20) at DC
// (low-pass) or at Nyquist (high-pass).
const std::array<FilterCoefficients, kChebyshevRows>& chebyshevTable(bool highPass);

// The design itself, in double precision: order-4, 0.5 dB Chebyshev type I by the bilinear transform
// with pre-warping. cutoff is a fraction of Nyquist in (0, 1).
void designChebyshev(double cutoff, bool highPass, std::array<double, 5>& b, std::array<double, 5>& a);

// Row of an edge x: x · 2 / 0.02 − 1 rounded half away from zero, clamped to 0 .. 47.
int selectRowIndex(float x);
const FilterCoefficients& selectRow(float x, bool highPass);

// Input and output history of one filter, zero at start.
struct FilterState {
    std::array<float, 5> in{};
    std::array<float, 5> out{};
    void reset() { *this = FilterState{}; }
};

// Direct form I: y = b0·x + Σ b_k·x[n−k] − Σ a_k·y[n−k]; the state shifts by one sample.
float filterSample(const FilterCoefficients& c, FilterState& state, float x);

// Forwards with a zero state, reversed, forwards again with a fresh zero state, reversed back.
std::vector<float> zeroPhaseFilter(const FilterCoefficients& c, std::span<const float> signal);
// The same into out, through work (both the size of signal; out may be signal).
void zeroPhaseFilter(const FilterCoefficients& c, std::span<const float> signal, std::span<float> out,
                     std::span<float> work);

// Forwards into out, then backwards over out continuing with the state of the forward pass (not
// cleared, so the first samples differ slightly from the allocating form). out may be signal.
void zeroPhaseFilterInPlace(const FilterCoefficients& c, std::span<const float> signal, std::span<float> out);

// Band-pass between lo and hi (fractions of Nyquist, clamped to 0 .. 1): high-pass at lo and then
// low-pass at hi when both are inside; high-pass only when hi reaches 1; low-pass only when lo is 0.
std::vector<float> bandPass(std::span<const float> signal, float lo, float hi);
// The same arithmetic into out (the size of signal; it may be signal), with work of that size too.
void bandPass(std::span<const float> signal, float lo, float hi, std::span<float> out, std::span<float> work);
void bandPassInPlace(std::span<const float> signal, float lo, float hi, std::span<float> out);

// One signal band-passed into several bands at once: outs[b] receives exactly what
// bandPass(signal, lo[b], hi[b], outs[b], work) gives, without a work buffer. The bands' filters run
// side by side (each filter is a chain of dependent multiply-adds; a few independent ones fill the
// gaps). lo, hi and outs have one entry per band; every out is the size of signal and none may be
// signal itself.
void bandPasses(std::span<const float> signal, std::span<const float> lo, std::span<const float> hi,
                std::span<const std::span<float>> outs);

// The per-sample band filter of the noise bank: an optional high-pass and an optional low-pass part,
// run forwards one sample at a time.
class BandFilter {
public:
    void setup(float lo, float hi);
    float step(float x);

    int highPassCount() const { return m_highPass ? m_highPass->count : -1; }
    int lowPassCount() const { return m_lowPass ? m_lowPass->count : -1; }

private:
    const FilterCoefficients* m_highPass = nullptr;
    const FilterCoefficients* m_lowPass = nullptr;
    FilterState m_highState;
    FilterState m_lowState;
};

// Gaussian noise limited to each of a few bands. Mode 0 keeps one band-passed sequence of N + 528
// samples per band; mode 1 keeps a warmed-up BandFilter per band that filters fresh noise per sample.
class BandNoiseBank {
public:
    static constexpr int kSequencePadding = 528;
    static constexpr int kWarmUpSamples = 64;

    // Band i covers [edge(i − 1), edge(i)] Hz with edge(−1) = 0; upperEdgesHz holds edge(0) ...
    BandNoiseBank(int bandCount, int n, float sampleRate, std::span<const float> upperEdgesHz, int mode,
                  AnalysisRandom& random);

    int bandCount() const { return m_bandCount; }
    int mode() const { return m_mode; }
    // Mode 0: the band's stored sequence (N + 528 samples).
    std::span<const float> sequence(int band) const { return m_sequences[std::size_t(band)]; }
    // Mode 1: the next filtered noise sample of the band.
    float nextSample(int band, AnalysisRandom& random);

private:
    int m_bandCount;
    int m_n;
    float m_sampleRate;
    std::vector<float> m_upperEdges;
    int m_mode;
    std::vector<std::vector<float>> m_sequences;
    std::vector<BandFilter> m_filters;
};

} // namespace Tessarin
