#pragma once

#include <string>
#include <vector>

#include "cli/Options.h"

namespace CommandLine
{

// A subcommand: its name, a one-line summary, its --help text and its body,
// which returns the exit code or throws UsageError / RunError.
struct Subcommand
{
    const char* name;
    const char* summary;
    std::string (*help)();
    int (*run)(ArgumentReader& arguments);
};

const std::vector<Subcommand>& Subcommands();

int RunAbout(ArgumentReader& arguments);
int RunParams(ArgumentReader& arguments);

// The whole command: arguments without the program name.
int Run(const std::vector<std::string>& arguments);

} // namespace CommandLine
