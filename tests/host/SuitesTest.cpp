#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "tests/host/TestEffect.h"

using namespace EffectHost;
using namespace HostTest;
using testing::AllOf;
using testing::HasSubstr;

using Suites = HostWithTestEffect;

TEST_F(Suites, AcquisitionsAreCountedPerSuiteAndOnlyTheRightVersionIsFound)
{
    SPErr wrongVersion = 0, unknown = 0;
    PF_App_Color background{}, text{};
    PF_Err outOfRange = PF_Err_NONE;
    Effect().handler = [&](PF_Cmd command, PF_InData* in, auto...) -> PF_Err
    {
        if (command == PF_Cmd_GLOBAL_SETUP)
        {
            Acquire<PF_HandleSuite2>(in, kPFHandleSuite, 2);
            Acquire<PF_HandleSuite2>(in, kPFHandleSuite, 2);
            auto* app = Acquire<PFAppSuite6>(in, kPFAppSuite, 6);
            outOfRange = app->PF_AppGetColor(PF_App_Color_NUMTYPES, &text);
            app->PF_AppGetColor(PF_App_Color_PANEL_BACKGROUND, &background);
            app->PF_AppGetColor(PF_App_Color_TEXT, &text);
            const void* suite = nullptr;
            wrongVersion = in->pica_basicP->AcquireSuite(kPFHandleSuite, 1, &suite);
            unknown = in->pica_basicP->AcquireSuite("PF World Suite", 2, &suite);
        }
        if (command == PF_Cmd_GLOBAL_SETDOWN)
        {
            in->pica_basicP->ReleaseSuite(kPFHandleSuite, 2);
        }
        return PF_Err_NONE;
    };
    host_->GlobalSetup();
    EXPECT_EQ(host_->SuiteUsage(kPFHandleSuite).acquired, 2);
    EXPECT_EQ(host_->SuiteUsage(kPFAppSuite).acquired, 1);
    EXPECT_EQ(wrongVersion, kSPSuiteNotFoundError);
    EXPECT_EQ(unknown, kSPSuiteNotFoundError);
    // A dark panel with readable text.
    EXPECT_LT(background.red, 0x4000);
    EXPECT_GT(text.red, 0x9000);
    EXPECT_NE(outOfRange, PF_Err_NONE);
    host_->Unload();
    EXPECT_EQ(host_->SuiteUsage(kPFHandleSuite).released, 1);
    const auto defects = host_->MessagesOf(MessageKind::Defect);
    ASSERT_EQ(defects.size(), 1u);
    EXPECT_THAT(defects[0], AllOf(HasSubstr("PF Handle Suite acquired 2 times, released 1 times"),
                                  HasSubstr("PF AE App Suite acquired 1 times, released 0 times")));
}

TEST_F(Suites, HandlesAreAccountedAndMisuseOrALeakIsADefect)
{
    std::uint8_t readBack = 0;
    int call = 0;
    Effect().handler = [&](PF_Cmd command, PF_InData* in, auto...) -> PF_Err
    {
        if (command != PF_Cmd_SEQUENCE_SETUP)
        {
            return PF_Err_NONE;
        }
        auto* handles = Acquire<PF_HandleSuite2>(in, kPFHandleSuite, 2);
        if (call == 0)
        {
            PF_Handle small = handles->host_new_handle(100);
            PF_Handle large = handles->host_new_handle(4000);
            auto* bytes = static_cast<std::uint8_t*>(handles->host_lock_handle(large));
            bytes[3999] = 0x5A;
            handles->host_unlock_handle(large);
            // Growing keeps the contents.
            handles->host_resize_handle(8000, &large);
            readBack = static_cast<std::uint8_t*>(*large)[3999];
            handles->host_dispose_handle(small);
            handles->host_dispose_handle(large);
            // Misuse is a defect, not a crash.
            PF_Handle handle = handles->host_new_handle(8);
            handles->host_unlock_handle(handle); // never locked
            handles->host_dispose_handle(handle);
            handles->host_dispose_handle(handle); // twice
        }
        else
        {
            handles->host_new_handle(64);
            handles->host_new_handle(36);
        }
        ++call;
        in->pica_basicP->ReleaseSuite(kPFHandleSuite, 2);
        return PF_Err_NONE;
    };
    host_->SequenceSetup();
    EXPECT_EQ(readBack, 0x5A);
    EXPECT_EQ(host_->Handles().liveHandles, 0);
    EXPECT_EQ(host_->MessagesOf(MessageKind::Defect).size(), 2u);

    // Handles alive at unload are a leak.
    host_->SequenceSetup();
    EXPECT_EQ(host_->MessagesOf(MessageKind::Defect).size(), 2u);
    host_->Unload();
    const auto defects = host_->MessagesOf(MessageKind::Defect);
    ASSERT_EQ(defects.size(), 3u);
    EXPECT_THAT(defects[2], HasSubstr("2 memory handle(s) (100 bytes)"));
}
