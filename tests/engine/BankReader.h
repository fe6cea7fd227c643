#pragma once

// Reads the voice bank's index and content files by their layout, independently of the writer, so
// tests check the bytes the synthesizer will read.

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace lvtest {

// Reads the index and content files by their layout, independently of the writer.
class ByteReader {
public:
    explicit ByteReader(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    std::int32_t i32()
    {
        std::int32_t v = 0;
        take(&v, 4);
        return v;
    }
    float f32()
    {
        float v = 0;
        take(&v, 4);
        return v;
    }
    std::string str()
    {
        const std::int32_t n = i32();
        std::string s(std::size_t(n), '\0');
        take(s.data(), std::size_t(n));
        return s;
    }
    bool atEnd() const { return m_pos == m_bytes.size(); }
    std::size_t position() const { return m_pos; }

private:
    void take(void* dst, std::size_t n)
    {
        ASSERT_LE(m_pos + n, m_bytes.size());
        std::memcpy(dst, m_bytes.data() + m_pos, n);
        m_pos += n;
    }
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

struct IndexRecord {
    std::string unit;
    std::string pitch;
    std::int32_t offset;
    std::int32_t file;
};

struct Index {
    std::string lowest, highest, dictionary, table;
    std::vector<float> edges;
    std::vector<IndexRecord> records;
};

inline Index readIndex(const std::filesystem::path& path)
{
    ByteReader r(lvtest::readFile(path));
    Index idx;
    EXPECT_EQ(r.i32(), 6);
    EXPECT_EQ(r.i32(), 2);
    const std::int32_t filler = r.i32();
    EXPECT_GE(filler, 0);
    EXPECT_EQ(r.i32(), 128);
    EXPECT_EQ(r.f32(), 44100.0f);
    EXPECT_EQ(r.f32(), -26.35f);
    EXPECT_EQ(r.f32(), -0.0002f);
    EXPECT_EQ(r.f32(), 69.0f);
    EXPECT_EQ(r.f32(), 20000.0f);
    EXPECT_EQ(r.i32(), 30);
    EXPECT_EQ(r.i32(), 1);
    EXPECT_EQ(r.f32(), 20.0f);
    EXPECT_EQ(r.f32(), 5000.0f);
    EXPECT_EQ(r.f32(), 4000.0f);
    idx.lowest = r.str();
    idx.highest = r.str();
    idx.dictionary = r.str();
    idx.table = r.str();
    EXPECT_EQ(r.i32(), 1000);
    EXPECT_EQ(r.i32(), 850);
    EXPECT_EQ(r.i32(), 1250);
    EXPECT_EQ(r.f32(), 1.0f);
    EXPECT_EQ(r.f32(), 1.0f);
    EXPECT_EQ(r.f32(), 0.0f);
    EXPECT_EQ(r.i32(), 128);
    const std::int32_t edges = r.i32();
    for (std::int32_t i = 0; i < edges; ++i) {
        idx.edges.push_back(r.f32());
    }
    EXPECT_EQ(r.i32(), 256);
    while (!r.atEnd()) {
        const std::size_t start = r.position();
        const std::int32_t length = r.i32();
        EXPECT_EQ(r.i32(), 0);
        IndexRecord rec;
        rec.unit = r.str();
        rec.pitch = r.str();
        rec.offset = r.i32();
        rec.file = r.i32();
        EXPECT_EQ(r.position() - start - 4, std::size_t(length));
        idx.records.push_back(rec);
    }
    return idx;
}

// Content blocks: (offset, length, first marker) of each block.
struct Block {
    std::int32_t offset;
    std::int32_t length;
    std::vector<std::int32_t> markers;
};

inline std::vector<Block> readContent(const std::filesystem::path& path, int markerCount)
{
    const auto bytes = lvtest::readFile(path);
    std::vector<Block> blocks;
    std::size_t pos = 0;
    while (pos + 4 <= bytes.size()) {
        Block b;
        b.offset = std::int32_t(pos);
        std::memcpy(&b.length, bytes.data() + pos, 4);
        for (int i = 0; i < markerCount; ++i) {
            std::int32_t m = 0;
            std::memcpy(&m, bytes.data() + pos + 4 + 4 * std::size_t(i), 4);
            b.markers.push_back(m);
        }
        blocks.push_back(b);
        pos += 4 + std::size_t(b.length);
    }
    EXPECT_EQ(pos, bytes.size());
    return blocks;
}


} // namespace lvtest
