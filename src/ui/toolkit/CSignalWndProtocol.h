#pragma once

// What a window offers to its view tree: the handler that ends the signal chain, the deferred
// command (message 1025, run after the current message), coordinate conversion, repainting and the
// mouse capture. CSignalDlgImp and CUIFrameWnd give it to a tool window and to a main window;
// CUIBoardDlg is a tool window whose client area is a CUIBoard.

#include "ui/toolkit/UISignal.h"

#include <QMainWindow>
#include <QPoint>
#include <QWidget>

#include <cstdint>

namespace TessarinEditor {

class CUIBoard;

class CSignalWndProtocol : public UISignalReceiver {
public:
    ~CSignalWndProtocol() override;

    // The window's own signal handler: signals that no view handled, with their first sender.
    virtual void onSignal(std::string_view name, void* argument, UISignalSender* sender) = 0;
    // Posts message 1025 with argument to this window; onDeferredCommand() runs it after the
    // current message.
    virtual void postDeferredCommand(std::intptr_t argument) = 0;
    virtual QPoint screenToClient(const QPoint& screen) const = 0;
    virtual void invalidate() = 0;
    // Qt's implicit grab between a press and its release already is the capture; a window that
    // needs more overrides this.
    virtual void captureMouse();

    void receiveSignal(std::string_view name, void* argument, UISignalSender* sender) override;
    // No view set a cursor: the window's default (the arrow) stays.
    bool queryCursor(const UIMessage& message, CUIView* view) override;

protected:
    // Runs a deferred command; nothing by default.
    virtual void onDeferredCommand(std::intptr_t argument);
    // For the event handler of the window classes: true when event was message 1025 and ran.
    bool dispatchDeferred(QEvent* event);
};

// A top-level tool window (modeless, Qt::Window) that is a signal window.
class CSignalDlgImp : public QWidget, public CSignalWndProtocol {
    Q_OBJECT
public:
    explicit CSignalDlgImp(QWidget* parent = nullptr);
    ~CSignalDlgImp() override;

    void onSignal(std::string_view name, void* argument, UISignalSender* sender) override;
    void postDeferredCommand(std::intptr_t argument) override;
    QPoint screenToClient(const QPoint& screen) const override;
    void invalidate() override;

protected:
    bool event(QEvent* event) override;
};

// A tool window whose whole client area is a CUIBoard.
class CUIBoardDlg : public CSignalDlgImp {
    Q_OBJECT
public:
    explicit CUIBoardDlg(QWidget* parent = nullptr);
    ~CUIBoardDlg() override;

    CUIBoard& board() { return *m_board; }
    void invalidate() override;

private:
    CUIBoard* m_board; // a child widget, deleted by Qt with this window
};

// A main window that is a signal window; invalidate() also paints at once.
class CUIFrameWnd : public QMainWindow, public CSignalWndProtocol {
    Q_OBJECT
public:
    explicit CUIFrameWnd(QWidget* parent = nullptr);
    ~CUIFrameWnd() override;

    void onSignal(std::string_view name, void* argument, UISignalSender* sender) override;
    void postDeferredCommand(std::intptr_t argument) override;
    QPoint screenToClient(const QPoint& screen) const override;
    void invalidate() override;

protected:
    bool event(QEvent* event) override;
};

} // namespace TessarinEditor
