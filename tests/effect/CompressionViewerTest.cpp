#include <algorithm>
#include <string>
#include <vector>

#include "tests/effect/EffectFixture.h"

using EffectHost::MessageKind;

// ---------------------------------------------------------------- identity

using EffectIdentity = EffectTest;

TEST_F(EffectIdentity, AboutShowsTitleVersionAndOneSentenceOfDescription)
{
    host_->LoadModule(RUZIRAZU_MODULE_PATH);
    ASSERT_TRUE(host_->GlobalSetup().Succeeded());

    const EffectHost::CommandResult about = host_->About();

    ASSERT_EQ(about.error, PF_Err_NONE);
    const std::string& text = about.returnMessage;
    EXPECT_EQ(text.rfind("Ruzirazu v1.0\r", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), 2) << text;
    EXPECT_EQ(text.back(), '\r');
    const std::string description = text.substr(14, text.size() - 15);
    EXPECT_NE(description.find("H.264"), std::string::npos) << description;
    EXPECT_EQ(description.back(), '.');
    EXPECT_EQ(about.outData.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    EXPECT_EQ(host_->MessagesOf(MessageKind::About), std::vector<std::string>{text});
}

TEST_F(EffectIdentity, PropertyListMatchesWhatGlobalSetupAnnounces)
{
    host_->LoadModule(RUZIRAZU_MODULE_PATH);
    const EffectHost::ModuleProperties& properties = host_->Properties();
    EXPECT_EQ(properties.name, "Ruzirazu");
    EXPECT_EQ(properties.matchName, "ADBE Compression Viewer");
    EXPECT_EQ(properties.specVersion, 13 << 16 | 1);

    const EffectHost::CommandResult setup = host_->GlobalSetup();

    ASSERT_TRUE(setup.Succeeded()) << setup.errorMessage;
    EXPECT_EQ(static_cast<A_long>(setup.outData.my_version), properties.effectVersion);
    EXPECT_EQ(setup.outData.my_version, 0x80000u);
    ASSERT_TRUE(properties.hasGlobalFlags && properties.hasGlobalFlags2);
    EXPECT_EQ(setup.outData.out_flags, properties.globalFlags);
    EXPECT_EQ(setup.outData.out_flags2, properties.globalFlags2);
    EXPECT_TRUE(host_->MessagesOf(MessageKind::Warning).empty());
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
