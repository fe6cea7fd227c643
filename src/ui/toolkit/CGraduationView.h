#pragma once

// A ruler: a dark strip with white tick lines and labels, its ticks from CGraduationMgr. A horizontal
// ruler carries its ticks along its bottom edge (it sits above what it measures); a vertical one
// along its left edge (it sits right of what it measures), with values growing upwards.

#include "ui/toolkit/CGraduationMgr.h"
#include "ui/toolkit/CUIView.h"

#include <QString>

namespace TessarinEditor {

class CGraduationView : public CUIView {
public:
    enum class Orientation { Horizontal, Vertical };

    explicit CGraduationView(Orientation orientation);

    Orientation orientation() const { return m_orientation; }
    // The value range shown; a ruler without a range (nothing loaded) draws only its background.
    void setRange(double start, double span);
    void clearRange();
    bool hasRange() const { return m_hasRange; }
    // Shown at the top of a vertical ruler and at the right end of a horizontal one.
    void setUnitText(const QString& text) { m_unit = text; }

    CGraduationMgr& graduation() { return m_graduation; }

    void drawView(const QRect& dirty, QPainter& painter) override;

protected:
    // The range to draw; false for none. Default: the one set with setRange().
    virtual bool rangeToShow(double& start, double& span) const;

private:
    void drawHorizontal(QPainter& painter);
    void drawVertical(QPainter& painter);

    Orientation m_orientation;
    bool m_hasRange = false;
    double m_start = 0.0;
    double m_span = 0.0;
    QString m_unit;
    CGraduationMgr m_graduation;
};

} // namespace TessarinEditor
