#include <stdexcept>
#include <string>
#include <vector>

#include "tests/effect/EffectFixture.h"

// ------------------------------------------------------- preset bitrates

using PresetBitrates = EffectTest;

// A table gives the first row at least as high as the layer; a layer taller
// than every row takes the last row. Choosing a preset also picks Average
// Bitrate mode.
TEST_F(PresetBitrates, IsThePresetsRowForTheLayerHeightInAverageBitrateMode)
{
    for (const auto& [height, bitrate] : {std::pair{360, 1000}, {361, 2500}, {4320, 40000}})
    {
        Applied(1280, height);
        Choose(ParamMode, "Constant Rate Factor");
        Choose(ParamPresets, "YouTube (Standard Quality)");
        EXPECT_EQ(SliderValue(ParamTargetBitrate), bitrate) << height;
        EXPECT_EQ(host_->ValueText(ParamMode), "Average Bitrate");
        host_->Unload();
        host_.reset();
        host_ = std::make_unique<EffectHost::Host>();
    }
}

using ReducedResolutionPreset = EffectTest;

// At half, third and quarter resolution the host lends a downsampled layer;
// the preset still chooses for the layer's own 1080 rows.
TEST_F(ReducedResolutionPreset, ChoosesForTheFullResolutionHeight)
{
    Applied(1920, 1080);
    for (const int downsample : {2, 3, 4})
    {
        host_->SetDownsample(downsample);
        Choose(ParamPresets, "None (Manual)");
        Choose(ParamPresets, "YouTube (Standard Quality)");
        EXPECT_EQ(SliderValue(ParamTargetBitrate), 8000) << "downsample " << downsample;
    }
}

TEST(PresetTables, EmptyTableIsRefused)
{
    EXPECT_EQ(GetPresetTable(PresetManual).count, 0);
    EXPECT_THROW(FindPresetBitrate(GetPresetTable(PresetManual), 1080), std::invalid_argument);
}

// ------------------------------------------------------- enabled states

using EnabledStates = EffectTest;

// Mode, Target Bitrate, Rate Factor, Key Frame Every N Frames and Frame
// Reordering follow preset and mode; the other controls are always enabled.
TEST_F(EnabledStates, DependentControlsFollowPresetAndMode)
{
    Applied();
    const auto expectEnabled = [&](const char* when, std::vector<bool> expected)
    {
        std::vector<bool> enabled;
        for (int position : {ParamMode, ParamTargetBitrate, ParamRateFactor, ParamKeyFrameInterval,
                             ParamUseBFrames})
        {
            enabled.push_back(host_->IsEnabled(position));
        }
        EXPECT_EQ(enabled, expected) << when;
        for (int always : {ParamAbout, ParamSegmentLength, ParamPresets, ParamInformation})
        {
            EXPECT_TRUE(host_->IsEnabled(always)) << when << ", " << always;
        }
    };
    ASSERT_TRUE(host_->UpdateParamsUi().Succeeded()); // as the host does to show the controls
    expectEnabled("Manual, Average Bitrate", {true, true, false, true, true});
    Choose(ParamMode, "Constant Rate Factor");
    expectEnabled("Manual, Constant Rate Factor", {true, false, true, false, false});
    Choose(ParamPresets, "Vimeo");
    expectEnabled("Vimeo", {false, false, false, false, false});
    Choose(ParamPresets, "YouTube (High Quality)");
    expectEnabled("YouTube (High Quality)", {false, false, false, false, false});
}

// Neither choosing Manual nor disabling a control changes a value.
TEST_F(EnabledStates, ManualAndDisabledControlsKeepTheirValues)
{
    Applied(1920, 1080);
    Choose(ParamPresets, "YouTube (Standard Quality)");
    ASSERT_EQ(SliderValue(ParamTargetBitrate), 8000);
    Choose(ParamPresets, "None (Manual)");
    EXPECT_EQ(SliderValue(ParamTargetBitrate), 8000);

    Set(ParamTargetBitrate, 2222);
    Set(ParamKeyFrameInterval, 48);
    Set(ParamUseBFrames, 0);
    Choose(ParamMode, "Constant Rate Factor");
    Choose(ParamPresets, "None (Manual)");

    ASSERT_FALSE(host_->IsEnabled(ParamTargetBitrate));
    EXPECT_EQ(SliderValue(ParamTargetBitrate), 2222);
    EXPECT_EQ(SliderValue(ParamKeyFrameInterval), 48);
    EXPECT_EQ(host_->ValueText(ParamUseBFrames), "off");
    EXPECT_EQ(host_->ValueText(ParamMode), "Constant Rate Factor");
}
