#pragma once

// The analysed model of one unit, in its full form (TsVoiceModel, as the analysis fills it) and its
// compact form (TsVoiceModelCompact, as a source keeps it and the voice bank stores it), with the
// conversions between them and the compact serialisation.
//
// In the compact form the harmonic peaks are packed: per frame only the harmonic count, the first
// harmonic's frequency and the levels are kept.

#include "core/FastVector.h"
#include "core/FrameSeries.h"
#include "core/MemoryStream.h"
#include "dsp/PeakTracks.h"

#include <cstdint>
#include <vector>

namespace TSVM_V0 {

using Tessarin::CMemoryBuffer;
using Tessarin::CMemoryStream;
using Tessarin::FastVector;
using Tessarin::FrameSeries;
using Tessarin::PeakTracks;

class TsVoiceModel {
public:
    TsVoiceModel(std::int32_t fftSize = 512, float sampleRate = 44100.0f);
    virtual ~TsVoiceModel() = default;
    TsVoiceModel(TsVoiceModel&&) = default;
    TsVoiceModel& operator=(TsVoiceModel&&) = default;

    std::int32_t hop = 128;
    std::int32_t fftSize = 512;
    float sampleRate = 44100.0f;
    FastVector<short> samples; // 16-bit samples, bytes swapped and the moved-down byte inverted
    PeakTracks peaks;
    FrameSeries noiseEnvelope;    // 128 noise band levels per frame [dB]
    FastVector<float> f0;         // [Hz], 0 = unvoiced
    FrameSeries harmonicPhase;    // phases left after the pulse phase is removed [rad]
    FrameSeries spectralEnvelope; // harmonic envelope with the glottal template removed [dB]
    FastVector<int> glottalIndex;
    FastVector<float> glottalGain; // [dB]
    FrameSeries bandLevels;        // five residual band levels per frame
    FastVector<float> pulseRatio;
    FastVector<float> reservedTrack; // never filled
};

// The packed peak store: one record per frame, back to back. A record is the harmonic count n, and
// for n > 0 the first harmonic's frequency, n again and the n levels.
struct PackedPeaks {
    PackedPeaks() : bytes(128) {}

    CMemoryBuffer bytes;
    std::vector<std::int32_t> offsets; // byte offset of each frame's record
    std::vector<float> sharedFrequencies;
    std::int32_t frameCount = 0;
    float sharedFlag = -1.0f;
    std::int32_t maxPeakCount = 0;

    void clear();
    // Frame i as peaks: frequencies (k + 1) · base (or the shared list), the levels, phases 0. A
    // record that does not lie inside the store gives an empty frame.
    void unpackFrame(std::int32_t i, Tessarin::HarmonicFrame& out) const;
};

class TsVoiceModelCompact {
public:
    explicit TsVoiceModelCompact(float sampleRate = 44100.0f);
    virtual ~TsVoiceModelCompact() = default;
    TsVoiceModelCompact(TsVoiceModelCompact&&) = default;
    TsVoiceModelCompact& operator=(TsVoiceModelCompact&&) = default;

    std::int32_t hop = 128;
    std::int32_t fftSize = 512;
    float sampleRate = 44100.0f;
    FastVector<short> samples;
    PackedPeaks packedPeaks;
    FrameSeries noiseEnvelope;
    FastVector<float> f0;
    FrameSeries harmonicPhase;
    FrameSeries spectralEnvelope;
    FastVector<int> glottalIndex;
    FastVector<float> glottalGain;
    FrameSeries bandLevels;
    FastVector<float> pulseRatio;
};

// The compact serialisation of a full model (peaks packed, those of frequency 0 left out).
bool writeCompact(CMemoryStream& stream, const TsVoiceModel& model);
// The compact serialisation of a compact model (its packed store as it is).
bool writeCompact(CMemoryStream& stream, const TsVoiceModelCompact& compact);
// Reads a compact serialisation; false when the bytes end early (the fields read so far are kept).
bool readCompact(CMemoryStream& stream, TsVoiceModelCompact& compact);

// Model to compact, through the compact serialisation.
bool toCompact(const TsVoiceModel& model, TsVoiceModelCompact& compact);
// Compact to model: the fields copied, the peaks rebuilt from the packed store with zero phases.
void toModel(const TsVoiceModelCompact& compact, TsVoiceModel& model);

} // namespace TSVM_V0
