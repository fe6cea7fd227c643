#pragma once

// Writing JSON string values for --json output without a JSON library: the text is escaped, and
// any byte that does not belong to valid UTF-8 becomes U+FFFD, so the document always parses.

#include <string>
#include <string_view>

namespace lvtb {

// The quoted JSON form of text.
std::string jsonString(std::string_view text);

} // namespace lvtb
