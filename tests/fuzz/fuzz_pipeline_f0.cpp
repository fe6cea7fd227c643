// The whole analysis of a short unit with an arbitrary f0 track: the bytes choose the unit's length,
// a tone and a noise level, then give the track as raw 32-bit floats (every bit pattern: NaN,
// infinities, negatives, denormals, values above half the sample rate), of any length. No track may
// crash the analysis, make it read outside a buffer or leave a value that is not finite.

#include "core/AnalysisRandom.h"
#include "engine/AnalysisPipeline.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) {
        return 0;
    }
    // 256 … 8192 samples: long enough for every step, short enough for many runs a second.
    const std::size_t sampleCount = 256 + (std::size_t(data[0]) << 5);
    const double toneHz = 60.0 + 8.0 * double(data[1]);
    const float noise = float(data[2]) / 255.0f;
    const int lengthChange = int(data[3] % 5) - 2; // the track may be up to two frames short or long
    data += 4;
    size -= 4;

    std::vector<float> samples(sampleCount);
    std::uint32_t state = 2463534242u;
    for (std::size_t i = 0; i < sampleCount; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const float white = float(state) / 4294967296.0f * 2.0f - 1.0f;
        samples[i] = 0.5f * float(std::sin(6.283185307179586 * toneHz * double(i) / 44100.0)) + noise * white;
    }

    const long frames = long(sampleCount / 128 + 1) + lengthChange;
    std::vector<float> track(std::size_t(frames > 0 ? frames : 0), 0.0f);
    for (std::size_t i = 0; i < track.size() && 4 * (i + 1) <= size; ++i) {
        std::memcpy(&track[i], data + 4 * i, 4);
    }
    const TessarinEngineV6::F0Stage stage = [&track](std::span<const float>, bool, Tessarin::FastVector<float>& f0) {
        f0.clear();
        for (const float v : track) {
            f0.push_back(v);
        }
    };

    TessarinEngineV6::AnalysisSettings settings;
    TSVM_V0::TsVoiceModel model;
    Tessarin::AnalysisRandom random(1);
    TessarinEngineV6::analyse(settings, samples, model, false, random, stage);

    for (std::uint32_t i = 0; i < model.f0.size(); ++i) {
        const float f = model.f0[i];
        if (!(f == 0.0f || (f >= 20.0f && f < 22050.0f))) {
            std::abort(); // a frame the analysis could not measure stayed voiced
        }
    }
    for (const Tessarin::FrameSeries* s : {&model.noiseEnvelope, &model.spectralEnvelope, &model.harmonicPhase,
                                           &model.bandLevels}) {
        for (std::uint32_t i = 0; i < s->values.size(); ++i) {
            if (!std::isfinite(s->values[i])) {
                std::abort();
            }
        }
    }
    for (std::uint32_t i = 0; i < model.glottalGain.size(); ++i) {
        if (!std::isfinite(model.glottalGain[i]) || !std::isfinite(model.pulseRatio[i])) {
            std::abort();
        }
    }
    return 0;
}
