#pragma once

// The waveform of the visible range, drawn column by column: where a pixel column covers at least
// two samples, a vertical stroke from the smallest to the largest of its samples, looked at with a
// stride of (samples per column ÷ 32), at least 1, so that a long view costs the same as a short
// one; where columns are finer than the samples, a line joining the samples.

#include "audio/CWavData.h"

#include <QRect>

#include <cstdint>
#include <span>
#include <vector>

class QPainter;

namespace TessarinEditor {

struct WaveColumn {
    float low = 0.0f;
    float high = 0.0f;
    bool empty = true; // no sample falls in the column (before the start or past the end)
};

// Samples per pixel column of the visible range, rounded down.
long long samplesPerColumn(const CWavData& wav, int width);
// Stride of the min/max search over a column: samples per column ÷ 32, at least 1.
long long columnStride(long long samplesPerColumn);

// Fills columns (width entries) with the extremes of each column's samples. Reuses the vector's
// storage. The caller uses it when samplesPerColumn() is at least 2.
void waveformColumns(const CWavData& wav, int width, std::vector<WaveColumn>& columns);

// The overview of the whole file: columns (width entries) with the extremes of every sample each
// covers (no stride: a click between two looked-at samples would vanish from the only picture of the
// whole file). Column c covers samples [⌊c × n ÷ width⌋, ⌊(c + 1) × n ÷ width⌋).
void overviewColumns(std::span<const std::int16_t> samples, int width, std::vector<WaveColumn>& columns);

class WaveformRenderer {
public:
    // The time and amplitude grid, then the waveform, inside area (black background included).
    void draw(QPainter& painter, const QRect& area, const CWavData& wav);

private:
    std::vector<WaveColumn> m_columns; // kept between paints
};

} // namespace TessarinEditor
