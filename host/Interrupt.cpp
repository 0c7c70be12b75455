#include "host/Interrupt.h"

#include <signal.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace EffectHost
{

namespace
{

constexpr int HandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
constexpr int SignalCount = static_cast<int>(sizeof HandledSignals / sizeof HandledSignals[0]);

// Lock-free, so that the signal handler may touch them.
std::atomic<bool> interrupted{false};
std::atomic<int> firstSignal{0};
std::atomic<bool> asked{false}; // a signal other than SIGPIPE came
std::atomic<bool> installed{false};
struct sigaction previous[SignalCount]
{
};

static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnInterrupt(int signal)
{
    int none = 0;
    firstSignal.compare_exchange_strong(none, signal);
    interrupted.store(true);
    // Every write into a closed pipe raises SIGPIPE again: that is no
    // insistence.
    if (signal != SIGPIPE && asked.exchange(true))
    {
        // Asked twice: stop now, the way the sender expects.
        struct sigaction plain
        {
        };
        plain.sa_handler = SIG_DFL;
        sigemptyset(&plain.sa_mask);
        sigaction(signal, &plain, nullptr);
        raise(signal);
    }
}

void Restore(int count) noexcept
{
    for (int i = 0; i < count; ++i)
    {
        sigaction(HandledSignals[i], &previous[i], nullptr);
    }
}

} // namespace

InterruptHandler::InterruptHandler()
{
    bool expected = false;
    if (!installed.compare_exchange_strong(expected, true))
    {
        throw std::logic_error("Only one InterruptHandler may live at a time");
    }
    interrupted.store(false);
    firstSignal.store(0);
    asked.store(false);
    struct sigaction action
    {
    };
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Restarted system calls: a write to a terminal or pipe that a signal
    // interrupts completes instead of failing half-way.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < SignalCount; ++i)
    {
        if (sigaction(HandledSignals[i], &action, &previous[i]) != 0)
        {
            const int error = errno;
            Restore(i);
            installed.store(false);
            throw std::system_error(error, std::generic_category(), "Cannot handle signals");
        }
    }
}

InterruptHandler::~InterruptHandler()
{
    Restore(SignalCount);
    installed.store(false);
}

const std::atomic<bool>& InterruptHandler::Flag() const noexcept
{
    return interrupted;
}

int InterruptHandler::Signal() const noexcept
{
    return firstSignal.load();
}

} // namespace EffectHost
