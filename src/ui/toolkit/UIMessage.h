#pragma once

// Geometry and input of the view toolkit: a rectangle in the board's client pixels, and the one
// mouse message that the board makes out of Qt's events and routes through the view tree.

#include <QRect>
#include <Qt>

namespace TessarinEditor {

// Left and top inside, right and bottom outside: a view of width w has right = left + w.
struct UIRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool isEmpty() const { return right <= left || bottom <= top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    QRect toQRect() const { return {left, top, width(), height()}; }
    static UIRect fromQRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
    friend bool operator==(const UIRect&, const UIRect&) = default;
};

enum class UIMessageKind {
    MouseMove,
    LeftDown,
    LeftUp,
    LeftDoubleClick,
    Wheel,
    SetCursor, // which cursor to show at the point; a view that sets one answers handled
    MouseLeave, // the pointer left the board
};

struct UIMessage {
    UIMessageKind kind = UIMessageKind::MouseMove;
    int x = 0; // [px] board client coordinates
    int y = 0;
    Qt::MouseButtons buttons = Qt::NoButton; // held after the event
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
    int wheelDelta = 0; // vertical, in eighths of a degree; positive away from the user

    bool leftButtonHeld() const { return buttons.testFlag(Qt::LeftButton); }
};

// Steps of one wheel message: |delta| ÷ 120, at least 1.
inline int wheelSteps(int wheelDelta)
{
    const int steps = (wheelDelta < 0 ? -wheelDelta : wheelDelta) / 120;
    return steps < 1 ? 1 : steps;
}

} // namespace TessarinEditor
