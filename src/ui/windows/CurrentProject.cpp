#include "ui/windows/CurrentProject.h"

namespace TessarinEditor {

ProjectDocument& currentProject()
{
    static ProjectDocument document;
    return document;
}

} // namespace TessarinEditor
