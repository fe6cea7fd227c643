#include "model/TessarinWinMemoryStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using TessarinWin::CMemoryBuffer;
using TessarinWin::CMemoryStream;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const CMemoryBuffer& b)
{
    return {b.data(), b.data() + b.size()};
}

CMemoryBuffer bufferOf(const Bytes& bytes)
{
    CMemoryBuffer b;
    b.append(bytes.data(), bytes.size());
    return b;
}

} // namespace

TEST(ProjectBuffer, WritesInsideGrowPastTheEndAndNeverLeaveAGap)
{
    CMemoryBuffer b = bufferOf({1, 2, 3});
    const std::uint8_t two[2] = {8, 9};
    EXPECT_TRUE(b.write(1, two, 2));
    EXPECT_EQ(bytesOf(b), (Bytes{1, 8, 9}));
    EXPECT_TRUE(b.write(2, two, 2)); // ends past the end: grows by one
    EXPECT_EQ(bytesOf(b), (Bytes{1, 8, 8, 9}));
    EXPECT_TRUE(b.write(4, two, 1)); // starts exactly at the end: appends
    EXPECT_EQ(bytesOf(b), (Bytes{1, 8, 8, 9, 8}));
    EXPECT_FALSE(b.write(6, two, 2)); // would leave byte 5 undefined
    EXPECT_EQ(b.size(), 5u);
    b.clear();
    EXPECT_EQ(b.size(), 0u);
}

TEST(ProjectStream, WritesLittleEndianItemsAndAdvances)
{
    CMemoryBuffer b;
    CMemoryStream s(b);
    ASSERT_TRUE(s.writeInt32(-2));
    ASSERT_TRUE(s.writeByte(0x7f));
    ASSERT_TRUE(s.writeString("ka"));
    ASSERT_TRUE(s.writeString(""));
    ASSERT_TRUE(s.writeStringList({"x", ""}));
    EXPECT_EQ(s.position, 4 + 1 + 6 + 4 + 4 + 5 + 4);
    EXPECT_EQ(bytesOf(b), (Bytes{0xfe, 0xff, 0xff, 0xff, 0x7f, 2, 0, 0, 0, 'k', 'a', 0, 0, 0, 0,
                                 2, 0, 0, 0, 1, 0, 0, 0, 'x', 0, 0, 0, 0}));
}

TEST(ProjectStream, AStringIsWrittenOnlyUpToItsFirstNul)
{
    CMemoryBuffer b;
    CMemoryStream s(b);
    ASSERT_TRUE(s.writeString(std::string("ab\0cd", 5)));
    EXPECT_EQ(bytesOf(b), (Bytes{2, 0, 0, 0, 'a', 'b'}));
}

TEST(ProjectStream, WritesOverwriteAtThePositionButNotBeyondTheEnd)
{
    CMemoryBuffer b = bufferOf({9, 9, 9, 9, 9, 9});
    CMemoryStream s(b);
    s.position = 1;
    ASSERT_TRUE(s.writeInt32(0x01020304));
    EXPECT_EQ(bytesOf(b), (Bytes{9, 4, 3, 2, 1, 9}));
    EXPECT_EQ(s.position, 5);
    s.position = 7;
    EXPECT_FALSE(s.writeByte(1));
    EXPECT_EQ(s.position, 7);
    EXPECT_EQ(b.size(), 6u);
}

TEST(ProjectStream, ReadsWhatWasWritten)
{
    CMemoryBuffer b;
    CMemoryStream w(b);
    ASSERT_TRUE(w.writeInt32(123456789));
    ASSERT_TRUE(w.writeString("\xe3\x81\x82"));
    ASSERT_TRUE(w.writeStringList({"/a", "/b c"}));
    ASSERT_TRUE(w.writeByte(0));

    CMemoryStream r(b);
    std::int32_t n = 0;
    std::string text;
    std::vector<std::string> list{"old"};
    std::uint8_t flag = 1;
    EXPECT_TRUE(r.readInt32(n));
    r.readString(text);
    r.readStringList(list);
    r.readByte(flag);
    EXPECT_EQ(n, 123456789);
    EXPECT_EQ(text, "\xe3\x81\x82");
    EXPECT_EQ(list, (std::vector<std::string>{"/a", "/b c"}));
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(r.remaining(), 0u);
}

TEST(ProjectStream, StringLengthMissingReadsEmptyAndConsumesNothing)
{
    CMemoryBuffer b = bufferOf({5, 0, 0});
    CMemoryStream s(b);
    std::string text = "kept?";
    s.readString(text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(s.position, 0);
}

TEST(ProjectStream, NegativeLengthLeavesTheStringAndConsumesOnlyTheLength)
{
    CMemoryBuffer b = bufferOf({0xff, 0xff, 0xff, 0xff, 1, 0, 0, 0, 'z'});
    CMemoryStream s(b);
    std::string text = "before";
    s.readString(text);
    EXPECT_EQ(text, "before");
    EXPECT_EQ(s.position, 4);
    s.readString(text); // the reading goes on from there
    EXPECT_EQ(text, "z");
}

TEST(ProjectStream, LengthBeyondTheDataReadsEmptyAndLeavesTheTextBytes)
{
    // Declares 0x7fffffff bytes with 3 present: must neither allocate that nor consume them.
    CMemoryBuffer b = bufferOf({0xff, 0xff, 0xff, 0x7f, 1, 0, 0});
    CMemoryStream s(b);
    std::string text = "before";
    s.readString(text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(s.position, 4);
    std::uint8_t next = 0;
    s.readByte(next);
    EXPECT_EQ(next, 1);
}

TEST(ProjectStream, ReadTextStopsAtItsFirstNulButConsumesAllOfIt)
{
    CMemoryBuffer b = bufferOf({4, 0, 0, 0, 'a', 0, 'b', 'c', 7});
    CMemoryStream s(b);
    std::string text;
    s.readString(text);
    EXPECT_EQ(text, "a");
    EXPECT_EQ(s.position, 8);
}

TEST(ProjectStream, ByteBeyondTheEndKeepsItsValue)
{
    CMemoryBuffer b;
    CMemoryStream s(b);
    std::uint8_t flag = 1;
    s.readByte(flag);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(s.position, 0);
}

TEST(ProjectStream, ListCountsNegativeMissingOrTooLarge)
{
    {
        CMemoryBuffer b = bufferOf({0xfe, 0xff, 0xff, 0xff, 1, 0, 0, 0, 'a'});
        CMemoryStream s(b);
        std::vector<std::string> list{"old"};
        s.readStringList(list);
        EXPECT_TRUE(list.empty());
        EXPECT_EQ(s.position, 4);
    }
    {
        CMemoryBuffer b = bufferOf({1, 0});
        CMemoryStream s(b);
        std::vector<std::string> list{"old"};
        s.readStringList(list);
        EXPECT_TRUE(list.empty());
        EXPECT_EQ(s.position, 0);
    }
    {
        // Count 2^31 − 1 over one real element, one whose length overruns, and 2 stray bytes: the
        // elements the data holds are kept (the overrunning one as empty), and the list ends with
        // the data instead of growing to the declared count.
        CMemoryBuffer b = bufferOf({0xff, 0xff, 0xff, 0x7f, 1, 0, 0, 0, 'a', 9, 0, 0, 0, 'q', 'r'});
        CMemoryStream s(b);
        std::vector<std::string> list;
        s.readStringList(list);
        EXPECT_EQ(list, (std::vector<std::string>{"a", ""}));
        EXPECT_EQ(s.position, 13);
        std::uint8_t flag = 0;
        s.readByte(flag);
        EXPECT_EQ(flag, 'q');
    }
}
