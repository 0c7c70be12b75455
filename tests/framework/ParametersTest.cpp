#include <limits>
#include <string>
#include <tuple>

#include <gmock/gmock.h>

#include "tests/framework/HostFixture.h"

using EffectHost::Host;
using EffectHost::HostOptions;
using testing::HasSubstr;

namespace
{

constexpr int AmountId = 5;
constexpr int ChoiceId = 6;
constexpr int NotesId = 8;

ParameterDescriptor Popup(std::int32_t position, std::vector<const char*> choices)
{
    ParameterDescriptor row = Row(position, ParameterType_Popup, u"Choice", ChoiceId);
    std::copy(choices.begin(), choices.end(), row.choices);
    return row;
}

// Layer, a slider, a popup, a checkbox and a static area.
void UseMixedTable()
{
    Script().table = {ParameterDescriptor{},
                      Row(1, ParameterType_Number, u"Amount", AmountId, {0, 2.5f, -10, 10}),
                      Popup(2, {"A", "B"}), Row(3, ParameterType_Checkbox, u"Flag", 7, {0, 1}),
                      Row(4, ParameterType_Static, u"Notes", NotesId, {}, 2)};
}

// The code and message of the AdobeException that `action` throws.
template <class Action> std::string Thrown(Action action)
{
    try
    {
        action();
    }
    catch (const AdobeException& exception)
    {
        return std::to_string(exception.GetCode()) + ": " + exception.GetMessage();
    }
    return "nothing thrown";
}

} // namespace

TEST_F(FrameworkTest, ParameterSetupRegistersEachKindAsTheHostExpects)
{
    const std::vector<const char*> letters{"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"};
    Script().table = {ParameterDescriptor{},
                      Row(1, ParameterType_Number, u"Amount", AmountId, {0, 2.5f, -10, 10}),
                      Popup(2, letters),
                      Row(3, ParameterType_Checkbox, u"Flag", 7, {0, 1}),
                      Row(4, ParameterType_Static, u"Notes", NotesId, {}, 2),
                      Row(5, ParameterType_Static, u"None", 1, {}, 0),
                      Row(6, ParameterType_Static, u"Two", 3, {}, 2),
                      Row(7, ParameterType_Number, u"Animated", 4, {0, 1, 0, 2})};
    Script().table[1].flags = ParameterFlag_Collapsed;
    Script().table[6].flags = ParameterFlag_Collapsed;
    Script().table[7].flags = ParameterFlag_Animatable;
    Host& host = StartHost();
    host.GlobalSetup();

    const EffectHost::CommandResult result = host.ParamsSetup();

    ASSERT_EQ(result.errorMessage, "");
    EXPECT_EQ(result.outData.num_params, 8);
    ASSERT_EQ(host.ParameterCount(), 8);

    const PF_ParamDef& amount = host.Parameter(1);
    const PF_ParamDef& choice = host.Parameter(2);
    const PF_ParamDef& flag = host.Parameter(3);
    EXPECT_EQ(std::tuple(amount.param_type, choice.param_type, flag.param_type),
              std::tuple(PF_Param_FLOAT_SLIDER, PF_Param_POPUP, PF_Param_CHECKBOX));
    EXPECT_EQ(host.PositionOfHostId(AmountId), 1);
    EXPECT_EQ(amount.flags, PF_ParamFlag_SUPERVISE | PF_ParamFlag_CANNOT_TIME_VARY |
                                PF_ParamFlag_COLLAPSE_TWIRLY);
    EXPECT_EQ(amount.u.fs_d.dephault, 2.5f);
    // An animatable slider may vary over time.
    EXPECT_EQ(host.Parameter(7).flags, PF_ParamFlag_SUPERVISE);

    EXPECT_EQ(choice.u.pd.num_choices, 10);
    EXPECT_EQ(choice.u.pd.value, 1);
    EXPECT_EQ(host.PopupItems(2), std::vector<std::string>(letters.begin(), letters.end()));

    EXPECT_EQ(flag.u.bd.value, 1);
    EXPECT_EQ(host.ValueText(3), "on");

    // Static areas count at least one line.
    const PF_ParamDef& notes = host.Parameter(4);
    const auto ui = [](const PF_ParamDef& def)
    { return std::tuple(def.ui_width, def.ui_height, def.ui_flags); };
    EXPECT_EQ(ui(notes), std::tuple(150, 30, PF_PUI_CONTROL | PF_PUI_STD_CONTROL_ONLY));
    EXPECT_EQ(notes.flags, 70);
    EXPECT_EQ(host.Parameter(5).ui_height, 15);
    EXPECT_EQ(host.Parameter(6).ui_height, 30);
    EXPECT_EQ(host.Parameter(6).flags, 102);
    ASSERT_NE(host.CustomUi(), nullptr);
    EXPECT_EQ(host.CustomUi()->events, PF_CustomEFlag_EFFECT);

    // Premiere takes a static area as arbitrary data.
    Host& premiere = StartApplied(HostOptions{EffectHost::ApplicationPremiere, 13, 1});
    const PF_ParamDef& arbitrary = premiere.Parameter(4);
    EXPECT_EQ(arbitrary.param_type, PF_Param_ARBITRARY_DATA);
    EXPECT_EQ(ui(arbitrary), std::tuple(300, 30, PF_PUI_CONTROL));
    EXPECT_EQ(arbitrary.u.arb_d.id, NotesId);
}

// A layer row after the input would leave the host one def fewer than the
// table has positions, so every later position would read the wrong def and
// the last one past the end of the host's array.
TEST_F(FrameworkTest, DescriptorAtTheWrongPositionOfAnUnknownTypeOrALayerAfterTheInputFailsSetup)
{
    const std::pair<void (*)(), std::string> broken[] = {
        {[] { Script().table[3].position = 4; },
         "Parameter descriptor index 4 doesn't match its actual position 3"},
        {[] { Script().table[2].type = static_cast<ParameterType>(9); },
         "Unsupported parameter type 9"},
        {[] { Script().table[2].type = ParameterType_Layer; },
         "Parameter descriptor 2 is a layer: only position 0 holds the input layer"}};
    Host& host = StartHost();
    for (const auto& [breakTable, message] : broken)
    {
        UseMixedTable();
        breakTable();
        host.GlobalSetup();
        const EffectHost::CommandResult result = host.ParamsSetup();
        EXPECT_EQ(result.error, PF_Err_NONE);
        EXPECT_NE(result.errorMessage.find("1027 (Init failed)"), std::string::npos);
        EXPECT_NE(result.errorMessage.find(message), std::string::npos) << result.errorMessage;
        EXPECT_EQ(result.outData.num_params, 0);
        EXPECT_EQ(host.Render(output_).error, ErrorInitFailed);
        host.GlobalSetdown();
    }
}

TEST_F(FrameworkTest, ParameterValuesAreSetAndReadAndBadPositionsRefused)
{
    UseMixedTable();
    Host& host = StartApplied();
    const std::string thirty(30, 'd');
    const std::string thirtyOne(31, 'e');
    Script().hooks["UserChanged"] = [&](TestEffect& effect)
    {
        PF_ParamDef* choice = effect.GetParams()[2];
        const A_long flagsBefore = choice->uu.change_flags;
        EXPECT_FALSE(effect.SetParameterValue(2, 2));
        EXPECT_EQ(choice->uu.change_flags, flagsBefore);
        EXPECT_TRUE(effect.SetParameterValue(1, -7));
        EXPECT_EQ(effect.GetParams()[1]->uu.change_flags, PF_ChangeFlag_CHANGED_VALUE);
        EXPECT_THAT(Thrown([&] { effect.GetParameterValue(5); }),
                    HasSubstr("Parameter index 5 is out of range, current count is 5"));
        EXPECT_THAT(Thrown([&] { effect.SetParameterValue(-1, 1); }),
                    HasSubstr("Parameter index -1 is out of range, current count is 5"));
        effect.SetParameterDescription(1, thirty);
        effect.UpdateParametersUi();
        effect.SetParameterDescription(1, thirtyOne);
    };

    const EffectHost::ChangeResult change = host.ChangeParameter(2, 2);

    ASSERT_TRUE(change.sent);
    EXPECT_EQ(Script().calls["UserChanged"], 1);
    EXPECT_EQ(host.Parameter(1).u.fs_d.value, -7.0); // the host took the new value
    EXPECT_EQ(std::string(host.Parameter(1).name), thirty);
    EXPECT_THAT(change.command.errorMessage, HasSubstr("Desicription too long: " + thirtyOne));
}

TEST(ParameterValue, ConversionsRefuseDefsOfAnotherType)
{
    PF_ParamDef def{};
    def.param_type = PF_Param_FLOAT_SLIDER;
    def.u.fs_d.value = 1e12;
    EXPECT_EQ(GetParameterValue<std::int32_t>(def), std::numeric_limits<std::int32_t>::max());
    def.u.fs_d.value = -3.9;
    EXPECT_EQ(GetParameterValue<std::int32_t>(def), -3); // truncated toward zero
    EXPECT_THROW(GetParameterValue<bool>(def), AdobeException);
    EXPECT_THROW(GetParameterValue<PF_LayerDef*>(def), AdobeException);

    def.param_type = PF_Param_CHECKBOX;
    const std::string thrown = Thrown([&] { GetParameterValue<std::int32_t>(def); });
    EXPECT_EQ(thrown.rfind(std::to_string(ErrorInternal) + ": ", 0), 0u) << thrown;
    EXPECT_NE(thrown.find("Parameter type 4 not supported"), std::string::npos) << thrown;
    EXPECT_THROW(SetParameterValue(def, 1), AdobeException);
}
