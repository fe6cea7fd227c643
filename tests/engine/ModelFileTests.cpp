#include "engine/ModelFile.h"
#include "engine/VoiceSources.h"
#include "support/TestSupport.h"
#include "support/VoiceModelFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace TSVM_V0;
using Tessarin::FrameMags;
using Tessarin::HarmonicFrame;

namespace {

const std::vector<std::int32_t> kMarkers{0, 10, 20, 30, 40, 50, 60, 70};

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& p) { return lvtest::readFile(p); }

std::int32_t int32At(const std::vector<std::uint8_t>& b, std::size_t at)
{
    std::int32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

std::vector<float> frameOf(const Tessarin::FrameSeries& s, int i)
{
    FrameMags m;
    s.getFrame(i, m);
    return {m.data(), m.data() + m.size()};
}

} // namespace

TEST(ModelFileName, CapitalsAreSpelledOut)
{
    EXPECT_EQ(modelFileName("ka", "C4"), "C4.ka.LVModel");
    EXPECT_EQ(modelFileName("Ka", "C4"), "C4.uppercaseKa.LVModel");
    EXPECT_EQ(escapeSymbol("A"), "uppercaseA");
    EXPECT_EQ(escapeSymbol("aA"), "auppercaseA");
    EXPECT_EQ(escapeSymbol("\xc3\xa9Z_"), "\xc3\xa9uppercaseZ_"); // other bytes stay
    EXPECT_EQ(unescapeSymbol("auppercaseA"), "aA");
    EXPECT_EQ(unescapeSymbol("uppercase"), "uppercase"); // nothing capital follows
    for (const char* s : {"ka", "KA", "uppercaseX", "a_B-c", "Q"}) {
        EXPECT_EQ(unescapeSymbol(escapeSymbol(s)), s);
    }
}

TEST(CompactModel, PacksLevelsAndFirstFrequencyOnly)
{
    TsVoiceModel m = lvtest::handBuiltModel(3);
    // A peak of frequency 0 is left out of the packed frame.
    Tessarin::PeakTracks::appendPoint(*m.peaks.frames[0], 0.0f, -99.0f, 0.0f);
    TsVoiceModelCompact c;
    ASSERT_TRUE(toCompact(m, c));
    EXPECT_EQ(c.packedPeaks.frameCount, 3);
    EXPECT_EQ(c.packedPeaks.sharedFlag, -1.0f);
    EXPECT_EQ(c.packedPeaks.maxPeakCount, 6);
    ASSERT_EQ(c.packedPeaks.offsets.size(), 3u);
    // Records: 12 + 4·4 bytes, then 4 bytes for the unvoiced frame, then 12 + 4·6.
    EXPECT_EQ(c.packedPeaks.offsets[1], 28);
    EXPECT_EQ(c.packedPeaks.offsets[2], 32);
    EXPECT_EQ(c.packedPeaks.bytes.size(), 32u + 36u);

    TsVoiceModel back;
    toModel(c, back);
    ASSERT_EQ(back.peaks.frameCount(), 3u);
    const HarmonicFrame& f2 = *back.peaks.frames[2];
    ASSERT_EQ(f2.pointCount(), 6u);
    EXPECT_EQ(f2.frequencies[3], 4 * 202.0f);
    EXPECT_EQ(f2.levels[5], -60.0f);
    EXPECT_EQ(f2.phases[2], 0.0f); // phases are not kept
    EXPECT_EQ(back.peaks.frames[0]->pointCount(), 4u);
    EXPECT_EQ(back.peaks.frames[1]->pointCount(), 0u);
    EXPECT_EQ(back.samples.size(), 300u);
    EXPECT_EQ(back.samples[299], short(299 * 97 - 14000));
    EXPECT_EQ(frameOf(back.noiseEnvelope, 2), frameOf(m.noiseEnvelope, 2));
    EXPECT_EQ(back.glottalIndex[1], -1);
    EXPECT_EQ(frameOf(back.bandLevels, 2).back(), 2.5f);
}

TEST(ModelFile, LayoutOfAThreeFrameModel)
{
    lvtest::TempDir dir;
    TsVoiceModelCompact material;
    ASSERT_TRUE(toCompact(lvtest::handBuiltModel(3), material));
    material.packedPeaks.clear(); // as the build does before writing
    ASSERT_TRUE(writeModelFile(kMarkers, material, dir.path(), "Ka", "C4"));
    const auto bytes = fileBytes(dir / "C4.uppercaseKa.LVModel");
    EXPECT_FALSE(std::filesystem::exists(dir / "C4.uppercaseKa.LVModel.tmp"));

    EXPECT_EQ(int32At(bytes, 0), std::int32_t(bytes.size() - 4));
    std::size_t at = 4;
    for (std::size_t i = 0; i < 8; ++i, at += 4) {
        EXPECT_EQ(int32At(bytes, at), kMarkers[i]);
    }
    EXPECT_EQ(int32At(bytes, at), 512);
    float rate = 0;
    std::memcpy(&rate, bytes.data() + at + 4, 4);
    EXPECT_EQ(rate, 44100.0f);
    at += 8;
    EXPECT_EQ(int32At(bytes, at), 128); // hop
    at += 12;
    EXPECT_EQ(int32At(bytes, at), 300); // sample count
    at += 4 + 600;
    EXPECT_EQ(int32At(bytes, at), 0); // the peaks section: no frames
    at += 4;
    const std::int32_t filler = int32At(bytes, at);
    EXPECT_GE(filler, 0);
    EXPECT_LE(filler, 32767);
    at += 4;
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + long(at), bytes.begin() + long(at) + 4),
              (std::vector<std::uint8_t>{0x00, 0x00, 0x00, 0x03}));
    at += 4;
    // Record size: 512 noise + f0 + counted phases + counted envelope + index + gain + 20 bands + ratio.
    auto recordSize = [](int phases, int envelope) { return 512 + 4 + (4 + 4 * phases) + (4 + 4 * envelope) + 4 + 4 + 20 + 4; };
    const std::size_t records = std::size_t(recordSize(4, 256) + recordSize(0, 0) + recordSize(6, 256));
    const std::size_t reserved = at + records;
    EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + long(reserved), bytes.begin() + long(reserved) + 4),
              (std::vector<std::uint8_t>{0xCC, 0xCC, 0x3D, 0xCD})); // the rotated float 0.1, no data
    // Ten trailing records of frames chosen at random: each one of the three sizes.
    std::size_t rest = bytes.size() - reserved - 4;
    int trailing = 0;
    std::size_t pos = reserved + 4;
    while (rest > 0 && trailing < 20) {
        // The phases count of the record tells which frame it repeats.
        float count = 0;
        const std::uint8_t* p = bytes.data() + pos + 516;
        const std::uint8_t unrotated[4] = {p[3], p[0], p[1], p[2]};
        std::memcpy(&count, unrotated, 4);
        const int phases = int(count);
        const std::size_t size = std::size_t(recordSize(phases, phases == 0 ? 0 : 256));
        ASSERT_LE(size, rest);
        rest -= size;
        pos += size;
        ++trailing;
    }
    EXPECT_EQ(trailing, 10);
}

TEST(ModelFile, ReadsBackEveryField)
{
    lvtest::TempDir dir;
    const TsVoiceModel original = lvtest::handBuiltModel(3);
    TsVoiceModelCompact material;
    ASSERT_TRUE(toCompact(original, material));
    material.packedPeaks.clear();
    ASSERT_TRUE(writeModelFile(kMarkers, material, dir.path(), "ka", "D#4"));
    const auto read = readModelFile(dir / "D#4.ka.LVModel", kVoiceMarkerCount);
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(read->complete);
    EXPECT_EQ(read->markers, kMarkers);
    const TsVoiceModel& m = read->model;
    ASSERT_EQ(m.f0.size(), 3u);
    EXPECT_EQ(m.f0[1], 0.0f);
    EXPECT_EQ(m.f0[2], 202.0f);
    EXPECT_EQ(m.noiseEnvelope.frameCount, 3);
    EXPECT_EQ(frameOf(m.noiseEnvelope, 1), frameOf(original.noiseEnvelope, 1));
    EXPECT_EQ(frameOf(m.harmonicPhase, 2), frameOf(original.harmonicPhase, 2));
    EXPECT_TRUE(frameOf(m.harmonicPhase, 1).empty());
    EXPECT_EQ(frameOf(m.spectralEnvelope, 0), frameOf(original.spectralEnvelope, 0));
    EXPECT_EQ(m.glottalIndex[2], 92);
    EXPECT_EQ(m.glottalGain[0], 3.5f);
    EXPECT_EQ(frameOf(m.bandLevels, 2), frameOf(original.bandLevels, 2));
    EXPECT_EQ(m.pulseRatio[1], 1.0f);
    EXPECT_EQ(m.samples.size(), 300u);
    EXPECT_EQ(m.peaks.frameCount(), 0u);
    EXPECT_EQ(m.reservedTrack.size(), 0u);

    EXPECT_FALSE(readModelFile(dir / "missing.LVModel", kVoiceMarkerCount).has_value());
}

TEST(ModelFile, TwoWritesOfTheSameUnitAreIdentical)
{
    lvtest::TempDir a;
    lvtest::TempDir b;
    TsVoiceModelCompact material;
    ASSERT_TRUE(toCompact(lvtest::handBuiltModel(5), material));
    ASSERT_TRUE(writeModelFile(kMarkers, material, a.path(), "ka", "C4"));
    ASSERT_TRUE(writeModelFile(kMarkers, material, b.path(), "ka", "C4"));
    EXPECT_EQ(fileBytes(a / "C4.ka.LVModel"), fileBytes(b / "C4.ka.LVModel"));
    EXPECT_FALSE(writeModelFile(kMarkers, material, a / "no" / "such" / "folder", "ka", "C4"));
}

TEST(ModelFile, EveryTruncationReadsWithoutCrashingAndKeepsTracksEven)
{
    lvtest::TempDir dir;
    TsVoiceModelCompact material;
    ASSERT_TRUE(toCompact(lvtest::handBuiltModel(3), material));
    ASSERT_TRUE(writeModelFile(std::vector<std::int32_t>(kMarkers.begin(), kMarkers.begin() + 7), material, dir.path(),
                               "a", "C4"));
    const auto whole = fileBytes(dir / "C4.a.LVModel");
    // Through the file reader: a length prefix promising more than the file holds.
    for (const std::size_t cut : {std::size_t(0), std::size_t(3), std::size_t(4), std::size_t(40), whole.size() / 2}) {
        lvtest::writeFile(dir / "cut.LVModel", std::vector<std::uint8_t>(whole.begin(), whole.begin() + long(cut)));
        const auto read = readModelFile(dir / "cut.LVModel", kContinuantMarkerCount);
        ASSERT_TRUE(read.has_value()) << cut; // a file that opens is read, however short
        EXPECT_EQ(read->markers.empty(), cut < 8) << cut;
        EXPECT_EQ(read->complete, cut == whole.size() / 2) << cut; // half-way lies in the trailing records
    }
    // Every cut of the payload, in memory.
    int completeReads = 0;
    for (std::size_t cut = 0; cut + 4 <= whole.size(); ++cut) {
        Tessarin::CMemoryBuffer payload;
        payload.append(whole.data() + 4, std::uint32_t(cut));
        const ModelFileContents read = readModelPayload(payload, kContinuantMarkerCount);
        const TsVoiceModel& m = read.model;
        // Whatever was read, the per-frame tracks have one length.
        ASSERT_EQ(std::int32_t(m.f0.size()), m.noiseEnvelope.frameCount) << cut;
        ASSERT_EQ(m.f0.size(), m.glottalIndex.size()) << cut;
        ASSERT_EQ(m.f0.size(), m.pulseRatio.size()) << cut;
        ASSERT_EQ(std::int32_t(m.f0.size()), m.bandLevels.frameCount) << cut;
        ASSERT_LE(m.f0.size(), 3u);
        completeReads += read.complete ? 1 : 0;
    }
    EXPECT_GT(completeReads, 0); // cuts inside the trailing records still read completely
}

TEST(ModelFile, TheCheckReaderSeesWhatTheFullReaderSeesHoweverTheFileIsCut)
{
    lvtest::TempDir dir;
    const auto same = [&](const std::string& what) {
        const auto full = TessarinEngineV6::loadVoiceSource(dir.path(), "ka", "C4");
        const auto fast = TessarinEngineV6::loadVoiceSourceForCheck(dir.path(), "ka", "C4");
        ASSERT_EQ(bool(full), bool(fast)) << what;
        if (full) {
            EXPECT_EQ(full->p, fast->p) << what;
            const auto span = [](const auto& v) { return std::vector<float>(v.data(), v.data() + v.size()); };
            EXPECT_EQ(span(full->material->f0), span(fast->material->f0)) << what;
        }
    };
    same("no file");
    TsVoiceModelCompact material;
    ASSERT_TRUE(toCompact(lvtest::handBuiltModel(3), material));
    ModelCheckFields fields;
    // Harmonic peaks are left to the full reader.
    ASSERT_TRUE(writeModelFile(kMarkers, material, dir.path(), "ka", "C4"));
    EXPECT_EQ(readModelCheckFields(dir / "C4.ka.LVModel", kVoiceMarkerCount, fields), CheckFieldsRead::NeedsFullRead);
    same("peaks");

    // Without peaks, and with short frames so that every cut through the frame records is tried.
    TsVoiceModel small;
    for (const float f0 : {200.0f, 0.0f, 202.0f}) {
        small.f0.push_back(f0);
        small.noiseEnvelope.appendFrame(std::vector<float>(128, -40.0f));
        small.harmonicPhase.appendFrame(std::vector<float>(f0 > 0.0f ? 2 : 0, 0.5f));
        small.spectralEnvelope.appendFrame(std::vector<float>(f0 > 0.0f ? 3 : 0, -30.0f));
        small.glottalIndex.push_back(90);
        small.glottalGain.push_back(3.5f);
        small.bandLevels.appendFrame(std::vector<float>(5, 0.1f));
        small.pulseRatio.push_back(0.25f);
    }
    ASSERT_TRUE(toCompact(small, material));
    ASSERT_TRUE(writeModelFile(kMarkers, material, dir.path(), "ka", "C4"));
    const auto whole = fileBytes(dir / "C4.ka.LVModel");
    EXPECT_EQ(readModelCheckFields(dir / "C4.ka.LVModel", kVoiceMarkerCount, fields), CheckFieldsRead::Read);
    EXPECT_EQ(fields.f0, (std::vector<float>{200.0f, 0.0f, 202.0f}));
    // Past the third record only the trailing records follow, which neither reader reads.
    const std::size_t records = 4 + 68 + 3 * (512 + 4 + 4 + 4 + 32) + 2 * (2 * 4) + 2 * (3 * 4);
    ASSERT_LT(records, whole.size());
    for (std::size_t cut = 0; cut <= records; ++cut) {
        lvtest::writeFile(dir / "C4.ka.LVModel", std::vector<std::uint8_t>(whole.begin(), whole.begin() + long(cut)));
        same("cut at " + std::to_string(cut));
    }
    auto negative = whole;
    std::fill(negative.begin(), negative.begin() + 4, std::uint8_t(0xFF));
    lvtest::writeFile(dir / "C4.ka.LVModel", negative);
    same("negative length");
}

TEST(ModelFile, PeakArraysOfDifferentLengthsAreRefused)
{
    // Payload: 8 markers, fft size and rate, hop, size, rate, no samples, then one peak frame whose
    // frequencies hold 3 values but whose levels hold 1 (as a damaged file can).
    Tessarin::CMemoryBuffer payload;
    Tessarin::CMemoryStream s(&payload);
    for (int i = 0; i < 8; ++i) {
        Tessarin::writePlain(s, std::int32_t(i));
    }
    Tessarin::writePlain(s, std::int32_t(512));
    Tessarin::writePlain(s, 44100.0f);
    Tessarin::writePlain(s, std::int32_t(128));
    Tessarin::writePlain(s, std::int32_t(512));
    Tessarin::writePlain(s, 44100.0f);
    Tessarin::writePlain(s, std::int32_t(0)); // samples
    Tessarin::writePlain(s, std::int32_t(1)); // one peak frame
    Tessarin::writePlain(s, std::int32_t(3));
    for (const int count : {3, 1, 3}) {
        Tessarin::writePlain(s, std::int32_t(count));
        for (int k = 0; k < count; ++k) {
            Tessarin::writePlain(s, 100.0f * float(k + 1));
        }
    }
    const ModelFileContents read = readModelPayload(payload, kVoiceMarkerCount);
    EXPECT_FALSE(read.complete);
    ASSERT_EQ(read.model.peaks.frameCount(), 1u);
    EXPECT_EQ(read.model.peaks.frames[0]->pointCount(), 1u); // only points present in all three arrays
    TsVoiceModelCompact compact;
    EXPECT_TRUE(toCompact(read.model, compact));
    EXPECT_EQ(compact.packedPeaks.maxPeakCount, 1);
}
