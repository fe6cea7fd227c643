#pragma once

// What the editor's time strip says: the pointer's time, the play cursor's, each marker's, and for
// a CV entry the consonant (preutterance − connect point) and vowel (vowel end − vowel start)
// lengths, all in milliseconds; and the state line at its right end (no output device, "Stored").
// No widgets: the strip view only draws these items.

#include "audio/CWavData.h"
#include "ui/editor/CTagSet.h"

#include <QRgb>
#include <QString>

#include <optional>
#include <vector>

namespace TessarinEditor {

struct ReadoutItem {
    QString text;
    QRgb colour = 0;
    int line = 0; // 0: the times; 1: the lengths (the strip's second line)
};

namespace Readout {
inline constexpr QRgb kPlain = qRgb(220, 220, 220);
inline constexpr QRgb kLength = qRgb(255, 200, 120);
inline constexpr QRgb kPlayCursorText = qRgb(255, 110, 110); // the cursor's red, readable on grey
} // namespace Readout

// A time [s] as milliseconds with one decimal: "612.5 ms".
QString millisecondsText(double seconds);

// The items from left to right; none without a loaded file. pointer: the time under the mouse
// pointer [s], when it is over the waveform, the spectrogram or the time ruler.
std::vector<ReadoutItem> timeReadout(const CWavData& wav, const CTagSet& tags, int kind, std::optional<float> pointer);

} // namespace TessarinEditor
