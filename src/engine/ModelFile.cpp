#include "engine/ModelFile.h"

#include "core/AtomicFile.h"
#include "core/FileAccess.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <fstream>
#include <system_error>

namespace TSVM_V0 {

using namespace Tessarin;

namespace {

constexpr std::string_view kUppercase = "uppercase";
constexpr std::uint32_t kNoiseBands = 128;
constexpr std::uint32_t kLevelBands = 5;

// Frame i of a series as exactly `count` values (missing ones 0), for the fixed-size blocks.
void fixedFrame(const FrameSeries& series, std::int32_t i, std::uint32_t count, FrameMags& scratch,
                std::vector<float>& out)
{
    out.assign(count, 0.0f);
    series.getFrame(i, scratch);
    for (std::uint32_t k = 0; k < count && k < scratch.size(); ++k) {
        out[k] = scratch[k];
    }
}

template <class T>
T valueAt(const FastVector<T>& v, std::int32_t i)
{
    return i >= 0 && std::uint32_t(i) < v.size() ? v[std::uint32_t(i)] : T{};
}

bool writeFrameRecord(CMemoryStream& stream, const TsVoiceModel& m, std::int32_t i, FrameMags& scratch,
                      std::vector<float>& block, FastVector<float>& counted)
{
    fixedFrame(m.noiseEnvelope, i, kNoiseBands, scratch, block);
    if (!writeRotated(stream, block.data(), kNoiseBands * 4) || !writeRotatedValue(stream, valueAt(m.f0, i))) {
        return false;
    }
    for (const FrameSeries* series : {&m.harmonicPhase, &m.spectralEnvelope}) {
        series->getFrame(i, scratch);
        counted.clear();
        counted.append(scratch.data(), scratch.size());
        if (!writeCountedVector(stream, counted)) {
            return false;
        }
    }
    if (!writeRotatedValue(stream, valueAt(m.glottalIndex, i)) || !writeRotatedValue(stream, valueAt(m.glottalGain, i))) {
        return false;
    }
    fixedFrame(m.bandLevels, i, kLevelBands, scratch, block);
    return writeRotated(stream, block.data(), kLevelBands * 4) && writeRotatedValue(stream, valueAt(m.pulseRatio, i));
}

// The counted vectors of a record are read into these, kept from record to record.
struct RecordScratch {
    FastVector<float> phase;
    FastVector<float> envelope;
};

bool readFrameRecord(CMemoryStream& stream, TsVoiceModel& m, RecordScratch& scratch)
{
    float noise[kNoiseBands];
    float f0 = 0.0f;
    std::int32_t glottalIndex = 0;
    float glottalGain = 0.0f;
    float bands[kLevelBands];
    float pulseRatio = 0.0f;
    // The whole record is read before any of it is kept, so every track keeps the same length.
    const std::uint32_t start = stream.position;
    if (!readRotated(sizeof noise, stream, noise) || !readRotatedValue(stream, f0) ||
        !readCountedVector(stream, scratch.phase) || !readCountedVector(stream, scratch.envelope) ||
        !readRotatedValue(stream, glottalIndex) || !readRotatedValue(stream, glottalGain) ||
        !readRotated(sizeof bands, stream, bands) || !readRotatedValue(stream, pulseRatio)) {
        stream.position = start;
        return false;
    }
    m.noiseEnvelope.appendFrame(std::span<const float>(noise, kNoiseBands));
    m.f0.push_back(f0);
    m.harmonicPhase.appendFrame(scratch.phase.span());
    m.spectralEnvelope.appendFrame(scratch.envelope.span());
    m.glottalIndex.push_back(glottalIndex);
    m.glottalGain.push_back(glottalGain);
    m.bandLevels.appendFrame(std::span<const float>(bands, kLevelBands));
    m.pulseRatio.push_back(pulseRatio);
    return true;
}

// What the next `frames` records hold, measured without keeping anything: how many are whole, and
// the values of their two counted vectors. The stream is left where it was.
struct RecordsExtent {
    std::uint32_t records = 0;
    std::uint32_t phaseValues = 0;
    std::uint32_t envelopeValues = 0;
    std::uint32_t largestPhase = 0;
    std::uint32_t largestEnvelope = 0;
};

RecordsExtent measureRecords(CMemoryStream& stream, std::int32_t frames)
{
    constexpr std::uint32_t kBeforeCounts = kNoiseBands * 4 + 4;     // noise block, f0
    constexpr std::uint32_t kAfterCounts = 4 + 4 + kLevelBands * 4 + 4; // index, gain, bands, ratio
    RecordsExtent extent;
    const std::uint32_t start = stream.position;
    for (std::int32_t i = 0; i < frames; ++i) {
        std::uint32_t phases = 0;
        std::uint32_t envelope = 0;
        if (stream.remaining() < kBeforeCounts) {
            break;
        }
        stream.position += kBeforeCounts;
        if (!skipCountedVector(stream, phases) || !skipCountedVector(stream, envelope) ||
            stream.remaining() < kAfterCounts) {
            break;
        }
        stream.position += kAfterCounts;
        ++extent.records;
        extent.phaseValues += phases;
        extent.envelopeValues += envelope;
        extent.largestPhase = std::max(extent.largestPhase, phases);
        extent.largestEnvelope = std::max(extent.largestEnvelope, envelope);
    }
    stream.position = start;
    return extent;
}

bool writePeaks(CMemoryStream& stream, const PeakTracks& peaks)
{
    if (!writePlain(stream, static_cast<std::int32_t>(peaks.frameCount()))) {
        return false;
    }
    for (const auto& frame : peaks.frames) {
        const auto n = static_cast<std::int32_t>(frame->pointCount());
        if (!writePlain(stream, n)) {
            return false;
        }
        if (n == 0) {
            continue;
        }
        for (const FastVector<float>* v : {&frame->frequencies, &frame->levels, &frame->phases}) {
            if (!writePlain(stream, static_cast<std::int32_t>(v->size())) ||
                !writeBytes(stream, v->data(), v->size() * 4u)) {
                return false;
            }
        }
    }
    return true;
}

bool readFloats(CMemoryStream& stream, FastVector<float>& out)
{
    std::int32_t count = 0;
    if (!readPlain(stream, count) || count < 0 || std::uint64_t(count) * 4u > stream.remaining()) {
        return false;
    }
    out.resize(std::uint32_t(count));
    return count == 0 || readBytes(std::uint32_t(count) * 4u, stream, out.data());
}

bool readPeaks(CMemoryStream& stream, PeakTracks& peaks)
{
    std::int32_t frames = 0;
    if (!readPlain(stream, frames) || frames < 0) {
        return false;
    }
    // Each frame takes at least 4 bytes, which bounds the count by the bytes that remain.
    if (std::uint64_t(frames) * 4u > stream.remaining()) {
        return false;
    }
    for (std::int32_t f = 0; f < frames; ++f) {
        HarmonicFrame& frame = peaks.addFrame();
        std::int32_t n = 0;
        if (!readPlain(stream, n)) {
            return false;
        }
        if (n <= 0) {
            continue;
        }
        if (!readFloats(stream, frame.frequencies) || !readFloats(stream, frame.levels) ||
            !readFloats(stream, frame.phases)) {
            return false;
        }
        if (frame.levels.size() != frame.frequencies.size() || frame.phases.size() != frame.frequencies.size()) {
            return false; // the three arrays of a frame always have one length
        }
        peaks.largestPointCount = std::max(peaks.largestPointCount, int(frame.pointCount()));
    }
    return true;
}

} // namespace

std::string escapeSymbol(std::string_view symbol)
{
    std::string out;
    for (const char c : symbol) {
        if (c >= 'A' && c <= 'Z') {
            out += kUppercase;
        }
        out += c;
    }
    return out;
}

std::string unescapeSymbol(std::string_view escaped)
{
    std::string out;
    for (std::size_t i = 0; i < escaped.size();) {
        if (escaped.substr(i, kUppercase.size()) == kUppercase && i + kUppercase.size() < escaped.size() &&
            escaped[i + kUppercase.size()] >= 'A' && escaped[i + kUppercase.size()] <= 'Z') {
            i += kUppercase.size();
        }
        out += escaped[i++];
    }
    return out;
}

std::string modelFileName(std::string_view symbol, std::string_view pitch)
{
    return std::string(pitch) + "." + escapeSymbol(symbol) + ".LVModel";
}

std::filesystem::path modelFilePath(const std::filesystem::path& outputDir, std::string_view symbol,
                                    std::string_view pitch)
{
    return outputDir / modelFileName(symbol, pitch);
}

bool buildModelPayload(std::span<const std::int32_t> markers, const TsVoiceModelCompact& material,
                       AnalysisRandom& random, CMemoryBuffer& payload)
{
    payload.clear();
    CMemoryStream stream(&payload);
    for (const std::int32_t marker : markers) {
        if (!writePlain(stream, marker)) {
            return false;
        }
    }
    if (!writePlain(stream, material.fftSize) || !writePlain(stream, material.sampleRate)) {
        return false;
    }
    TsVoiceModel model(material.fftSize, material.sampleRate);
    toModel(material, model);
    if (!writePlain(stream, model.hop) || !writePlain(stream, model.fftSize) || !writePlain(stream, model.sampleRate) ||
        !writeShortVector(stream, model.samples) || !writePeaks(stream, model.peaks)) {
        return false;
    }
    if (!writePlain(stream, static_cast<std::int32_t>(random.next()))) {
        return false;
    }
    const auto frames = static_cast<std::int32_t>(model.f0.size());
    if (!writeRotatedValue(stream, frames)) {
        return false;
    }
    FrameMags scratch;
    std::vector<float> block;
    FastVector<float> counted;
    for (std::int32_t i = 0; i < frames; ++i) {
        if (!writeFrameRecord(stream, model, i, scratch, block, counted)) {
            return false;
        }
    }
    if (!writeCountedVector(stream, model.reservedTrack)) {
        return false;
    }
    // Filler records of random frames; a model without frames has none to repeat.
    for (int r = 0; r < kTrailingRecords && frames > 0; ++r) {
        if (!writeFrameRecord(stream, model, random.next() % frames, scratch, block, counted)) {
            return false;
        }
    }
    return true;
}

bool writeModelFile(std::span<const std::int32_t> markers, const TsVoiceModelCompact& material,
                    const std::filesystem::path& outputDir, std::string_view symbol, std::string_view pitch)
{
    AnalysisRandom random = AnalysisRandom::forUnit(symbol, pitch);
    CMemoryBuffer payload;
    if (!buildModelPayload(markers, material, random, payload)) {
        return false;
    }
    CMemoryBuffer file;
    CMemoryStream stream(&file);
    if (!writePlain(stream, static_cast<std::int32_t>(payload.size())) ||
        !writeBytes(stream, payload.data(), payload.size())) {
        return false;
    }
    return writeFileAtomically(modelFilePath(outputDir, symbol, pitch), std::string_view(file.data(), file.size()));
}

ModelFileContents readModelPayload(CMemoryBuffer& payload, int markerCount)
{
    ModelFileContents contents;
    CMemoryStream stream(&payload);
    contents.missing = "the markers";
    for (int i = 0; i < markerCount; ++i) {
        std::int32_t marker = 0;
        if (!readPlain(stream, marker)) {
            return contents;
        }
        contents.markers.push_back(marker);
    }
    contents.missing = "the model header";
    std::int32_t fftSize = 512;
    float sampleRate = 44100.0f;
    if (!readPlain(stream, fftSize) || !readPlain(stream, sampleRate)) {
        return contents;
    }
    TsVoiceModel& m = contents.model;
    m = TsVoiceModel(fftSize, sampleRate);
    std::int32_t filler = 0;
    std::int32_t frames = 0;
    if (!readPlain(stream, m.hop) || !readPlain(stream, m.fftSize) || !readPlain(stream, m.sampleRate) ||
        !readShortVector(stream, m.samples) || !readPeaks(stream, m.peaks) || !readPlain(stream, filler) ||
        !readRotatedValue(stream, frames)) {
        return contents;
    }
    contents.headerRead = true;
    contents.declaredFrames = frames;
    // Every track is sized once, for the records the payload really holds (not the count it claims),
    // so reading the records allocates nothing per frame.
    const RecordsExtent extent = measureRecords(stream, frames);
    m.f0.ensureCapacity(extent.records);
    m.glottalIndex.ensureCapacity(extent.records);
    m.glottalGain.ensureCapacity(extent.records);
    m.pulseRatio.ensureCapacity(extent.records);
    m.noiseEnvelope.reserve(extent.records, extent.records * kNoiseBands);
    m.bandLevels.reserve(extent.records, extent.records * kLevelBands);
    m.harmonicPhase.reserve(extent.records, extent.phaseValues);
    m.spectralEnvelope.reserve(extent.records, extent.envelopeValues);
    RecordScratch scratch;
    scratch.phase.ensureCapacity(extent.largestPhase);
    scratch.envelope.ensureCapacity(extent.largestEnvelope);
    for (std::int32_t i = 0; i < frames; ++i) {
        if (!readFrameRecord(stream, m, scratch)) {
            contents.missing = "frame records " + std::to_string(i + 1) + " to " + std::to_string(frames) + " of " +
                               std::to_string(frames);
            return contents;
        }
    }
    contents.complete = readCountedVector(stream, m.reservedTrack);
    contents.missing = contents.complete ? std::string() : std::string("the reserved track after the frames");
    return contents;
}

std::optional<ModelFileContents> readModelFile(const std::filesystem::path& path, int markerCount,
                                               Tessarin::ReadError* why)
{
    // The whole file is read (memory follows the file, not its declared length); a length that
    // promises more than the file holds keeps what is there.
    const std::optional<std::string> file = Tessarin::readRegularFile(path, kLargestModelFile, why);
    if (!file) {
        return std::nullopt;
    }
    // A file too short for its length opens with nothing in it: its unit keeps the construction
    // markers and fails its marker check, as any other cut-short file does.
    const std::string& bytes = *file;
    std::int32_t declared = 0;
    if (bytes.size() >= 4) {
        std::memcpy(&declared, bytes.data(), 4);
    }
    const std::size_t available = bytes.size() < 4 ? 0 : bytes.size() - 4;
    const std::size_t length = declared < 1 ? 0 : std::min<std::size_t>(std::size_t(declared), available);
    CMemoryBuffer payload;
    if (length > 0) {
        payload.append(bytes.data() + 4, static_cast<std::uint32_t>(length));
    }
    return readModelPayload(payload, markerCount);
}

namespace {

// A bounded cursor over a payload, failing as the memory stream's reads fail.
class PayloadCursor {
public:
    PayloadCursor(const char* data, std::size_t size) : m_data(data), m_size(size) {}

    std::size_t remaining() const { return m_size - m_pos; }
    bool skip(std::size_t n)
    {
        if (n > remaining()) {
            return false;
        }
        m_pos += n;
        return true;
    }
    template <class T>
    bool plain(T& v)
    {
        if (sizeof(T) > remaining()) {
            return false;
        }
        std::memcpy(&v, m_data + m_pos, sizeof(T));
        m_pos += sizeof(T);
        return true;
    }
    // A 4-byte value stored with its last byte first.
    template <class T>
    bool rotated(T& v)
    {
        static_assert(sizeof(T) == 4);
        if (4 > remaining()) {
            return false;
        }
        unsigned char b[4];
        b[0] = static_cast<unsigned char>(m_data[m_pos + 3]);
        std::memcpy(b + 1, m_data + m_pos, 3);
        std::memcpy(&v, b, 4);
        m_pos += 4;
        return true;
    }
    // A counted vector skipped over; its element count in count.
    bool skipCounted(std::uint32_t& count)
    {
        float declared = 0.0f;
        if (!rotated(declared)) {
            return false;
        }
        if (!(declared > -1.0f) || !(declared < float(kCountedLimit) + 1.0f)) {
            return false;
        }
        count = static_cast<std::uint32_t>(std::trunc(declared));
        return skip(std::size_t(count) * 4u);
    }

    static constexpr std::uint32_t kCountedLimit = 1u << 24; // the largest counted vector written

private:
    const char* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

} // namespace

CheckFieldsRead readModelCheckFields(const std::filesystem::path& path, int markerCount, ModelCheckFields& out)
{
    out = {};
    std::uint64_t fileSize = 0;
    const Tessarin::FilePtr file = Tessarin::openRegularFileStream(path, nullptr, &fileSize);
    if (!file) {
        return CheckFieldsRead::CannotOpen;
    }
    std::int32_t declared = 0;
    if (std::fread(&declared, 1, 4, file.get()) != 4) {
        return CheckFieldsRead::Read; // shorter than its length: nothing in it
    }
    const std::uint64_t available = fileSize < 4 ? 0 : std::min<std::uint64_t>(fileSize - 4, kLargestModelFile);
    const std::size_t length = declared < 1 ? 0 : std::size_t(std::min<std::uint64_t>(std::uint64_t(declared), available));
    std::vector<char> bytes(length);
    bytes.resize(std::fread(bytes.data(), 1, length, file.get()));
    return readModelCheckFields(std::span<const char>(bytes), markerCount, out);
}

CheckFieldsRead readModelCheckFields(std::span<const char> payload, int markerCount, ModelCheckFields& out)
{
    out = {};
    PayloadCursor c(payload.data(), payload.size());
    for (int i = 0; i < markerCount; ++i) {
        std::int32_t marker = 0;
        if (!c.plain(marker)) {
            return CheckFieldsRead::Read;
        }
        out.markers.push_back(marker);
    }
    std::int32_t i32 = 0;
    float f32 = 0.0f;
    std::int32_t samples = 0;
    std::int32_t peakFrames = 0;
    if (!c.plain(i32) || !c.plain(f32) || !c.plain(i32) || !c.plain(i32) || !c.plain(f32) || !c.plain(samples)) {
        return CheckFieldsRead::Read;
    }
    if (samples > 0 && !c.skip(std::size_t(samples) * 2u)) {
        return CheckFieldsRead::Read;
    }
    if (!c.plain(peakFrames) || peakFrames < 0) {
        return CheckFieldsRead::Read;
    }
    if (peakFrames > 0) {
        return CheckFieldsRead::NeedsFullRead;
    }
    std::int32_t frames = 0;
    if (!c.plain(i32) || !c.rotated(frames)) {
        return CheckFieldsRead::Read;
    }
    std::uint64_t phaseValues = 0;
    std::uint64_t envelopeValues = 0;
    for (std::int32_t i = 0; i < frames; ++i) {
        // Only whole records count, as in readModelFile.
        float f0 = 0.0f;
        std::uint32_t phases = 0;
        std::uint32_t envelope = 0;
        if (!c.skip(kNoiseBands * 4) || !c.rotated(f0) || !c.skipCounted(phases) || !c.skipCounted(envelope) ||
            !c.skip(8 + kLevelBands * 4 + 4)) {
            break;
        }
        out.f0.push_back(f0);
        phaseValues += phases;
        envelopeValues += envelope;
    }
    // The conversion to the compact form fails for a counted vector above the limit, and the checks
    // then see no f0 at all: leave such files to the full reader.
    const std::uint64_t limit = PayloadCursor::kCountedLimit;
    if (std::uint64_t(out.f0.size()) * kNoiseBands > limit || phaseValues > limit || envelopeValues > limit) {
        return CheckFieldsRead::NeedsFullRead;
    }
    return CheckFieldsRead::Read;
}

} // namespace TSVM_V0
