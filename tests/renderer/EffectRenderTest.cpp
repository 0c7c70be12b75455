// The effect's side of rendering, looked at from inside: the renderer it
// keeps, the statistics the Information panel reads, and its error texts.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "effect/CompressionViewer.h"
#include "framework/Plugin.h"
#include "host/Host.h"
#include "tests/renderer/RendererFixture.h"

using namespace RendererTests;

namespace
{

class EffectRenderTest : public RendererTest
{
  protected:
    void TearDown() override
    {
        if (host_)
        {
            host_->Unload();
        }
        EXPECT_EQ(GetPluginInstance(), nullptr);
    }

    void StartLinked(A_long frames)
    {
        host_.reset();
        host_ = std::make_unique<EffectHost::Host>();
        host_->UseEntryPoint(&EntryPointFunc, nullptr, RUZIRAZU_MODULE_PATH);
        ASSERT_TRUE(host_->GlobalSetup().Succeeded());
        ASSERT_TRUE(host_->ParamsSetup().Succeeded());
        layer_ = std::make_shared<TestLayer>(64, 48, PaintPattern);
        host_->SetLayerSource(layer_);
        host_->SetTime({TimeScale, TimeStep, frames * TimeStep, 0});
        SetMode("Constant Rate Factor");
    }

    static CompressionViewer& Effect()
    {
        auto* effect = dynamic_cast<CompressionViewer*>(GetPluginInstance());
        if (effect == nullptr)
        {
            throw std::logic_error("no effect instance");
        }
        return *effect;
    }
};

TEST_F(EffectRenderTest, TheRendererLivesUntilSettingsChangeOrTheOutputGrows)
{
    StartLinked(40);
    EXPECT_EQ(Effect().GetRenderer(), nullptr);
    RenderOk(3, 65, 49);
    const Renderer* first = Effect().GetRenderer();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->GetWidth(), 64);
    EXPECT_EQ(first->GetHeight(), 48);
    EXPECT_EQ(first->GetSettings().segmentLength, 15);
    EXPECT_FALSE(first->GetSettings().averageBitrate);

    RenderOk(3, 40, 30);
    EXPECT_EQ(Effect().GetRenderer(), first);

    Set(ParamRateFactor, 30);
    EXPECT_EQ(Effect().GetRenderer(), nullptr);
    RenderOk(3, 64, 48);
    ASSERT_NE(Effect().GetRenderer(), nullptr);
    EXPECT_EQ(Effect().GetRenderer()->GetSettings().rateFactor, 30);
}

TEST_F(EffectRenderTest, TheStatisticsCoverEveryRecordAndTheBitrateTheStoredOnes)
{
    StartLinked(40);
    const std::uint64_t before = host_->Handles().bytesOutstanding;
    RenderOk(3, 64, 48);
    RenderOk(20, 64, 48);
    const Renderer& renderer = *Effect().GetRenderer();
    ASSERT_EQ(renderer.GetRecordCount(), 30);
    EXPECT_EQ(renderer.GetFrameRecord(30), nullptr);
    EXPECT_EQ(renderer.GetFrameRecord(-1), nullptr);

    // The memory is what the host lent for the deflated frames.
    EXPECT_EQ(renderer.GetMemoryUsage(), host_->Handles().bytesOutstanding - before);
    std::uint64_t encoded = 0;
    for (std::int32_t i = 0; i < 30; ++i)
    {
        const FrameRecord& record = *renderer.GetFrameRecord(i);
        EXPECT_TRUE(record.stored) << i;
        EXPECT_EQ(record.time, i * TimeStep);
        EXPECT_EQ(record.width, 64);
        encoded += record.encodedSize;
    }
    EXPECT_EQ(renderer.GetTotalEncodedSize(), encoded);
    // 30 frames last 1001 ms.
    EXPECT_EQ(renderer.GetAverageBitrate(), encoded * 8 / 1001);

    // A changed input makes the second segment encode again; the user
    // cancels it early. Its records are cleared, the first segment's stay,
    // and only stored frames count for the bitrate.
    std::uint64_t firstSegment = 0;
    for (std::int32_t i = 0; i < 15; ++i)
    {
        firstSegment += renderer.GetFrameRecord(i)->encodedSize;
    }
    layer_->painter = [](A_long frame, World& into) { PaintPattern(frame + 1, into); };
    host_->SetProgressSink([this](A_long current, A_long) { host_->RaiseAbort(current >= 2); });
    World output(64, 48);
    EXPECT_EQ(Render(20, output).error, PF_Interrupt_CANCEL);
    host_->RaiseAbort(false);
    const Renderer& cancelled = *Effect().GetRenderer();
    int stored = 0;
    std::uint64_t storedBytes = 0;
    for (std::int32_t i = 0; i < cancelled.GetRecordCount(); ++i)
    {
        const FrameRecord& record = *cancelled.GetFrameRecord(i);
        stored += record.stored ? 1 : 0;
        storedBytes += record.stored ? record.encodedSize : 0;
    }
    EXPECT_GE(stored, 15);
    EXPECT_LT(stored, 30);
    EXPECT_GE(storedBytes, firstSegment);
    EXPECT_EQ(cancelled.GetAverageBitrate(),
              ComputeBitrateKbps(storedBytes, stored * TimeStep, TimeScale));
}

TEST_F(EffectRenderTest, TheEffectNamesItsOwnErrorsAndLeavesTheRestToTheFramework)
{
    StartLinked(40);
    CompressionViewer& effect = Effect();
    EXPECT_STREQ(effect.GetErrorMessage(ErrorConvertArgbToYuv), "Convert ARGB->YUV failed");
    EXPECT_STREQ(effect.GetErrorMessage(ErrorConvertYuvToArgb), "Convert YUV->ARGB failed");
    EXPECT_STREQ(effect.GetErrorMessage(ErrorVideoEncoding), "Video encoding failed");
    EXPECT_STREQ(effect.GetErrorMessage(ErrorZlibCompression), "Zlib compression failed");
    EXPECT_STREQ(effect.GetErrorMessage(ErrorZlibExtraction), "Zlib extraction failed");
    EXPECT_STREQ(effect.GetErrorMessage(ErrorInitFailed), "Init failed");
}

} // namespace
