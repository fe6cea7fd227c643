#include "core/MemoryStream.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <vector>

using namespace Tessarin;

namespace {

std::vector<unsigned char> bytesOf(const CMemoryBuffer& b)
{
    const auto* p = reinterpret_cast<const unsigned char*>(b.data());
    return {p, p + b.size()};
}

void setBytes(CMemoryBuffer& b, const std::vector<unsigned char>& bytes)
{
    b.clear();
    b.append(bytes.data(), std::uint32_t(bytes.size()));
}

// The 4 bytes of a float in rotated order.
std::vector<unsigned char> rotatedFloat(float f)
{
    unsigned char p[4];
    std::memcpy(p, &f, 4);
    return {p[1], p[2], p[3], p[0]};
}

FrameSeries sampleSeries()
{
    FrameSeries s;
    s.size = 1024;
    s.sampleRate = 44100.0f;
    s.appendFrame(std::vector<float>{0.5f, -1.25f, 3.0f});
    s.appendFrame(std::vector<float>{});
    s.appendFrame(std::vector<float>{-0.0f, std::numeric_limits<float>::infinity()});
    return s;
}

} // namespace

TEST(RotatedBytes, FirstByteIsStoredLastAndReadsBack)
{
    CMemoryBuffer buffer;
    CMemoryStream stream(&buffer);
    const unsigned char one = 0xAB;
    const std::array<unsigned char, 4> four{0x01, 0x02, 0x03, 0x04};
    ASSERT_TRUE(writeRotated(stream, &one, 1));
    ASSERT_TRUE(writeRotated(stream, four.data(), 4));
    EXPECT_EQ(stream.position, 5u);
    EXPECT_EQ(bytesOf(buffer), (std::vector<unsigned char>{0xAB, 0x02, 0x03, 0x04, 0x01}));

    CMemoryStream reader(&buffer);
    unsigned char oneBack = 0;
    std::array<unsigned char, 4> fourBack{};
    ASSERT_TRUE(readRotated(1, reader, &oneBack));
    ASSERT_TRUE(readRotated(4, reader, fourBack.data()));
    EXPECT_EQ(oneBack, 0xAB);
    EXPECT_EQ(fourBack, four);
    EXPECT_EQ(reader.position, 5u);
}

TEST(RotatedBytes, ValuesRoundTripThroughTheTypedHelpers)
{
    CMemoryBuffer buffer;
    CMemoryStream stream(&buffer);
    ASSERT_TRUE(writeRotatedValue(stream, std::int32_t(-123456)));
    ASSERT_TRUE(writeRotatedValue(stream, 3.25f));
    ASSERT_TRUE(writePlain(stream, std::int32_t(0x01020304)));
    EXPECT_EQ(bytesOf(buffer).back(), 0x01); // plain is little-endian as is

    stream.position = 0;
    std::int32_t i = 0;
    float f = 0;
    std::int32_t plain = 0;
    ASSERT_TRUE(readRotatedValue(stream, i));
    ASSERT_TRUE(readRotatedValue(stream, f));
    ASSERT_TRUE(readPlain(stream, plain));
    EXPECT_EQ(i, -123456);
    EXPECT_EQ(f, 3.25f);
    EXPECT_EQ(plain, 0x01020304);
}

TEST(ByteReads, AReadPastTheEndLeavesDestinationAndPositionAlone)
{
    CMemoryBuffer buffer;
    setBytes(buffer, {1, 2, 3});
    CMemoryStream stream(&buffer);
    stream.position = 1;
    std::array<unsigned char, 4> dst{9, 9, 9, 9};
    EXPECT_FALSE(readBytes(3, stream, dst.data()));
    EXPECT_FALSE(readRotated(3, stream, dst.data()));
    EXPECT_EQ(dst, (std::array<unsigned char, 4>{9, 9, 9, 9}));
    EXPECT_EQ(stream.position, 1u);
    EXPECT_TRUE(readBytes(2, stream, dst.data()));
    EXPECT_EQ(dst[0], 2);
    EXPECT_EQ(dst[1], 3);
    EXPECT_EQ(stream.position, 3u);

    stream.position = UINT32_MAX - 1; // no wrap-around in the bounds test
    EXPECT_FALSE(readBytes(4, stream, dst.data()));
    EXPECT_EQ(stream.remaining(), 0u);
}

TEST(ByteWrites, PositionDecidesAppendOverwriteOrNothing)
{
    CMemoryBuffer buffer;
    setBytes(buffer, {1, 2, 3, 4});
    const std::array<unsigned char, 3> src{7, 8, 9};

    EXPECT_FALSE(writeBytes(buffer, 3, 5, src.data())); // beyond the end: nothing
    EXPECT_EQ(buffer.size(), 4u);
    EXPECT_FALSE(writeBytes(buffer, 0, 0, src.data()));
    EXPECT_FALSE(writeBytes(buffer, 3, 0, nullptr));

    EXPECT_TRUE(writeBytes(buffer, 2, 1, src.data())); // inside: overwrite
    EXPECT_EQ(bytesOf(buffer), (std::vector<unsigned char>{1, 7, 8, 4}));

    EXPECT_TRUE(writeBytes(buffer, 3, 2, src.data())); // across the end: grows
    EXPECT_EQ(bytesOf(buffer), (std::vector<unsigned char>{1, 7, 7, 8, 9}));

    EXPECT_TRUE(writeBytes(buffer, 2, 5, src.data())); // at the end: appends
    EXPECT_EQ(bytesOf(buffer), (std::vector<unsigned char>{1, 7, 7, 8, 9, 7, 8}));

    CMemoryStream stream(&buffer);
    stream.position = 100;
    EXPECT_FALSE(writeBytes(stream, src.data(), 3));
    EXPECT_EQ(stream.position, 100u);
    EXPECT_EQ(buffer.size(), 7u);
}

TEST(CountedVector, CountIsAFloatWithATenthAddedAndElementsFormOneRotatedBlock)
{
    FastVector<float> v;
    v.push_back(1.0f);
    v.push_back(2.0f);
    v.push_back(3.0f);
    CMemoryBuffer buffer;
    CMemoryStream stream(&buffer);
    ASSERT_TRUE(writeCountedVector(stream, v));
    const auto bytes = bytesOf(buffer);
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin(), bytes.begin() + 4), rotatedFloat(3.1f));

    // One rotation over the 12 element bytes: the first byte of element 0 is stored last.
    unsigned char plain[12];
    std::memcpy(plain, v.data(), 12);
    EXPECT_EQ(bytes[4], plain[1]);
    EXPECT_EQ(bytes[14], plain[11]);
    EXPECT_EQ(bytes[15], plain[0]);

    stream.position = 0;
    FastVector<float> back;
    back.push_back(42.0f); // reading clears first
    ASSERT_TRUE(readCountedVector(stream, back));
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[0], 1.0f);
    EXPECT_EQ(back[2], 3.0f);
    EXPECT_EQ(stream.position, 16u);
}

TEST(CountedVector, ReadTruncatesTheStoredCount)
{
    CMemoryBuffer buffer;
    auto bytes = rotatedFloat(2.9f); // truncates to 2
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(0);
    }
    setBytes(buffer, bytes);
    CMemoryStream stream(&buffer);
    FastVector<int> v;
    ASSERT_TRUE(readCountedVector(stream, v));
    EXPECT_EQ(v.size(), 2u);
    EXPECT_EQ(stream.position, 12u);
}

TEST(CountedVector, EmptyVectorIsOnlyItsCount)
{
    FastVector<int> v;
    CMemoryBuffer buffer;
    CMemoryStream stream(&buffer);
    ASSERT_TRUE(writeCountedVector(stream, v));
    EXPECT_EQ(bytesOf(buffer), rotatedFloat(0.1f));
    stream.position = 0;
    v.push_back(5);
    ASSERT_TRUE(readCountedVector(stream, v));
    EXPECT_EQ(v.size(), 0u);
}

TEST(CountedVector, IntegersKeepTheirBitPatterns)
{
    FastVector<int> v;
    v.push_back(-1);
    v.push_back(0x7F800001); // a NaN pattern if it were a float
    CMemoryBuffer buffer;
    CMemoryStream stream(&buffer);
    ASSERT_TRUE(writeCountedVector(stream, v));
    stream.position = 0;
    FastVector<int> back;
    ASSERT_TRUE(readCountedVector(stream, back));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0], -1);
    EXPECT_EQ(back[1], 0x7F800001);
}

TEST(CountedVector, DamagedCountsFailWithoutSizingAnything)
{
    const float damaged[] = {std::nanf(""), -5.0f, 1.0e9f, std::numeric_limits<float>::infinity(), 4.5f};
    for (const float count : damaged) {
        CMemoryBuffer buffer;
        auto bytes = rotatedFloat(count);
        bytes.insert(bytes.end(), 8, 0); // room for two elements only
        setBytes(buffer, bytes);
        CMemoryStream stream(&buffer);
        FastVector<float> v;
        EXPECT_FALSE(readCountedVector(stream, v)) << count;
        EXPECT_EQ(v.size(), 0u);
        EXPECT_EQ(v.capacityInBytes(), 512u) << "no allocation from a count of " << count;
        EXPECT_EQ(stream.position, 0u);
    }
}

TEST(ShortVector, CountIsPlainAndNonPositiveCountsLeaveTheVector)
{
    FastVector<short> v;
    v.push_back(-2);
    v.push_back(300);
    CMemoryBuffer buffer;
    CMemoryStream stream(&buffer);
    ASSERT_TRUE(writeShortVector(stream, v));
    EXPECT_EQ(bytesOf(buffer), (std::vector<unsigned char>{2, 0, 0, 0, 0xFE, 0xFF, 0x2C, 0x01}));

    stream.position = 0;
    FastVector<short> back;
    ASSERT_TRUE(readShortVector(stream, back));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1], 300);

    for (const std::int32_t count : {0, -3}) {
        CMemoryBuffer b;
        CMemoryStream s(&b);
        writePlain(s, count);
        s.position = 0;
        FastVector<short> kept;
        kept.push_back(7);
        EXPECT_TRUE(readShortVector(s, kept));
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(kept[0], 7);
    }

    CMemoryBuffer tooShort;
    setBytes(tooShort, {100, 0, 0, 0, 1, 2});
    CMemoryStream s(&tooShort);
    FastVector<short> untouched;
    EXPECT_FALSE(readShortVector(s, untouched));
    EXPECT_EQ(untouched.size(), 0u);
    EXPECT_EQ(s.position, 0u);
}

TEST(FrameSeriesSerialisation, RoundTripsEveryFieldAndFrame)
{
    const FrameSeries s = sampleSeries();
    CMemoryBuffer buffer;
    CMemoryStream stream(&buffer);
    ASSERT_TRUE(writeFrameSeries(stream, s));
    // 3 rotated scalars, then counted offsets (3), lengths (3) and values (5).
    EXPECT_EQ(buffer.size(), 12u + (4 + 12) + (4 + 12) + (4 + 20));

    stream.position = 0;
    FrameSeries back;
    back.appendFrame(std::vector<float>{9, 9, 9, 9});
    ASSERT_TRUE(readFrameSeries(stream, back));
    EXPECT_EQ(back.size, 1024);
    EXPECT_EQ(back.frameCount, 3);
    FrameMags frame;
    ASSERT_TRUE(back.getFrame(0, frame));
    ASSERT_EQ(frame.size(), 3u);
    EXPECT_EQ(frame[1], -1.25f);
    ASSERT_TRUE(back.getFrame(1, frame));
    EXPECT_EQ(frame.size(), 0u);
    ASSERT_TRUE(back.getFrame(2, frame));
    EXPECT_TRUE(std::signbit(frame[0]));
    EXPECT_TRUE(std::isinf(frame[1]));
}

TEST(FrameSeriesSerialisation, EveryTruncationFailsCleanly)
{
    CMemoryBuffer whole;
    CMemoryStream writer(&whole);
    ASSERT_TRUE(writeFrameSeries(writer, sampleSeries()));
    const auto bytes = bytesOf(whole);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        CMemoryBuffer part;
        setBytes(part, std::vector<unsigned char>(bytes.begin(), bytes.begin() + long(cut)));
        CMemoryStream stream(&part);
        FrameSeries s;
        EXPECT_FALSE(readFrameSeries(stream, s)) << "cut at " << cut;
        EXPECT_EQ(stream.position, 0u);
    }
}

TEST(BufferFiles, LengthPrefixedRoundTripAndShortFiles)
{
    CMemoryBuffer buffer;
    setBytes(buffer, {10, 20, 30});
    std::stringstream file;
    ASSERT_TRUE(saveBuffer(buffer, file));
    EXPECT_EQ(file.str(), std::string("\x03\x00\x00\x00\x0a\x14\x1e", 7));

    CMemoryBuffer back;
    ASSERT_TRUE(loadBuffer(file, back));
    EXPECT_EQ(bytesOf(back), (std::vector<unsigned char>{10, 20, 30}));

    // A length below 1 reads nothing and leaves the buffer as it was.
    std::stringstream zero(std::string("\x00\x00\x00\x00\x01", 5));
    EXPECT_TRUE(loadBuffer(zero, back));
    EXPECT_EQ(back.size(), 3u);
    std::stringstream negative(std::string("\xff\xff\xff\xff", 4));
    EXPECT_TRUE(loadBuffer(negative, back));
    EXPECT_EQ(back.size(), 3u);

    // A length far beyond the file fails after reading what is there.
    std::stringstream huge(std::string("\xff\xff\xff\x7f\x01\x02", 6));
    EXPECT_FALSE(loadBuffer(huge, back));
    EXPECT_EQ(back.size(), 0u);
    EXPECT_LE(back.bytes.capacityInBytes(), 2u << 20) << "memory follows the bytes read, not the declared length";

    std::stringstream noLength(std::string("\x01\x00", 2));
    EXPECT_FALSE(loadBuffer(noLength, back));
}
