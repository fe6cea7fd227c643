#include "ui/toolkit/CSignalWndProtocol.h"

#include "ui/toolkit/CUIBoard.h"
#include "ui/toolkit/Messages.h"

#include <QCoreApplication>
#include <QVBoxLayout>

namespace TessarinEditor {

CSignalWndProtocol::~CSignalWndProtocol() = default;

void CSignalWndProtocol::captureMouse() {}

void CSignalWndProtocol::receiveSignal(std::string_view name, void* argument, UISignalSender* sender)
{
    onSignal(name, argument, sender);
}

bool CSignalWndProtocol::queryCursor(const UIMessage&, CUIView*)
{
    return false;
}

void CSignalWndProtocol::onDeferredCommand(std::intptr_t) {}

bool CSignalWndProtocol::dispatchDeferred(QEvent* event)
{
    if (event->type() != messageType(Msg::kDeferredCommand)) {
        return false;
    }
    onDeferredCommand(static_cast<DeferredCommandEvent*>(event)->argument);
    return true;
}

CSignalDlgImp::CSignalDlgImp(QWidget* parent) : QWidget(parent, Qt::Window) {}

CSignalDlgImp::~CSignalDlgImp() = default;

void CSignalDlgImp::onSignal(std::string_view, void*, UISignalSender*) {}

void CSignalDlgImp::postDeferredCommand(std::intptr_t argument)
{
    QCoreApplication::postEvent(this, new DeferredCommandEvent(argument));
}

QPoint CSignalDlgImp::screenToClient(const QPoint& screen) const
{
    return mapFromGlobal(screen);
}

void CSignalDlgImp::invalidate()
{
    update();
}

bool CSignalDlgImp::event(QEvent* event)
{
    return dispatchDeferred(event) || QWidget::event(event);
}

CUIBoardDlg::CUIBoardDlg(QWidget* parent) : CSignalDlgImp(parent), m_board(new CUIBoard(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_board);
    m_board->setWindowProtocol(this);
}

CUIBoardDlg::~CUIBoardDlg()
{
    // Qt deletes the board after this part of the window is gone.
    m_board->setWindowProtocol(nullptr);
}

void CUIBoardDlg::invalidate()
{
    m_board->update();
}

CUIFrameWnd::CUIFrameWnd(QWidget* parent) : QMainWindow(parent) {}

CUIFrameWnd::~CUIFrameWnd() = default;

void CUIFrameWnd::onSignal(std::string_view, void*, UISignalSender*) {}

void CUIFrameWnd::postDeferredCommand(std::intptr_t argument)
{
    QCoreApplication::postEvent(this, new DeferredCommandEvent(argument));
}

QPoint CUIFrameWnd::screenToClient(const QPoint& screen) const
{
    return mapFromGlobal(screen);
}

void CUIFrameWnd::invalidate()
{
    repaint();
}

bool CUIFrameWnd::event(QEvent* event)
{
    return dispatchDeferred(event) || QMainWindow::event(event);
}

} // namespace TessarinEditor
