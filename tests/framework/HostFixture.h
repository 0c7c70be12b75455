#pragma once

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "framework/Plugin.h"
#include "host/Host.h"
#include "support/Log.h"
#include "tests/framework/TestEffect.h"

// Each test drives the test effect through a fresh host and leaves no
// instance behind, so the next test starts with the host check undecided.
class FrameworkTest : public ::testing::Test
{
  protected:
    static constexpr const char* ModulePath = "/opt/effects/TestEffect.so";

    void SetUp() override { ResetScript(); }

    void TearDown() override
    {
        if (host_)
        {
            if (GetPluginInstance() != nullptr)
            {
                host_->Send(PF_Cmd_GLOBAL_SETDOWN);
            }
            host_.reset();
        }
        EXPECT_EQ(GetPluginInstance(), nullptr);
    }

    EffectHost::Host& StartHost(EffectHost::HostOptions options = {},
                                std::string modulePath = ModulePath)
    {
        host_.reset();
        host_ = std::make_unique<EffectHost::Host>(options);
        host_->UseEntryPoint(&EntryPointFunc, nullptr, std::move(modulePath));
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

    static std::string ReadLog()
    {
        std::ifstream file(Zovazaz::Log::GetLogFilePath(), std::ios::binary);
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    static int CountOf(const std::string& text, const std::string& what)
    {
        int count = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        {
            ++count;
        }
        return count;
    }

    std::unique_ptr<EffectHost::Host> host_;
};
