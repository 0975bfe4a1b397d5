#pragma once
// The subcommands of ambitone-tool. Each one takes its arguments after the
// command name and returns the exit status; errors are raised as exceptions.

#include <string>
#include <vector>

int RunToolCommand(const std::vector<std::string>& args);
std::string ToolUsage();

// The value of a --seconds option: a number in (0, longest].
double ParseSecondsOption(const std::string& text, double longest = 3600);
