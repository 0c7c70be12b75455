#include <stdexcept>
#include <string>
#include <vector>

#include "tests/effect/EffectFixture.h"

namespace
{

const char* const Manual = "None (Manual)";
const char* const YouTube = "YouTube (Standard Quality)";
const char* const YouTubeHigh = "YouTube (High Quality)";
const char* const Vimeo = "Vimeo";
const char* const AverageBitrate = "Average Bitrate";
const char* const ConstantRateFactor = "Constant Rate Factor";

struct PresetCase
{
    const char* preset;
    A_long layerHeight;
    double bitrate;
};

std::ostream& operator<<(std::ostream& out, const PresetCase& c)
{
    return out << c.preset << " at " << c.layerHeight << " -> " << c.bitrate;
}

} // namespace

// ------------------------------------------------------- preset bitrates

class PresetBitrateChoice : public EffectTest, public ::testing::WithParamInterface<PresetCase>
{
};

TEST_P(PresetBitrateChoice, ChoosingThePresetSetsTheBitrateForTheLayerHeightInAverageBitrateMode)
{
    const PresetCase& c = GetParam();
    Applied(1280, c.layerHeight);
    Choose(ParamMode, ConstantRateFactor);

    Choose(ParamPresets, c.preset);

    EXPECT_EQ(SliderValue(ParamTargetBitrate), c.bitrate);
    EXPECT_EQ(PopupValue(ParamMode), 1);
    EXPECT_EQ(host_->ValueText(ParamMode), AverageBitrate);
}

// Each table is searched for the first row at least as high as the layer;
// a layer taller than every row takes the last row.
INSTANTIATE_TEST_SUITE_P(
    RowBoundaries, PresetBitrateChoice,
    ::testing::Values(PresetCase{YouTube, 360, 1000}, PresetCase{YouTube, 361, 2500},
                      PresetCase{YouTube, 2160, 40000}, PresetCase{YouTube, 4320, 40000},
                      PresetCase{YouTubeHigh, 720, 30000}, PresetCase{YouTubeHigh, 721, 50000},
                      PresetCase{Vimeo, 480, 3000}, PresetCase{Vimeo, 481, 8000}));

using ReducedResolutionPreset = EffectTest;

// At half, third and quarter resolution the host lends a downsampled layer;
// the preset still chooses for the layer's own 1080 rows.
TEST_F(ReducedResolutionPreset, ChoosesForTheFullResolutionHeight)
{
    Applied(1920, 1080);
    for (const int downsample : {2, 3, 4})
    {
        host_->SetDownsample(downsample);
        Choose(ParamPresets, Manual);
        Choose(ParamPresets, YouTube);
        EXPECT_EQ(SliderValue(ParamTargetBitrate), 8000) << "downsample " << downsample;
    }
}

using ManualPreset = EffectTest;

TEST_F(ManualPreset, ChoosingManualChangesNoValue)
{
    Applied(1920, 1080);
    Choose(ParamPresets, YouTube);
    ASSERT_EQ(SliderValue(ParamTargetBitrate), 8000);
    Choose(ParamPresets, Manual);
    EXPECT_EQ(SliderValue(ParamTargetBitrate), 8000);

    Set(ParamTargetBitrate, 1234);
    Choose(ParamMode, ConstantRateFactor);
    Choose(ParamPresets, Manual);

    EXPECT_EQ(SliderValue(ParamTargetBitrate), 1234);
    EXPECT_EQ(host_->ValueText(ParamMode), ConstantRateFactor);
}

TEST(PresetTables, EmptyTableIsRefused)
{
    EXPECT_EQ(GetPresetTable(PresetManual).count, 0);
    EXPECT_THROW(FindPresetBitrate(GetPresetTable(PresetManual), 1080), std::invalid_argument);
}

// ------------------------------------------------------- enabled states

namespace
{

struct EnabledCase
{
    const char* preset;
    const char* mode; // chosen before the preset
    // Mode, Target Bitrate, Rate Factor, Key Frame Every N Frames, Frame Reordering
    bool mode_, bitrate, rateFactor, keyFrames, bFrames;
};

std::ostream& operator<<(std::ostream& out, const EnabledCase& c)
{
    return out << c.preset << " / " << c.mode;
}

} // namespace

class EnabledStates : public EffectTest, public ::testing::WithParamInterface<EnabledCase>
{
};

TEST_P(EnabledStates, DependentControlsFollowPresetAndMode)
{
    const EnabledCase& c = GetParam();
    Applied();
    Choose(ParamMode, c.mode);
    Choose(ParamPresets, c.preset);

    EXPECT_EQ(host_->IsEnabled(ParamMode), c.mode_);
    EXPECT_EQ(host_->IsEnabled(ParamTargetBitrate), c.bitrate);
    EXPECT_EQ(host_->IsEnabled(ParamRateFactor), c.rateFactor);
    EXPECT_EQ(host_->IsEnabled(ParamKeyFrameInterval), c.keyFrames);
    EXPECT_EQ(host_->IsEnabled(ParamUseBFrames), c.bFrames);
    for (int always : {ParamAbout, ParamSegmentLength, ParamPresets, ParamInformation})
    {
        EXPECT_TRUE(host_->IsEnabled(always)) << always;
    }
}

INSTANTIATE_TEST_SUITE_P(
    PresetsAndModes, EnabledStates,
    ::testing::Values(EnabledCase{Manual, AverageBitrate, true, true, false, true, true},
                      EnabledCase{Manual, ConstantRateFactor, true, false, true, false, false},
                      EnabledCase{YouTube, ConstantRateFactor, false, false, false, false, false},
                      EnabledCase{YouTubeHigh, AverageBitrate, false, false, false, false, false},
                      EnabledCase{Vimeo, ConstantRateFactor, false, false, false, false, false}));

using DisabledControls = EffectTest;

TEST_F(DisabledControls, KeepTheirValues)
{
    Applied();
    Set(ParamTargetBitrate, 2222);
    Set(ParamKeyFrameInterval, 48);
    Set(ParamUseBFrames, 0);

    Choose(ParamMode, ConstantRateFactor);

    ASSERT_FALSE(host_->IsEnabled(ParamTargetBitrate));
    EXPECT_EQ(SliderValue(ParamTargetBitrate), 2222);
    EXPECT_EQ(SliderValue(ParamKeyFrameInterval), 48);
    EXPECT_EQ(host_->ValueText(ParamUseBFrames), "off");
}
