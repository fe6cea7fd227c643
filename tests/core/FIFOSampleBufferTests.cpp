#include "core/FIFOSampleBufferTemplate.h"
#include "core/FastVector.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <numeric>
#include <vector>

using Tessarin::FastVector;
using Tessarin::FIFOSampleBufferTemplate;

namespace {

template <class T>
std::vector<T> live(const FIFOSampleBufferTemplate<T>& b)
{
    return std::vector<T>(b.begin(), b.begin() + std::size_t(b.size()) * b.channelCount());
}

template <class T>
std::vector<T> ramp(std::size_t n, int from = 1)
{
    std::vector<T> v(n);
    for (std::size_t i = 0; i < n; ++i) {
        v[i] = T(from + int(i));
    }
    return v;
}

template <class T>
class EveryElementType : public ::testing::Test {};
using ElementTypes = ::testing::Types<char, unsigned char, short, int, float, double>;
TYPED_TEST_SUITE(EveryElementType, ElementTypes);

} // namespace

TYPED_TEST(EveryElementType, StorageIsAlignedAndGrownInWholeGranules)
{
    FIFOSampleBufferTemplate<TypeParam> b(512, 1);
    EXPECT_EQ(b.capacity(), 0u);
    const auto values = ramp<TypeParam>(100);
    for (std::uint32_t round = 0; round < 40; ++round) {
        b.append(values.data(), 100);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(b.storage()) % 16, 0u);
        EXPECT_EQ(b.capacityInBytes() % 512, 0u);
        EXPECT_GE(b.capacity(), b.size());
    }
    EXPECT_EQ(b.size(), 4000u);
    EXPECT_EQ(b.begin()[3999], values[99]);
}

TEST(FIFOSampleBuffer, GrowsGeometricallySoFrameSizedAppendsRarelyCopy)
{
    FIFOSampleBufferTemplate<float> b(512, 1);
    std::vector<float> frame(128, 1.0f); // one granule per append
    int reallocations = 0;
    const float* storage = b.storage();
    for (int i = 0; i < 1000; ++i) {
        b.append(frame.data(), 128);
        if (b.storage() != storage) {
            ++reallocations;
            storage = b.storage();
        }
    }
    EXPECT_EQ(b.size(), 128000u);
    EXPECT_LT(reallocations, 25); // about log(1000) / log(1.5), not one per append
    // A first growth takes just the granules needed.
    FIFOSampleBufferTemplate<int> small(512, 1);
    const int three[] = {1, 2, 3};
    small.append(three, 3);
    EXPECT_EQ(small.capacityInBytes(), 512u);
}

TYPED_TEST(EveryElementType, FastVectorStartsWithRoomForThirtyTwoElementsInOneGranule)
{
    FastVector<TypeParam> v;
    EXPECT_EQ(v.size(), 0u);
    EXPECT_EQ(v.capacityInBytes(), 512u); // 32 elements of at most 8 bytes round up to one granule
    EXPECT_EQ(v.granularity(), 512u);
    EXPECT_EQ(v.channelCount(), 1u);
}

TEST(FIFOSampleBuffer, AppendThatFitsMovesConsumedSpaceOutFirst)
{
    FIFOSampleBufferTemplate<int> b(512, 1);
    const auto first = ramp<int>(10);
    b.append(first.data(), 10);
    const std::uint32_t capacityBefore = b.capacityInBytes();
    EXPECT_EQ(b.consume(4), 4u);
    EXPECT_EQ(b.readPosition(), 4u);
    EXPECT_EQ(b.begin(), b.storage() + 4);

    const std::array<int, 3> more{100, 101, 102};
    b.append(more.data(), 3);
    EXPECT_EQ(b.capacityInBytes(), capacityBefore); // no reallocation
    EXPECT_EQ(b.readPosition(), 0u);
    EXPECT_EQ(b.begin(), b.storage());
    EXPECT_EQ(live(b), (std::vector<int>{5, 6, 7, 8, 9, 10, 100, 101, 102}));
}

TEST(FIFOSampleBuffer, GrowthCopiesOnlyTheLiveSamples)
{
    FIFOSampleBufferTemplate<short> b(512, 1);
    const auto values = ramp<short>(256); // exactly one granule
    b.append(values.data(), 256);
    b.consume(250);
    const auto more = ramp<short>(300, 1000);
    b.append(more.data(), 300);
    ASSERT_EQ(b.size(), 306u);
    EXPECT_EQ(b.readPosition(), 0u);
    EXPECT_EQ(b.begin()[0], 251);
    EXPECT_EQ(b.begin()[5], 256);
    EXPECT_EQ(b.begin()[6], 1000);
    EXPECT_EQ(b.begin()[305], 1299);
}

TEST(FIFOSampleBuffer, ConsumeAndTakeNeverPassTheLiveCount)
{
    FIFOSampleBufferTemplate<float> b(512, 1);
    const auto values = ramp<float>(5);
    b.append(values.data(), 5);

    EXPECT_EQ(b.consume(2), 2u);
    EXPECT_EQ(b.size(), 3u);

    std::array<float, 8> dst;
    dst.fill(-7.0f);
    EXPECT_EQ(b.take(dst.data(), 8), 3u);
    EXPECT_EQ(dst[0], 3.0f);
    EXPECT_EQ(dst[2], 5.0f);
    EXPECT_EQ(dst[3], -7.0f); // nothing written past the three live samples
    EXPECT_TRUE(b.isEmpty());

    b.append(values.data(), 2);
    EXPECT_EQ(b.consume(2), 2u); // n equal to the count empties and returns the old count
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(b.consume(1), 0u);
}

TEST(FIFOSampleBuffer, TakeOfPartCopiesFromTheFrontAndKeepsTheRest)
{
    FIFOSampleBufferTemplate<double> b(512, 1);
    const auto values = ramp<double>(6);
    b.append(values.data(), 6);
    std::array<double, 2> dst{};
    EXPECT_EQ(b.take(dst.data(), 2), 2u);
    EXPECT_EQ(dst[0], 1.0);
    EXPECT_EQ(dst[1], 2.0);
    EXPECT_EQ(live(b), (std::vector<double>{3, 4, 5, 6}));
}

TEST(FIFOSampleBuffer, InterleavedChannelsMoveTogether)
{
    FIFOSampleBufferTemplate<short> b(512, 2);
    const std::vector<short> frames{1, -1, 2, -2, 3, -3};
    b.append(frames.data(), 3);
    EXPECT_EQ(b.size(), 3u);
    EXPECT_EQ(b.capacity(), 128u); // 512 bytes / (2 channels · 2 bytes)
    b.consume(1);
    EXPECT_EQ(b.begin()[0], 2);
    EXPECT_EQ(b.begin()[1], -2);
    std::array<short, 2> one{};
    EXPECT_EQ(b.take(one.data(), 1), 1u);
    EXPECT_EQ(one[1], -2);
    EXPECT_EQ(live(b), (std::vector<short>{3, -3}));
}

TEST(FIFOSampleBuffer, MoveFromAppendsAndEmptiesTheSource)
{
    FIFOSampleBufferTemplate<int> a(512, 1);
    FIFOSampleBufferTemplate<int> b(512, 1);
    const auto x = ramp<int>(3);
    const auto y = ramp<int>(4, 10);
    a.append(x.data(), 3);
    b.append(y.data(), 4);
    b.consume(1);
    a.moveFrom(b);
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(live(a), (std::vector<int>{1, 2, 3, 11, 12, 13}));
}

TEST(FIFOSampleBuffer, ClearKeepsCapacityAndResizeCutsOrExtends)
{
    FastVector<int> v;
    const auto values = ramp<int>(200);
    v.append(values.data(), 200);
    const std::uint32_t capacity = v.capacityInBytes();
    v.resize(3);
    EXPECT_EQ(v.size(), 3u);
    EXPECT_EQ(v[2], 3);
    v.resize(250);
    EXPECT_EQ(v.size(), 250u);
    EXPECT_EQ(v[0], 1);
    v.clear();
    EXPECT_EQ(v.size(), 0u);
    EXPECT_EQ(v.readPosition(), 0u);
    EXPECT_EQ(v.capacityInBytes(), capacity);
}

TEST(FIFOSampleBuffer, CopiesAreDeepAndMovesLeaveAnEmptySource)
{
    FastVector<float> a;
    a.push_back(1.5f);
    a.push_back(2.5f);
    FastVector<float> b = a;
    b[0] = 9.0f;
    EXPECT_EQ(a[0], 1.5f);
    EXPECT_EQ(b.size(), 2u);

    FastVector<float> c = std::move(a);
    EXPECT_EQ(c.size(), 2u);
    EXPECT_EQ(c[1], 2.5f);
    a = c; // a moved-from vector is usable again
    EXPECT_EQ(a.size(), 2u);
}

TEST(FIFOSampleBuffer, SizesBeyondThirtyTwoBitsAreRefusedNotWrapped)
{
    FastVector<double> v;
    EXPECT_THROW(v.ensureCapacity(UINT32_MAX), std::bad_alloc);
    EXPECT_EQ(v.size(), 0u);
    v.push_back(1.0);
    EXPECT_THROW(v.grow(UINT32_MAX), std::length_error);
    EXPECT_EQ(v.size(), 1u);
    EXPECT_EQ(v[0], 1.0);
}
