#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "effect/Parameters.h"
#include "host/Host.h"

// The real module, loaded by the host from the build tree and applied to a
// layer, as a user would find it in the effect controls.
class EffectTest : public ::testing::Test
{
  protected:
    void SetUp() override { host_ = std::make_unique<EffectHost::Host>(); }

    void TearDown() override
    {
        if (host_)
        {
            host_->Unload();
            for (const EffectHost::HostMessage& message : host_->Messages())
            {
                EXPECT_NE(message.kind, EffectHost::MessageKind::Defect) << message.text;
            }
        }
    }

    // Loads the module, or uses the effect linked into the test, and applies
    // it to a pattern layer of the size.
    EffectHost::Host& Applied(A_long layerWidth = 1920, A_long layerHeight = 1080,
                              PF_EntryPointFunc linked = nullptr)
    {
        if (linked != nullptr)
        {
            host_->UseEntryPoint(linked, nullptr, RUZIRAZU_MODULE_PATH);
        }
        else
        {
            host_->LoadModule(RUZIRAZU_MODULE_PATH);
        }
        const EffectHost::CommandResult setup = host_->GlobalSetup();
        EXPECT_TRUE(setup.Succeeded()) << setup.error << " " << setup.errorMessage;
        const EffectHost::CommandResult params = host_->ParamsSetup();
        EXPECT_TRUE(params.Succeeded()) << params.error << " " << params.errorMessage;
        host_->SetLayerSize(layerWidth, layerHeight);
        return *host_;
    }

    // Picks a popup item as a user would and expects the host to take it.
    void Choose(int position, const std::string& item)
    {
        const EffectHost::ChangeResult change = host_->ChangePopup(position, item);
        ASSERT_TRUE(change.accepted) << change.refusal;
        ASSERT_TRUE(change.command.Succeeded()) << change.command.errorMessage;
    }

    void Set(int position, double value)
    {
        const EffectHost::ChangeResult change = host_->ChangeParameter(position, value);
        ASSERT_TRUE(change.accepted) << change.refusal;
        ASSERT_TRUE(change.command.Succeeded()) << change.command.errorMessage;
    }

    double SliderValue(int position) const { return host_->Parameter(position).u.fs_d.value; }
    A_long PopupValue(int position) const { return host_->Parameter(position).u.pd.value; }

    std::unique_ptr<EffectHost::Host> host_;
};
