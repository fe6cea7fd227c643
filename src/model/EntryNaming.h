#pragma once

// What a new entry starts with before the author has placed anything: the unit a recording's file
// name stands for, read with the project's dictionary, and the markers the wave editor puts into a
// newly loaded file. The list's suggestions, its "make entries" and lvtb entries scan use both.

#include "model/CTsVoiceCfg.h"
#include "model/PhoneticDictionary.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

// The unit a file name stands for.
struct EntryName {
    std::string srcType; // "CV", "VX" or "INDIE"
    std::string symbol;  // as the entry spells it: "ka", "-ka", "a_k"
};

// True for a name the wave editor takes as a WAV file: its extension is "wav" in any case.
bool isWavFileName(std::string_view fileName);

// The stem of fileName (the name without its last extension), with a leading pitch + "_" taken off
// when it names pitch ("C4_ka.wav" at C4 reads "ka"; at E4 it stays "C4_ka"). Then, by the
// dictionary: a symbol of the symbol list, or "-" and such a symbol, is CV; a vowel, "_" and a
// consonant, a vowel, a tail symbol or "-" (the bank's vowel ending) is VX; an independent symbol is
// INDIE. None for anything else.
std::optional<EntryName> entryNameFromWav(std::string_view fileName, std::string_view pitch,
                                          const PhoneticDictionary& dictionary);

// Where the wave editor puts the markers of kind (CTsVoiceCfg::kCV, kVX, kINDIE) in a newly loaded
// file, as fractions of its duration in label order; empty for any other kind.
std::span<const float> defaultMarkerFractions(int kind);

// Sets entry's markers where the editor puts them in a new file of durationSec [s], in the editor's
// single precision, as storing them at once from the editor would.
void placeDefaultMarkers(CTsVoiceCfg& entry, float durationSec);
