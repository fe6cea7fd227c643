#pragma once

// The root of a window's view tree, and the one QWidget that hosts it. It turns Qt's mouse events
// into toolkit messages and routes them: to the captured button if there is one, otherwise to the
// deepest visible view that holds the point; a message the target does not handle goes to each of
// its ancestors in turn (not while a button is captured). It tracks the hovered view, lays the tree
// out on every resize and draws it, tooltips last.

#include "ui/toolkit/CUIView.h"

#include <QWidget>

namespace TessarinEditor {

class CSignalWndProtocol;
class CUIButton;

class CUIBoard : public QWidget, public CUIView {
    Q_OBJECT
public:
    explicit CUIBoard(QWidget* parent = nullptr);
    ~CUIBoard() override;

    // The window whose handler ends the signal chain; also the board's parent receiver.
    void setWindowProtocol(CSignalWndProtocol* window);
    CSignalWndProtocol* windowProtocol() const { return m_window; }

    // Routes one message; true when a view handled it.
    bool routeMessage(const UIMessage& message);

    // The deepest visible view that takes the point, the board itself when no other does. Among
    // overlapping siblings the one drawn last (the topmost) wins.
    CUIView* viewAt(int x, int y);

    CUIView* hoveredView() const { return m_hovered; }
    CUIButton* capturedButton() const { return m_captured; }
    // Between a button's left down and left up.
    void captureButton(CUIButton* button);
    void releaseButton(CUIButton* button);
    // The pointer left the window or the window lost activation in the middle of a press: the
    // captured button returns to normal and its delegate hears that it was released outside.
    void cancelCapture();

    // Every child of the board gets the whole client area; the views below lay themselves out.
    void layoutView(int left, int top, int right, int bottom) override;
    // Lays the tree out over the client area, marks every view changed and repaints.
    void relayout();

    // Drops every reference to view and to the views inside it (it leaves the tree or hides).
    void forgetView(CUIView* view);

    void invalidateRect(const UIRect& rect);
    // Repaints once more after delayMs (a tooltip's end).
    void scheduleRepaint(int delayMs);

    // Draws the tree (and a live tooltip) into painter, clipped to dirty.
    void paintTree(const QRect& dirty, QPainter& painter);

    CUIBoard* asBoard() override { return this; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    CUIView* deepestAt(CUIView* view, int x, int y);
    void routeFromQt(const UIMessage& message);
    void updateHover(CUIView* target);
    UIMessage messageFrom(const QMouseEvent& event, UIMessageKind kind) const;

    CSignalWndProtocol* m_window = nullptr;
    CUIView* m_hovered = nullptr;
    CUIButton* m_captured = nullptr;
    CUIView* m_routingTarget = nullptr; // the target of the message being routed
    CUIView* m_routing = nullptr;       // the view whose mouse handler runs
};

} // namespace TessarinEditor
