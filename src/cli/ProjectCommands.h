#pragma once

// lvtb's project commands: project (new, show, set, add-location, remove-location), check-dict, dict.

#include "cli/Cli.h"

namespace lvtb {

Command projectCommand();
Command checkDictCommand();
Command dictCommand();

} // namespace lvtb
