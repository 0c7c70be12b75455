#include "cli/Project.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "cli/EffectControls.h"
#include "cli/OutputFiles.h"
#include "cli/Session.h"

namespace CommandLine
{

namespace
{

constexpr const char* ProjectFormat = "Ruzirazu project";

std::string NameOf(const PF_ParamDef& def)
{
    return std::string(def.name, strnlen(def.name, sizeof def.name));
}

// The kind of a value-bearing control, or empty for anything else.
std::string ValueKind(const PF_ParamDef& def)
{
    if (def.ui_flags & PF_PUI_CONTROL)
    {
        return {};
    }
    switch (def.param_type)
    {
    case PF_Param_FLOAT_SLIDER:
        return "number";
    case PF_Param_POPUP:
        return "popup";
    case PF_Param_CHECKBOX:
        return "checkbox";
    default:
        return {};
    }
}

double ValueOf(const PF_ParamDef& def)
{
    switch (def.param_type)
    {
    case PF_Param_FLOAT_SLIDER:
        return def.u.fs_d.value;
    case PF_Param_POPUP:
        return def.u.pd.value;
    case PF_Param_CHECKBOX:
        return def.u.bd.value != 0 ? 1.0 : 0.0;
    default:
        return 0.0;
    }
}

std::string Quoted(const std::filesystem::path& path)
{
    return "\"" + path.string() + "\"";
}

struct SavedControl
{
    int position = 0;
    A_long hostId = 0;
    double value = 0.0;
};

} // namespace

std::vector<ControlValue> ReadControls(const EffectHost::Host& host)
{
    std::vector<ControlValue> controls;
    for (int position = 1; position < host.ParameterCount(); ++position)
    {
        const PF_ParamDef& def = host.Parameter(position);
        const std::string kind = ValueKind(def);
        if (kind.empty())
        {
            continue;
        }
        controls.push_back(
            ControlValue{def.uu.id, NameOf(def), kind, ValueOf(def), host.ValueText(position)});
    }
    return controls;
}

Json ProjectJson(const EffectHost::Host& host)
{
    Json project = Json::Object();
    project.Set("format", ProjectFormat);
    Json effect = Json::Object();
    effect.Set("name", host.Properties().name);
    effect.Set("matchName", host.Properties().matchName);
    effect.Set("version", host.Properties().effectVersion);
    project.Set("effect", std::move(effect));
    Json controls = Json::Object();
    for (const ControlValue& control : ReadControls(host))
    {
        Json entry = Json::Object();
        entry.Set("name", control.name);
        entry.Set("value", control.value);
        if (control.kind == "popup")
        {
            // For the reader of the file; loading goes by the number.
            entry.Set("item", control.text);
        }
        controls.Set(std::to_string(control.hostId), std::move(entry));
    }
    project.Set("controls", std::move(controls));
    return project;
}

void SaveProject(const EffectHost::Host& host, const std::filesystem::path& path)
{
    WriteTextFile(path, ProjectJson(host).Dump());
}

std::vector<std::string> LoadProject(EffectHost::Host& host, const std::filesystem::path& path)
{
    Json project;
    try
    {
        project = Json::Parse(ReadTextFile(path));
    }
    catch (const JsonError& error)
    {
        throw RunError("Project " + Quoted(path) + " is not valid JSON: " + error.what());
    }
    catch (const std::runtime_error& error)
    {
        throw RunError(std::string("Cannot read the project: ") + error.what());
    }
    const Json* effect = project.IsObject() ? project.Find("effect") : nullptr;
    const Json* matchName = effect && effect->IsObject() ? effect->Find("matchName") : nullptr;
    const Json* controls = project.IsObject() ? project.Find("controls") : nullptr;
    if (!matchName || !matchName->IsString() || !controls || !controls->IsObject())
    {
        throw RunError("Project " + Quoted(path) +
                       " is not a Ruzirazu project (it needs \"effect\" with a \"matchName\" "
                       "and \"controls\" keyed by host id)");
    }
    const std::string& expected = host.Properties().matchName;
    if (matchName->String("matchName") != expected)
    {
        throw RunError("Project " + Quoted(path) + " holds the controls of \"" +
                       matchName->String("matchName") + "\", not of \"" + expected + "\"");
    }

    std::vector<std::string> warnings;
    const Json* version = effect->Find("version");
    if (version && version->IsNumber() &&
        version->Number("version") != static_cast<double>(host.Properties().effectVersion))
    {
        warnings.push_back("project " + Quoted(path) + " was saved by effect version " +
                           std::to_string(static_cast<long long>(version->Number("version"))) +
                           ", this is version " + std::to_string(host.Properties().effectVersion));
    }

    std::vector<SavedControl> saved;
    for (const auto& [key, entry] : controls->Members())
    {
        A_long hostId = 0;
        const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), hostId);
        const int position = error == std::errc() && end == key.data() + key.size()
                                 ? host.PositionOfHostId(hostId)
                                 : -1;
        if (position < 0 || ValueKind(host.Parameter(position)).empty())
        {
            warnings.push_back("project " + Quoted(path) + ": ignoring control id \"" + key +
                               "\", which this effect does not have");
            continue;
        }
        const Json* value = entry.IsObject() ? entry.Find("value") : nullptr;
        if (!value || !value->IsNumber())
        {
            throw RunError("Project " + Quoted(path) + ": control " + key +
                           " needs a number as its \"value\"");
        }
        saved.push_back(SavedControl{position, hostId, value->Number("value")});
    }

    // The preset first: choosing it sets the bitrate and the mode, which the
    // project's own values then restore.
    std::stable_partition(saved.begin(), saved.end(),
                          [](const SavedControl& control)
                          { return control.hostId == HostIdPresets; });
    for (const SavedControl& control : saved)
    {
        const EffectHost::ChangeResult change =
            host.ChangeParameter(control.position, control.value);
        if (!change.accepted)
        {
            throw UsageError("project " + Quoted(path) + ": " + change.refusal);
        }
        if (change.sent)
        {
            EffectSession::Check(change.command,
                                 "the change of " + NameOf(host.Parameter(control.position)));
        }
    }
    return warnings;
}

} // namespace CommandLine
