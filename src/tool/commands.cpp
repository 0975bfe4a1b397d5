#include "tool/commands.h"

#include <cstdio>

std::string ToolUsage()
{
    return "Usage: ambitone-tool COMMAND [ARGUMENTS]\n"
           "\n"
           "The headless companion of Ambitone, for inspection, conversion and\n"
           "offline rendering. Each command prints Name=value lines.\n"
           "\n"
           "Commands:\n"
           "  --help, help    show this text\n";
}

int RunToolCommand(const std::vector<std::string>& args)
{
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(ToolUsage().c_str(), args.empty() ? stderr : stdout);
        return args.empty() ? 1 : 0;
    }
    std::fprintf(stderr, "ambitone-tool: unknown command \"%s\"\n%s", args[0].c_str(), ToolUsage().c_str());
    return 1;
}
