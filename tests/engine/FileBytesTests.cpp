// The bytes of a model file's frame record and of a voice bank content block, written out by hand:
// the layouts are what other programs read, so they are checked byte for byte, not by reading them
// back with the code that wrote them.

#include "engine/ModelFile.h"
#include "engine/VoiceBankFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

using namespace TSVM_V0;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) {
        out.insert(out.end(), p.begin(), p.end());
    }
    return out;
}

Bytes zeros(std::size_t n) { return Bytes(n, 0x00); }

// One voiced frame at 220.5 Hz: noise bands 1.0, 0 …, −1.0; phases {0, 1.5}; envelope {−2};
// template 37 with gain −3.25 dB; band levels 0.5, 0.25, 1, 2, 0.125; pulse ratio 0.75. Two stored
// samples, 0x1234 and 0x0056.
TsVoiceModelCompact oneFrameMaterial()
{
    TsVoiceModel m;
    m.samples.push_back(0x1234);
    m.samples.push_back(0x0056);
    m.f0.push_back(220.5f);
    std::vector<float> noise(128, 0.0f);
    noise.front() = 1.0f;
    noise.back() = -1.0f;
    m.noiseEnvelope.appendFrame(noise);
    m.harmonicPhase.appendFrame(std::vector<float>{0.0f, 1.5f});
    m.spectralEnvelope.appendFrame(std::vector<float>{-2.0f});
    m.glottalIndex.push_back(37);
    m.glottalGain.push_back(-3.25f);
    m.bandLevels.appendFrame(std::vector<float>{0.5f, 0.25f, 1.0f, 2.0f, 0.125f});
    m.pulseRatio.push_back(0.75f);
    m.peaks.addFrame(); // no harmonics kept: the build writes model files with an empty packed store
    TsVoiceModelCompact c;
    EXPECT_TRUE(toCompact(m, c));
    c.packedPeaks.clear();
    return c;
}

// Rotated means the block's first byte is stored last.
const Bytes kNoiseBlock = concat({{0x00, 0x80, 0x3F}, zeros(504), {0x00, 0x00, 0x80, 0xBF}, {0x00}});
const Bytes kNoiseValues = concat({{0x19, 0x00, 0x43, 0x9A}, kNoiseBlock}); // count 128.1, then the block
const Bytes kF0 = {0x80, 0x5C, 0x43, 0x00};                                 // 220.5 = 0x435C8000
const Bytes kPhaseValues = {0x66, 0x06, 0x40, 0x66,                         // count 2.1
                            0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x3F, 0x00}; // 0.0, 1.5 = 0x3FC00000
const Bytes kEnvelopeValues = {0xCC, 0x8C, 0x3F, 0xCD,  // count 1.1
                               0x00, 0x00, 0xC0, 0x00}; // −2.0 = 0xC0000000
const Bytes kIndex = {0x00, 0x00, 0x00, 0x25};          // 37
const Bytes kGain = {0x00, 0x50, 0xC0, 0x00};           // −3.25 = 0xC0500000
const Bytes kBandBlock = {0x00, 0x00, 0x3F, 0x00, 0x00, 0x80, 0x3E, 0x00, 0x00, 0x80,  // 0.5, 0.25,
                          0x3F, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x3E, 0x00}; // 1, 2, 0.125
const Bytes kRatio = {0x00, 0x40, 0x3F, 0x00}; // 0.75 = 0x3F400000

} // namespace

TEST(ModelFileBytes, AFrameRecordFieldByField)
{
    const std::vector<std::int32_t> markers{0, 7, 8, 0, 1, 9, -1, -1};
    Tessarin::CMemoryBuffer payload;
    Tessarin::AnalysisRandom random(1);
    ASSERT_TRUE(buildModelPayload(markers, oneFrameMaterial(), random, payload));

    // noiseEnvelope as one 512-byte block, f0, harmonicPhase and spectralEnvelope counted, glottal
    // index then gain, the five band levels as one block, the pulse ratio.
    const Bytes frame = concat({kNoiseBlock, kF0, kPhaseValues, kEnvelopeValues, kIndex, kGain, kBandBlock, kRatio});
    ASSERT_EQ(frame.size(), 568u);
    // After the markers (32 bytes), fft size and rate (8), hop, fft size and rate (12), the samples (4 + 4),
    // the empty peaks section (4) and the filler value (4): the frame count, rotated, then the record,
    // the reserved track (the rotated count 0.1, no data) and ten trailing records, all of frame 0.
    Bytes expected = concat({{0x00, 0x00, 0x00, 0x01}, frame, {0xCC, 0xCC, 0x3D, 0xCD}});
    for (int r = 0; r < 10; ++r) {
        expected = concat({expected, frame});
    }
    constexpr std::size_t kRecordsAt = 32 + 8 + 12 + 8 + 4 + 4;
    ASSERT_EQ(payload.size(), kRecordsAt + expected.size());
    const Bytes tail(payload.data() + kRecordsAt, payload.data() + payload.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(tail[i], expected[i]) << "byte " << i << " after the filler value";
    }
}

TEST(BankFileBytes, AContentBlockFieldByField)
{
    lvtest::TempDir dir;
    const auto models = dir / "models";
    const auto bank = dir / "bank";
    std::filesystem::create_directories(models);
    std::filesystem::create_directories(bank);
    // An independent unit "hm" of one frame: markers p0 = 0 < p3 + p4 = 1 ≤ one frame pass its check.
    const std::vector<std::int32_t> markers{0, 7, 8, 0, 1, 9, -1, -1};
    ASSERT_TRUE(writeModelFile(markers, oneFrameMaterial(), models, "hm", "C4"));
    TSSrcCheckResult result;
    TessarinEngineV6::assembleVoiceBank("||||hm", result, models, bank, {"C4"});
    ASSERT_TRUE(result.ok);

    // A FrameSeries: size 512, rate 44100 and its frame count rotated, then offsets, lengths and values
    // as counted vectors. Integers are stored as their bytes.
    auto series = [](const Bytes& length, const Bytes& values) {
        return concat({{0x02, 0x00, 0x00, 0x00}, {0x44, 0x2C, 0x47, 0x00}, {0x00, 0x00, 0x00, 0x01}, // 512, 44100, 1
                       {0xCC, 0x8C, 0x3F, 0xCD}, {0x00, 0x00, 0x00, 0x00},                          // offsets {0}
                       {0xCC, 0x8C, 0x3F, 0xCD}, length,                                            // lengths {n}
                       values});
    };
    const Bytes block = concat({
        {0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // p0 … p3
         0x01, 0x00, 0x00, 0x00, 0x09, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, // p4 … p7
        {0x80, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x44, 0x2C, 0x47},                       // 128, 512, 44100
        {0x02, 0x00, 0x00, 0x00, 0x34, 0x12, 0x56, 0x00},                                               // two samples
        // Packed peaks: largest count 0, shared flag −1, no frames, no offsets, no record bytes.
        {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0xBF, 0x00, 0x00, 0x00, 0x00},
        {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
        series({0x00, 0x00, 0x00, 0x80}, kNoiseValues),                     // noiseEnvelope, 128 values
        {0xCC, 0x8C, 0x3F, 0xCD}, kF0,                                      // f0
        series({0x00, 0x00, 0x00, 0x02}, kPhaseValues),                     // harmonicPhase
        series({0x00, 0x00, 0x00, 0x01}, kEnvelopeValues),                  // spectralEnvelope
        {0xCC, 0x8C, 0x3F, 0xCD}, kIndex,                                   // glottalIndex
        {0xCC, 0x8C, 0x3F, 0xCD}, kGain,                                    // glottalGain
        series({0x00, 0x00, 0x00, 0x05}, concat({{0x33, 0xA3, 0x40, 0x33}, kBandBlock})), // bandLevels, count 5.1
        {0xCC, 0x8C, 0x3F, 0xCD}, kRatio,                                   // pulseRatio
    });
    const auto length = std::uint32_t(block.size());
    const Bytes expected = concat({{std::uint8_t(length), std::uint8_t(length >> 8), 0x00, 0x00}, block});
    const Bytes tsc = lvtest::readFile(bank / "TSC");
    ASSERT_EQ(tsc.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(tsc[i], expected[i]) << "byte " << i;
    }
}
