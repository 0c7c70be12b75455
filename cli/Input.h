#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "cli/Options.h"
#include "host/Host.h"
#include "host/LayerSource.h"
#include "host/Timeline.h"

namespace CommandLine
{

// Where the preview's layer comes from, as the command line says it.
struct InputOptions
{
    std::optional<std::string> pattern;        // -i/--input; none: the built-in clip
    std::optional<std::pair<int, int>> size;   // --size, built-in clip only
    std::optional<int> duration;               // --duration, built-in clip only
    std::optional<EffectHost::FrameRate> rate; // --rate
};

// The layer ready for the host: its frames, its clock and a description
// for the user ("the built-in clip, 1280 x 720, 90 frames at 30000/1001").
struct LayerInput
{
    std::shared_ptr<const EffectHost::LayerSource> source;
    EffectHost::TimeSettings time;
    std::string description;
};

constexpr int LargestDuration = 100000;

// Reads -i/--input, --duration or --rate into `input` and returns true; false
// for any other option. Throws UsageError for a malformed value.
bool ParseInputOption(ArgumentReader& reader, const std::string& option, InputOptions& input);

// The --help lines of the input options.
const char* InputOptionsHelp();

// Opens the layer. Throws UsageError when the options do not fit together
// or the pattern is malformed or matches no file, RunError when the files
// cannot be used (unreadable, a gap, mixed sizes).
LayerInput OpenInput(const InputOptions& input);

} // namespace CommandLine
