#include "cli/EffectControls.h"

#include <cstring>
#include <iostream>
#include <string_view>

#include <fmt/format.h>

#include "cli/Session.h"

namespace CommandLine
{

std::string PresetItem(const std::string& word)
{
    if (word == "manual")
    {
        return "None (Manual)";
    }
    if (word == "youtube")
    {
        return "YouTube (Standard Quality)";
    }
    if (word == "youtube-hq")
    {
        return "YouTube (High Quality)";
    }
    if (word == "vimeo")
    {
        return "Vimeo";
    }
    throw UsageError("Unknown preset \"" + word + "\"");
}

std::string ModeItem(const std::string& word)
{
    if (word == "abr")
    {
        return "Average Bitrate";
    }
    if (word == "crf")
    {
        return "Constant Rate Factor";
    }
    throw UsageError("Unknown mode \"" + word + "\"");
}

namespace
{

int PositionOf(const EffectHost::Host& host, A_long hostId, const char* what)
{
    const int position = host.PositionOfHostId(hostId);
    if (position < 0)
    {
        throw RunError(fmt::format("The module has no {} control (host id {})", what, hostId));
    }
    return position;
}

void Settle(const EffectHost::ChangeResult& change, const std::string& option)
{
    if (!change.accepted)
    {
        throw UsageError(option + ": " + change.refusal);
    }
    if (change.sent)
    {
        EffectSession::Check(change.command, "the change of " + option);
    }
}

void ChangeNumber(EffectHost::Host& host, A_long hostId, const char* what,
                  const std::optional<int>& value, const std::string& option)
{
    if (value)
    {
        Settle(host.ChangeParameter(PositionOf(host, hostId, what), *value), option);
    }
}

// A preset other than manual sets Mode and Target Bitrate itself; an option
// that asked for another value has been overridden, which the user should
// hear of rather than find out from the output.
void WarnOfOverriddenOptions(const EffectHost::Host& host, const EffectSettings& settings)
{
    std::string overridden;
    const auto add = [&](const std::string& option)
    { overridden += (overridden.empty() ? "" : " and ") + option; };
    if (settings.mode &&
        host.ValueText(PositionOf(host, HostIdMode, "Mode")) != ModeItem(*settings.mode))
    {
        add("--mode " + *settings.mode);
    }
    if (settings.bitrateKbps &&
        host.Parameter(PositionOf(host, HostIdTargetBitrate, "Target Bitrate")).u.fs_d.value !=
            *settings.bitrateKbps)
    {
        add(fmt::format("--bitrate {}", *settings.bitrateKbps));
    }
    if (!overridden.empty())
    {
        std::cerr << "ruzirazu: warning: --preset " << *settings.preset
                  << " sets Mode and Target Bitrate itself, overriding " << overridden << '\n';
    }
}

} // namespace

void ApplyEffectSettings(EffectHost::Host& host, const EffectSettings& settings)
{
    if (settings.layerSize)
    {
        host.SetLayerSize(settings.layerSize->first, settings.layerSize->second);
    }
    ChangeNumber(host, HostIdSegmentLength, "Segment Length", settings.segmentLength, "--segment");
    ChangeNumber(host, HostIdTargetBitrate, "Target Bitrate", settings.bitrateKbps, "--bitrate");
    ChangeNumber(host, HostIdRateFactor, "Rate Factor", settings.rateFactor, "--crf");
    ChangeNumber(host, HostIdKeyFrameInterval, "Key Frame Interval", settings.keyFrameInterval,
                 "--keyint");
    if (settings.useBFrames)
    {
        Settle(host.ChangeParameter(PositionOf(host, HostIdUseBFrames, "B-frame"),
                                    *settings.useBFrames ? 1 : 0),
               "--bframes");
    }
    if (settings.mode)
    {
        Settle(host.ChangePopup(PositionOf(host, HostIdMode, "Mode"), ModeItem(*settings.mode)),
               "--mode");
    }
    // Last, so that the preset's bitrate wins as it does for a user who picks
    // the preset after setting the rest.
    if (settings.preset)
    {
        Settle(host.ChangePopup(PositionOf(host, HostIdPresets, "Presets"),
                                PresetItem(*settings.preset)),
               "--preset");
        WarnOfOverriddenOptions(host, settings);
    }
}

namespace
{

std::string Bound(double value)
{
    return fmt::format("{:.10g}", value);
}

std::string KindOf(const PF_ParamDef& def)
{
    if (def.ui_flags & PF_PUI_CONTROL)
    {
        return "area";
    }
    switch (def.param_type)
    {
    case PF_Param_LAYER:
        return "layer";
    case PF_Param_FLOAT_SLIDER:
    case PF_Param_SLIDER:
    case PF_Param_FIX_SLIDER:
        return "number";
    case PF_Param_POPUP:
        return "popup";
    case PF_Param_CHECKBOX:
        return "checkbox";
    case PF_Param_BUTTON:
        return "button";
    case PF_Param_GROUP_START:
        return "group";
    case PF_Param_GROUP_END:
        return "group end";
    case PF_Param_ARBITRARY_DATA:
        return "data";
    default:
        return fmt::format("type {}", def.param_type);
    }
}

std::string RangeOf(const PF_ParamDef& def)
{
    if (def.ui_flags & PF_PUI_CONTROL)
    {
        return "-";
    }
    switch (def.param_type)
    {
    case PF_Param_FLOAT_SLIDER:
        return Bound(def.u.fs_d.valid_min) + " to " + Bound(def.u.fs_d.valid_max);
    case PF_Param_POPUP:
        return fmt::format("1 to {}", def.u.pd.num_choices);
    case PF_Param_CHECKBOX:
        return "off, on";
    default:
        return "-";
    }
}

} // namespace

std::string DescribeControls(const EffectHost::Host& host)
{
    // Columns padded to their width; a longer text pushes the rest along.
    constexpr std::string_view Row = "{:<4}{:<34}{:<5}{:<10}{:<30}{:<16}{}\n";
    std::string out = fmt::format(Row, "#", "Name", "Id", "Kind", "Value", "Range", "State");
    for (int position = 1; position < host.ParameterCount(); ++position)
    {
        const PF_ParamDef& def = host.Parameter(position);
        const std::string value = host.ValueText(position);
        out += fmt::format(Row, position,
                           std::string_view(def.name, strnlen(def.name, sizeof def.name)),
                           def.uu.id, KindOf(def), value.empty() ? "-" : value, RangeOf(def),
                           host.IsEnabled(position) ? "enabled" : "disabled");
    }
    return out;
}

} // namespace CommandLine
