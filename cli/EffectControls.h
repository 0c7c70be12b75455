#pragma once

#include <string>

#include "cli/Options.h"
#include "host/Host.h"

namespace CommandLine
{

// The host ids under which the effect stores its controls in projects. They
// are the stable way to find a control, whatever its position.
enum HostId : A_long
{
    HostIdTargetBitrate = 1,
    HostIdInformation = 7,
    HostIdMode = 8,
    HostIdRateFactor = 9,
    HostIdPresets = 10,
    HostIdSegmentLength = 11,
    HostIdKeyFrameInterval = 12,
    HostIdUseBFrames = 13,
    HostIdAbout = 17,
};

// The popup item that a command-line word chooses.
std::string PresetItem(const std::string& word);
std::string ModeItem(const std::string& word);

// Sets the layer size, then changes each given control as a user would, each
// sending its user-change command; the preset goes last, with a warning on
// stderr naming a --mode or --bitrate that it overrode. A value the host
// refuses throws UsageError with the host's message; an effect error throws
// RunError.
void ApplyEffectSettings(EffectHost::Host& host, const EffectSettings& settings);

// One line per control: position, name, host id, kind, value, range, state.
std::string DescribeControls(const EffectHost::Host& host);

} // namespace CommandLine
