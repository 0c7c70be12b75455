// The encoder settings that only show in the frames x264 made: the picture
// type of each stored record. The effect is linked into this test (the same
// sources as the module) so that its renderer's records can be read.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <x264.h>

#include "effect/CompressionViewer.h"
#include "framework/Plugin.h"
#include "host/Host.h"
#include "tests/renderer/RendererFixture.h"

using namespace RendererTests;

namespace
{

struct TypeCounts
{
    int keyFrames = 0; // IDR, I or Key
    int bFrames = 0;   // B or BRef
    int stored = 0;
};

class PictureTypeTest : public RendererTest
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
    }

    static const Renderer* CurrentRenderer()
    {
        auto* effect = dynamic_cast<CompressionViewer*>(GetPluginInstance());
        return effect != nullptr ? effect->GetRenderer() : nullptr;
    }

    // Renders frame 0 and counts the picture types of its segment.
    TypeCounts EncodeFirstSegment()
    {
        RenderOk(0, 64, 48);
        TypeCounts counts;
        const Renderer* renderer = CurrentRenderer();
        EXPECT_NE(renderer, nullptr);
        if (renderer == nullptr)
        {
            return counts;
        }
        for (std::int32_t i = 0; i < renderer->GetRecordCount(); ++i)
        {
            const FrameRecord* record = renderer->GetFrameRecord(i);
            counts.stored += record->stored ? 1 : 0;
            counts.keyFrames += IS_X264_TYPE_I(record->pictureType) ? 1 : 0;
            counts.bFrames += IS_X264_TYPE_B(record->pictureType) ? 1 : 0;
        }
        return counts;
    }
};

TEST_F(PictureTypeTest, YouTubePresetsUseBFramesEvenWhenTheBoxIsOff)
{
    for (const char* preset : {"YouTube (Standard Quality)", "YouTube (High Quality)"})
    {
        SCOPED_TRACE(preset);
        StartLinked(15);
        SetMode("Average Bitrate");
        Set(ParamUseBFrames, 0);
        SetPopup(ParamPresets, preset);
        const TypeCounts counts = EncodeFirstSegment();
        EXPECT_EQ(counts.stored, 15);
        EXPECT_GT(counts.bFrames, 0);
    }
}

TEST_F(PictureTypeTest, ManualAndVimeoUseNoBFramesWhenTheBoxIsOff)
{
    for (const char* preset : {"None (Manual)", "Vimeo"})
    {
        SCOPED_TRACE(preset);
        StartLinked(15);
        SetMode("Average Bitrate");
        Set(ParamUseBFrames, 0);
        SetPopup(ParamPresets, preset);
        const TypeCounts counts = EncodeFirstSegment();
        EXPECT_EQ(counts.stored, 15);
        EXPECT_EQ(counts.bFrames, 0);
    }
    // With the box on, the library's default B-frames appear.
    StartLinked(15);
    SetMode("Constant Rate Factor");
    EXPECT_GT(EncodeFirstSegment().bFrames, 0);
}

TEST_F(PictureTypeTest, AKeyFrameIntervalOfZeroKeepsTheLibraryDefault)
{
    StartLinked(40);
    SetMode("Constant Rate Factor");
    Set(ParamSegmentLength, 40);
    Set(ParamKeyFrameInterval, 10);
    EXPECT_GE(EncodeFirstSegment().keyFrames, 4);

    // The slider cannot go below 1, but a project saved by an older version
    // can hold 0: the host hands the effect whatever the project says.
    StartLinked(40);
    SetMode("Constant Rate Factor");
    Set(ParamSegmentLength, 40);
    const_cast<PF_ParamDef&>(host_->Parameter(ParamKeyFrameInterval)).u.fs_d.value = 0;
    const TypeCounts counts = EncodeFirstSegment();
    EXPECT_EQ(counts.stored, 40);
    EXPECT_EQ(counts.keyFrames, 1);
}

} // namespace
