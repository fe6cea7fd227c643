// The view toolkit: routing of mouse messages through the view tree, the button state table, the
// signal chain up to the window, and the deferred command.

#include "core/MillisecondClock.h"
#include "ui/toolkit/CSignalWndProtocol.h"
#include "ui/toolkit/CUIBoard.h"
#include "ui/toolkit/CUIButton.h"
#include "ui/toolkit/Messages.h"
#include "ui/editor/UISignalNames.h"
#include "ui/toolkit/UiStyle.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace TessarinEditor;

namespace {

using Log = std::vector<std::string>;

std::string kindName(UIMessageKind kind)
{
    switch (kind) {
    case UIMessageKind::MouseMove: return "move";
    case UIMessageKind::LeftDown: return "down";
    case UIMessageKind::LeftUp: return "up";
    case UIMessageKind::LeftDoubleClick: return "dbl";
    case UIMessageKind::Wheel: return "wheel";
    case UIMessageKind::SetCursor: return "cursor";
    case UIMessageKind::MouseLeave: return "leave";
    }
    return "?";
}

// A view that writes what reaches it into a shared log ("name:move", "name:left") and handles the
// message kinds it is told to.
class RecordingView : public CUIView {
public:
    RecordingView(std::string name, Log& log, UIRect rect) : name(std::move(name)), m_log(log)
    {
        setViewRect(rect);
    }
    bool mouseMessage(const UIMessage& message) override
    {
        m_log.push_back(name + ":" + kindName(message.kind));
        return handles.count(message.kind) > 0;
    }
    void mouseLeft() override { m_log.push_back(name + ":left"); }
    void layoutView(int l, int t, int r, int b) override { laidOut = UIRect{l, t, r, b}; CUIView::layoutView(l, t, r, b); }
    bool hitTest(int x, int y) const override { return transparent ? false : CUIView::hitTest(x, y); }

    std::string name;
    std::set<UIMessageKind> handles;
    bool transparent = false;
    UIRect laidOut;

private:
    Log& m_log;
};

UIMessage at(UIMessageKind kind, int x, int y, Qt::MouseButtons buttons = Qt::NoButton)
{
    UIMessage m;
    m.kind = kind;
    m.x = x;
    m.y = y;
    m.buttons = buttons;
    return m;
}

// A board of 300 × 200 with:
//   panel  (0,0)-(200,200)
//     inner (50,50)-(150,150)
//       deep  (60,60)-(100,100)
//   layer  (0,0)-(300,200), draws on top of the panel but takes no point itself
//     label (120,10)-(180,30)
struct Tree {
    explicit Tree(Log& log)
        : panel("panel", log, {0, 0, 200, 200}), inner("inner", log, {50, 50, 150, 150}),
          deep("deep", log, {60, 60, 100, 100}), layer("layer", log, {0, 0, 300, 200}),
          label("label", log, {120, 10, 180, 30})
    {
        board.setViewRect({0, 0, 300, 200});
        board.addChild(&panel);
        panel.addChild(&inner);
        inner.addChild(&deep);
        board.addChild(&layer);
        layer.addChild(&label);
        layer.transparent = true;
    }
    ~Tree()
    {
        board.removeChild(&layer);
        board.removeChild(&panel);
    }

    struct Board : CUIBoard {
        using CUIView::setViewRect;
    } board;
    RecordingView panel, inner, deep, layer, label;
};

} // namespace

TEST(UiRouting, MessagesGoToTheDeepestVisibleViewAndUnhandledOnesClimbTheAncestors)
{
    Log log;
    Tree tree(log);

    EXPECT_EQ(tree.board.viewAt(70, 70), &tree.deep);
    EXPECT_EQ(tree.board.viewAt(120, 120), &tree.inner);
    EXPECT_EQ(tree.board.viewAt(10, 150), &tree.panel);
    // Inside the transparent layer only its child takes points; elsewhere the layer lets them through.
    EXPECT_EQ(tree.board.viewAt(130, 20), &tree.label);
    EXPECT_EQ(tree.board.viewAt(250, 150), &tree.board);

    // Nobody handles the wheel: it climbs from deep through inner and panel, in that order.
    tree.board.routeMessage(at(UIMessageKind::Wheel, 70, 70));
    EXPECT_EQ(log, (Log{"deep:wheel", "inner:wheel", "panel:wheel"}));

    // inner handles it: the panel does not see it.
    log.clear();
    tree.inner.handles.insert(UIMessageKind::Wheel);
    EXPECT_TRUE(tree.board.routeMessage(at(UIMessageKind::Wheel, 70, 70)));
    EXPECT_EQ(log, (Log{"deep:wheel", "inner:wheel"}));

    // A hidden view is passed over: its parent becomes the target.
    log.clear();
    tree.deep.setViewHidden(true);
    tree.board.routeMessage(at(UIMessageKind::Wheel, 70, 70));
    EXPECT_EQ(log, (Log{"inner:wheel"}));
}

TEST(UiRouting, HoverLeavesOnlyWhenThePointerMovesOutsideTheHoveredSubtree)
{
    Log log;
    Tree tree(log);
    for (RecordingView* v : {&tree.panel, &tree.inner, &tree.deep, &tree.label}) {
        v->handles.insert(UIMessageKind::MouseMove);
    }

    tree.board.routeMessage(at(UIMessageKind::MouseMove, 120, 120)); // inner
    tree.board.routeMessage(at(UIMessageKind::MouseMove, 70, 70));   // into deep, inside inner: no leave
    EXPECT_EQ(log, (Log{"inner:move", "deep:move"}));
    EXPECT_EQ(tree.board.hoveredView(), &tree.deep);

    log.clear();
    tree.board.routeMessage(at(UIMessageKind::MouseMove, 120, 120)); // back out to inner: deep left
    EXPECT_EQ(log, (Log{"inner:move", "deep:left"}));

    log.clear();
    tree.board.routeMessage(at(UIMessageKind::MouseMove, 130, 20)); // over the label
    EXPECT_EQ(log, (Log{"label:move", "inner:left"}));

    log.clear();
    UIMessage leave;
    leave.kind = UIMessageKind::MouseLeave;
    tree.board.routeMessage(leave);
    EXPECT_EQ(log, (Log{"label:left"}));
    EXPECT_EQ(tree.board.hoveredView(), nullptr);

    // A hovered view that leaves the tree is forgotten: no call reaches it afterwards.
    log.clear();
    tree.board.routeMessage(at(UIMessageKind::MouseMove, 70, 70));
    tree.inner.removeChild(&tree.deep);
    tree.board.routeMessage(at(UIMessageKind::MouseMove, 10, 150));
    EXPECT_EQ(log, (Log{"deep:move", "panel:move"}));
}

namespace {

struct ButtonLog : CUIButtonDelegate {
    void buttonPressed(CUIButton*, int x, int y) override { log.push_back("pressed " + xy(x, y)); }
    void buttonDragged(CUIButton*, int px, int py, int lx, int ly, int x, int y) override
    {
        log.push_back("dragged " + xy(px, py) + " " + xy(lx, ly) + " " + xy(x, y));
    }
    void buttonDoubleClicked(CUIButton*, int x, int y) override { log.push_back("double " + xy(x, y)); }
    void buttonClicked(CUIButton*) override { log.push_back("clicked"); }
    void buttonReleasedOutside(CUIButton*) override { log.push_back("released outside"); }
    bool buttonSetCursor(CUIButton*) override
    {
        log.push_back("cursor");
        return true;
    }
    static std::string xy(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }
    Log log;
};

struct HookedButton : CUIButton {
    void pressHook() override { ++hooks; }
    int hooks = 0;
};

// Lays out its two children at fixed places.
struct FixedBoard : CUIBoard {
    void layoutView(int left, int top, int right, int bottom) override
    {
        CUIView::layoutView(left, top, right, bottom);
        if (childViews().size() == 2) {
            childViews()[0]->layoutView(0, 0, 80, 80);
            childViews()[1]->layoutView(100, 100, 150, 130);
        }
    }
};

struct ButtonBoard {
    ButtonBoard()
    {
        board.resize(300, 200);
        board.addChild(&other);
        board.addChild(&button);
        board.relayout();
        button.setDelegate(&delegate);
        other.handles = {UIMessageKind::MouseMove, UIMessageKind::LeftUp, UIMessageKind::LeftDown};
    }
    ~ButtonBoard()
    {
        board.removeChild(&button);
        board.removeChild(&other);
    }
    Log otherLog;
    FixedBoard board;
    RecordingView other{"other", otherLog, {}};
    HookedButton button;
    ButtonLog delegate;
};

} // namespace

TEST(UiButton, StateTableFromHoverThroughDragToClick)
{
    ButtonBoard b;
    CUIButton& button = b.button;

    b.board.routeMessage(at(UIMessageKind::MouseMove, 110, 110));
    EXPECT_EQ(button.state(), CUIButton::kHover);

    b.board.routeMessage(at(UIMessageKind::LeftDown, 110, 110, Qt::LeftButton));
    EXPECT_EQ(button.state(), CUIButton::kPressed);
    EXPECT_EQ(b.board.capturedButton(), &button);
    EXPECT_EQ(b.button.hooks, 1);

    // Captured: moves over another view still go to the button, as drags from the press point.
    b.board.routeMessage(at(UIMessageKind::MouseMove, 120, 115, Qt::LeftButton));
    b.board.routeMessage(at(UIMessageKind::MouseMove, 40, 40, Qt::LeftButton));
    EXPECT_TRUE(b.otherLog.empty());

    b.board.routeMessage(at(UIMessageKind::LeftUp, 140, 120));
    EXPECT_EQ(button.state(), CUIButton::kHover);
    EXPECT_EQ(b.board.capturedButton(), nullptr);
    EXPECT_EQ(b.delegate.log, (Log{"pressed 110,110", "dragged 110,110 110,110 120,115",
                                   "dragged 110,110 120,115 40,40", "clicked"}));

    // A double-click reports the press point.
    b.delegate.log.clear();
    b.board.routeMessage(at(UIMessageKind::LeftDoubleClick, 112, 111, Qt::LeftButton));
    EXPECT_EQ(b.delegate.log, (Log{"double 110,110"}));

    // The set-cursor message asks the delegate.
    b.delegate.log.clear();
    EXPECT_TRUE(b.board.routeMessage(at(UIMessageKind::SetCursor, 112, 111)));
    EXPECT_EQ(b.delegate.log, (Log{"cursor"}));

    // Mouse left in the hover state: back to normal.
    b.board.routeMessage(at(UIMessageKind::MouseMove, 40, 40));
    EXPECT_EQ(button.state(), CUIButton::kNormal);
}

TEST(UiButton, ReleasingOutsideReportsReleasedOutsideNotClicked)
{
    ButtonBoard b;
    b.board.routeMessage(at(UIMessageKind::LeftDown, 110, 110, Qt::LeftButton));
    b.board.routeMessage(at(UIMessageKind::LeftUp, 40, 40));
    EXPECT_EQ(b.delegate.log, (Log{"pressed 110,110", "released outside"}));
    EXPECT_EQ(b.button.state(), CUIButton::kNormal);
    // The release went to the captured button only.
    EXPECT_TRUE(b.otherLog.empty());

    // A left up without a press on this button is not a click.
    b.delegate.log.clear();
    b.board.routeMessage(at(UIMessageKind::MouseMove, 110, 110));
    b.board.routeMessage(at(UIMessageKind::LeftUp, 110, 110));
    EXPECT_TRUE(b.delegate.log.empty());

    // The pointer leaving the window in the middle of a press ends it the same way.
    b.board.routeMessage(at(UIMessageKind::LeftDown, 110, 110, Qt::LeftButton));
    UIMessage leave;
    leave.kind = UIMessageKind::MouseLeave;
    b.board.routeMessage(leave);
    EXPECT_EQ(b.delegate.log, (Log{"pressed 110,110", "released outside"}));
    EXPECT_EQ(b.board.capturedButton(), nullptr);
    EXPECT_EQ(b.button.state(), CUIButton::kNormal);
}

TEST(UiButton, QtMouseEventsPressAndClickThroughTheBoard)
{
    ButtonBoard b;
    b.board.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&b.board));
    QTest::mouseMove(&b.board, QPoint(120, 110));
    QTest::mousePress(&b.board, Qt::LeftButton, Qt::NoModifier, QPoint(120, 110));
    QTest::mouseRelease(&b.board, Qt::LeftButton, Qt::NoModifier, QPoint(125, 112));
    QTest::mousePress(&b.board, Qt::LeftButton, Qt::NoModifier, QPoint(120, 110));
    QTest::mouseRelease(&b.board, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    // After a move and a release the cursor is asked for (the delegate answers for the button).
    EXPECT_EQ(b.delegate.log,
              (Log{"cursor", "pressed 120,110", "clicked", "cursor", "pressed 120,110", "released outside"}));
}

TEST(UiButton, TooltipShowsForHalfASecondAboveThePointWhereItWasArmed)
{
    Tessarin::ManualMillisecondClock clock(10000);
    const Tessarin::ScopedProcessClock useClock(clock);
    ButtonBoard b;
    b.button.setTooltip(QStringLiteral("Store"));
    b.board.routeMessage(at(UIMessageKind::MouseMove, 120, 110));

    EXPECT_TRUE(b.button.isTooltipShown(10000));
    EXPECT_TRUE(b.button.isTooltipShown(10499));
    EXPECT_FALSE(b.button.isTooltipShown(10500));

    QImage image(300, 200, QImage::Format_RGB32);
    const auto boxPixels = [&](std::uint64_t now) {
        clock.set(now);
        image.fill(Qt::black);
        QPainter painter(&image);
        b.board.paintTree(image.rect(), painter);
        painter.end();
        int n = 0;
        for (int y = 0; y < 110; ++y) {
            for (int x = 0; x < 300; ++x) {
                n += image.pixel(x, y) == UiColours::kTooltipBox;
            }
        }
        return n;
    };
    EXPECT_GT(boxPixels(10100), 100);
    // Just above the pointer: the box ends a little above y = 110, starting at x = 120.
    clock.set(10100);
    EXPECT_EQ(image.pixel(121, 107), UiColours::kTooltipBox);
    EXPECT_NE(image.pixel(118, 107), UiColours::kTooltipBox);
    EXPECT_EQ(boxPixels(10500), 0);
}

namespace {

// A window that records the signals reaching its handler and the deferred commands it runs.
class RecordingWindow : public CUIBoardDlg {
public:
    void onSignal(std::string_view name, void* argument, UISignalSender* sender) override
    {
        received.push_back({std::string(name), argument, sender});
    }
    void onDeferredCommand(std::intptr_t argument) override { commands.push_back(argument); }

    struct Received {
        std::string name;
        void* argument;
        UISignalSender* sender;
    };
    std::vector<Received> received;
    std::vector<std::intptr_t> commands;
};

class SignalView : public CUIView {
public:
    bool handleSignal(std::string_view name, void*, UISignalSender* sender) override
    {
        seen.push_back({std::string(name), sender});
        return name == handled;
    }
    std::string handled;
    std::vector<std::pair<std::string, UISignalSender*>> seen;
};

} // namespace

TEST(UiSignals, AnUnhandledSignalReachesTheWindowWithItsFirstSender)
{
    RecordingWindow window;
    SignalView outer;
    SignalView inner;
    CUIButton leaf;
    window.board().addChild(&outer);
    outer.addChild(&inner);
    inner.addChild(&leaf);

    WavZoomArgument zoom{1.25f, 2};
    leaf.sendSignal(UISignalNames::kZoomInWav, &zoom);
    ASSERT_EQ(window.received.size(), 1u);
    EXPECT_EQ(window.received[0].name, "zoomInWav");
    EXPECT_EQ(window.received[0].argument, &zoom);
    EXPECT_EQ(window.received[0].sender, &leaf);
    // Each view on the way was offered it with the same sender.
    ASSERT_EQ(inner.seen.size(), 1u);
    EXPECT_EQ(inner.seen[0].second, &leaf);
    ASSERT_EQ(outer.seen.size(), 1u);
    EXPECT_EQ(outer.seen[0].second, &leaf);

    // A view on the way that handles it ends the chain there.
    inner.handled = "updateVoiceCfg";
    leaf.sendSignal(UISignalNames::kUpdateVoiceCfg);
    EXPECT_EQ(window.received.size(), 1u);
    EXPECT_EQ(outer.seen.size(), 1u);

    window.board().removeChild(&outer);
}

TEST(UiSignals, DeferredCommandRunsAfterTheCurrentMessage)
{
    RecordingWindow window;
    window.postDeferredCommand(7);
    window.postDeferredCommand(9);
    EXPECT_TRUE(window.commands.empty());
    QCoreApplication::sendPostedEvents(&window);
    EXPECT_EQ(window.commands, (std::vector<std::intptr_t>{7, 9}));
}

TEST(UiSignals, MoveMessageFlagTurnsIntoTheListsDirection)
{
    // Up (direction 0) asks for the preceding entry: flag 1, the list's direction 0 (previous).
    EXPECT_EQ(moveFlagFromDirection(0), 1);
    EXPECT_EQ(listDirectionFromMoveFlag(moveFlagFromDirection(0)), 0);
    // Down (direction 1): flag 0, the list's direction 1 (next).
    EXPECT_EQ(moveFlagFromDirection(1), 0);
    EXPECT_EQ(listDirectionFromMoveFlag(moveFlagFromDirection(1)), 1);

    // The entry travels as a copy of its own class.
    CTsVoiceCfg_CV entry;
    entry.symbol = "ka";
    entry.vowelStart = 0.5;
    const EntryEvent event(Msg::kMoveToNeighbour, entry, QStringLiteral("/wav/C4"), moveFlagFromDirection(0));
    entry.vowelStart = 0.9;
    const auto* copy = dynamic_cast<const CTsVoiceCfg_CV*>(event.entry.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->vowelStart, 0.5);
    EXPECT_EQ(event.type(), QEvent::Type(8593));
}

TEST(UiRouting, ResizeLaysTheTreeOutOverTheClientArea)
{
    Log log;
    CUIBoard board;
    RecordingView root("root", log, {});
    RecordingView child("child", log, {});
    board.addChild(&root);
    root.addChild(&child);
    child.setLayoutChanged(false);
    board.resize(320, 240);
    board.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&board));
    EXPECT_EQ(root.laidOut, (UIRect{0, 0, 320, 240}));
    EXPECT_TRUE(child.isLayoutChanged());
    board.resize(400, 300);
    QCoreApplication::processEvents();
    EXPECT_EQ(root.laidOut, (UIRect{0, 0, 400, 300}));
    board.removeChild(&root);
}
