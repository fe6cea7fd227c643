// The list of lvtb's commands. Each command lives in its own source file and is added here.

#include "cli/Cli.h"
#include "cli/InspectCommands.h"
#include "cli/ProjectCommands.h"
#include "cli/RenderCommand.h"

namespace lvtb {

// Commands defined in their own source files without a header of their own.
Command buildModelsCommand(); // BuildCommands.cpp
Command buildBankCommand();
Command buildCommand();
Command demoCommand();
Command checkCommand();    // CheckCommand.cpp
Command coverageCommand(); // CoverageCommand.cpp
Command entriesCommand(); // EntriesCommands.cpp
Command estimateCommand(); // EstimateCommand.cpp
Command f0Command();      // F0Command.cpp
Command wavInfoCommand(); // WavInfoCommand.cpp

const std::vector<Command>& commands()
{
    static const std::vector<Command> list = {
        projectCommand(),
        checkDictCommand(),
        dictCommand(),
        entriesCommand(),
        wavInfoCommand(),
        f0Command(),
        estimateCommand(),
        buildModelsCommand(),
        buildBankCommand(),
        buildCommand(),
        coverageCommand(),
        checkCommand(),
        renderCommand(),
        inspectCommand(),
        demoCommand(),
    };
    return list;
}

} // namespace lvtb
