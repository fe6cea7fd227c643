#include "audio/AudioReader.h"
#include "audio/CWavBuf.h"
#include "support/WavBytes.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using TessarinEditor::CWavBuf;
using TessarinEditor::cutRegion;

namespace {

// A buffer of n 16-bit samples whose value is their own index.
CWavBuf indexed(std::uint32_t n)
{
    CWavBuf wav;
    for (std::uint32_t i = 0; i < n; ++i) {
        const unsigned char le[2] = {static_cast<unsigned char>(i & 0xFF), static_cast<unsigned char>(i >> 8)};
        wav.bytes.append(le, 2);
    }
    return wav;
}

float sampleValue(std::uint32_t i) { return float(i) / 32767.0f; }

} // namespace

TEST(BuilderRegion, IndexesAreTruncatedTimesTimes44100BothIncluded)
{
    const CWavBuf wav = indexed(1000);
    // 0.001 s = 44.1 samples -> 44; 0.002 s = 88.2 -> 88.
    const auto region = cutRegion(0.001, 0.002, wav);
    ASSERT_EQ(region.size(), 45u);
    EXPECT_EQ(region[0], sampleValue(44));
    EXPECT_EQ(region.back(), sampleValue(88));
}

TEST(BuilderRegion, ClampsToTheFile)
{
    const CWavBuf wav = indexed(1000);
    const auto early = cutRegion(-0.01, 0.0001, wav); // 4.41 -> 4
    ASSERT_EQ(early.size(), 5u);
    EXPECT_EQ(early[0], sampleValue(0));

    const auto late = cutRegion(0.02, 10.0, wav); // 882 ... last sample
    ASSERT_EQ(late.size(), 1000u - 882u);
    EXPECT_EQ(late.back(), sampleValue(999));

    const auto one = cutRegion(0.005, 0.005, wav);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], sampleValue(220)); // 220.5 -> 220
}

TEST(BuilderRegion, EmptyWhenNothingLiesBetween)
{
    const CWavBuf wav = indexed(1000);
    EXPECT_EQ(cutRegion(0.002, 0.001, wav).size(), 0u);
    EXPECT_EQ(cutRegion(1.0, 2.0, wav).size(), 0u); // starts after the last sample
    EXPECT_EQ(cutRegion(0.0, 1.0, indexed(0)).size(), 0u);
    EXPECT_EQ(cutRegion(-2.0, -1.0, wav).size(), 0u);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(cutRegion(nan, 1.0, wav).size(), 0u);
    EXPECT_EQ(cutRegion(0.0, nan, wav).size(), 0u);
    EXPECT_EQ(cutRegion(-1e300, 1e300, wav).size(), 1000u);
}

TEST(BuilderRegion, FractionsOfTheSameSampleStillGiveIt)
{
    const CWavBuf wav = indexed(1000);
    // 10.9 and 10.2 samples both truncate to index 10.
    const auto r = cutRegion(10.9 / 44100.0, 10.2 / 44100.0, wav);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0], sampleValue(10));
}

// Reading only the region from the file gives exactly what cutting it from the whole file gives,
// for every kind of region and file the builder meets.
TEST(BuilderRegion, ReadingOnlyTheRegionMatchesCuttingItFromTheWholeFile)
{
    lvtest::TempDir dir;
    std::vector<std::int16_t> values(3000);
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = std::int16_t(int(i * 37 % 65536) - 32768);
    }
    lvtest::writeFile(dir / "take.wav", lvtest::WavBytes::mono16(values));
    lvtest::writeFile(dir / "stereo.wav", lvtest::WavBytes().fmt(lvtest::WavBytes::Format{1, 2, 44100, 16}).data16(values).bytes());
    lvtest::writeFile(dir / "junk.wav", {1, 2, 3});
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, double> regions[] = {{0.01, 0.03}, {-0.02, 0.01}, {0.05, 5.0}, {0.02, 0.02},
                                                 {0.2, 0.3},   {0.03, 0.01},  {nan, 0.01}, {-1e300, 1e300}};
    for (const char* name : {"take.wav", "stereo.wav", "junk.wav", "missing.wav", "take.txt"}) {
        const auto path = dir / name;
        for (const auto& [start, end] : regions) {
            TessarinEditor::CWavBuf wav;
            const bool read = TessarinEditor::readAudioFile(path, wav);
            const bool gate = read && TessarinEditor::passesFormatGate(wav, path.native());
            Tessarin::FastVector<float> direct;
            const auto outcome = TessarinEditor::readGatedRegion(path, start, end, direct);
            ASSERT_EQ(outcome, !read   ? TessarinEditor::RegionRead::readFailed
                               : !gate ? TessarinEditor::RegionRead::formatError
                                       : TessarinEditor::RegionRead::ok)
                << name << " " << start << " " << end;
            if (gate) {
                const auto cut = TessarinEditor::cutRegion(start, end, wav);
                ASSERT_EQ(direct.size(), cut.size()) << name << " " << start << " " << end;
                for (std::uint32_t i = 0; i < cut.size(); ++i) {
                    ASSERT_EQ(direct[i], cut[i]) << i;
                }
            }
        }
    }
    // A region longer than asked for is refused before anything is read into memory.
    Tessarin::FastVector<float> region;
    std::uint32_t length = 0;
    EXPECT_EQ(TessarinEditor::readGatedRegion(dir / "take.wav", 0.0, 1.0, region, nullptr, 100, &length),
              TessarinEditor::RegionRead::tooLong);
    EXPECT_EQ(length, 3000u);
    EXPECT_EQ(region.size(), 0u);
}
