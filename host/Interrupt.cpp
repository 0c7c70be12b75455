#include "host/Interrupt.h"

#include <signal.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace EffectHost
{

namespace
{

// Lock-free, so that the signal handler may touch them.
std::atomic<bool> interrupted{false};
std::atomic<bool> installed{false};
struct sigaction previous
{
};

static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int)
{
    if (interrupted.exchange(true))
    {
        // Asked twice: stop now, the way the user expects Ctrl-C to work.
        struct sigaction plain
        {
        };
        plain.sa_handler = SIG_DFL;
        sigemptyset(&plain.sa_mask);
        sigaction(SIGINT, &plain, nullptr);
        raise(SIGINT);
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
    struct sigaction action
    {
    };
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // Restarted system calls: a write to a terminal or pipe that Ctrl-C
    // interrupts completes instead of failing half-way.
    action.sa_flags = SA_RESTART;
    if (sigaction(SIGINT, &action, &previous) != 0)
    {
        const int error = errno;
        installed.store(false);
        throw std::system_error(error, std::generic_category(), "Cannot handle Ctrl-C");
    }
}

InterruptHandler::~InterruptHandler()
{
    sigaction(SIGINT, &previous, nullptr);
    installed.store(false);
}

const std::atomic<bool>& InterruptHandler::Flag() const noexcept
{
    return interrupted;
}

} // namespace EffectHost
