#pragma once

// A ruler: a dark strip with white tick lines and labels, its ticks from CGraduationMgr. A horizontal
// ruler carries its ticks along its bottom edge (it sits above what it measures); a vertical one
// along its left edge (it sits right of what it measures), with values growing upwards.

#include "ui/toolkit/CGraduationMgr.h"
#include "ui/toolkit/CUIView.h"

#include <QFontMetrics>
#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

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

    // A text of the ruler: where it is drawn (its baseline's start) and the box it takes.
    struct LabelPlace {
        QString text;
        QPoint baseline;
        QRect box;
        bool unit = false;
    };
    // The unit text (first, when there is one) and the tick labels drawn for the range shown now,
    // with the ruler's font: a label that would overlap the unit or the label before it, or leave
    // the ruler, is left out. Empty without a range. The ticks are placed for the present size.
    std::vector<LabelPlace> labelPlaces();

    void drawView(const QRect& dirty, QPainter& painter) override;

protected:
    // The range to draw; false for none. Default: the one set with setRange().
    virtual bool rangeToShow(double& start, double& span) const;

private:
    bool hasTicks() const;
    void drawTicks(QPainter& painter);
    std::vector<LabelPlace> horizontalLabels(const QFontMetrics& metrics) const;
    std::vector<LabelPlace> verticalLabels(const QFontMetrics& metrics) const;

    Orientation m_orientation;
    bool m_hasRange = false;
    double m_start = 0.0;
    double m_span = 0.0;
    QString m_unit;
    CGraduationMgr m_graduation;
};

} // namespace TessarinEditor
