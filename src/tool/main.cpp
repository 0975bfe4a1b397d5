// ambitone-tool: the headless companion. Each subcommand prints Name=value
// lines, writes errors to standard error and exits 1 on failure.
#include "tool/commands.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    try {
        return RunToolCommand(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
