#pragma once

// The smooth spectral envelope of a voiced frame, made from its harmonic levels: the harmonics are
// turned back into the magnitude spectrum of a Hann window three periods long, smoothed over two
// thirds of the harmonic spacing, liftered in the cepstral domain (a pitch-adaptive smoothing lifter
// and a compensation lifter), and shifted to pass through the measured harmonics on average.
//
// Levels in dB. The envelope is kept on the 43.07 Hz grid of a 1024-point transform at 44100 Hz.

#include "core/FrameSeries.h"
#include "dsp/LinearTable.h"
#include "dsp/Spectrum.h"

#include <map>
#include <memory>
#include <span>
#include <vector>

namespace Tessarin {

inline constexpr int kCompactEnvelopeSize = 256;
inline constexpr int kFullEnvelopeSize = 512;

// The bit-pattern approximations of log2 and 2^p used for the harmonic amplitudes.
float fasterLog2(float x);
float fasterPow2(float p);

// The magnitude of the transform of a Hann window of M samples, y bins away from a component, for a
// transform of N points.
float hannKernel(float y, int windowLength, int transformLength);
// The same at y0, y0 + 1, … for the length of out: the sines of the three Dirichlet kernels are
// stepped by angle addition in double precision instead of six sine calls per value.
void hannKernelRun(double y0, int windowLength, int transformLength, std::span<float> out);

// What hannKernelRun's recurrences share for one window and transform length (the bin step and the
// rotation per step), made once for all the harmonics of a frame.
struct HannKernelSteps {
    HannKernelSteps(int windowLength, int transformLength);
    double step = 1.0;
    double nd = 0.0; // transform length, after the power-of-two widening
    double md = 0.0; // window length
    double delta = 0.0;
    double sinTopStep = 0.0;
    double cosTopStep = 0.0;
    double sinBottomStep = 0.0;
    double cosBottomStep = 0.0;
};
void hannKernelRun(double y0, const HannKernelSteps& steps, std::span<float> out);

// Transform size factor of the scaled path: 1 when f0 > sampleRate / 256, else the smallest power of
// two F ≥ 2 with sampleRate / 256 < f0 · F.
int envelopeScale(float f0, float sampleRate);

class SpectralEnvelope {
public:
    // 256 values: bins 0 .. 127, then every second bin to 254, then every fourth to 508.
    void compact(FrameMags& out, float f0, std::span<const float> levels, int harmonicCount, float sampleRate = 44100.0f);
    // 512 values on the bins k · sampleRate / 1024.
    void full(FrameMags& out, float f0, std::span<const float> levels, int harmonicCount, float sampleRate = 44100.0f);
    // One envelope computation: N / 2 values [dB] on the bins k · sampleRate / N, into out.
    void compute(float f0, std::span<const float> levels, int harmonicCount, float sampleRate, int n,
                 std::span<float> out);

private:
    FreqBox& boxFor(int n);

    std::map<int, std::unique_ptr<FreqBox>> m_boxes;
    std::vector<float> m_scratch;
    std::vector<float> m_kernel;
    std::vector<float> m_smoothed;
    std::vector<float> m_cepstrum;
    std::vector<float> m_envelope;
    std::vector<float> m_grid;
    std::vector<float> m_full;
    FrameMags m_whole;
    LinearTable m_table;
};

} // namespace Tessarin
