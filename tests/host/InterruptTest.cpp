#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <stdexcept>

#include "host/Interrupt.h"
#include "tests/host/TestEffect.h"

using namespace EffectHost;
using namespace HostTest;

namespace
{
std::atomic<int> earlierHandlerCalls{0};
extern "C" void EarlierHandler(int)
{
    ++earlierHandlerCalls;
}

sighandler_t CurrentHandler()
{
    struct sigaction current
    {
    };
    sigaction(SIGINT, nullptr, &current);
    return current.sa_handler;
}
} // namespace

TEST(Interrupt, CtrlCTerminationSignalsAndAClosedPipeRaiseTheFlagNamingTheFirst)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
    {
        const InterruptHandler interrupt;
        EXPECT_FALSE(interrupt.Raised());
        EXPECT_EQ(interrupt.Signal(), 0);
        raise(signal);
        EXPECT_TRUE(interrupt.Raised()) << signal;
        EXPECT_TRUE(interrupt.Flag().load());
        EXPECT_EQ(interrupt.Signal(), signal);
    }
    // Every write into a closed pipe signals again: that alone never ends
    // the process, and the first signal stays the one named.
    const InterruptHandler interrupt;
    raise(SIGPIPE);
    raise(SIGPIPE);
    raise(SIGTERM);
    EXPECT_EQ(interrupt.Signal(), SIGPIPE);
}

TEST(Interrupt, TheEarlierHandlingComesBackAndOnlyOneHandlerLives)
{
    struct sigaction earlier
    {
    };
    earlier.sa_handler = EarlierHandler;
    sigemptyset(&earlier.sa_mask);
    struct sigaction saved
    {
    };
    ASSERT_EQ(sigaction(SIGINT, &earlier, &saved), 0);
    {
        const InterruptHandler interrupt;
        EXPECT_NE(CurrentHandler(), &EarlierHandler);
        EXPECT_THROW(InterruptHandler(), std::logic_error);
    }
    EXPECT_EQ(CurrentHandler(), &EarlierHandler);
    raise(SIGINT);
    EXPECT_EQ(earlierHandlerCalls.load(), 1);
    sigaction(SIGINT, &saved, nullptr);
    // A new one starts with its flag down.
    const InterruptHandler again;
    EXPECT_FALSE(again.Raised());
}

using HostAbortFlag = HostWithTestEffect;

TEST_F(HostAbortFlag, CtrlCDuringAnEncodeReachesTheEffectAsCancelUntilTheFlagIsTakenAway)
{
    const InterruptHandler interrupt;
    host_->SetAbortFlag(&interrupt.Flag());
    std::vector<PF_Err> answers;
    bool interrupted = false;
    Effect().handler = [&](PF_Cmd, PF_InData* in, auto...) -> PF_Err
    {
        for (A_long frame = 1; frame <= 3; ++frame)
        {
            if (frame == 2 && !interrupted)
            {
                interrupted = true;
                raise(SIGINT);
            }
            answers.push_back(in->inter.progress(in->effect_ref, frame, 3));
        }
        answers.push_back(in->inter.abort(in->effect_ref));
        return PF_Err_NONE;
    };
    host_->SequenceSetup();
    host_->SetAbortFlag(nullptr);
    host_->SequenceSetup();
    EXPECT_EQ(answers, (std::vector<PF_Err>{PF_Err_NONE, PF_Interrupt_CANCEL, PF_Interrupt_CANCEL,
                                            PF_Interrupt_CANCEL, PF_Err_NONE, PF_Err_NONE,
                                            PF_Err_NONE, PF_Err_NONE}));
}
