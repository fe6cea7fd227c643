#pragma once

// Buttons of the view toolkit: a view with three states (normal, hover, pressed) that reports
// presses, drags, clicks and releases to a delegate, and may show a short tooltip.

#include "ui/toolkit/CUIImage.h"
#include "ui/toolkit/CUIView.h"

#include <QPoint>
#include <QString>

#include <array>
#include <cstdint>

namespace TessarinEditor {

class CUIButton;

// Receives a button's events. Every operation does nothing by default; set cursor answers false.
class CUIButtonDelegate {
public:
    virtual ~CUIButtonDelegate();
    virtual void buttonPressed(CUIButton* button, int x, int y);
    virtual void buttonDragged(CUIButton* button, int pressX, int pressY, int lastX, int lastY, int x, int y);
    virtual void buttonDoubleClicked(CUIButton* button, int x, int y);
    virtual void buttonClicked(CUIButton* button);
    virtual void buttonReleasedOutside(CUIButton* button);
    // True when the delegate set the cursor for the pointer over button.
    virtual bool buttonSetCursor(CUIButton* button);
};

class CUIButton : public CUIView {
public:
    enum State : int { kNormal = 0, kHover = 1, kPressed = 2 };
    static constexpr std::uint64_t kTooltipMs = 500; // a tooltip shows this long after it is armed

    CUIButton();
    ~CUIButton() override;

    int state() const { return m_state; }
    CUIButtonDelegate* delegate() const { return m_delegate; }
    void setDelegate(CUIButtonDelegate* delegate) { m_delegate = delegate; }
    QPoint pressPoint() const { return m_pressPoint; }
    QPoint lastDragPoint() const { return m_lastPoint; }

    void setTooltip(const QString& text) { m_tooltip = text; }
    const QString& tooltip() const { return m_tooltip; }
    // Whether the tooltip armed last shows at time nowMs.
    bool isTooltipShown(std::uint64_t nowMs) const;
    // Draws the tooltip when it shows: its text on a light box just above the point where it was
    // armed, kept inside bounds.
    void drawTooltip(QPainter& painter, std::uint64_t nowMs, const UIRect& bounds) const;

    bool mouseMessage(const UIMessage& message) override;
    void mouseLeft() override;
    void resetState() override;
    // The board gave up the capture in the middle of a press (the pointer left the window, the
    // window lost activation): back to normal, and the delegate hears of a release outside.
    void cancelPress();

protected:
    void setState(int state);

private:
    int m_state = kNormal;
    CUIButtonDelegate* m_delegate = nullptr;
    QPoint m_pressPoint;
    QPoint m_lastPoint;
    QString m_tooltip;
    QPoint m_tooltipAt;
    std::uint64_t m_tooltipStartMs = 0; // on the process clock (core/MillisecondClock.h)
    bool m_tooltipArmed = false;
};

// A button drawn from a PNG picture per state; a state without its own picture uses the normal one.
class CUIImageButton : public CUIButton {
public:
    CUIImage& stateImage(int state) { return m_images.at(std::size_t(state)); }
    // Loads a strip of three equal pictures side by side (normal, hover, pressed). False when the
    // picture cannot be read.
    bool loadStateStrip(const QString& path);

    void drawView(const QRect& dirty, QPainter& painter) override;

private:
    std::array<CUIImage, 3> m_images;
};

} // namespace TessarinEditor
