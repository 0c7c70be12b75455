#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>

#include "host/Callbacks.h"
#include "tests/host/TestEffect.h"

using namespace EffectHost;
using namespace HostTest;

using HostCallbacks = HostWithTestEffect;

TEST_F(HostCallbacks, UtilitiesAnswerTheirOwnHostAndCancelOnceTheFlagIsRaised)
{
    std::vector<std::pair<A_long, A_long>> reported;
    // The sink asks to stop from the second step on.
    host_->SetProgressSink(
        [&](A_long current, A_long total)
        {
            reported.emplace_back(current, total);
            host_->RaiseAbort(current >= 2);
        });
    std::vector<PF_Err> answers;
    char path[PF_MAX_PATH] = {};
    PF_Err unknown = PF_Err_NONE, foreign = PF_Err_NONE;
    Effect().handler = [&](PF_Cmd, PF_InData* in, auto...) -> PF_Err
    {
        answers.push_back(in->inter.abort(in->effect_ref));
        for (A_long i = 1; i <= 3; ++i)
        {
            answers.push_back(in->inter.progress(in->effect_ref, i, 3));
        }
        int notAHost = 0;
        foreign = in->inter.abort(reinterpret_cast<PF_ProgPtr>(&notAHost));
        unknown = in->utils->get_platform_data(in->effect_ref, PF_PlatData_MAIN_WND, path);
        return PF_Err_NONE;
    };
    host_->SequenceSetup();
    host_->SequenceSetup();
    EXPECT_EQ(answers,
              (std::vector<PF_Err>{PF_Err_NONE, PF_Err_NONE, PF_Interrupt_CANCEL,
                                   PF_Interrupt_CANCEL, PF_Interrupt_CANCEL, PF_Interrupt_CANCEL,
                                   PF_Interrupt_CANCEL, PF_Interrupt_CANCEL}));
    // Once cancelled, progress no longer reaches the sink.
    EXPECT_EQ(reported, (std::vector<std::pair<A_long, A_long>>{{1, 3}, {2, 3}}));
    EXPECT_EQ(foreign, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_NE(unknown, PF_Err_NONE);
}

// Whatever fails inside the host while it serves the effect reaches the
// effect as an error code, never as an exception through its C frames; the
// user is told why.
TEST_F(HostCallbacks, AnExceptionInTheHostBecomesAnErrorCode)
{
    std::vector<PF_Err> answers;
    Effect().handler = [&](PF_Cmd, PF_InData* in, auto...) -> PF_Err
    {
        answers.push_back(in->inter.progress(in->effect_ref, 1, 2));
        return PF_Err_NONE;
    };
    host_->SetProgressSink([](A_long, A_long) { throw std::runtime_error("the display is gone"); });
    host_->SequenceSetup();
    host_->SetProgressSink([](A_long, A_long) { throw std::bad_alloc(); });
    host_->SequenceSetup();

    EXPECT_EQ(answers, (std::vector<PF_Err>{PF_Err_INTERNAL_STRUCT_DAMAGED, PF_Err_OUT_OF_MEMORY}));
    const std::vector<std::string> warnings = host_->MessagesOf(MessageKind::Warning);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "the display is gone");
}

TEST(WorldPixels, FillAndCopyHonourRowBytesRectanglesAndSizes)
{
    World source(8, 6), destination(8, 6);
    EXPECT_GE(source.RowBytes(), 8 * 4 + 16);
    source.Fill(PF_Pixel{255, 200, 0, 0});
    destination.Fill(PF_Pixel{255, 0, 0, 200});
    destination.FillPadding(0xEE);
    const PF_Rect rect{2, 1, 5, 4};
    const PF_Pixel green{255, 0, 200, 0};
    ASSERT_EQ(Callbacks::FillWorld(source.Def(), &green, &rect), PF_Err_NONE);
    ASSERT_EQ(Callbacks::CopyWorld(source.Def(), destination.Def(), &rect, &rect), PF_Err_NONE);
    EXPECT_EQ(destination.At(2, 1), green);
    EXPECT_EQ(destination.At(4, 3), green);
    EXPECT_EQ(destination.At(5, 3), (PF_Pixel{255, 0, 0, 200}));
    EXPECT_EQ(destination.At(2, 4), (PF_Pixel{255, 0, 0, 200}));
    EXPECT_TRUE(destination.PaddingIntact(0xEE));

    // Without a colour: transparent black, clipped to the world.
    const PF_Rect beyond{-3, -3, 100, 100};
    ASSERT_EQ(Callbacks::FillWorld(destination.Def(), nullptr, &beyond), PF_Err_NONE);
    EXPECT_EQ(destination.At(7, 5), (PF_Pixel{0, 0, 0, 0}));
    EXPECT_TRUE(destination.PaddingIntact(0xEE));

    // Between sizes the copy scales.
    World small(2, 2), large(4, 4);
    for (int i = 0; i < 4; ++i)
    {
        small.At(i % 2, i / 2) = PF_Pixel{255, static_cast<A_u_char>(10 * (i + 1)), 0, 0};
    }
    ASSERT_EQ(Callbacks::CopyWorld(small.Def(), large.Def(), nullptr, nullptr), PF_Err_NONE);
    EXPECT_EQ(large.At(1, 1).red, 10);
    EXPECT_EQ(large.At(2, 1).red, 20);
    EXPECT_EQ(large.At(1, 3).red, 30);
    EXPECT_EQ(large.At(3, 3).red, 40);
}
