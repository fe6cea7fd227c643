#pragma once

// Pitch names: a letter A … G, an optional sharp "#" or flat "b", and one octave digit ("C4", "D#3",
// "Bb2"). The one parser of them; checks, note numbers and frequencies are all made from it.

#include <optional>
#include <string_view>

namespace Tessarin {

struct PitchName {
    int letter = 0;     // semitones of the letter above C: C 0, D 2, E 4, F 5, G 7, A 9, B 11
    int accidental = 0; // +1 for "#", −1 for "b"
    int octave = 0;     // the digit
};

// None unless text is exactly such a name.
std::optional<PitchName> parsePitchName(std::string_view text);

} // namespace Tessarin
