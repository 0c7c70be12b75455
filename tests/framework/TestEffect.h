#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "framework/Plugin.h"

// A small effect linked into the framework tests. What it does is set per
// test through its script; every handler counts its calls.
class TestEffect;

struct TestScript
{
    int created = 0;
    int destroyed = 0;
    int creationFailures = 0; // CreatePlugin throws while this is above zero
    std::string creationFailure = "Data directory not available"; // with this text
    bool supplierWithoutText = false;

    const char* name = "TestEffect";
    std::int32_t acceptedApplication = 0; // 0: every host
    HostVersion minimum{13, 1};
    PluginVersion version{1, 0, 0, 0, 0};
    std::vector<ParameterDescriptor> table{ParameterDescriptor{}};

    std::function<void(TestEffect&)> onAbout;
    std::function<void(TestEffect&)> onGlobalSetup;
    std::function<void(TestEffect&)> onRender;
    std::function<void(TestEffect&)> onUserChanged;
    // The text of a static area; null keeps the framework's default.
    std::function<Zovazaz::WString(std::int32_t position)> parameterText;

    std::map<std::string, int> calls;
};

TestScript& Script();
void ResetScript();

class TestEffect final : public Plugin
{
  public:
    explicit TestEffect(PF_InData* in_data);
    ~TestEffect() override;

    const char* GetName() override;
    const char16_t* GetTitle() override;
    const char16_t* GetDescription() override;
    PluginVersion& GetVersion(PluginVersion& out) override;
    bool IsHostSupported(std::int32_t applicationId) override;
    HostVersion& GetMinimumHostVersion(HostVersion& out) override;
    std::int32_t GetParameterCount() override;
    const ParameterDescriptor* GetParameterDescriptor(std::int32_t position) override;
    Zovazaz::WString& GetParameterText(Zovazaz::WString& out, std::int32_t position) override;

    void OnCommand_About() override;
    void OnCommand_GlobalSetup() override;
    void OnCommand_UserChangedParameter() override;
    void OnCommand_Render() override;
};

// A strings-resource id holding `text`, for descriptor names.
std::uint32_t NameId(const char16_t* text);

// Descriptor rows for test tables.
ParameterDescriptor NumberRow(std::int32_t position, const char16_t* name, std::int32_t hostId,
                              float defaultValue, float minimum, float maximum);
ParameterDescriptor PopupRow(std::int32_t position, const char16_t* name, std::int32_t hostId,
                             std::vector<const char*> choices);
ParameterDescriptor StaticRow(std::int32_t position, const char16_t* name, std::int32_t hostId,
                              std::int32_t lines);
ParameterDescriptor CheckboxRow(std::int32_t position, const char16_t* name, std::int32_t hostId,
                                bool on);
