#include "ui/toolkit/CGraduationMgr.h"

#include <cmath>
#include <cstdio>

namespace TessarinEditor {

namespace {

constexpr int kMaxTicks = 100000; // far more than any screen shows; bounds the loop on absurd ranges

// ⌊log10 v⌋, taken as 0 where it is not defined (v ≤ 0 or not finite).
int floorLog10(double v)
{
    if (!(v > 0.0) || !std::isfinite(v)) {
        return 0;
    }
    return int(std::floor(std::log10(v)));
}

} // namespace

CGraduationMgr::~CGraduationMgr() = default;

int CGraduationMgr::labelWidth(double value, int exponent) const
{
    const int digits = floorLog10(value) + (exponent < 0 ? 2 - exponent : 1);
    return digits * averageCharWidth + 12;
}

bool CGraduationMgr::update(const UIRect& rect, double start, double span, bool vertical)
{
    if (m_valid && rect == m_rect && start == m_start && span == m_span && vertical == m_vertical) {
        return false;
    }
    m_valid = true;
    m_rect = rect;
    m_start = start;
    m_span = span;
    m_vertical = vertical;
    recompute();
    return true;
}

void CGraduationMgr::recompute()
{
    tickValues.clear();
    tickStep = 0.0;
    minorSubdivisions = 0;

    const int pixels = m_vertical ? m_rect.height() : m_rect.width();
    if (pixels <= 0 || !(m_span > 0.0) || !std::isfinite(m_span) || !std::isfinite(m_start)) {
        return;
    }
    const double end = m_start + m_span;
    const double perUnit = double(pixels) / m_span;

    int e = floorLog10(m_span) - 2;
    double step = 0.0;
    for (int trial = 0; trial < 3 && step == 0.0; ++trial, ++e) {
        const double label = m_vertical ? double(labelExtent) : double(labelWidth(end, e));
        const double unit = std::pow(10.0, e);
        if (label < unit * perUnit) {
            step = unit;
            minorSubdivisions = 2;
        } else if (label < 2.0 * unit * perUnit) {
            step = 2.0 * unit;
            minorSubdivisions = 2;
        } else if (label < 5.0 * unit * perUnit) {
            step = 5.0 * unit;
            minorSubdivisions = 5;
        }
        if (step != 0.0) {
            break;
        }
    }
    if (step == 0.0) {
        minorSubdivisions = 0;
        return;
    }
    tickStep = step;
    decimalExponent = e;
    if (e >= 0) {
        labelFormat = "%d";
    } else if (e >= -6) {
        labelFormat = "%." + std::to_string(-e) + "f";
    } else {
        labelFormat = "%f";
    }

    // First candidate: start rounded down to a multiple of 10^(e+1), one multiple further for a
    // negative start. Candidates are counted rather than summed, and compared with a tolerance of a
    // millionth of a step, so that a tick at the very end of the range survives rounding.
    const double decade = std::pow(10.0, e + 1);
    double first = std::trunc(m_start / decade) * decade;
    if (m_start < 0.0) {
        first -= decade;
    }
    const double slack = step * 1e-6;
    const double count = std::floor((end + slack - first) / step);
    if (!std::isfinite(count) || count < 0.0) {
        return;
    }
    const int last = count > double(kMaxTicks) ? kMaxTicks : int(count);
    for (int k = 0; k <= last; ++k) {
        const double candidate = first + double(k) * step;
        if (candidate >= m_start - slack) {
            tickValues.push_back(float(candidate));
        }
    }
}

QString CGraduationMgr::labelText(double value) const
{
    char text[64];
    if (labelFormat == "%d") {
        if (std::fabs(value) < 2147483647.0) {
            std::snprintf(text, sizeof text, "%d", int(value));
        } else {
            std::snprintf(text, sizeof text, "%.0f", std::trunc(value));
        }
    } else if (!labelFormat.empty()) {
        std::snprintf(text, sizeof text, labelFormat.c_str(), value);
    } else {
        text[0] = '\0';
    }
    return QString::fromLatin1(text);
}

int CGraduationMgr::pixelOf(double value) const
{
    const int pixels = m_vertical ? m_rect.height() : m_rect.width();
    if (!(m_span > 0.0)) {
        return m_vertical ? m_rect.bottom : m_rect.left;
    }
    const double offset = std::floor((value - m_start) * double(pixels) / m_span);
    return m_vertical ? m_rect.bottom - int(offset) : m_rect.left + int(offset);
}

} // namespace TessarinEditor
