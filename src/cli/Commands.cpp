// The list of lvtb's commands. Each command lives in its own source file and is added here.

#include "cli/Cli.h"
#include "cli/InspectCommands.h"
#include "cli/ProjectCommands.h"

namespace lvtb {

Command f0Command(); // F0Command.cpp

const std::vector<Command>& commands()
{
    static const std::vector<Command> list = {
        projectCommand(),
        checkDictCommand(),
        dictCommand(),
        inspectCommand(),
        f0Command(),
    };
    return list;
}

} // namespace lvtb
