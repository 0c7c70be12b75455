#pragma once

#include <string>

#include "cli/Input.h"

namespace CommandLine
{

// True when -i names a video file rather than an image sequence: no printf
// pattern and no .png extension.
bool IsVideoInput(const std::string& input);
// A video file as the layer, with its own rate, length and size. Throws
// UsageError for --size, --duration or --rate, which a video file sets
// itself, and RunError naming the file and what is wrong with it.
LayerInput OpenVideoInput(const InputOptions& input);

} // namespace CommandLine
