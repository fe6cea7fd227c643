#pragma once

// Where the tool windows go on the screen, without any window: the first places side by side (the
// list at the left, the editor to its right, the panels beside them where the screen is wide enough,
// else over the column of the window they are least used with), and a remembered place kept on a
// screen that may have shrunk since.
//
// Every rectangle is a window's frame [logical pixels] (the caller adds and takes off the desktop's
// frame margins).

#include <QRect>
#include <QSize>

#include <string_view>

namespace TessarinEditor {

enum class ToolWindow { list, editor, buildPanel, dictionary, coverage };

// The name under which app.cfg remembers the window's place ("list", "editor", "buildPanel",
// "dictionary", "coverage").
std::string_view toolWindowName(ToolWindow which);

// The size a tool window first has when the screen has room for it.
QSize firstToolWindowSize(ToolWindow which);

inline constexpr int kColumnGap = 8;   // [px] between side-by-side windows, room for their frames
inline constexpr int kColumnFloor = 600; // [px] the list's and the editor's least width

// The first place of a window in available (the screen's available area below the main window);
// least: the window's least frame size; partnerLeast: for the build panel, the dictionary's (the two
// are used together and share the screen). The list and the editor never overlap when available is
// at least 2 × kColumnFloor + kColumnGap wide, nor the panel and the dictionary when their least
// widths fit; each lies within available whenever available is at least as large as its least size.
QRect firstToolWindowPlace(ToolWindow which, const QRect& available, const QSize& least = {},
                           const QSize& partnerLeast = {});

// place moved (and, when larger, shrunk) so that it lies within available.
QRect keptOnScreen(const QRect& place, const QRect& available);

} // namespace TessarinEditor
