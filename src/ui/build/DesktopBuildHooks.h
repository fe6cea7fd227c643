#pragma once

// The build panel and the update notice, put into the main window's hooks. The program calls this
// once before it makes its main window:
//     installBuildAndUpdateHooks(defaultMainFrameHooks());

#include "ui/windows/CTsToolBoxAppMainFrame.h"

namespace TessarinEditor {

// makeBuildPanel: a CVbSettingPanelDlg over currentProject(), owned by the main window (deleted when
// closed, after it has sent 8590 with flag 1). showUpdateDialog: CAppUpdateDlg through the Prompter.
void installBuildAndUpdateHooks(MainFrameHooks& hooks);

} // namespace TessarinEditor
