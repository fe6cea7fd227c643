#include "cli/Cli.h"

#include <iostream>

#include <unistd.h>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    lvtb::Io io{std::cin, std::cout, std::cerr, ::isatty(STDOUT_FILENO) == 1, ::isatty(STDERR_FILENO) == 1};
    const int status = lvtb::run(std::vector<std::string>(argv + 1, argv + argc), io);
    std::cout.flush();
    return status;
}
