#include "ui/toolkit/CUIView.h"

#include "ui/toolkit/CUIBoard.h"

#include <QPainter>

#include <algorithm>

namespace TessarinEditor {

CUIView::CUIView() = default;

CUIView::~CUIView()
{
    if (m_parentView) {
        m_parentView->detachChild(this);
    }
    // Children still in the list are either owned (deleted here) or belong to someone else (they
    // only lose their parent).
    const std::vector<CUIView*> children = m_children;
    for (CUIView* child : children) {
        const bool owned = std::find(m_owned.begin(), m_owned.end(), child) != m_owned.end();
        child->m_parentView = nullptr;
        if (child->parentReceiver() == this) {
            child->setParentReceiver(nullptr);
        }
        if (owned) {
            delete child;
        }
    }
}

bool CUIView::mouseMessage(const UIMessage&)
{
    return false;
}

void CUIView::mouseLeft() {}

void CUIView::resetState() {}

void CUIView::layoutView(int left, int top, int right, int bottom)
{
    m_rect = {left, top, right, bottom};
    m_layoutChanged = true;
}

void CUIView::drawView(const QRect& dirty, QPainter& painter)
{
    if (!m_background.isNull()) {
        m_background.draw(painter, m_rect.toQRect());
    }
    drawChildren(dirty, painter);
}

void CUIView::drawChildren(const QRect& dirty, QPainter& painter)
{
    for (CUIView* child : m_children) {
        if (!child->isViewHidden() && child->viewRect().toQRect().intersects(dirty)) {
            child->drawView(dirty, painter);
        }
    }
}

bool CUIView::handleSignal(std::string_view, void*, UISignalSender*)
{
    return false;
}

bool CUIView::hitTest(int x, int y) const
{
    return m_rect.contains(x, y);
}

void CUIView::hook() {}

void CUIView::pressHook() {}

void CUIView::receiveSignal(std::string_view name, void* argument, UISignalSender* sender)
{
    if (handleSignal(name, argument, sender)) {
        return;
    }
    if (UISignalReceiver* up = parentReceiver()) {
        up->receiveSignal(name, argument, sender);
    }
}

bool CUIView::queryCursor(const UIMessage& message, CUIView* view)
{
    UISignalReceiver* up = parentReceiver();
    return up && up->queryCursor(message, view);
}

void CUIView::addChild(CUIView* child, bool owned)
{
    if (!child || child == this || child->m_parentView == this) {
        return;
    }
    if (child->m_parentView) {
        child->m_parentView->removeChild(child);
    }
    child->m_parentView = this;
    if (!child->parentReceiver()) {
        child->setParentReceiver(this);
    }
    m_children.push_back(child);
    if (owned) {
        m_owned.push_back(child);
    }
    child->markSubtreeChanged();
}

void CUIView::removeChild(CUIView* child)
{
    if (detachChild(child)) {
        delete child;
    }
}

bool CUIView::detachChild(CUIView* child)
{
    const auto it = std::find(m_children.begin(), m_children.end(), child);
    if (it == m_children.end()) {
        return false;
    }
    if (CUIBoard* b = board()) {
        b->forgetView(child);
    }
    m_children.erase(it);
    child->m_parentView = nullptr;
    if (child->parentReceiver() == this) {
        child->setParentReceiver(nullptr);
    }
    const auto owned = std::find(m_owned.begin(), m_owned.end(), child);
    if (owned == m_owned.end()) {
        return false;
    }
    m_owned.erase(owned);
    return true;
}

bool CUIView::isAncestorOf(const CUIView* view) const
{
    for (const CUIView* v = view ? view->m_parentView : nullptr; v; v = v->m_parentView) {
        if (v == this) {
            return true;
        }
    }
    return false;
}

CUIBoard* CUIView::board() const
{
    const CUIView* root = this;
    while (root->m_parentView) {
        root = root->m_parentView;
    }
    return const_cast<CUIView*>(root)->asBoard();
}

void CUIView::setViewHidden(bool hidden)
{
    if (m_hidden == hidden) {
        return;
    }
    if (hidden) {
        if (CUIBoard* b = board()) {
            b->forgetView(this);
        }
    }
    m_hidden = hidden;
    if (CUIBoard* b = board()) {
        b->invalidateRect(m_rect);
    }
}

void CUIView::markSubtreeChanged()
{
    m_layoutChanged = true;
    for (CUIView* child : m_children) {
        child->markSubtreeChanged();
    }
}

void CUIView::invalidateView()
{
    if (CUIBoard* b = board()) {
        b->invalidateRect(m_rect);
    }
}

} // namespace TessarinEditor
