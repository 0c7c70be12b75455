#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

#include "host/Host.h"
#include "tests/host/TestEffect.h"

using namespace EffectHost;
using namespace HostTest;
using testing::AllOf;
using testing::HasSubstr;
using testing::ThrowsMessage;

TEST(ModuleLoading, RefusesBadLibrariesCallsTheNamedEntryPointAndWarnsOfDifferingFlags)
{
    Host host;
    EXPECT_THAT([&] { host.LoadModule("/nonexistent/Nothing.so"); },
                ThrowsMessage<std::runtime_error>(
                    AllOf(HasSubstr("/nonexistent/Nothing.so"), HasSubstr("No such file"))));
    EXPECT_FALSE(host.IsLoaded());
    EXPECT_THAT([&] { host.LoadModule("libz.so.1"); },
                ThrowsMessage<std::runtime_error>(HasSubstr(PF_PROPERTY_LIST_SYMBOL)));
    const std::string path = std::string(RUZIRAZU_BINARY_DIR) + "/tests/libhost_test_module.so";
    host.LoadModule(path);
    EXPECT_EQ(host.Properties().name, "Loaded Test");
    EXPECT_EQ(host.Properties().entryPoint, "TestModuleMain");
    // get_platform_data reports the module's own path; the message is no error.
    EXPECT_EQ(host.About().returnMessage, "from " + path);
    EXPECT_EQ(host.MessagesOf(MessageKind::About), std::vector<std::string>{"from " + path});
    EXPECT_TRUE(host.MessagesOf(MessageKind::Error).empty());

    EXPECT_EQ(host.GlobalSetup().error, PF_Err_NONE);
    const auto warnings = host.MessagesOf(MessageKind::Warning);
    ASSERT_EQ(warnings.size(), 1u); // out_flags differ; out_flags2 agree
    EXPECT_THAT(warnings[0], AllOf(HasSubstr("0x00000002"), HasSubstr("0x00008002")));
}

TEST(HostLifetime, OneHostAtATimePresentingAfterEffects1328)
{
    Effect() = TestEffect{};
    PF_InData seen{};
    Effect().handler = [&](PF_Cmd, PF_InData* in, auto...) -> PF_Err
    {
        seen = *in;
        return PF_Err_NONE;
    };
    {
        Host first;
        EXPECT_THROW(Host second, std::logic_error);
        first.UseEntryPoint(TestEntryPoint);
        first.GlobalSetup();
        EXPECT_EQ(seen.appl_id, PF_FOURCC('F', 'X', 'T', 'C'));
        EXPECT_EQ(seen.version.major * 100 + seen.version.minor, 1328);
    }
    EXPECT_EQ(Effect().commands, (std::vector<PF_Cmd>{PF_Cmd_GLOBAL_SETUP, PF_Cmd_GLOBAL_SETDOWN}));
    Effect() = TestEffect{};
}

using HostCommands = HostWithTestEffect;

TEST_F(HostCommands, EachCommandGetsAFreshOutDataAndItsMessageGoesWhereItsFlagsSay)
{
    bool sawLeftovers = false;
    Effect().handler = [&](PF_Cmd command, PF_InData*, PF_OutData* out, auto...) -> PF_Err
    {
        sawLeftovers = sawLeftovers || out->out_flags != 0 || out->return_msg[0] != '\0';
        switch (command)
        {
        case PF_Cmd_GLOBAL_SETUP:
            out->out_flags = PF_OutFlag_CUSTOM_UI;
            std::strcpy(out->return_msg, "left behind");
            break;
        case PF_Cmd_SEQUENCE_SETUP:
            out->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
            std::strcpy(out->return_msg, "Test: 1026 Internal error");
            break;
        default: // no terminator, and an error code
            std::memset(out->return_msg, 'a', sizeof out->return_msg);
            return PF_Interrupt_CANCEL;
        }
        return PF_Err_NONE;
    };
    EXPECT_TRUE(host_->GlobalSetup().Succeeded());
    EXPECT_EQ(host_->LastOutData().out_flags, PF_OutFlag_CUSTOM_UI);
    const CommandResult failed = host_->SequenceSetup();
    EXPECT_EQ(failed.error, PF_Err_NONE);
    EXPECT_FALSE(failed.Succeeded());
    EXPECT_EQ(failed.errorMessage, "Test: 1026 Internal error");
    const CommandResult cancelled = host_->Send(PF_Cmd_SEQUENCE_SETDOWN);
    EXPECT_EQ(cancelled.error, PF_Interrupt_CANCEL);
    EXPECT_EQ(cancelled.returnMessage, std::string(PF_MAX_EFFECT_MSG_LEN, 'a'));
    EXPECT_FALSE(sawLeftovers);
    EXPECT_EQ(host_->MessagesOf(MessageKind::Error),
              std::vector<std::string>{"Test: 1026 Internal error"});
    // A raw command goes through as it is; unloading twice sets down once.
    host_->Send(20);
    host_->Unload();
    host_->Unload();
    EXPECT_FALSE(host_->IsLoaded());
    EXPECT_EQ(Effect().commands,
              (std::vector<PF_Cmd>{PF_Cmd_GLOBAL_SETUP, PF_Cmd_SEQUENCE_SETUP,
                                   PF_Cmd_SEQUENCE_SETDOWN, 20, PF_Cmd_GLOBAL_SETDOWN}));
}
