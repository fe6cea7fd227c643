#include "engine/BankReader.h"
#include "support/SyntheticVoice.h"
#include "engine/VoiceBankFiles.h"
#include "engine/VoiceSources.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace TessarinEngineV6;

using namespace lvtest;

namespace {

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

TEST_F(VoiceBankAssembly, ModelFilesTooShortForTheirLengthAreMarkerErrorsNotMissing)
{
    // They open, keep the construction markers (p0 = p1 = 0, q0 = -1) and fail the marker check.
    lvtest::writeFile(m_models / "C4.-ka.LVModel", {0x01, 0x02});
    lvtest::writeFile(m_models / "C4.a_-.LVModel", {});
    TSSrcCheckResult result;
    assembleVoiceBank(kDictionary, result, m_models, m_bank, {"C4"});
    EXPECT_EQ(result.codes, (std::vector<std::int32_t>{0, 0}));
    EXPECT_EQ(result.messages[0], "type=CV  pitch=C4  symbol= -ka");
    EXPECT_EQ(result.messages[1], "type=VX  pitch=C4  symbol= a_-");
}

TEST_F(VoiceBankAssembly, ContentContinuesInNumberedFilesPastTheLimit)
{
    lvtest::writeFile(m_bank / "TSC_7", {1, 2, 3}); // past a gap: no longer part of the bank either
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
    EXPECT_FALSE(std::filesystem::exists(m_bank / "TSC_7"));
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
