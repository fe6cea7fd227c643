#pragma once

// Ruler ticks: for a value range [start, start + span] shown over n pixels, a tick step of 1, 2 or 5
// times a power of ten that leaves room for a label per tick, the tick values, the minor subdivision
// and the label format. Shared by every ruler.

#include "ui/toolkit/UIMessage.h"

#include <QString>

#include <string>
#include <vector>

namespace TessarinEditor {

class CGraduationMgr {
public:
    virtual ~CGraduationMgr();

    // Width [px] of a label for value v at decimal exponent e:
    // (⌊log10 v⌋ + (e < 0 ? 2 − e : 1)) × average character width + 12.
    virtual int labelWidth(double value, int exponent) const;

    // Recomputes the ticks when the rectangle, start, span or orientation changed; true when it did.
    // A vertical ruler spreads the range over the rectangle's height, a horizontal one over its
    // width.
    bool update(const UIRect& rect, double start, double span, bool vertical);

    // The label of a tick value in the current format.
    QString labelText(double value) const;

    // Pixel of a value along the ruler: x from the left edge for a horizontal ruler, y from the
    // bottom edge (values grow upwards) for a vertical one; rounded down, not clamped.
    int pixelOf(double value) const;

    int labelExtent = 10;     // [px] line height of a vertical ruler's labels (with leading)
    int averageCharWidth = 6; // [px]
    int minorSubdivisions = 0; // 2 for steps of 1 or 2, 5 for steps of 5; 0 without ticks
    int decimalExponent = 0;  // e of the step
    double tickStep = 0.0;    // 0 without ticks
    std::vector<float> tickValues;
    std::string labelFormat; // printf format of the labels

private:
    void recompute();

    bool m_valid = false;
    UIRect m_rect;
    double m_start = 0.0;
    double m_span = 0.0;
    bool m_vertical = false;
};

} // namespace TessarinEditor
