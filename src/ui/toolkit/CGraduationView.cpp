#include "ui/toolkit/CGraduationView.h"

#include "ui/toolkit/UiStyle.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace TessarinEditor {

namespace {
constexpr int kMajorTick = 7; // [px] length of a labelled tick line
constexpr int kMinorTick = 3; // [px] length of a subdivision line
constexpr int kLabelGap = 3;  // [px] between a tick line and its label

// The pixel of every subdivision between the labelled ticks, one step of them beyond each end.
template <class Draw>
void forEachMinorTick(const CGraduationMgr& g, Draw draw)
{
    const double minor = g.tickStep / g.minorSubdivisions;
    const double firstMinor = double(g.tickValues.front()) - g.tickStep;
    const int minorCount = int(std::lround((double(g.tickValues.back()) + g.tickStep - firstMinor) / minor));
    for (int k = 0; k <= minorCount; ++k) {
        if (k % g.minorSubdivisions != 0) {
            draw(g.pixelOf(firstMinor + k * minor));
        }
    }
}
} // namespace

CGraduationView::CGraduationView(Orientation orientation) : m_orientation(orientation) {}

void CGraduationView::setRange(double start, double span)
{
    if (!m_hasRange || start != m_start || span != m_span) {
        m_hasRange = true;
        m_start = start;
        m_span = span;
        invalidateView();
    }
}

void CGraduationView::clearRange()
{
    if (m_hasRange) {
        m_hasRange = false;
        invalidateView();
    }
}

bool CGraduationView::rangeToShow(double& start, double& span) const
{
    start = m_start;
    span = m_span;
    return m_hasRange;
}

std::vector<CGraduationView::LabelPlace> CGraduationView::labelPlaces()
{
    const QRect area = viewRect().toQRect();
    double start = 0.0;
    double span = 0.0;
    if (!rangeToShow(start, span) || area.isEmpty()) {
        return {};
    }
    const QFontMetrics metrics(toolkitFont());
    m_graduation.averageCharWidth = std::max(1, metrics.averageCharWidth());
    m_graduation.labelExtent = metrics.lineSpacing();
    m_graduation.update(viewRect(), start, span, m_orientation == Orientation::Vertical);
    return m_orientation == Orientation::Horizontal ? horizontalLabels(metrics) : verticalLabels(metrics);
}

void CGraduationView::drawView(const QRect& dirty, QPainter& painter)
{
    const QRect area = viewRect().toQRect();
    painter.fillRect(area, uiColour(UiColours::kRulerBackground));
    const std::vector<LabelPlace> labels = labelPlaces();
    if (!labels.empty() || hasTicks()) {
        painter.save();
        painter.setClipRect(area, Qt::IntersectClip);
        painter.setFont(toolkitFont());
        painter.setPen(QPen(uiColour(UiColours::kRulerInk), 0));
        drawTicks(painter);
        for (const LabelPlace& label : labels) {
            painter.drawText(label.baseline, label.text);
        }
        painter.restore();
    }
    drawChildren(dirty, painter);
}

bool CGraduationView::hasTicks() const
{
    double start = 0.0;
    double span = 0.0;
    return rangeToShow(start, span) && !viewRect().toQRect().isEmpty() && !m_graduation.tickValues.empty();
}

void CGraduationView::drawTicks(QPainter& painter)
{
    const UIRect r = viewRect();
    const CGraduationMgr& g = m_graduation;
    if (g.tickValues.empty()) {
        return;
    }
    if (m_orientation == Orientation::Horizontal) {
        const int base = r.bottom - 1;
        forEachMinorTick(g, [&](int x) {
            if (x >= r.left && x < r.right) {
                painter.drawLine(x, base, x, base - kMinorTick + 1);
            }
        });
        for (const float value : g.tickValues) {
            const int x = g.pixelOf(value);
            if (x >= r.left && x < r.right) {
                painter.drawLine(x, base, x, base - kMajorTick + 1);
            }
        }
        return;
    }
    const int edge = r.left;
    forEachMinorTick(g, [&](int y) {
        if (y >= r.top && y < r.bottom) {
            painter.drawLine(edge, y, edge + kMinorTick - 1, y);
        }
    });
    for (const float value : g.tickValues) {
        const int y = std::min(g.pixelOf(value), r.bottom - 1); // the start of the range on the bottom row
        if (y >= r.top) {
            painter.drawLine(edge, y, edge + kMajorTick - 1, y);
        }
    }
}

std::vector<CGraduationView::LabelPlace> CGraduationView::horizontalLabels(const QFontMetrics& metrics) const
{
    const UIRect r = viewRect();
    const CGraduationMgr& g = m_graduation;
    const int baseline = r.bottom - 1 - kMajorTick + 1 - metrics.descent();
    const auto boxAt = [&](int left, const QString& text) {
        return QRect(left, baseline - metrics.ascent(), metrics.horizontalAdvance(text), metrics.ascent() + metrics.descent());
    };
    std::vector<LabelPlace> labels;
    int unitLeft = r.right;
    if (!m_unit.isEmpty()) {
        unitLeft = r.right - metrics.horizontalAdvance(m_unit) - kLabelGap;
        labels.push_back({m_unit, QPoint(unitLeft, baseline), boxAt(unitLeft, m_unit), true});
    }
    int lastRight = r.left - kLabelGap; // labels never overlap: one that would is left out
    for (const float value : g.tickValues) {
        const int x = g.pixelOf(value);
        if (x < r.left || x >= r.right) {
            continue;
        }
        const QString text = g.labelText(value);
        const int labelLeft = x + kLabelGap;
        const int labelRight = labelLeft + metrics.horizontalAdvance(text);
        if (labelRight <= unitLeft && labelLeft >= lastRight + kLabelGap) {
            labels.push_back({text, QPoint(labelLeft, baseline), boxAt(labelLeft, text), false});
            lastRight = labelRight;
        }
    }
    return labels;
}

std::vector<CGraduationView::LabelPlace> CGraduationView::verticalLabels(const QFontMetrics& metrics) const
{
    const UIRect r = viewRect();
    const CGraduationMgr& g = m_graduation;
    const int textLeft = r.left + kMajorTick + kLabelGap;
    std::vector<LabelPlace> labels;
    int unitBottom = r.top;
    if (!m_unit.isEmpty()) {
        const QPoint baseline(textLeft, r.top + metrics.ascent() + 1);
        labels.push_back({m_unit, baseline,
                          QRect(textLeft, r.top + 1, metrics.horizontalAdvance(m_unit), metrics.height()), true});
        unitBottom = r.top + metrics.height() + 1;
    }
    const QRect digits = metrics.tightBoundingRect(QStringLiteral("-0123456789."));
    const int above = -digits.top(); // [px] digits reach this far above the baseline
    const int below = digits.bottom(); // and this far below
    int lastTop = r.bottom; // labels never overlap: one that would is left out
    for (const float value : g.tickValues) {
        const int y = std::min(g.pixelOf(value), r.bottom - 1); // the start of the range on the bottom row
        if (y < r.top) {
            continue;
        }
        // The label's digits are centred on its tick and kept inside the ruler, below the unit text;
        // a label wider than the ruler is left out rather than cut.
        const QString text = g.labelText(value);
        const int baseline = std::clamp(y + above / 2, unitBottom + above, r.bottom - 1 - below);
        const int top = baseline - above;
        const int width = metrics.horizontalAdvance(text);
        if (top >= unitBottom && baseline + below + 1 < lastTop && textLeft + width <= r.right) {
            labels.push_back({text, QPoint(textLeft, baseline), QRect(textLeft, top, width, above + below + 1), false});
            lastTop = top;
        }
    }
    return labels;
}

} // namespace TessarinEditor
