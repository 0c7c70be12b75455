#pragma once

#include <string>

#include "cli/Options.h"

namespace CommandLine
{

// The live view's --help text.
std::string ViewHelp();

// `ruzirazu view`: serves the live preview until Ctrl-C (exit 130) or
// SIGTERM (exit 143). Throws UsageError or RunError.
int RunView(ArgumentReader& arguments);

} // namespace CommandLine
