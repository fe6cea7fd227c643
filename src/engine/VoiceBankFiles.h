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
// content file starts.
void assembleVoiceBank(std::string_view dictionaryText, TSSrcCheckResult& result,
                       const std::filesystem::path& modelFolder, const std::filesystem::path& voiceBankFolder,
                       const std::vector<std::string>& pitches, std::uint32_t contentLimit = kContentFileLimit);

} // namespace TessarinEngineV6
