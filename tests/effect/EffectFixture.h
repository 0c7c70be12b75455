#pragma once

#include <memory>
#include <string>

#include <gmock/gmock.h>
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
            EXPECT_THAT(host_->MessagesOf(EffectHost::MessageKind::Defect), testing::IsEmpty());
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

    // Picks a popup item or sets a value as a user would, and expects the
    // host and the effect to take it.
    void Choose(int position, const std::string& item) { Took(host_->ChangePopup(position, item)); }
    void Set(int position, double value) { Took(host_->ChangeParameter(position, value)); }
    static void Took(const EffectHost::ChangeResult& change)
    {
        ASSERT_TRUE(change.accepted) << change.refusal;
        ASSERT_TRUE(change.command.Succeeded()) << change.command.errorMessage;
    }

    double SliderValue(int position) const { return host_->Parameter(position).u.fs_d.value; }

    std::unique_ptr<EffectHost::Host> host_;
};
