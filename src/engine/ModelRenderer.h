#pragma once

// Renders a whole voice model back to 16-bit samples: per frame on the 128-sample hop, the harmonics
// (glottal template + gain + spectral envelope, phases continued from frame to frame) and the noise
// (band noise weighted by the band levels, reshaped to the 128-band noise envelope with random phases,
// modulated pitch-synchronously by the glottal flow in voiced frames). Each frame is one 512-point
// block made through the inverse FFT: the harmonics are placed in the spectrum as main lobes of the
// unit-sum Blackman-Harris window, so the block is the windowed sum of cosines. The block is weighed
// by the synthesis window (that window, with its central two hops replaced by a triangle divided by
// it, which turns the windowed block into a triangle-windowed one there) and overlap-added into the
// 16-bit output, each frame's values truncated as they are added.
//
// The analysis uses it to calibrate the noise envelope; it is also how a model is listened to.
// One renderer per thread; it keeps its scratch between calls.

#include "core/AnalysisConstants.h"
#include "core/AnalysisRandom.h"
#include "dsp/BandPass.h"
#include "dsp/LinearTable.h"
#include "dsp/NoiseFilterBank.h"
#include "dsp/Spectrum.h"
#include "engine/VoiceModel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace TessarinEngineV6 {

// The glottal flow of one template over a period: the running sum of its 100-sample pulse, and the
// pulse gain that the noise envelope carries for a given pulse ratio.
struct GlottalFlow {
    std::array<float, 100> flow{};
    float maximum = 0.0f;
    float minimum = 0.0f;
    float sum = 0.0f;
    float flowMax = 0.0f; // the larger flow value at ⌊100·tp⌋ and one above

    static GlottalFlow ofTemplate(int index);
    // 1 / (((s − 100·m)/(M − m)·(1 − r) + 100·r) / 100), or 1 when the flow is flat.
    float pulseGain(float pulseRatio) const;
};

// Flows of the templates, computed when first asked for.
class GlottalFlowCache {
public:
    const GlottalFlow& get(int index);

private:
    std::array<std::optional<GlottalFlow>, Tessarin::kLfTemplateCount> m_flows;
};

class ModelRenderer {
public:
    static constexpr int kBlock = 512;
    static constexpr int kHop = Tessarin::kHop;

    ModelRenderer();

    // sampleCount samples at 44100 Hz: 16-bit values, each frame's contribution truncated toward zero
    // and the sums kept within the 16-bit range. The noise draws from random.
    std::vector<std::int16_t> render(const TSVM_V0::TsVoiceModel& model, std::uint32_t sampleCount,
                                     Tessarin::AnalysisRandom& random);
    // The same into out (resized to sampleCount; its storage is reused).
    void render(const TSVM_V0::TsVoiceModel& model, std::uint32_t sampleCount, Tessarin::AnalysisRandom& random,
                std::vector<std::int16_t>& out);

    // The synthesis window: the unit-sum Blackman-Harris window with its central 2·hop samples
    // replaced by the triangular window divided by it.
    std::span<const float> synthesisWindow() const { return m_synthesisWindow; }

    // One block of harmonics in natural order (its centre at sample kBlock / 2), made through the
    // inverse FFT: sample t from the centre is w(t) · Σ 2·10^(L/20)·cos(2π·f·t/44100 + φ), w the
    // unit-sum Blackman-Harris window, up to the main-lobe truncation (about −75 dB of each harmonic).
    void harmonicBlock(std::span<const float> levels, std::span<const float> frequencies,
                       std::span<const float> phases, std::span<float> block);

private:
    void renderNoise(const TSVM_V0::TsVoiceModel& model, int frame, Tessarin::AnalysisRandom& random,
                     const Tessarin::BandNoiseBank& bank);
    void modulate(const TSVM_V0::TsVoiceModel& model, int frame);
    // Adds frame's harmonics to m_block; false when the frame has none.
    bool addHarmonics(const TSVM_V0::TsVoiceModel& model, int frame);

    Tessarin::NoiseFilterBank m_noiseBands;
    Tessarin::FreqBox m_box;
    std::vector<float> m_analysisWindow;  // unit-sum Blackman-Harris
    std::vector<float> m_synthesisWindow; // triangle / analysis window in the centre, the analysis window elsewhere
    std::vector<float> m_noiseShape;      // the analysis window at the power of windowed noise
    std::vector<float> m_noise;
    std::vector<float> m_block;
    std::vector<float> m_harmonics;
    std::vector<float> m_levels;
    std::vector<float> m_gains;
    std::vector<float> m_centres;
    std::vector<float> m_harmonicLevels;
    std::vector<float> m_harmonicFrequencies;
    std::vector<float> m_harmonicPhases;
    std::vector<float> m_gridHz;
    Tessarin::FastVector<float> m_template;
    Tessarin::FrameMags m_frame;
    Tessarin::LinearTable m_table;
    GlottalFlowCache m_flows;
    double m_fundamentalPhase = 0.0;
    float m_previousF0 = 0.0f;
};

// Frequencies [Hz] of the 256 values of a compact envelope.
const std::array<float, 256>& compactEnvelopeGrid();

} // namespace TessarinEngineV6
