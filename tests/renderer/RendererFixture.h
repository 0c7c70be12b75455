#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "effect/Parameters.h"
#include "host/Host.h"
#include "tests/renderer/TestPattern.h"

namespace RendererTests
{

using EffectHost::World;

// A layer whose pixels a test paints frame by frame, and which remembers
// every frame the host rendered for it (host renders and effect checkouts).
class TestLayer final : public EffectHost::LayerSource
{
  public:
    using Painter = std::function<void(A_long frame, World& into)>;

    TestLayer(A_long width, A_long height, Painter paint)
        : painter(std::move(paint)), width_(width), height_(height)
    {
    }

    A_long Width() const override { return width_; }
    A_long Height() const override { return height_; }

    void FrameAt(A_long time, A_long timeStep, A_u_long, World& into) const override
    {
        const A_long frame = timeStep != 0 ? time / timeStep : 0;
        rendered.push_back(frame);
        if (onFrame)
        {
            onFrame(frame);
        }
        painter(frame, into);
    }

    Painter painter;
    // Called before each frame is painted, e.g. to look at the temporary
    // folder while an encode runs.
    mutable std::function<void(A_long frame)> onFrame;
    mutable std::vector<A_long> rendered;

  private:
    A_long width_;
    A_long height_;
};

inline void PaintPattern(A_long frame, World& into)
{
    for (A_long y = 0; y < into.Height(); ++y)
    {
        for (A_long x = 0; x < into.Width(); ++x)
        {
            into.At(x, y) = PatternAt(x, y, frame);
        }
    }
}

class RendererTest : public ::testing::Test
{
  protected:
    static constexpr A_u_long TimeScale = 30000;
    static constexpr A_long TimeStep = 1001;

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

    // Loads the module, applies the effect to a layer of the size and frame
    // count, and switches to one-pass (constant rate factor) encoding.
    EffectHost::Host& Start(A_long width, A_long height, A_long frames,
                            TestLayer::Painter painter = PaintPattern)
    {
        host_.reset(); // one host at a time
        host_ = std::make_unique<EffectHost::Host>();
        host_->LoadModule(RUZIRAZU_MODULE_PATH);
        const EffectHost::CommandResult setup = host_->GlobalSetup();
        EXPECT_TRUE(setup.Succeeded()) << setup.error << " " << setup.errorMessage;
        EXPECT_TRUE(host_->ParamsSetup().Succeeded());
        layer_ = std::make_shared<TestLayer>(width, height, std::move(painter));
        host_->SetLayerSource(layer_);
        host_->SetTime({TimeScale, TimeStep, frames * TimeStep, 0});
        SetMode("Constant Rate Factor");
        return *host_;
    }

    void Set(int position, double value)
    {
        const EffectHost::ChangeResult result = host_->ChangeParameter(position, value);
        ASSERT_TRUE(result.accepted) << result.refusal;
        ASSERT_TRUE(result.command.Succeeded()) << result.command.errorMessage;
    }

    void SetPopup(int position, const std::string& item)
    {
        const EffectHost::ChangeResult result = host_->ChangePopup(position, item);
        ASSERT_TRUE(result.accepted) << result.refusal;
        ASSERT_TRUE(result.command.Succeeded()) << result.command.errorMessage;
    }

    void SetMode(const std::string& mode) { SetPopup(ParamMode, mode); }

    // Renders a frame into a new output world of the size and remembers which
    // frames the effect checked out while doing so.
    EffectHost::CommandResult Render(A_long frame, World& output)
    {
        const std::size_t before = host_->Checkouts().layerTimes.size();
        EffectHost::CommandResult result = host_->RenderFrame(frame, output);
        const std::vector<A_long> times = host_->Checkouts().layerTimes;
        checkedOut_.clear();
        for (std::size_t i = before; i < times.size(); ++i)
        {
            checkedOut_.push_back(times[i] / host_->Time().timeStep);
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
        std::vector<A_long> frames;
        for (A_long f = first; f <= last; ++f)
        {
            frames.push_back(f);
        }
        return frames;
    }

    std::unique_ptr<EffectHost::Host> host_;
    std::shared_ptr<TestLayer> layer_;
    std::vector<A_long> checkedOut_; // frames checked out by the last Render
};

} // namespace RendererTests
