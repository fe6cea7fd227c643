#include "ui/spectrogram/SpectrogramColours.h"

#include <algorithm>
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

namespace {

// b of the map, in [0, 1]: what the colour depends on, rising with the level.
double shadeOf(float levelDb)
{
    double a = (double(levelDb) + 120.0) / 112.0;
    if (!(a > 0.0)) { // also NaN
        a = 0.0;
    } else if (a > 1.0) {
        a = 1.0;
    }
    const double pi = std::numbers::pi;
    return (std::sin(a * pi - pi / 2.0) + 1.0) / 2.0;
}

SpecRgb colourOfShade(double shade)
{
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

// The staircase: starts[k] is the smallest shade whose colour is colours[k].
struct Staircase {
    std::vector<double> starts;
    std::vector<SpecRgb> colours;
};

// Found once, exactly: the shade axis is walked in coarse steps, and every change of colour inside
// a step is narrowed down to the first double that shows the new colour. Along the shade each
// channel moves one way or turns once (the map's value rises, its hue turns from magenta through red
// to yellow), so a colour never comes back after another, and a step whose ends differ holds every
// change between them.
const Staircase& staircase()
{
    static const Staircase steps = [] {
        constexpr int kCoarseSteps = 4096;
        Staircase s;
        s.starts.push_back(0.0);
        s.colours.push_back(colourOfShade(0.0));
        double low = 0.0;
        for (int i = 1; i <= kCoarseSteps; ++i) {
            const double high = double(i) / kCoarseSteps;
            const SpecRgb end = colourOfShade(high);
            while (!(s.colours.back() == end)) {
                double same = low;   // shows the last colour found
                double other = high; // shows another one
                for (;;) {
                    const double mid = same + (other - same) / 2.0;
                    if (!(mid > same && mid < other)) {
                        break;
                    }
                    (colourOfShade(mid) == s.colours.back() ? same : other) = mid;
                }
                s.starts.push_back(other);
                s.colours.push_back(colourOfShade(other));
                low = other;
            }
            low = high;
        }
        return s;
    }();
    return steps;
}

} // namespace

SpecRgb spectrogramColour(float levelDb)
{
    return colourOfShade(shadeOf(levelDb));
}

SpecColourIndex spectrogramColourIndex(float levelDb)
{
    const std::vector<double>& starts = staircase().starts;
    const auto after = std::upper_bound(starts.begin() + 1, starts.end(), shadeOf(levelDb));
    return SpecColourIndex(after - starts.begin() - 1);
}

const std::vector<SpecRgb>& spectrogramPalette()
{
    return staircase().colours;
}

} // namespace TessarinEditor
