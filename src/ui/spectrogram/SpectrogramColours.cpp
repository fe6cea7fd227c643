#include "ui/spectrogram/SpectrogramColours.h"

#include <cmath>
#include <numbers>

namespace TessarinEditor {

void hsvToRgb(double hueDeg, double saturation, double value, double& r, double& g, double& b)
{
    double h = hueDeg / 60.0;
    if (!(h >= 0.0) || h >= 6.0) {
        h = std::fmod(hueDeg, 360.0);
        h = (h < 0.0 ? h + 360.0 : h) / 60.0;
    }
    const int sector = int(h) < 6 ? int(h) : 5;
    // fmod(h, 2) for h in [0, 6): subtracting the even part is exact.
    const double withinPair = h - double(sector & ~1);
    const double c = value * saturation;
    const double x = c * (1.0 - std::fabs(withinPair - 1.0));
    const double m = value - c;
    double r1 = 0.0;
    double g1 = 0.0;
    double b1 = 0.0;
    switch (sector) {
    case 0: r1 = c; g1 = x; break;
    case 1: r1 = x; g1 = c; break;
    case 2: g1 = c; b1 = x; break;
    case 3: g1 = x; b1 = c; break;
    case 4: r1 = x; b1 = c; break;
    default: r1 = c; b1 = x; break;
    }
    r = r1 + m;
    g = g1 + m;
    b = b1 + m;
}

SpecRgb spectrogramColour(float levelDb)
{
    double a = (double(levelDb) + 120.0) / 112.0;
    if (!(a > 0.0)) { // also NaN
        a = 0.0;
    } else if (a > 1.0) {
        a = 1.0;
    }
    const double pi = std::numbers::pi;
    const double shade = (std::sin(a * pi - pi / 2.0) + 1.0) / 2.0;
    double hue = shade * 120.0 + 300.0; // 300 … 420
    if (hue >= 360.0) {
        hue -= 360.0; // exact, as the modulo is
    }
    const double value = shade * 0.95 + 0.05;
    double r = 0.0;
    double g = 0.0;
    double b = 0.0;
    hsvToRgb(hue, 1.0, value, r, g, b);
    return {std::uint8_t(r * 255.0), std::uint8_t(g * 255.0), std::uint8_t(b * 255.0)};
}

} // namespace TessarinEditor
