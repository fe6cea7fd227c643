#pragma once

// Text helpers shared by the project upgrade, the dictionary parser and the build panel.

#include <string>
#include <string_view>
#include <vector>

// Cuts text before every separator as if one more separator ended it: "a,,b" gives "a", "", "b",
// and an empty text gives one empty piece.
std::vector<std::string> splitText(std::string_view text, char separator);

// The text without any line feed, carriage return or space, wherever they stand.
std::string removeBlanks(std::string_view text);

// The pieces joined with separator between them (none before the first or after the last).
std::string joinText(const std::vector<std::string>& pieces, std::string_view separator);
