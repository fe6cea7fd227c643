#pragma once

// The spectrogram's colour map: a level [dB] to a 24-bit colour, from dark magenta (−120 dB and
// below) through red to bright yellow (−8 dB and above).

#include <cstdint>
#include <vector>

namespace TessarinEditor {

struct SpecRgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const SpecRgb&, const SpecRgb&) = default;
};

// a = (x + 120) ÷ 112 held in [0, 1]; b = (sin(aπ − π/2) + 1) ÷ 2; hue = (120b + 300) mod 360,
// value = 0.95b + 0.05, saturation 1; HSV to RGB, each channel × 255 truncated.
SpecRgb spectrogramColour(float levelDb);

// The map is a staircase: as the level rises the colour steps through a few hundred colours, each
// taken over one interval of levels. The spectrogram's column store keeps a pixel as the number of
// its step, two bytes instead of three, and gets the very colour back from the palette.
using SpecColourIndex = std::uint16_t;
// spectrogramPalette()[spectrogramColourIndex(x)] == spectrogramColour(x) for every level x.
SpecColourIndex spectrogramColourIndex(float levelDb);
// Every colour of the map, darkest first.
const std::vector<SpecRgb>& spectrogramPalette();

// HSV (hue in degrees, saturation and value in [0, 1]) to RGB channels in [0, 1], the standard way.
void hsvToRgb(double hueDeg, double saturation, double value, double& r, double& g, double& b);

} // namespace TessarinEditor
