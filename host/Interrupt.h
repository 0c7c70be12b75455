#pragma once

#include <atomic>

namespace EffectHost
{

// Turns Ctrl-C into a request to stop. While an InterruptHandler lives, SIGINT
// only raises its flag, which the host's abort and progress callbacks read
// (Host::SetAbortFlag), so the effect can stop where it stands and clean up;
// a second Ctrl-C ends the process at once, as the user then insists. The
// previous handling is restored when it goes. One at a time per process.
class InterruptHandler
{
  public:
    // Throws std::logic_error when another one is alive, std::system_error
    // when the handler cannot be installed.
    InterruptHandler();
    ~InterruptHandler();
    InterruptHandler(const InterruptHandler&) = delete;
    InterruptHandler& operator=(const InterruptHandler&) = delete;

    const std::atomic<bool>& Flag() const noexcept;
    bool Raised() const noexcept { return Flag().load(); }
};

} // namespace EffectHost
