#include <cmath>
#include <limits>
#include <string>

#include "tests/framework/HostFixture.h"

using EffectHost::Host;
using EffectHost::HostOptions;

namespace
{

constexpr int AmountId = 5;
constexpr int ChoiceId = 6;
constexpr int FlagId = 7;
constexpr int NotesId = 8;

// Layer, a slider, a popup, a checkbox and a static area.
void UseMixedTable()
{
    Script().table = {
        ParameterDescriptor{},
        NumberRow(1, u"Amount", AmountId, 2.5f, -10.0f, 10.0f),
        PopupRow(2, u"Choice", ChoiceId, {"A", "B"}),
        CheckboxRow(3, u"Flag", FlagId, true),
        StaticRow(4, u"Notes", NotesId, 2),
    };
}

} // namespace

// ------------------------------------------------------------ registration

using ParameterSetup = FrameworkTest;

TEST_F(ParameterSetup, RegistersEachKindAsTheHostExpects)
{
    UseMixedTable();
    Script().table[1].flags = ParameterFlag_Collapsed;
    Host& host = StartHost();
    host.GlobalSetup();

    const EffectHost::CommandResult result = host.ParamsSetup();

    ASSERT_EQ(result.error, PF_Err_NONE) << result.errorMessage;
    EXPECT_EQ(result.outData.num_params, 5);
    ASSERT_EQ(host.ParameterCount(), 5);

    const PF_ParamDef& amount = host.Parameter(1);
    EXPECT_EQ(amount.param_type, PF_Param_FLOAT_SLIDER);
    EXPECT_STREQ(amount.name, "Amount");
    EXPECT_EQ(host.PositionOfHostId(AmountId), 1);
    EXPECT_EQ(amount.flags, PF_ParamFlag_SUPERVISE | PF_ParamFlag_CANNOT_TIME_VARY |
                                PF_ParamFlag_COLLAPSE_TWIRLY);
    EXPECT_EQ(amount.u.fs_d.valid_min, -10.0f);
    EXPECT_EQ(amount.u.fs_d.slider_max, 10.0f);
    EXPECT_EQ(amount.u.fs_d.value, 2.5);
    EXPECT_EQ(amount.u.fs_d.dephault, 2.5f);

    const PF_ParamDef& choice = host.Parameter(2);
    EXPECT_EQ(choice.param_type, PF_Param_POPUP);
    EXPECT_EQ(choice.u.pd.num_choices, 2);
    EXPECT_EQ(choice.u.pd.value, 1);
    EXPECT_EQ(host.PopupItems(2), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(host.PositionOfHostId(ChoiceId), 2);

    const PF_ParamDef& flag = host.Parameter(3);
    EXPECT_EQ(flag.param_type, PF_Param_CHECKBOX);
    EXPECT_EQ(flag.u.bd.value, 1);
    EXPECT_EQ(host.ValueText(3), "on");

    const PF_ParamDef& notes = host.Parameter(4);
    EXPECT_EQ(notes.ui_height, 30);
    EXPECT_EQ(notes.ui_width, 150);
    EXPECT_EQ(notes.ui_flags, PF_PUI_CONTROL | PF_PUI_STD_CONTROL_ONLY);
    EXPECT_EQ(notes.flags, 70);
    EXPECT_EQ(host.PositionOfHostId(NotesId), 4);

    ASSERT_NE(host.CustomUi(), nullptr);
    EXPECT_EQ(host.CustomUi()->events, PF_CustomEFlag_EFFECT);
}

TEST_F(ParameterSetup, EdgeRowsRegister)
{
    Script().table = {
        ParameterDescriptor{},
        StaticRow(1, u"None", 1, 0),
        StaticRow(2, u"One", 2, 1),
        StaticRow(3, u"Two", 3, 2),
        NumberRow(4, u"Amount", AmountId, 1, 0, 2),
        PopupRow(5, u"Letters", ChoiceId, {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"})};
    Script().table[3].flags = ParameterFlag_Collapsed;
    Script().table[4].flags = ParameterFlag_Animatable;
    Host& host = StartApplied();

    // Static areas count at least one line.
    EXPECT_EQ(host.Parameter(1).ui_height, 15);
    EXPECT_EQ(host.Parameter(2).ui_height, 15);
    EXPECT_EQ(host.Parameter(3).ui_height, 30);
    EXPECT_EQ(host.Parameter(3).flags, 102);
    // An animatable slider may vary over time.
    EXPECT_EQ(host.Parameter(4).flags, PF_ParamFlag_SUPERVISE);
    // Ten choices are all registered.
    EXPECT_EQ(host.Parameter(5).u.pd.num_choices, 10);
    const std::vector<std::string> items = host.PopupItems(5);
    ASSERT_EQ(items.size(), 10u);
    EXPECT_EQ(items.back(), "J");
}

TEST_F(ParameterSetup, StaticAreaInPremiereIsArbitraryData)
{
    Script().table = {ParameterDescriptor{}, StaticRow(1, u"Notes", NotesId, 3)};
    Host& host = StartApplied(HostOptions{EffectHost::ApplicationPremiere, 13, 1});
    const PF_ParamDef& notes = host.Parameter(1);
    EXPECT_EQ(notes.param_type, PF_Param_ARBITRARY_DATA);
    EXPECT_EQ(notes.ui_width, 300);
    EXPECT_EQ(notes.ui_height, 45);
    EXPECT_EQ(notes.ui_flags, PF_PUI_CONTROL);
    EXPECT_EQ(notes.u.arb_d.id, NotesId);
}

TEST_F(ParameterSetup, DescriptorAtTheWrongPositionOrOfAnUnknownTypeFailsSetup)
{
    UseMixedTable();
    Script().table[3].position = 4;
    Host& host = StartHost();
    host.GlobalSetup();

    const EffectHost::CommandResult result = host.ParamsSetup();

    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_NE(result.errorMessage.find("1027 (Init failed)"), std::string::npos);
    EXPECT_NE(result.errorMessage.find(
                  "Parameter descriptor index 4 doesn't match its actual position 3"),
              std::string::npos)
        << result.errorMessage;
    EXPECT_EQ(result.outData.num_params, 0);
    EffectHost::World output(16, 16);
    EXPECT_EQ(host.Render(output).error, ErrorInitFailed);
    host.GlobalSetdown();

    UseMixedTable();
    Script().table[2].type = static_cast<ParameterType>(9);
    host.GlobalSetup();
    const EffectHost::CommandResult unknown = host.ParamsSetup();
    EXPECT_NE(unknown.errorMessage.find("Unsupported parameter type 9"), std::string::npos)
        << unknown.errorMessage;
    EXPECT_EQ(unknown.outData.num_params, 0);
}

TEST_F(ParameterSetup, LayerRowAfterTheInputIsSkipped)
{
    Script().table = {ParameterDescriptor{}, NumberRow(1, u"Amount", AmountId, 1, 0, 2),
                      ParameterDescriptor{}};
    Script().table[2].position = 2;
    Host& host = StartHost();
    host.GlobalSetup();

    const EffectHost::CommandResult result = host.ParamsSetup();

    EXPECT_EQ(result.errorMessage, "");
    EXPECT_EQ(result.outData.num_params, 3);
    EXPECT_EQ(host.ParameterCount(), 2);
}

// ------------------------------------------------------------ value access

using ParameterAccess = FrameworkTest;

// Positions outside the table are refused with the count.
TEST_F(ParameterAccess, UnchangedValueLeavesTheChangeFlagsAloneAndPositionsOutsideAreRefused)
{
    UseMixedTable();
    Host& host = StartApplied();
    std::string atCount;
    std::string belowZero;
    bool sameChanged = true;
    bool otherChanged = false;
    A_long flagsBefore = 0;
    A_long flagsAfter = 0;
    A_long amountFlags = 0;
    Script().onUserChanged = [&](TestEffect& effect)
    {
        PF_ParamDef* choice = effect.GetParams()[2];
        flagsBefore = choice->uu.change_flags;
        sameChanged = effect.SetParameterValue(2, 2);
        flagsAfter = choice->uu.change_flags;
        otherChanged = effect.SetParameterValue(1, -7);
        amountFlags = effect.GetParams()[1]->uu.change_flags;
        try
        {
            effect.GetParameterValue(5);
        }
        catch (const AdobeException& exception)
        {
            atCount = exception.GetMessage();
        }
        try
        {
            effect.SetParameterValue(-1, 1);
        }
        catch (const AdobeException& exception)
        {
            belowZero = exception.GetMessage();
        }
    };

    const EffectHost::ChangeResult change = host.ChangeParameter(2, 2);

    ASSERT_TRUE(change.sent);
    EXPECT_FALSE(sameChanged);
    EXPECT_EQ(flagsAfter, flagsBefore);
    EXPECT_TRUE(otherChanged);
    EXPECT_EQ(amountFlags, PF_ChangeFlag_CHANGED_VALUE);
    EXPECT_EQ(host.Parameter(1).u.fs_d.value, -7.0); // the host took the new value
    EXPECT_NE(atCount.find("Parameter index 5 is out of range, current count is 5"),
              std::string::npos)
        << atCount;
    EXPECT_NE(belowZero.find("Parameter index -1 is out of range, current count is 5"),
              std::string::npos)
        << belowZero;
}

TEST_F(ParameterAccess, DescriptionOfThirtyCharactersIsAcceptedAndThirtyOneRefused)
{
    UseMixedTable();
    Host& host = StartApplied();
    const std::string thirty(30, 'd');
    const std::string thirtyOne(31, 'e');
    Script().onUserChanged = [&](TestEffect& effect)
    {
        effect.SetParameterDescription(1, thirty);
        effect.UpdateParametersUi();
        effect.SetParameterDescription(1, thirtyOne);
    };

    const EffectHost::ChangeResult change = host.ChangeParameter(1, 3);

    EXPECT_EQ(std::string(host.Parameter(1).name), thirty);
    EXPECT_NE(change.command.errorMessage.find("Desicription too long: " + thirtyOne),
              std::string::npos)
        << change.command.errorMessage;
}

TEST_F(ParameterAccess, CheckedOutParameterIsReadAndGivenBack)
{
    UseMixedTable();
    Host& host = StartApplied();
    host.ChangeParameter(1, -3.9);
    std::int32_t amount = 0;
    bool flag = false;
    Script().onRender = [&](TestEffect& effect)
    {
        amount = GetParameterValue<std::int32_t>(effect.CheckoutParameter(1).def());
        flag = GetParameterValue<bool>(effect.CheckoutParameter(3).def());
    };
    EffectHost::World output(16, 16);

    EXPECT_EQ(host.Render(output).error, PF_Err_NONE);

    EXPECT_EQ(amount, -3); // truncated toward zero
    EXPECT_TRUE(flag);
    EXPECT_EQ(host.Checkouts().outstanding, 0);
}

TEST(ParameterValue, ConversionsRefuseDefsOfAnotherType)
{
    PF_ParamDef def{};
    def.param_type = PF_Param_FLOAT_SLIDER;
    def.u.fs_d.value = 1e12;
    EXPECT_EQ(GetParameterValue<std::int32_t>(def), std::numeric_limits<std::int32_t>::max());
    EXPECT_THROW(GetParameterValue<bool>(def), AdobeException);
    EXPECT_THROW(GetParameterValue<PF_LayerDef*>(def), AdobeException);

    def.param_type = PF_Param_CHECKBOX;
    try
    {
        GetParameterValue<std::int32_t>(def);
        FAIL() << "a checkbox read as a number";
    }
    catch (const AdobeException& exception)
    {
        EXPECT_EQ(exception.GetCode(), ErrorInternal);
        EXPECT_NE(exception.GetMessage().find("Parameter type 4 not supported"), std::string::npos);
    }
    EXPECT_THROW(SetParameterValue(def, 1), AdobeException);
}
