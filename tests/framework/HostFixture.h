#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/Plugin.h"
#include "host/Host.h"
#include "support/Log.h"
#include "support/StringsResource.h"
#include "tests/support/TestFiles.h"

class TestEffect;

// What the test effect linked into the framework tests does, set per test.
struct TestScript
{
    int created = 0;
    int destroyed = 0;
    int creationFailures = 0; // CreatePlugin throws while this is above zero
    std::string creationFailure = "Data directory not available"; // with this text
    std::int32_t acceptedApplication = 0;                         // 0: every host
    HostVersion minimum{13, 1};
    std::vector<ParameterDescriptor> table{ParameterDescriptor{}};
    // Run by the handler of that name ("About", "GlobalSetup", "Render",
    // "UserChanged") instead of the framework's default; every call counts.
    std::map<std::string, std::function<void(TestEffect&)>> hooks;
    std::map<std::string, int> calls;
    // The text of a static area; an empty text keeps the framework's default.
    std::function<Zovazaz::WString(std::int32_t position)> parameterText;
};

TestScript& Script();

class TestEffect final : public Plugin
{
  public:
    explicit TestEffect(PF_InData* in_data) : Plugin(in_data) { ++Script().created; }
    ~TestEffect() override { ++Script().destroyed; }

    const char* GetName() override { return "TestEffect"; }
    const char16_t* GetTitle() override { return u"Test Effect"; }
    const char16_t* GetDescription() override { return u"Exercises the framework."; }
    PluginVersion& GetVersion(PluginVersion& out) override { return out = {1, 0, 0, 0, 0}; }
    HostVersion& GetMinimumHostVersion(HostVersion& out) override { return out = Script().minimum; }
    bool IsHostSupported(std::int32_t application) override
    {
        return Script().acceptedApplication == 0 || Script().acceptedApplication == application;
    }
    std::int32_t GetParameterCount() override
    {
        return static_cast<std::int32_t>(Script().table.size());
    }
    const ParameterDescriptor* GetParameterDescriptor(std::int32_t position) override
    {
        return position >= 0 && position < GetParameterCount() ? &Script().table[position]
                                                               : nullptr;
    }
    Zovazaz::WString& GetParameterText(Zovazaz::WString& out, std::int32_t position) override
    {
        if (Script().parameterText && !(out = Script().parameterText(position)).empty())
        {
            return out;
        }
        return Plugin::GetParameterText(out, position);
    }

    // Qualified calls: a pointer to the virtual member would dispatch back here.
    void OnCommand_About() override
    {
        Run("About", [this] { Plugin::OnCommand_About(); });
    }
    void OnCommand_GlobalSetup() override
    {
        Run("GlobalSetup", [this] { Plugin::OnCommand_GlobalSetup(); });
    }
    void OnCommand_UserChangedParameter() override
    {
        Run("UserChanged", [this] { Plugin::OnCommand_UserChangedParameter(); });
    }
    void OnCommand_Render() override
    {
        Run("Render", [this] { Plugin::OnCommand_Render(); });
    }

  private:
    void Run(const std::string& name, const std::function<void()>& base)
    {
        ++Script().calls[name];
        const auto hook = Script().hooks.find(name);
        hook != Script().hooks.end() ? hook->second(*this) : base();
    }
};

// A descriptor row whose displayed name is `name`.
inline ParameterDescriptor Row(std::int32_t position, ParameterType type, const char16_t* name,
                               std::int32_t hostId, NumberSpec number = {}, std::int32_t lines = 0)
{
    return {.position = position,
            .type = type,
            .nameId = Zovazaz::StringsResource::GetInstance().GetOrAddString_(name).first,
            .hostId = hostId,
            .number = number,
            .lineCount = lines};
}

// Each test drives the test effect through a fresh host and leaves no
// instance behind, so the next test starts with the host check undecided.
class FrameworkTest : public ::testing::Test
{
  protected:
    void SetUp() override { Script() = TestScript{}; }

    void TearDown() override
    {
        EndInstance();
        EXPECT_EQ(GetPluginInstance(), nullptr);
    }

    // A new host; the instance of the previous one is set down first.
    EffectHost::Host& StartHost(EffectHost::HostOptions options = {})
    {
        EndInstance();
        host_.reset();
        host_ = std::make_unique<EffectHost::Host>(options);
        host_->UseEntryPoint(&EntryPointFunc, nullptr, "/opt/effects/TestEffect.so");
        return *host_;
    }

    // A host that has set the test effect up and applied it.
    EffectHost::Host& StartApplied(EffectHost::HostOptions options = {})
    {
        EffectHost::Host& host = StartHost(options);
        EXPECT_EQ(host.GlobalSetup().error, PF_Err_NONE);
        EXPECT_EQ(host.ParamsSetup().error, PF_Err_NONE);
        return host;
    }

    static int CountInLog(const std::string& what)
    {
        const std::string log = ZovazazTest::ReadFile(Zovazaz::Log::GetLogFilePath());
        int count = 0;
        for (auto at = log.find(what); at != std::string::npos; at = log.find(what, at + 1))
        {
            ++count;
        }
        return count;
    }

    void EndInstance()
    {
        if (host_ && GetPluginInstance() != nullptr)
        {
            host_->Send(PF_Cmd_GLOBAL_SETDOWN);
        }
    }

    std::unique_ptr<EffectHost::Host> host_;
    EffectHost::World output_{32, 32};
};
