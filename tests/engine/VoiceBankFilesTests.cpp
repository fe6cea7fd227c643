#include "engine/SyntheticVoice.h"
#include "engine/VoiceBankFiles.h"
#include "engine/VoiceSources.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace TessarinEngineV6;

namespace {

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

Index readIndex(const std::filesystem::path& path)
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

std::vector<Block> readContent(const std::filesystem::path& path, int markerCount)
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

// ka is a CV symbol, a a vowel, n a voiced consonant.
const std::string kDictionary = "ka,k,a|n||a,a|";

class VoiceBankAssembly : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(m_models);
        std::filesystem::create_directories(m_bank);
        lvtest::SungVowel v;
        v.seconds = 0.6;
        const auto samples = lvtest::singVowel(v);
        const F0Stage steady = [](std::span<const float> s, bool, Tessarin::FastVector<float>& f0) {
            f0.assign(std::uint32_t(s.size() / 128 + 1), 220.0f);
        };
        TSSrcCheckResult r;
        for (const char* pitch : {"C4", "E4"}) {
            analyseVoiceUnit(kDictionary, samples, r, m_models, "ka", pitch, 0.05f, 0.1f, 0.2f, 0.5f, 0.555f, false,
                             steady);
            ASSERT_TRUE(r.ok);
            analyseContinuantUnit(kDictionary, samples, r, m_models, "a_n", pitch, 0.1f, 0.4f, steady);
            ASSERT_TRUE(r.ok);
        }
    }

    lvtest::TempDir m_dir;
    std::filesystem::path m_models = m_dir / "models";
    std::filesystem::path m_bank = m_dir / "bank";
};

} // namespace

TEST(BankNotes, NumbersAndNames)
{
    EXPECT_EQ(noteNumber("C2"), 0);
    EXPECT_EQ(noteNumber("C4"), 24);
    EXPECT_EQ(noteNumber("C1"), -12);
    EXPECT_EQ(noteNumber("D#4"), 27);
    EXPECT_EQ(noteNumber("Db4"), 25);
    EXPECT_EQ(noteNumber("B3"), 23);
    EXPECT_EQ(noteNumber("G0"), -12); // octave 0: the letter is ignored
    EXPECT_EQ(noteNumber("F#0"), -11);
    EXPECT_EQ(noteName(24), "C4");
    EXPECT_EQ(noteName(23), "B3");
    EXPECT_EQ(noteName(27), "D#4");
    EXPECT_EQ(noteName(25), "C#4"); // sharps only
    EXPECT_EQ(noteName(-11), "C#1");
    EXPECT_EQ(noteName(-12), "C1");
    EXPECT_EQ(noteName(-40), "C1");
}

TEST(BankPitchTable, RangesBetweenNeighbours)
{
    EXPECT_EQ(pitchTableText(pitchTable({"C4", "E4"})), "B3/D4/C4/D#4/F4/E4");
    EXPECT_EQ(pitchTableText(pitchTable({"E4", "C4"})), "B3/D4/C4/D#4/F4/E4"); // sorted by note
    EXPECT_EQ(pitchTableText(pitchTable({"C4"})), "B3/C4/C4");
    EXPECT_EQ(pitchTableText(pitchTable({"C4", "X9", "E4"})), "B3/D4/C4/D#4/F4/E4"); // invalid names left out
    // Equal notes keep their list order; neighbours a semitone apart share no extra notes.
    const auto same = pitchTable({"Db4", "C#4"});
    ASSERT_EQ(same.size(), 2u);
    EXPECT_EQ(same[0].pitch, "Db4");
    EXPECT_EQ(same[1].pitch, "C#4");
    EXPECT_EQ(pitchTableText(pitchTable({"C4", "C#4", "D4"})), "B3/C4/C4/C#4/C#4/C#4/D4/D#4/D4");
    EXPECT_EQ(pitchTableText(pitchTable({})), "");
}

TEST(BankUnitList, SevenGroupsInOrder)
{
    CVVCMgr d;
    d.load("ka,k,a|n||a,a|");
    EXPECT_EQ(unitList(d), (std::vector<std::string>{"ka", "-ka", "a_-", "a_n"}));
    d.load("ka,k,a;sa,s,a|n|s|a,a;i,i|hm|br");
    EXPECT_EQ(unitList(d), (std::vector<std::string>{"ka", "sa", "-ka", "-sa", "a_-", "i_-", "a_n", "a_s", "i_n",
                                                     "i_s", "a_i", "i_a", "a_br", "i_br", "hm"}));
}

TEST_F(VoiceBankAssembly, IndexRecordsPointAtTheirContentBlocks)
{
    TSSrcCheckResult result;
    assembleVoiceBank(kDictionary, result, m_models, m_bank, {"C4", "E4"});
    // -ka and a_- have no models at either pitch.
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.codes, (std::vector<std::int32_t>{-2, -2, -2, -2}));
    EXPECT_EQ(result.messages[0], "type=CV  pitch=C4  symbol= -ka");
    EXPECT_EQ(result.messages[1], "type=VX  pitch=C4  symbol= a_-");

    const Index idx = readIndex(m_bank / "TSI");
    EXPECT_EQ(idx.lowest, "C1");
    EXPECT_EQ(idx.highest, "C9");
    EXPECT_EQ(idx.dictionary, kDictionary);
    EXPECT_EQ(idx.table, "B3/D4/C4/D#4/F4/E4");
    EXPECT_EQ(idx.edges, (std::vector<float>{1000, 2000, 5000, 8000, 22050}));
    ASSERT_EQ(idx.records.size(), 4u);
    EXPECT_EQ(idx.records[0].unit, "ka");
    EXPECT_EQ(idx.records[0].pitch, "C4");
    EXPECT_EQ(idx.records[1].unit, "a_n");
    EXPECT_EQ(idx.records[2].pitch, "E4");

    ByteReader content(lvtest::readFile(m_bank / "TSC"));
    const std::int32_t firstLength = content.i32();
    EXPECT_EQ(idx.records[0].offset, 0);
    EXPECT_EQ(idx.records[0].file, 0);
    EXPECT_EQ(idx.records[1].offset, 4 + firstLength);
    // The first block: the eight markers of ka, then the compact model (hop, fft size, rate).
    EXPECT_EQ(content.i32(), 17);
    for (int i = 1; i < 8; ++i) {
        content.i32();
    }
    EXPECT_EQ(content.i32(), 128);
    EXPECT_EQ(content.i32(), 512);
    EXPECT_EQ(content.f32(), 44100.0f);
    const auto blocks = readContent(m_bank / "TSC", 7);
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[1].markers[0], 34); // a_n: q0 of a connect point at 0.1 s
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(blocks[i].offset, idx.records[i].offset);
    }
    EXPECT_FALSE(std::filesystem::exists(m_bank / "TSI.tmp"));
    EXPECT_FALSE(std::filesystem::exists(m_bank / "TSC_1"));
}

TEST_F(VoiceBankAssembly, ContentContinuesInNumberedFilesPastTheLimit)
{
    lvtest::writeFile(m_bank / "TSC_7", {1, 2, 3}); // not contiguous with the new files: left alone
    lvtest::writeFile(m_bank / "TSC_4", {1, 2, 3});
    TSSrcCheckResult result;
    assembleVoiceBank(kDictionary, result, m_models, m_bank, {"C4", "E4"}, 1);
    const Index idx = readIndex(m_bank / "TSI");
    ASSERT_EQ(idx.records.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(idx.records[i].file, std::int32_t(i));
        EXPECT_EQ(idx.records[i].offset, 0);
    }
    EXPECT_EQ(readContent(m_bank / "TSC", 8).size(), 1u);
    EXPECT_EQ(readContent(m_bank / "TSC_3", 7).size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(m_bank / "TSC_4")); // the last file opened, empty
    EXPECT_EQ(std::filesystem::file_size(m_bank / "TSC_4"), 0u);
    EXPECT_TRUE(std::filesystem::exists(m_bank / "TSC_7"));
}

TEST_F(VoiceBankAssembly, InvalidPitchesAreLookedUpAndAFolderThatCannotBeWrittenStopsAtOnce)
{
    TSSrcCheckResult result;
    assembleVoiceBank(kDictionary, result, m_models, m_bank, {"C4", "H4"});
    EXPECT_EQ(readIndex(m_bank / "TSI").table, "B3/C4/C4");
    // H4's four units are each checked, and fail on the pitch name.
    EXPECT_EQ(std::count(result.codes.begin(), result.codes.end(), 5), 4);

    const auto before = lvtest::readFile(m_bank / "TSI");
    TSSrcCheckResult failed;
    assembleVoiceBank(kDictionary, failed, m_models, m_dir / "missing" / "folder", {"C4"});
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.codes, std::vector<std::int32_t>{-1});
    EXPECT_EQ(failed.messages, std::vector<std::string>{" "});
    EXPECT_EQ(lvtest::readFile(m_bank / "TSI"), before);
}

TEST_F(VoiceBankAssembly, SameModelsGiveTheSameBank)
{
    TSSrcCheckResult result;
    assembleVoiceBank(kDictionary, result, m_models, m_bank, {"C4", "E4"});
    const auto first = lvtest::readFile(m_bank / "TSI");
    const auto firstContent = lvtest::readFile(m_bank / "TSC");
    assembleVoiceBank(kDictionary, result, m_models, m_bank, {"C4", "E4"});
    EXPECT_EQ(lvtest::readFile(m_bank / "TSI"), first);
    EXPECT_EQ(lvtest::readFile(m_bank / "TSC"), firstContent);
}
