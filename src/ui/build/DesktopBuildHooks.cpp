#include "ui/build/DesktopBuildHooks.h"

#include "ui/windows/CAppUpdateDlg.h"
#include "ui/build/CVbSettingPanelDlg.h"
#include "ui/windows/CurrentProject.h"

namespace TessarinEditor {

void installBuildAndUpdateHooks(MainFrameHooks& hooks)
{
    hooks.makeBuildPanel = [](QWidget* parent) -> QWidget* {
        auto* panel = new CVbSettingPanelDlg(currentProject(), parent);
        panel->setAttribute(Qt::WA_DeleteOnClose);
        return panel;
    };
    hooks.showUpdateDialog = [](QWidget* parent, const QString& version, const QString& url) {
        showUpdateDialog(parent, version, url);
    };
}

} // namespace TessarinEditor
