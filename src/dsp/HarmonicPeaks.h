#pragma once

// Measurement of every harmonic of the fundamental, frame by frame: the windowed frame's Fourier
// transform is evaluated exactly at k · f0 with a chirp-z transform, and each value is referred to
// the frame centre. The result fills a PeakTracks with one frame per f0 frame.

#include "core/AnalysisConstants.h"
#include "dsp/PeakTracks.h"

#include <array>
#include <complex>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

struct kiss_fft_state;

namespace Tessarin {

struct HarmonicAnalysisParameters {
    int sampleRate = kSampleRate; // [Hz]
    int hop = kHop;               // [samples] between frame centres
};

// A zero-amplitude harmonic (a frame outside the source, or an exact null) has no finite level; it
// is stored at kLevelFloorOfSilenceDb.

// Fundamentals below this have no harmonics measured: their frames would be seconds long.
inline constexpr float kLowestMeasuredF0Hz = 20.0f;

// Scratch of the chirp-z transform, grown to the largest size seen and reused for every frame.
class ChirpZWorkspace {
public:
    ChirpZWorkspace();
    ~ChirpZWorkspace();
    ChirpZWorkspace(const ChirpZWorkspace&) = delete;
    ChirpZWorkspace& operator=(const ChirpZWorkspace&) = delete;

    // X_k = Σ_n x[n] · A^(−n) · W^(n·k) for k < M, A = Ar·e^(i·Aa), W = Wr·e^(i·Wa), by Bluestein's
    // method with power-of-two FFTs. re and im hold M values.
    void transform(std::span<const float> x, int m, double ar, double aa, double wr, double wa, std::span<float> re,
                   std::span<float> im);

private:
    struct PlanDeleter {
        void operator()(kiss_fft_state* p) const;
    };
    struct Plans {
        std::unique_ptr<kiss_fft_state, PlanDeleter> forward;
        std::unique_ptr<kiss_fft_state, PlanDeleter> inverse;
    };
    const Plans& plansFor(int size);

    std::map<int, Plans> m_plans;
    std::vector<std::complex<double>> m_chirp;
    std::vector<std::complex<float>> m_y;
    std::vector<std::complex<float>> m_v;
    std::vector<std::complex<float>> m_spectrumY;
    std::vector<std::complex<float>> m_spectrumV;
};

// Measures the harmonics of a whole source. Frame e is centred on sample e · hop; every f0 frame gets
// a HarmonicFrame, empty where f0 is 0. The largest point count is raised, never reset.
class HarmonicAnalyser {
public:
    explicit HarmonicAnalyser(HarmonicAnalysisParameters parameters = {}) : m_parameters(parameters) {}

    void build(std::span<const float> samples, std::span<const float> f0, PeakTracks& out);

    // H harmonics of one cut frame of L samples into out: unit-sum Blackman window, chirp-z at k · f0,
    // rotation to the frame centre, level 20·log10|X| [dB] and phase atan2 [rad].
    void measureHarmonics(std::span<const float> frame, float f0, int harmonicCount, HarmonicFrame& out);

    // Period P = round(sampleRate / f0), frame length 4P, harmonics trunc(sampleRate / 2 / f0).
    static int periodSamples(float f0, int sampleRate);
    static int harmonicCount(float f0, int sampleRate);

private:
    // The unit-sum Blackman window of a frame length. The windows of the last 32 lengths (up to four
    // periods at 55 Hz) are kept in one block made on first use, so a vibrato that moves the period
    // back and forth does not make them again frame after frame; a longer frame's window is made
    // into m_window whenever the length changes.
    std::span<const float> windowFor(std::size_t length);

    static constexpr std::size_t kWindowSlots = 32;
    static constexpr std::size_t kWindowSlotCapacity = 3208;

    HarmonicAnalysisParameters m_parameters;
    ChirpZWorkspace m_chirp;
    std::vector<float> m_cut;
    std::vector<float> m_frame;
    std::vector<float> m_window;
    std::vector<float> m_windowSlots;                          // kWindowSlots · kWindowSlotCapacity
    std::array<std::size_t, kWindowSlots> m_slotLength{};      // 0: empty
    std::array<std::uint64_t, kWindowSlots> m_slotLastUse{};
    std::uint64_t m_windowUses = 0;
    std::vector<float> m_re;
    std::vector<float> m_im;
};

} // namespace Tessarin
