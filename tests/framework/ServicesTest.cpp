#include <cstring>
#include <string>
#include <vector>

#include "support/LogException.h"
#include "tests/framework/HostFixture.h"

using EffectHost::Host;

// ------------------------------------------------------------ memory handles

using HostMemory = FrameworkTest;

TEST_F(HostMemory, WithheldHandleSuiteFailsTheFirstHandleWith516)
{
    Host& host = StartApplied();
    host.WithholdSuite(kPFHandleSuite);
    Script().onRender = [](TestEffect&) { HostHandle handle(1024); };
    EffectHost::World output(16, 16);

    EXPECT_EQ(host.Render(output).error, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host.Handles().created, 0);
}

TEST_F(HostMemory, HandleKnowsItsSizeAndALockCopiedTwiceUnlocksOnceWhenTheLastCopyGoes)
{
    Host& host = StartApplied();
    std::vector<int> locksSeen;
    std::vector<std::uint64_t> sizes;
    Script().onRender = [&](TestEffect&)
    {
        HostHandle handle(1000);
        sizes = {handle.GetSize(), host.Handles().bytesOutstanding};
        handle.Reset(40);
        sizes.push_back(handle.GetSize());
        LockedHandle first = handle.Lock();
        // The locked memory is the handle's: writing all of it is safe.
        std::memset(first.get(), 0xAB, 40);
        LockedHandle second = first;
        LockedHandle third = second;
        locksSeen.push_back(host.Handles().totalLocks);
        first.reset();
        second.reset();
        locksSeen.push_back(host.Handles().totalLocks);
        third.reset();
        locksSeen.push_back(host.Handles().totalLocks);
        handle.Release();
        sizes.push_back(handle.GetSize());
        sizes.push_back(host.Handles().bytesOutstanding);
    };
    EffectHost::World output(16, 16);

    EXPECT_EQ(host.Render(output).error, PF_Err_NONE);
    EXPECT_EQ(locksSeen, (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(sizes, (std::vector<std::uint64_t>{1000, 1000, 40, 0, 0}));
    EXPECT_EQ(host.Handles().liveHandles, 0);
    EXPECT_EQ(host.Handles().created, 2);
    EXPECT_EQ(host.Handles().disposed, 2);
}

TEST_F(HostMemory, SuitesAreAcquiredOnceAndReleasedWithTheInstance)
{
    Host& host = StartApplied();
    Script().onRender = [](TestEffect&)
    {
        HostHandle first(8);
        HostHandle second(8);
    };
    EffectHost::World output(16, 16);
    host.Render(output);
    host.Render(output);
    EXPECT_EQ(host.SuiteUsage(kPFHandleSuite).acquired, 1);
    EXPECT_EQ(host.SuiteUsage(kPFHandleSuite).released, 0);

    host.GlobalSetdown();

    EXPECT_EQ(host.SuiteUsage(kPFHandleSuite).released, 1);
    EXPECT_EQ(host.SuiteUsage(kDRAWBOT_PathSuite).released, 0); // never acquired
}

// ---------------------------------------------------------------- messages

using Messages = FrameworkTest;

TEST_F(Messages, ReturnAndErrorMessagesAreCutAt255Characters)
{
    std::string text(300, 'x');
    text[254] = 'y';
    text[255] = 'z';
    Script().onAbout = [&](TestEffect& effect) { effect.SetReturnMessage(text); };
    Host& host = StartApplied();

    const EffectHost::CommandResult result = host.About();

    EXPECT_EQ(result.returnMessage.size(), 255u);
    EXPECT_EQ(result.returnMessage.back(), 'y');
    EXPECT_EQ(result.outData.return_msg[255], '\0');

    Script().onRender = [](TestEffect&) { ZLOG(Error) << std::string(400, 'r'); };
    EffectHost::World output(16, 16);
    const EffectHost::CommandResult failed = host.Render(output);
    EXPECT_EQ(failed.errorMessage.size(), 255u);
    EXPECT_EQ(failed.errorMessage.rfind("TestEffect: rrr", 0), 0u);
}

// The host shows the text as UTF-8: a character that does not fit whole is
// left out, not cut in two.
TEST_F(Messages, MessagesAreCutBeforeACharacterThatDoesNotFit)
{
    const std::string accent = "\xC3\xA9";     // two bytes
    const std::string symbol = "\xE2\x82\xAC"; // three bytes
    const std::string text = std::string(254, 'x') + accent + "tail";
    Script().onAbout = [&](TestEffect& effect) { effect.SetReturnMessage(text); };
    Host& host = StartHost();
    EXPECT_EQ(host.About().returnMessage, std::string(254, 'x'));
    ASSERT_EQ(host.GlobalSetdown().error, PF_Err_NONE);

    // "CreatePlugin failed: " takes 21 bytes; the symbol would end at 256.
    Script().creationFailures = 1;
    Script().creationFailure = std::string(232, 'y') + symbol;
    const EffectHost::CommandResult failed = host.GlobalSetup();
    EXPECT_EQ(failed.error, ErrorInitFailed);
    EXPECT_EQ(failed.errorMessage, "CreatePlugin failed: " + std::string(232, 'y'));
}

TEST_F(Messages, ErrorLogLinesReachTheUserOnlyWhileACommandRuns)
{
    Host& host = StartApplied();
    Script().onRender = [](TestEffect&) { ZLOG(Error) << "disk full while storing frame 3"; };
    EffectHost::World output(16, 16);

    const EffectHost::CommandResult result = host.Render(output);

    EXPECT_EQ(result.error, PF_Err_NONE);
    EXPECT_EQ(result.errorMessage, "TestEffect: disk full while storing frame 3");
    // Between commands there is no out_data to write into, not even the
    // last command's.
    ASSERT_EQ(GetPluginInstance()->GetOutData(), nullptr);
    const std::string lastMessage = host.LastOutData().return_msg;
    ZLOG(Error) << "between commands";
    EXPECT_EQ(std::string(host.LastOutData().return_msg), lastMessage);
}

// ------------------------------------------------------------ exceptions

TEST(AdobeExceptionText, KeepsItsCodeAndPutsTheLocationFirst)
{
    const Zovazaz::Log::SourceLocation location{"Renderer.cpp", "void Renderer::StoreFrame()", 42};
    const AdobeException exception(1034, location, "100% broken");
    EXPECT_EQ(exception.GetCode(), 1034);
    const std::string prefix = Zovazaz::FormatSourceLocation(location);
    ASSERT_FALSE(prefix.empty());
    EXPECT_EQ(exception.GetMessage(), prefix + "100% broken");

    try
    {
        THROW_ADOBE_EXCEPTION(ErrorInternal, "Parameter type %d not supported", 9);
        FAIL() << "nothing thrown";
    }
    catch (const AdobeException& thrown)
    {
        EXPECT_EQ(thrown.GetCode(), ErrorInternal);
        const std::string& message = thrown.GetMessage();
        EXPECT_NE(message.find("ServicesTest.cpp"), std::string::npos) << message;
        EXPECT_EQ(message.substr(message.size() - 30), "Parameter type 9 not supported");
    }
}
