// The list of lvtb's commands. Each command lives in its own source file and is added here.

#include "cli/Cli.h"

namespace lvtb {

Command entriesCommand();
Command wavInfoCommand();

const std::vector<Command>& commands()
{
    static const std::vector<Command> list = {
        entriesCommand(),
        wavInfoCommand(),
    };
    return list;
}

} // namespace lvtb
