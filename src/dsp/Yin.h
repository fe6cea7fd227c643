#pragma once

// The per-frame YIN measurements of the pitch tracker: the difference function, its cumulative
// mean normalisation, the dips of the normalised function and the plain YIN estimate.

#include <cstddef>
#include <span>
#include <vector>

namespace Tessarin {

// One dip of the normalised difference function.
struct YinCandidate {
    float dip = 0.0f;       // normalised difference at the integer lag
    float frequency = 0.0f; // [Hz], from the parabolically refined lag
};

// d(τ) = Σ_{j=0}^{windowLength−1} (x[s + j] − x[s + j + τ])², s = centre − windowLength/2 − τ/2
// (integer divisions), for τ = 0 … lags − 1. The compared stretches stay centred on the frame while
// the lag grows.
//
// yinDifferenceFrames gives it for consecutive frames, centred on firstCentre + f · hop
// (f = 0 … frames − 1), into d[f · lags + τ]. The sums run over stretches of the hop grid (each
// squared difference is formed once per lag, not once per frame), in an order fixed by the grid:
// a frame's values are the same bits whether it is computed alone or among others, and in every
// version below; against a plain sum in window order they differ only in rounding.
//   x: the samples, widened to double; every sample the frames reach must lie in x
//      (yinReachBefore before the first centre, yinReachAfter after the last), else
//      std::invalid_argument. The caller zero-pads a source's ends.
//   scratch: grown to what the frames need and kept, so a loop over blocks allocates once.
void yinDifferenceFrames(std::span<const double> x, std::ptrdiff_t firstCentre, int hop, int windowLength,
                         std::size_t frames, std::size_t lags, std::span<double> d, std::vector<double>& scratch);
std::ptrdiff_t yinReachBefore(int windowLength, std::size_t lags); // [Sample]
std::ptrdiff_t yinReachAfter(int windowLength, std::size_t lags);  // [Sample]

// One frame of the 128-sample grid, centred on sample centre of x, with d.size() lags; samples
// outside x read as 0. The same bits as that frame of yinDifferenceFrames. It copies the frame's
// neighbourhood into a buffer of its own: for checks and tools, not for a loop over frames.
void yinDifference(std::span<const double> x, std::ptrdiff_t centre, int windowLength, std::span<double> d);

// The instruction sets the difference function has code for. Every one gives the same result bit
// for bit (the additions happen in the same order); the unqualified forms take the fastest the
// processor has.
enum class YinIsa { Portable, Avx2, Avx512 };
bool yinIsaSupported(YinIsa isa);
YinIsa yinFastestIsa();
// Throw std::invalid_argument when the processor lacks isa.
void yinDifferenceFrames(YinIsa isa, std::span<const double> x, std::ptrdiff_t firstCentre, int hop,
                         int windowLength, std::size_t frames, std::size_t lags, std::span<double> d,
                         std::vector<double>& scratch);
void yinDifference(YinIsa isa, std::span<const double> x, std::ptrdiff_t centre, int windowLength,
                   std::span<double> d);

// d'(0) = 1; d'(τ) = τ · d(τ) / max(d(1) + … + d(τ), 1e-10). dn has the size of d.
void yinNormalise(std::span<const double> d, std::span<double> dn);

// The strict dips of dn below 1 at lags 1 … size − 2, in increasing lag, each with the frequency
// of the lag refined by a parabola through d. Returns the index (into candidates) of the first
// deepest dip, or −1 when there is none. candidates is cleared first; give it capacity
// d.size() / 2 to keep this free of allocation.
int yinCandidates(std::span<const double> d, std::span<const double> dn, float sampleRateHz,
                  std::vector<YinCandidate>& candidates);

// The YIN estimate for one threshold [Hz]: the first candidate up to the deepest whose dip is
// below the threshold, or else the deepest one; 0 without candidates. A qualifying candidate
// whose frequency is 0 (a degenerate parabola) ends the walk, and the deepest one answers.
float yinPlainEstimate(std::span<const YinCandidate> candidates, int globalIndex, float threshold);

} // namespace Tessarin
