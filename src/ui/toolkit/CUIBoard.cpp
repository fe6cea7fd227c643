#include "ui/toolkit/CUIBoard.h"

#include "ui/toolkit/CSignalWndProtocol.h"
#include "ui/toolkit/CUIButton.h"
#include "core/MillisecondClock.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>

namespace TessarinEditor {

CUIBoard::CUIBoard(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

CUIBoard::~CUIBoard() = default;

void CUIBoard::setWindowProtocol(CSignalWndProtocol* window)
{
    m_window = window;
    setParentReceiver(window);
}

CUIView* CUIBoard::deepestAt(CUIView* view, int x, int y)
{
    if (!view->viewRect().contains(x, y)) {
        return nullptr;
    }
    const auto& children = view->childViews();
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if ((*it)->isViewHidden()) {
            continue;
        }
        if (CUIView* found = deepestAt(*it, x, y)) {
            return found;
        }
    }
    return view->hitTest(x, y) ? view : nullptr;
}

CUIView* CUIBoard::viewAt(int x, int y)
{
    CUIView* found = deepestAt(this, x, y);
    return found ? found : this;
}

bool CUIBoard::routeMessage(const UIMessage& message)
{
    if (message.kind == UIMessageKind::MouseLeave) {
        cancelCapture();
        if (CUIView* left = m_hovered) {
            m_hovered = nullptr;
            left->mouseLeft();
        }
        return true;
    }

    const bool captured = m_captured != nullptr;
    CUIView* target = captured ? m_captured : viewAt(message.x, message.y);
    // A handler may take views out of the tree: forgetView() then clears m_routingTarget and
    // m_routing, and routing stops without touching them again.
    m_routingTarget = target;
    m_routing = target;
    bool handled = target->mouseMessage(message);
    if (!handled && !captured && m_routing) {
        for (CUIView* up = target->parentView(); up && !handled; up = up->parentView()) {
            m_routing = up;
            handled = up->mouseMessage(message);
            if (!m_routing) {
                break;
            }
        }
    }
    const bool targetAlive = m_routingTarget != nullptr;
    m_routing = nullptr;
    m_routingTarget = nullptr;

    if (targetAlive) {
        updateHover(target);
    }
    if (message.kind == UIMessageKind::SetCursor && !handled) {
        unsetCursor();
    }
    return handled;
}

void CUIBoard::updateHover(CUIView* target)
{
    CUIView* before = m_hovered;
    m_hovered = target;
    if (before && before != target && !before->isAncestorOf(target)) {
        before->mouseLeft();
    }
}

void CUIBoard::captureButton(CUIButton* button)
{
    m_captured = button;
    if (m_window) {
        m_window->captureMouse();
    }
}

void CUIBoard::releaseButton(CUIButton* button)
{
    if (m_captured == button) {
        m_captured = nullptr;
    }
}

void CUIBoard::cancelCapture()
{
    if (CUIButton* button = m_captured) {
        m_captured = nullptr;
        button->cancelPress();
    }
}

void CUIBoard::layoutView(int left, int top, int right, int bottom)
{
    CUIView::layoutView(left, top, right, bottom);
    for (CUIView* child : childViews()) {
        child->layoutView(left, top, right, bottom);
    }
}

void CUIBoard::relayout()
{
    layoutView(0, 0, width(), height());
    markSubtreeChanged();
    update();
}

void CUIBoard::forgetView(CUIView* view)
{
    const auto inside = [view](const CUIView* v) { return v && (v == view || view->isAncestorOf(v)); };
    if (inside(m_hovered)) {
        m_hovered = nullptr;
    }
    if (inside(m_captured)) {
        m_captured = nullptr;
    }
    if (inside(m_routing)) {
        m_routing = nullptr;
    }
    if (inside(m_routingTarget)) {
        m_routingTarget = nullptr;
        m_routing = nullptr;
    }
}

void CUIBoard::invalidateRect(const UIRect& rect)
{
    if (!rect.isEmpty()) {
        update(rect.toQRect());
    }
}

void CUIBoard::scheduleRepaint(int delayMs)
{
    QTimer::singleShot(delayMs, this, [this] { update(); });
}

void CUIBoard::paintTree(const QRect& dirty, QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.setClipRect(dirty);
    drawView(dirty, painter);
    if (auto* button = dynamic_cast<CUIButton*>(m_hovered)) {
        button->drawTooltip(painter, Tessarin::tickMs(), viewRect());
    }
}

void CUIBoard::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    paintTree(event->rect(), painter);
}

void CUIBoard::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

UIMessage CUIBoard::messageFrom(const QMouseEvent& event, UIMessageKind kind) const
{
    UIMessage message;
    message.kind = kind;
    const QPoint at = event.position().toPoint();
    message.x = at.x();
    message.y = at.y();
    message.buttons = event.buttons();
    message.modifiers = event.modifiers();
    return message;
}

void CUIBoard::routeFromQt(const UIMessage& message)
{
    routeMessage(message);
    if (message.kind == UIMessageKind::MouseMove || message.kind == UIMessageKind::LeftUp) {
        UIMessage cursor = message;
        cursor.kind = UIMessageKind::SetCursor;
        routeMessage(cursor);
    }
}

void CUIBoard::mouseMoveEvent(QMouseEvent* event)
{
    routeFromQt(messageFrom(*event, UIMessageKind::MouseMove));
}

void CUIBoard::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        routeFromQt(messageFrom(*event, UIMessageKind::LeftDown));
    }
}

void CUIBoard::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        routeFromQt(messageFrom(*event, UIMessageKind::LeftUp));
    }
}

void CUIBoard::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Stands for the second press, as on other platforms' double-click messages.
    if (event->button() == Qt::LeftButton) {
        routeFromQt(messageFrom(*event, UIMessageKind::LeftDoubleClick));
    }
}

void CUIBoard::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta == 0) {
        event->ignore();
        return;
    }
    UIMessage message;
    message.kind = UIMessageKind::Wheel;
    const QPoint at = event->position().toPoint();
    message.x = at.x();
    message.y = at.y();
    message.buttons = event->buttons();
    message.modifiers = event->modifiers();
    message.wheelDelta = delta;
    routeFromQt(message);
}

void CUIBoard::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    UIMessage message;
    message.kind = UIMessageKind::MouseLeave;
    routeMessage(message);
}

void CUIBoard::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        cancelCapture();
    }
}

} // namespace TessarinEditor
