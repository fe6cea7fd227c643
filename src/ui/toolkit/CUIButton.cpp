#include "ui/toolkit/CUIButton.h"

#include "ui/toolkit/CUIBoard.h"
#include "core/MillisecondClock.h"
#include "ui/toolkit/UiStyle.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

namespace TessarinEditor {

CUIButtonDelegate::~CUIButtonDelegate() = default;
void CUIButtonDelegate::buttonPressed(CUIButton*, int, int) {}
void CUIButtonDelegate::buttonDragged(CUIButton*, int, int, int, int, int, int) {}
void CUIButtonDelegate::buttonDoubleClicked(CUIButton*, int, int) {}
void CUIButtonDelegate::buttonClicked(CUIButton*) {}
void CUIButtonDelegate::buttonReleasedOutside(CUIButton*) {}
bool CUIButtonDelegate::buttonSetCursor(CUIButton*)
{
    return false;
}

CUIButton::CUIButton() = default;

CUIButton::~CUIButton() = default;

void CUIButton::setState(int state)
{
    if (m_state != state) {
        m_state = state;
        invalidateView();
    }
}

bool CUIButton::mouseMessage(const UIMessage& message)
{
    const QPoint at(message.x, message.y);
    switch (message.kind) {
    case UIMessageKind::SetCursor:
        return m_delegate && m_delegate->buttonSetCursor(this);

    case UIMessageKind::MouseMove:
        if (m_state == kNormal && !message.leftButtonHeld()) {
            setState(kHover);
            if (!m_tooltip.isEmpty()) {
                m_tooltipArmed = true;
                m_tooltipAt = at;
                m_tooltipStartMs = Tessarin::tickMs();
                if (CUIBoard* b = board()) {
                    b->update();
                    b->scheduleRepaint(int(kTooltipMs) + 1);
                }
            }
        } else if (m_state == kPressed) {
            const QPoint last = m_lastPoint;
            m_lastPoint = at;
            if (m_delegate) {
                m_delegate->buttonDragged(this, m_pressPoint.x(), m_pressPoint.y(), last.x(), last.y(), at.x(), at.y());
            }
        }
        return true;

    case UIMessageKind::LeftDown:
        setState(kPressed);
        if (CUIBoard* b = board()) {
            b->captureButton(this);
        }
        pressHook();
        m_pressPoint = at;
        m_lastPoint = at;
        if (m_delegate) {
            m_delegate->buttonPressed(this, at.x(), at.y());
        }
        return true;

    case UIMessageKind::LeftUp: {
        CUIBoard* b = board();
        if (!b || b->capturedButton() != this) {
            return true;
        }
        b->releaseButton(this);
        if (viewRect().contains(at.x(), at.y())) {
            setState(kHover);
            if (m_delegate) {
                m_delegate->buttonClicked(this);
            }
        } else {
            setState(kNormal);
            if (m_delegate) {
                m_delegate->buttonReleasedOutside(this);
            }
        }
        return true;
    }

    case UIMessageKind::LeftDoubleClick:
        if (m_delegate) {
            m_delegate->buttonDoubleClicked(this, m_pressPoint.x(), m_pressPoint.y());
        }
        return true;

    case UIMessageKind::Wheel:
    case UIMessageKind::MouseLeave:
        return false;
    }
    return false;
}

void CUIButton::mouseLeft()
{
    if (isTooltipShown(Tessarin::tickMs())) {
        if (CUIBoard* b = board()) {
            b->update();
        }
    }
    m_tooltipArmed = false;
    if (m_state == kHover) {
        setState(kNormal);
    }
}

void CUIButton::resetState()
{
    m_tooltipArmed = false;
    setState(kNormal);
}

void CUIButton::cancelPress()
{
    if (m_state != kPressed) {
        return;
    }
    setState(kNormal);
    if (m_delegate) {
        m_delegate->buttonReleasedOutside(this);
    }
}

bool CUIButton::isTooltipShown(std::uint64_t nowMs) const
{
    return m_tooltipArmed && !m_tooltip.isEmpty() && nowMs >= m_tooltipStartMs && nowMs - m_tooltipStartMs < kTooltipMs;
}

void CUIButton::drawTooltip(QPainter& painter, std::uint64_t nowMs, const UIRect& bounds) const
{
    if (!isTooltipShown(nowMs)) {
        return;
    }
    constexpr int kPadding = 3; // [px] around the text
    constexpr int kGap = 2;     // [px] between the box and the arming point
    const QFont font = toolkitFont();
    const QFontMetrics metrics(font);
    const QSize text = metrics.size(Qt::TextSingleLine, m_tooltip);
    QRect box(0, 0, text.width() + 2 * kPadding, text.height() + 2 * kPadding);
    box.moveBottomLeft(QPoint(m_tooltipAt.x(), m_tooltipAt.y() - kGap));
    // Kept inside the board so that a tooltip near an edge stays readable.
    box.moveLeft(std::clamp(box.left(), bounds.left, std::max(bounds.left, bounds.right - box.width())));
    box.moveTop(std::clamp(box.top(), bounds.top, std::max(bounds.top, bounds.bottom - box.height())));

    painter.save();
    painter.setClipping(false);
    painter.fillRect(box, uiColour(UiColours::kTooltipBox));
    painter.setFont(font);
    painter.setPen(uiColour(UiColours::kTooltipText));
    painter.drawText(box.adjusted(kPadding, kPadding, -kPadding, -kPadding), Qt::AlignLeft | Qt::AlignVCenter, m_tooltip);
    painter.restore();
}

bool CUIImageButton::loadStateStrip(const QString& path)
{
    CUIImage strip;
    if (!strip.load(path)) {
        return false;
    }
    const QSize whole = strip.size();
    const int w = whole.width() / 3;
    for (int s = 0; s < 3; ++s) {
        m_images[std::size_t(s)] = strip;
        m_images[std::size_t(s)].setSourceRect(QRect(s * w, 0, w, whole.height()));
    }
    return true;
}

void CUIImageButton::drawView(const QRect& dirty, QPainter& painter)
{
    const CUIImage& own = m_images.at(std::size_t(state()));
    const CUIImage& image = own.isNull() ? m_images[kNormal] : own;
    image.draw(painter, viewRect().toQRect());
    drawChildren(dirty, painter);
}

} // namespace TessarinEditor
