#include "ui/editor/WaveformRenderer.h"

#include "ui/toolkit/CGraduationMgr.h"
#include "ui/toolkit/UiStyle.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>
#include <cmath>

namespace TessarinEditor {

namespace {
// Sample index at position (in samples from the file's start), held inside [0, n].
long long sampleIndexAt(double position, long long n)
{
    const double i = std::floor(position);
    if (!(i > 0.0)) {
        return 0;
    }
    return i >= double(n) ? n : (long long)i;
}
} // namespace

long long samplesPerColumn(const CWavData& wav, int width)
{
    if (width <= 0) {
        return 0;
    }
    return (long long)(double(wav.viewLength) * double(wav.sampleRate) / double(width));
}

long long columnStride(long long perColumn)
{
    return std::max<long long>(1, perColumn / 32);
}

void waveformColumns(const CWavData& wav, int width, std::vector<WaveColumn>& columns)
{
    columns.assign(std::size_t(std::max(width, 0)), WaveColumn{});
    const long long n = (long long)wav.pcm.size();
    if (width <= 0 || n == 0 || wav.viewLength <= 0.0f) {
        return;
    }
    const double rate = double(wav.sampleRate);
    const double base = double(wav.viewStart) * rate;  // [samples]
    const double span = double(wav.viewLength) * rate; // [samples]
    const long long stride = columnStride(samplesPerColumn(wav, width));
    // The extremes among the 16-bit values are those among their float readings: ÷ 32767 keeps order.
    const std::int16_t* data = wav.pcm.data();
    long long first = sampleIndexAt(base, n);
    for (int c = 0; c < width; ++c) {
        const long long end = sampleIndexAt(base + span * double(c + 1) / double(width), n);
        if (end > first) {
            std::int16_t low = data[first];
            std::int16_t high = low;
            for (long long i = first + stride; i < end; i += stride) {
                low = std::min(low, data[i]);
                high = std::max(high, data[i]);
            }
            columns[std::size_t(c)] = WaveColumn{sampleOf16Value(low), sampleOf16Value(high), false};
        }
        first = std::max(first, end);
    }
}

void WaveformRenderer::draw(QPainter& painter, const QRect& area, const CWavData& wav)
{
    painter.fillRect(area, uiColour(UiColours::kWaveBackground));
    if (wav.duration <= 0.0f || wav.pcm.empty() || area.width() <= 0 || area.height() <= 0) {
        return;
    }
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const UIRect rect = UIRect::fromQRect(area);
    const int width = area.width();
    const double a = double(wav.amplitudeRange);
    const double centre = area.top() + area.height() / 2.0;
    const double scale = (area.height() / 2.0) / a;
    const auto yOf = [&](float v) { return int(std::floor(centre - double(v) * scale)); };

    // Grid.
    painter.setPen(QPen(uiColour(UiColours::kWaveGrid), 0));
    CGraduationMgr timeTicks;
    timeTicks.update(rect, wav.viewStart, wav.viewLength, false);
    for (float t : timeTicks.tickValues) {
        const int x = timeTicks.pixelOf(t);
        painter.drawLine(x, area.top(), x, area.bottom());
    }
    CGraduationMgr ampTicks;
    ampTicks.update(rect, -a, 2.0 * a, true);
    for (float v : ampTicks.tickValues) {
        const int y = ampTicks.pixelOf(v);
        painter.drawLine(area.left(), y, area.right(), y);
    }

    // Waveform.
    painter.setPen(QPen(uiColour(UiColours::kWaveLine), 0));
    if (samplesPerColumn(wav, width) >= 2) {
        waveformColumns(wav, width, m_columns);
        for (int c = 0; c < width; ++c) {
            const WaveColumn& col = m_columns[std::size_t(c)];
            if (!col.empty) {
                painter.drawLine(area.left() + c, yOf(col.high), area.left() + c, yOf(col.low));
            }
        }
    } else {
        const double rate = double(wav.sampleRate);
        const long long n = (long long)wav.pcm.size();
        const long long first = std::max<long long>(0, (long long)std::floor(double(wav.viewStart) * rate));
        const long long last = std::min<long long>(
            n - 1, (long long)std::ceil(double(wav.viewStart + wav.viewLength) * rate));
        QPolygon line;
        for (long long i = first; i <= last; ++i) {
            const float t = float(double(i) / rate);
            const double x = double(t - wav.viewStart) / double(wav.viewLength) * width;
            line << QPoint(area.left() + int(std::floor(x)), yOf(wav.sampleAt(std::size_t(i))));
        }
        if (line.size() == 1) {
            painter.drawPoint(line.front());
        } else if (line.size() > 1) {
            painter.drawPolyline(line);
        }
    }
    painter.restore();
}

void overviewColumns(std::span<const std::int16_t> samples, int width, std::vector<WaveColumn>& columns)
{
    columns.assign(std::size_t(std::max(width, 0)), WaveColumn{});
    const double perColumn = width > 0 ? double(samples.size()) / double(width) : 0.0;
    for (int c = 0; c < width; ++c) {
        const auto first = std::size_t(std::floor(perColumn * c));
        const auto end = std::min(samples.size(), std::size_t(std::floor(perColumn * (c + 1))));
        if (first >= end) {
            continue;
        }
        const auto [low, high] = std::minmax_element(samples.begin() + std::ptrdiff_t(first), samples.begin() + std::ptrdiff_t(end));
        columns[std::size_t(c)] = WaveColumn{sampleOf16Value(*low), sampleOf16Value(*high), false};
    }
}

} // namespace TessarinEditor
