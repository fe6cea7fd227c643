#pragma once

// A lightweight view of the toolkit: a rectangle in the board's client pixels, drawn by its own code,
// receiving the mouse messages that the board routes to it, and talking to its window through named
// signals (UISignal.h). Views form a tree under one CUIBoard per window. UI thread only.

#include "ui/toolkit/CUIImage.h"
#include "ui/toolkit/UIMessage.h"
#include "ui/toolkit/UISignal.h"

#include <memory>
#include <string_view>
#include <vector>

class QPainter;

namespace TessarinEditor {

class CUIBoard;

class CUIView : public UISignalSender, public UISignalReceiver {
public:
    CUIView();
    // Leaves its parent's list and deletes the children it owns.
    ~CUIView() override;
    CUIView(const CUIView&) = delete;
    CUIView& operator=(const CUIView&) = delete;

    // A mouse message routed to this view; true when it handled it. Default: not handled.
    virtual bool mouseMessage(const UIMessage& message);
    // The pointer went on to a view that is neither this one nor inside it.
    virtual void mouseLeft();
    virtual void resetState();
    // Sets the rectangle and lays out the children (the default leaves them where they are).
    virtual void layoutView(int left, int top, int right, int bottom);
    // Draws the background image and the children that meet dirty. Views that draw more draw their
    // own content and then call drawChildren().
    virtual void drawView(const QRect& dirty, QPainter& painter);
    // A signal from a child; true when handled. Default: not handled (it goes on to the parent).
    virtual bool handleSignal(std::string_view name, void* argument, UISignalSender* sender);
    // Whether the point (board pixels) belongs to this view itself when no child takes it. Default:
    // inside the rectangle. A layer that only carries children answers false.
    virtual bool hitTest(int x, int y) const;
    virtual void hook();
    // Called when this view, a button, is pressed, before its delegate hears of it.
    virtual void pressHook();

    // Offers the signal to handleSignal(), and when that declines, to the parent receiver with the
    // same sender.
    void receiveSignal(std::string_view name, void* argument, UISignalSender* sender) override;
    // The view's own answer is its business (a SetCursor message); by default the parent is asked.
    bool queryCursor(const UIMessage& message, CUIView* view) override;

    // Adds child at the top of the drawing order. An owned child is deleted with this view. The
    // child's parent receiver becomes this view unless it already has one.
    void addChild(CUIView* child, bool owned = false);
    template <class View>
    View* addOwnedChild(std::unique_ptr<View> child)
    {
        View* raw = child.get();
        addChild(child.release(), true);
        return raw;
    }
    // Takes child out of the tree (deleting it when owned); the board forgets it.
    void removeChild(CUIView* child);
    const std::vector<CUIView*>& childViews() const { return m_children; }
    CUIView* parentView() const { return m_parentView; }
    // True when view lies strictly inside this view's subtree.
    bool isAncestorOf(const CUIView* view) const;

    // The board at the root of this view's tree, none while the view is not in a board's tree.
    CUIBoard* board() const;
    virtual CUIBoard* asBoard() { return nullptr; }

    const UIRect& viewRect() const { return m_rect; }
    bool isViewHidden() const { return m_hidden; }
    void setViewHidden(bool hidden);
    bool isLayoutChanged() const { return m_layoutChanged; }
    void setLayoutChanged(bool changed) { m_layoutChanged = changed; }
    // Marks this view and every view below it changed.
    void markSubtreeChanged();
    CUIImage& background() { return m_background; }

    // Asks the board to redraw this view's rectangle.
    void invalidateView();

protected:
    void drawChildren(const QRect& dirty, QPainter& painter);
    void setViewRect(const UIRect& rect) { m_rect = rect; }

private:
    // Takes child out of the lists; true when this view owned it (the caller then deletes it).
    bool detachChild(CUIView* child);

    CUIView* m_parentView = nullptr;
    UIRect m_rect;
    bool m_hidden = false;
    bool m_layoutChanged = true;
    std::vector<CUIView*> m_children;
    std::vector<CUIView*> m_owned;
    CUIImage m_background;
};

} // namespace TessarinEditor
