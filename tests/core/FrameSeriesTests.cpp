#include "core/FrameSeries.h"

#include <gtest/gtest.h>

#include <vector>

using Tessarin::FrameMags;
using Tessarin::FrameSeries;

namespace {
std::vector<float> values(const FrameMags& m) { return {m.data(), m.data() + m.size()}; }
} // namespace

TEST(FrameSeries, FramesAreStoredBackToBackWithTheirOffsets)
{
    FrameSeries s;
    EXPECT_EQ(s.size, 512);
    EXPECT_EQ(s.sampleRate, 44100.0f);
    const std::vector<float> a{1, 2, 3};
    const std::vector<float> b{};
    const std::vector<float> c{4, 5};
    s.appendFrame(a);
    s.appendFrame(b);
    s.appendFrame(c);
    EXPECT_EQ(s.frameCount, 3);
    ASSERT_EQ(s.offsets.size(), 3u);
    EXPECT_EQ(s.offsets[0], 0);
    EXPECT_EQ(s.offsets[1], 3);
    EXPECT_EQ(s.offsets[2], 3); // the empty frame takes no room
    EXPECT_EQ(s.lengths[1], 0);
    EXPECT_EQ(s.values.size(), 5u);

    s.size = 1024;
    s.sampleRate = 22050.0f;
    FrameMags out;
    ASSERT_TRUE(s.getFrame(2, out));
    EXPECT_EQ(values(out), c);
    EXPECT_EQ(out.fftSize, 1024);
    EXPECT_EQ(out.sampleRate, 22050.0f);
}

TEST(FrameSeries, AnEmptyFrameLeavesTheOutputEmptyWithItsHeaderUntouched)
{
    FrameSeries s;
    s.appendFrame(std::vector<float>{7, 8});
    s.appendFrame(std::vector<float>{});
    FrameMags out;
    out.push_back(1.0f);
    out.fftSize = 77;
    out.sampleRate = 8000.0f;
    EXPECT_TRUE(s.getFrame(1, out));
    EXPECT_EQ(out.size(), 0u);
    EXPECT_EQ(out.fftSize, 77);
    EXPECT_EQ(out.sampleRate, 8000.0f);
}

TEST(FrameSeries, DamagedIndexesGiveAnEmptyFrameInsteadOfReadingOutside)
{
    FrameSeries s;
    s.appendFrame(std::vector<float>{1, 2, 3});
    FrameMags out;
    EXPECT_FALSE(s.getFrame(1, out));
    EXPECT_FALSE(s.getFrame(-1, out));

    // As a series read from a damaged file could hold them.
    s.offsets[0] = 2;
    EXPECT_FALSE(s.getFrame(0, out));
    EXPECT_EQ(out.size(), 0u);
    s.offsets[0] = -1;
    EXPECT_FALSE(s.getFrame(0, out));
    s.offsets[0] = 0;
    s.lengths[0] = 4;
    EXPECT_FALSE(s.getFrame(0, out));
}

TEST(FrameSeries, CopiesCarryEveryField)
{
    FrameSeries s;
    s.size = 256;
    s.sampleRate = 48000.0f;
    s.appendFrame(std::vector<float>{1, 2});
    FrameSeries copy = s;
    s.values[0] = 99.0f;
    EXPECT_EQ(copy.size, 256);
    EXPECT_EQ(copy.sampleRate, 48000.0f);
    EXPECT_EQ(copy.frameCount, 1);
    FrameMags out;
    ASSERT_TRUE(copy.getFrame(0, out));
    EXPECT_EQ(values(out), (std::vector<float>{1, 2}));
}
