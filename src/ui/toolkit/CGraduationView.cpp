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

void CGraduationView::drawView(const QRect& dirty, QPainter& painter)
{
    const QRect area = viewRect().toQRect();
    painter.fillRect(area, uiColour(UiColours::kRulerBackground));
    double start = 0.0;
    double span = 0.0;
    if (rangeToShow(start, span) && !area.isEmpty()) {
        painter.save();
        painter.setClipRect(area, Qt::IntersectClip);
        const QFont font = toolkitFont();
        const QFontMetrics metrics(font);
        m_graduation.averageCharWidth = std::max(1, metrics.averageCharWidth());
        m_graduation.labelExtent = metrics.lineSpacing();
        m_graduation.update(viewRect(), start, span, m_orientation == Orientation::Vertical);
        painter.setFont(font);
        painter.setPen(QPen(uiColour(UiColours::kRulerInk), 0));
        if (m_orientation == Orientation::Horizontal) {
            drawHorizontal(painter);
        } else {
            drawVertical(painter);
        }
        painter.restore();
    }
    drawChildren(dirty, painter);
}

void CGraduationView::drawHorizontal(QPainter& painter)
{
    const UIRect r = viewRect();
    const QFontMetrics metrics(painter.font());
    const CGraduationMgr& g = m_graduation;
    const int base = r.bottom - 1;

    int unitLeft = r.right;
    if (!m_unit.isEmpty()) {
        const int w = metrics.horizontalAdvance(m_unit);
        unitLeft = r.right - w - kLabelGap;
        painter.drawText(QPoint(unitLeft, base - kMajorTick + 1 - metrics.descent()), m_unit);
    }
    if (g.tickValues.empty()) {
        return;
    }
    forEachMinorTick(g, [&](int x) {
        if (x >= r.left && x < r.right) {
            painter.drawLine(x, base, x, base - kMinorTick + 1);
        }
    });
    int lastRight = r.left - kLabelGap; // labels never overlap: one that would is left out
    for (const float value : g.tickValues) {
        const int x = g.pixelOf(value);
        if (x < r.left || x >= r.right) {
            continue;
        }
        painter.drawLine(x, base, x, base - kMajorTick + 1);
        const QString label = g.labelText(value);
        const int labelLeft = x + kLabelGap;
        const int labelRight = labelLeft + metrics.horizontalAdvance(label);
        if (labelRight <= unitLeft && labelLeft >= lastRight + kLabelGap) {
            painter.drawText(QPoint(labelLeft, base - kMajorTick + 1 - metrics.descent()), label);
            lastRight = labelRight;
        }
    }
}

void CGraduationView::drawVertical(QPainter& painter)
{
    const UIRect r = viewRect();
    const QFontMetrics metrics(painter.font());
    const CGraduationMgr& g = m_graduation;
    const int edge = r.left;
    const int textLeft = edge + kMajorTick + kLabelGap;

    int unitBottom = r.top;
    if (!m_unit.isEmpty()) {
        painter.drawText(QPoint(textLeft, r.top + metrics.ascent() + 1), m_unit);
        unitBottom = r.top + metrics.height() + 1;
    }
    if (g.tickValues.empty()) {
        return;
    }
    forEachMinorTick(g, [&](int y) {
        if (y >= r.top && y < r.bottom) {
            painter.drawLine(edge, y, edge + kMinorTick - 1, y);
        }
    });
    const QRect digits = metrics.tightBoundingRect(QStringLiteral("-0123456789."));
    int lastTop = r.bottom; // labels never overlap: one that would is left out
    for (const float value : g.tickValues) {
        int y = g.pixelOf(value);
        if (y >= r.bottom) {
            y = r.bottom - 1; // the start of the range sits on the bottom row
        }
        if (y < r.top) {
            continue;
        }
        painter.drawLine(edge, y, edge + kMajorTick - 1, y);
        // The label's digits are centred on its tick and kept inside the ruler, below the unit text.
        const int above = -digits.top();     // [px] digits reach this far above the baseline
        const int below = digits.bottom();   // and this far below
        const int baseline = std::clamp(y + above / 2, unitBottom + above, r.bottom - 1 - below);
        const int top = baseline - above;
        if (top >= unitBottom && baseline + below + 1 < lastTop) {
            painter.drawText(QPoint(textLeft, baseline), g.labelText(value));
            lastTop = top;
        }
    }
}

} // namespace TessarinEditor
