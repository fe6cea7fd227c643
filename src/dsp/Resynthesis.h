#pragma once

// Renders the harmonic part of a source back into samples: every frame's points become a sum of
// cosines with their measured levels and centre-referred phases, shaped by a Hann window two hops
// long and overlap-added on the hop grid.

#include "core/FastVector.h"
#include "dsp/PeakTracks.h"

#include <span>

namespace Tessarin {

// Sizes out to hop · frameCount samples and fills it. Frame e is centred on sample e · hop; the parts
// of a frame's block before sample 0 or past the end are dropped.
void resynthesise(const PeakTracks& tracks, int hop, float sampleRate, FastVector<float>& out);

// Zeroes block and adds, for every point, A · cos(φ + (j − n div 2) · ω) with A = 2 · 10^(L/20) and
// ω = 2π · f / sampleRate, by the cosine recurrence started from two exactly computed values.
void renderFrame(std::span<const float> phases, std::span<float> block, std::span<const float> levels,
                 std::span<const float> frequencies, float sampleRate);

} // namespace Tessarin
