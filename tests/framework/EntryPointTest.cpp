#include <stdexcept>
#include <thread>

#include "tests/framework/HostFixture.h"

using EffectHost::Host;
using EffectHost::HostOptions;
using EffectHost::MessageKind;

// ------------------------------------------------------------ host check

using HostCheck = FrameworkTest;

TEST_F(HostCheck, RefusedHostIsLoggedOnceThenAnsweredSilently)
{
    Script().acceptedApplication = EffectHost::ApplicationAfterEffects;
    Host& host = StartHost(HostOptions{EffectHost::ApplicationPremiere, 13, 28});
    (void)Zovazaz::Log::GetLog();
    const int before = CountOf(ReadLog(), "Host not supported");

    EXPECT_EQ(host.GlobalSetup().error, ErrorUnsupportedVersion);
    EXPECT_EQ(CountOf(ReadLog(), "Host not supported"), before + 1);

    EXPECT_EQ(host.About().error, ErrorUnsupportedVersion);
    EXPECT_EQ(host.Send(PF_Cmd_RENDER).error, ErrorUnsupportedVersion);
    EXPECT_EQ(CountOf(ReadLog(), "Host not supported"), before + 1);
    EXPECT_EQ(Script().calls["GlobalSetup"] + Script().calls["About"] + Script().calls["Render"],
              0);
    // Logged before any command context exists: nothing reaches the user.
    EXPECT_TRUE(host.MessagesOf(MessageKind::Error).empty());
}

TEST_F(HostCheck, TheMinimumVersionComparesMajorThenMinorAndARefusalLogsBoth)
{
    Script().minimum = HostVersion{13, 5};
    for (const auto& [major, minor] : {std::pair<A_short, A_short>{13, 5}, {14, 0}})
    {
        Host& accepting = StartHost(HostOptions{EffectHost::ApplicationAfterEffects, major, minor});
        EXPECT_EQ(accepting.GlobalSetup().error, PF_Err_NONE) << major << "." << minor;
        accepting.GlobalSetdown();
    }
    EXPECT_EQ(Script().calls["GlobalSetup"], 2);

    Host& host = StartHost(HostOptions{EffectHost::ApplicationAfterEffects, 13, 4});
    EXPECT_EQ(host.GlobalSetup().error, ErrorUnsupportedVersion);
    EXPECT_NE(ReadLog().find("Adobe Effects Version 13.4 not supported, minimum required is 13.5"),
              std::string::npos);
    EXPECT_EQ(Script().calls["GlobalSetup"], 2);
}

// ------------------------------------------------------ exception mapping

using ExceptionMapping = FrameworkTest;

TEST_F(ExceptionMapping, FailedGlobalSetupReturnsItsCodeThenInitFailedForEverything)
{
    Script().onGlobalSetup = [](TestEffect&) { throw std::int32_t{PF_Err_OUT_OF_MEMORY}; };
    Host& host = StartHost();

    EXPECT_EQ(host.GlobalSetup().error, PF_Err_OUT_OF_MEMORY);
    EXPECT_EQ(host.Send(PF_Cmd_RENDER).error, ErrorInitFailed);
    EXPECT_EQ(host.About().error, ErrorInitFailed);
    EXPECT_EQ(Script().calls["Render"], 0);
    EXPECT_EQ(Script().calls["About"], 0);
}

TEST_F(ExceptionMapping, AdobeExceptionInRenderReturnsNoneAndShowsItsMessage)
{
    Script().onRender = [](TestEffect&)
    { THROW_ADOBE_EXCEPTION(ErrorImageCheckout, "frame %d of %s", 7, "layer"); };
    Host& host = StartApplied();
    EffectHost::World output(32, 32);

    const EffectHost::CommandResult result = host.Render(output);

    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_NE(result.outData.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    const std::string& message = result.errorMessage;
    EXPECT_EQ(
        message.rfind("TestEffect: EntryPoint: PF_Err thrown: 1028 (Image checkout failed)\n", 0),
        0u)
        << message;
    EXPECT_NE(message.find("EntryPointTest.cpp"), std::string::npos) << message;
    EXPECT_EQ(message.substr(message.size() - 16), "frame 7 of layer");
}

TEST_F(ExceptionMapping, UserCancelIsReturnedWithoutAMessage)
{
    Script().onRender = [](TestEffect& effect)
    {
        effect.CheckAbort(); // the host answers 517 once the user aborted
    };
    Host& host = StartApplied();
    host.RaiseAbort();
    const std::string logBefore = ReadLog();
    EffectHost::World output(32, 32);

    const EffectHost::CommandResult result = host.Render(output);

    EXPECT_EQ(result.error, PF_Interrupt_CANCEL);
    EXPECT_EQ(result.outData.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    EXPECT_TRUE(result.errorMessage.empty());
    // Logged at Verbose, which the log's gate never lets through.
    EXPECT_EQ(CountOf(ReadLog(), "user cancelled"), CountOf(logBefore, "user cancelled"));
}

TEST_F(ExceptionMapping, HostCodesAreReturnedAndOtherExceptionsBecomeInternalStructDamaged)
{
    Host& host = StartApplied();
    EffectHost::World output(32, 32);

    Script().onRender = [](TestEffect&) { throw std::int32_t{PF_Err_INVALID_INDEX}; };
    const EffectHost::CommandResult code = host.Render(output);
    EXPECT_EQ(code.error, PF_Err_INVALID_INDEX);
    EXPECT_EQ(code.errorMessage, "TestEffect: EntryPoint: PF_Err thrown: 513 (Invalid index)");

    Script().onRender = [](TestEffect&) { throw std::out_of_range("row 12 past the end"); };
    const EffectHost::CommandResult standard = host.Render(output);
    EXPECT_EQ(standard.error, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(standard.errorMessage,
              "TestEffect: EntryPoint: std::exception:\nrow 12 past the end");

    struct Odd
    {
    };
    Script().onRender = [](TestEffect&) { throw Odd{}; };
    const EffectHost::CommandResult unknown = host.Render(output);
    EXPECT_EQ(unknown.error, PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_EQ(unknown.errorMessage, "TestEffect: EntryPoint: Unknown exception");
}

TEST_F(ExceptionMapping, FailedCreationReturnsInitFailedAndIsRetried)
{
    Script().creationFailures = 1;
    Host& host = StartHost();

    EXPECT_EQ(host.GlobalSetup().error, ErrorInitFailed);
    EXPECT_EQ(GetPluginInstance(), nullptr);

    EXPECT_EQ(host.About().error, PF_Err_NONE);
    EXPECT_EQ(Script().created, 1);
    EXPECT_NE(GetPluginInstance(), nullptr);
}

TEST_F(ExceptionMapping, AnInstanceMadeAfterAFailedGlobalSetupIsNotInitialized)
{
    Script().creationFailures = 1;
    Host& host = StartHost();
    ASSERT_EQ(host.GlobalSetup().error, ErrorInitFailed);

    // The render makes the instance, but global set-up never ran for it.
    EffectHost::World output(32, 32);
    EXPECT_EQ(host.Render(output).error, ErrorInitFailed);
    EXPECT_EQ(Script().created, 1);
    EXPECT_EQ(Script().calls["Render"], 0);
}

// ---------------------------------------------------------------- dispatch

using Dispatch = FrameworkTest;

TEST_F(Dispatch, SequenceFrameAndUnknownCommandsReachNoHandler)
{
    Host& host = StartApplied();
    Script().calls.clear();

    EXPECT_EQ(host.SequenceSetup().error, PF_Err_NONE);
    EXPECT_EQ(host.Send(PF_Cmd_FRAME_SETUP).error, PF_Err_NONE);
    EXPECT_EQ(host.Send(PF_Cmd_SEQUENCE_SETDOWN).error, PF_Err_NONE);
    EXPECT_EQ(host.Send(20).error, PF_Err_NONE);
    EXPECT_TRUE(Script().calls.empty());
}

TEST_F(Dispatch, GlobalSetdownDestroysTheInstanceAndALaterCommandBuildsANewOne)
{
    Host& host = StartHost();
    host.GlobalSetup();
    ASSERT_EQ(Script().created, 1);

    EXPECT_EQ(host.GlobalSetdown().error, PF_Err_NONE);
    EXPECT_EQ(Script().destroyed, 1);
    EXPECT_EQ(GetPluginInstance(), nullptr);

    EXPECT_EQ(host.Send(PF_Cmd_GLOBAL_SETUP).error, PF_Err_NONE);
    EXPECT_EQ(Script().created, 2);
    EXPECT_NE(GetPluginInstance(), nullptr);
}

TEST_F(Dispatch, ModuleDirectoryIsThePathUpToItsLastSlash)
{
    StartHost({}, "/opt/effects/v1/Effect.so").GlobalSetup();
    ASSERT_NE(GetPluginInstance(), nullptr);
    EXPECT_EQ(GetPluginInstance()->GetModuleDirectory(), u"/opt/effects/v1/");
    host_->GlobalSetdown();

    StartHost({}, "Effect.so").GlobalSetup();
    ASSERT_NE(GetPluginInstance(), nullptr);
    EXPECT_TRUE(GetPluginInstance()->GetModuleDirectory().empty());
}

// --------------------------------------------------------- nested commands

using NestedCommands = FrameworkTest;

TEST_F(NestedCommands, InnerCommandRestoresTheOuterContextExactly)
{
    Script().table.push_back(NumberRow(1, u"Amount", 5, 1, 0, 10));
    Host& host = StartApplied();
    CommandContext before;
    CommandContext inner;
    CommandContext after;
    PF_Err innerResult = -1;
    Script().onUserChanged = [&](TestEffect& effect)
    {
        before = effect.GetCommandContext();
        // The host calls back into the effect while the outer command runs.
        PF_InData innerIn = *effect.GetInData();
        PF_OutData innerOut{};
        Script().onRender = [&](TestEffect& nested) { inner = nested.GetCommandContext(); };
        innerResult = EntryPointFunc(PF_Cmd_RENDER, &innerIn, &innerOut, effect.GetParams(),
                                     nullptr, nullptr);
        after = effect.GetCommandContext();
    };

    host.ChangeParameter(1, 3);

    EXPECT_EQ(innerResult, PF_Err_NONE);
    EXPECT_EQ(before.changedParameterIndex, 1);
    EXPECT_EQ(inner.changedParameterIndex, -1);
    EXPECT_NE(inner.inData, before.inData);
    EXPECT_EQ(inner.threadId, before.threadId);
    EXPECT_EQ(after, before);
    EXPECT_EQ(GetPluginInstance()->GetCommandContext(), CommandContext{});
    EXPECT_EQ(GetPluginInstance()->GetNestingDepth(), 0);
}

TEST_F(NestedCommands, NestedCommandFromAnotherThreadIsRefused)
{
    Script().table.push_back(NumberRow(1, u"Amount", 5, 1, 0, 10));
    Host& host = StartApplied();
    PF_Err otherThreadResult = -1;
    Script().onUserChanged = [&](TestEffect& effect)
    {
        PF_InData innerIn = *effect.GetInData();
        PF_OutData innerOut{};
        Script().onRender = [&](TestEffect& nested)
        {
            PF_InData otherIn = *nested.GetInData();
            PF_OutData otherOut{};
            std::thread other(
                [&]
                {
                    otherThreadResult = EntryPointFunc(PF_Cmd_ABOUT, &otherIn, &otherOut, nullptr,
                                                       nullptr, nullptr);
                });
            other.join();
        };
        EntryPointFunc(PF_Cmd_RENDER, &innerIn, &innerOut, effect.GetParams(), nullptr, nullptr);
    };

    host.ChangeParameter(1, 4);

    EXPECT_EQ(otherThreadResult, ErrorWrongThread);
    EXPECT_EQ(Script().calls["About"], 0);
}
