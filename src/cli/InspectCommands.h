#pragma once

#include "cli/Cli.h"

namespace lvtb {

// lvtb inspect model FILE [--json] [--full] | lvtb inspect bank DIR [--json]
Command inspectCommand();

} // namespace lvtb
