#pragma once

// The open project of the desktop program: one per process, kept by the main window and edited by
// the tool windows (the dictionary window, the build panel) through its field setters, which mark it
// modified and let the main window's title follow.

#include "model/ProjectDocument.h"

namespace TessarinEditor {

ProjectDocument& currentProject();

} // namespace TessarinEditor
