#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <stdexcept>

#include "host/Interrupt.h"

using namespace EffectHost;

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
        EXPECT_TRUE(interrupt.Flag().load()) << signal;
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
}
