// The effect's side of rendering, looked at from inside: the renderer it
// keeps, the statistics the Information panel reads, and the picture types
// its settings give.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include <x264.h>

#include "effect/CompressionViewer.h"
#include "framework/Plugin.h"
#include "tests/renderer/RendererFixture.h"

using namespace RendererTests;
using testing::ElementsAreArray;

namespace
{

class EffectRenderTest : public RendererTest
{
  protected:
    void TearDown() override
    {
        RendererTest::TearDown();
        EXPECT_EQ(GetPluginInstance(), nullptr);
    }

    static const Renderer* TheRenderer()
    {
        auto* effect = dynamic_cast<CompressionViewer*>(GetPluginInstance());
        return effect != nullptr ? effect->GetRenderer() : nullptr;
    }

    // Renders frame 0 and counts what the renderer holds: the stored frames,
    // the key frames (IDR, I or Key) and the B-frames (B or BRef).
    std::tuple<int, int, int> EncodeFirstSegment()
    {
        RenderOk(0, 64, 48);
        int stored = 0, keyFrames = 0, bFrames = 0;
        const Renderer* renderer = TheRenderer();
        for (std::int32_t i = 0; renderer != nullptr && i < renderer->GetRecordCount(); ++i)
        {
            const FrameRecord* record = renderer->GetFrameRecord(i);
            stored += record->stored ? 1 : 0;
            keyFrames += IS_X264_TYPE_I(record->pictureType) ? 1 : 0;
            bFrames += IS_X264_TYPE_B(record->pictureType) ? 1 : 0;
        }
        return {stored, keyFrames, bFrames};
    }
};

TEST_F(EffectRenderTest, TheRendererIsKeptForSmallerOutputsAndReplacedAndItsStatisticsAdd)
{
    Start(40, &EntryPointFunc);
    const std::uint64_t before = host_->Handles().bytesOutstanding;
    EXPECT_EQ(TheRenderer(), nullptr);
    RenderOk(3, 32, 24);
    RenderOk(3, 65, 49);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
    const Renderer* first = TheRenderer();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::tuple(first->GetWidth(), first->GetHeight(), first->GetSettings().segmentLength,
                         first->GetSettings().averageBitrate),
              std::tuple(64, 48, 15, false));
    RenderOk(3, 40, 30);
    EXPECT_EQ(TheRenderer(), first);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));

    // An output too small to encode (transparent black, as the command's
    // preview checks) fetches not a parameter, and the renderer still holds
    // its frames.
    const int checkouts = host_->Checkouts().total;
    World narrow(15, 1080);
    const EffectHost::CommandResult result = Render(3, narrow);
    EXPECT_TRUE(result.Succeeded()) << result.errorMessage;
    EXPECT_EQ(host_->Checkouts().total, checkouts);
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));

    host_->SetTime({TimeScale, 1000, 40 * 1000, 0});
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
    host_->SetTime({TimeScale, 1000, 41 * 1000, 0});
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray({3}));

    // Changed and changed back: the settings are the same as before, but
    // the user changed something.
    Set(ParamSegmentLength, 16);
    Set(ParamSegmentLength, 15);
    RenderOk(3, 64, 48);
    EXPECT_THAT(checkedOut_, ElementsAreArray(Frames(0, 14)));
    Set(ParamRateFactor, 30);
    EXPECT_EQ(TheRenderer(), nullptr);
    RenderOk(3, 64, 48);
    ASSERT_NE(TheRenderer(), nullptr);
    EXPECT_EQ(TheRenderer()->GetSettings().rateFactor, 30);

    // The statistics cover every record and the bitrate the stored ones, at
    // the time step of 1000 set above.
    RenderOk(20, 64, 48);
    const Renderer& renderer = *TheRenderer();
    ASSERT_EQ(renderer.GetRecordCount(), 30);
    EXPECT_EQ(renderer.GetFrameRecord(30), nullptr);
    EXPECT_EQ(renderer.GetFrameRecord(-1), nullptr);

    // The memory is what the host lent for the deflated frames.
    EXPECT_EQ(renderer.GetMemoryUsage(), host_->Handles().bytesOutstanding - before);
    std::uint64_t encoded = 0;
    std::uint64_t firstSegment = 0;
    for (std::int32_t i = 0; i < 30; ++i)
    {
        const FrameRecord& record = *renderer.GetFrameRecord(i);
        EXPECT_TRUE(record.stored) << i;
        EXPECT_EQ(record.time, i * 1000);
        EXPECT_EQ(record.width, 64);
        encoded += record.encodedSize;
        firstSegment += i < 15 ? record.encodedSize : 0;
    }
    EXPECT_EQ(renderer.GetTotalEncodedSize(), encoded);
    // 30 frames of 1000 / 30000 s last 1000 ms.
    EXPECT_EQ(renderer.GetAverageBitrate(), encoded * 8 / 1000);

    // A changed input makes the second segment encode again; the user
    // cancels it early. Its records are cleared, the first segment's stay,
    // and only stored frames count for the bitrate.
    host_->SetLayerSource(
        std::make_shared<EffectHost::SolidLayerSource>(64, 48, PF_Pixel{255, 9, 99, 199}));
    host_->SetProgressSink([this](A_long current, A_long) { host_->RaiseAbort(current >= 2); });
    World output(64, 48);
    EXPECT_EQ(Render(20, output).error, PF_Interrupt_CANCEL);
    host_->RaiseAbort(false);
    const Renderer& cancelled = *TheRenderer();
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
              ComputeBitrateKbps(storedBytes, stored * 1000, TimeScale));
}

TEST_F(EffectRenderTest, PresetsAndTheBoxDecideTheBFrames)
{
    // YouTube asks for two B-frames whatever the box says; Manual and Vimeo
    // follow the box.
    for (const auto& [preset, expectBFrames] :
         {std::pair<const char*, bool>{"YouTube (Standard Quality)", true},
          {"None (Manual)", false},
          {"Vimeo", false}})
    {
        SCOPED_TRACE(preset);
        Start(15, &EntryPointFunc);
        Choose(ParamMode, "Average Bitrate");
        Set(ParamUseBFrames, 0);
        Choose(ParamPresets, preset);
        const auto [stored, keyFrames, bFrames] = EncodeFirstSegment();
        EXPECT_EQ(stored, 15);
        EXPECT_EQ(bFrames > 0, expectBFrames);
    }
    // With the box on, the library's default B-frames appear.
    Start(15, &EntryPointFunc);
    EXPECT_GT(std::get<2>(EncodeFirstSegment()), 0);
}

TEST_F(EffectRenderTest, AKeyFrameIntervalOfZeroKeepsTheLibraryDefault)
{
    // A still picture, where x264 finds no scene cut of its own.
    for (const int interval : {10, 0})
    {
        Start(40, &EntryPointFunc);
        host_->SetLayerSource(
            std::make_shared<EffectHost::SolidLayerSource>(64, 48, PF_Pixel{255, 9, 99, 199}));
        Set(ParamSegmentLength, 40);
        // The slider cannot go below 1, but a project saved by an older
        // version can hold 0: the host hands the effect what the project says.
        const_cast<PF_ParamDef&>(host_->Parameter(ParamKeyFrameInterval)).u.fs_d.value = interval;
        const auto [stored, keyFrames, bFrames] = EncodeFirstSegment();
        EXPECT_EQ(stored, 40);
        EXPECT_EQ(keyFrames, interval == 0 ? 1 : 4);
    }
}

} // namespace
