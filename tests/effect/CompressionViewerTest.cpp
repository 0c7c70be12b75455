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
