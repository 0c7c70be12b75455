#include <cstring>
#include <string>
#include <vector>

#include "tests/framework/HostFixture.h"

using EffectHost::Host;

TEST_F(FrameworkTest, HandlesKnowTheirSizeAndLockOnceAndTheSuiteLivesWithTheInstance)
{
    Host& host = StartApplied();
    std::vector<int> locksSeen;
    std::vector<std::uint64_t> sizes;
    Script().hooks["Render"] = [&](TestEffect&)
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
    EXPECT_EQ(host.Render(output_).error, PF_Err_NONE);
    EXPECT_EQ(locksSeen, (std::vector<int>{1, 1, 0}));
    EXPECT_EQ(sizes, (std::vector<std::uint64_t>{1000, 1000, 40, 0, 0}));
    EXPECT_EQ(host.Handles().liveHandles, 0);
    EXPECT_EQ(host.Handles().created, 2);
    EXPECT_EQ(host.Handles().disposed, 2);

    host.Render(output_);
    EXPECT_EQ(host.SuiteUsage(kPFHandleSuite).acquired, 1);
    EXPECT_EQ(host.SuiteUsage(kPFHandleSuite).released, 0);
    host.GlobalSetdown();
    EXPECT_EQ(host.SuiteUsage(kPFHandleSuite).released, 1);
    EXPECT_EQ(host.SuiteUsage(kDRAWBOT_PathSuite).released, 0); // never acquired
}

// Messages longer than the host's 255 bytes are cut, and never inside a
// UTF-8 character: the host shows the text as UTF-8.
TEST_F(FrameworkTest, MessagesAreCutAt255BytesBeforeACharacterThatDoesNotFit)
{
    std::string text(300, 'x');
    text[254] = 'y';
    Script().hooks["About"] = [&](TestEffect& effect) { effect.SetReturnMessage(text); };
    Host& host = StartApplied();
    const EffectHost::CommandResult result = host.About();
    EXPECT_EQ(result.returnMessage, std::string(254, 'x') + "y");
    EXPECT_EQ(result.outData.return_msg[255], '\0');

    // An error logged while a command runs is the command's error message;
    // between commands there is no out_data to write into, not even the
    // last command's.
    Script().hooks["Render"] = [](TestEffect&) { ZLOG(Error) << std::string(400, 'r'); };
    const EffectHost::CommandResult failed = host.Render(output_);
    EXPECT_EQ(failed.error, PF_Err_NONE);
    EXPECT_EQ(failed.errorMessage, "TestEffect: " + std::string(243, 'r'));
    ASSERT_EQ(GetPluginInstance()->GetOutData(), nullptr);
    const std::string lastMessage = host.LastOutData().return_msg;
    ZLOG(Error) << "between commands";
    EXPECT_EQ(std::string(host.LastOutData().return_msg), lastMessage);

    text = std::string(254, 'x') + "\xC3\xA9tail"; // the accent takes two bytes
    EXPECT_EQ(host.About().returnMessage, std::string(254, 'x'));

    // "CreatePlugin failed: " takes 21 bytes; the euro sign would end at 256.
    ASSERT_EQ(host.GlobalSetdown().error, PF_Err_NONE);
    Script().creationFailures = 1;
    Script().creationFailure = std::string(232, 'y') + "\xE2\x82\xAC";
    const EffectHost::CommandResult creation = host.GlobalSetup();
    EXPECT_EQ(creation.error, ErrorInitFailed);
    EXPECT_EQ(creation.errorMessage, "CreatePlugin failed: " + std::string(232, 'y'));
}
