#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "cli/Json.h"
#include "host/Host.h"

namespace CommandLine
{

// One control of the effect with its value as the host holds it.
struct ControlValue
{
    A_long hostId = 0;
    std::string name;
    std::string kind;   // "number", "popup", "checkbox"
    double value = 0.0; // popups: the item number from 1; checkboxes: 0 or 1
    std::string text;   // as a panel shows it: the popup item, "on", "8000"
};

// The controls that hold a value (sliders, popups, checkboxes), in panel
// order; areas, groups and the layer are left out.
std::vector<ControlValue> ReadControls(const EffectHost::Host& host);

// The project file: the effect's match name and version, and every control
// value keyed by its host id (the id the effect keeps stable in projects).
Json ProjectJson(const EffectHost::Host& host);
// Writes it atomically. Throws std::runtime_error naming the file.
void SaveProject(const EffectHost::Host& host, const std::filesystem::path& path);

// Sets the controls from a project as a user would, the preset first, so
// that the values it saved win over the preset's. An id the effect does not
// know is skipped with a warning, as is a different version of the effect.
// Throws std::runtime_error when the file cannot be read or is not a project
// of this effect, UsageError when a value is outside its control's range.
// Returns the warnings.
std::vector<std::string> LoadProject(EffectHost::Host& host, const std::filesystem::path& path);

} // namespace CommandLine
