#pragma once

#include <cstdint>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/LayerSource.h"
#include "tests/effect/EffectFixture.h"

namespace RendererTests
{

using EffectHost::World;

// The effect applied through the host to a 64 x 48 moving pattern layer.
class RendererTest : public EffectTest
{
  protected:
    static constexpr A_u_long TimeScale = 30000;
    static constexpr A_long TimeStep = 1001;

    // A new host with the effect, loaded from the module or linked into the
    // test, on a layer of `frames` frames, encoding in one pass (constant
    // rate factor).
    EffectHost::Host& Start(A_long frames, PF_EntryPointFunc linked = nullptr)
    {
        host_.reset(); // one host at a time
        host_ = std::make_unique<EffectHost::Host>();
        Applied(64, 48, linked);
        host_->SetTime({TimeScale, TimeStep, frames * TimeStep, 0});
        Choose(ParamMode, "Constant Rate Factor");
        return *host_;
    }

    // Renders a frame into the output and remembers which frames the effect
    // checked out while doing so.
    EffectHost::CommandResult Render(A_long frame, World& output)
    {
        const std::size_t before = host_->Checkouts().layerTimes.size();
        EffectHost::CommandResult result = host_->RenderFrame(frame, output);
        const std::vector<A_long> times = host_->Checkouts().layerTimes;
        checkedOut_.assign(times.begin() + static_cast<std::ptrdiff_t>(before), times.end());
        for (A_long& time : checkedOut_)
        {
            time /= host_->Time().timeStep;
        }
        return result;
    }

    World RenderOk(A_long frame, A_long width, A_long height)
    {
        World output(width, height);
        const EffectHost::CommandResult result = Render(frame, output);
        EXPECT_TRUE(result.Succeeded()) << result.error << " " << result.errorMessage;
        return output;
    }

    // Frames first..last in order, as one pass over a segment checks them out.
    static std::vector<A_long> Frames(A_long first, A_long last)
    {
        std::vector<A_long> frames(static_cast<std::size_t>(last - first + 1));
        std::iota(frames.begin(), frames.end(), first);
        return frames;
    }

    std::vector<A_long> checkedOut_; // frames checked out by the last Render
};

} // namespace RendererTests
