#pragma once

// A PNG picture of the program's resources, drawn with its alpha channel: either unscaled, or
// stretched in nine slices (corners keep their size, edges stretch along their side, the centre in
// both directions) when stretching is on and the target's size differs from the picture's.

#include <QImage>
#include <QMargins>
#include <QRect>
#include <QString>

#include <optional>

class QPainter;

namespace TessarinEditor {

class CUIImage {
public:
    CUIImage() = default;

    // Decodes a PNG from the program's resources (":/…") or a file. False, and the image empty,
    // when it cannot be read or decoded.
    bool load(const QString& path);
    void setImage(const QImage& image);

    bool isNull() const { return m_image.isNull(); }
    // The size of the part that is drawn (the source rectangle, or the whole picture).
    QSize size() const;

    // Draws only this part of the picture (clipped to it).
    void setSourceRect(const QRect& source);
    void clearSourceRect() { m_source.reset(); }

    // Nine-slice stretching with the border widths of the four sides.
    void setStretch(bool on, const QMargins& borders = {});
    bool isStretched() const { return m_stretch; }

    // Unscaled at target's top left (clipped to target), or in nine slices filling target.
    void draw(QPainter& painter, const QRect& target) const;

private:
    QRect sourceRect() const;
    void drawStretched(QPainter& painter, const QRect& target, const QRect& source) const;

    QImage m_image;
    std::optional<QRect> m_source;
    bool m_stretch = false;
    QMargins m_borders;
};

} // namespace TessarinEditor
