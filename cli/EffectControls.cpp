#include "cli/EffectControls.h"

#include <cstdio>
#include <cstring>
#include <iostream>

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
        throw RunError(std::string("The module has no ") + what + " control (host id " +
                       std::to_string(hostId) + ")");
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
        add("--bitrate " + std::to_string(*settings.bitrateKbps));
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
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
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
        return "type " + std::to_string(def.param_type);
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
        return "1 to " + std::to_string(def.u.pd.num_choices);
    case PF_Param_CHECKBOX:
        return "off, on";
    default:
        return "-";
    }
}

std::string Pad(std::string text, std::size_t width)
{
    if (text.size() < width)
    {
        text.append(width - text.size(), ' ');
    }
    return text;
}

} // namespace

std::string DescribeControls(const EffectHost::Host& host)
{
    std::string out = Pad("#", 4) + Pad("Name", 34) + Pad("Id", 5) + Pad("Kind", 10) +
                      Pad("Value", 30) + Pad("Range", 16) + "State\n";
    for (int position = 1; position < host.ParameterCount(); ++position)
    {
        const PF_ParamDef& def = host.Parameter(position);
        const std::string value = host.ValueText(position);
        out += Pad(std::to_string(position), 4) +
               Pad(std::string(def.name, strnlen(def.name, sizeof def.name)), 34) +
               Pad(std::to_string(def.uu.id), 5) + Pad(KindOf(def), 10) +
               Pad(value.empty() ? "-" : value, 30) + Pad(RangeOf(def), 16) +
               (host.IsEnabled(position) ? "enabled" : "disabled") + "\n";
    }
    return out;
}

} // namespace CommandLine
