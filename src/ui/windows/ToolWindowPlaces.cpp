#include "ui/windows/ToolWindowPlaces.h"

#include <algorithm>

namespace TessarinEditor {

namespace {

// Widths of the two columns in available: the list's and the editor's first widths when both fit,
// else the width shared in their proportion, neither under kColumnFloor while the screen allows.
struct Columns {
    int listWidth = 0;
    int editorWidth = 0;
};

Columns columnsFor(const QRect& available)
{
    const int list = firstToolWindowSize(ToolWindow::list).width();
    const int editor = firstToolWindowSize(ToolWindow::editor).width();
    const int room = available.width() - kColumnGap;
    if (list + editor <= room) {
        return {list, editor};
    }
    int listWidth = int(qint64(room) * list / (list + editor));
    listWidth = std::max(listWidth, std::min(kColumnFloor, room / 2));
    listWidth = std::min(listWidth, std::max(room - kColumnFloor, room / 2));
    return {listWidth, room - listWidth};
}

QRect placed(const QRect& available, int x, int width, int height)
{
    x = std::max(x, available.left());
    return QRect(x, available.top(), std::max(1, std::min(width, available.right() + 1 - x)),
                 std::max(1, std::min(height, available.height())));
}

} // namespace

std::string_view toolWindowName(ToolWindow which)
{
    switch (which) {
    case ToolWindow::list: return "list";
    case ToolWindow::editor: return "editor";
    case ToolWindow::buildPanel: return "buildPanel";
    case ToolWindow::dictionary: return "dictionary";
    case ToolWindow::coverage: return "coverage";
    }
    return "";
}

QSize firstToolWindowSize(ToolWindow which)
{
    switch (which) {
    case ToolWindow::list: return {720, 560};
    case ToolWindow::editor: return {960, 640};
    case ToolWindow::buildPanel: return {560, 600};
    case ToolWindow::dictionary: return {560, 440};
    case ToolWindow::coverage: return {640, 520};
    }
    return {};
}

QRect firstToolWindowPlace(ToolWindow which, const QRect& available, const QSize& least, const QSize& partnerLeast)
{
    const Columns c = columnsFor(available);
    const int listX = available.left();
    const int editorX = listX + c.listWidth + kColumnGap;
    // A third and a fourth column after the editor's on a wide screen.
    const int thirdX = editorX + c.editorWidth + kColumnGap;
    const int fourthX = thirdX + firstToolWindowSize(ToolWindow::buildPanel).width() + kColumnGap;
    const QSize size = firstToolWindowSize(which).expandedTo(least);
    const auto fits = [&](int x) { return x + size.width() <= available.right() + 1; };
    switch (which) {
    case ToolWindow::list: return placed(available, listX, std::max(c.listWidth, least.width()), size.height());
    case ToolWindow::editor:
        return placed(available, std::min(editorX, available.right() + 1 - std::max(c.editorWidth, least.width())),
                      std::max(c.editorWidth, least.width()), size.height());
    // The build panel and the dictionary are used together between rounds of editing: the panel at
    // the left, the dictionary at the right edge, apart whenever the two widths fit the screen.
    case ToolWindow::buildPanel: {
        if (fits(thirdX)) {
            return placed(available, thirdX, size.width(), size.height());
        }
        // Narrower than at first, down to its least width, to leave the dictionary its room.
        const int room = available.width() - kColumnGap - partnerLeast.width();
        return placed(available, listX, std::max(least.width(), std::min(size.width(), room)), size.height());
    }
    case ToolWindow::dictionary:
        return placed(available, fits(fourthX) ? fourthX : available.right() + 1 - size.width(), size.width(),
                      size.height());
    // The coverage window opens the list and the editor: over the editor's column, beside the list.
    case ToolWindow::coverage:
        return placed(available, fits(thirdX) ? thirdX : available.right() + 1 - size.width(), size.width(),
                      size.height());
    }
    return {};
}

QRect keptOnScreen(const QRect& place, const QRect& available)
{
    QRect kept(place.topLeft(), place.size().boundedTo(available.size()));
    kept.moveLeft(std::clamp(kept.left(), available.left(), available.right() + 1 - kept.width()));
    kept.moveTop(std::clamp(kept.top(), available.top(), available.bottom() + 1 - kept.height()));
    return kept;
}

} // namespace TessarinEditor
