#pragma once

// Assembly of the voice bank: every unit the dictionary implies, at every pitch of the list, is read
// back from its model file, checked again, and written as one block of the content file "TSC" (with
// continuations TSC_1, TSC_2 … past a size threshold) and one record of the index file "TSI", after
// the bank's global settings.
//
// The files are written beside their targets and renamed over them only when the whole bank is
// complete, so a failed or interrupted assembly never leaves half a bank next to a good old one.

#include "core/AnalysisConstants.h"
#include "core/FileAccess.h"
#include "engine/SourceChecker.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace TessarinEngineV6 {

inline constexpr std::uint32_t kContentFileLimit = 0x6A400000; // 1700 MiB

// n = 12·(octave − 2) + letter + accidental; octave 0 gives −12 + accidental. For valid names only.
int noteNumber(std::string_view pitch);
// Sharps only; −12 and below are C1.
std::string noteName(int note);

struct PitchRange {
    std::string low;
    std::string high;
    std::string pitch;
};
// The valid pitches sorted by note (stably), each with the range of notes it covers.
std::vector<PitchRange> pitchTable(const std::vector<std::string>& pitches);
std::string pitchTableText(const std::vector<PitchRange>& table);

// CV symbols, "-" + CV symbols, vowel + "_-", vowel_consonant, vowel_vowel, vowel_tail, independents.
std::vector<std::string> unitList(const CVVCMgr& dictionary);

inline constexpr std::string_view kBankDescriptionName = "voice.tssd";

// Fills result: ok exactly when no code was recorded. contentLimit is the size at which a new
// content file starts. description, when not empty, is the bank's description (voice.tssd), installed
// with the bank. The index, the content files and the description replace the old bank's as one set
// (core/FileSet.h): a process killed at any moment leaves the old bank or the new one. Returns true
// when the new files replaced the old bank (units may still be missing from it); false when they
// could not all be written, and the old bank stays.
bool assembleVoiceBank(std::string_view dictionaryText, TSSrcCheckResult& result,
                       const std::filesystem::path& modelFolder, const std::filesystem::path& voiceBankFolder,
                       const std::vector<std::string>& pitches, std::uint32_t contentLimit = kContentFileLimit,
                       std::string_view description = {});

// The index file starts with these two values and a pseudo-random one that readers ignore; the bank's
// settings follow.
inline constexpr std::int32_t kIndexLeadingValues[2] = {6, 2};

// The bank's global settings, with the values every bank is written with (the dictionary and the
// pitch table are the bank's own). In the index every value is plain little-endian, every string a
// 32-bit length and its bytes, and the band edges a 32-bit count and the edges.
struct BankSettings {
    std::int32_t hop = Tessarin::kHop;
    float sampleRate = Tessarin::kSampleRateF;
    float setting2 = -26.35f, setting3 = -0.0002f, setting4 = 69.0f, setting5 = 20000.0f;
    std::int32_t setting6 = 30, setting7 = 1;
    float setting8 = 20.0f, setting9 = 5000.0f, setting10 = 4000.0f;
    std::string lowestPitch = "C1", highestPitch = "C9";
    std::string dictionaryText;
    std::string pitchTable; // pitchTableText
    std::int32_t setting14 = 1000, setting15 = 850, setting16 = 1250;
    float setting17 = 1.0f, setting18 = 1.0f, setting19 = 0.0f;
    std::int32_t setting20 = 128;
    std::vector<float> bandEdges{Tessarin::kNoiseBandEdges.begin() + 1, Tessarin::kNoiseBandEdges.end()}; // upper edges [Hz]
    std::int32_t setting22 = 256;
};

// Calls field(member) for every setting in the order of the index file, as long as it returns true:
// the one list of the header that the writer and the reader both walk. Settings is BankSettings or
// const BankSettings.
template <class Settings, class Field>
bool forEachBankSetting(Settings& s, Field&& field)
{
    return field(s.hop) && field(s.sampleRate) && field(s.setting2) && field(s.setting3) && field(s.setting4) &&
           field(s.setting5) && field(s.setting6) && field(s.setting7) && field(s.setting8) && field(s.setting9) &&
           field(s.setting10) && field(s.lowestPitch) && field(s.highestPitch) && field(s.dictionaryText) &&
           field(s.pitchTable) && field(s.setting14) && field(s.setting15) && field(s.setting16) &&
           field(s.setting17) && field(s.setting18) && field(s.setting19) && field(s.setting20) &&
           field(s.bandEdges) && field(s.setting22);
}

// The index file read back, for inspection. Every length is checked against the bytes that remain.
struct BankIndex {
    using Settings = BankSettings;
    Settings settings;
    struct Record {
        std::string unit;
        std::string pitch;
        std::int32_t file = 0;
        std::int32_t offset = 0;
        std::int32_t length = -1; // the content block's length without its prefix; −1 when unreadable
    };
    std::vector<Record> records;
    bool complete = false; // the index ended exactly after its last record
};

// None when TSI cannot be opened or its header is cut short. Holds every record: for tests and small
// banks; BankIndexReader reads an index of any size.
std::optional<BankIndex> readBankIndex(const std::filesystem::path& voiceBankFolder);

// The index file read record by record, with each record's content block length looked up in its
// content file: memory stays the same whatever the size of the bank.
class BankIndexReader {
public:
    // Opens voiceBankFolder/TSI and reads its header. False when the file cannot be opened (why
    // says why) or its header is cut short (headerCut()).
    bool open(const std::filesystem::path& voiceBankFolder, Tessarin::ReadError* why = nullptr);
    bool headerCut() const { return m_headerCut; }
    const BankIndex::Settings& settings() const { return m_settings; }

    // The next record; false after the last one or where the index is cut inside a record. With
    // lookUpLengths, the block length is read from the content file (−1 when it cannot be).
    bool next(BankIndex::Record& record, bool lookUpLengths = true);
    // After next() returned false: the index ended exactly after its last record.
    bool complete() const { return m_complete; }
    std::uint64_t recordsRead() const { return m_records; }
    std::uint64_t bytesRead() const { return m_position; }

    // Records whose block could not be found: their content file is missing (or not a file), or
    // their offset lies past its end; records whose block does not fit the file: a negative length,
    // a block running past the end, or one that does not start where the previous record's block of
    // that file ends (the blocks of a bank follow one another from offset 0, so an index over the
    // content of another build shows here); and bytes after the last block. Counted per content
    // file number.
    struct ContentProblem {
        std::uint64_t missingFile = 0;
        std::uint64_t pastEnd = 0;
        std::uint64_t misfit = 0;
        std::uint64_t bytesAfterLastBlock = 0;
    };
    const std::map<std::int32_t, ContentProblem>& contentProblems() const { return m_problems; }

private:
    bool readBytes(void* into, std::size_t n);
    template <class T>
    bool read(T& value) { return readBytes(&value, sizeof value); }
    bool read(std::string& text);
    bool read(std::vector<float>& values); // a counted list, its count checked against what remains
    std::int32_t lookUpLength(std::int32_t file, std::int32_t offset);
    std::int32_t lookUpLengthUncached(std::int32_t file, std::int32_t offset);

    Tessarin::FilePtr m_index;
    std::uint64_t m_size = 0;
    std::uint64_t m_position = 0;
    std::uint64_t m_records = 0;
    bool m_headerCut = false;
    bool m_complete = false;
    BankIndex::Settings m_settings;
    // One content file open at a time: records come in file order.
    std::filesystem::path m_folder;
    std::int32_t m_contentNumber = -1;
    Tessarin::FilePtr m_content;
    std::uint64_t m_contentSize = 0;
    // Where the next block of content file m_fitFile should start.
    std::int32_t m_fitFile = -1;
    std::uint64_t m_fitEnd = 0;
    void checkEndOfFit(); // bytes after the last block of m_fitFile
    ContentProblem* problemOf(std::int32_t file);
    bool m_lastFound = false; // the last lookup found its block: (m_contentNumber, m_lastOffset) → m_lastLength
    std::int32_t m_lastOffset = -1;
    std::int32_t m_lastLength = -1;
    std::map<std::int32_t, ContentProblem> m_problems;
};

} // namespace TessarinEngineV6
