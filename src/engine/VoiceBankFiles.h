#pragma once

// Assembly of the voice bank: every unit the dictionary implies, at every pitch of the list, is read
// back from its model file, checked again, and written as one block of the content file "TSC" (with
// continuations TSC_1, TSC_2 … past a size threshold) and one record of the index file "TSI", after
// the bank's global settings.
//
// The files are written beside their targets and renamed over them only when the whole bank is
// complete, so a failed or interrupted assembly never leaves half a bank next to a good old one.

#include "engine/SourceChecker.h"

#include <cstdint>
#include <filesystem>
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

// Fills result: ok exactly when no code was recorded. contentLimit is the size at which a new
// content file starts. Returns true when the new files replaced the old bank (units may still be
// missing from it); false when they could not all be written, and the old bank stays.
bool assembleVoiceBank(std::string_view dictionaryText, TSSrcCheckResult& result,
                       const std::filesystem::path& modelFolder, const std::filesystem::path& voiceBankFolder,
                       const std::vector<std::string>& pitches, std::uint32_t contentLimit = kContentFileLimit);

// The index file read back, for inspection. Every length is checked against the bytes that remain.
struct BankIndex {
    struct Settings {
        std::int32_t hop = 0;
        float sampleRate = 0, setting2 = 0, setting3 = 0, setting4 = 0, setting5 = 0;
        std::int32_t setting6 = 0, setting7 = 0;
        float setting8 = 0, setting9 = 0, setting10 = 0;
        std::string lowestPitch, highestPitch, dictionaryText, pitchTable;
        std::int32_t setting14 = 0, setting15 = 0, setting16 = 0;
        float setting17 = 0, setting18 = 0, setting19 = 0;
        std::int32_t setting20 = 0;
        std::vector<float> bandEdges;
        std::int32_t setting22 = 0;
    } settings;
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

// None when TSI cannot be opened or its header is cut short.
std::optional<BankIndex> readBankIndex(const std::filesystem::path& voiceBankFolder);

} // namespace TessarinEngineV6
