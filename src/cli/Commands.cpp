// The list of lvtb's commands. Each command lives in its own source file and is added here.

#include "cli/Cli.h"

namespace lvtb {

const std::vector<Command>& commands()
{
    static const std::vector<Command> list = {
    };
    return list;
}

} // namespace lvtb
