#pragma once

#include <filesystem>
#include <string>

#include "host/Raster.h"
#include "host/World.h"

namespace CommandLine
{

// The input and the preview side by side, each half at the preview's size
// (the input is scaled to it when they differ), each with its label in a
// dark box at its top left so it reads on any picture.
EffectHost::Raster MakeComparison(const EffectHost::World& input, const EffectHost::World& preview,
                                  const std::string& inputLabel, const std::string& previewLabel);

// Writes the comparison as a PNG, atomically. Throws std::runtime_error.
void WriteComparison(const EffectHost::Raster& comparison, const std::filesystem::path& path);

} // namespace CommandLine
