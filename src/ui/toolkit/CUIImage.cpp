#include "ui/toolkit/CUIImage.h"

#include <QPainter>

#include <algorithm>
#include <array>

namespace TessarinEditor {

namespace {

// Widths of the three slices along one side: the two borders keep their size unless together they
// exceed the length, then they shrink in proportion and the middle slice is empty.
std::array<int, 3> sliceLengths(int first, int last, int length)
{
    first = std::max(first, 0);
    last = std::max(last, 0);
    if (first + last > length) {
        const int total = first + last;
        first = total > 0 ? first * length / total : 0;
        last = length - first;
    }
    return {first, length - first - last, last};
}

} // namespace

bool CUIImage::load(const QString& path)
{
    QImage decoded;
    if (!decoded.load(path)) {
        m_image = QImage();
        return false;
    }
    setImage(decoded);
    return true;
}

void CUIImage::setImage(const QImage& image)
{
    // Premultiplied ARGB is what the raster painter blends fastest; the alpha channel stays.
    m_image = image.hasAlphaChannel() ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied)
                                      : image.convertToFormat(QImage::Format_RGB32);
}

QSize CUIImage::size() const
{
    return sourceRect().size();
}

void CUIImage::setSourceRect(const QRect& source)
{
    m_source = source;
}

void CUIImage::setStretch(bool on, const QMargins& borders)
{
    m_stretch = on;
    m_borders = borders;
}

QRect CUIImage::sourceRect() const
{
    const QRect whole = m_image.rect();
    return m_source ? m_source->intersected(whole) : whole;
}

void CUIImage::draw(QPainter& painter, const QRect& target) const
{
    const QRect source = sourceRect();
    if (m_image.isNull() || source.isEmpty() || target.isEmpty()) {
        return;
    }
    if (m_stretch && target.size() != source.size()) {
        drawStretched(painter, target, source);
        return;
    }
    painter.save();
    painter.setClipRect(target, Qt::IntersectClip);
    painter.drawImage(target.topLeft(), m_image, source);
    painter.restore();
}

void CUIImage::drawStretched(QPainter& painter, const QRect& target, const QRect& source) const
{
    const auto srcW = sliceLengths(m_borders.left(), m_borders.right(), source.width());
    const auto srcH = sliceLengths(m_borders.top(), m_borders.bottom(), source.height());
    const auto dstW = sliceLengths(srcW[0], srcW[2], target.width());
    const auto dstH = sliceLengths(srcH[0], srcH[2], target.height());

    int sy = source.top();
    int dy = target.top();
    for (int row = 0; row < 3; ++row) {
        int sx = source.left();
        int dx = target.left();
        for (int col = 0; col < 3; ++col) {
            const QRect from(sx, sy, srcW[col], srcH[row]);
            const QRect to(dx, dy, dstW[col], dstH[row]);
            if (!from.isEmpty() && !to.isEmpty()) {
                painter.drawImage(to, m_image, from);
            }
            sx += srcW[col];
            dx += dstW[col];
        }
        sy += srcH[row];
        dy += dstH[row];
    }
}

} // namespace TessarinEditor
