#include "cli/Cli.h"

#include <iostream>

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    lvtb::Io io{std::cin, std::cout, std::cerr};
    const int status = lvtb::run(std::vector<std::string>(argv + 1, argv + argc), io);
    std::cout.flush();
    return status;
}
