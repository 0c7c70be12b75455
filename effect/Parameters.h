#pragma once

#include <cstdint>

#include "effect/RenderSettings.h"
#include "framework/Parameters.h"

class Plugin;

// Positions in the host's params array.
enum ParameterPosition : std::int32_t
{
    ParamInputLayer = 0,
    ParamAbout = 1,
    ParamSegmentLength = 2,
    ParamPresets = 3,
    ParamMode = 4,
    ParamTargetBitrate = 5,
    ParamRateFactor = 6,
    ParamKeyFrameInterval = 7,
    ParamUseBFrames = 8,
    ParamInformation = 9,
    ParamCount = 10,
};

// One row of a preset's bitrate table; rows are sorted by height.
struct PresetBitrate
{
    std::int32_t height;
    std::int32_t bitrateKbps;
};

struct PresetTable
{
    const PresetBitrate* rows;
    std::int32_t count;
};

// The table of a preset; empty (count 0) for PresetManual and unknown values.
PresetTable GetPresetTable(std::int32_t preset) noexcept;

// The bitrate for a layer height: the first row at least as high, else the
// last row. A table without rows throws std::invalid_argument.
std::int32_t FindPresetBitrate(const PresetTable& table, std::int32_t height);

// The parameter table, row i for position i.
const ParameterDescriptor* GetEffectParameterDescriptor(std::int32_t position) noexcept;

// Enabled conditions, read from the current params.
bool IsModeEnabled(Plugin& plugin);
bool IsBitrateControlEnabled(Plugin& plugin);
bool IsRateFactorEnabled(Plugin& plugin);
