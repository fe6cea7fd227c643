#include "cli/JsonText.h"

#include <cstdint>
#include <cstdio>

namespace lvtb {

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 when it is not one (stray
// continuation byte, overlong form, surrogate, beyond U+10FFFF, or cut short).
std::size_t utf8SequenceLength(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    const std::uint8_t b0 = byte(i);
    std::size_t n = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xbf;
    if (b0 < 0x80) {
        return 1;
    } else if (b0 >= 0xc2 && b0 <= 0xdf) {
        n = 2;
    } else if (b0 >= 0xe0 && b0 <= 0xef) {
        n = 3;
        if (b0 == 0xe0) {
            low = 0xa0;
        } else if (b0 == 0xed) {
            high = 0x9f;
        }
    } else if (b0 >= 0xf0 && b0 <= 0xf4) {
        n = 4;
        if (b0 == 0xf0) {
            low = 0x90;
        } else if (b0 == 0xf4) {
            high = 0x8f;
        }
    } else {
        return 0;
    }
    if (i + n > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < n; ++k) {
        const std::uint8_t b = byte(i + k);
        const std::uint8_t lo = k == 1 ? low : 0x80;
        const std::uint8_t hi = k == 1 ? high : 0xbf;
        if (b < lo || b > hi) {
            return 0;
        }
    }
    return n;
}

} // namespace

std::string jsonString(std::string_view text)
{
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        const std::size_t n = utf8SequenceLength(text, i);
        if (n == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(text.substr(i, n));
            i += n;
            continue;
        }
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<std::uint8_t>(c) < 0x20 || c == 0x7f) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<std::uint8_t>(c)));
                out += escaped;
            } else {
                out += c;
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

} // namespace lvtb
