#pragma once

// A voice model built by hand, field by field, for tests, fuzz seeds and benchmarks of the model
// files and of whatever reads models.

#include "dsp/PeakTracks.h"
#include "engine/VoiceModel.h"

#include <vector>

namespace lvtest {

// A model of `frames` frames with distinct values in every field; frame 1 unvoiced.
inline TSVM_V0::TsVoiceModel handBuiltModel(int frames)
{
    TSVM_V0::TsVoiceModel m;
    for (int i = 0; i < 300; ++i) {
        m.samples.push_back(short(i * 97 - 14000));
    }
    for (int i = 0; i < frames; ++i) {
        const bool voiced = i != 1;
        m.f0.push_back(voiced ? 200.0f + float(i) : 0.0f);
        std::vector<float> noise(128);
        for (int b = 0; b < 128; ++b) {
            noise[std::size_t(b)] = -40.0f - float(b) * 0.25f - float(i);
        }
        m.noiseEnvelope.appendFrame(noise);
        Tessarin::HarmonicFrame& peaks = m.peaks.addFrame();
        std::vector<float> phase;
        std::vector<float> envelope;
        if (voiced) {
            for (int k = 1; k <= 4 + i; ++k) {
                Tessarin::PeakTracks::appendPoint(peaks, float(k) * m.f0.back(), -10.0f * float(k), 0.1f * float(k));
                phase.push_back(0.5f * float(k));
            }
            envelope.assign(256, -30.0f + float(i));
        }
        m.harmonicPhase.appendFrame(phase);
        m.spectralEnvelope.appendFrame(envelope);
        m.glottalIndex.push_back(voiced ? 90 + i : -1);
        m.glottalGain.push_back(voiced ? 3.5f : 0.0f);
        m.bandLevels.appendFrame(std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f, 0.5f + float(i)});
        m.pulseRatio.push_back(voiced ? 0.25f : 1.0f);
    }
    m.peaks.largestPointCount = 4 + frames - 1;
    return m;
}

} // namespace lvtest
