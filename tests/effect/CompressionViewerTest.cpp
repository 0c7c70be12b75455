#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <gmock/gmock.h>

#include "tests/effect/EffectFixture.h"

using EffectHost::MessageKind;
using testing::MatchesRegex;

// ---------------------------------------------------------------- identity

using EffectIdentity = EffectTest;

// The host checks the property list against what global setup announces and
// warns of any difference; About gives the title, the version and one
// sentence on a line of its own.
TEST_F(EffectIdentity, PropertyListMatchesGlobalSetupAndAboutShowsTitleVersionAndDescription)
{
    host_->LoadModule(RUZIRAZU_MODULE_PATH);
    const EffectHost::ModuleProperties& properties = host_->Properties();
    EXPECT_EQ(properties.matchName, "ADBE Compression Viewer");
    EXPECT_EQ(properties.specVersion, 13 << 16 | 1);
    const EffectHost::CommandResult setup = host_->GlobalSetup();
    ASSERT_TRUE(setup.Succeeded()) << setup.errorMessage;
    EXPECT_EQ(static_cast<A_long>(setup.outData.my_version), properties.effectVersion);
    EXPECT_EQ(setup.outData.my_version, 0x80000u);
    ASSERT_TRUE(properties.hasGlobalFlags && properties.hasGlobalFlags2);
    EXPECT_EQ(std::pair(setup.outData.out_flags, setup.outData.out_flags2),
              std::pair(properties.globalFlags, properties.globalFlags2));
    EXPECT_TRUE(host_->MessagesOf(MessageKind::Warning).empty());

    const EffectHost::CommandResult about = host_->About();
    ASSERT_EQ(about.error, PF_Err_NONE);
    EXPECT_THAT(about.returnMessage, MatchesRegex("Ruzirazu v1\\.0\r[^\r]*H\\.264[^\r]*\\.\r"));
    EXPECT_EQ(about.outData.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    EXPECT_EQ(host_->MessagesOf(MessageKind::About), std::vector<std::string>{about.returnMessage});
}

// -------------------------------------------------------------- controls

using EffectControls = EffectTest;

TEST_F(EffectControls, PublishedIdsStayAndRangesRefuseValuesOutsideThem)
{
    Applied();
    ASSERT_EQ(host_->ParameterCount(), ParamCount);
    // Projects find their values by these ids; changing one loses user data.
    const struct
    {
        int position;
        A_long hostId;
        const char* name;
    } published[] = {
        {ParamAbout, 17, "About"},
        {ParamSegmentLength, 11, "Segment Length"},
        {ParamPresets, 10, "Presets"},
        {ParamMode, 8, "Mode"},
        {ParamTargetBitrate, 1, "Target Bitrate (Kbps)"},
        {ParamRateFactor, 9, "Rate Factor (0 = Max Quality)"},
        {ParamKeyFrameInterval, 12, "Key Frame Every N Frames"},
        {ParamUseBFrames, 13, "Frame Reordering (Use B-Frames)"},
        {ParamInformation, 7, "Information"},
    };
    for (const auto& row : published)
    {
        EXPECT_EQ(host_->PositionOfHostId(row.hostId), row.position) << row.name;
        EXPECT_EQ(host_->PositionOfName(row.name), row.position) << row.name;
    }

    EXPECT_FALSE(host_->ChangeParameter(ParamTargetBitrate, 499).accepted);
    EXPECT_TRUE(host_->ChangeParameter(ParamTargetBitrate, 50000).accepted);
    EXPECT_FALSE(host_->ChangeParameter(ParamRateFactor, 52).accepted);
    EXPECT_TRUE(host_->ChangeParameter(ParamSegmentLength, 0).accepted);
    EXPECT_FALSE(host_->ChangeParameter(ParamKeyFrameInterval, 0).accepted);
}

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
