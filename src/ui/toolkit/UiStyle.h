#pragma once

// The colours and the font of the drawn views, in one place.

#include <QColor>
#include <QFont>
#include <QRgb>

namespace TessarinEditor {

namespace UiColours {
// Rulers: labels and tick lines in white on dark grey (the frequency ruler too).
inline constexpr QRgb kRulerBackground = qRgb(55, 55, 55);
inline constexpr QRgb kRulerInk = qRgb(255, 255, 255);
// Button tooltips: a light grey box with black text.
inline constexpr QRgb kTooltipBox = qRgb(230, 230, 230);
inline constexpr QRgb kTooltipText = qRgb(0, 0, 0);
// Spectrogram: what lies outside the picture.
inline constexpr QRgb kSpectrogramBackground = qRgb(0, 0, 0);
// Wave annotation editor.
inline constexpr QRgb kWaveBackground = qRgb(0, 0, 0);
inline constexpr QRgb kWaveGrid = qRgb(36, 36, 36);
inline constexpr QRgb kWaveLine = qRgb(61, 87, 141);
inline constexpr QRgb kMargin = qRgb(239, 232, 33);
inline constexpr int kMarginAlpha = 100; // of 255
inline constexpr QRgb kPlayCursor = qRgb(200, 0, 0);
// The f0 overlay over the spectrogram: the track, the frames the source check tests, and the
// unvoiced ones among them (these two with their opacity: QColor::fromRgba).
inline constexpr QRgb kF0Track = qRgb(0, 255, 255);
inline constexpr QRgb kF0Tested = qRgba(255, 255, 255, 48);
inline constexpr QRgb kF0Unvoiced = qRgba(255, 0, 0, 110);
inline constexpr QRgb kF0TestedBar = qRgb(190, 190, 190);
inline constexpr QRgb kF0UnvoicedBar = qRgb(255, 0, 0);
} // namespace UiColours

inline QColor uiColour(QRgb rgb)
{
    return QColor::fromRgb(rgb);
}

// DejaVu Sans at 11 pixels: the drawn views' 8-point text at 96 DPI.
QFont toolkitFont();

// Makes toolkitFont() the application font (tests and screenshots do this so that every machine
// measures text alike).
void installToolkitFont();

} // namespace TessarinEditor
