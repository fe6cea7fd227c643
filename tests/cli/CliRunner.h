#pragma once

// Runs lvtb in-process with captured streams.

#include "cli/Cli.h"

#include <sstream>
#include <string>
#include <vector>

namespace lvtest {

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// terminal: run as if stdout and stderr were terminals.
inline CliResult runLvtb(const std::vector<std::string>& argv, const std::string& stdinText = {}, bool terminal = false)
{
    std::istringstream in(stdinText);
    std::ostringstream out;
    std::ostringstream err;
    lvtb::Io io{in, out, err, terminal, terminal};
    CliResult r;
    r.status = lvtb::run(argv, io);
    r.out = out.str();
    r.err = err.str();
    return r;
}

} // namespace lvtest
