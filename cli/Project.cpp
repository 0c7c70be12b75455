#include "cli/Project.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include <fmt/format.h>

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
    return fmt::format("\"{}\"", path.string());
}

// The member of an object, or null when the value is no object or lacks it.
const Json* Member(const Json& json, const char* key)
{
    const auto found = json.find(key);
    return found != json.end() ? &*found : nullptr;
}

// "line 3, column 7: " and what the parser expected there, without the
// library's error number.
std::string WhereParsingStopped(const Json::parse_error& error)
{
    const std::string_view what = error.what();
    const std::size_t line = what.find("line ");
    return std::string(line != std::string_view::npos ? what.substr(line) : what);
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
    Json project = Json::object();
    project["format"] = ProjectFormat;
    Json effect = Json::object();
    effect["name"] = host.Properties().name;
    effect["matchName"] = host.Properties().matchName;
    effect["version"] = host.Properties().effectVersion;
    project["effect"] = std::move(effect);
    Json controls = Json::object();
    for (const ControlValue& control : ReadControls(host))
    {
        Json entry = Json::object();
        entry["name"] = control.name;
        entry["value"] = JsonNumber(control.value);
        if (control.kind == "popup")
        {
            // For the reader of the file; loading goes by the number.
            entry["item"] = control.text;
        }
        controls[fmt::format("{}", control.hostId)] = std::move(entry);
    }
    project["controls"] = std::move(controls);
    return project;
}

void SaveProject(const EffectHost::Host& host, const std::filesystem::path& path)
{
    WriteTextFile(path, JsonText(ProjectJson(host)));
}

std::vector<std::string> LoadProject(EffectHost::Host& host, const std::filesystem::path& path)
{
    Json project;
    try
    {
        project = Json::parse(ReadTextFile(path));
    }
    catch (const Json::parse_error& error)
    {
        throw RunError(fmt::format("Project {} is not valid JSON: {}", Quoted(path),
                                   WhereParsingStopped(error)));
    }
    catch (const std::runtime_error& error)
    {
        throw RunError(fmt::format("Cannot read the project: {}", error.what()));
    }
    const Json* effect = Member(project, "effect");
    const Json* matchName = effect ? Member(*effect, "matchName") : nullptr;
    const Json* controls = Member(project, "controls");
    if (!matchName || !matchName->is_string() || !controls || !controls->is_object())
    {
        throw RunError(
            fmt::format("Project {} is not a Ruzirazu project (it needs \"effect\" with a "
                        "\"matchName\" and \"controls\" keyed by host id)",
                        Quoted(path)));
    }
    const std::string& expected = host.Properties().matchName;
    if (matchName->get_ref<const std::string&>() != expected)
    {
        throw RunError(fmt::format("Project {} holds the controls of \"{}\", not of \"{}\"",
                                   Quoted(path), matchName->get_ref<const std::string&>(),
                                   expected));
    }

    std::vector<std::string> warnings;
    const Json* version = Member(*effect, "version");
    if (version && version->is_number() &&
        version->get<double>() != static_cast<double>(host.Properties().effectVersion))
    {
        warnings.push_back(
            fmt::format("project {} was saved by effect version {}, this is version {}",
                        Quoted(path), version->dump(), host.Properties().effectVersion));
    }

    std::vector<SavedControl> saved;
    for (const auto& [key, entry] : controls->items())
    {
        A_long hostId = 0;
        const auto [end, error] = std::from_chars(key.data(), key.data() + key.size(), hostId);
        const int position = error == std::errc() && end == key.data() + key.size()
                                 ? host.PositionOfHostId(hostId)
                                 : -1;
        if (position < 0 || ValueKind(host.Parameter(position)).empty())
        {
            warnings.push_back(fmt::format(
                "project {}: ignoring control id \"{}\", which this effect does not have",
                Quoted(path), key));
            continue;
        }
        const Json* value = Member(entry, "value");
        if (!value || !value->is_number())
        {
            throw RunError(fmt::format("Project {}: control {} needs a number as its \"value\"",
                                       Quoted(path), key));
        }
        saved.push_back(SavedControl{position, hostId, value->get<double>()});
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
            throw UsageError(fmt::format("project {}: {}", Quoted(path), change.refusal));
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
