#pragma once

// One frame of per-bin or per-band values (FrameMags) and a jagged series of such frames stored
// back to back (FrameSeries), as the voice model keeps its per-frame spectra.

#include "core/FastVector.h"

#include <cstdint>
#include <span>

namespace Tessarin {

struct FrameMags : FastVector<float> {
    std::int32_t fftSize = 512;   // analysis FFT length the values belong to
    float sampleRate = 44100.0f; // [Hz]
};

struct FrameSeries {
    std::int32_t size = 512;       // FFT length the frames belong to
    float sampleRate = 44100.0f;   // [Hz]
    std::int32_t frameCount = 0;
    FastVector<int> offsets;       // start of each frame in values
    FastVector<int> lengths;       // element count of each frame
    FastVector<float> values;      // every frame, concatenated

    void appendFrame(std::span<const float> frame);
    void appendFrame(const FrameMags& frame) { appendFrame(frame.span()); }

    // Copies frame i into out with this series' size and sample rate. A frame whose stored length
    // is below 1 leaves out empty with its header untouched. A frame that does not lie inside
    // values (only possible for a series read from a damaged file) or an index out of range also
    // leaves out empty, and returns false.
    bool getFrame(std::int32_t i, FrameMags& out) const;

    void clear();
    // Room for this many frames and values in all, so that appending them does not reallocate.
    void reserve(std::uint32_t frames, std::uint32_t valueCount);
};

} // namespace Tessarin
