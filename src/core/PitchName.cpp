#include "core/PitchName.h"

namespace Tessarin {

std::optional<PitchName> parsePitchName(std::string_view text)
{
    static constexpr int kLetters[] = {9, 11, 0, 2, 4, 5, 7}; // A … G
    if (text.size() < 2 || text.size() > 3 || text[0] < 'A' || text[0] > 'G') {
        return std::nullopt;
    }
    PitchName name;
    name.letter = kLetters[text[0] - 'A'];
    std::size_t digit = 1;
    if (text.size() == 3) {
        if (text[1] != '#' && text[1] != 'b') {
            return std::nullopt;
        }
        name.accidental = text[1] == '#' ? 1 : -1;
        digit = 2;
    }
    if (text[digit] < '0' || text[digit] > '9') {
        return std::nullopt;
    }
    name.octave = text[digit] - '0';
    return name;
}

} // namespace Tessarin
