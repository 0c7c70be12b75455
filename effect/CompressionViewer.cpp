#include "effect/CompressionViewer.h"

#include <string>

#include <fmt/printf.h>

#include "effect/InformationPanel.h"
#include "effect/Strings.h"
#include "support/Log.h"
#include "support/StringsResource.h"
#include "support/Text.h"

namespace
{

constexpr const char* EffectName = "Ruzirazu";
constexpr HostVersion MinimumHostVersion{13, 1};
constexpr PluginVersion EffectVersion{1, 0, 0, 0, 0};

// The narrow form of a wide text, interned so the About text reads the same
// table entries the rest of the effect uses.
std::string InternedNarrow(const char16_t* text)
{
    Zovazaz::StringsResource& strings = Zovazaz::StringsResource::GetInstance();
    const auto [id, wide] = strings.GetOrAddString_(Zovazaz::WStringRef(text ? text : u""));
    const char* narrow = strings.GetNarrowString(id);
    return narrow != nullptr ? std::string(narrow) : Zovazaz::ToNarrow(wide);
}

} // namespace

CompressionViewer::CompressionViewer(PF_InData* in_data)
    : Plugin(in_data), settings_(Zovazaz::GetSettingsPath())
{
    std::string level;
    if (settings_.Get("Log.Level", level))
    {
        Zovazaz::Log::ApplyLevelSetting(level);
    }
}

CompressionViewer::~CompressionViewer()
{
    // The logo's drawing image was made through this instance's drawing
    // suites, which go with it; the decoded pixels stay for the next one.
    ReleaseModuleLogo();
}

const char* CompressionViewer::GetName()
{
    return EffectName;
}

const char16_t* CompressionViewer::GetTitle()
{
    return Zovazaz::StringsResource::GetInstance().GetWideString(StringEffectName);
}

const char16_t* CompressionViewer::GetDescription()
{
    return Zovazaz::StringsResource::GetInstance().GetWideString(StringDescription);
}

PluginVersion& CompressionViewer::GetVersion(PluginVersion& out)
{
    out = EffectVersion;
    return out;
}

bool CompressionViewer::IsHostSupported(std::int32_t applicationId)
{
    return applicationId == ApplicationIdAfterEffects;
}

HostVersion& CompressionViewer::GetMinimumHostVersion(HostVersion& out)
{
    out = MinimumHostVersion;
    return out;
}

std::int32_t CompressionViewer::GetParameterCount()
{
    return ParamCount;
}

const ParameterDescriptor* CompressionViewer::GetParameterDescriptor(std::int32_t position)
{
    return GetEffectParameterDescriptor(position);
}

void CompressionViewer::OnCommand_About()
{
    PluginVersion version;
    GetVersion(version);
    const std::string title = InternedNarrow(GetTitle());
    const std::string description = InternedNarrow(GetDescription());
    const char* format = Zovazaz::StringsResource::GetInstance().GetNarrowString(StringAboutFormat);
    if (format == nullptr)
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "The About text is missing from the string table");
    }
    SetReturnMessage(
        fmt::sprintf(format, title, version.major, version.minor, description, std::string()));
}

std::unique_ptr<Plugin> CreatePlugin(PF_InData* in_data)
{
    return std::make_unique<CompressionViewer>(in_data);
}
