#include <gtest/gtest.h>

#include <cstring>

#include "tests/host/TestEffect.h"

using namespace EffectHost;
using namespace HostTest;

using HostParameters = HostWithTestEffect;

TEST_F(HostParameters, ControlsFollowTheInputLayerAndApplyingAgainStartsOver)
{
    PF_Err misplaced = PF_Err_NONE;
    Effect().handler = [&](PF_Cmd command, PF_InData* in, auto...) -> PF_Err
    {
        if (command != PF_Cmd_PARAMS_SETUP)
        {
            return PF_Err_NONE;
        }
        PF_ParamDef def{};
        def.param_type = PF_Param_CHECKBOX;
        std::strcpy(def.name, "Quiet"); // not supervised
        misplaced = in->inter.add_param(in->effect_ref, 5, &def);
        return in->inter.add_param(in->effect_ref, -1, &def);
    };
    host_->ParamsSetup();
    EXPECT_EQ(misplaced, PF_Err_INVALID_INDEX);
    EXPECT_EQ(host_->ParameterCount(), 2);
    // An unsupervised control changes silently.
    const std::size_t before = Effect().commands.size();
    const ChangeResult quiet = host_->ChangeParameter(1, 1);
    EXPECT_TRUE(quiet.accepted);
    EXPECT_FALSE(quiet.sent);
    EXPECT_EQ(Effect().commands.size(), before);
    EXPECT_EQ(host_->ValueText(1), "on");

    ApplyThreeControls();
    ApplyThreeControls();
    ASSERT_EQ(host_->ParameterCount(), 4);
    EXPECT_EQ(host_->PositionOfName("Speed"), 2);
    EXPECT_EQ(host_->PopupItems(2), (std::vector<std::string>{"Fast", "Balanced", "Careful"}));
    EXPECT_EQ(host_->ValueText(2), "Fast");
}

TEST_F(HostParameters, ChangesWithinTheRangeReachTheEffectAndOnlyMarkedValuesComeBack)
{
    ApplyThreeControls();
    PF_ParamIndex changed = -1;
    double valueSeen = 0;
    Effect().handler = [&](PF_Cmd command, PF_InData*, PF_OutData*, PF_ParamDef* params[],
                           PF_LayerDef*, void* extra) -> PF_Err
    {
        if (command != PF_Cmd_USER_CHANGED_PARAM)
        {
            return PF_Err_NONE;
        }
        changed = static_cast<PF_UserChangedParamExtra*>(extra)->param_index;
        valueSeen = params[1]->u.fs_d.value;
        if (changed == 2)
        {
            // Marked: the host must keep it.
            params[1]->u.fs_d.value = 8000;
            params[1]->uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
            // Not marked: a scratch write the host must ignore.
            params[3]->u.bd.value = 0;
        }
        return PF_Err_NONE;
    };
    const ChangeResult change = host_->ChangeParameter(1, 7000);
    EXPECT_TRUE(change.accepted);
    EXPECT_TRUE(change.sent);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(valueSeen, 7000);
    EXPECT_EQ(host_->ValueText(1), "7000");

    const std::size_t before = Effect().commands.size();
    const ChangeResult high = host_->ChangeParameter(1, 50001);
    EXPECT_FALSE(high.accepted);
    EXPECT_FALSE(high.sent);
    EXPECT_NE(high.refusal.find("Bitrate"), std::string::npos) << high.refusal;
    EXPECT_NE(high.refusal.find("500 and 50000"), std::string::npos) << high.refusal;
    const ChangeResult fourthItem = host_->ChangeParameter(2, 4);
    EXPECT_FALSE(fourthItem.accepted);
    EXPECT_NE(fourthItem.refusal.find("1 to 3"), std::string::npos) << fourthItem.refusal;
    for (const auto& [index, value] : {std::pair{2, 0.0}, {2, 1.5}, {3, 2.0}, {0, 1.0}, {4, 1.0}})
    {
        EXPECT_FALSE(host_->ChangeParameter(index, value).accepted) << index << " " << value;
    }
    EXPECT_FALSE(host_->ChangePopup(2, "Reckless").accepted);
    EXPECT_EQ(Effect().commands.size(), before);
    EXPECT_EQ(host_->ValueText(1), "7000");
    EXPECT_EQ(host_->ValueText(2), "Fast");

    // The bounds themselves are accepted.
    EXPECT_TRUE(host_->ChangeParameter(1, 500).accepted);
    EXPECT_TRUE(host_->ChangeParameter(2, 3).accepted);
    EXPECT_TRUE(host_->ChangePopup(2, "Balanced").accepted);
    EXPECT_EQ(host_->Parameter(2).u.pd.value, 2);
    EXPECT_EQ(host_->ValueText(1), "8000");
    EXPECT_EQ(host_->ValueText(3), "on");
    // The id in the host's store survives the change flags of the copy.
    EXPECT_EQ(host_->Parameter(1).uu.id, 1);
}

TEST_F(HostParameters, BadCheckoutsAreRefusedAndOneLeftOpenIsReported)
{
    ApplyThreeControls();
    host_->ChangeParameter(1, 7000);
    PF_Err pastEnd = 0, negative = 0, zeroStep = 0, unknownCheckin = 0, doubleCheckin = 0;
    PF_ParamDef kept{};
    Effect().handler = [&](PF_Cmd, PF_InData* in, auto...) -> PF_Err
    {
        PF_ParamDef def{};
        pastEnd =
            in->inter.checkout_param(in->effect_ref, 4, 0, in->time_step, in->time_scale, &def);
        negative =
            in->inter.checkout_param(in->effect_ref, -1, 0, in->time_step, in->time_scale, &def);
        zeroStep = in->inter.checkout_param(in->effect_ref, 0, 0, 0, in->time_scale, &def);
        PF_ParamDef never{};
        unknownCheckin = in->inter.checkin_param(in->effect_ref, &never);
        in->inter.checkout_param(in->effect_ref, 0, 0, in->time_step, in->time_scale, &def);
        in->inter.checkin_param(in->effect_ref, &def);
        doubleCheckin = in->inter.checkin_param(in->effect_ref, &def);
        // A control's checkout is a copy of its def at that time.
        in->inter.checkout_param(in->effect_ref, 1, 0, in->time_step, in->time_scale, &kept);
        return PF_Err_NONE;
    };
    host_->SequenceSetup();
    EXPECT_EQ(pastEnd, PF_Err_INVALID_INDEX);
    EXPECT_EQ(negative, PF_Err_INVALID_INDEX);
    EXPECT_EQ(zeroStep, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(unknownCheckin, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(doubleCheckin, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host_->Checkouts().outstanding, 1);
    EXPECT_STREQ(kept.name, "Bitrate");
    EXPECT_EQ(kept.u.fs_d.value, 7000);
    EXPECT_EQ(host_->MessagesOf(MessageKind::Defect),
              (std::vector<std::string>{
                  "checkin_param of a parameter that is not checked out",
                  "checkin_param of a parameter that is not checked out",
                  "1 parameter checkout(s) outstanding at the end of PF_Cmd_SEQUENCE_SETUP"}));
}
