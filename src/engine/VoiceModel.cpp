#include "engine/VoiceModel.h"

#include <algorithm>
#include <cstring>

namespace TSVM_V0 {

using namespace Tessarin;

namespace {

FrameSeries newSeries()
{
    FrameSeries s;
    s.size = 512;
    s.sampleRate = 44100.0f;
    return s;
}

// One record of the packed store for a frame's peaks, leaving out those of frequency 0.
void packFrame(const HarmonicFrame& frame, CMemoryBuffer& bytes, std::vector<float>& levels, std::int32_t& levelCount)
{
    levels.clear();
    float base = 0.0f;
    for (std::uint32_t k = 0; k < frame.pointCount(); ++k) {
        if (frame.frequencies[k] == 0.0f) {
            continue;
        }
        if (levels.empty()) {
            base = frame.frequencies[k];
        }
        levels.push_back(frame.levels[k]);
    }
    const auto n = static_cast<std::int32_t>(levels.size());
    bytes.append(&n, 4);
    if (n > 0) {
        bytes.append(&base, 4);
        bytes.append(&n, 4);
        bytes.append(levels.data(), std::uint32_t(n) * 4u);
    }
    levelCount = n;
}

bool writeHeader(CMemoryStream& stream, std::int32_t hop, std::int32_t fftSize, float sampleRate,
                 const FastVector<short>& samples)
{
    return writePlain(stream, hop) && writePlain(stream, fftSize) && writePlain(stream, sampleRate) &&
           writeShortVector(stream, samples);
}

bool writeFields(CMemoryStream& stream, const FrameSeries& noiseEnvelope, const FastVector<float>& f0,
                 const FrameSeries& harmonicPhase, const FrameSeries& spectralEnvelope,
                 const FastVector<int>& glottalIndex, const FastVector<float>& glottalGain,
                 const FrameSeries& bandLevels, const FastVector<float>& pulseRatio)
{
    return writeFrameSeries(stream, noiseEnvelope) && writeCountedVector(stream, f0) &&
           writeFrameSeries(stream, harmonicPhase) && writeFrameSeries(stream, spectralEnvelope) &&
           writeCountedVector(stream, glottalIndex) && writeCountedVector(stream, glottalGain) &&
           writeFrameSeries(stream, bandLevels) && writeCountedVector(stream, pulseRatio);
}

bool writePacked(CMemoryStream& stream, std::int32_t maxPeakCount, float sharedFlag, std::int32_t frameCount,
                 const std::vector<std::int32_t>& offsets, const CMemoryBuffer& bytes)
{
    if (!writePlain(stream, maxPeakCount) || !writePlain(stream, sharedFlag) || !writePlain(stream, frameCount) ||
        !writePlain(stream, static_cast<std::int32_t>(offsets.size()))) {
        return false;
    }
    for (const std::int32_t offset : offsets) {
        if (!writePlain(stream, offset)) {
            return false;
        }
    }
    const auto length = static_cast<std::int32_t>(bytes.size());
    return writePlain(stream, length) && (length == 0 || writeBytes(stream, bytes.data(), bytes.size()));
}

} // namespace

TsVoiceModel::TsVoiceModel(std::int32_t fftSize, float sampleRate)
    : fftSize(fftSize), sampleRate(sampleRate), noiseEnvelope(newSeries()), harmonicPhase(newSeries()),
      spectralEnvelope(newSeries()), bandLevels(newSeries())
{
}

TsVoiceModelCompact::TsVoiceModelCompact(float sampleRate)
    : sampleRate(sampleRate), noiseEnvelope(newSeries()), harmonicPhase(newSeries()), spectralEnvelope(newSeries()),
      bandLevels(newSeries())
{
}

void PackedPeaks::clear()
{
    bytes.clear();
    offsets.clear();
    sharedFrequencies.clear();
    frameCount = 0;
    maxPeakCount = 0;
}

void PackedPeaks::unpackFrame(std::int32_t i, HarmonicFrame& out) const
{
    if (i < 0 || std::size_t(i) >= offsets.size()) {
        return;
    }
    const std::int64_t offset = offsets[std::size_t(i)];
    const std::int64_t size = bytes.size();
    auto readAt = [&](std::int64_t at, auto& value) {
        if (at < 0 || at + std::int64_t(sizeof value) > size) {
            return false;
        }
        std::memcpy(&value, bytes.data() + at, sizeof value);
        return true;
    };
    std::int32_t n = 0;
    float base = 0.0f;
    if (!readAt(offset, n) || n <= 0 || !readAt(offset + 4, base) || offset + 12 + std::int64_t(n) * 4 > size) {
        return;
    }
    for (std::int32_t k = 0; k < n; ++k) {
        float level = 0.0f;
        readAt(offset + 12 + std::int64_t(k) * 4, level);
        const float frequency = sharedFlag > 0.0f
                                    ? (std::size_t(k) < sharedFrequencies.size() ? sharedFrequencies[std::size_t(k)] : 0.0f)
                                    : float(k + 1) * base;
        PeakTracks::appendPoint(out, frequency, level, 0.0f);
    }
}

bool writeCompact(CMemoryStream& stream, const TsVoiceModel& model)
{
    CMemoryBuffer records(128);
    std::vector<std::int32_t> offsets;
    std::int32_t maxPeakCount = 0;
    std::vector<float> levels;
    for (const auto& frame : model.peaks.frames) {
        offsets.push_back(static_cast<std::int32_t>(records.size()));
        std::int32_t count = 0;
        packFrame(*frame, records, levels, count);
        maxPeakCount = std::max(maxPeakCount, count);
    }
    return writeHeader(stream, model.hop, model.fftSize, model.sampleRate, model.samples) &&
           writePacked(stream, maxPeakCount, -1.0f, static_cast<std::int32_t>(model.peaks.frameCount()), offsets,
                       records) &&
           writeFields(stream, model.noiseEnvelope, model.f0, model.harmonicPhase, model.spectralEnvelope,
                       model.glottalIndex, model.glottalGain, model.bandLevels, model.pulseRatio);
}

bool writeCompact(CMemoryStream& stream, const TsVoiceModelCompact& c)
{
    const PackedPeaks& p = c.packedPeaks;
    return writeHeader(stream, c.hop, c.fftSize, c.sampleRate, c.samples) &&
           writePacked(stream, p.maxPeakCount, p.sharedFlag, p.frameCount, p.offsets, p.bytes) &&
           writeFields(stream, c.noiseEnvelope, c.f0, c.harmonicPhase, c.spectralEnvelope, c.glottalIndex,
                       c.glottalGain, c.bandLevels, c.pulseRatio);
}

bool readCompact(CMemoryStream& stream, TsVoiceModelCompact& c)
{
    if (!readPlain(stream, c.hop) || !readPlain(stream, c.fftSize) || !readPlain(stream, c.sampleRate) ||
        !readShortVector(stream, c.samples)) {
        return false;
    }
    PackedPeaks& p = c.packedPeaks;
    p.clear();
    std::int32_t offsetCount = 0;
    if (!readPlain(stream, p.maxPeakCount) || !readPlain(stream, p.sharedFlag) || !readPlain(stream, p.frameCount) ||
        !readPlain(stream, offsetCount)) {
        return false;
    }
    // Counts are checked against the bytes that remain before anything is sized by them.
    if (offsetCount < 0 || std::uint64_t(offsetCount) * 4u > stream.remaining()) {
        return false;
    }
    p.offsets.resize(std::size_t(offsetCount));
    for (std::int32_t& offset : p.offsets) {
        readPlain(stream, offset);
    }
    std::int32_t length = 0;
    if (!readPlain(stream, length) || length < 0 || std::uint32_t(length) > stream.remaining()) {
        return false;
    }
    if (length > 0) {
        p.bytes.grow(std::uint32_t(length));
        readBytes(std::uint32_t(length), stream, p.bytes.data());
    }
    return readFrameSeries(stream, c.noiseEnvelope) && readCountedVector(stream, c.f0) &&
           readFrameSeries(stream, c.harmonicPhase) && readFrameSeries(stream, c.spectralEnvelope) &&
           readCountedVector(stream, c.glottalIndex) && readCountedVector(stream, c.glottalGain) &&
           readFrameSeries(stream, c.bandLevels) && readCountedVector(stream, c.pulseRatio);
}

bool toCompact(const TsVoiceModel& model, TsVoiceModelCompact& compact)
{
    CMemoryBuffer buffer;
    CMemoryStream writer(&buffer);
    if (!writeCompact(writer, model)) {
        return false;
    }
    CMemoryStream reader(&buffer);
    return readCompact(reader, compact);
}

void toModel(const TsVoiceModelCompact& c, TsVoiceModel& model)
{
    model.hop = c.hop;
    model.fftSize = c.fftSize;
    model.sampleRate = c.sampleRate;
    model.samples = c.samples;
    model.noiseEnvelope = c.noiseEnvelope;
    model.f0 = c.f0;
    model.harmonicPhase = c.harmonicPhase;
    model.spectralEnvelope = c.spectralEnvelope;
    model.glottalIndex = c.glottalIndex;
    model.glottalGain = c.glottalGain;
    model.bandLevels = c.bandLevels;
    model.pulseRatio = c.pulseRatio;
    model.peaks.clear();
    for (std::int32_t i = 0; i < std::int32_t(c.packedPeaks.offsets.size()); ++i) {
        HarmonicFrame& frame = model.peaks.addFrame();
        c.packedPeaks.unpackFrame(i, frame);
        model.peaks.largestPointCount = std::max(model.peaks.largestPointCount, int(frame.pointCount()));
    }
}

} // namespace TSVM_V0
