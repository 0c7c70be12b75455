#include <stdexcept>
#include <thread>

#include "tests/framework/HostFixture.h"

using EffectHost::Host;
using EffectHost::HostOptions;

TEST_F(FrameworkTest, HostCheckComparesMajorThenMinorAndARefusedHostIsLoggedOnce)
{
    Script().minimum = HostVersion{13, 5};
    for (const auto& [major, minor] : {std::pair<A_short, A_short>{13, 5}, {14, 0}})
    {
        Host& accepting = StartHost(HostOptions{EffectHost::ApplicationAfterEffects, major, minor});
        EXPECT_EQ(accepting.GlobalSetup().error, PF_Err_NONE) << major << "." << minor;
    }
    EXPECT_EQ(
        StartHost(HostOptions{EffectHost::ApplicationAfterEffects, 13, 4}).GlobalSetup().error,
        ErrorUnsupportedVersion);
    EXPECT_GT(CountInLog("Adobe Effects Version 13.4 not supported, minimum required is 13.5"), 0);

    Script().acceptedApplication = EffectHost::ApplicationAfterEffects;
    Host& host = StartHost(HostOptions{EffectHost::ApplicationPremiere, 13, 28});
    const int before = CountInLog("Host not supported");
    EXPECT_EQ(host.GlobalSetup().error, ErrorUnsupportedVersion);
    EXPECT_EQ(host.About().error, ErrorUnsupportedVersion);
    EXPECT_EQ(host.Send(PF_Cmd_RENDER).error, ErrorUnsupportedVersion);
    EXPECT_EQ(CountInLog("Host not supported"), before + 1);
    EXPECT_EQ(Script().calls, (std::map<std::string, int>{{"GlobalSetup", 2}}));
    // Logged before any command context exists: nothing reaches the user.
    EXPECT_TRUE(host.MessagesOf(EffectHost::MessageKind::Error).empty());
}

TEST_F(FrameworkTest, FailedCreationOrGlobalSetupAnswersInitFailedUntilSetUpAnew)
{
    Script().creationFailures = 1;
    Host& host = StartHost();
    EXPECT_EQ(host.GlobalSetup().error, ErrorInitFailed);
    EXPECT_EQ(GetPluginInstance(), nullptr);
    // The render makes the instance, but global set-up never ran for it.
    EXPECT_EQ(host.Render(output_).error, ErrorInitFailed);
    EXPECT_EQ(Script().created, 1);
    EXPECT_EQ(Script().calls["Render"], 0);

    // About may come before global set-up: the instance it makes is usable.
    Script().creationFailures = 1;
    Host& retried = StartHost();
    EXPECT_EQ(retried.GlobalSetup().error, ErrorInitFailed);
    EXPECT_EQ(retried.About().error, PF_Err_NONE);
    EXPECT_EQ(Script().created, 2);
    EXPECT_NE(GetPluginInstance(), nullptr);

    Script().hooks["GlobalSetup"] = [](TestEffect&) { throw std::int32_t{PF_Err_OUT_OF_MEMORY}; };
    Host& failing = StartHost();
    EXPECT_EQ(failing.GlobalSetup().error, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(failing.Send(PF_Cmd_RENDER).error, ErrorInitFailed);
    EXPECT_EQ(failing.About().error, ErrorInitFailed);
    EXPECT_EQ(Script().calls["Render"], 0);
    EXPECT_EQ(Script().calls["About"], 1);
}

TEST_F(FrameworkTest, ExceptionsOfAHandlerBecomeTheirCodesAndMessages)
{
    Host& host = StartApplied();
    Script().hooks["Render"] = [](TestEffect&)
    { THROW_ADOBE_EXCEPTION(ErrorImageCheckout, "frame %d of %s", 7, "layer"); };
    const EffectHost::CommandResult adobe = host.Render(output_);
    EXPECT_EQ(adobe.error, PF_Err_NONE);
    const std::string& message = adobe.errorMessage;
    EXPECT_EQ(
        message.rfind("TestEffect: EntryPoint: PF_Err thrown: 1028 (Image checkout failed)\n", 0),
        0u)
        << message;
    EXPECT_NE(message.find("EntryPointTest.cpp"), std::string::npos) << message;
    EXPECT_EQ(message.substr(message.size() - 16), "frame 7 of layer");

    const struct
    {
        void (*hook)(TestEffect&);
        PF_Err error;
        const char* message;
    } thrown[] = {
        {[](TestEffect&) { throw std::int32_t{PF_Err_INVALID_INDEX}; }, PF_Err_INVALID_INDEX,
         "PF_Err thrown: 513 (Invalid index)"},
        {[](TestEffect&) { throw std::out_of_range("row 12 past the end"); },
         PF_Err_INTERNAL_STRUCT_DAMAGED, "std::exception:\nrow 12 past the end"},
        {[](TestEffect&) { throw 1.5; }, PF_Err_INTERNAL_STRUCT_DAMAGED, "Unknown exception"}};
    for (const auto& [hook, error, message] : thrown)
    {
        Script().hooks["Render"] = hook;
        const EffectHost::CommandResult result = host.Render(output_);
        EXPECT_EQ(result.error, error);
        EXPECT_EQ(result.errorMessage, std::string("TestEffect: EntryPoint: ") + message);
    }
}

// The host calls back into the effect while an outer command runs: the inner
// command gets its own context and the outer one is restored exactly; a
// command from another thread meanwhile is refused.
TEST_F(FrameworkTest, NestedCommandRestoresTheOuterContextAndAnotherThreadIsRefused)
{
    Script().table.push_back(Row(1, ParameterType_Number, u"Amount", 5, {0, 1, 0, 10}));
    Host& host = StartApplied();
    CommandContext before;
    CommandContext inner;
    CommandContext after;
    Script().hooks["UserChanged"] = [&](TestEffect& effect)
    {
        before = effect.GetCommandContext();
        PF_InData innerIn = *effect.GetInData();
        PF_OutData innerOut{};
        EXPECT_EQ(EntryPointFunc(PF_Cmd_RENDER, &innerIn, &innerOut, effect.GetParams(), nullptr,
                                 nullptr),
                  PF_Err_NONE);
        after = effect.GetCommandContext();
    };
    Script().hooks["Render"] = [&](TestEffect& nested)
    {
        inner = nested.GetCommandContext();
        PF_InData otherIn = *nested.GetInData();
        PF_OutData otherOut{};
        // The temporary thread is joined at the end of the statement.
        std::jthread(
            [&]
            {
                EXPECT_EQ(
                    EntryPointFunc(PF_Cmd_ABOUT, &otherIn, &otherOut, nullptr, nullptr, nullptr),
                    ErrorWrongThread);
            });
    };

    host.ChangeParameter(1, 3);

    EXPECT_EQ(before.changedParameterIndex, 1);
    EXPECT_EQ(inner.changedParameterIndex, -1);
    EXPECT_NE(inner.inData, before.inData);
    EXPECT_EQ(inner.threadId, before.threadId);
    EXPECT_EQ(after, before);
    EXPECT_EQ(GetPluginInstance()->GetCommandContext(), CommandContext{});
    EXPECT_EQ(GetPluginInstance()->GetNestingDepth(), 0);
    EXPECT_EQ(Script().calls["About"], 0);
}
