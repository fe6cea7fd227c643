#pragma once

// lvtb's project commands: project (new, show, set, add-location, remove-location), check-dict, dict.

#include "cli/Cli.h"

#include "model/CTsToolBoxProjModel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lvtb {

struct LoadedProject {
    std::unique_ptr<TSTBCurrentModel::CTsToolBoxProjModel> model;
    std::int32_t fileVersion = 0;
};

// Reads FILE or throws the usage error that exits with 2 ("not a project file", the newer-version
// message in English, a file that cannot be opened).
LoadedProject loadOrFail(const std::string& file);
// loadOrFail, with the model folder, the voice bank folder and the wav locations resolved against
// the project file's folder (for commands that use them, not for those that show or save them).
LoadedProject loadResolvedOrFail(const std::string& file);

// A list as the build panel reads its symbol and pitch fields: line feeds, carriage returns and
// spaces removed, split at "," (empty pieces kept).
std::vector<std::string> panelList(std::string_view text);

Command projectCommand();
Command checkDictCommand();
Command dictCommand();

} // namespace lvtb
